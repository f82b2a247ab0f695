// The serial register bus on the wire: the exact line bytes of every transfer, the status
// reads that pace them, and what the board's registers hold afterwards.
#include <gtest/gtest.h>

#include <vector>

#include "tests/support/wire.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Counts = std::vector<unsigned>;

Bytes repeat(Bytes unit, int times) {
    Bytes v;
    for (int i = 0; i < times; i++)
        v.insert(v.end(), unit.begin(), unit.end());
    return v;
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes v;
    for (const Bytes& p : parts)
        v.insert(v.end(), p.begin(), p.end());
    return v;
}

class BusTest : public ::testing::Test {
  protected:
    void SetUp() override {
        wire::reset_all(LPT_378, true);
        wire::start_recording();
    }
    void TearDown() override {
        const vsim::Board& b = vsim::board();
        EXPECT_TRUE(b.violations().empty()) << b.violations().joined();
        for (const vsim::PortAccess& a : wire::trace()) {
            if (a.kind == vsim::PortAccess::write)
                EXPECT_EQ(a.port, Base);
            else
                EXPECT_EQ(a.port, Base + 1);
        }
    }
    static wire::Steps steps() { return wire::steps_of(wire::trace()); }
};

// ---- Latched registers: address, IC5, IC4 ---------------------------------------------

TEST_F(BusTest, PutAdrShiftsSixteenBitsTopFirstAndLatches) {
    PutAdr(0x8001);
    const Bytes want =
        concat({{0x12, 0x13, 0x11}, repeat({0x12, 0x10}, 14), {0x13, 0x11}, {0x12, 0x02}});
    EXPECT_EQ(steps().lines(), want);
    EXPECT_EQ(vsim::board().address(), 0x8001);
    EXPECT_EQ(vsim::board().latches(vsim::Reg::address), 1u);
    EXPECT_EQ(vsim::board().line(), 0x02);
}

TEST_F(BusTest, PutIC4AndPutIC5WriteTheirSelectCodeAndFillTheShadow) {
    ic_IC4 = 0x77;
    PutIC4(0);
    EXPECT_EQ(steps().lines(), concat({{0x1A}, repeat({0x1A, 0x18}, 8), {0x1A, 0x0A}}));
    EXPECT_EQ(ic_IC4, 0);
    EXPECT_EQ(vsim::board().line(), 0x0A);

    wire::start_recording();
    PutIC5(0xFF);
    EXPECT_EQ(steps().lines(), concat({{0x16}, repeat({0x17, 0x15}, 8), {0x16, 0x06}}));
    EXPECT_EQ(ic_IC5, 0xFF);
    EXPECT_EQ(vsim::board().ic5(), 0xFF);
    EXPECT_EQ(vsim::board().line(), 0x06);
}

TEST_F(BusTest, LatchedTransfersWaitOneBusStepPerWriteAndOneMorePerBit) {
    // Delay 2: one us_delay(1) is four status reads. Per bit: clock high, clock low, and
    // one extra wait; nothing after the closing write.
    PutAdr(0x1234);
    Counts want = {4};
    for (int i = 0; i < 16; i++) {
        want.push_back(4);
        want.push_back(8);
    }
    want.push_back(4);
    want.push_back(0);
    const wire::Steps s = steps();
    EXPECT_EQ(s.leading_reads, 0u);
    EXPECT_EQ(s.reads(), want);
    EXPECT_EQ(s.steps.size(), 35u);
    EXPECT_EQ(s.total_reads(), 50u * 4);

    for (int reg = 1; reg <= 2; reg++) {
        SCOPED_TRACE(reg);
        wire::start_recording();
        if (reg == 1)
            PutIC5(0x5A);
        else
            PutIC4(0xA5);
        const wire::Steps c = steps();
        EXPECT_EQ(c.steps.size(), 19u);
        EXPECT_EQ(c.total_reads(), 26u * 4);
        EXPECT_EQ(c.leading_reads, 0u);
        EXPECT_EQ(c.steps.back().reads, 0u);
    }
}

TEST_F(BusTest, WaitsScaleWithTheSquareOfTheDelayFactor) {
    (void)set_delay(1);
    PutAdr(0xFFFF);
    EXPECT_EQ(steps().total_reads(), 50u);
    wire::start_recording();
    (void)set_delay(3);
    PutIC4(0x00);
    EXPECT_EQ(steps().total_reads(), 26u * 9);
    wire::start_recording();
    PutData(0x81);
    EXPECT_EQ(steps().total_reads(), 25u * 9);
}

TEST_F(BusTest, EveryLatchedValueReachesTheBoardAsSent) {
    for (uint32_t v : {0x0000u, 0xFFFFu, 0x8001u, 0x1234u, 0xA5A5u, 0x5A5Au, 0x0001u, 0x8000u}) {
        SCOPED_TRACE(v);
        wire::start_recording();
        PutAdr((uint16_t)v);
        EXPECT_EQ(steps().lines(), wire::latched_lines(SR_ADDRESS, v, 16));
        EXPECT_EQ(vsim::board().address(), v);
    }
    for (uint32_t v : {0x00u, 0xFFu, 0x80u, 0x01u, 0xA5u, 0x5Au, 0x3Cu}) {
        SCOPED_TRACE(v);
        wire::start_recording();
        PutIC5((uint8_t)v);
        PutIC4((uint8_t)(v ^ 0xFF));
        const Bytes want =
            concat({wire::latched_lines(SR_IC5, v, 8), wire::latched_lines(SR_IC4, v ^ 0xFF, 8)});
        EXPECT_EQ(steps().lines(), want);
        EXPECT_EQ(vsim::board().ic5(), v);
        EXPECT_EQ(vsim::board().ic4(), v ^ 0xFF);
        EXPECT_EQ(ic_IC5, v);
        EXPECT_EQ(ic_IC4, v ^ 0xFF);
        EXPECT_EQ(vsim::board().ic5_history(), Bytes{(uint8_t)v});
        EXPECT_EQ(vsim::board().ic4_history(), Bytes{(uint8_t)(v ^ 0xFF)});
    }
}

TEST_F(BusTest, ATransferTouchesOnlyItsOwnRegister) {
    PutIC4(0x3C);
    PutIC5(0xA2);
    PutAdr(0x4321);
    wire::start_recording();
    PutAdr(0x1111);
    EXPECT_EQ(vsim::board().ic4(), 0x3C);
    EXPECT_EQ(vsim::board().ic5(), 0xA2);
    PutIC5(0x07);
    EXPECT_EQ(vsim::board().address(), 0x1111);
    EXPECT_EQ(vsim::board().ic4(), 0x3C);
    PutIC4(0x18);
    EXPECT_EQ(vsim::board().address(), 0x1111);
    EXPECT_EQ(vsim::board().ic5(), 0x07);
    PutData(0x99);
    EXPECT_EQ(vsim::board().address(), 0x1111);
    EXPECT_EQ(vsim::board().ic5(), 0x07);
    EXPECT_EQ(vsim::board().ic4(), 0x18);
    EXPECT_EQ(vsim::board().latches(vsim::Reg::data), 0u);
    const std::vector<wire::Latch> want = {{SR_ADDRESS, 0x1111}, {SR_IC5, 0x07}, {SR_IC4, 0x18}};
    EXPECT_EQ(wire::latches_of(wire::trace()), want);
}

// ---- Data shift register: PutData, GetData, GetDataIntern -----------------------------

TEST_F(BusTest, PutDataClocksEightBitsWithoutClosingWrite) {
    PutData(0x55);
    const Bytes zero = {0x1E, 0x1C, 0x1E}, one = {0x1F, 0x1D, 0x1F};
    EXPECT_EQ(steps().lines(), concat({{0x1E}, zero, one, zero, one, zero, one, zero, one}));
    EXPECT_EQ(steps().reads(), Counts(25, 4));
    EXPECT_EQ(vsim::board().line(), 0x1F);
    EXPECT_EQ(vsim::board().data_register(), 0x55);
    EXPECT_EQ(vsim::board().latches(vsim::Reg::data), 0u);

    wire::start_recording();
    PutData(0xAA);
    EXPECT_EQ(steps().lines(), concat({{0x1E}, one, zero, one, zero, one, zero, one, zero}));
    EXPECT_EQ(vsim::board().line(), 0x1E);
    EXPECT_EQ(vsim::board().data_register(), 0xAA);
}

TEST_F(BusTest, GetDataLoadsThenShiftsOutWithEightSamples) {
    PutData(0x00);
    wire::start_recording();
    (void)GetData();
    const wire::Steps s = steps();
    EXPECT_EQ(s.lines(), concat({{0x0E, 0x0C, 0x0E}, repeat({0x1E, 0x1C, 0x1E}, 8)}));
    // Each sample of the read-back line comes right before a clock pulse.
    Counts want = {4, 4, 5};
    for (int i = 0; i < 7; i++)
        want.insert(want.end(), {4, 4, 5});
    want.insert(want.end(), {4, 4, 4});
    EXPECT_EQ(s.leading_reads, 0u);
    EXPECT_EQ(s.reads(), want);
    EXPECT_EQ(s.steps.size(), 27u);
    EXPECT_EQ(s.total_reads(), 27u * 4 + 8);
    EXPECT_EQ(vsim::board().loads(), 1u);
    EXPECT_EQ(vsim::board().line(), 0x1E);
}

TEST_F(BusTest, GetDataReturnsTheChipByteNotTheLastByteShiftedIn) {
    vsim::EpromChip& chip = vsim::board().insert_chip(vsim::T27512);
    chip.set_byte(0x1234, 0xC3);
    chip.set_byte(0xFEDC, 0x3A);
    PutIC5(WIRING_27512);
    PutIC4(IC4Q5_VCC_5V); // chip and output enable active, no programming voltage
    for (auto [adr, val] : {std::pair<uint16_t, uint8_t>{0x1234, 0xC3}, {0xFEDC, 0x3A}}) {
        SCOPED_TRACE(adr);
        PutAdr(adr);
        PutData(0x5A);
        EXPECT_EQ(GetData(), val);
    }
    // An empty socket leaves the data pins floating high.
    vsim::board().remove_chip();
    PutData(0x00);
    EXPECT_EQ(GetData(), 0xFF);
}

TEST_F(BusTest, GetDataInternHandsBackWhatWasShiftedIn) {
    for (int v = 0; v < 256; v += 7) {
        PutData((uint8_t)v);
        EXPECT_EQ(GetDataIntern(), v);
    }
    for (uint8_t v : {0x00, 0xFF, 0x80, 0x01, 0x55, 0xAA}) {
        PutData(v);
        EXPECT_EQ(GetDataIntern(), v);
    }
    EXPECT_EQ(vsim::board().loads(), 0u);
}

TEST_F(BusTest, GetDataInternWaitsFirstAndNeverDropsTheStrobe) {
    PutData(0x3C);
    wire::start_recording();
    EXPECT_EQ(GetDataIntern(), 0x3C);
    const wire::Steps s = steps();
    EXPECT_EQ(s.lines(), repeat({0x1E, 0x1C, 0x1E}, 8));
    for (uint8_t line : s.lines())
        EXPECT_TRUE(line & D4_STB) << int(line);
    // us_delay(2) and the sample before every pulse; the third write of a pulse is not
    // waited on.
    EXPECT_EQ(s.leading_reads, 8u + 1);
    Counts want;
    for (int i = 0; i < 8; i++)
        want.insert(want.end(), {4, 4, i < 7 ? 9u : 0u});
    EXPECT_EQ(s.reads(), want);
    EXPECT_EQ(s.steps.size(), 24u);
    EXPECT_EQ(s.total_reads(), 16u * 4 + 8u * 8 + 8);
    EXPECT_EQ(vsim::board().line(), 0x1E);
}

TEST_F(BusTest, StuckReadBackLineReadsAllOnesOrAllZeros) {
    vsim::EpromChip& chip = vsim::board().insert_chip(vsim::T27512);
    chip.fill(0x5A);
    PutAdr(0);
    PutIC5(WIRING_27512);
    PutIC4(IC4Q5_VCC_5V);
    vsim::board().set_readback_fault(vsim::LineFault::stuck_at_1);
    PutData(0x00);
    EXPECT_EQ(GetDataIntern(), 0xFF);
    EXPECT_EQ(GetData(), 0xFF);
    vsim::board().set_readback_fault(vsim::LineFault::stuck_at_0);
    PutData(0xFF);
    EXPECT_EQ(GetDataIntern(), 0x00);
    EXPECT_EQ(GetData(), 0x00);
    vsim::board().set_readback_fault(vsim::LineFault::none);
    EXPECT_EQ(GetData(), 0x5A);
}

// ---- Rules every transfer keeps -------------------------------------------------------

TEST_F(BusTest, DataLineNeverChangesWhileTheClockFallsAndOnlyBusBytesAreWritten) {
    PutIC4(0xA5);
    PutIC5(0x5A);
    PutAdr(0xC3A5);
    PutData(0x96);
    (void)GetDataIntern();
    (void)GetData();
    PutData(0x69);
    PutAdr(0x0F0F);
    const wire::Steps s = steps();
    ASSERT_FALSE(s.steps.empty());
    uint8_t prev = 0x02; // the closing write of the transfer before recording began
    for (const wire::Step& st : s.steps) {
        EXPECT_TRUE(bus_line_byte(st.line)) << int(st.line);
        EXPECT_EQ(st.line & 0xE0, 0) << int(st.line);
        if ((prev & D1_SCK) && !(st.line & D1_SCK)) {
            EXPECT_EQ(prev & D0_SER, st.line & D0_SER)
                << "data line moved with the clock: " << int(prev) << " -> " << int(st.line);
        }
        prev = st.line;
    }
}

TEST_F(BusTest, TransfersDecodeToTheValuesSent) {
    PutIC4(0xA5);
    PutIC5(0x5A);
    PutAdr(0xC3A5);
    PutData(0x96);
    const std::vector<wire::Transfer> t = wire::transfers_of(wire::trace());
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[0].select, SR_IC4);
    EXPECT_EQ(t[0].bits, 8u);
    EXPECT_EQ(t[0].value, 0xA5u);
    EXPECT_TRUE(t[0].latched);
    EXPECT_EQ(t[1].select, SR_IC5);
    EXPECT_EQ(t[1].value, 0x5Au);
    EXPECT_EQ(t[2].select, SR_ADDRESS);
    EXPECT_EQ(t[2].bits, 16u);
    EXPECT_EQ(t[2].value, 0xC3A5u);
    EXPECT_EQ(t[3].select, SR_DATA);
    EXPECT_EQ(t[3].bits, 8u);
    EXPECT_EQ(t[3].value, 0x96u);
    EXPECT_FALSE(t[3].latched);
    EXPECT_EQ(t[3].loads, 0u);
}

TEST_F(BusTest, BusRunsOnWhicheverPortIsInUse) {
    wire::reset_all(LPT_3BC, false);
    setBase(LPT_3BC);
    wire::start_recording();
    PutIC4(0x42);
    PutAdr(0x0420);
    PutData(0x24);
    EXPECT_EQ(GetDataIntern(), 0x24);
    EXPECT_EQ(vsim::board().ic4(), 0x42);
    EXPECT_EQ(vsim::board().address(), 0x0420);
    // TearDown checks that every access went to 0x3BC or 0x3BD.
}

} // namespace
