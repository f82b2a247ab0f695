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
#include "sim/parts.h"
#include "tests/wire_util.h"

namespace {

const EpromPart* part(const char* name) {
    const EpromPart* p = nullptr;
    char why[300];
    EXPECT_EQ(FindPart(name, &p, why, sizeof why), TPARTFOUND) << why;
    return p;
}

// The model's part `chip` in the socket, its type selected at `level`, with `inForce` named;
// the board's records cleared after the set-up.
vsim::EpromChip& socket(const char* chip, int level, const EpromPart* inForce) {
    wire::reset_all();
    vsim::EpromChip& c = vsim::board().insert_chip(vsim::EpromChip(*vsim::find_part(chip)));
    const IC type = c.part().type;
    SetICType(type);
    SetVpp(level);
    epromPart = inForce;
    wire::start_recording();
    return c;
}

TEST(Interlock, BurnAboveWhatTheChipTakesSendsNothing) {
    const struct {
        const char* chip; // in the socket
        int level;
        const char* part; // in force, or nullptr for the type alone
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
        vsim::EpromChip& chip = socket(c.chip, c.level, c.part ? part(c.part) : nullptr);
        const RunResult r = RunWrite(image.data(), 0xF, nullptr);
        EXPECT_EQ(r.outcome, c.outcome);
        EXPECT_EQ(wire::trace().empty(), c.outcome == RUN_REFUSED);
        EXPECT_EQ(chip.byte(0xF), c.outcome == RUN_REFUSED ? 0xFF : 0x00);
        EXPECT_FALSE(chip.destroyed());
    }
}

TEST(Interlock, MenuRunSaysWhyAndAnotherTypeEndsThePart) {
    vtest::SavedSettings saved;
    socket("27C256", T21V, part("M27C256B-12F1"));
    std::vector<uint8_t> image(BUFFER_SIZE, 0x00);
    vtest::ConsoleCapture con("\n");
    EXPECT_EQ(WriteIC(image.data(), 0xF), 0u);
    EXPECT_EQ(vtest::boxesOn(con.screen()),
              (std::vector<vtest::Box>{
                  {"Error:", "a 27C256 takes at most 14 V on Vpp: 21 V would destroy it"}}));
    EXPECT_TRUE(wire::trace().empty());
    SetICType(T27256);
    EXPECT_NE(epromPart, nullptr); // the same type: the same chip
    SetICType(T27512);
    EXPECT_EQ(epromPart, nullptr);
}

TEST(ImageText, RecordsEveryLineOrRaw) {
    const struct {
        const char* text;
        IMG_FORMAT format;
    } cases[] = {
        {":0400000001020304F2\n:00000001FF\n", TIMGIHEX},
        {"\r\n:0400000001020304F2\r\n\r\n:00000001FF", TIMGIHEX}, // CR LF, blank lines
        {":0400000001020304F2\n", TIMGIHEX},                      // cut short: still text
        {"S107000001020304EE\nS9030000FC\n", TIMGSREC},
        {":0400000001020304F3\n:00000001FF\n", TIMGRAW}, // a bad checksum
        {":0400000001020304F2\nhello\n", TIMGRAW},
        {"S4030000FC\n", TIMGRAW},
        {"\n\n", TIMGRAW},
        {"", TIMGRAW},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(
            ImageTextFormat(reinterpret_cast<const unsigned char*>(c.text), std::strlen(c.text)),
            c.format);
    }
}

} // namespace
