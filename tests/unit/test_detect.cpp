// Board detection and the start-up port dialogue against the board model: which ports are
// opened and tried in which order, the test bytes on the wire, what the detection tells the
// front end (outcome, box, port), the boxes on the screen, the rest state sent to a board
// that answered, and the port left in Base.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "console/ports.h"
#include "tests/support/wire.h"

namespace {

using Ports = std::vector<uint16_t>;

const char kPrompt[] = "select Vantrel-Port\n\n"
                       "0: Port 0x278\n"
                       "1: Port 0x378\n"
                       "2: Port 0x3BC\n"
                       "3: autoscan\n\n>";
const char kNotFoundAnywhere[] = "Vantrel not found on 0x278, 0x378 or 0x3BC !";

// A framed message as the operator sees it.
std::string box(const std::string& head, const std::string& text) {
    const int lenH = (int)head.size() + 2, lenT = (int)text.size() + 2;
    const int len = std::max({lenH, lenT, 16});
    const std::string frame = "+" + std::string(len, '-') + "+\n";
    return "\n" + frame + "| " + head + std::string(len - lenH, ' ') + " |\n" + "| " + text +
           std::string(len - lenT, ' ') + " |\n" + "| press Enter..." + std::string(len - 16, ' ') +
           " |\n" + frame;
}

std::string notFoundAt(const char* port) {
    return box("Info:", std::string("Vantrel not found at LPT (0x") + port + ")");
}
std::string foundAt(const char* port) {
    return box("Info:", std::string("Vantrel found at LPT: (0x") + port + ")");
}

// The data register of every port the trace touches, in order, repeats folded.
Ports portsTouched() {
    Ports v;
    for (const vsim::PortAccess& a : wire::trace()) {
        const uint16_t base = a.kind == vsim::PortAccess::write ? a.port : (uint16_t)(a.port - 1);
        if (v.empty() || v.back() != base)
            v.push_back(base);
    }
    return v;
}

Ports iopermPorts() {
    Ports v;
    for (const vsim::IopermCall& c : vsim::board().ioperm_calls()) {
        EXPECT_EQ(c.num, 3u);
        EXPECT_EQ(c.turn_on, 1);
        v.push_back((uint16_t)c.from);
    }
    return v;
}

// The bits that a walking-bit test shifts through the data register for `tests` values:
// each PutData(tc) followed by the eight clock pulses of GetDataIntern, which shift in 0s.
std::vector<uint8_t> walkingBits(int tests) {
    std::vector<uint8_t> v;
    for (int i = 0; i < tests; i++) {
        for (int b = 7; b >= 0; b--)
            v.push_back(b == i ? 1 : 0);
        v.insert(v.end(), 8, 0);
    }
    return v;
}

// IC4 at rest: programming voltage off, chip deselected, 5 V, the 12.75 V level.
const uint8_t kRestIC4 = IC4Q3_CE_HIGH | IC4Q4_OE_HIGH | IC4Q5_VCC_5V;

class DetectTest : public ::testing::Test {
  protected:
    // Board on `board_port` (0: none), nothing granted yet, Base at `base`.
    void start(uint16_t board_port, uint16_t base = LPT_378) {
        wire::reset_all(board_port, false);
        Base = base;
        rested_ = false;
        wire::start_recording();
    }
    void TearDown() override {
        const vsim::Board& b = vsim::board();
        EXPECT_TRUE(b.violations().empty()) << b.violations().joined();
        // Detection works on the data shift register alone; a board that answered at
        // start-up then gets the rest state, one IC4 transfer, as the last thing.
        EXPECT_EQ(b.latches(vsim::Reg::address), 0u);
        EXPECT_EQ(b.latches(vsim::Reg::ic4), rested_ ? 1u : 0u);
        EXPECT_EQ(b.latches(vsim::Reg::ic5), 0u);
        EXPECT_EQ(ic_IC4, rested_ ? kRestIC4 : 0);
        EXPECT_EQ(ic_IC5, 0);
        std::vector<wire::Transfer> t = wire::transfers_of(wire::trace());
        if (rested_) {
            ASSERT_FALSE(t.empty());
            EXPECT_EQ(t.back().select, SR_IC4);
            EXPECT_EQ(b.ic4(), kRestIC4);
            t.pop_back();
        }
        for (const wire::Transfer& x : t)
            EXPECT_EQ(x.select, SR_DATA);
    }
    bool rested_ = false; // the start-up found the board and put it at rest
};

void expectDetection(const Detection& d, int outcome, int note, uint16_t port) {
    EXPECT_EQ(d.outcome, outcome);
    EXPECT_EQ(d.note, note);
    EXPECT_EQ(d.port, port);
}

TEST_F(DetectTest, BoxTextIsFramedToItsWidth) {
    EXPECT_EQ(notFoundAt("278"), "\n"
                                 "+----------------------------------+\n"
                                 "| Info:                            |\n"
                                 "| Vantrel not found at LPT (0x278) |\n"
                                 "| press Enter...                   |\n"
                                 "+----------------------------------+\n");
    start(LPT_378);
}

// ---- A given port ---------------------------------------------------------------------

TEST_F(DetectTest, GivenPortWithTheBoardPassesSilently) {
    for (uint16_t port : {LPT_278, LPT_378, LPT_3BC}) {
        SCOPED_TRACE(port);
        start(port, port);
        vtest::ConsoleCapture con;
        Detection d;
        EXPECT_EQ(vantrel_select(0, &d), 1u);
        expectDetection(d, TPORT_FOUND, TNOTE_NONE, port);
        EXPECT_EQ(con.screen(), "");
        EXPECT_EQ(Base, port);
        EXPECT_EQ(iopermPorts(), Ports{port});
        EXPECT_EQ(portsTouched(), Ports{port});
        EXPECT_EQ(vsim::board().data_register(), 0x00); // 0x80 shifted out by the last read
    }
}

TEST_F(DetectTest, WalkingBitTestShiftsEachSingleBitAndReadsItBack) {
    start(LPT_378);
    vtest::ConsoleCapture con;
    ASSERT_EQ(vantrel_select(0, nullptr), 1u);
    const std::vector<wire::Transfer> t = wire::transfers_of(wire::trace());
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0].bit_list, walkingBits(8));
    EXPECT_EQ(t[0].loads, 0u);
}

TEST_F(DetectTest, GivenPortWithoutTheBoardAsksForItsBoxAndKeepsIt) {
    struct Case {
        uint16_t board, base;
        const char* text;
    };
    const Case cases[] = {
        {0, LPT_378, "378"}, {LPT_278, LPT_3BC, "3BC"}, {LPT_378, LPT_278, "278"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        start(c.board, c.base);
        vtest::ConsoleCapture con("\n");
        Detection d;
        EXPECT_EQ(vantrel_select(0, &d), 0u);
        expectDetection(d, TPORT_NOT_FOUND, TNOTE_NOT_AT, c.base);
        EXPECT_EQ(con.screen(), ""); // the box is the front end's
        EXPECT_EQ(con.unreadInput(), "\n");
        EXPECT_EQ(Base, c.base);
        EXPECT_EQ(portsTouched(), Ports{c.base}); // no scan as a fallback
        // Floating status inputs read as 1: the very first test byte fails.
        EXPECT_EQ(wire::transfers_of(wire::trace())[0].bit_list, walkingBits(1));
    }
}

TEST_F(DetectTest, StuckReadBackLineFailsBothTests) {
    for (vsim::LineFault f : {vsim::LineFault::stuck_at_0, vsim::LineFault::stuck_at_1}) {
        SCOPED_TRACE(int(f));
        start(LPT_378);
        vsim::board().set_readback_fault(f);
        Detection d;
        EXPECT_EQ(vantrel_select(0, &d), 0u);
        expectDetection(d, TPORT_NOT_FOUND, TNOTE_NOT_AT, LPT_378);
        start(LPT_378);
        vsim::board().set_readback_fault(f);
        EXPECT_EQ(vantrel_select(1, &d), 0u);
        expectDetection(d, TPORT_NOT_FOUND, TNOTE_NOWHERE, LPT_378);
        EXPECT_EQ(Base, LPT_378);
    }
}

// ---- The automatic scan ---------------------------------------------------------------

TEST_F(DetectTest, ScanTriesTheCycleFromTheCurrentPortAndReportsANewPort) {
    struct Case {
        uint16_t start, board;
        Ports tried;
    };
    const Case cases[] = {
        {LPT_378, LPT_278, {LPT_378, LPT_3BC, LPT_278}},
        {LPT_378, LPT_3BC, {LPT_378, LPT_3BC}},
        {LPT_3BC, LPT_378, {LPT_3BC, LPT_278, LPT_378}},
        {LPT_278, LPT_378, {LPT_278, LPT_378}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.start << " -> " << c.board);
        start(c.board, c.start);
        Detection d;
        EXPECT_EQ(vantrel_select(1, &d), 1u);
        EXPECT_EQ(Base, c.board);
        expectDetection(d, TPORT_FOUND, TNOTE_FOUND_AT, c.board);
        EXPECT_EQ(portsTouched(), c.tried);
        EXPECT_EQ(iopermPorts(), c.tried);
    }
}

TEST_F(DetectTest, ScanFindingTheBoardOnTheStartingPortSaysNothing) {
    for (uint16_t port : {LPT_278, LPT_378, LPT_3BC}) {
        SCOPED_TRACE(port);
        start(port, port);
        vtest::ConsoleCapture con;
        Detection d;
        EXPECT_EQ(vantrel_select(1, &d), 1u);
        expectDetection(d, TPORT_FOUND, TNOTE_NONE, port);
        EXPECT_EQ(con.screen(), "");
        EXPECT_EQ(Base, port);
        EXPECT_EQ(portsTouched(), Ports{port});
        // The loopback byte, then the eight walking bits.
        std::vector<uint8_t> bits = {0, 1, 0, 1, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0};
        const std::vector<uint8_t> walk = walkingBits(8);
        bits.insert(bits.end(), walk.begin(), walk.end());
        EXPECT_EQ(wire::transfers_of(wire::trace())[0].bit_list, bits);
    }
}

TEST_F(DetectTest, ScanWithoutABoardGoesRoundOnceAndReturnsToTheStartingPort) {
    start(0, LPT_378);
    Detection d;
    EXPECT_EQ(vantrel_select(1, &d), 0u);
    EXPECT_EQ(Base, LPT_378);
    expectDetection(d, TPORT_NOT_FOUND, TNOTE_NOWHERE, LPT_378);
    const Ports cycle = {LPT_378, LPT_3BC, LPT_278, LPT_378};
    EXPECT_EQ(portsTouched(), cycle);
    EXPECT_EQ(iopermPorts(), cycle);
    // Three loopback bytes and the first walking bit, all of them read back wrong.
    std::vector<uint8_t> bits;
    for (int i = 0; i < 3; i++) {
        const std::vector<uint8_t> lb = {0, 1, 0, 1, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0};
        bits.insert(bits.end(), lb.begin(), lb.end());
    }
    const std::vector<uint8_t> walk = walkingBits(1);
    bits.insert(bits.end(), walk.begin(), walk.end());
    std::vector<uint8_t> seen;
    for (const wire::Transfer& t : wire::transfers_of(wire::trace()))
        seen.insert(seen.end(), t.bit_list.begin(), t.bit_list.end());
    EXPECT_EQ(seen, bits);
}

// A port the scan cannot open is a port without the board: never touched, the scan moves on.
// A failed scan goes back to the port it started on only if it could open it, else to the
// first port it did open: the menu's commands never go to a port without the grant. With
// none opened there is no port at all.
TEST_F(DetectTest, ScanPassesOverPortsItCannotOpenAndEndsOnAPortItHolds) {
    struct Case {
        Ports refused;
        uint16_t board;
        int outcome, note;
        uint16_t baseEnd;
        Ports touched;
    };
    const Case cases[] = {
        {{LPT_378}, LPT_3BC, TPORT_FOUND, TNOTE_FOUND_AT, LPT_3BC, {LPT_3BC}},
        {{LPT_378, LPT_3BC}, LPT_278, TPORT_FOUND, TNOTE_FOUND_AT, LPT_278, {LPT_278}},
        {{LPT_3BC}, 0, TPORT_NOT_FOUND, TNOTE_NOWHERE, LPT_378, {LPT_378, LPT_278, LPT_378}},
        // The board on the one port that stays closed is not found.
        {{LPT_378}, LPT_378, TPORT_NOT_FOUND, TNOTE_NOWHERE, LPT_3BC, {LPT_3BC, LPT_278}},
        {{LPT_378, LPT_3BC}, 0, TPORT_NOT_FOUND, TNOTE_NOWHERE, LPT_278, {LPT_278}},
        {{LPT_378, LPT_278}, 0, TPORT_NOT_FOUND, TNOTE_NOWHERE, LPT_3BC, {LPT_3BC}},
        {{LPT_378, LPT_3BC, LPT_278}, LPT_378, TPORT_NO_ACCESS, TNOTE_NONE, LPT_378, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "board " << c.board << ", refused " << c.refused.size()
                                        << " from " << c.refused[0]);
        start(c.board, LPT_378);
        for (uint16_t p : c.refused)
            vsim::board().refuse_ioperm_from(p);
        vtest::ConsoleCapture con("\n");
        Detection d;
        EXPECT_EQ(vantrel_select(1, &d), c.outcome == TPORT_FOUND ? 1u : 0u);
        expectDetection(d, c.outcome, c.note, c.baseEnd);
        EXPECT_EQ(Base, c.baseEnd);
        EXPECT_EQ(con.screen(), "");
        EXPECT_EQ(portsTouched(), c.touched);
        for (uint16_t p : c.refused)
            EXPECT_FALSE(vsim::board().granted(p));
        EXPECT_EQ(portHeld(), c.outcome == TPORT_NO_ACCESS ? 0u : 1u);
    }
}

// ---- A port given on the command line ----------------------------------------------------

TEST_F(DetectTest, NamedPortOpensAnyBaseAndIsTestedAsAGivenPort) {
    struct Case {
        const char* port;
        uint16_t board;
        bool refused;
        int result;
        uint16_t baseEnd;
        std::string boxes;
    };
    const Case cases[] = {
        {"0xD010", 0xD010, false, TPORT_FOUND, 0xD010, ""},
        {"0x378", LPT_378, false, TPORT_FOUND, LPT_378, ""},
        {"0Xe010", 0xE010, false, TPORT_FOUND, 0xE010, ""},
        {"0xD010", LPT_378, false, TPORT_NOT_FOUND, 0xD010, notFoundAt("D010")},
        {"0xFFFD", 0, false, TPORT_NOT_FOUND, 0xFFFD, notFoundAt("FFFD")},
        {"0xD010", 0xD010, true, TPORT_NO_ACCESS, 0xD010, ""},
        {"0xFFFE", 0xD010, false, TPORT_BAD_NAME, LPT_378, ""},
        {"378", LPT_378, false, TPORT_BAD_NAME, LPT_378, ""},
        {"", LPT_378, false, TPORT_BAD_NAME, LPT_378, ""},
        {"/dev/parport0", LPT_378, false, TPORT_NO_ACCESS, LPT_378, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.port);
        start(c.board, LPT_378);
        vsim::board().set_ioperm_refused(c.refused);
        vtest::ConsoleCapture con("\n");
        EXPECT_EQ(openNamedPort(c.port), c.result);
        EXPECT_EQ(Base, c.baseEnd);
        EXPECT_EQ(con.screen(), "");
        if (c.result == TPORT_NOT_FOUND) {
            start(c.board, LPT_378);
            vtest::ConsoleCapture given("\n");
            selectGivenPort(c.port);
            EXPECT_EQ(given.screen(), c.boxes);
        }
        if (c.result >= TPORT_NO_ACCESS)
            EXPECT_TRUE(wire::trace().empty());
        else
            EXPECT_EQ(portsTouched(), Ports{c.baseEnd});
    }
}

// ---- What the front ends make of an outcome ----------------------------------------------

// One table for both front ends: the menu shows boxes and the refusal on its screen and ends
// only when it has no port (2); a job says everything on standard error and ends with 3
// without a board or a port. A board that answered is put at rest first, in one IC4 transfer.
TEST_F(DetectTest, EachPortOutcomeHasOneTextAndStatusPerFrontEnd) {
    const std::string rootLines =
        "ioperm(-1) --> you need root-access\nwithout root: load ppdev (modprobe ppdev) and add "
        "your user to group lp for the port's /dev/parportN\n";
    struct Case {
        const char* what;
        bool job;
        PORT_OPEN outcome;
        DETECT_NOTE note;
        uint16_t port;
        const char* name;
        std::string screen, err;
        int status;
    };
    const Case cases[] = {
        {"menu found", false, TPORT_FOUND, TNOTE_NONE, LPT_378, nullptr, "", "", -1},
        {"menu found elsewhere", false, TPORT_FOUND, TNOTE_FOUND_AT, LPT_378, nullptr,
         foundAt("378"), "", -1},
        {"menu not at", false, TPORT_NOT_FOUND, TNOTE_NOT_AT, 0xD010, "0xD010", notFoundAt("D010"),
         "", -1},
        {"menu nowhere", false, TPORT_NOT_FOUND, TNOTE_NOWHERE, LPT_278, nullptr,
         box("Info:", kNotFoundAnywhere), "", -1},
        {"menu refused", false, TPORT_NO_ACCESS, TNOTE_NONE, LPT_378, nullptr, rootLines, "", 2},
        {"menu bad name", false, TPORT_BAD_NAME, TNOTE_NONE, LPT_378, "378",
         "--port '378': no base address (0x378) nor device (/dev/parport0)\n", "", 2},
        {"job found", true, TPORT_FOUND, TNOTE_NONE, LPT_378, "0x378", "", "", -1},
        {"job no board", true, TPORT_NOT_FOUND, TNOTE_NOT_AT, LPT_378, "0x378", "",
         "vantrel: no Vantrel II answers on the port 0x378\n", 3},
        {"job refused", true, TPORT_NO_ACCESS, TNOTE_NONE, LPT_378, "0x378", "",
         rootLines + "vantrel: no access to the port 0x378\n", 3},
        {"job bad name", true, TPORT_BAD_NAME, TNOTE_NONE, LPT_378, "0x37", "",
         "vantrel: --port '0x37': no base address (0x378) nor device (/dev/parport0)\n", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        start(LPT_378, LPT_378);
        vsim::board().set_ioperm_refused(c.outcome == TPORT_NO_ACCESS);
        ASSERT_EQ(openPort(LPT_378), c.outcome == TPORT_NO_ACCESS ? 0u : 1u);
        vtest::ConsoleCapture con("\n");
        const FrontEnd fe = c.job ? JobFrontEnd("vantrel") : MenuFrontEnd;
        const Detection d = {c.outcome, c.note, c.port};
        testing::internal::CaptureStderr();
        const int status = startOnPort(&fe, &d, c.name);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(con.screen(), c.screen);
        EXPECT_EQ(err, c.err);
        const vsim::Board& b = vsim::board();
        EXPECT_EQ(b.latches(vsim::Reg::ic4), c.outcome == TPORT_FOUND ? 1u : 0u);
        EXPECT_EQ(b.ic4(), c.outcome == TPORT_FOUND ? kRestIC4 : 0);
        EXPECT_TRUE(b.violations().empty()) << b.violations().joined();
        vsim::board().set_ioperm_refused(false);
    }
}

// --port: a board that answers is put at rest; one that does not is left alone.
TEST_F(DetectTest, GivenPortAtStartUpRestsTheBoardItFinds) {
    for (uint16_t board : {(uint16_t)0xD010, (uint16_t)LPT_378}) {
        SCOPED_TRACE(board);
        start(board, LPT_378);
        vtest::ConsoleCapture con("\n");
        selectGivenPort("0xD010");
        rested_ = board == 0xD010;
        EXPECT_EQ(Base, 0xD010);
        EXPECT_EQ(con.screen(), rested_ ? "" : notFoundAt("D010"));
        EXPECT_EQ(vsim::board().latches(vsim::Reg::ic4), rested_ ? 1u : 0u);
        EXPECT_EQ(vsim::board().ic4(), rested_ ? kRestIC4 : 0);
    }
}

// ---- A board that changes its mind during the tests ----------------------------------

// Sets the read-back line to `fault` just before the `n`-th write of `line` to the port
// the board hangs on. With line 0x1D (the clock falling on a 1 bit of the data register)
// the count is the number of 1 bits shifted in so far: 4 for the loopback byte 0x55, one
// for each walking bit.
struct ReadBackChange {
    uint8_t line;
    unsigned n;
    vsim::LineFault fault;
    unsigned seen = 0;

    static void hook(void* self, const vsim::PortAccess& a) {
        ReadBackChange& c = *static_cast<ReadBackChange*>(self);
        vsim::Board& b = vsim::board();
        if (a.kind == vsim::PortAccess::write && a.port == b.base() && a.value == c.line &&
            ++c.seen == c.n)
            b.set_readback_fault(c.fault);
    }
    void install() { vsim::board().set_access_hook(&ReadBackChange::hook, this); }
};

TEST_F(DetectTest, ScanWhoseWalkingBitsFailAfterALoopbackPassedSaysNothing) {
    for (uint16_t board : {LPT_3BC, LPT_278, LPT_378}) {
        SCOPED_TRACE(board);
        start(board, LPT_378);
        ReadBackChange change{0x1D, 5, vsim::LineFault::stuck_at_0};
        change.install();
        vtest::ConsoleCapture con;
        Detection d;
        EXPECT_EQ(vantrel_select(1, &d), 0u);
        expectDetection(d, TPORT_NOT_FOUND, TNOTE_NONE, LPT_378);
        EXPECT_EQ(con.screen(), "");
        EXPECT_EQ(Base, LPT_378); // back where the scan started, without a new request
        EXPECT_EQ(iopermPorts().back(), board);
        vsim::board().set_access_hook(nullptr, nullptr);
    }
}

TEST_F(DetectTest, OnlyTheLastWalkingBitFailing) {
    start(LPT_378, LPT_378);
    ReadBackChange change{0x1D, 8, vsim::LineFault::stuck_at_0};
    change.install();
    Detection d;
    EXPECT_EQ(vantrel_select(0, &d), 0u);
    expectDetection(d, TPORT_NOT_FOUND, TNOTE_NOT_AT, LPT_378);
    start(LPT_3BC, LPT_3BC);
    ReadBackChange scanChange{0x1D, 4 + 8, vsim::LineFault::stuck_at_0};
    scanChange.install();
    EXPECT_EQ(vantrel_select(1, &d), 0u);
    expectDetection(d, TPORT_NOT_FOUND, TNOTE_NONE, LPT_3BC);
    EXPECT_EQ(Base, LPT_3BC);
    vsim::board().set_access_hook(nullptr, nullptr);
}

TEST_F(DetectTest, ScanWhoseLoopbacksAllFailButWalkingBitsPassFindsTheStartingPort) {
    start(LPT_378, LPT_378);
    vsim::board().set_readback_fault(vsim::LineFault::stuck_at_1);
    // The line recovers as the first walking bit goes in, after the round of three ports.
    ReadBackChange change{0x1D, 5, vsim::LineFault::none};
    change.install();
    Detection d;
    EXPECT_EQ(vantrel_select(1, &d), 1u);
    expectDetection(d, TPORT_FOUND, TNOTE_NONE, LPT_378);
    EXPECT_EQ(Base, LPT_378);
    EXPECT_EQ(portsTouched(), (Ports{LPT_378, LPT_3BC, LPT_278, LPT_378}));
    vsim::board().set_access_hook(nullptr, nullptr);
}

// ---- The port dialogue ----------------------------------------------------------------

struct Dialogue {
    const char* name;
    const char* input;
    uint16_t board;     // port of the board, 0: none
    uint16_t baseStart; // Base before the dialogue
    uint16_t baseEnd;   // Base after it
    std::string boxes;  // what follows the prompt on the screen
    Ports tried;        // ports touched, in order
    const char* left;   // input left unread
};

void PrintTo(const Dialogue& d, std::ostream* os) {
    *os << d.name;
}

class DialogueTest : public DetectTest, public ::testing::WithParamInterface<Dialogue> {};

// A board that answered is put at rest as soon as it is found, before any box: the board
// powers up with IC4 at 0, the chip selected at 6.25 V.
TEST_P(DialogueTest, ShowsThePromptThenTestsTheChosenPort) {
    const Dialogue& d = GetParam();
    start(d.board, d.baseStart);
    vtest::ConsoleCapture con(d.input);
    selectVantrel();
    rested_ = d.board == d.baseEnd;
    EXPECT_EQ(con.screen(), kPrompt + d.boxes);
    EXPECT_EQ(Base, d.baseEnd);
    EXPECT_EQ(portsTouched(), d.tried);
    EXPECT_EQ(con.unreadInput(), d.left);
}

const uint16_t P278 = LPT_278, P378 = LPT_378, P3BC = LPT_3BC;

INSTANTIATE_TEST_SUITE_P(
    Answers, DialogueTest,
    ::testing::Values(
        Dialogue{"Port0WithBoard", "0\n", P278, P378, P278, "", {P278}, ""},
        Dialogue{"Port1WithBoard", "1\n", P378, P378, P378, "", {P378}, ""},
        Dialogue{"Port2WithBoard", "2\n", P3BC, P378, P3BC, "", {P3BC}, ""},
        Dialogue{"Port0BoardElsewhere", "0\n\n", P378, P378, P278, notFoundAt("278"), {P278}, ""},
        Dialogue{"Port1BoardElsewhere", "1\n\n", P3BC, P278, P378, notFoundAt("378"), {P378}, ""},
        Dialogue{"Port2BoardElsewhere", "2\n\n", P378, P378, P3BC, notFoundAt("3BC"), {P3BC}, ""},
        Dialogue{"ScanFinds278", "3\n\n", P278, P378, P278, foundAt("278"), {P378, P3BC, P278}, ""},
        Dialogue{"ScanOnStartPort", "3\n", P378, P378, P378, "", {P378}, ""},
        Dialogue{"ScanNoBoard",
                 "3\n\n",
                 0,
                 P378,
                 P378,
                 box("Info:", kNotFoundAnywhere),
                 {P378, P3BC, P278, P378},
                 ""},
        Dialogue{"Code5KeepsPort", "5\n", P378, P378, P378, "", {P378}, ""},
        Dialogue{
            "Code5KeepsPortWithoutBoard", "5\n\n", P378, P3BC, P3BC, notFoundAt("3BC"), {P3BC}, ""},
        Dialogue{"Code257IsCode1", "257\n", P378, P278, P378, "", {P378}, ""},
        Dialogue{"Code259IsNoScan", "259\n\n", P378, P278, P278, notFoundAt("278"), {P278}, ""},
        Dialogue{"NotANumberKeepsPort", "abc\n", P278, P278, P278, "", {P278}, ""},
        Dialogue{
            "NotANumberWithoutBoard", "abc\n\nx", 0, P3BC, P3BC, notFoundAt("3BC"), {P3BC}, "x"},
        Dialogue{"OnlyOneLineIsRead", "1\n2\n", P378, P378, P378, "", {P378}, "2\n"},
        Dialogue{"EndOfInput", "", P3BC, P3BC, P3BC, "", {P3BC}, ""},
        Dialogue{"EndOfInputWithoutBoard", "", 0, P278, P278, notFoundAt("278"), {P278}, ""},
        Dialogue{"NegativeNumberKeepsPort", "-1\n", P3BC, P3BC, P3BC, "", {P3BC}, ""},
        Dialogue{"BlankLineKeepsPort", "\n", P278, P278, P278, "", {P278}, ""}),
    [](const ::testing::TestParamInfo<Dialogue>& i) { return std::string(i.param.name); });

TEST_F(DetectTest, EndOfInputDoesNotBlockTheBox) {
    start(0, LPT_378);
    vtest::ConsoleCapture con("");
    selectVantrel();
    EXPECT_EQ(InputClosed, 1);
    EXPECT_EQ(con.screen(), std::string(kPrompt) + notFoundAt("378"));
}

} // namespace
