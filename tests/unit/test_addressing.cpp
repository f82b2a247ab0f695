// Socket set-up and addressing for every EPROM type: the IC5 bytes of a type selection, the
// address word and IC5 transfers of one address, the IC4 bytes of the chip states, and a
// byte read back through the socket of every type.
#include <gtest/gtest.h>

#include <vector>

#include "tests/support/wire.h"

namespace {

using Latches = std::vector<wire::Latch>;

// Socket wiring (IC5 bits 3..7) and last address of each type, in type order.
const uint8_t kSocket[TicMax] = {0x38, 0x38, 0x10, 0x60, 0x60, 0x60, 0x00, 0xA0, 0xA0, 0xA0};
const unsigned long kLast[TicMax] = {0x3FF,  0x7FF,  0xFFF,   0x1FFF,  0x3FFF,
                                     0x7FFF, 0xFFFF, 0x1FFFF, 0x3FFFF, 0x7FFFF};

class AddressingTest : public wire::RegisterTest {};

TEST_F(AddressingTest, LastAddressOfEveryType) {
    for (int t = 0; t < TicMax; t++)
        EXPECT_EQ(GetLastAdress((uint16_t)t), kLast[t]) << t;
    EXPECT_EQ(GetLastAdress(6), 0xFFFFul);
    EXPECT_EQ(GetLastAdress(9), 0x7FFFFul);
    for (uint16_t bad : {10, 11, 255, 0xFFFF})
        EXPECT_EQ(GetLastAdress(bad), 0ul) << bad;
}

// ---- Type selection -------------------------------------------------------------------

TEST_F(AddressingTest, SetICTypeSendsTheNewWiringWithOldHighBitsThenClearsThem) {
    for (int t = 0; t < TicMax; t++) {
        SCOPED_TRACE(t);
        for (uint8_t before : {0x00, 0xA5, 0xFF, 0x3B}) {
            SCOPED_TRACE(int(before));
            startFrom(0x18, before);
            epromtyp = (t + 1) % TicMax;
            SetICType(t);
            const uint8_t first = (uint8_t)(kSocket[t] | (before & 0x07));
            EXPECT_EQ(sent(), (Latches{{SR_IC5, first}, {SR_IC5, kSocket[t]}}));
            EXPECT_EQ(ic_IC5, kSocket[t]);
            EXPECT_EQ(vsim::board().ic5(), kSocket[t]);
            EXPECT_EQ(epromtyp, t);
            EXPECT_EQ(ic_IC4, 0x18);
        }
    }
}

TEST_F(AddressingTest, SetICTypeExamples) {
    startFrom(0x18, 0xA5);
    SetICType(T27512);
    EXPECT_EQ(vsim::board().ic5_history(), (std::vector<uint8_t>{0x05, 0x00}));
    startFrom(0x18, 0x00);
    SetICType(T2732);
    EXPECT_EQ(vsim::board().ic5_history(), (std::vector<uint8_t>{0x10, 0x10}));
    const wire::Steps s = wire::steps_of(wire::trace());
    std::vector<uint8_t> want = wire::latched_lines(SR_IC5, 0x10, 8);
    const std::vector<uint8_t> again = want;
    want.insert(want.end(), again.begin(), again.end());
    EXPECT_EQ(s.lines(), want);
}

// ---- One address ----------------------------------------------------------------------

// The transfers adressesetzen must make for `adr` on type `t`, starting from IC5 = `ic5`.
Latches expectedAddressing(int t, unsigned long adr, unsigned reading, uint8_t ic5) {
    uint16_t low = (uint16_t)(adr & 0xFFFF);
    if (reading && (t == T2764 || t == T27128))
        low |= 0x4000;
    Latches v = {{SR_ADDRESS, low}};
    if (adr >= 1 && adr <= 0xFFFF)
        return v;
    const uint8_t high = (uint8_t)(adr >> 16);
    const uint8_t keep = (uint8_t)(ic5 & 0xF8);
    if (!reading)
        v.push_back({SR_IC5, (uint8_t)(keep | high)});
    else if (t == T27010 || t == T27020)
        v.push_back({SR_IC5, (uint8_t)(keep | high | 0x04)});
    else if (t == T27040)
        v.push_back({SR_IC5, (uint8_t)(keep | high)});
    return v;
}

TEST_F(AddressingTest, AdressesetzenForEveryTypeAddressAndDirection) {
    const unsigned long addresses[] = {0,       1,       0x1234,  0x3FFF,  0x4000,
                                       0x8000,  0xFFFF,  0x10000, 0x12345, 0x1FFFF,
                                       0x2ABCD, 0x3FFFF, 0x40000, 0x6789A, 0x7FFFF};
    for (int t = 0; t < TicMax; t++) {
        for (unsigned reading : {0u, 1u, 5u}) {
            for (unsigned long adr : addresses) {
                SCOPED_TRACE(testing::Message()
                             << "type " << t << " reading " << reading << " adr " << adr);
                SetICType(t);
                OrIC5(0x03, 1); // stale high bits, to see what is kept and what is replaced
                wire::start_recording();
                adressesetzen(adr, reading);
                const uint8_t ic5 = (uint8_t)(kSocket[t] | 0x03);
                const Latches want = expectedAddressing(t, adr, reading, ic5);
                EXPECT_EQ(sent(), want);
                const uint8_t ic5After = want.size() > 1 ? (uint8_t)want[1].value : ic5;
                EXPECT_EQ(ic_IC5, ic5After);
                EXPECT_EQ(vsim::board().ic5(), ic5After);
                EXPECT_EQ(vsim::board().address(), want[0].value);
                EXPECT_EQ(vsim::board().latches(vsim::Reg::ic4), 0u);
            }
        }
    }
}

TEST_F(AddressingTest, ProgramStrobeOnA14IsHeldHighOnlyWhileReading2764And27128) {
    for (int t : {T2764, T27128}) {
        SCOPED_TRACE(t);
        SetICType(t);
        wire::start_recording();
        adressesetzen(0x1234, 1);
        EXPECT_EQ(sent(), (Latches{{SR_ADDRESS, 0x5234}}));
        wire::start_recording();
        adressesetzen(0x1234, 0);
        EXPECT_EQ(sent(), (Latches{{SR_ADDRESS, 0x1234}}));
        wire::start_recording();
        adressesetzen(0, 1); // address 0 is the one place IC5 could change: not for these
        EXPECT_EQ(sent(), (Latches{{SR_ADDRESS, 0x4000}}));
    }
    SetICType(T27256);
    wire::start_recording();
    adressesetzen(0x1234, 1);
    EXPECT_EQ(sent(), (Latches{{SR_ADDRESS, 0x1234}}));
}

TEST_F(AddressingTest, HighAddressExamples) {
    SetICType(T27040);
    wire::start_recording();
    adressesetzen(0x12345, 1);
    EXPECT_EQ(sent(), (Latches{{SR_ADDRESS, 0x2345}, {SR_IC5, 0xA1}}));

    SetICType(T27020);
    wire::start_recording();
    adressesetzen(0x12345, 1);
    EXPECT_EQ(sent(), (Latches{{SR_ADDRESS, 0x2345}, {SR_IC5, 0xA5}}));
    wire::start_recording();
    adressesetzen(0x12345, 0);
    EXPECT_EQ(sent(), (Latches{{SR_ADDRESS, 0x2345}, {SR_IC5, 0xA1}}));

    SetICType(T27512);
    wire::start_recording();
    adressesetzen(0x8000, 1);
    EXPECT_EQ(sent(), (Latches{{SR_ADDRESS, 0x8000}}));
    SetICType(T2716);
    wire::start_recording();
    adressesetzen(0, 1);
    EXPECT_EQ(sent(), (Latches{{SR_ADDRESS, 0x0000}}));
}

TEST_F(AddressingTest, A18StaysHighThroughTheFirst64KAfterAddressZero) {
    SetICType(T27010);
    wire::start_recording();
    adressesetzen(0, 1);
    EXPECT_EQ(sent(), (Latches{{SR_ADDRESS, 0}, {SR_IC5, 0xA4}}));
    wire::start_recording();
    adressesetzen(5, 0);
    EXPECT_EQ(sent(), (Latches{{SR_ADDRESS, 5}}));
    EXPECT_EQ(vsim::board().ic5(), 0xA4);
    EXPECT_EQ(vsim::board().address_lines(), 0x40005u);
}

TEST_F(AddressingTest, ReadingWalkSendsIC5OnlyAtZeroAndAbove64K) {
    for (int t : {T27512, T27010, T27040}) {
        SCOPED_TRACE(t);
        SetICType(t);
        wire::start_recording();
        for (unsigned long adr = 0; adr < 0x20; adr++)
            adressesetzen(adr, 1);
        for (unsigned long adr = 0xFFF0; adr < 0x10010; adr++)
            adressesetzen(adr, 1);
        const size_t ic5 = vsim::board().ic5_history().size();
        EXPECT_EQ(vsim::board().address_history().size(), 0x20u + 0x20u);
        EXPECT_EQ(ic5, t == T27512 ? 0u : 1u + 0x10u);
    }
}

// ---- Chip states ----------------------------------------------------------------------

TEST_F(AddressingTest, EnableEpromForReadingActivatesChipAndOutputEnable) {
    startFrom(0x58, 0x67); // 21 V level chosen, 6.25 V supply chosen, chip idle
    EnableEprom(1);
    EXPECT_EQ(sent(), (Latches{{SR_ADDRESS, 0}, {SR_IC5, 0x60}, {SR_IC4, 0x40}}));
    startFrom(0x7B, 0xA3);
    EnableEprom(3);
    EXPECT_EQ(sent(), (Latches{{SR_ADDRESS, 0}, {SR_IC5, 0xA0}, {SR_IC4, 0x63}}));
    EXPECT_EQ(vsim::board().address_lines(), 0u);
}

TEST_F(AddressingTest, EnableEpromForProgrammingDeselectsAndDropsTriggerAndSupply) {
    startFrom(0x39, 0x05); // trigger set, 5 V, CE and OE inactive
    EnableEprom(0);
    EXPECT_EQ(sent(), (Latches{{SR_ADDRESS, 0}, {SR_IC5, 0x00}, {SR_IC4, 0x18}}));
    startFrom(0x61, 0x10); // output enable active stays active
    EnableEprom(0);
    EXPECT_EQ(sent(), (Latches{{SR_ADDRESS, 0}, {SR_IC5, 0x10}, {SR_IC4, 0x48}}));
    startFrom(0x00, 0x38); // 6.25 V already
    EnableEprom(0);
    EXPECT_EQ(sent(), (Latches{{SR_ADDRESS, 0}, {SR_IC5, 0x38}, {SR_IC4, 0x08}}));
}

TEST_F(AddressingTest, DisableEpromMakesTheChipIdle) {
    startFrom(0x40, 0x60);
    DisableEprom();
    EXPECT_EQ(sent(), (Latches{{SR_IC4, 0x58}}));
    EXPECT_TRUE(vsim::board().is_idle());
    startFrom(0x3B, 0x60);
    DisableEprom();
    EXPECT_EQ(sent(), (Latches{{SR_IC4, 0x3B}}));
}

TEST_F(AddressingTest, ClearEpromVppSwitchesTheProgrammingVoltageOff) {
    startFrom(0x5A, 0xA0);
    ClearEpromVpp();
    EXPECT_EQ(sent(), (Latches{{SR_IC4, 0x58}}));
    EXPECT_TRUE(vsim::board().is_idle());
    // A voltage switch prepared in the shadow but never sent is cleared as well.
    startFrom(0x40, 0xA0);
    OrIC4(IC4Q1_VPP | IC4Q0_TRIGGER, 0);
    ClearEpromVpp();
    EXPECT_EQ(sent(), (Latches{{SR_IC4, 0x59}}));
    EXPECT_EQ(ic_IC4 & IC4Q1_VPP, 0);
}

TEST_F(AddressingTest, CloseWritingSetsTheSupplyAndDeselectsInOneTransfer) {
    startFrom(0x23, 0x00);
    CloseWriting(1);
    EXPECT_EQ(sent(), (Latches{{SR_IC4, 0x1B}}));
    startFrom(0x03, 0x00);
    CloseWriting(0);
    EXPECT_EQ(sent(), (Latches{{SR_IC4, 0x3B}}));
    startFrom(0x81, 0x00);
    CloseWriting(4);
    EXPECT_EQ(sent(), (Latches{{SR_IC4, 0x99}}));
}

// ---- Through the socket ---------------------------------------------------------------

TEST_F(AddressingTest, EveryTypeReadsItsOwnCellsThroughTheSocket) {
    for (int t = 0; t < TicMax; t++) {
        SCOPED_TRACE(t);
        wire::reset_all(LPT_378, true);
        (void)set_delay(1);
        vsim::EpromChip& chip = vsim::board().insert_chip((vsim::IC)t);
        const unsigned long last = GetLastAdress((uint16_t)t);
        const unsigned long probes[] = {0, 1, 0x155, last / 2 + 3, last - 1, last};
        for (unsigned long a : probes)
            chip.set_byte((uint32_t)a, (uint8_t)(0x5A ^ a ^ (a >> 8) ^ (a >> 16)));
        SetICType(t);
        EnableEprom(1);
        for (unsigned long a : probes) {
            adressesetzen(a, 1);
            EXPECT_EQ(GetData(), (uint8_t)(0x5A ^ a ^ (a >> 8) ^ (a >> 16))) << a;
        }
        DisableEprom();
        EXPECT_TRUE(vsim::board().is_idle());
        EXPECT_TRUE(vsim::board().hazards().empty()) << vsim::board().hazards().joined();
        EXPECT_EQ(chip.total_pulses(), 0u);
    }
}

} // namespace
