// One programming attempt at wire level: the order of every register transfer of Writing,
// the framing of the program strobe pin on the 2764/27128 (A14) and 27010/27020 (IC5 bit 2),
// the monoflop waits of GetMFBit, and what the virtual chip took from the pulse.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/chipruns.h"
#include "eprom/misc.h"
#include "link/hw.h"
#include "tests/support/runs.h"
#include "tests/support/wire.h"

namespace {

using runs::fmt;
using Seq = std::vector<std::string>;

// The latched transfers and data register operations of a recording, one word each:
// "ADR=1234", "IC5=A4", "IC4=5A", "DATA=3C" (a byte shifted into the data register) and
// "READ" (a load pulse and the eight bits shifted out over the read-back line).
Seq wire_events(uint8_t line_before) {
    Seq out;
    for (const wire::Transfer& t : wire::transfers_of(wire::trace(), line_before)) {
        if (t.select == SR_DATA) {
            if (t.loads == 0 && t.bits == 8)
                out.push_back(fmt("DATA=%02X", unsigned(t.value & 0xFF)));
            else if (t.loads == 1 && t.bits == 8)
                out.push_back("READ");
            else
                out.push_back(fmt("DATA?loads=%u,bits=%u", t.loads, t.bits));
        } else if (!t.latched) {
            out.push_back(fmt("OPEN%u", unsigned(t.select)));
        } else if (t.select == SR_ADDRESS) {
            out.push_back(fmt("ADR=%04X", unsigned(t.value)));
        } else {
            out.push_back(fmt("%s=%02X", t.select == SR_IC5 ? "IC5" : "IC4", unsigned(t.value)));
        }
    }
    return out;
}

std::string adr(unsigned a) {
    return fmt("ADR=%04X", a);
}
std::string ic4(unsigned v) {
    return fmt("IC4=%02X", v);
}
std::string ic5(unsigned v) {
    return fmt("IC5=%02X", v);
}

// The seven IC4 transfers of one monoflop-timed pulse, with the voltage level bits `level`
// (already in place, bits 6-7), built from the board's bit names: trigger, programming
// voltage switch, chip enable, output enable; the supply bit stays 0 (6.25 V) throughout.
struct PulseIc4 {
    uint8_t t[8];
    explicit PulseIc4(uint8_t level) {
        t[0] = 0;
        t[1] = level | IC4Q3_CE_HIGH;                                 // deselected, outputs on
        t[2] = level | IC4Q1_VPP | IC4Q3_CE_HIGH | IC4Q4_OE_HIGH;     // voltage on
        t[3] = level | IC4Q1_VPP | IC4Q4_OE_HIGH;                     // chip enable: pulse starts
        t[4] = t[3];                                                  // trigger reset
        t[5] = t[3] | IC4Q0_TRIGGER;                                  // rising edge
        t[6] = level | IC4Q0_TRIGGER | IC4Q3_CE_HIGH | IC4Q4_OE_HIGH; // voltage off, deselected
        t[7] = level | IC4Q0_TRIGGER;                                 // selected, outputs on
    }
};

uint8_t level_bits(int v) {
    static const uint8_t bits[3] = {LEVEL_12V75, LEVEL_21V, LEVEL_25V};
    return bits[v];
}

// The chip and the register state of a programming run just before its first attempt at
// `address`: chip type selected, EnableEprom(0), SetVcc, SetVpp, and the address in its
// programming form. The supply choice is 5 V, so the attempt has to take it to 6.25 V.
class PulseAttempt : public ::testing::Test {
  protected:
    vsim::EpromChip& prepare(IC type, unsigned long address) {
        wire::reset_all();
        set_delay(1);
        vsim::EpromChip& chip = vsim::board().insert_chip(modelType(type));
        SetICType(type);
        SetVpp(chip.vpp_rating());
        level = level_bits(chip.vpp_rating());
        DisableEprom(); // idle, as any earlier run leaves it
        EnableEprom(0);
        SetVcc((unsigned)vcc);
        SetVpp(vpp);
        adressesetzen(address, 0);
        return chip;
    }
    // One Writing call, recorded.
    unsigned attempt(unsigned long address, uint8_t value) {
        line_before = vsim::board().line();
        wire::start_recording();
        back = 0xA5;
        return Writing(back, address, value);
    }
    Seq events() const { return wire_events(line_before); }

    uint8_t level = 0;
    uint8_t line_before = 0;
    unsigned char back = 0;
};

// ---- Pulse on chip enable: 2732, 27256, 27512, 27040 ------------------------------------

// A chip type and an address to program.
struct TypeAt {
    IC type;
    unsigned long address;
};

std::string type_at_name(const ::testing::TestParamInfo<TypeAt>& info) {
    return fmt("T%s_at_%lX", vsim::chip_facts(modelType(info.param.type)).name, info.param.address);
}

std::string type_name(const ::testing::TestParamInfo<IC>& info) {
    return std::string("T") + vsim::chip_facts(modelType(info.param)).name;
}

class ChipEnablePulse : public PulseAttempt, public ::testing::WithParamInterface<TypeAt> {};

TEST_P(ChipEnablePulse, SevenIc4TransfersInTableOrderAndTheCellTakesTheByte) {
    const TypeAt c = GetParam();
    vsim::EpromChip& chip = prepare(c.type, c.address);
    const uint8_t value = 0x3C;
    ASSERT_EQ(attempt(c.address, value), 1u);
    EXPECT_EQ(back, value);
    EXPECT_EQ(chip.byte(c.address), value);
    EXPECT_EQ(chip.pulses_at(c.address), 1u);
    EXPECT_EQ(vsim::board().triggers(), 1u);
    EXPECT_EQ(vsim::board().effective_pulses(), 1u);

    const PulseIc4 p(level);
    Seq want = {ic4(p.t[1]), adr(c.address & 0xFFFF)};
    // Only the 27C040 takes A16..A18 from IC5 while it is read; IC5 goes out at address 0
    // and above 64 KiB.
    if (c.type == T27040 && (c.address == 0 || c.address > 0xFFFF))
        want.push_back(ic5(WIRING_27010_27040 | (c.address >> 16)));
    const Seq pulse = {fmt("DATA=%02X", value),
                       ic4(p.t[2]),
                       ic4(p.t[3]),
                       ic4(p.t[4]),
                       ic4(p.t[5]),
                       ic4(p.t[6]),
                       ic4(p.t[7]),
                       "READ"};
    want.insert(want.end(), pulse.begin(), pulse.end());
    EXPECT_EQ(events(), want);
    EXPECT_EQ(vsim::board().ic4_history(),
              (std::vector<uint8_t>{p.t[1], p.t[2], p.t[3], p.t[4], p.t[5], p.t[6], p.t[7]}));
    EXPECT_TRUE(vsim::board().violations().empty()) << vsim::board().violations().joined();
    EXPECT_TRUE(vsim::board().hazards().empty()) << vsim::board().hazards().joined();
}

INSTANTIATE_TEST_SUITE_P(Types, ChipEnablePulse,
                         ::testing::Values(TypeAt{T2732, 0x0ABC}, TypeAt{T27256, 0x7ABC},
                                           TypeAt{T27512, 0xFEDC}, TypeAt{T27040, 0},
                                           TypeAt{T27040, 0x5A5A5}, TypeAt{T27040, 0x7FFFF}),
                         type_at_name);

// ---- 2764 and 27128: A14 is the program strobe ------------------------------------------

class A14StrobePulse : public PulseAttempt, public ::testing::WithParamInterface<TypeAt> {};

TEST_P(A14StrobePulse, A14LowOnlyBetweenChipEnableAndThePulseEnd) {
    const TypeAt c = GetParam();
    vsim::EpromChip& chip = prepare(c.type, c.address);
    const uint8_t value = 0x81;
    ASSERT_EQ(attempt(c.address, value), 1u);
    EXPECT_EQ(back, value);
    EXPECT_EQ(chip.byte(c.address), value);
    EXPECT_EQ(vsim::board().effective_pulses(), 1u);

    const PulseIc4 p(level);
    const unsigned high = c.address | A14_LINE, low = c.address;
    Seq want = {ic4(p.t[1]), adr(high),   fmt("DATA=%02X", value),
                ic4(p.t[2]), ic4(p.t[3]), adr(low)};
    // The programming form of address 0 also puts A16..A18 (all 0 here) into IC5.
    if (c.address == 0)
        want.push_back(ic5(WIRING_2764_27256));
    const Seq rest = {ic4(p.t[4]), ic4(p.t[5]), ic4(p.t[6]), adr(high), ic4(p.t[7]), "READ"};
    want.insert(want.end(), rest.begin(), rest.end());
    EXPECT_EQ(events(), want);
    EXPECT_TRUE(vsim::board().violations().empty()) << vsim::board().violations().joined();
    EXPECT_TRUE(vsim::board().hazards().empty()) << vsim::board().hazards().joined();
}

INSTANTIATE_TEST_SUITE_P(Types, A14StrobePulse,
                         ::testing::Values(TypeAt{T2764, 0}, TypeAt{T2764, 0x1ABC},
                                           TypeAt{T27128, 0x3ABC}, TypeAt{T27128, 0x3FFF}),
                         type_at_name);

// ---- 27010 and 27020: IC5 bit 2 (the A18 line) is the program strobe --------------------

class A18StrobePulse : public PulseAttempt, public ::testing::WithParamInterface<TypeAt> {};

// At address 0 and above 64 KiB the address itself sends IC5, in both of its forms.
TEST_P(A18StrobePulse, Ic5Bit2LowForThePulseAndBackToOneBeforeTheReadBack) {
    const TypeAt c = GetParam();
    vsim::EpromChip& chip = prepare(c.type, c.address);
    const uint8_t value = 0x42;
    ASSERT_EQ(attempt(c.address, value), 1u);
    EXPECT_EQ(back, value);
    EXPECT_EQ(chip.byte(c.address), value);
    EXPECT_EQ(vsim::board().effective_pulses(), 1u);

    const PulseIc4 p(level);
    const unsigned prog = WIRING_27010_27040 | (c.address >> 16);
    const unsigned read = prog | IC5Q2_A18;
    const unsigned lo = c.address & 0xFFFF;
    EXPECT_EQ(events(), (Seq{ic4(p.t[1]), adr(lo), ic5(read), fmt("DATA=%02X", value), ic4(p.t[2]),
                             ic4(p.t[3]), adr(lo), ic5(prog), ic4(p.t[4]), ic4(p.t[5]), ic4(p.t[6]),
                             adr(lo), ic5(read), ic4(p.t[7]), "READ"}));
    EXPECT_TRUE(vsim::board().violations().empty()) << vsim::board().violations().joined();
    EXPECT_TRUE(vsim::board().hazards().empty()) << vsim::board().hazards().joined();
}

INSTANTIATE_TEST_SUITE_P(Types, A18StrobePulse,
                         ::testing::Values(TypeAt{T27010, 0}, TypeAt{T27010, 0x10000},
                                           TypeAt{T27010, 0x1ABCD}, TypeAt{T27020, 0},
                                           TypeAt{T27020, 0x2ABCD}, TypeAt{T27020, 0x3FFFF}),
                         type_at_name);

// Within the first 64 KiB the address sends no IC5, so the pulse has to take bit 2 low and
// bring it back itself. A whole run over addresses 0 to 2, transfer by transfer.
TEST(A18StrobeRun, BitTwoGoesLowForEveryPulseAlsoWhereTheAddressSendsNoIc5) {
    for (IC type : {T27010, T27020}) {
        SCOPED_TRACE(vsim::chip_facts(modelType(type)).name);
        wire::reset_all();
        set_delay(1);
        vsim::EpromChip& chip = vsim::board().insert_chip(modelType(type));
        SetICType(type);
        DisableEprom();
        const uint8_t image[3] = {0x11, 0x22, 0x33};
        std::vector<uint8_t> work(BUFFER_SIZE, 0xFF);
        std::copy(image, image + 3, work.begin());
        const uint8_t line_before = vsim::board().line();
        wire::start_recording();
        vtest::ConsoleCapture con("\n");
        ASSERT_EQ(WriteIC(work.data(), 2), 1u);
        EXPECT_EQ(chip.byte(0), 0x11);
        EXPECT_EQ(chip.byte(1), 0x22);
        EXPECT_EQ(chip.byte(2), 0x33);
        EXPECT_EQ(chip.byte(3), 0xFF);
        EXPECT_EQ(vsim::board().effective_pulses(), 3u);

        const unsigned sock = WIRING_27010_27040, read = sock | IC5Q2_A18;
        const uint8_t idle = IC4Q3_CE_HIGH | IC4Q4_OE_HIGH;
        const uint8_t setup = idle;               // EnableEprom(0): 6.25 V, trigger reset
        const uint8_t vcc5 = idle | IC4Q5_VCC_5V; // SetVcc(5 V), then SetVpp(12.75 V)
        const PulseIc4 p(LEVEL_12V75);
        Seq want = {adr(0), ic5(sock), ic4(setup), ic4(vcc5), ic4(vcc5)};
        for (unsigned a = 0; a < 3; ++a) {
            want.push_back(adr(a)); // WriteIC: the address in its programming form
            if (a == 0)
                want.push_back(ic5(sock));
            // Every attempt opens with the same transfer: the first one clears the 5 V
            // supply bit that SetVcc set, later ones the trigger bit left by the last pulse.
            want.push_back(ic4(p.t[1]));
            want.push_back(adr(a));
            if (a == 0)
                want.push_back(ic5(read));
            const Seq pulse = {fmt("DATA=%02X", image[a]),
                               ic4(p.t[2]),
                               ic4(p.t[3]),
                               adr(a),
                               ic5(sock),
                               ic4(p.t[4]),
                               ic4(p.t[5]),
                               ic4(p.t[6]),
                               adr(a),
                               ic5(read),
                               ic4(p.t[7]),
                               "READ"};
            want.insert(want.end(), pulse.begin(), pulse.end());
        }
        want.push_back(ic4(p.t[7] | IC4Q5_VCC_5V));        // SetVcc(vcc): back to 5 V
        want.push_back(ic4(p.t[7] | IC4Q5_VCC_5V | idle)); // DisableEprom
        EXPECT_EQ(wire_events(line_before), want);
        EXPECT_TRUE(runs::board_clean_and_idle());
    }
}

// ---- A byte of 0xFF: read back only -----------------------------------------------------

class FfByte : public PulseAttempt, public ::testing::WithParamInterface<IC> {};

TEST_P(FfByte, NoPulseNoVoltageTwoIc4TransfersAndTheCellIsReadBack) {
    const IC type = GetParam();
    vsim::EpromChip& chip = prepare(type, 5);
    chip.set_byte(5, 0x7E); // the read-back must come from the cell, not be assumed
    {
        vtest::ConsoleCapture con("\n");
        EXPECT_EQ(attempt(5, 0xFF), 1u);
        EXPECT_EQ(con.screen(), "") << "no box, also not for the 2708 and 2716";
        EXPECT_EQ(con.unreadInput(), "\n");
    }
    EXPECT_EQ(back, 0x7E);
    EXPECT_EQ(vsim::board().triggers(), 0u);
    EXPECT_EQ(vsim::board().ic4_history(),
              (std::vector<uint8_t>{uint8_t(level | IC4Q3_CE_HIGH), level}));
    EXPECT_TRUE(vsim::board().violations().empty()) << vsim::board().violations().joined();
    EXPECT_TRUE(vsim::board().hazards().empty()) << vsim::board().hazards().joined();
}

INSTANTIATE_TEST_SUITE_P(AllTypes, FfByte,
                         ::testing::Values(T2708, T2716, T2732, T2764, T27128, T27256, T27512,
                                           T27010, T27020, T27040),
                         type_name);

// ---- Types the board cannot program -----------------------------------------------------

// The attempt only reports the refusal; the run shows it once the chip is at rest.
TEST_F(PulseAttempt, ReadOnlyTypesRefuseWithoutABoxAndNeverSwitchTheVoltageOn) {
    for (IC type : {T2708, T2716}) {
        const std::string name = vsim::chip_facts(modelType(type)).name;
        SCOPED_TRACE(name);
        vsim::EpromChip& chip = prepare(type, 3);
        vtest::ConsoleCapture con("\n");
        EXPECT_EQ(attempt(3, 0x00), 0u);
        EXPECT_EQ(back, 0u);
        EXPECT_EQ(con.screen(), "");
        EXPECT_EQ(con.unreadInput(), "\n");
        EXPECT_EQ(events(), (Seq{ic4(level | IC4Q3_CE_HIGH), adr(3), "DATA=00"}));
        EXPECT_EQ(vsim::board().ic4() & IC4Q1_VPP, 0);
        EXPECT_EQ(chip.byte(3), 0xFF);
        EXPECT_TRUE(vsim::board().hazards().empty()) << vsim::board().hazards().joined();
    }
}

// ---- The monoflop waits ------------------------------------------------------------------

// Status reads between the recorded write at `index` and the next write.
unsigned reads_after_write(size_t index) {
    return wire::steps_of(wire::trace()).steps.at(index).reads;
}

// Index of the closing write of the n-th (0-based) IC4 transfer in the trace.
size_t closing_write_of_ic4(size_t n, uint8_t line_before) {
    size_t writes = 0;
    for (const wire::Transfer& t : wire::transfers_of(wire::trace(), line_before)) {
        writes += t.steps.size();
        if (t.select == SR_IC4 && t.latched && n-- == 0)
            return writes - 1;
    }
    ADD_FAILURE() << "no such IC4 transfer";
    return 0;
}

TEST_F(PulseAttempt, MonoflopStuckBusyGivesUpAfterTwoHundredReadyPassesWithoutTrigger) {
    vsim::EpromChip& chip = prepare(T27512, 0x10);
    vsim::board().set_monoflop_fault(vsim::LineFault::stuck_at_1);
    EXPECT_EQ(attempt(0x10, 0x55), 0u);
    EXPECT_EQ(back, 1u);
    const PulseIc4 p(level);
    // Transfers 1 to 4, then straight to the voltage-off transfer with the trigger at 0.
    EXPECT_EQ(vsim::board().ic4_history(),
              (std::vector<uint8_t>{p.t[1], p.t[2], p.t[3], p.t[4],
                                    uint8_t(level | IC4Q3_CE_HIGH | IC4Q4_OE_HIGH)}));
    // 200 status reads that see the line busy, each followed by one delay read.
    EXPECT_EQ(reads_after_write(closing_write_of_ic4(3, line_before)), 400u);
    EXPECT_TRUE(vsim::board().is_idle());
    EXPECT_EQ(chip.byte(0x10), 0xFF);
    EXPECT_EQ(chip.pulses_at(0x10), 0u);
}

TEST_F(PulseAttempt, PulseThatNeverEndsTimesOutAfterTheEndWaitWithTheVoltageOff) {
    // A 2764, so that the address is left in its programming form (A14 low).
    vsim::EpromChip& chip = prepare(T2764, 0x123);
    vsim::board().set_monoflop_ticks(20000); // longer than 4000 passes of three reads
    EXPECT_EQ(attempt(0x123, 0x55), 0u);
    EXPECT_EQ(back, 1u);
    const PulseIc4 p(level);
    EXPECT_EQ(vsim::board().ic4_history(),
              (std::vector<uint8_t>{p.t[1], p.t[2], p.t[3], p.t[4], p.t[5], p.t[6]}));
    // End wait: 4000 passes of two delay reads and one status read.
    EXPECT_EQ(reads_after_write(closing_write_of_ic4(4, line_before)), 12000u);
    EXPECT_EQ(vsim::board().address(), 0x123);
    EXPECT_TRUE(vsim::board().is_idle());
    EXPECT_TRUE(vsim::board().hazards().empty()) << vsim::board().hazards().joined();
    EXPECT_EQ(chip.byte(0x123), 0xFF) << "the voltage went off in the middle of the pulse";
}

TEST_F(PulseAttempt, MonoflopThatAlwaysReadsRestEndsTheWaitAtTheFirstRead) {
    prepare(T27512, 0x20);
    vsim::board().set_monoflop_fault(vsim::LineFault::stuck_at_0);
    EXPECT_EQ(attempt(0x20, 0x55), 1u);
    const PulseIc4 p(level);
    EXPECT_EQ(vsim::board().ic4_history(),
              (std::vector<uint8_t>{p.t[1], p.t[2], p.t[3], p.t[4], p.t[5], p.t[6], p.t[7]}));
    // One ready read, then a single pass of the end wait: two delay reads and the status.
    EXPECT_EQ(reads_after_write(closing_write_of_ic4(3, line_before)), 1u);
    EXPECT_EQ(reads_after_write(closing_write_of_ic4(4, line_before)), 3u);
    EXPECT_EQ(back, 0xFF) << "the stuck monoflop gave the cell no pulse";
}

TEST_F(PulseAttempt, SoftwareTimedPulseNeverTouchesTheTriggerBit) {
    prepare(T27512, 0x30);
    UseMF(1);
    EXPECT_EQ(attempt(0x30, 0x55), 1u);
    const PulseIc4 p(level);
    EXPECT_EQ(vsim::board().ic4_history(),
              (std::vector<uint8_t>{p.t[1], p.t[2], p.t[3],
                                    uint8_t(level | IC4Q3_CE_HIGH | IC4Q4_OE_HIGH), level}));
    // The fixed wait: 300 reads after chip enable, whatever the status says.
    EXPECT_EQ(reads_after_write(closing_write_of_ic4(2, line_before)), 300u);
    EXPECT_EQ(vsim::board().triggers(), 0u);
}

} // namespace
