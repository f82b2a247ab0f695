// The chip is safe whenever a run waits for the operator, is stopped or is paused. A stop
// signal in the middle of a chip run: the transfer under way ends, nothing more but the run's
// clean-up (one IC4 transfer to rest) reaches the board, no box waits, and the chip is left
// idle with the programming voltage off and the chosen supply back (real signals through the
// program's own handlers, raised from the board's access hook at points spread over each
// run). Ctrl-Z at the same points: the run pauses with the chip at rest and then ends exactly
// as an uninterrupted run. And every result box waits with the clean-up already sent.
#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "console/chipruns.h"
#include "console/conio.h"
#include "eprom/ic_func.h"
#include "eprom/misc.h"
#include "link/hw.h"
#include "tests/support/runs.h"
#include "tests/support/wire.h"

namespace {

enum class Run { write, read, verify, blank };
using RunKind = Run; // inside a TEST, Run names the test's own member

struct Case {
    Run run;
    IC type;
};

// The board's state at one moment: the socket's address lines, IC4 (as latched, or as about
// to be latched), IC5.
using BoardState = std::tuple<uint32_t, uint8_t, uint8_t>;

// Raises `first` at access number `at`, and `second` a few accesses into what follows (or,
// with `second_after_pause`, a few accesses after the run resumed from its first pause).
// Records the board's state at every load of the chip's byte and at every IC4 transfer that
// switches the programming voltage on: a run resumed after a pause must do those in the
// states an uninterrupted run does them in.
struct Trigger {
    uint64_t count = 0, at = 0, paused_at = 0;
    int first = SIGINT, second = 0;
    bool second_after_pause = false;
    std::vector<BoardState> loads, vpp_on;
    static void hook(void* self, const vsim::PortAccess& a) {
        Trigger& t = *static_cast<Trigger*>(self);
        ++t.count;
        if (t.count == t.at)
            raise(t.first);
        const uint64_t second_at = t.second_after_pause ? t.paused_at + 60 : t.at + 40;
        if (t.second && (!t.second_after_pause || t.paused_at) && t.count == second_at)
            raise(t.second); // a stop: ignored, the first signal wins and the clean-up goes on
        if (a.kind != vsim::PortAccess::write)
            return;
        const vsim::Board& b = vsim::board();
        if (a.value == 0x0C) // the load pulse falls
            t.loads.emplace_back(b.address_lines(), b.ic4(), b.ic5());
        const uint8_t ic4 = (uint8_t)b.shift_register(vsim::Reg::ic4);
        if (a.value == 0x0A && (ic4 & IC4Q1_VPP)) // an IC4 latch that switches VPP on
            t.vpp_on.emplace_back(b.address_lines(), ic4, b.ic5());
    }
};

// What the test's stand-in for the stopped process saw at each pause: the signal, IC4, and
// whether the chip was at rest (idle, output enable inactive, the chosen 5 V) with the bus
// quiet after a whole IC4 transfer.
struct PauseSeen {
    int sig;
    uint8_t ic4;
    bool at_rest;
};
std::vector<PauseSeen> pauses_seen;
Trigger* pausing = nullptr; // the trigger of the run under test
int stop_while_paused = 0;  // a signal "sent" while the process is stopped

void pause_instead_of_stopping(int sig) {
    const vsim::Board& b = vsim::board();
    const std::vector<wire::Transfer> all = wire::transfers_of(b.trace());
    const bool quiet = !all.empty() && all.back().select == SR_IC4 && all.back().latched &&
                       all.back().bits == 8 && b.trace().back().value == 0x0A;
    const uint8_t rest = IC4Q4_OE_HIGH | IC4Q5_VCC_5V;
    pauses_seen.push_back({sig, b.ic4(), quiet && b.is_idle() && (b.ic4() & rest) == rest});
    if (pausing && !pausing->paused_at)
        pausing->paused_at = pausing->count;
    if (stop_while_paused)
        raise(stop_while_paused);
}

class RunStop : public ::testing::TestWithParam<Case> {
  protected:
    void SetUp() override {
        wire::reset_all(); // the console on a stream of its own before the signals are caught
        conInit(1);
    }
    void TearDown() override {
        vtest::SavedSettings::startValues(); // no stop or pause request left for the next test
        for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGXCPU,
                              SIGVTALRM, SIGPROF, SIGPWR, SIGTSTP, SIGTTIN, SIGTTOU})
            signal(sig, SIG_DFL);
        signal(SIGPIPE, SIG_DFL);
        signal(SIGXFSZ, SIG_DFL);
        conSetPauseHook(nullptr);
        pausing = nullptr;
        vsim::board().set_access_hook(nullptr, nullptr);
    }
    // The run of the case over the first 64 bytes; the supply chosen is 5 V, so the 6.25 V
    // that a burn works at must be undone by its clean-up.
    unsigned do_run(const Case& c, std::vector<uint8_t>& work) {
        switch (c.run) {
        case Run::write:
            return WriteIC(work.data(), 0x3F);
        case Run::read:
            return (unsigned)ReadIC(work.data(), 0x3F);
        case Run::verify:
            return CompareIC(work.data(), 0x3F, 0);
        case Run::blank:
            return CompareIC(work.data(), 0x3F, 1);
        }
        return 0;
    }
};

// The transfers of the trace that began after access number `at`.
std::vector<wire::Transfer> transfers_after(uint64_t at) {
    const auto& trace = vsim::board().trace();
    std::vector<uint64_t> write_at; // access number of each write
    for (size_t i = 0; i < trace.size(); ++i)
        if (trace[i].kind == vsim::PortAccess::write)
            write_at.push_back(i + 1);
    std::vector<wire::Transfer> after;
    size_t write_index = 0;
    for (const wire::Transfer& tr : wire::transfers_of(trace)) {
        if (write_at[write_index] > at)
            after.push_back(tr);
        write_index += tr.steps.size();
    }
    return after;
}

TEST_P(RunStop, HaltsBetweenTransfersAndSendsOnlyTheCleanUp) {
    const Case c = GetParam();
    const std::vector<uint8_t> image = runs::make_image(64, c.type);
    // Stop points spread over the run, from inside its first transfer to its last one.
    uint64_t total = 0;
    for (int pass = 0; pass < 24; ++pass) {
        wire::reset_all();
        set_delay(1);
        vsim::EpromChip& chip = vsim::board().insert_chip(modelType(c.type));
        if (c.run == Run::verify)
            chip.load(image);
        SetICType(c.type);
        SetVpp(chip.vpp_rating());
        SetVcc(0);
        DisableEprom();
        std::vector<uint8_t> work(BUFFER_SIZE, 0xFF);
        std::copy(image.begin(), image.end(), work.begin());
        if (c.run == Run::read)
            chip.load(std::vector<uint8_t>(64, 0x5A)); // neither the buffer's bytes nor 0

        Trigger t;
        // Pass 0 measures the run's length; the others stop it at 1/24 .. 23/24 of it, off
        // the transfer boundaries by an odd amount.
        t.at = pass == 0 ? 0 : total * (uint64_t)pass / 24 + 7;
        t.second = pass % 2 ? SIGTERM : 0;
        vsim::board().set_access_hook(&Trigger::hook, &t);
        wire::start_recording();
        vtest::ConsoleCapture con("\n\n\n");
        const unsigned result = do_run(c, work);
        vsim::board().set_access_hook(nullptr, nullptr);
        if (pass == 0) {
            total = t.count;
            ASSERT_GT(total, 1000u);
            continue;
        }
        SCOPED_TRACE("stop at access " + std::to_string(t.at) + " of " + std::to_string(total));
        EXPECT_EQ(StopRequest, SIGINT);
        EXPECT_EQ(result, 0u);
        EXPECT_TRUE(vtest::boxesOn(con.screen()).empty()) << con.screen();
        EXPECT_TRUE(runs::board_clean_and_idle());
        EXPECT_TRUE(vsim::board().ic4() & IC4Q5_VCC_5V) << "the chosen 5 V is back";
        EXPECT_TRUE(vsim::board().ic4() & IC4Q4_OE_HIGH);

        // Every transfer is whole; the ones that began after the stop are the clean-up's
        // IC4 transfers and nothing else.
        const auto& trace = vsim::board().trace();
        const std::vector<wire::Transfer> all = wire::transfers_of(trace);
        for (const wire::Transfer& tr : all) {
            const unsigned width = tr.select == SR_ADDRESS ? 16u : 8u;
            EXPECT_TRUE(tr.select == SR_DATA || (tr.latched && tr.bits == width));
        }
        const std::vector<wire::Transfer> after = transfers_after(t.at);
        ASSERT_EQ(after.size(), 1u);
        EXPECT_EQ(after[0].select, SR_IC4) << "one IC4 transfer to rest";

        // What was burnt is burnt: each cell holds its image byte or is still erased, and the
        // burnt cells come first.
        if (c.run == Run::write) {
            const std::vector<uint8_t> now = chip.contents();
            size_t k = 0;
            while (k < 64 && now[k] == image[k])
                ++k;
            for (size_t i = k; i < 64; ++i)
                EXPECT_EQ(now[i], 0xFF) << "cell " << i;
        }
        // What was read is stored, and nothing else: the bytes read come first, the buffer
        // is untouched after them.
        if (c.run == Run::read) {
            size_t k = 0;
            while (k < 64 && work[k] == 0x5A)
                ++k;
            for (size_t i = k; i < 64; ++i)
                EXPECT_EQ(work[i], image[i]) << "cell " << i;
        }
        StopRequest = 0;
    }
}

TEST_P(RunStop, PausesBetweenTransfersWithTheChipAtRestAndEndsAsIfUninterrupted) {
    const Case c = GetParam();
    const std::vector<uint8_t> image = runs::make_image(64, c.type);
    conSetPauseHook(pause_instead_of_stopping);
    struct Outcome {
        unsigned result;
        std::string screen;
        std::vector<uint8_t> chip, work;
    } want;
    std::set<BoardState> want_loads, want_vpp_on;
    uint64_t total = 0;
    for (int pass = 0; pass < 24; ++pass) {
        wire::reset_all();
        set_delay(1);
        vsim::EpromChip& chip = vsim::board().insert_chip(modelType(c.type));
        if (c.run == Run::read || c.run == Run::verify)
            chip.load(image);
        SetICType(c.type);
        SetVpp(chip.vpp_rating());
        SetVcc(0);
        DisableEprom();
        std::vector<uint8_t> work(BUFFER_SIZE, 0xFF);
        for (size_t i = 0; i < 64; ++i)
            work[i] = c.run == Run::read ? (uint8_t)(image[i] ^ 0x5A) : image[i];

        // Pass 0 is the uninterrupted run; the others pause it at 1/24 .. 23/24 of it. Some
        // get a second Ctrl-Z while the chip is set up again, some a stop while paused.
        Trigger t;
        t.first = pass % 4 == 3 ? SIGTTOU : SIGTSTP; // SIGTTOU: a background job's output
        t.at = pass == 0 ? 0 : total * (uint64_t)pass / 24 + 7;
        t.second = pass % 3 == 1 ? SIGTSTP : 0;
        t.second_after_pause = true;
        stop_while_paused = pass % 6 == 5 ? SIGTERM : 0;
        pausing = &t;
        pauses_seen.clear();
        vsim::board().set_access_hook(&Trigger::hook, &t);
        wire::start_recording();
        vtest::ConsoleCapture con("\n\n\n");
        const unsigned result = do_run(c, work);
        vsim::board().set_access_hook(nullptr, nullptr);
        const Outcome got{result, con.screen(), chip.contents(),
                          std::vector<uint8_t>(work.begin(), work.begin() + 64)};
        if (pass == 0) {
            ASSERT_TRUE(pauses_seen.empty());
            want = got;
            total = t.count;
            want_loads.insert(t.loads.begin(), t.loads.end());
            want_vpp_on.insert(t.vpp_on.begin(), t.vpp_on.end());
            ASSERT_EQ(vtest::boxesOn(want.screen).size(), 1u) << want.screen;
            continue;
        }
        SCOPED_TRACE(std::string(t.first == SIGTSTP ? "Ctrl-Z" : "SIGTTOU") + " at access " +
                     std::to_string(t.at) + " of " + std::to_string(total) +
                     (t.second ? ", again after the pause" : "") +
                     (stop_while_paused ? ", SIGTERM while paused" : ""));
        ASSERT_FALSE(pauses_seen.empty());
        EXPECT_EQ(pauses_seen.size(), t.second ? 2u : 1u);
        EXPECT_EQ(pauses_seen[0].sig, t.first);
        struct sigaction now;
        sigaction(t.first, nullptr, &now);
        EXPECT_NE(now.sa_handler, SIG_IGN) << "the pause puts the handler back";
        for (const PauseSeen& p : pauses_seen)
            EXPECT_TRUE(p.at_rest) << "IC4 " << unsigned(p.ic4);
        EXPECT_TRUE(runs::board_clean_and_idle());
        for (const wire::Transfer& tr : wire::transfers_of(vsim::board().trace())) {
            const unsigned width = tr.select == SR_ADDRESS ? 16u : 8u;
            EXPECT_TRUE(tr.select == SR_DATA || (tr.latched && tr.bits == width));
        }
        EXPECT_EQ(PauseRequest, 0);
        if (stop_while_paused) {
            // Stopped while paused: the run ends as a stop does, nothing more is sent.
            EXPECT_EQ(StopRequest, SIGTERM);
            EXPECT_EQ(result, 0u);
            EXPECT_TRUE(vtest::boxesOn(got.screen).empty()) << got.screen;
            EXPECT_TRUE(transfers_after(t.paused_at).empty());
            StopRequest = 0;
            continue;
        }
        EXPECT_EQ(StopRequest, 0);
        EXPECT_EQ(got.result, want.result);
        EXPECT_EQ(got.screen, want.screen);
        EXPECT_EQ(got.chip, want.chip);
        EXPECT_EQ(got.work, want.work);
        // The chip read and programmed in the very states of the uninterrupted run: the
        // supply, the chip state and the upper address lines are set up again as they were.
        for (const BoardState& st : t.loads)
            EXPECT_EQ(want_loads.count(st), 1u)
                << "load at " << std::get<0>(st) << " with IC4 " << unsigned(std::get<1>(st))
                << ", IC5 " << unsigned(std::get<2>(st));
        for (const BoardState& st : t.vpp_on)
            EXPECT_EQ(want_vpp_on.count(st), 1u)
                << "VPP on at " << std::get<0>(st) << " with IC4 " << unsigned(std::get<1>(st))
                << ", IC5 " << unsigned(std::get<2>(st));
    }
}

// A stop at every few accesses from the start of a run through its set-up and its first
// steps: no transfer after the stop selects the chip or switches the programming voltage on
// (the clean-up starts from what the board latched, not from changes that never went out),
// and a read stores only bytes it really read.
TEST(RunStopEarly, StopInTheSetUpOrInsideAReadNeverSelectsTheChipNorStoresUnreadBytes) {
    wire::reset_all(); // the console on a stream of its own before the signals are caught
    conInit(1);
    for (RunKind run : {RunKind::write, RunKind::verify, RunKind::blank, RunKind::read}) {
        for (uint64_t at = 1; at < 700; at += 3) {
            SCOPED_TRACE("run " + std::to_string((int)run) + ", stop at access " +
                         std::to_string(at));
            wire::reset_all();
            set_delay(1);
            // Runs that would go on to the end: a stop after their last step would reach the
            // result box, where it ends the program.
            vsim::EpromChip& chip = vsim::board().insert_chip(vsim::T27256);
            if (run == RunKind::read || run == RunKind::verify)
                chip.load(std::vector<uint8_t>(16, 0x5A));
            SetICType(T27256);
            SetVpp(chip.vpp_rating());
            SetVcc(0);
            DisableEprom();
            std::vector<uint8_t> work(BUFFER_SIZE, run == RunKind::verify ? 0x5A : 0x12);
            Trigger t;
            t.at = at;
            vsim::board().set_access_hook(&Trigger::hook, &t);
            wire::start_recording();
            vtest::ConsoleCapture con;
            if (run == RunKind::write)
                WriteIC(work.data(), 0xF);
            else if (run == RunKind::read)
                ReadIC(work.data(), 0xF);
            else
                CompareIC(work.data(), 0xF, run == RunKind::blank);
            vsim::board().set_access_hook(nullptr, nullptr);
            ASSERT_EQ(StopRequest, SIGINT);
            for (const wire::Transfer& tr : transfers_after(at)) {
                const uint8_t v = (uint8_t)tr.value;
                EXPECT_TRUE(tr.select == SR_IC4 && (v & IC4Q3_CE_HIGH) && (v & IC4Q4_OE_HIGH) &&
                            !(v & IC4Q1_VPP))
                    << "select " << unsigned(tr.select) << ", value " << unsigned(v);
            }
            EXPECT_TRUE(runs::board_clean_and_idle());
            if (run == RunKind::read) {
                size_t k = 0;
                while (k < 16 && work[k] == 0x5A)
                    ++k;
                for (size_t i = k; i < 16; ++i)
                    EXPECT_EQ(work[i], 0x12) << "cell " << i;
            }
            StopRequest = 0;
        }
    }
    for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGXCPU,
                          SIGVTALRM, SIGPROF, SIGPWR, SIGTSTP, SIGTTIN, SIGTTOU})
        signal(sig, SIG_DFL);
}

// The board's state each time the operator's console is read.
struct BoardAtRead {
    uint8_t ic4;
    bool idle;
    uint64_t ic4_latches; // IC4 transfers so far
};
std::vector<BoardAtRead> seen_at_read;

ssize_t record_board_and_answer(void*, char* buf, size_t size) {
    seen_at_read.push_back(
        {vsim::board().ic4(), vsim::board().is_idle(), vsim::board().latches(vsim::Reg::ic4)});
    if (size == 0)
        return 0;
    buf[0] = '\n';
    return 1;
}

TEST(RunBoxes, EveryResultBoxWaitsWithTheChipIdleAtTheChosenSupply) {
    enum {
        write_ok,
        write_stuck,
        write_timeout,
        write_unsupported, // a 2716: its "Info:" box and then its "Error:" box
        verify_ok,
        verify_bad,
        blank_ok,
        blank_bad,
        read_ok
    };
    for (int outcome = write_ok; outcome <= read_ok; ++outcome) {
        SCOPED_TRACE("outcome " + std::to_string(outcome));
        wire::reset_all();
        set_delay(1);
        const IC type = outcome == write_unsupported ? T2716 : T27256;
        vsim::EpromChip& chip = vsim::board().insert_chip(modelType(type));
        SetICType(type);
        SetVcc(0);
        DisableEprom();
        std::vector<uint8_t> work(BUFFER_SIZE, 0xFF);
        work[3] = 0x12;
        if (outcome == write_stuck)
            chip.set_stuck(3, 0xFF);
        if (outcome == write_timeout)
            vsim::board().set_monoflop_fault(vsim::LineFault::stuck_at_1);
        if (outcome == verify_ok || outcome == blank_bad)
            chip.set_byte(3, 0x12);

        cookie_io_functions_t io = {};
        io.read = record_board_and_answer;
        FILE* in = fopencookie(nullptr, "r", io);
        ASSERT_NE(in, nullptr);
        setvbuf(in, nullptr, _IONBF, 0);
        vtest::ConsoleCapture con;
        conIn = in;
        seen_at_read.clear();
        if (outcome <= write_unsupported)
            WriteIC(work.data(), 0xF);
        else if (outcome <= verify_bad)
            CompareIC(work.data(), 0xF, 0);
        else if (outcome <= blank_bad)
            CompareIC(work.data(), 0xF, 1);
        else
            ReadIC(work.data(), 0xF);
        conIn = wire::empty_input();
        fclose(in);

        const size_t boxes = outcome == write_unsupported ? 2u : 1u;
        ASSERT_EQ(vtest::boxesOn(con.screen()).size(), boxes) << con.screen();
        ASSERT_EQ(seen_at_read.size(), boxes);
        for (const BoardAtRead& b : seen_at_read) {
            EXPECT_EQ(b.ic4_latches, vsim::board().latches(vsim::Reg::ic4))
                << "an IC4 transfer after a box";
            EXPECT_TRUE(b.idle) << "IC4 " << unsigned(b.ic4);
            EXPECT_TRUE(b.ic4 & IC4Q4_OE_HIGH) << "IC4 " << unsigned(b.ic4);
            EXPECT_TRUE(b.ic4 & IC4Q5_VCC_5V) << "IC4 " << unsigned(b.ic4);
        }
    }
}

std::string case_name(const ::testing::TestParamInfo<Case>& info) {
    static const char* const names[] = {"write", "read", "verify", "blank"};
    return std::string(names[(int)info.param.run]) + "_" +
           vsim::chip_facts(modelType(info.param.type)).name;
}

INSTANTIATE_TEST_SUITE_P(Runs, RunStop,
                         ::testing::Values(Case{Run::write, T27512}, Case{Run::write, T2764},
                                           Case{Run::write, T27010}, Case{Run::read, T27256},
                                           Case{Run::read, T27010}, Case{Run::verify, T2732},
                                           Case{Run::verify, T27020}, Case{Run::blank, T27040}),
                         case_name);

} // namespace
