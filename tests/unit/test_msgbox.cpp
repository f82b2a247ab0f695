// Framed messages and the progress counter, byte for byte as the operator sees them.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "console/conio.h"
#include "console/msgbox.h"
#include "tests/support/common.h"

using vtest::ConsoleCapture;

namespace {

std::string boxScreen(const char* head, const char* text, const std::string& input = "\n") {
    ConsoleCapture cap(input);
    MessageBox(head, text);
    return cap.screen();
}

} // namespace

// ---- Frame pieces ------------------------------------------------------------------------

TEST(FramePieces, PrintLineDrawsPlusHyphensPlus) {
    ConsoleCapture cap;
    printLine(0);
    printLine(3);
    printLine(16);
    EXPECT_EQ(cap.screen(), "++\n+---+\n+----------------+\n");
}

TEST(FramePieces, FillLinePadsThenClosesTheFrame) {
    ConsoleCapture cap;
    fillLine(3);
    fillLine(1);
    EXPECT_EQ(cap.screen(), "    |\n  |\n");
}

TEST(FramePieces, FillLineWithZeroOrNegativeCountPrintsOnlyTheBar) {
    ConsoleCapture cap;
    fillLine(0);
    fillLine(-1);
    fillLine(-40);
    EXPECT_EQ(cap.screen(), " |\n |\n |\n");
}

// ---- Box layout --------------------------------------------------------------------------

TEST(MessageBoxLayout, ShortTextGivesTheMinimumWidthOfSixteen) {
    EXPECT_EQ(boxScreen("Info:", "read-error"), "\n"
                                                "+----------------+\n"
                                                "| Info:          |\n"
                                                "| read-error     |\n"
                                                "| press Enter... |\n"
                                                "+----------------+\n");
}

TEST(MessageBoxLayout, EmptyHeadAndTextAreBlankLinesOfTheMinimumWidth) {
    EXPECT_EQ(boxScreen("", ""), "\n"
                                 "+----------------+\n"
                                 "|                |\n"
                                 "|                |\n"
                                 "| press Enter... |\n"
                                 "+----------------+\n");
}

TEST(MessageBoxLayout, FourteenCharacterTextFillsTheLineExactly) {
    EXPECT_EQ(boxScreen("Ready:", "0123456789ABCD"), "\n"
                                                     "+----------------+\n"
                                                     "| Ready:         |\n"
                                                     "| 0123456789ABCD |\n"
                                                     "| press Enter... |\n"
                                                     "+----------------+\n");
}

TEST(MessageBoxLayout, FifteenCharacterTextWidensTheBoxAndPadsThePrompt) {
    EXPECT_EQ(boxScreen("Info:", "0123456789ABCDE"), "\n"
                                                     "+-----------------+\n"
                                                     "| Info:           |\n"
                                                     "| 0123456789ABCDE |\n"
                                                     "| press Enter...  |\n"
                                                     "+-----------------+\n");
}

TEST(MessageBoxLayout, LongTextSetsTheWidthOfEveryLine) {
    EXPECT_EQ(boxScreen("Ready:", "read 2047 bytes to buffer ( 0x7FF ) - [#F800]"),
              "\n"
              "+-----------------------------------------------+\n"
              "| Ready:                                        |\n"
              "| read 2047 bytes to buffer ( 0x7FF ) - [#F800] |\n"
              "| press Enter...                                |\n"
              "+-----------------------------------------------+\n");
}

TEST(MessageBoxLayout, LongHeadingSetsTheWidthWhenTheTextIsShorter) {
    EXPECT_EQ(boxScreen("Vantrel found at LPT: (0x278)", "ok"),
              "\n"
              "+-------------------------------+\n"
              "| Vantrel found at LPT: (0x278) |\n"
              "| ok                            |\n"
              "| press Enter...                |\n"
              "+-------------------------------+\n");
}

TEST(MessageBoxLayout, PercentSignsInTheTextAreShownAsTheyAre) {
    EXPECT_EQ(boxScreen("Error:", "%s %d %n 100%"), "\n"
                                                    "+----------------+\n"
                                                    "| Error:         |\n"
                                                    "| %s %d %n 100%  |\n"
                                                    "| press Enter... |\n"
                                                    "+----------------+\n");
}

// ---- Waiting for Enter -------------------------------------------------------------------

TEST(MessageBoxInput, TakesOneWholeLineAndLeavesTheNextForTheNextPrompt) {
    // "yes" typed at a box must not reach the menu as the keys y, e and s.
    for (const char* line : {"yes\n", "yes\r\n", " \n"}) {
        ConsoleCapture cap(std::string(line) + "next\n");
        MessageBox("Info:", "x");
        EXPECT_EQ(cap.unreadInput(), "next\n") << line;
        EXPECT_EQ(InputClosed, 0);
    }
}

TEST(MessageBoxInput, EnterAloneIsConsumed) {
    ConsoleCapture cap("\nq\n");
    MessageBox("Info:", "x");
    EXPECT_EQ(cap.unreadInput(), "q\n");
}

TEST(MessageBoxInput, ReturnsAtEndOfInputAfterDrawingTheWholeBox) {
    ConsoleCapture cap("");
    MessageBox("Error:", "can't open x");
    EXPECT_EQ(InputClosed, 1);
    EXPECT_EQ(cap.screen(), "\n"
                            "+----------------+\n"
                            "| Error:         |\n"
                            "| can't open x   |\n"
                            "| press Enter... |\n"
                            "+----------------+\n");
}

TEST(MessageBoxInput, LaterBoxesReturnAtOnceOnceInputHasEnded) {
    ConsoleCapture cap("");
    MessageBox("Error:", "first");
    MessageBox("Info:", "second");
    EXPECT_EQ(vtest::boxesOn(cap.screen()),
              (std::vector<vtest::Box>{{"Error:", "first"}, {"Info:", "second"}}));
}

// The operator must see the whole frame before the program waits for Enter: the input
// stream below records what had reached the screen file when the box first asked for input.
namespace {
ConsoleCapture* watchedScreen = nullptr;
std::string seenAtRead;
bool readSeen = false;

ssize_t recordingRead(void*, char* buf, size_t size) {
    if (!readSeen) {
        readSeen = true;
        seenAtRead = watchedScreen->onDisk();
    }
    if (size == 0)
        return 0;
    buf[0] = '\n';
    return 1;
}
} // namespace

TEST(MessageBoxInput, WholeFrameIsOnScreenBeforeItWaits) {
    ConsoleCapture cap;
    // The screen file is fully buffered: without an explicit flush nothing would show yet.
    fprintf(conOut, "before ");
    ASSERT_EQ(cap.onDisk(), "");

    cookie_io_functions_t fns = {};
    fns.read = recordingRead;
    FILE* in = fopencookie(nullptr, "r", fns);
    ASSERT_NE(in, nullptr);
    watchedScreen = &cap;
    readSeen = false;
    conIn = in;
    MessageBox("Info:", "read-error");
    conIn = nullptr;
    fclose(in);
    watchedScreen = nullptr;

    ASSERT_TRUE(readSeen);
    EXPECT_EQ(seenAtRead, "before \n"
                          "+----------------+\n"
                          "| Info:          |\n"
                          "| read-error     |\n"
                          "| press Enter... |\n"
                          "+----------------+\n");
}

// ---- Progress counter --------------------------------------------------------------------

TEST(ProgressLine, LineBackIsACarriageReturnThatIsFlushedAtOnce) {
    ConsoleCapture cap;
    fprintf(conOut, "7800");
    ASSERT_EQ(cap.onDisk(), "");
    lineBack();
    EXPECT_EQ(cap.onDisk(), "7800\r");
}

TEST(ProgressLine, FlushStringWritesWithoutLineEndAndFlushes) {
    ConsoleCapture cap;
    flushString("1F800");
    EXPECT_EQ(cap.onDisk(), "1F800");
    flushString("%d");
    EXPECT_EQ(cap.onDisk(), "1F800%d");
}

TEST(ProgressLine, CounterOverwritesItselfOnOneLine) {
    ConsoleCapture cap;
    for (const char* a : {"0", "800", "1000"}) {
        lineBack();
        flushString(a);
    }
    lineBack();
    EXPECT_EQ(cap.onDisk(), "\r0\r800\r1000\r");
}
