// The burn itself refuses a programming voltage the chip in the socket cannot take, whoever
// calls it: nothing reaches the board, and the menu's run says why in its box. And images
// whose name says raw but whose every line is a record of a record format.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "console/chipruns.h"
#include "eprom/ic_func.h"
#include "eprom/parts.h"
#include "image/formats.h"
#include "sim/model/parts.h"
#include "tests/support/wire.h"

namespace {

TEST(Interlock, BurnAboveWhatTheChipTakesSendsNothing) {
    const struct {
        const char* chip; // the model's part in the socket
        int level;
        const char* part; // named by the operator, or nullptr for the type alone
        int outcome;
    } cases[] = {
        {"27C256", T21V, nullptr, RUN_REFUSED}, // no 27256 programs above 12.75 V
        {"27C040", T25V, nullptr, RUN_REFUSED},
        {"27C64", T21V, "27C64", RUN_REFUSED}, // the type allows 21 V, the part 14 V
        {"2732A", T25V, "2732A", RUN_REFUSED}, // 22 V at most
        {"2764", T21V, "MBM2764-25", RUN_OK},  // the NMOS 2764 at its own voltage
    };
    const std::vector<uint8_t> image(BUFFER_SIZE, 0x00);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.chip) + " at level " + std::to_string(c.level));
        vtest::SavedSettings saved;
        wire::reset_all();
        vsim::EpromChip& chip =
            vsim::board().insert_chip(vsim::EpromChip(*vsim::find_part(c.chip)));
        SetICType(chip.part().type);
        SetVpp(c.level);
        char why[300];
        if (c.part) {
            ASSERT_EQ(FindPart(c.part, &epromPart, why, sizeof why), TPARTFOUND);
        }
        wire::start_recording();
        EXPECT_EQ(RunWrite(image.data(), 0xF, nullptr).outcome, c.outcome);
        EXPECT_EQ(wire::trace().empty(), c.outcome == RUN_REFUSED);
        EXPECT_EQ(chip.byte(0xF), c.outcome == RUN_REFUSED ? 0xFF : 0x00);
        EXPECT_FALSE(chip.destroyed());
        if (c.outcome != RUN_REFUSED)
            continue;
        vtest::ConsoleCapture con("\n"); // the menu's run, called directly, says why
        EXPECT_EQ(WriteIC(const_cast<uint8_t*>(image.data()), 0xF), 0u);
        const vtest::Box why_box = {"Error:", VppRefusal(epromtyp, epromPart, vpp, 1, why, 300)};
        EXPECT_EQ(vtest::boxesOn(con.screen()), std::vector<vtest::Box>{why_box});
    }
}

TEST(ImageText, RecordsEveryLineOrRaw) {
    auto format = [](const char* t) {
        return ImageTextFormat(reinterpret_cast<const unsigned char*>(t), std::strlen(t));
    };
    EXPECT_EQ(format("\r\n:0400000001020304F2\r\n\r\n:00000001FF"), TIMGIHEX); // CR LF, blanks
    EXPECT_EQ(format("S107000001020304EE\nS9030000FC\n"), TIMGSREC);
    EXPECT_EQ(format(":0400000001020304F3\n:00000001FF\n"), TIMGRAW); // a bad checksum
    EXPECT_EQ(format(":0400000001020304F2\nhello\n"), TIMGRAW);
    EXPECT_EQ(format("\n\n"), TIMGRAW);
}

} // namespace
