// The main menu screen, its key handling and the buffer checksum of its status line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/conio.h"
#include "console/mainloop.h"
#include "console/menu.h"
#include "defs.h"
#include "eprom/misc.h"
#include "link/hw.h"
#include "tests/support/common.h"

using vtest::ConsoleCapture;
using vtest::SavedSettings;

namespace {

const std::string kClear = std::string(26, '\n') + "\x1b[2J";

const std::string kFooter = "\n\t\t\t\t\tV 1.00\tEPROM programmer for Linux\n"
                            "select> ";

// The option groups with the settings of a freshly started program.
const std::string kStartOptions = "<VPP>\n"
                                  "\t0:  [  12 V] \t1:     21 V  \t2:     25 V \n"
                                  "<VCC>\n"
                                  "\t3:  [  5 V ] \t4:   6,25 V \n"
                                  "<Type>\n"
                                  "\t5:    27C08  \t6:    27C16  \t7:    27C32 \n"
                                  "\t8:    27C64  \t9:   27C128  \ta:   27C256  \tb:  [27C512]\n"
                                  "\tc:   27C010  \td:   27C020  \te:   27C040 \n"
                                  "<Delay>\n"
                                  "\t-:    slow   \t+:    quick \n"
                                  "<Menu-IC>\n"
                                  "\tr:    read   \tw:   write   \tv:   verify  \tz:   blank  \n"
                                  "<Menu-File>\n"
                                  "\tl:    read   \ts:   write   \tq:    exit  \n";

const std::string kStartStatus =
    "Vantrel II at 0x378    [ chsum: #0000  until  0xFFFF / delay(2) ]\n\n";

const std::string kStartScreen = kClear + kStartStatus + kStartOptions + kFooter;

class MenuTest : public ::testing::Test {
  protected:
    void SetUp() override { SavedSettings::startValues(); }
    SavedSettings saved_;
};

} // namespace

// ---- The screen --------------------------------------------------------------------------

TEST_F(MenuTest, StartScreenIsExact) {
    ConsoleCapture cap("q\n");
    EXPECT_EQ(menu(menuCommands, MenuCommandCount, 0, 0xFFFF), 23);
    EXPECT_EQ(cap.screen(), kStartScreen);
}

TEST_F(MenuTest, ScreenBeginsWith26NewlinesAndTheClearSequence) {
    ConsoleCapture cap("q\n");
    menu(menuCommands, MenuCommandCount, 0, 0xFFFF);
    const std::string s = cap.screen();
    ASSERT_GE(s.size(), 30u);
    EXPECT_EQ(s.substr(0, 26), std::string(26, '\n'));
    EXPECT_EQ(s.substr(26, 4), std::string("\x1b\x5b\x32\x4a", 4));
    EXPECT_NE(s[30], '\n');
}

TEST_F(MenuTest, StatusLineShowsPortChecksumRangeEndAndDelay) {
    Base = 0x3BC;
    Delay = 255;
    ConsoleCapture cap("q\n");
    menu(menuCommands, MenuCommandCount, 0x0ABC, 0x7FF);
    EXPECT_EQ(cap.screen(),
              kClear + "Vantrel II at 0x3BC    [ chsum: #0ABC  until  0x7FF / delay(255) ]\n\n" +
                  kStartOptions + kFooter);
}

TEST_F(MenuTest, StatusLinePadsTheChecksumToFourDigits) {
    Base = 0x278;
    Delay = 1;
    ConsoleCapture cap("q\n");
    menu(menuCommands, MenuCommandCount, 0x12, 0x7FFFF);
    EXPECT_EQ(cap.screen(),
              kClear + "Vantrel II at 0x278    [ chsum: #0012  until  0x7FFFF / delay(1) ]\n\n" +
                  kStartOptions + kFooter);
}

TEST_F(MenuTest, StatusLineReadsThePortWithoutTouchingIt) {
    ConsoleCapture cap("q\n");
    const uint16_t before = Base;
    menu(menuCommands, MenuCommandCount, 0, 0xFFFF);
    EXPECT_EQ(Base, before);
}

TEST_F(MenuTest, HighlightsFollowTheChangedSettings) {
    vpp = T25V;
    vcc = T6_25V;
    epromtyp = T2716;
    ConsoleCapture cap("q\n");
    menu(menuCommands, MenuCommandCount, 0, 0xFFFF);
    const std::string options = "<VPP>\n"
                                "\t0:     12 V  \t1:     21 V  \t2:  [  25 V]\n"
                                "<VCC>\n"
                                "\t3:     5 V   \t4:  [6,25 V]\n"
                                "<Type>\n"
                                "\t5:    27C08  \t6:   [27C16] \t7:    27C32 \n"
                                "\t8:    27C64  \t9:   27C128  \ta:   27C256  \tb:   27C512 \n"
                                "\tc:   27C010  \td:   27C020  \te:   27C040 \n"
                                "<Delay>\n"
                                "\t-:    slow   \t+:    quick \n"
                                "<Menu-IC>\n"
                                "\tr:    read   \tw:   write   \tv:   verify  \tz:   blank  \n"
                                "<Menu-File>\n"
                                "\tl:    read   \ts:   write   \tq:    exit  \n";
    EXPECT_EQ(cap.screen(), kClear + kStartStatus + options + kFooter);
}

TEST_F(MenuTest, EveryTypeHighlightsItsOwnCell) {
    const char* lit[TicMax] = {"[27C08]",  "[27C16]",  "[27C32]",  "[27C64]",  "[27C128]",
                               "[27C256]", "[27C512]", "[27C010]", "[27C020]", "[27C040]"};
    for (int t = 0; t < TicMax; t++) {
        epromtyp = t;
        ConsoleCapture cap("q\n");
        menu(menuCommands, MenuCommandCount, 0, 0xFFFF);
        const std::string s = cap.screen();
        const std::string options = s.substr(s.find("<VPP>"));
        EXPECT_EQ(vtest::countOf(options, "["), 3u) << "type " << t; // VPP, VCC and type
        EXPECT_EQ(vtest::countOf(options, lit[t]), 1u) << "type " << t;
    }
}

TEST_F(MenuTest, MiddleChoicesHighlightInPlace) {
    vpp = T21V;
    ConsoleCapture cap("q\n");
    menu(menuCommands, MenuCommandCount, 0, 0xFFFF);
    EXPECT_NE(cap.screen().find("<VPP>\n\t0:     12 V  \t1:  [  21 V] \t2:     25 V \n<VCC>\n"),
              std::string::npos);
}

// ---- Keys --------------------------------------------------------------------------------

TEST_F(MenuTest, EachOfThe24KeysSelectsItsCommand) {
    const std::string keys = "0123456789abcde-+rwvzlsq";
    for (int n = 0; n < 24; n++) {
        ConsoleCapture cap(std::string(1, keys[(size_t)n]) + "\n");
        EXPECT_EQ(menu(menuCommands, MenuCommandCount, 0, 0xFFFF), n) << "key " << keys[(size_t)n];
        EXPECT_EQ(cap.screen(), kStartScreen);
    }
}

TEST_F(MenuTest, UnlistedKeyRedrawsTheWholeMenuWithoutAMessage) {
    ConsoleCapture cap("x\n5\n");
    EXPECT_EQ(menu(menuCommands, MenuCommandCount, 0, 0xFFFF), 5);
    EXPECT_EQ(cap.screen(), kStartScreen + kStartScreen);
}

TEST_F(MenuTest, KeysAreCaseSensitive) {
    ConsoleCapture cap("A\nQ\nR\na\n");
    EXPECT_EQ(menu(menuCommands, MenuCommandCount, 0, 0xFFFF), 10);
    EXPECT_EQ(cap.screen(), kStartScreen + kStartScreen + kStartScreen + kStartScreen);
}

TEST_F(MenuTest, EmptyLineRedrawsAndSwallowsNothing) {
    // Each empty line (also with CR LF) is one redraw; the key on the next line is taken.
    ConsoleCapture cap("\n\r\n\nw\nq\n");
    EXPECT_EQ(menu(menuCommands, MenuCommandCount, 0, 0xFFFF), 18);
    EXPECT_EQ(cap.screen(), kStartScreen + kStartScreen + kStartScreen + kStartScreen);
    EXPECT_EQ(cap.unreadInput(), "q\n");
}

TEST_F(MenuTest, FirstCharacterOfALineSelectsAndTheRestOfTheLineIsDropped) {
    const std::string lines[] = {"r7FFF\n", "r \n", "r\r\n", "r" + std::string(300, 'x') + "\n"};
    for (const std::string& line : lines) {
        ConsoleCapture cap(line + "q\n");
        EXPECT_EQ(menu(menuCommands, MenuCommandCount, 0, 0xFFFF), 17) << line;
        EXPECT_EQ(cap.unreadInput(), "q\n") << line;
    }
}

TEST_F(MenuTest, KeySearchStopsAtTheCommandsGiven) {
    ConsoleCapture cap("r\n+\n"); // only the settings commands given: no r
    EXPECT_EQ(menu(menuCommands, 17, 0, 0xFFFF), 16);
    const std::string settings =
        kClear + kStartStatus + kStartOptions.substr(0, kStartOptions.find("<Menu-IC>")) + kFooter;
    EXPECT_EQ(cap.screen(), settings + settings);
}

// ---- End of input ------------------------------------------------------------------------

TEST_F(MenuTest, EndOfInputSelectsTheExitCommand) {
    ConsoleCapture cap("");
    EXPECT_EQ(menu(menuCommands, MenuCommandCount, 0, 0xFFFF), 23);
    EXPECT_EQ(InputClosed, 1);
    EXPECT_EQ(cap.screen(), kStartScreen);
}

TEST_F(MenuTest, EndOfInputAfterAnUnlistedKeyDoesNotLoop) {
    ConsoleCapture cap("x\n");
    EXPECT_EQ(menu(menuCommands, MenuCommandCount, 0, 0xFFFF), 23);
    EXPECT_EQ(InputClosed, 1);
    EXPECT_EQ(cap.screen(), kStartScreen + kStartScreen);
}

// Enter confirms the key: one the input ends in without it selects nothing, whether listed
// (a setting, a burn) or not, and the menu leaves as at the end of input.
TEST_F(MenuTest, KeyWithoutLineEndAtEndOfInputIsNoAnswer) {
    for (const char* typed : {"4", "w", "x", "w\r"}) {
        SCOPED_TRACE(typed);
        ConsoleCapture cap(typed);
        EXPECT_EQ(menu(menuCommands, MenuCommandCount, 0, 0xFFFF), 23);
        EXPECT_EQ(InputClosed, 1);
        EXPECT_EQ(cap.screen(), kStartScreen);
    }
}

TEST(Version, IsV100) {
    EXPECT_STREQ(GetVersion(), "V 1.00");
}

// ---- Checksum ----------------------------------------------------------------------------

namespace {

// A buffer of `count` bytes whose sum is `sum` (0xFF bytes, then the remainder, then 0).
std::vector<unsigned char> bytesSummingTo(unsigned long sum, size_t count) {
    std::vector<unsigned char> b(count, 0);
    size_t i = 0;
    while (sum >= 0xFF) {
        b.at(i++) = 0xFF;
        sum -= 0xFF;
    }
    b.at(i) = (unsigned char)sum;
    return b;
}

unsigned short sumOf(unsigned long byteSum) {
    const std::vector<unsigned char> b = bytesSummingTo(byteSum, byteSum / 0xFF + 2);
    return CalcChkSum(b.data(), b.size() - 1);
}

} // namespace

TEST(CalcChkSum, SumsBelow0x1000HaveTheNibblesOfTheHighByteSwapped) {
    EXPECT_EQ(sumOf(0x0ABC), 0xA0BC);
    EXPECT_EQ(sumOf(0x0100), 0x1000);
    EXPECT_EQ(sumOf(0x0F01), 0xF001);
    EXPECT_EQ(sumOf(0x0FFF), 0xF0FF);
}

TEST(CalcChkSum, SumsWithAZeroHighByteAreUnchanged) {
    EXPECT_EQ(sumOf(0x00FF), 0x00FF);
    EXPECT_EQ(sumOf(0x0001), 0x0001);
}

TEST(CalcChkSum, SumsOf0x1000AndAboveAreUnchanged) {
    EXPECT_EQ(sumOf(0x1234), 0x1234);
    EXPECT_EQ(sumOf(0x1000), 0x1000);
}

TEST(CalcChkSum, ThreeLettersAbc) {
    const unsigned char abc[3] = {0x61, 0x62, 0x63};
    EXPECT_EQ(CalcChkSum(abc, 2), 0x1026);
}

TEST(CalcChkSum, RangeEndIsInclusiveAndBytesBeyondItDoNotCount) {
    const unsigned char b[5] = {1, 2, 3, 0xFF, 0xFF};
    EXPECT_EQ(CalcChkSum(b, 2), 6);
    EXPECT_EQ(CalcChkSum(b, 0), 1);
}

TEST(CalcChkSum, SingleByteRange) {
    const unsigned char b[2] = {0x12, 0x34};
    EXPECT_EQ(CalcChkSum(b, 0), 0x0012);
}

TEST(CalcChkSum, WholeChipsOfZerosAndOfErasedCells) {
    std::vector<unsigned char> zeros(0x10000, 0x00);
    std::vector<unsigned char> ff(0x10000, 0xFF);
    EXPECT_EQ(CalcChkSum(zeros.data(), 0xFFFF), 0x0000);
    EXPECT_EQ(CalcChkSum(ff.data(), 0xFFFF), 0x0000); // the sum wraps to 0
    EXPECT_EQ(CalcChkSum(ff.data(), 0x7FF), 0xF800);  // an erased 2716
    EXPECT_EQ(CalcChkSum(ff.data(), 0x3FF), 0xFC00);  // an erased 2708
}

TEST(CalcChkSum, WholeBufferOfTheLargestChipWraps) {
    std::vector<unsigned char> b(BUFFER_SIZE, 0x01);
    // 0x80000 ones wrap to 0; one byte more of 0x01 at the start gives 1 after wrapping.
    EXPECT_EQ(CalcChkSum(b.data(), BUFFER_SIZE - 1), 0x0000);
    b[0] = 0x02;
    EXPECT_EQ(CalcChkSum(b.data(), BUFFER_SIZE - 1), 0x0001);
}

TEST(CalcChkSum, NullBufferGivesZero) {
    EXPECT_EQ(CalcChkSum(nullptr, 0xFFFF), 0);
    EXPECT_EQ(CalcChkSum(nullptr, 0), 0);
}
