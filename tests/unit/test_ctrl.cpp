// Control registers IC4 and IC5: the shadows, the bytes that reach the board, and that a
// composed change reaches it in one single transfer.
#include <gtest/gtest.h>

#include <csignal>
#include <vector>

#include "tests/support/wire.h"

namespace {

using Latches = std::vector<wire::Latch>;

class CtrlTest : public wire::RegisterTest {
  protected:
    // The whole trace is exactly one IC4 transfer of `v`.
    static void expectOnlyIC4(uint8_t v) {
        EXPECT_EQ(wire::steps_of(wire::trace()).lines(), wire::latched_lines(SR_IC4, v, 8));
        EXPECT_EQ(ic_IC4, v);
        EXPECT_EQ(vsim::board().ic4(), v);
    }
};

TEST_F(CtrlTest, ChangesWithoutSendFlagStayInTheShadow) {
    startFrom(0x3C, 0xA2);
    AndIC4(0x0F, 0);
    OrIC4(0x40, 0);
    AndIC5(0xF0, 0);
    OrIC5(0x05, 0);
    OrIC4(0, 0);
    OrIC5(0, 0);
    AndIC4(0xFF, 0);
    AndIC5(0xFF, 0);
    EXPECT_TRUE(wire::trace().empty());
    EXPECT_EQ(ic_IC4, 0x4C);
    EXPECT_EQ(ic_IC5, 0xA5);
    EXPECT_EQ(vsim::board().ic4(), 0x3C);
    EXPECT_EQ(vsim::board().ic5(), 0xA2);
}

TEST_F(CtrlTest, SendFlagShiftsTheWholeShadowOut) {
    startFrom(0x3C, 0xA2);
    AndIC4(0xF7, 7); // any nonzero flag sends
    OrIC5(0x01, 1);
    EXPECT_EQ(sent(), (Latches{{SR_IC4, 0x34}, {SR_IC5, 0xA3}}));
    EXPECT_EQ(vsim::board().ic4(), 0x34);
    EXPECT_EQ(vsim::board().ic5(), 0xA3);
    wire::start_recording();
    AndIC5(0x0F, 1);
    OrIC4(0x80, 1);
    EXPECT_EQ(sent(), (Latches{{SR_IC5, 0x03}, {SR_IC4, 0xB4}}));
}

TEST_F(CtrlTest, ComposedChangeMakesExactlyOneTransfer) {
    startFrom(0x5F, 0x00);
    AndIC4(0xE7, 0);
    OrIC4(0x08, 1);
    expectOnlyIC4((0x5F & 0xE7) | 0x08);
    EXPECT_EQ(vsim::board().ic4_history(), std::vector<uint8_t>{0x4F});

    wire::start_recording();
    AndIC5(0x07, 0);
    OrIC5(0x60, 0);
    AndIC5(0xF8, 1);
    EXPECT_EQ(sent(), (Latches{{SR_IC5, 0x60}}));
    EXPECT_EQ(vsim::board().ic5_history(), std::vector<uint8_t>{0x60});
}

TEST_F(CtrlTest, OrWithZeroResendsTheShadowUnchanged) {
    startFrom(0x29, 0xA6);
    OrIC5(0, 1);
    OrIC4(0, 1);
    EXPECT_EQ(sent(), (Latches{{SR_IC5, 0xA6}, {SR_IC4, 0x29}}));
    EXPECT_EQ(ic_IC5, 0xA6);
    EXPECT_EQ(ic_IC4, 0x29);
    // A pending change goes out with the resend.
    wire::start_recording();
    AndIC5(0xF8, 0);
    OrIC5(0, 1);
    EXPECT_EQ(sent(), (Latches{{SR_IC5, 0xA0}}));
}

TEST_F(CtrlTest, SetVppReplacesTheLevelBitsAndSendsOnce) {
    startFrom(0x80, 0);
    SetVpp(1);
    expectOnlyIC4(0x40);
    EXPECT_EQ(vpp, 1);

    startFrom(0x82, 0);
    vpp = 2;
    SetVpp(3);
    expectOnlyIC4(0x02);
    EXPECT_EQ(vpp, 2);

    startFrom(0x62, 0);
    SetVpp(2);
    expectOnlyIC4(0xA2);
    EXPECT_EQ(vpp, 2);

    startFrom(0xFF, 0);
    SetVpp(0);
    expectOnlyIC4(0x3F);
    EXPECT_EQ(vpp, 0);

    for (int bad : {-1, 3, 100}) {
        SCOPED_TRACE(bad);
        startFrom(0x5B, 0);
        vpp = 1;
        SetVpp(bad);
        expectOnlyIC4(0x1B);
        EXPECT_EQ(vpp, 1);
    }
}

TEST_F(CtrlTest, SetVppAlwaysSendsEvenWithoutChange) {
    startFrom(0x40, 0);
    SetVpp(1);
    expectOnlyIC4(0x40);
}

TEST_F(CtrlTest, SetVccSetsTheSupplyBitButNotTheChoice) {
    vcc = 1;
    startFrom(0x00, 0);
    SetVcc(0);
    expectOnlyIC4(0x20);
    EXPECT_EQ(vcc, 1);
    for (unsigned high : {1u, 7u}) {
        SCOPED_TRACE(high);
        vcc = 0;
        startFrom(0xFB, 0);
        SetVcc(high);
        expectOnlyIC4(0xDB);
        EXPECT_EQ(vcc, 0);
    }
}

TEST_F(CtrlTest, SwitchesDriveTheirOwnBitAndSendAlways) {
    struct Case {
        void (*fn)(unsigned int);
        uint8_t bit;
    };
    const Case cases[] = {
        {SwitchVpp, IC4Q1_VPP}, {SwitchCE, IC4Q3_CE_HIGH}, {SwitchOE, IC4Q4_OE_HIGH}};
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.bit));
        startFrom(0x41, 0);
        c.fn(1);
        expectOnlyIC4((uint8_t)(0x41 | c.bit));
        startFrom(0x41, 0);
        c.fn(9);
        expectOnlyIC4((uint8_t)(0x41 | c.bit));
        startFrom(0xFB, 0);
        c.fn(0);
        expectOnlyIC4((uint8_t)(0xFB & ~c.bit));
        startFrom(0x41, 0);
        c.fn(0);
        expectOnlyIC4(0x41);
    }
}

TEST_F(CtrlTest, ResetMFBitClearsOnlyTheTrigger) {
    startFrom(0xFB, 0);
    ResetMFBit();
    expectOnlyIC4(0xFA);
    startFrom(0x38, 0);
    ResetMFBit();
    expectOnlyIC4(0x38);
}

TEST_F(CtrlTest, SetAdressPutsTheFull19BitAddressOnTheSocket) {
    startFrom(0x18, 0xA7);
    setAdress(0x54321);
    EXPECT_EQ(sent(), (Latches{{SR_ADDRESS, 0x4321}, {SR_IC5, 0xA5}}));
    EXPECT_EQ(ic_IC5, 0xA5);
    EXPECT_EQ(vsim::board().address_lines(), 0x54321u);
    EXPECT_EQ(vsim::board().ic4(), 0x18);

    startFrom(0x18, 0x60);
    setAdress(0x0ABCD);
    EXPECT_EQ(sent(), (Latches{{SR_ADDRESS, 0xABCD}, {SR_IC5, 0x60}}));
    startFrom(0x18, 0x38);
    setAdress(0x7FFFF);
    EXPECT_EQ(sent(), (Latches{{SR_ADDRESS, 0xFFFF}, {SR_IC5, 0x3F}}));
    EXPECT_EQ(vsim::board().address_lines(), 0x7FFFFu);
}

// A stop or a pause holds every transfer back while a run has the bus halt: the shadows stay
// at what the board latched, whatever was composed, and the rest state starts from there
// (the level and the trigger bit as latched, not as composed).
TEST_F(CtrlTest, HeldBackTransfersLeaveTheShadowsAsLatchedAndRestStartsThere) {
    struct Case {
        volatile sig_atomic_t* request;
        int sig;
        int supply;
        uint8_t rest;
    };
    for (const Case& c :
         {Case{&StopRequest, SIGINT, T5V, 0x79}, Case{&PauseRequest, SIGTSTP, T5V, 0x79},
          Case{&StopRequest, SIGTERM, T6_25V, 0x59}}) {
        SCOPED_TRACE(c.sig);
        vcc = c.supply;
        startFrom(0x43, 0xA5); // trigger high, programming voltage on, 21 V, chip selected
        HaltOnStop = 1;
        *c.request = c.sig;
        AndIC4(0xE7, 1);
        SetVcc(0);
        PutIC4(0x02);
        AndIC5(0xF8, 1);
        OrIC5(0x02, 1);
        EXPECT_TRUE(wire::trace().empty());
        EXPECT_EQ(ic_IC4, 0x43);
        EXPECT_EQ(ic_IC5, 0xA5);
        AndIC4(0x3E, 0); // composed, never sent: the level and the trigger bit cleared
        HaltOnStop = 0;
        *c.request = 0;
        RestIC4();
        expectOnlyIC4(c.rest);
    }
}

TEST_F(CtrlTest, PulseTimingSelectionTouchesNoPort) {
    startFrom(0x18, 0x00);
    EXPECT_EQ(GetMFSelection(), 0u);
    UseMF(1);
    EXPECT_EQ(GetMFSelection(), 1u);
    EXPECT_EQ(SelectMF, 1u);
    UseMF(0);
    EXPECT_EQ(GetMFSelection(), 0u);
    EXPECT_TRUE(wire::trace().empty());
    EXPECT_EQ(ic_IC4, 0x18);
}

} // namespace
