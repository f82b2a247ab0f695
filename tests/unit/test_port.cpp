// Port access and bus timing on the wire: which ports are opened and read, and how many
// status reads each wait costs. A status read is the only clock the bus has, so the number
// of reads is the length of a wait.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "console/ports.h"
#include "link/platform.h"
#include "tests/support/wire.h"

namespace {

using vsim::PortAccess;

uint64_t readsDuring(void (*fn)(uint16_t), uint16_t arg) {
    const uint64_t before = vsim::board().reads();
    fn(arg);
    return vsim::board().reads() - before;
}

class PortAccessTest : public ::testing::Test {
  protected:
    void SetUp() override { wire::reset_all(LPT_378, false); }
};

TEST_F(PortAccessTest, SetBaseOnEveryTablePortOpensThreePortsAndReadsStatusOnce) {
    for (uint16_t port : {LPT_278, LPT_378, LPT_3BC}) {
        SCOPED_TRACE(port);
        wire::reset_all(port, false);
        wire::start_recording();
        setBase(port);
        EXPECT_EQ(Base, port);
        const auto& calls = vsim::board().ioperm_calls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].from, port);
        EXPECT_EQ(calls[0].num, 3u);
        EXPECT_EQ(calls[0].turn_on, 1);
        EXPECT_TRUE(vsim::board().granted(port));
        EXPECT_TRUE(vsim::board().granted(port + 1));
        EXPECT_TRUE(vsim::board().granted(port + 2));
        EXPECT_FALSE(vsim::board().granted(port + 3));
        const std::vector<PortAccess> want = {
            {PortAccess::read, vsim::board().status(), (uint16_t)(port + 1)}};
        EXPECT_EQ(wire::trace(), want);
        EXPECT_TRUE(vsim::board().violations().empty()) << vsim::board().violations().joined();
    }
}

TEST_F(PortAccessTest, SetBaseIgnoresAddressesOutsideThePortTable) {
    for (uint16_t port : {0x2F8, 0x3F8, 0x000, 0x279, 0x377, 0x3BD, 0xFFFF}) {
        SCOPED_TRACE(port);
        Base = LPT_3BC;
        wire::start_recording();
        setBase((uint16_t)port);
        EXPECT_EQ(Base, LPT_3BC);
        EXPECT_TRUE(wire::trace().empty());
        EXPECT_TRUE(vsim::board().ioperm_calls().empty());
    }
}

TEST_F(PortAccessTest, SetPortCodesSelectThePromptPorts) {
    const uint16_t table[3] = {LPT_278, LPT_378, LPT_3BC};
    for (uint8_t code = 0; code < 3; code++) {
        SCOPED_TRACE(code);
        wire::reset_all(table[code], false);
        wire::start_recording();
        EXPECT_EQ(setPort(code), table[code]);
        EXPECT_EQ(Base, table[code]);
        ASSERT_EQ(vsim::board().ioperm_calls().size(), 1u);
        EXPECT_EQ(vsim::board().ioperm_calls()[0].from, table[code]);
        ASSERT_EQ(wire::trace().size(), 1u);
        EXPECT_EQ(wire::trace()[0].kind, PortAccess::read);
        EXPECT_EQ(wire::trace()[0].port, table[code] + 1);
    }
}

TEST_F(PortAccessTest, SetPortCodesAboveTwoOnlyReportThePortInUse) {
    for (uint16_t current : {LPT_278, LPT_3BC}) {
        for (int code : {3, 4, 200, 255}) {
            SCOPED_TRACE(code);
            Base = current;
            wire::start_recording();
            EXPECT_EQ(setPort((uint8_t)code), current);
            EXPECT_EQ(Base, current);
            EXPECT_TRUE(wire::trace().empty());
            EXPECT_TRUE(vsim::board().ioperm_calls().empty());
        }
    }
}

TEST_F(PortAccessTest, SetDelayRefusesZeroAndAcceptsEverythingElse) {
    EXPECT_EQ(get_delay(), 2);
    EXPECT_EQ(set_delay(0), 0u);
    EXPECT_EQ(get_delay(), 2);
    EXPECT_EQ(set_delay(255), 1u);
    EXPECT_EQ(get_delay(), 255);
    EXPECT_EQ(Delay, 255);
    EXPECT_EQ(set_delay(0), 0u);
    EXPECT_EQ(get_delay(), 255);
    EXPECT_EQ(set_delay(1), 1u);
    EXPECT_EQ(get_delay(), 1);
}

TEST_F(PortAccessTest, TimingCallsMakeNoAccessOnTheirOwn) {
    wire::start_recording();
    (void)set_delay(7);
    (void)get_delay();
    (void)set_delay(0);
    EXPECT_TRUE(wire::trace().empty());
}

// Granted ports from here on: the waits read the status register.
class BusTimingTest : public ::testing::Test {
  protected:
    void SetUp() override { wire::reset_all(LPT_378, true); }
};

TEST_F(BusTimingTest, UsDelayReadsLoopsTimesDelaySquaredCutTo16Bits) {
    struct Case {
        uint16_t loops;
        uint8_t delay;
        uint64_t reads;
    };
    const Case cases[] = {
        {1, 2, 4},     {1, 1, 1},       {1, 255, 65025},   {2, 2, 8}, {2, 181, 65522},
        {2, 182, 712}, {10, 80, 64000}, {10, 81, 74},      {0, 2, 0}, {0, 255, 0},
        {256, 16, 0},  {3, 148, 176},   {65535, 1, 65535},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.loops << " x " << int(c.delay));
        ASSERT_EQ(set_delay(c.delay), 1u);
        EXPECT_EQ(readsDuring(us_delay, c.loops), c.reads);
    }
    EXPECT_EQ(vsim::board().writes(), 0u);
}

TEST_F(BusTimingTest, WaitsReadOnlyTheStatusRegisterOfThePortInUse) {
    wire::reset_all(LPT_3BC, false);
    setBase(LPT_3BC);
    (void)set_delay(3);
    wire::start_recording();
    us_delay(2);
    constDelay(5);
    ms_delay(1);
    ASSERT_EQ(wire::trace().size(), 18u + 5u + 90u);
    for (const PortAccess& a : wire::trace()) {
        EXPECT_EQ(a.kind, PortAccess::read);
        EXPECT_EQ(a.port, LPT_3BC + 1);
    }
    EXPECT_TRUE(vsim::board().violations().empty()) << vsim::board().violations().joined();
}

TEST_F(BusTimingTest, MsDelayIsTicksTimesUsDelayTen) {
    EXPECT_EQ(readsDuring(ms_delay, 0), 0u);
    EXPECT_EQ(readsDuring(ms_delay, 3), 3u * 10 * 4);
    (void)set_delay(81); // 10 x 81 x 81 wraps to 74 per tick
    EXPECT_EQ(readsDuring(ms_delay, 2), 2u * 74);
    EXPECT_EQ(readsDuring(ms_delay, 0), 0u);
}

TEST_F(BusTimingTest, ConstDelayIgnoresTheDelayFactor) {
    for (int d : {1, 2, 100, 255}) {
        SCOPED_TRACE(d);
        (void)set_delay((uint8_t)d);
        EXPECT_EQ(readsDuring(constDelay, 300), 300u);
        EXPECT_EQ(readsDuring(constDelay, 0), 0u);
        EXPECT_EQ(readsDuring(constDelay, 1), 1u);
    }
}

TEST_F(BusTimingTest, InportBReturnsOneReadOfTheStatusRegister) {
    vsim::board().set_readback_fault(vsim::LineFault::stuck_at_1);
    wire::start_recording();
    const uint8_t v = InportB();
    ASSERT_EQ(wire::trace().size(), 1u);
    EXPECT_EQ(wire::trace()[0].port, LPT_378 + 1);
    EXPECT_EQ(v, wire::trace()[0].value);
    EXPECT_TRUE(v & S6_READBACK);
    vsim::board().set_readback_fault(vsim::LineFault::stuck_at_0);
    EXPECT_FALSE(InportB() & S6_READBACK);
}

// ---- Refused access -------------------------------------------------------------------

// The message, as a regular expression, when the machine has no ppdev device for the port.
const char kRootMessage[] = "ioperm\\(-1\\) --> you need root-access\n"
                            "without root: load ppdev \\(modprobe ppdev\\) and add your user to "
                            "group lp for the port's /dev/parportN\n";

// Runs in the dying child after exit(): reports whether the driver touched a port once
// the access request had been refused.
uint64_t g_accessesAtRefusal = 0;
void reportAccessesAfterRefusal() {
    std::fprintf(stderr, "[accesses after refusal: %llu]",
                 (unsigned long long)(vsim::board().ticks() - g_accessesAtRefusal));
}

// A refused request is recorded, not said: the link layer neither prints nor ends the
// program (the front end does both), and without the grant it leaves out even the status read.
TEST_F(PortAccessTest, RefusedSetBaseTouchesNothingAndLeavesThePortUnheld) {
    for (uint16_t port : {LPT_378, LPT_278}) {
        SCOPED_TRACE(port);
        wire::reset_all(LPT_378, false);
        vsim::board().set_ioperm_refused(true);
        wire::start_recording();
        vtest::ConsoleCapture con;
        setBase(port);
        EXPECT_EQ(Base, port);
        EXPECT_EQ(portHeld(), 0u);
        EXPECT_EQ(port_refusal()->why, TREFUSED_RIGHTS);
        EXPECT_EQ(con.screen(), "");
        EXPECT_TRUE(wire::trace().empty());
        EXPECT_EQ(vsim::board().ioperm_calls().size(), 1u);
        vsim::board().set_ioperm_refused(false);
        setBase(port);
        EXPECT_EQ(portHeld(), 1u);
    }
}

// The start-up with the port answer or --port port `given` (nullptr: the dialogue with
// `answer`), every access request refused.
[[noreturn]] void refusedStart(const char* answer, const char* given) {
    wire::reset_all(LPT_378, false);
    vsim::board().set_ioperm_refused(true);
    static vtest::ConsoleCapture* console = new vtest::ConsoleCapture(answer);
    (void)console;
    conOut = stderr;
    g_accessesAtRefusal = vsim::board().ticks();
    std::atexit(reportAccessesAfterRefusal);
    if (given)
        selectGivenPort(given);
    else
        selectVantrel();
    std::fprintf(stderr, "[start-up returned]");
    std::fflush(stderr);
    std::_Exit(0);
}

// A chosen port, a scan that can open none of the three, a port given with --port: the
// message and status 2, and not one port access.
TEST(PortAccessDeathTest, RefusedAccessAtStartUpStopsBeforeTheBus) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string prompt = "^select Vantrel-Port\n\n0: Port 0x278\n1: Port 0x378\n"
                               "2: Port 0x3BC\n3: autoscan\n\n>";
    const std::string end = std::string(kRootMessage) + "\\[accesses after refusal: 0\\]$";
    EXPECT_EXIT(refusedStart("1\n", nullptr), ::testing::ExitedWithCode(2), prompt + end);
    EXPECT_EXIT(refusedStart("3\n", nullptr), ::testing::ExitedWithCode(2), prompt + end);
    EXPECT_EXIT(refusedStart("", "0xD010"), ::testing::ExitedWithCode(2), "^" + end);
    EXPECT_EXIT(refusedStart("", "/dev/parport1"), ::testing::ExitedWithCode(2),
                "^/dev/parport1: no parallel port device \\(open: No such file or directory\\)\n"
                "\\[accesses after refusal: 0\\]$");
}

} // namespace
