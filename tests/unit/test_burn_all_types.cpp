// Every EPROM type end to end on the virtual board: a whole chip is programmed with an image
// that shows any lost or swapped address line, verified, and read back into a cleared
// buffer, and the chip itself is inspected afterwards. The 2708 and 2716 are only read.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "console/chipruns.h"
#include "eprom/misc.h"
#include "link/hw.h"
#include "tests/support/runs.h"
#include "tests/support/wire.h"

namespace {

using runs::fmt;
using vtest::Box;

std::string type_name(const ::testing::TestParamInfo<IC>& info) {
    return std::string("T") + vsim::chip_facts(modelType(info.param)).name;
}

// A blank chip of `type` in the socket, the type selected as the menu does, the fastest bus
// (a whole 27C040 is half a million attempts) and the lowest programming voltage the chip is
// rated for.
vsim::EpromChip& set_up(IC type) {
    wire::reset_all();
    set_delay(1);
    vsim::EpromChip& chip = vsim::board().insert_chip(modelType(type));
    SetICType(type);
    SetVpp(chip.vpp_rating());
    return chip;
}

// Reads `last` + 1 bytes into a cleared work buffer and checks the texts of the read run
// and that nothing beyond the range end was touched.
void read_back_and_check(const std::vector<uint8_t>& image, unsigned long last) {
    std::vector<uint8_t> work(BUFFER_SIZE, 0x00);
    vtest::ConsoleCapture con("\n");
    EXPECT_EQ(ReadIC(work.data(), last), last);
    const std::vector<uint8_t> got(work.begin(), work.begin() + (long)last + 1);
    EXPECT_EQ(runs::first_difference(got, image), -1) << "read-back differs from the image";
    for (size_t a = last + 1; a < work.size(); ++a)
        if (work[a] != 0x00) {
            ADD_FAILURE() << "read run wrote past its range end at " << a;
            break;
        }
    const std::string screen = con.screen();
    EXPECT_EQ(runs::before_boxes(screen).find("reading...\n"), 0u);
    EXPECT_NE(runs::before_boxes(screen).find(fmt("\rread: %lX", last)), std::string::npos);
    EXPECT_EQ(screen.find("all Bytes FF"), std::string::npos);
    const unsigned sum = runs::rule_checksum(image.data(), last);
    EXPECT_EQ(vtest::boxesOn(screen),
              (std::vector<Box>{
                  {"Ready:", fmt("read %lu bytes to buffer ( 0x%lX ) - [#%X]", last, last, sum)}}));
    EXPECT_TRUE(runs::board_clean_and_idle());
}

class BurnEveryProgrammableType : public ::testing::TestWithParam<IC> {};

TEST_P(BurnEveryProgrammableType, WholeChipHoldsTheImageVerifiesAndReadsBack) {
    const IC type = GetParam();
    vsim::EpromChip& chip = set_up(type);
    const unsigned long last = GetLastAdress(type);
    ASSERT_EQ(last + 1, chip.size());
    const std::vector<uint8_t> image = runs::make_image(chip.size(), 1000 + type);

    std::vector<uint8_t> work(BUFFER_SIZE, 0x00);
    std::memcpy(work.data(), image.data(), image.size());
    {
        vtest::ConsoleCapture con("\n");
        EXPECT_EQ(WriteIC(work.data(), last), 1u);
        const std::string screen = con.screen();
        EXPECT_EQ(screen.find("writing...\n"), 0u);
        EXPECT_EQ(vtest::boxesOn(screen),
                  (std::vector<Box>{{"Ready:", fmt("write ready: %lX Bytes", last)}}));
        EXPECT_EQ(con.unreadInput(), "");
        EXPECT_TRUE(runs::board_clean_and_idle());
    }
    EXPECT_EQ(runs::first_difference(chip.contents(), image), -1) << "chip differs from image";
    // A working cell takes its byte with the first pulse, and a 0xFF byte needs none.
    unsigned long non_ff = 0;
    for (uint8_t v : image)
        non_ff += v != 0xFF;
    EXPECT_EQ(chip.total_pulses(), non_ff);
    EXPECT_EQ(vsim::board().triggers(), non_ff);
    EXPECT_EQ(vsim::board().spoiled_pulses(), 0u);

    {
        vtest::ConsoleCapture con("\n");
        EXPECT_EQ(CompareIC(work.data(), last, 0), 1u);
        EXPECT_EQ(vtest::boxesOn(con.screen()),
                  (std::vector<Box>{{"Ready:", fmt("compare: %lX", last)}}));
        EXPECT_TRUE(runs::board_clean_and_idle());
    }
    read_back_and_check(image, last);
    // Reading and verifying leave the cells alone.
    EXPECT_EQ(runs::first_difference(chip.contents(), image), -1);
}

INSTANTIATE_TEST_SUITE_P(Types, BurnEveryProgrammableType,
                         ::testing::Values(T2732, T2764, T27128, T27256, T27512, T27010, T27020,
                                           T27040),
                         type_name);

class ReadOnlyType : public ::testing::TestWithParam<IC> {};

// The board cannot program these, so the image goes into the chip the way another
// programmer would have put it there.
TEST_P(ReadOnlyType, ChipWithAnImageVerifiesAndReadsBack) {
    const IC type = GetParam();
    vsim::EpromChip& chip = set_up(type);
    const unsigned long last = GetLastAdress(type);
    ASSERT_EQ(last + 1, chip.size());
    const std::vector<uint8_t> image = runs::make_image(chip.size(), 2000 + type);
    chip.load(image);

    std::vector<uint8_t> work(BUFFER_SIZE, 0x00);
    std::memcpy(work.data(), image.data(), image.size());
    {
        vtest::ConsoleCapture con("\n");
        EXPECT_EQ(CompareIC(work.data(), last, 0), 1u);
        EXPECT_EQ(vtest::boxesOn(con.screen()),
                  (std::vector<Box>{{"Ready:", fmt("compare: %lX", last)}}));
        EXPECT_TRUE(runs::board_clean_and_idle());
    }
    read_back_and_check(image, last);
    EXPECT_EQ(chip.total_pulses(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Types, ReadOnlyType, ::testing::Values(T2708, T2716), type_name);

} // namespace
