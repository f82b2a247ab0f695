// The virtual Vantrel II board, driven line byte by line byte through its port accesses.
#include <gtest/gtest.h>

#include <vector>

#include "tests/support/hand_wire.h"
#include "sim/model/wiring.h"
#include "sim/model/board.h"

namespace {

using namespace vsim::chip_types;
using vsim::Board;
using vsim::LineFault;
using vsim::PortAccess;
using vsim::Reg;

using Wire = HandWire;

class BoardTest : public ::testing::Test {
  protected:
    void SetUp() override {
        b.factory_reset();
        ASSERT_EQ(b.ioperm(LPT_378, 3, 1), 0);
    }
    void TearDown() override { b.factory_reset(); }

    Board& b = vsim::board();
    Wire w;
};

// ---- Shift registers and latches -------------------------------------------------------

TEST_F(BoardTest, PutAdrSequenceLatchesAddressMsbFirst) {
    // 0x12; 0x13,0x11; 14 x (0x12,0x10); 0x13,0x11; 0x12,0x02
    std::vector<uint8_t> seq = {0x12, 0x13, 0x11};
    for (int i = 0; i < 14; ++i) {
        seq.push_back(0x12);
        seq.push_back(0x10);
    }
    for (uint8_t v : {0x13, 0x11, 0x12})
        seq.push_back(v);
    for (uint8_t v : seq)
        w.out(v);
    EXPECT_EQ(b.shift_register(Reg::address), 0x8001);
    EXPECT_EQ(b.address(), 0) << "outputs must wait for the strobe's falling edge";
    w.out(0x02);
    EXPECT_EQ(b.address(), 0x8001);
    EXPECT_EQ(b.latches(Reg::address), 1u);
    EXPECT_TRUE(b.violations().empty()) << b.violations().joined();
}

TEST_F(BoardTest, OutputsKeepOldValueUntilStrobeFalls) {
    w.put_adr(0x1234);
    w.put_ic4(0xA5);
    w.put_ic5(0x3C);
    w.shift_word(SR_ADDRESS, 0xBEEF, 16, false);
    w.shift_word(SR_IC4, 0x18, 8, false);
    w.shift_word(SR_IC5, 0x60, 8, false);
    EXPECT_EQ(b.address(), 0x1234);
    EXPECT_EQ(b.ic4(), 0xA5);
    EXPECT_EQ(b.ic5(), 0x3C);
    w.out(0x06); // strobe falls with IC5 selected: only IC5 takes its new bits
    EXPECT_EQ(b.ic5(), 0x60);
    EXPECT_EQ(b.ic4(), 0xA5);
    EXPECT_EQ(b.address(), 0x1234);
}

TEST_F(BoardTest, EachSelectCodeFeedsOnlyItsRegister) {
    w.put_ic4(0x81);
    w.put_ic5(0x07);
    w.put_adr(0x00FF);
    EXPECT_EQ(b.ic4(), 0x81);
    EXPECT_EQ(b.ic5(), 0x07);
    EXPECT_EQ(b.address(), 0x00FF);
    EXPECT_EQ(b.address_lines(), 0x700FFu);
    EXPECT_EQ(b.latches(Reg::ic4), 1u);
    EXPECT_EQ(b.latches(Reg::ic5), 1u);
    EXPECT_EQ(b.latches(Reg::address), 1u);
    EXPECT_EQ(b.data_register(), 0) << "no data register bit was clocked";
}

TEST_F(BoardTest, EightBitRegisterKeepsTheLastEightBitsShifted) {
    w.shift_word(SR_IC5, 0xABC, 12);
    EXPECT_EQ(b.ic5(), 0xBC);
}

TEST_F(BoardTest, DataRegisterStrobeEdgeLatchesNothing) {
    w.put_data(0x5A);
    w.out(0x0E); // strobe falls with select code 3, as GetData begins
    EXPECT_EQ(b.latches(Reg::address) + b.latches(Reg::ic4) + b.latches(Reg::ic5), 0u);
    EXPECT_EQ(b.latches(Reg::data), 0u);
    EXPECT_EQ(b.ic4(), 0);
    EXPECT_EQ(b.ic5(), 0);
    EXPECT_EQ(b.address(), 0);
    EXPECT_EQ(b.data_register(), 0x5A);
    EXPECT_EQ(b.loads(), 0u);
}

TEST_F(BoardTest, LoopbackReturnsTheByteShiftedIn) {
    w.put_data(0x55);
    EXPECT_EQ(b.data_register(), 0x55);
    EXPECT_EQ(w.shift_out(), 0x55);
    for (unsigned tc = 1; tc < 0x100; tc <<= 1) {
        w.put_data(static_cast<uint8_t>(tc));
        EXPECT_EQ(w.shift_out(), tc);
    }
    EXPECT_TRUE(b.violations().empty()) << b.violations().joined();
}

TEST_F(BoardTest, ReadbackShowsTopBitAndEachClockBringsTheNext) {
    w.put_data(0x80);
    EXPECT_EQ(w.status() & S6_READBACK, S6_READBACK);
    w.out(0x1E);
    w.out(0x1C);
    EXPECT_EQ(w.status() & S6_READBACK, 0);
}

TEST_F(BoardTest, LoadPulseCopiesTheSocketPins) {
    w.put_data(0x12);
    EXPECT_EQ(w.get_data(), 0xFF) << "an empty socket floats high";
    EXPECT_EQ(b.loads(), 1u);
    b.insert_chip(T27512).set_byte(0x0042, 0x3C);
    w.put_ic5(WIRING_27512);
    w.put_ic4(IC4Q5_VCC_5V); // CE and OE active, VPP off
    w.put_adr(0x0042);
    EXPECT_EQ(b.socket_pins(), 0x3C);
    EXPECT_EQ(w.get_data(), 0x3C);
}

TEST_F(BoardTest, StatusBitsAtRest) {
    EXPECT_EQ(w.status(), Board::STATUS_FLOATING) << "readback 0, monoflop at rest";
    b.unplug();
    EXPECT_EQ(w.status(), 0xFF) << "no board: the inputs float";
}

// ---- Monoflop ------------------------------------------------------------------------------

// Number of status reads after the trigger that see the monoflop running.
unsigned count_running(const Wire& w, unsigned limit = 1000) {
    unsigned n = 0;
    while (n < limit && (w.status() & S7_MONOFLOP))
        ++n;
    return n;
}

TEST_F(BoardTest, MonoflopRunsTheConfiguredTicksAfterTheRisingEdge) {
    w.put_ic4(0x00);
    EXPECT_EQ(w.status() & S7_MONOFLOP, 0);
    w.put_ic4(IC4Q0_TRIGGER);
    EXPECT_EQ(b.triggers(), 1u);
    EXPECT_EQ(count_running(w), Board::DEFAULT_MONOFLOP_TICKS);
    b.set_monoflop_ticks(7);
    w.put_ic4(0x00);
    w.put_ic4(IC4Q0_TRIGGER);
    EXPECT_EQ(count_running(w), 7u);
    EXPECT_EQ(b.triggers(), 2u);
}

TEST_F(BoardTest, MonoflopCountsWritesAsTicksToo) {
    b.set_monoflop_ticks(5);
    w.put_ic4(IC4Q0_TRIGGER);
    for (int i = 0; i < 4; ++i)
        w.out(0x02);
    EXPECT_TRUE(w.status() & S7_MONOFLOP) << "fifth access after the trigger";
    EXPECT_FALSE(w.status() & S7_MONOFLOP);
}

TEST_F(BoardTest, MonoflopStartsOnlyOnARisingEdgeAtALatch) {
    b.set_monoflop_ticks(3);
    w.shift_word(SR_IC4, IC4Q0_TRIGGER, 8, false);
    EXPECT_EQ(b.triggers(), 0u) << "shifted but not latched";
    w.out(0x0A);
    EXPECT_EQ(b.triggers(), 1u);
    count_running(w);
    w.put_ic4(IC4Q0_TRIGGER | IC4Q3_CE_HIGH); // bit 0 stays 1: no edge
    EXPECT_EQ(b.triggers(), 1u);
    EXPECT_EQ(w.status() & S7_MONOFLOP, 0);
    w.put_ic4(0x00);
    w.put_ic4(IC4Q0_TRIGGER);
    EXPECT_EQ(b.triggers(), 2u);
}

TEST_F(BoardTest, MonoflopIgnoresAnEdgeWhileItRuns) {
    w.put_ic4(IC4Q0_TRIGGER);
    w.put_ic4(0x00);
    w.put_ic4(IC4Q0_TRIGGER); // 38 accesses into the pulse
    EXPECT_EQ(b.triggers(), 1u);
    EXPECT_EQ(count_running(w), Board::DEFAULT_MONOFLOP_TICKS - 38);
}

TEST_F(BoardTest, StuckMonoflop) {
    b.set_monoflop_fault(LineFault::stuck_at_0);
    w.put_ic4(0x00);
    w.put_ic4(IC4Q0_TRIGGER);
    EXPECT_EQ(w.status() & S7_MONOFLOP, 0);
    EXPECT_EQ(b.triggers(), 0u);
    b.set_monoflop_fault(LineFault::stuck_at_1);
    w.put_ic4(0x00);
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(w.status() & S7_MONOFLOP, S7_MONOFLOP);
}

// ---- Faults, ports, presence -----------------------------------------------------------------

TEST_F(BoardTest, StuckReadbackFailsTheLoopback) {
    b.set_readback_fault(LineFault::stuck_at_0);
    w.put_data(0x55);
    EXPECT_EQ(w.shift_out(), 0x00);
    b.set_readback_fault(LineFault::stuck_at_1);
    w.put_data(0x01);
    EXPECT_EQ(w.shift_out(), 0xFF);
    b.set_readback_fault(LineFault::none);
    w.put_data(0x01);
    EXPECT_EQ(w.shift_out(), 0x01);
}

TEST_F(BoardTest, AbsentBoardReadsFloatingInputs) {
    b.unplug();
    EXPECT_FALSE(b.present());
    w.put_data(0x55);
    EXPECT_EQ(w.shift_out(), 0xFF);
    EXPECT_EQ(b.data_register(), 0) << "nothing reached a board";
    EXPECT_TRUE(b.violations().empty()) << b.violations().joined();
}

class BoardPortTest : public BoardTest, public ::testing::WithParamInterface<uint16_t> {};

// The PC's three classic ports are always there; a card's port is there with the board.
TEST_P(BoardPortTest, AnswersOnlyOnItsOwnPort) {
    const uint16_t home = GetParam();
    b.place_on(home);
    EXPECT_EQ(b.base(), home);
    for (uint16_t port : {LPT_278, LPT_378, LPT_3BC, home}) {
        ASSERT_EQ(b.ioperm(port, 3, 1), 0);
        Wire other{port};
        const uint8_t line_before = b.line();
        other.put_data(0x55);
        EXPECT_EQ(other.shift_out(), port == home ? 0x55 : 0xFF) << std::hex << port;
        if (port != home) {
            EXPECT_EQ(b.line(), line_before) << "the board hears only its own port";
        }
    }
    Wire there{home};
    there.put_ic4(0x18);
    EXPECT_EQ(b.ic4(), 0x18);
    EXPECT_TRUE(b.violations().empty()) << b.violations().joined();
}

INSTANTIATE_TEST_SUITE_P(EachPort, BoardPortTest,
                         ::testing::Values(LPT_278, LPT_378, LPT_3BC, 0xD010, 0xFFFD));

// The program may open a card's port the board does not hang on: a port like any other,
// whose status register floats high. A single port outside such a block is no port.
TEST_F(BoardTest, PortsTheProgramOpensWithoutTheBoardAndNoneAboveTheIoSpace) {
    b.unplug();
    ASSERT_EQ(b.ioperm(0xD010, 3, 1), 0);
    b.outb(0x12, 0xD010);
    EXPECT_EQ(b.inb(0xD011), 0xFF);
    EXPECT_TRUE(b.violations().empty()) << b.violations().joined();
    ASSERT_EQ(b.ioperm(0xE010, 1, 1), 0);
    b.outb(0x12, 0xE010);
    EXPECT_EQ(b.violations().count_containing("no data register"), 1u) << b.violations().joined();
    b.place_on(0xFFFE);
    EXPECT_FALSE(b.present()) << "0xFFFE leaves no room for the control register";
    EXPECT_EQ(b.ioperm(0xFFFE, 3, 1), -1);
    EXPECT_EQ(b.ioperm(0xFFFD, 3, 1), 0);
}

// ---- Protocol violations --------------------------------------------------------------------

TEST_F(BoardTest, WholeLegalSessionHasNoViolation) {
    b.insert_chip(T27512);
    w.put_ic5(WIRING_27512);
    w.put_ic4(IC4Q5_VCC_5V);
    for (uint16_t a = 0; a < 16; ++a) {
        w.put_adr(a);
        w.get_data();
    }
    w.put_ic4(IC4Q5_VCC_5V | IC4Q3_CE_HIGH | IC4Q4_OE_HIGH);
    EXPECT_EQ(b.violations().count(), 0u) << b.violations().joined();
    EXPECT_TRUE(b.is_idle());
}

TEST_F(BoardTest, WriteToAPortOtherThanADataRegister) {
    b.outb(0x12, LPT_378 + 1);
    b.outb(0x12, LPT_378 + 2);
    EXPECT_EQ(b.violations().count(), 2u);
    EXPECT_EQ(b.violations().count_containing("no data register"), 2u) << b.violations().joined();
    EXPECT_EQ(b.line(), 0) << "a status write does not reach the lines";
}

TEST_F(BoardTest, ReadOfAPortOtherThanAStatusRegister) {
    EXPECT_EQ(b.inb(LPT_378), 0xFF);
    b.inb(LPT_378 + 2);
    EXPECT_EQ(b.violations().count(), 2u);
    EXPECT_EQ(b.violations().count_containing("no status register"), 2u);
}

TEST_F(BoardTest, AccessBeforeGrant) {
    b.reset(); // no grants
    b.outb(0x12, LPT_378);
    EXPECT_EQ(b.inb(LPT_378 + 1), 0xFF);
    EXPECT_EQ(b.violations().count(), 2u);
    EXPECT_EQ(b.violations().count_containing("before access was granted"), 2u);
    EXPECT_EQ(b.line(), 0) << "the write must not reach the board";
    // ioperm(from, num, 1) grants [from, from + num) and nothing else.
    ASSERT_EQ(b.ioperm(LPT_378, 1, 1), 0);
    b.outb(0x12, LPT_378);
    EXPECT_EQ(b.line(), 0x12);
    b.inb(LPT_378 + 1);
    EXPECT_EQ(b.violations().count(), 3u);
}

TEST_F(BoardTest, IllegalLineBytes) {
    for (uint8_t v : {0x00, 0x01, 0x03, 0x04, 0x08, 0x0D, 0x20, 0x80, 0xFF})
        b.outb(v, LPT_378);
    EXPECT_EQ(b.violations().count(), 9u);
    EXPECT_EQ(b.violations().count_containing("is no bus line byte"), 9u);
    // Exactly 21 of the 256 byte values are bus line bytes.
    b.reset();
    b.ioperm(LPT_378, 3, 1);
    for (unsigned v = 0; v < 0x100; ++v)
        b.outb(static_cast<uint8_t>(v), LPT_378);
    EXPECT_EQ(b.violations().count(), 256u - 21u);
    b.reset();
    b.ioperm(LPT_378, 3, 1);
    for (uint8_t v : {0x02, 0x06, 0x0A, 0x0C, 0x0E, 0x10, 0x15, 0x1F})
        b.outb(v, LPT_378);
    EXPECT_TRUE(b.violations().empty()) << b.violations().joined();
}

TEST_F(BoardTest, RefusedIoperm) {
    b.reset();
    b.set_ioperm_refused(true);
    EXPECT_EQ(b.ioperm(LPT_378, 3, 1), -1);
    EXPECT_FALSE(b.granted(LPT_378));
    ASSERT_EQ(b.ioperm_calls().size(), 1u);
    EXPECT_EQ(b.ioperm_calls()[0].result, -1);
    b.inb(LPT_378 + 1);
    EXPECT_EQ(b.violations().count(), 1u);
}

// ---- Counters and records --------------------------------------------------------------------

TEST_F(BoardTest, TraceRecordsEveryAccessAndTheWaitsBetween) {
    b.set_recording(true);
    w.out(0x1E);
    w.status();
    w.status();
    w.out(0x1C);
    const std::vector<PortAccess> want = {{PortAccess::write, 0x1E, LPT_378},
                                          {PortAccess::read, Board::STATUS_FLOATING, 0x379},
                                          {PortAccess::read, Board::STATUS_FLOATING, 0x379},
                                          {PortAccess::write, 0x1C, LPT_378}};
    EXPECT_EQ(b.trace(), want);
    EXPECT_EQ(b.written_bytes(), (std::vector<uint8_t>{0x1E, 0x1C}));
    EXPECT_EQ(b.reads(), 2u);
    EXPECT_EQ(b.writes(), 2u);
    EXPECT_EQ(b.ticks(), 4u);
}

TEST_F(BoardTest, LatchHistoriesWhileRecording) {
    w.put_ic4(0x01);
    b.set_recording(true);
    w.put_ic4(0x18);
    w.put_ic5(0xA3);
    w.put_ic4(0x5A);
    w.put_adr(0x4000);
    w.put_adr(0x0001);
    EXPECT_EQ(b.ic4_history(), (std::vector<uint8_t>{0x18, 0x5A}));
    EXPECT_EQ(b.ic5_history(), (std::vector<uint8_t>{0xA3}));
    EXPECT_EQ(b.address_history(), (std::vector<uint16_t>{0x4000, 0x0001}));
    EXPECT_EQ(b.latches(Reg::ic4), 3u) << "counted also while not recording";
    EXPECT_EQ(b.written_bytes().size(), 19u * 3 + 35u * 2);
}

TEST_F(BoardTest, AccessHookSeesEachAccessBeforeItTakesEffect) {
    struct Seen {
        std::vector<PortAccess> accesses;
        std::vector<uint8_t> lines; // the line byte the board showed at each call
        std::vector<uint64_t> ticks;
    } seen;
    b.set_access_hook(
        [](void* self, const PortAccess& a) {
            auto* s = static_cast<Seen*>(self);
            s->accesses.push_back(a);
            s->lines.push_back(vsim::board().line());
            s->ticks.push_back(vsim::board().ticks());
        },
        &seen);
    w.out(0x12);
    w.status();
    w.out(0x13);
    b.set_access_hook(nullptr, nullptr);
    w.out(0x11);
    const std::vector<PortAccess> want = {{PortAccess::write, 0x12, LPT_378},
                                          {PortAccess::read, 0, 0x379},
                                          {PortAccess::write, 0x13, LPT_378}};
    EXPECT_EQ(seen.accesses, want);
    EXPECT_EQ(seen.lines, (std::vector<uint8_t>{0x00, 0x12, 0x12}));
    EXPECT_EQ(seen.ticks, (std::vector<uint64_t>{1, 2, 3}));
    EXPECT_EQ(b.line(), 0x11);
    EXPECT_EQ(b.reads(), 1u);
    EXPECT_EQ(b.writes(), 3u);
}

TEST_F(BoardTest, ResetGoesBackToPowerOnAndKeepsTheConfiguration) {
    b.place_on(LPT_3BC);
    b.set_monoflop_ticks(9);
    b.insert_chip(T2732).set_byte(0, 0x11);
    ASSERT_EQ(b.ioperm(LPT_3BC, 3, 1), 0);
    Wire there{LPT_3BC};
    there.put_ic4(0x5B);
    there.put_adr(0x777);
    b.inb(0x123);
    b.reset();
    EXPECT_EQ(b.ic4(), 0);
    EXPECT_EQ(b.address(), 0);
    EXPECT_EQ(b.ticks(), 0u);
    EXPECT_TRUE(b.violations().empty());
    EXPECT_FALSE(b.granted(LPT_3BC));
    EXPECT_FALSE(b.monoflop_running());
    EXPECT_EQ(b.base(), LPT_3BC);
    EXPECT_EQ(b.monoflop_ticks(), 9u);
    ASSERT_NE(b.chip(), nullptr);
    EXPECT_EQ(b.chip()->byte(0), 0x11);
    b.factory_reset();
    EXPECT_EQ(b.base(), LPT_378);
    EXPECT_EQ(b.chip(), nullptr);
}

} // namespace
