// The two prompts of the main loop, and whole sessions of the program on the virtual board.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

#include "console/cmdline.h"
#include "console/conio.h"
#include "console/mainloop.h"
#include "console/menu.h"
#include "eprom/parts.h"
#include "sim/model/board.h"
#include "sim/model/eprom_chip.h"
#include "sim/model/parts.h"
#include "tests/support/common.h"

using vtest::Box;
using vtest::ConsoleCapture;

namespace {

std::string rangePrompt(const char* current, const char* max) {
    return std::string("0 for 0x") + current + " else 1.. max. 0x" + max + "\nnew size> ";
}

std::string namePrompt(const std::string& current) {
    return "Enter for '" + current + "'\n\telse valid filename\nnew filename> ";
}

} // namespace

// ---- Range prompt ------------------------------------------------------------------------

TEST(RangePrompt, PromptShowsCurrentAndMaximum) {
    ConsoleCapture cap("7FF\n");
    EXPECT_EQ(ReadUserRange(0xFFFF, 0x7FFFF), 0x7FFu);
    EXPECT_EQ(cap.screen(), rangePrompt("FFFF", "7FFFF"));
}

TEST(RangePrompt, ZeroKeepsTheCurrentRange) {
    ConsoleCapture cap("0\n");
    EXPECT_EQ(ReadUserRange(0x3FF, 0xFFFF), 0x3FFu);
    EXPECT_EQ(cap.screen(), rangePrompt("3FF", "FFFF"));
}

TEST(RangePrompt, AcceptsHexadecimalWithOrWithout0xInEitherCase) {
    struct {
        const char* in;
        unsigned long want;
    } cases[] = {{"7ff\n", 0x7FF}, {"7FF\n", 0x7FF}, {"0x7ff\n", 0x7FF},
                 {"0X1a\n", 0x1A}, {"1\n", 1},       {"0x0\n", 0x100}};
    for (const auto& c : cases) {
        ConsoleCapture cap(c.in);
        EXPECT_EQ(ReadUserRange(0x100, 0xFFFF), c.want) << c.in;
        EXPECT_EQ(cap.screen(), rangePrompt("100", "FFFF")) << c.in;
    }
}

TEST(RangePrompt, MaximumItselfIsAccepted) {
    ConsoleCapture cap("FFFF\n");
    EXPECT_EQ(ReadUserRange(0x10, 0xFFFF), 0xFFFFu);
}

TEST(RangePrompt, AboveMaximumIsAskedAgainWithoutAMessage) {
    ConsoleCapture cap("10000\n7FF\n");
    EXPECT_EQ(ReadUserRange(0x7FF, 0xFFFF), 0x7FFu);
    EXPECT_EQ(cap.screen(), rangePrompt("7FF", "FFFF") + rangePrompt("7FF", "FFFF"));
}

TEST(RangePrompt, KeepingARangeAboveTheNewTypesMaximumIsRefused) {
    // Type 2716 chosen after start: FFFF is still the range, 0 would keep it.
    ConsoleCapture cap("0\n7FF\n");
    EXPECT_EQ(ReadUserRange(0xFFFF, 0x7FF), 0x7FFu);
    EXPECT_EQ(cap.screen(), rangePrompt("FFFF", "7FF") + rangePrompt("FFFF", "7FF"));
}

TEST(RangePrompt, JunkIsAskedAgainAndNeverTakenAsKeep) {
    const char* junk[] = {"xyz\n", "\n",      "12g\n", "7 8\n", "0x\n",  "-1\n",
                          "+5\n",  "0x0x5\n", "5h\n",  "#FF\n", "FF,\n", "0xg\n"};
    for (const char* j : junk) {
        ConsoleCapture cap(std::string(j) + "2\n");
        EXPECT_EQ(ReadUserRange(0x100, 0xFFFF), 2u) << "answer " << j;
        EXPECT_EQ(cap.screen(), rangePrompt("100", "FFFF") + rangePrompt("100", "FFFF"))
            << "answer " << j;
    }
}

TEST(RangePrompt, RestOfARefusedLineIsDiscarded) {
    // Were "5" taken from the rest of the first line it would be the answer.
    ConsoleCapture cap("zz 5\n3\n");
    EXPECT_EQ(ReadUserRange(0x100, 0xFFFF), 3u);
    EXPECT_EQ(cap.unreadInput(), "");
}

TEST(RangePrompt, NumbersTooLargeToHoldAreAskedAgain) {
    // 2^64 + 1 and 2^32 + 1: cut to their low bits they would read as 1.
    const char* big[] = {"10000000000000001\n", "0x10000000000000001\n", "100000001\n",
                         "FFFFFFFFFFFFFFFFFFFF\n"};
    for (const char* b : big) {
        ConsoleCapture cap(std::string(b) + "2\n");
        EXPECT_EQ(ReadUserRange(0x100, 0x7FFFF), 2u) << b;
        EXPECT_EQ(vtest::countOf(cap.screen(), "new size> "), 2u) << b;
    }
}

TEST(RangePrompt, OverlongLineIsRefusedAsAWholeLine) {
    // 200 zeros would mean "keep"; their tail must not be read as the next answer either.
    ConsoleCapture cap(std::string(200, '0') + "\n5\n");
    EXPECT_EQ(ReadUserRange(0x100, 0xFFFF), 5u);
    EXPECT_EQ(vtest::countOf(cap.screen(), "new size> "), 2u);
}

TEST(RangePrompt, EndOfInputReturnsTheCurrentRangeAtOnce) {
    ConsoleCapture cap("");
    EXPECT_EQ(ReadUserRange(0x1234, 0xFFFF), 0x1234u);
    EXPECT_EQ(InputClosed, 1);
    EXPECT_EQ(cap.screen(), rangePrompt("1234", "FFFF"));
}

TEST(RangePrompt, EndOfInputAfterRefusedAnswersDoesNotLoop) {
    ConsoleCapture cap("zz\n10000\n");
    EXPECT_EQ(ReadUserRange(0xFFFF, 0x7FF), 0xFFFFu);
    EXPECT_EQ(InputClosed, 1);
    EXPECT_EQ(vtest::countOf(cap.screen(), "new size> "), 3u);
}

TEST(RangePrompt, LastLineWithoutLineEndIsNoAnswer) {
    // Enter is the operator's confirmation: "7F" typed, then Ctrl-D twice, starts nothing.
    for (const char* typed : {"7FF", "7FF\r", "zz\n7FF"}) {
        SCOPED_TRACE(typed);
        ConsoleCapture cap(typed);
        int answered = 1;
        EXPECT_EQ(ReadUserRange(0xFFFF, 0xFFFF, &answered), 0xFFFFu);
        EXPECT_EQ(answered, 0);
        EXPECT_EQ(InputClosed, 1);
    }
}

// ---- File-name prompt --------------------------------------------------------------------

TEST(FileNamePrompt, EmptyLineKeepsTheName) {
    char name[300] = "./file.rom";
    ConsoleCapture cap("\n");
    EXPECT_EQ(ReadFName(name), 1u);
    EXPECT_STREQ(name, "./file.rom");
    EXPECT_EQ(cap.screen(), namePrompt("./file.rom"));
}

TEST(FileNamePrompt, NewNameReplacesTheOldOneAndTheNextLineStaysUnread) {
    char name[300] = "./file.rom";
    ConsoleCapture cap("my image 1.bin\nq\n");
    EXPECT_EQ(ReadFName(name), 1u);
    EXPECT_STREQ(name, "my image 1.bin");
    EXPECT_EQ(cap.unreadInput(), "q\n");
    EXPECT_EQ(cap.screen(), namePrompt("./file.rom"));
}

TEST(FileNamePrompt, PromptShowsTheLastNameUsed) {
    char name[300] = "/tmp/a.rom";
    ConsoleCapture cap("\n");
    ReadFName(name);
    EXPECT_EQ(cap.screen(), namePrompt("/tmp/a.rom"));
}

TEST(FileNamePrompt, NameOf299CharactersIsTaken) {
    const std::string longName(299, 'n');
    char name[300] = "./file.rom";
    ConsoleCapture cap(longName + "\n");
    EXPECT_EQ(ReadFName(name), 1u);
    EXPECT_EQ(std::string(name), longName);
    EXPECT_TRUE(vtest::boxesOn(cap.screen()).empty());
}

TEST(FileNamePrompt, NameOf300CharactersIsRefusedWithABoxAndTheOldNameKept) {
    char name[300] = "./file.rom";
    ConsoleCapture cap(std::string(300, 'n') + "\n" + "\n" + "q\n");
    EXPECT_EQ(ReadFName(name), 0u);
    EXPECT_STREQ(name, "./file.rom");
    const std::string s = cap.screen();
    EXPECT_EQ(s, namePrompt("./file.rom") + "\n"
                                            "+------------------------------------------+\n"
                                            "| Error:                                   |\n"
                                            "| file-name too long (max. 299 characters) |\n"
                                            "| press Enter...                           |\n"
                                            "+------------------------------------------+\n");
    // The rest of the long line is gone, the box took the Enter.
    EXPECT_EQ(cap.unreadInput(), "q\n");
}

TEST(FileNamePrompt, NameWithANulByteIsRefusedWithABox) {
    // Taken as a C string it would name the file before the NUL: another file.
    char name[300] = "./file.rom";
    static const char typed[] = "keep.bin\0.bak\n\nq\n";
    ConsoleCapture cap(std::string(typed, sizeof typed - 1));
    EXPECT_EQ(ReadFName(name), 0u);
    EXPECT_STREQ(name, "./file.rom");
    EXPECT_EQ(vtest::boxesOn(cap.screen()),
              (std::vector<vtest::Box>{{"Error:", "file-name contains a NUL byte (not allowed)"}}));
    EXPECT_EQ(cap.unreadInput(), "q\n");
}

TEST(FileNamePrompt, BlanksAroundTheNameAreNoPartOfIt) {
    const struct {
        const char* typed;
        const char* name;
    } rows[] = {{"saved.bin \n", "saved.bin"},
                {" \t my image.bin\t \r\n", "my image.bin"},
                {"   \n", "./file.rom"}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.typed);
        char name[300] = "./file.rom";
        ConsoleCapture cap(r.typed);
        EXPECT_EQ(ReadFName(name), 1u);
        EXPECT_STREQ(name, r.name);
    }
}

TEST(FileNamePrompt, NameWithoutLineEndIsNoAnswer) {
    char name[300] = "./file.rom";
    ConsoleCapture cap("last.bin");
    EXPECT_EQ(ReadFName(name), 0u);
    EXPECT_STREQ(name, "./file.rom");
    EXPECT_EQ(InputClosed, 1);
}

TEST(FileNamePrompt, EndOfInputKeepsTheNameAndCarriesNothingOut) {
    char name[300] = "./file.rom";
    ConsoleCapture cap("");
    EXPECT_EQ(ReadFName(name), 0u);
    EXPECT_STREQ(name, "./file.rom");
    EXPECT_EQ(InputClosed, 1);
    EXPECT_EQ(cap.screen(), namePrompt("./file.rom"));
}

// ---- Whole runs of the program on the virtual board --------------------------------------

namespace {

class ProgramRun : public ::testing::Test {
  protected:
    void SetUp() override {
        vtest::SavedSettings::startValues();
        vsim::Board& b = vsim::board();
        b.factory_reset();
        b.place_on(vsim::LPT_378);
        b.insert_chip(vsim::T27512);
    }
    void TearDown() override { vsim::board().factory_reset(); }
    vtest::SavedSettings saved_;
};

// The detection shifts test bytes through the data register only, and the board it found
// gets the rest state in one IC4 transfer (it powered up with the chip selected at 6.25 V);
// nothing else on the board may change before the operator asks for it.
void expectBoardUntouchedBeyondDetection() {
    const vsim::Board& b = vsim::board();
    EXPECT_EQ(b.latches(vsim::Reg::address), 0u);
    EXPECT_EQ(b.latches(vsim::Reg::ic4), 1u);
    EXPECT_EQ(b.ic4(), vsim::wiring::IC4Q3_CE_HIGH | vsim::wiring::IC4Q4_OE_HIGH |
                           vsim::wiring::IC4Q5_VCC_5V);
    EXPECT_EQ(b.latches(vsim::Reg::ic5), 0u);
    EXPECT_EQ(b.loads(), 0u);
    EXPECT_EQ(b.triggers(), 0u);
    EXPECT_TRUE(b.violations().empty()) << b.violations().joined();
}

} // namespace

TEST_F(ProgramRun, ExitCommandSaysGoodbyeAndEndsWithStatus1) {
    ConsoleCapture cap("1\nq\n");
    EXPECT_EQ(vantrel_main(), 1);
    const std::string s = cap.screen();
    ASSERT_GE(s.size(), 8u);
    EXPECT_EQ(s.substr(s.size() - 16), "select> Goodbye\n");
    EXPECT_EQ(vtest::countOf(s, "Goodbye"), 1u);
    EXPECT_TRUE(vtest::boxesOn(s).empty());
    expectBoardUntouchedBeyondDetection();
}

TEST_F(ProgramRun, EndOfInputAtTheMenuLeavesThroughTheExitPath) {
    ConsoleCapture cap("1\n");
    EXPECT_EQ(vantrel_main(), 1);
    const std::string s = cap.screen();
    EXPECT_EQ(s.substr(s.size() - 16), "select> Goodbye\n");
    expectBoardUntouchedBeyondDetection();
}

TEST_F(ProgramRun, EndOfInputAtTheRangePromptStartsNoRun) {
    for (const char* input : {"1\nr\n", "1\nw\n", "1\nv\n", "1\nz\n", "1\nr\nzz\n"}) {
        SetUp();
        ConsoleCapture cap(input);
        EXPECT_EQ(vantrel_main(), 1) << input;
        const std::string s = cap.screen();
        EXPECT_EQ(s.substr(s.size() - 18), "new size> Goodbye\n") << input;
        expectBoardUntouchedBeyondDetection();
    }
}

TEST_F(ProgramRun, EndOfInputAtTheFileNamePromptSavesNothing) {
    vtest::TempDir dir;
    char old[4096];
    ASSERT_NE(getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    int status;
    std::string s;
    {
        ConsoleCapture cap("1\ns\n");
        status = vantrel_main();
        s = cap.screen();
    }
    ASSERT_EQ(chdir(old), 0);
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(dir.entries().empty());
    EXPECT_TRUE(vtest::boxesOn(s).empty());
    EXPECT_EQ(s.substr(s.size() - 22), "new filename> Goodbye\n");
}

TEST_F(ProgramRun, SaveWritesRangeEndPlusOneBytesAndLoadSetsTheRangeEnd) {
    vtest::TempDir dir;
    ASSERT_TRUE(vtest::writeBytes(dir / "in.bin", std::string(0x800, '\x01')));
    const std::string in = dir / "in.bin";
    const std::string out = dir / "out.bin";
    ConsoleCapture cap("1\nl\n" + in + "\n\ns\n" + out + "\n\nq\n");
    EXPECT_EQ(vantrel_main(), 1);
    const std::string s = cap.screen();
    EXPECT_EQ(vtest::boxesOn(s), (std::vector<Box>{{"Info:", "2048 bytes readed from " + in},
                                                   {"Info:", "2048 bytes written to " + out}}));
    // 2048 bytes of 1 sum to 0x0800: shown as 8000, with the range end 0x7FF.
    EXPECT_NE(s.find("[ chsum: #8000  until  0x7FF / delay(2) ]"), std::string::npos);
    EXPECT_EQ(vtest::readBytes(out), std::string(0x800, '\x01'));
}

// ---- Every cell of the screen does what it says ------------------------------------------

namespace {

// A command as a screen shows it: its group's heading, its key and its cell without blanks,
// brackets and line break.
struct ShownCommand {
    std::string group;
    char key;
    std::string label;
    bool lit; // in brackets
};

std::vector<ShownCommand> commandsOnScreen(const std::string& screen) {
    std::vector<ShownCommand> shown;
    std::string group;
    for (const std::string& line : vtest::splitLines(screen)) {
        if (line.size() > 2 && line.front() == '<' && line.back() == '>')
            group = line;
        else if (line.empty())
            group.clear(); // the empty line before the footer ends the groups
        for (size_t at = line.find('\t'); !group.empty() && at != std::string::npos;
             at = line.find('\t', at + 1)) {
            std::string cell = line.substr(at + 4, line.find('\t', at + 1) - (at + 4));
            const bool lit = cell.find('[') != std::string::npos;
            cell.erase(0, cell.find_first_not_of(" ["));
            cell.erase(cell.find_last_not_of(" ]") + 1);
            shown.push_back({group, line[at + 1], cell, lit});
        }
    }
    return shown;
}

// The socket wiring the board model knows for a family by its label without the C
// ("27C010" is the 27010); 0xFF, which no wiring is, for a name it does not know.
unsigned socketOf(const std::string& label) {
    for (int t = 0; t < TicMax; t++)
        if (label.substr(0, 2) + label.substr(3) == vsim::chip_facts((vsim::IC)t).name)
            return vsim::chip_facts((vsim::IC)t).socket;
    return 0xFF;
}

bool chipHolds(uint32_t from, uint32_t to, uint8_t value) {
    for (uint32_t a = from; a <= to; a++)
        if (vsim::board().chip()->cell(a) != value)
            return false;
    return true;
}

} // namespace

// Each key of the start screen is pressed in a session of its own, and the board, the screen,
// the boxes and the files must show what its cell's group and label promise. A key that
// chooses a setting is pressed after another key of its group: the highlight must move to it.
TEST_F(ProgramRun, EveryKeyOnTheScreenDoesWhatItsCellSays) {
    vtest::TempDir dir;
    const std::string image = dir / "image.bin", saved = dir / "saved.bin";
    ASSERT_TRUE(vtest::writeBytes(image, std::string(16, '\x01')));
    const vsim::Board& b = vsim::board();
    std::string screen, last, unread; // the session's screen, its last menu, unread input
    auto shows = [&](const std::string& part) { return screen.find(part) != std::string::npos; };
    auto status = [&](const std::string& chsumUntil, int delay) {
        return last.find("[ chsum: #" + chsumUntil + " / delay(" + std::to_string(delay) + ") ]") !=
               std::string::npos;
    };
    auto boxes = [&](std::vector<Box> want) { return vtest::boxesOn(screen) == want; };
    auto volts = [&](unsigned v) {
        return [&b, v] { return vsim::level_centivolts(b.ic4() >> vsim::IC4Q67_SHIFT) / 100 == v; };
    };
    struct Meaning {
        std::string group, label;
        bool choice; // a setting its group highlights
        std::string answers;
        std::function<bool()> done;
    };
    auto type = [&](const char* label) {
        return Meaning{"<Type>", label, true, "",
                       [&b, label] { return (b.ic5() & vsim::IC5Q37_WIRING) == socketOf(label); }};
    };
    std::vector<Meaning> meanings = {
        {"<VPP>", "12 V", true, "", volts(12)},
        {"<VPP>", "21 V", true, "", volts(21)},
        {"<VPP>", "25 V", true, "", volts(25)},
        {"<VCC>", "5 V", true, "", [&] { return (b.ic4() & vsim::IC4Q5_VCC_5V) != 0; }},
        {"<VCC>", "6,25 V", true, "", [&] { return (b.ic4() & vsim::IC4Q5_VCC_5V) == 0; }},
        {"<Delay>", "slow", false, "", [&] { return status("0000  until  0xFFFF", 3); }},
        {"<Delay>", "quick", false, "", [&] { return status("0000  until  0xFFFF", 1); }},
        // 16 erased cells read into the zero buffer: their sum 0x0FF0 shows as F0F0.
        {"<Menu-IC>", "read", false, "F\n\n",
         [&] { return shows("reading...\n") && status("F0F0  until  0xF", 2); }},
        {"<Menu-IC>", "write", false, "F\n\n",
         [&] {
             return shows("writing...\n") && chipHolds(0, 0xF, 0) && chipHolds(0x10, 0x10, 0xFF);
         }},
        {"<Menu-IC>", "verify", false, "F\n\n",
         [&] {
             return boxes({{"Error:", "error at adr: 0x0   read: 0xFF   buffer: 0x0"}}) &&
                    chipHolds(0, 0xF, 0xFF);
         }},
        {"<Menu-IC>", "blank", false, "F\n\n",
         [&] {
             return boxes({{"Ready:", "eprom is blank"}});
         }},
        // 16 bytes of 1 sum to 0x0010.
        {"<Menu-File>", "read", false, image + "\n\n",
         [&] {
             return boxes({{"Info:", "16 bytes readed from " + image}}) &&
                    status("0010  until  0xF", 2);
         }},
        {"<Menu-File>", "write", false, saved + "\n\n",
         [&] {
             return boxes({{"Info:", "65536 bytes written to " + saved}}) &&
                    vtest::readBytes(saved) == std::string(0x10000, '\0');
         }},
        {"<Menu-File>", "exit", false, "",
         [&] {
             return unread == "q\n" && screen.substr(screen.size() - 16) == "select> Goodbye\n";
         }},
    };
    for (const char* label : {"27C08", "27C16", "27C32", "27C64", "27C128", "27C256", "27C512",
                              "27C010", "27C020", "27C040"})
        meanings.push_back(type(label));

    std::vector<ShownCommand> shown;
    {
        ConsoleCapture cap("q\n");
        menu(menuCommands, MenuCommandCount, 0, 0xFFFF);
        shown = commandsOnScreen(cap.screen());
    }
    ASSERT_EQ(shown.size(), meanings.size());
    std::vector<int> used(meanings.size(), 0);
    for (const ShownCommand& c : shown) {
        SCOPED_TRACE(c.group + " " + c.key + ": " + c.label);
        size_t m = 0;
        while (m < meanings.size() &&
               (c.group != meanings[m].group || c.label != meanings[m].label))
            m++;
        ASSERT_LT(m, meanings.size()) << "a cell whose meaning this test does not know";
        used[m]++;
        const bool choice = meanings[m].choice;
        std::string before;
        for (const ShownCommand& other : shown)
            if (choice && other.group == c.group && other.key != c.key)
                before = std::string(1, other.key) + "\n";
        SetUp();
        {
            ConsoleCapture cap("1\n" + before + c.key + "\n" + meanings[m].answers + "q\n");
            EXPECT_EQ(vantrel_main(), 1);
            screen = cap.screen();
            unread = cap.unreadInput();
        }
        last = screen.substr(screen.rfind("\x1b[2J"));
        EXPECT_TRUE(meanings[m].done()) << screen;
        for (const ShownCommand& now : commandsOnScreen(last))
            if (choice && now.group == c.group) {
                EXPECT_EQ(now.lit, now.key == c.key) << now.key;
            }
        EXPECT_EQ(b.ic4() & vsim::IC4Q1_VPP, 0);
        EXPECT_TRUE(b.hazards().empty()) << b.hazards().joined();
        EXPECT_TRUE(b.violations().empty()) << b.violations().joined();
    }
    EXPECT_EQ(used, std::vector<int>(meanings.size(), 1));
}

// ---- The part given at start, and the levels that would destroy a chip ------------------

namespace {

const EpromPart* partNamed(const char* name) {
    const EpromPart* p = nullptr;
    char why[200];
    EXPECT_EQ(FindPart(name, &p, why, sizeof why), TPARTFOUND) << why;
    return p;
}

// The programming level of every IC4 transfer that switched Vpp onto the socket.
std::vector<unsigned> levelsWithVppOn() {
    std::vector<unsigned> levels;
    for (uint8_t ic4 : vsim::board().ic4_history())
        if (ic4 & vsim::IC4Q1_VPP)
            levels.push_back(ic4 >> vsim::IC4Q67_SHIFT);
    return levels;
}

// A session of the menu program started with `part` (NULL for none); returns its screen.
std::string sessionWithPart(const EpromPart* part, const std::string& input) {
    StartPart = part;
    vsim::board().set_recording(true);
    ConsoleCapture cap(input);
    EXPECT_EQ(vantrel_main(), 1);
    StartPart = nullptr;
    return cap.screen();
}

} // namespace

// Type and level of the part go out as their keys would send them: the same bytes on the
// wire as a session that pressed them.
TEST_F(ProgramRun, PartGivenAtStartIsSentAsItsKeysWouldSendIt) {
    const struct {
        const char* part;
        const char* keys;
    } rows[] = {{"M27C256B-12F1", "a\n0\n"},
                {"MBM2764-25", "8\n1\n"},
                {"TMS2732-45JL", "7\n2\n"},
                {"AM27C040-150DC", "e\n0\n"},
                {"27C16", "6\n"}}; // read only: no level of its own
    for (const auto& r : rows) {
        SCOPED_TRACE(r.part);
        SetUp();
        const std::string byPart = sessionWithPart(partNamed(r.part), "1\nq\n");
        const std::vector<vsim::PortAccess> wire = vsim::board().trace();
        const unsigned ic5 = vsim::board().ic5(), ic4 = vsim::board().ic4();
        SetUp();
        sessionWithPart(nullptr, std::string("1\n") + r.keys + "q\n");
        EXPECT_TRUE(wire == vsim::board().trace());
        EXPECT_EQ(ic5, vsim::board().ic5());
        EXPECT_EQ(ic4, vsim::board().ic4());
        // One screen, the part's range end on it.
        EXPECT_EQ(vtest::countOf(byPart, "\x1b[2J"), 1u);
        const unsigned long last = GetLastAdress((uint16_t)partNamed(r.part)->type);
        char until[32];
        snprintf(until, sizeof until, "until  0x%lX /", last);
        EXPECT_NE(byPart.find(until), std::string::npos) << byPart;
    }
}

// While the part's type is selected, a level above its limit is refused with a box and the
// level stays; the next burn runs at it.
TEST_F(ProgramRun, VoltageKeyAboveThePartsLimitIsRefusedAndTheLevelStays) {
    const struct {
        const char* part;
        char key;
        int level;       // the level after the key
        const char* box; // NULL: taken
    } rows[] = {
        {"M27C256B-12F1", '1', T12_75V,
         "a 27C256 takes at most 14 V on Vpp: 21 V would destroy it"},
        {"D2764A-2", '2', T12_75V, "a 2764A takes at most 14 V on Vpp: 25 V would destroy it"},
        {"MBM2764-25", '2', T21V, "a 2764 takes at most 22 V on Vpp: 25 V would destroy it"},
        {"AM2732A-20", '2', T21V, "a 2732A takes at most 22 V on Vpp: 25 V would destroy it"},
        {"MBM2764-25", '0', T12_75V, nullptr}, // below: the operator's choice
        {"TMS2732-45JL", '1', T21V, nullptr},
        {"27C16", '2', T25V, nullptr}, // never pulsed on this board
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.part) + " key " + r.key);
        SetUp();
        const EpromPart* part = partNamed(r.part);
        const std::string s = sessionWithPart(part, std::string("1\n") + r.key + "\n\nq\n");
        EXPECT_EQ(vpp, r.level);
        EXPECT_EQ((unsigned)(vsim::board().ic4() >> vsim::IC4Q67_SHIFT), (unsigned)r.level);
        if (r.box)
            EXPECT_EQ(vtest::boxesOn(s), (std::vector<Box>{{"Error:", r.box}}));
        else
            EXPECT_TRUE(vtest::boxesOn(s).empty());
    }
    // After both refusals the burn switches Vpp on at 12.75 V only, and the chip takes it.
    SetUp();
    vsim::board().insert_chip(vsim::T27256);
    const std::string s = sessionWithPart(partNamed("M27C256B-12F1"), "1\n1\n\n2\n\nw\nF\n\nq\n");
    EXPECT_EQ(vtest::countOf(s, "[  12 V]"), 4u); // every screen, the last after the burn
    EXPECT_EQ(vtest::countOf(s, "\x1b[2J"), 4u);
    EXPECT_EQ(vtest::boxesOn(s).size(), 3u);
    EXPECT_FALSE(levelsWithVppOn().empty());
    EXPECT_EQ(levelsWithVppOn(), std::vector<unsigned>(levelsWithVppOn().size(), 0u));
    EXPECT_TRUE(chipHolds(0, 0xF, 0) && chipHolds(0x10, 0x10, 0xFF));
    EXPECT_TRUE(vsim::board().hazards().empty()) << vsim::board().hazards().joined();
}

// Another type is another chip: the part's limit no longer holds.
TEST_F(ProgramRun, AnotherTypeEndsThePartGivenAtStart) {
    const std::string s = sessionWithPart(partNamed("M27C256B-12F1"), "1\n8\n1\nq\n");
    EXPECT_TRUE(vtest::boxesOn(s).empty());
    EXPECT_EQ(vpp, T21V);
    EXPECT_EQ(epromtyp, T2764);
}

// w at a level no part of the selected type survives: a box naming both, before any range
// prompt, and the chip never sees Vpp. Levels some part of the type programs at still burn.
TEST_F(ProgramRun, WriteAtALevelThatDestroysEveryPartOfTheTypeBurnsNothing) {
    const char* levelKeys = "012";
    const char* volts[] = {"12.75 V", "21 V", "25 V"};
    const struct {
        char key;
        const char* family;
        int highest; // the highest level any part of it programs at
    } types[] = {{'7', "2732", T25V},     {'8', "2764", T21V},     {'9', "27128", T21V},
                 {'a', "27256", T12_75V}, {'b', "27512", T12_75V}, {'c', "27010", T12_75V},
                 {'d', "27020", T12_75V}, {'e', "27040", T12_75V}};
    for (const auto& t : types)
        for (int level = T12_75V; level <= T25V; level++) {
            SCOPED_TRACE(std::string(t.family) + " at " + volts[level]);
            SetUp();
            const std::string s = sessionWithPart(nullptr, std::string("1\n") + t.key + "\n" +
                                                               levelKeys[level] + "\nw\n1\n\nq\n");
            if (level > t.highest) {
                const std::string why = std::string("no ") + t.family + " programs above " +
                                        volts[t.highest] + ": " + volts[level] +
                                        " would destroy it";
                EXPECT_EQ(vtest::boxesOn(s), (std::vector<Box>{{"Error:", why}}));
                EXPECT_EQ(vtest::countOf(s, "new size> "), 0u);
                EXPECT_TRUE(levelsWithVppOn().empty());
                EXPECT_EQ(vsim::board().triggers(), 0u);
            } else {
                EXPECT_EQ(vtest::countOf(s, "new size> "), 1u);
                EXPECT_FALSE(levelsWithVppOn().empty());
            }
        }
}
