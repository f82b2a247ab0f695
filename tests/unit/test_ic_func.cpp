// The chip runs on the virtual board: every outcome of the programming run with its exact
// boxes, verify and blank check, the texts of the read run, the supply and the chip state
// each run leaves behind, and the hazards that a wrongly set-up run does to the chip.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "console/chipruns.h"
#include "eprom/ic_func.h"
#include "eprom/misc.h"
#include "link/hw.h"
#include "tests/support/runs.h"
#include "tests/support/wire.h"

namespace {

using runs::fmt;
using vtest::Box;
using Boxes = std::vector<Box>;

std::string type_name(const ::testing::TestParamInfo<IC>& info) {
    return std::string("T") + vsim::chip_facts(modelType(info.param)).name;
}

// The progress counter of a run over 0..end: the address every 0x800 addresses, each
// written over the last one from the start of the line.
std::string counter(unsigned long end) {
    std::string s;
    for (unsigned long a = 0; a <= end; a += 0x800)
        s += fmt("\r%lX", a);
    return s;
}

// The screen ends with the frame line of its last box: nothing printed after it.
bool ends_with_box(const std::string& screen) {
    return screen.size() >= 2 && screen.compare(screen.size() - 2, 2, "+\n") == 0;
}

// A blank chip of `type` in the socket, the type selected, the programming voltage the chip
// is rated for chosen, the chip idle as an earlier run leaves it, and a work buffer of 0xFF
// (so that only the bytes a test sets are programmed).
class ChipRun : public ::testing::Test {
  protected:
    vsim::EpromChip& prepare(IC type) {
        wire::reset_all();
        set_delay(1);
        vsim::EpromChip& c = vsim::board().insert_chip(modelType(type));
        SetICType(type);
        SetVpp(c.vpp_rating());
        DisableEprom();
        work.assign(BUFFER_SIZE, 0xFF);
        return c;
    }
    void set(std::initializer_list<uint8_t> bytes) { std::copy(bytes.begin(), bytes.end(), buf()); }
    vsim::Board& board() { return vsim::board(); }
    uint8_t* buf() { return work.data(); }
    // IC4 transfers that switched the programming voltage on.
    size_t vpp_on_transfers() const {
        const auto& h = vsim::board().ic4_history();
        return (size_t)std::count_if(h.begin(), h.end(),
                                     [](uint8_t v) { return (v & IC4Q1_VPP) != 0; });
    }

    std::vector<uint8_t> work;
};

// ---- Programming run: every outcome --------------------------------------------------------

TEST_F(ChipRun, CellTakingItsValueOnTheThirdPulseCostsThreeAttemptsAndNoMessage) {
    vsim::EpromChip& chip = prepare(T27512);
    set({0x12, 0x34, 0x56, 0x78});
    chip.set_pulses_needed(2, 3);
    vtest::ConsoleCapture con("\n");
    EXPECT_EQ(WriteIC(buf(), 3), 1u);
    const std::string screen = con.screen();
    EXPECT_EQ(runs::before_boxes(screen), "writing...\n\r0\r3");
    EXPECT_EQ(vtest::boxesOn(screen), (Boxes{{"Ready:", "write ready: 3 Bytes"}}));
    EXPECT_EQ(con.unreadInput(), "");
    // Every attempt ends with one read-back: one each at 0, 1 and 3, three at 2.
    EXPECT_EQ(board().loads(), 6u);
    EXPECT_EQ(chip.pulses_at(0), 1u);
    EXPECT_EQ(chip.pulses_at(1), 1u);
    EXPECT_EQ(chip.pulses_at(2), 3u);
    EXPECT_EQ(chip.pulses_at(3), 1u);
    EXPECT_EQ(chip.byte(2), 0x56);
    EXPECT_EQ(chip.byte(4), 0xFF);
    EXPECT_TRUE(runs::board_clean_and_idle());
}

TEST_F(ChipRun, StuckCellStopsTheRunAfterTenAttemptsWithTheWriteError) {
    vsim::EpromChip& chip = prepare(T27256);
    set({0x10, 0x01, 0x20});
    chip.set_stuck(1, 0x00);
    vtest::ConsoleCapture con("\n");
    EXPECT_EQ(WriteIC(buf(), 2), 0u);
    const std::string screen = con.screen();
    EXPECT_EQ(runs::before_boxes(screen), "writing...\n\r0");
    EXPECT_EQ(vtest::boxesOn(screen),
              (Boxes{{"Error:", "write-error at adr:1   read: 0   buffer: 1"}}));
    EXPECT_TRUE(ends_with_box(screen));
    EXPECT_EQ(board().loads(), 11u);
    EXPECT_EQ(board().triggers(), 11u);
    EXPECT_EQ(chip.byte(0), 0x10);
    EXPECT_EQ(chip.byte(2), 0xFF) << "the run went on past the failed address";
    EXPECT_EQ(chip.pulses_at(2), 0u);
    EXPECT_TRUE(runs::board_clean_and_idle());
}

TEST_F(ChipRun, WriteErrorShowsTheTenthReadBack) {
    // The cell holds 0xF7 and gives in only to the tenth pulse, taking 0xF7 AND 0x3C: the
    // first nine read-backs show 0xF7, the tenth 0x34.
    vsim::EpromChip& chip = prepare(T2732);
    set({0x3C});
    chip.set_byte(0, 0xF7);
    chip.set_pulses_needed(0, 10);
    vtest::ConsoleCapture con("\n");
    EXPECT_EQ(WriteIC(buf(), 0x10), 0u);
    EXPECT_EQ(vtest::boxesOn(con.screen()),
              (Boxes{{"Error:", "write-error at adr:0   read: 34   buffer: 3C"}}));
    EXPECT_EQ(chip.pulses_at(0), 10u);
    EXPECT_EQ(chip.byte(0), 0x34);
    EXPECT_TRUE(runs::board_clean_and_idle());
}

TEST_F(ChipRun, MonoflopStuckBusyTimesOutAtTheFirstByteToProgramWithTheVoltageOff) {
    struct Case {
        std::vector<uint8_t> bytes;
        const char* text;
        unsigned long read_backs;
    };
    for (const Case& c : {Case{{0xFF, 0xFF, 0x12, 0x34}, "timeout writing at adr:2", 2},
                          Case{{0x12, 0x34}, "timeout writing at adr:0", 0}}) {
        SCOPED_TRACE(c.text);
        vsim::EpromChip& chip = prepare(T27512);
        std::copy(c.bytes.begin(), c.bytes.end(), buf());
        board().set_monoflop_fault(vsim::LineFault::stuck_at_1);
        wire::start_recording();
        vtest::ConsoleCapture con("\n");
        EXPECT_EQ(WriteIC(buf(), 3), 0u);
        EXPECT_EQ(vtest::boxesOn(con.screen()), (Boxes{{"Error:", c.text}}));
        EXPECT_EQ(con.unreadInput(), "");
        EXPECT_EQ(board().triggers(), 0u);
        EXPECT_EQ(board().loads(), c.read_backs) << "one attempt only, and no read-back";
        // The attempt switches the voltage off itself; then ClearEpromVpp, the supply back
        // to 5 V and the chip disabled.
        const auto& h = board().ic4_history();
        ASSERT_GE(h.size(), 4u);
        const uint8_t off = IC4Q3_CE_HIGH | IC4Q4_OE_HIGH;
        EXPECT_EQ(std::vector<uint8_t>(h.end() - 4, h.end()),
                  (std::vector<uint8_t>{off, off, off | IC4Q5_VCC_5V, off | IC4Q5_VCC_5V}));
        EXPECT_EQ(ic_IC4 & IC4Q1_VPP, 0);
        EXPECT_TRUE(chip.is_blank());
        EXPECT_TRUE(runs::board_clean_and_idle());
    }
}

TEST_F(ChipRun, ReadOnlyTypeReadsBackTheFfBytesThenShowsBothBoxes) {
    for (IC type : {T2716, T2708}) {
        const std::string name = vsim::chip_facts(modelType(type)).name;
        SCOPED_TRACE(name);
        vsim::EpromChip& chip = prepare(type);
        set({0xFF, 0xFF, 0x12});
        wire::start_recording();
        vtest::ConsoleCapture con("\n\n");
        EXPECT_EQ(WriteIC(buf(), 0x20), 0u);
        EXPECT_EQ(vtest::boxesOn(con.screen()),
                  (Boxes{{"Info:", "programming not supported for " + name},
                         {"Error:", "writing not supported"}}));
        EXPECT_EQ(con.unreadInput(), "");
        EXPECT_EQ(board().loads(), 2u) << "addresses 0 and 1 are read back";
        EXPECT_EQ(vpp_on_transfers(), 0u) << "the voltage never came on";
        EXPECT_EQ(ic_IC4 & IC4Q1_VPP, 0) << "the prepared voltage switch was cleared";
        EXPECT_TRUE(chip.is_blank());
        EXPECT_TRUE(runs::board_clean_and_idle());
    }
}

TEST_F(ChipRun, RangeEndZeroShowsTheErrorBoxAndStillRestoresSupplyAndDisables) {
    prepare(T27512);
    wire::start_recording();
    vtest::ConsoleCapture con("\n");
    EXPECT_EQ(WriteIC(buf(), 0), 0u);
    const std::string screen = con.screen();
    EXPECT_EQ(runs::before_boxes(screen), "writing...\n");
    EXPECT_EQ(vtest::boxesOn(screen), (Boxes{{"ERROR", "-->   endAdr=0 !"}}));
    // Nothing but the two IC4 transfers: SetVcc(5 V) and DisableEprom.
    const uint8_t idle5 = IC4Q3_CE_HIGH | IC4Q4_OE_HIGH | IC4Q5_VCC_5V;
    EXPECT_EQ(wire::latches_of(wire::trace()),
              (std::vector<wire::Latch>{{SR_IC4, idle5}, {SR_IC4, idle5}}));
    EXPECT_EQ(wire::transfers_of(wire::trace()).size(), 2u) << "no address or data transfer";
    EXPECT_EQ(board().loads(), 0u);
    EXPECT_TRUE(runs::board_clean_and_idle());
}

TEST_F(ChipRun, TooLowAProgrammingVoltageFailsTheWriteAndTheVerify) {
    // A 2732 needs 21 V; at 12.75 V no pulse reaches the cell.
    vsim::EpromChip& chip = prepare(T2732);
    SetVpp(T12_75V);
    set({0x12, 0x34});
    vtest::ConsoleCapture con("\n\n");
    EXPECT_EQ(WriteIC(buf(), 1), 0u);
    EXPECT_EQ(CompareIC(buf(), 1, 0), 0u);
    EXPECT_EQ(vtest::boxesOn(con.screen()),
              (Boxes{{"Error:", "write-error at adr:0   read: FF   buffer: 12"},
                     {"Error:", "error at adr: 0x0   read: 0xFF   buffer: 0x12"}}));
    EXPECT_EQ(board().triggers(), 10u);
    EXPECT_EQ(board().effective_pulses(), 0u);
    EXPECT_TRUE(chip.is_blank());
    EXPECT_TRUE(runs::board_clean_and_idle()) << "too low a voltage is no hazard";
}

TEST_F(ChipRun, MonoflopThatNeverRunsGivesNoPulseAndAWriteError) {
    vsim::EpromChip& chip = prepare(T27512);
    set({0xFF, 0xA5});
    board().set_monoflop_fault(vsim::LineFault::stuck_at_0);
    vtest::ConsoleCapture con("\n");
    EXPECT_EQ(WriteIC(buf(), 1), 0u);
    EXPECT_EQ(vtest::boxesOn(con.screen()),
              (Boxes{{"Error:", "write-error at adr:1   read: FF   buffer: A5"}}));
    EXPECT_TRUE(chip.is_blank());
    EXPECT_TRUE(runs::board_clean_and_idle());
}

TEST_F(ChipRun, EmptySocketReadsAllFfAndCannotBeProgrammed) {
    prepare(T27512);
    board().remove_chip();
    std::vector<uint8_t> read(BUFFER_SIZE, 0x00);
    vtest::ConsoleCapture con("\n\n");
    EXPECT_EQ(ReadIC(read.data(), 0xFF), 0xFFu);
    EXPECT_TRUE(
        std::all_of(read.begin(), read.begin() + 0x100, [](uint8_t v) { return v == 0xFF; }));
    set({0x00});
    EXPECT_EQ(WriteIC(buf(), 0xFF), 0u);
    const Boxes boxes = vtest::boxesOn(con.screen());
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1], (Box{"Error:", "write-error at adr:0   read: FF   buffer: 0"}));
    EXPECT_TRUE(runs::board_clean_and_idle());
}

TEST_F(ChipRun, NullBufferRunsReturnZeroWithoutOutputOrPortAccess) {
    prepare(T27512);
    const uint64_t ticks = board().ticks();
    const uint8_t shadow4 = ic_IC4, shadow5 = ic_IC5;
    vtest::ConsoleCapture con("\n");
    EXPECT_EQ(ReadIC(nullptr, 0xFF), 0u);
    EXPECT_EQ(CompareIC(nullptr, 0xFF, 0), 0u);
    EXPECT_EQ(WriteIC(nullptr, 0xFF), 0u);
    EXPECT_EQ(con.screen(), "");
    EXPECT_EQ(con.unreadInput(), "\n");
    EXPECT_EQ(board().ticks(), ticks);
    EXPECT_EQ(ic_IC4, shadow4);
    EXPECT_EQ(ic_IC5, shadow5);
}

// An all-0xFF buffer on an erased chip: every address is only read back. Ranges above 64 KiB
// are cut to 0x10FFF, which still crosses into the upper address lines.
class FfBufferOnBlankChip : public ChipRun, public ::testing::WithParamInterface<IC> {};

TEST_P(FfBufferOnBlankChip, CompletesWithoutAnyPulse) {
    const IC type = GetParam();
    vsim::EpromChip& chip = prepare(type);
    const unsigned long end = std::min(GetLastAdress(type), 0x10FFFUL);
    const uint64_t ic4_before = board().latches(vsim::Reg::ic4);
    vtest::ConsoleCapture con("\n");
    EXPECT_EQ(WriteIC(buf(), end), 1u);
    const std::string screen = con.screen();
    EXPECT_EQ(runs::before_boxes(screen), "writing...\n" + counter(end) + fmt("\r%lX", end));
    EXPECT_EQ(vtest::boxesOn(screen), (Boxes{{"Ready:", fmt("write ready: %lX Bytes", end)}}));
    EXPECT_EQ(board().triggers(), 0u);
    EXPECT_EQ(board().loads(), end + 1);
    // Set-up (EnableEprom, SetVcc, SetVpp), two per address (deselect, read-back), and the
    // end (SetVcc, DisableEprom): no transfer is left over for switching the voltage on.
    EXPECT_EQ(board().latches(vsim::Reg::ic4) - ic4_before, 3 + 2 * (end + 1) + 2);
    EXPECT_TRUE(chip.is_blank());
    EXPECT_EQ(chip.total_pulses(), 0u);
    EXPECT_TRUE(runs::board_clean_and_idle());
}

INSTANTIATE_TEST_SUITE_P(AllTypes, FfBufferOnBlankChip,
                         ::testing::Values(T2708, T2716, T2732, T2764, T27128, T27256, T27512,
                                           T27010, T27020, T27040),
                         type_name);

// ---- The runs' results, as a job reads them ----------------------------------------------

// The progress hook's calls; a stop noted at 0x800 (the way a signal notes it) with `stop`.
struct Progress {
    std::vector<unsigned long> seen;
    bool stop = false;
    static void hook(void* self, unsigned long adresse, unsigned long) {
        Progress& p = *static_cast<Progress*>(self);
        p.seen.push_back(adresse);
        if (p.stop && adresse == 0x800)
            StopRequest = SIGTERM;
    }
};

TEST_F(ChipRun, EveryRunReportsWhereAndHowItEndedWithoutAWordOnTheConsole) {
    using Run = std::function<RunResult(uint8_t*, const RunHooks*)>;
    const Run read = [](uint8_t* b, const RunHooks* h) { return RunRead(b, 0xFFF, h); };
    struct Case {
        const char* name;
        Run run;
        bool stop;
        RunResult want; // outcome, adresse, chip, wanted, done, differ, pulses, type
        std::vector<unsigned long> progress;
    };
    const std::vector<Case> cases = {
        {"read", read, false, {RUN_OK, 0xFFF, 0, 0, 0x1000, 0, 0, T27256}, {0, 0x800}},
        {"read stopped at 0x800",
         read,
         true,
         {RUN_STOPPED, 0x800, 0, 0, 0x800, 0, 0, T27256},
         {0, 0x800}},
        {"verify reading on",
         [](uint8_t* b, const RunHooks* h) { return RunCompare(b, 0xFFF, 0, 1, h); },
         false,
         {RUN_MISMATCH, 5, 0x00, 0xFF, 0x1000, 3, 0, T27256},
         {0, 0x800}},
        {"verify stopping at the first difference",
         [](uint8_t* b, const RunHooks* h) { return RunCompare(b, 0xFFF, 0, 0, h); },
         false,
         {RUN_MISMATCH, 5, 0x00, 0xFF, 6, 1, 0, T27256},
         {0}},
        {"burn: one byte erased, one taking three pulses, one stuck",
         [](uint8_t* b, const RunHooks* h) {
             std::copy_n("\x12\xFF\x56\x34", 4, b);
             return RunWrite(b, 3, h);
         },
         false,
         {RUN_WRITE_ERROR, 3, 0x30, 0x34, 3, 0, 14, T27256},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        vsim::EpromChip& chip = prepare(T27256);
        for (uint32_t a : {5u, 9u, 0xFFFu}) // the buffer wants 0xFF there
            chip.set_byte(a, 0x00);
        chip.set_byte(0x7FF, 0x42);
        const std::string name = c.name;
        if (name.compare(0, 4, "burn") == 0) {
            chip.set_pulses_needed(2, 3);
            chip.set_stuck(3, 0x30);
        }
        Progress p;
        p.stop = c.stop;
        const RunHooks hooks = {c.progress.empty() ? nullptr : &Progress::hook, nullptr, &p};
        std::fill_n(buf(), 0x1000, 0xFF);
        const bool reads = name.compare(0, 4, "read") == 0;
        buf()[0x800] = reads ? 0x99 : 0xFF;
        buf()[0x7FF] = 0x42;
        vtest::ConsoleCapture con("\n");
        const RunResult r = c.run(buf(), &hooks);
        const RunResult& w = c.want;
        EXPECT_EQ(std::vector<unsigned long>({(unsigned long)r.outcome, r.adresse, r.chip, r.wanted,
                                              r.done, r.differ, r.pulses, (unsigned long)r.type}),
                  std::vector<unsigned long>({(unsigned long)w.outcome, w.adresse, w.chip, w.wanted,
                                              w.done, w.differ, w.pulses, (unsigned long)w.type}));
        EXPECT_EQ(p.seen, c.progress);
        EXPECT_EQ(con.screen(), "");
        EXPECT_EQ(con.unreadInput(), "\n");
        EXPECT_EQ(RunInProgress, 0);
        if (reads) { // the step at 0x800 thrown away when stopped
            EXPECT_EQ(buf()[0x800], c.stop ? 0x99 : 0xFF);
        }
        StopRequest = 0;
        EXPECT_TRUE(runs::board_clean_and_idle());
    }
}

// The socket at every IC4 transfer with the programming voltage on: address lines, IC4, IC5
// and the data register.
using Levels = std::set<std::tuple<uint32_t, uint8_t, uint8_t, uint8_t>>;
void levelsWithVpp(void* self, const vsim::PortAccess& a) {
    const vsim::Board& b = vsim::board();
    const uint8_t ic4 = (uint8_t)b.shift_register(vsim::Reg::ic4);
    if (a.kind == vsim::PortAccess::write && a.value == 0x0A && (ic4 & IC4Q1_VPP))
        static_cast<Levels*>(self)->insert({b.address_lines(), ic4, b.ic5(), b.data_register()});
}

// A sparse image burnt whole on a blank chip, then by marks on one that holds every other of its
// bytes already (address 0 and 0x10000 among them): only the marked cells are pulsed, at levels
// of the whole burn, and both chips hold the image.
TEST_F(ChipRun, ABurnOfMarkedCellsPulsesOnlyThemAtTheLevelsOfTheWholeBurn) {
    for (IC type : {T2732, T2764, T27128, T27256, T27512, T27010, T27020, T27040}) {
        SCOPED_TRACE(vsim::chip_facts(modelType(type)).name);
        const unsigned long end = std::min(GetLastAdress(type), 0x10FFFUL);
        const std::vector<unsigned long> cells = {
            0, 1, 0x7FF, 0x800, end > 0xFFFF ? 0x10000UL : end - 1, end};
        std::vector<uint8_t> image(end + 1, 0xFF), marks(end + 1, 0);
        for (unsigned long a : cells)
            image[a] = runs::image_byte((uint32_t)a, type) & 0x7E;
        Levels whole;
        for (bool patch : {false, true}) {
            vsim::EpromChip& chip = prepare(type);
            std::copy(image.begin(), image.end(), buf());
            for (size_t i = 0; patch && i < cells.size(); i++)
                i % 2 ? (void)(marks[cells[i]] = 1) : chip.set_byte(cells[i], image[cells[i]]);
            Levels seen;
            board().set_access_hook(&levelsWithVpp, &seen);
            EXPECT_EQ(RunWrite(buf(), end, nullptr, patch ? marks.data() : nullptr).outcome,
                      RUN_OK);
            board().set_access_hook(nullptr, nullptr);
            for (unsigned long a : cells)
                EXPECT_EQ(chip.pulses_at(a), patch ? marks[a] : 1u) << a;
            EXPECT_EQ(chip.total_pulses(), patch ? 3u : 6u);
            EXPECT_TRUE(std::equal(image.begin(), image.end(), chip.contents().begin()));
            EXPECT_TRUE(runs::board_clean_and_idle());
            if (!patch)
                whole = seen;
            EXPECT_TRUE(std::includes(whole.begin(), whole.end(), seen.begin(), seen.end()));
        }
    }
}

// ---- Verify and blank check --------------------------------------------------------------

class VerifyRun : public ChipRun {
  protected:
    // A 27256 holding a test image, with the same image in the buffer.
    vsim::EpromChip& prepare_image() {
        vsim::EpromChip& chip = prepare(T27256);
        image = runs::make_image(chip.size(), 77);
        chip.load(image);
        std::copy(image.begin(), image.end(), work.begin());
        return chip;
    }
    std::vector<uint8_t> image;
};

TEST_F(VerifyRun, VerifyReportsTheFirstDifferenceOnlyAndStopsThere) {
    prepare_image();
    work[0x923] ^= 0x5A;
    work[0x4456] ^= 0x01;
    vtest::ConsoleCapture con("\n");
    EXPECT_EQ(CompareIC(buf(), 0x7FFF, 0), 0u);
    const std::string screen = con.screen();
    EXPECT_EQ(runs::before_boxes(screen), "comparing...\n\r0\r800");
    EXPECT_EQ(vtest::boxesOn(screen),
              (Boxes{{"Error:", fmt("error at adr: 0x923   read: 0x%X   buffer: 0x%X", image[0x923],
                                    work[0x923])}}));
    EXPECT_TRUE(ends_with_box(screen));
    EXPECT_EQ(board().loads(), 0x924u) << "the run goes no further than the difference";
    EXPECT_TRUE(runs::board_clean_and_idle());
}

TEST_F(VerifyRun, VerifyFindsADifferenceAtTheRangeEnd) {
    prepare_image();
    work[0x3FF] = (uint8_t)~image[0x3FF];
    vtest::ConsoleCapture con("\n");
    EXPECT_EQ(CompareIC(buf(), 0x3FF, 0), 0u);
    EXPECT_EQ(vtest::boxesOn(con.screen()),
              (Boxes{{"Error:", fmt("error at adr: 0x3FF   read: 0x%X   buffer: 0x%X", image[0x3FF],
                                    work[0x3FF])}}));
    EXPECT_TRUE(runs::board_clean_and_idle());
}

TEST_F(VerifyRun, VerifyDoesNotLookBeyondTheRangeEnd) {
    prepare_image();
    work[0x400] = (uint8_t)~image[0x400];
    vtest::ConsoleCapture con("\n");
    EXPECT_EQ(CompareIC(buf(), 0x3FF, 0), 1u);
    const std::string screen = con.screen();
    EXPECT_EQ(runs::before_boxes(screen), "comparing...\n\r0\r3FF");
    EXPECT_EQ(vtest::boxesOn(screen), (Boxes{{"Ready:", "compare: 3FF"}}));
    EXPECT_EQ(board().loads(), 0x400u);
    EXPECT_TRUE(runs::board_clean_and_idle());
}

TEST_F(ChipRun, BlankCheckNeedsNoBufferAndNamesTheFirstProgrammedCell) {
    vsim::EpromChip& chip = prepare(T2764);
    {
        vtest::ConsoleCapture con("\n");
        EXPECT_EQ(CompareIC(nullptr, 0x1FFF, 1), 1u);
        const std::string screen = con.screen();
        EXPECT_EQ(runs::before_boxes(screen), "blank-check...\n" + counter(0x1FFF) + "\r1FFF");
        EXPECT_EQ(vtest::boxesOn(screen), (Boxes{{"Ready:", "eprom is blank"}}));
        EXPECT_TRUE(runs::board_clean_and_idle());
    }
    chip.set_byte(0x1FFE, 0x7F);
    chip.set_byte(0x1FFF, 0x00);
    {
        vtest::ConsoleCapture con("\n");
        EXPECT_EQ(CompareIC(nullptr, 0x1FFF, 1), 0u);
        const std::string screen = con.screen();
        EXPECT_EQ(vtest::boxesOn(screen), (Boxes{{"Error:", "not blank at adr: 0x1FFE"}}));
        EXPECT_TRUE(ends_with_box(screen));
        EXPECT_TRUE(runs::board_clean_and_idle());
    }
    // The blank check does not look at a buffer even when it is given one.
    {
        vtest::ConsoleCapture con("\n");
        EXPECT_EQ(CompareIC(buf(), 0x1FFD, 1), 1u);
        EXPECT_EQ(vtest::boxesOn(con.screen()), (Boxes{{"Ready:", "eprom is blank"}}));
    }
}

TEST_F(ChipRun, VerifyAndBlankCheckWithRangeEndZeroRestoreSupplyAndDisable) {
    for (unsigned blank : {0u, 1u}) {
        SCOPED_TRACE(blank ? "blank check" : "verify");
        prepare(T27512);
        vcc = T6_25V;
        SetVcc(1);
        wire::start_recording();
        vtest::ConsoleCapture con("\n");
        EXPECT_EQ(CompareIC(buf(), 0, blank), 0u);
        const std::string screen = con.screen();
        EXPECT_EQ(runs::before_boxes(screen), blank ? "blank-check...\n" : "comparing...\n");
        EXPECT_EQ(vtest::boxesOn(screen), (Boxes{{"Error:", "-->   endAdr=0 !"}}));
        const uint8_t idle = IC4Q3_CE_HIGH | IC4Q4_OE_HIGH; // at 6.25 V
        EXPECT_EQ(wire::latches_of(wire::trace()),
                  (std::vector<wire::Latch>{{SR_IC4, idle}, {SR_IC4, idle}}));
        EXPECT_EQ(board().loads(), 0u);
        EXPECT_TRUE(runs::board_clean_and_idle());
    }
}

// ---- Read run ---------------------------------------------------------------------------

TEST_F(ChipRun, ReadOfABlank2716FillsTheBufferAndReportsAllFf) {
    prepare(T2716);
    std::vector<uint8_t> read(BUFFER_SIZE, 0x00);
    vtest::ConsoleCapture con("\n");
    EXPECT_EQ(ReadIC(read.data(), 0x7FF), 0x7FFu);
    EXPECT_TRUE(
        std::all_of(read.begin(), read.begin() + 0x800, [](uint8_t v) { return v == 0xFF; }));
    EXPECT_EQ(read[0x800], 0x00);
    EXPECT_EQ(runs::rule_checksum(read.data(), 0x7FF), 0xF800u);
    const std::string screen = con.screen();
    EXPECT_EQ(runs::before_boxes(screen), "reading...\n\r0\rread: 7FF\nall Bytes FF");
    EXPECT_EQ(vtest::boxesOn(screen),
              (Boxes{{"Ready:", "read 2047 bytes to buffer ( 0x7FF ) - [#F800]"}}));
    EXPECT_EQ(con.unreadInput(), "");
    EXPECT_TRUE(runs::board_clean_and_idle());
}

TEST_F(ChipRun, ReadWithOneProgrammedByteReportsTheRangeEndAndTheChecksum) {
    vsim::EpromChip& chip = prepare(T27512);
    chip.set_byte(0x8000, 0x12);
    std::vector<uint8_t> read(BUFFER_SIZE, 0x00);
    vtest::ConsoleCapture con("\n");
    EXPECT_EQ(ReadIC(read.data(), 0xFFFF), 0xFFFFu);
    EXPECT_EQ(read[0x8000], 0x12);
    EXPECT_EQ(read[0x7FFF], 0xFF);
    const unsigned sum = runs::rule_checksum(read.data(), 0xFFFF);
    const std::string screen = con.screen();
    EXPECT_EQ(runs::before_boxes(screen), "reading...\n" + counter(0xFFFF) + "\rread: FFFF");
    EXPECT_EQ(vtest::boxesOn(screen),
              (Boxes{{"Ready:", fmt("read 65535 bytes to buffer ( 0xFFFF ) - [#%X]", sum)}}));
    EXPECT_TRUE(runs::board_clean_and_idle());
}

TEST_F(ChipRun, ReadChecksumSwapsTheNibblesOfASmallSum) {
    // Three bytes summing to 0x0126 give 0x1026.
    vsim::EpromChip& chip = prepare(T2732);
    chip.load({0x61, 0x62, 0x63});
    std::vector<uint8_t> read(BUFFER_SIZE, 0x00);
    vtest::ConsoleCapture con("\n");
    EXPECT_EQ(ReadIC(read.data(), 2), 2u);
    EXPECT_EQ(vtest::boxesOn(con.screen()),
              (Boxes{{"Ready:", "read 2 bytes to buffer ( 0x2 ) - [#1026]"}}));
}

TEST_F(ChipRun, ReadWithRangeEndZeroLeavesTheChipAlone) {
    prepare(T27512);
    const uint64_t ticks = board().ticks();
    vtest::ConsoleCapture con("\n");
    EXPECT_EQ(ReadIC(buf(), 0), 0u);
    const std::string screen = con.screen();
    EXPECT_EQ(runs::before_boxes(screen), "reading...\n");
    EXPECT_EQ(vtest::boxesOn(screen), (Boxes{{"Error:", "-->  endAdr=0 !"}}));
    EXPECT_EQ(board().ticks(), ticks);
}

TEST_F(ChipRun, ReadKeepsTheChosenSupply) {
    for (int choice : {T5V, T6_25V}) {
        SCOPED_TRACE(choice);
        vsim::EpromChip& chip = prepare(T27512);
        chip.load({0x01, 0x02, 0x03, 0x04});
        vcc = choice;
        SetVcc((unsigned)choice);
        wire::start_recording();
        std::vector<uint8_t> read(BUFFER_SIZE, 0x00);
        vtest::ConsoleCapture con("\n");
        EXPECT_EQ(ReadIC(read.data(), 3), 3u);
        const uint8_t supply = choice == T5V ? IC4Q5_VCC_5V : 0;
        // EnableEprom(1) and DisableEprom, the supply bit untouched in both.
        EXPECT_EQ(board().ic4_history(),
                  (std::vector<uint8_t>{supply, uint8_t(supply | IC4Q3_CE_HIGH | IC4Q4_OE_HIGH)}));
        EXPECT_EQ(read[3], 0x04);
        EXPECT_TRUE(runs::board_clean_and_idle());
    }
}

// While a 2764/27128 or a 27010/27020 is read, the pin that is its program strobe stays high.
TEST_F(ChipRun, ReadHoldsTheProgramStrobePinHigh) {
    for (IC type : {T2764, T27128}) {
        SCOPED_TRACE(vsim::chip_facts(modelType(type)).name);
        prepare(type);
        wire::start_recording();
        vtest::ConsoleCapture con("\n");
        EXPECT_EQ(ReadIC(buf(), 0x20), 0x20u);
        const auto& h = board().address_history();
        ASSERT_EQ(h.size(), 0x22u) << "EnableEprom's address 0, then one per address";
        for (size_t i = 1; i < h.size(); ++i)
            EXPECT_EQ(h[i], (uint16_t)((i - 1) | A14_LINE));
    }
    for (IC type : {T27010, T27020}) {
        SCOPED_TRACE(vsim::chip_facts(modelType(type)).name);
        prepare(type);
        wire::start_recording();
        vtest::ConsoleCapture con("\n");
        EXPECT_EQ(ReadIC(buf(), 0x20), 0x20u);
        EXPECT_EQ(board().ic5_history(),
                  (std::vector<uint8_t>{WIRING_27010_27040, WIRING_27010_27040 | IC5Q2_A18}));
    }
}

// ---- Supply and chip state after every outcome ------------------------------------------

struct Outcome {
    const char* name;
    IC type;
    std::function<void(vsim::EpromChip&, std::vector<uint8_t>&)> set_up;
    std::function<unsigned long(uint8_t*)> run;
    unsigned long result;
};

TEST_F(ChipRun, EveryRunLeavesTheChosenSupplyAndAnIdleChip) {
    auto none = [](vsim::EpromChip&, std::vector<uint8_t>&) {};
    auto image = [](vsim::EpromChip& c, std::vector<uint8_t>& w) {
        w[0] = 0x11;
        w[1] = 0x22;
        c.load({0x11, 0x22});
    };
    const std::vector<Outcome> outcomes = {
        {"write complete", T27512, [](vsim::EpromChip&, std::vector<uint8_t>& w) { w[1] = 0x5A; },
         [](uint8_t* b) { return (unsigned long)WriteIC(b, 3); }, 1},
        {"write error", T27512,
         [](vsim::EpromChip& c, std::vector<uint8_t>& w) {
             w[1] = 0x5A;
             c.set_stuck(1, 0x00);
         },
         [](uint8_t* b) { return (unsigned long)WriteIC(b, 3); }, 0},
        {"write timeout", T27512,
         [](vsim::EpromChip&, std::vector<uint8_t>& w) {
             w[1] = 0x5A;
             vsim::board().set_monoflop_fault(vsim::LineFault::stuck_at_1);
         },
         [](uint8_t* b) { return (unsigned long)WriteIC(b, 3); }, 0},
        {"write not supported", T2716,
         [](vsim::EpromChip&, std::vector<uint8_t>& w) { w[1] = 0x5A; },
         [](uint8_t* b) { return (unsigned long)WriteIC(b, 3); }, 0},
        {"write range end 0", T27512, none, [](uint8_t* b) { return (unsigned long)WriteIC(b, 0); },
         0},
        {"verify equal", T27512, image,
         [](uint8_t* b) { return (unsigned long)CompareIC(b, 3, 0); }, 1},
        {"verify difference", T27512, none,
         [](uint8_t* b) {
             b[2] = 0;
             return (unsigned long)CompareIC(b, 3, 0);
         },
         0},
        {"verify range end 0", T27512, none,
         [](uint8_t* b) { return (unsigned long)CompareIC(b, 0, 0); }, 0},
        {"blank", T27512, none, [](uint8_t*) { return (unsigned long)CompareIC(nullptr, 3, 1); },
         1},
        {"not blank", T27512, image,
         [](uint8_t*) { return (unsigned long)CompareIC(nullptr, 3, 1); }, 0},
        {"blank range end 0", T27512, none,
         [](uint8_t*) { return (unsigned long)CompareIC(nullptr, 0, 1); }, 0},
        {"read", T27512, image, [](uint8_t* b) { return ReadIC(b, 3); }, 3},
    };
    for (int choice : {T5V, T6_25V}) {
        for (const Outcome& o : outcomes) {
            SCOPED_TRACE(fmt("%s at %s", o.name, choice == T5V ? "5 V" : "6.25 V"));
            vsim::EpromChip& chip = prepare(o.type);
            vcc = choice;
            SetVcc((unsigned)choice);
            o.set_up(chip, work);
            vtest::ConsoleCapture con("\n\n");
            EXPECT_EQ(o.run(buf()), o.result);
            EXPECT_EQ((board().ic4() & IC4Q5_VCC_5V) != 0, choice == T5V);
            EXPECT_TRUE(board().ic4() & IC4Q4_OE_HIGH) << "output enable left active";
            EXPECT_EQ(board().ic4(), ic_IC4) << "shadow and register differ";
            EXPECT_TRUE(runs::board_clean_and_idle());
        }
    }
}

// ---- Hazards of a wrong set-up ----------------------------------------------------------

TEST_F(ChipRun, ProgrammingWithTheWrongTypeSelectedRecordsItsHazard) {
    // 27256 selected, a 27512 in the socket: the socket is wired for the other family.
    prepare(T27256);
    board().insert_chip(vsim::T27512);
    set({0x12});
    vtest::ConsoleCapture con("\n");
    EXPECT_EQ(WriteIC(buf(), 3), 0u);
    EXPECT_EQ(vtest::boxesOn(con.screen()),
              (Boxes{{"Error:", "write-error at adr:0   read: FF   buffer: 12"}}));
    EXPECT_GT(board().hazards().count_containing("socket wiring"), 0u)
        << board().hazards().joined();
    EXPECT_TRUE(board().violations().empty()) << board().violations().joined();
    EXPECT_TRUE(board().is_idle());
}

TEST_F(ChipRun, ProgrammingAboveThePartsLimitDestroysTheChip) {
    // A 2732A tolerates 22 V: at the NMOS 2732's 25 V, which the type alone allows, the first
    // transfer that switches the voltage on destroys it, and the first byte fails.
    for (IC type : {T2732}) {
        SCOPED_TRACE(vsim::chip_facts(modelType(type)).name);
        vsim::EpromChip& chip = prepare(type);
        SetVpp(T25V);
        set({0x12, 0x34});
        vtest::ConsoleCapture con("\n");
        EXPECT_EQ(WriteIC(buf(), 1), 0u);
        EXPECT_GT(board().hazards().count_containing("above"), 0u) << board().hazards().joined();
        EXPECT_TRUE(board().violations().empty()) << board().violations().joined();
        EXPECT_TRUE(board().is_idle());
        EXPECT_TRUE(chip.destroyed());
        EXPECT_EQ(board().effective_pulses(), 0u);
        EXPECT_NE(chip.byte(0), 0x12);
    }
}

TEST_F(ChipRun, ReadingTheWrongTypeDoesNoHarm) {
    // No programming voltage: a wrong wiring only reads the floating pins.
    prepare(T27256);
    board().insert_chip(vsim::T27512).load({0x00});
    std::vector<uint8_t> read(BUFFER_SIZE, 0x00);
    vtest::ConsoleCapture con("\n");
    EXPECT_EQ(ReadIC(read.data(), 0xF), 0xFu);
    EXPECT_EQ(read[0], 0xFF);
    EXPECT_TRUE(runs::board_clean_and_idle());
}

} // namespace
