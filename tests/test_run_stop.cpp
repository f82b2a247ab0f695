// The chip is safe whenever a run waits for the operator or is stopped. A stop signal in the
// middle of a chip run: the transfer under way ends, nothing more but the run's own clean-up
// reaches the board, no box waits, and the chip is left idle with the programming voltage off
// and the chosen supply back (real signals through the program's own handlers, raised from
// the board's access hook at points spread over each run). And every result box waits with
// the clean-up already sent.
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "console/conio.h"
#include "eprom/ic_func.h"
#include "eprom/misc.h"
#include "link/hw.h"
#include "tests/run_util.h"
#include "tests/wire_util.h"

namespace {

enum class Run { write, read, verify, blank };

struct Case {
    Run run;
    IC type;
    unsigned expected_cleanup; // IC4 transfers of the clean-up after a stop
};

// Raises `sig` at access number `at`, and `second` a few accesses into what follows.
struct Trigger {
    uint64_t count = 0, at = 0, stop_seen_at = 0;
    int second = 0;
    static void hook(void* self, const vsim::PortAccess&) {
        Trigger& t = *static_cast<Trigger*>(self);
        ++t.count;
        if (t.count == t.at)
            raise(SIGINT);
        if (t.second && t.count == t.at + 40)
            raise(t.second); // ignored: the first signal wins and the clean-up goes on
    }
};

class RunStop : public ::testing::TestWithParam<Case> {
  protected:
    void SetUp() override { conInit(); }
    void TearDown() override {
        StopRequest = 0;
        HaltOnStop = 0;
        for (const int sig : {SIGINT, SIGTERM, SIGHUP})
            signal(sig, SIG_DFL);
        signal(SIGPIPE, SIG_DFL);
        signal(SIGXFSZ, SIG_DFL);
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

TEST_P(RunStop, HaltsBetweenTransfersAndSendsOnlyTheCleanUp) {
    const Case c = GetParam();
    const std::vector<uint8_t> image = runs::make_image(64, c.type);
    // Stop points spread over the run, from inside its first transfer to its last one.
    uint64_t total = 0;
    for (int pass = 0; pass < 24; ++pass) {
        wire::reset_all();
        set_delay(1);
        vsim::EpromChip& chip = vsim::board().insert_chip(c.type);
        if (c.run == Run::verify)
            chip.load(image);
        SetICType(c.type);
        SetVpp(chip.vpp_rating());
        SetVcc(0);
        DisableEprom();
        std::vector<uint8_t> work(BUFFER_SIZE, 0xFF);
        std::copy(image.begin(), image.end(), work.begin());

        Trigger t;
        // Pass 0 measures the run's length; the others stop it at 1/24 .. 23/24 of it, off
        // the transfer boundaries by an odd amount.
        t.at = pass == 0 ? 0 : total * (uint64_t)pass / 24 + 7;
        t.second = pass % 2 ? SIGTERM : 0;
        vsim::board().set_access_hook(&Trigger::hook, &t);
        wire::start_recording();
        wire::Console con("\n\n\n");
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
        EXPECT_TRUE(runs::boxes_in(con.output()).empty()) << con.output();
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
        std::vector<uint64_t> write_at; // access number of each write
        for (size_t i = 0; i < trace.size(); ++i)
            if (trace[i].kind == vsim::PortAccess::write)
                write_at.push_back(i + 1);
        unsigned ic4_after = 0, other_after = 0;
        size_t write_index = 0;
        for (const wire::Transfer& tr : all) {
            const uint64_t starts = write_at[write_index];
            write_index += tr.steps.size();
            if (starts > t.at)
                ++(tr.select == SR_IC4 ? ic4_after : other_after);
        }
        EXPECT_EQ(other_after, 0u);
        EXPECT_LE(ic4_after, c.expected_cleanup);
        EXPECT_GE(ic4_after, 1u);

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
        StopRequest = 0;
    }
}

// The board's state each time the operator's console is read.
struct BoardAtRead {
    uint8_t ic4;
    bool idle;
};
std::vector<BoardAtRead> seen_at_read;

ssize_t record_board_and_answer(void*, char* buf, size_t size) {
    seen_at_read.push_back({vsim::board().ic4(), vsim::board().is_idle()});
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
        vsim::EpromChip& chip = vsim::board().insert_chip(T27256);
        SetICType(T27256);
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
        wire::Console con;
        conIn = in;
        seen_at_read.clear();
        if (outcome <= write_timeout)
            WriteIC(work.data(), 0xF);
        else if (outcome <= verify_bad)
            CompareIC(work.data(), 0xF, 0);
        else if (outcome <= blank_bad)
            CompareIC(work.data(), 0xF, 1);
        else
            ReadIC(work.data(), 0xF);
        conIn = wire::empty_input();
        fclose(in);

        ASSERT_EQ(runs::boxes_in(con.output()).size(), 1u) << con.output();
        ASSERT_FALSE(seen_at_read.empty());
        for (const BoardAtRead& b : seen_at_read) {
            EXPECT_TRUE(b.idle) << "IC4 " << unsigned(b.ic4);
            EXPECT_TRUE(b.ic4 & IC4Q4_OE_HIGH) << "IC4 " << unsigned(b.ic4);
            EXPECT_TRUE(b.ic4 & IC4Q5_VCC_5V) << "IC4 " << unsigned(b.ic4);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, RunStop,
                         ::testing::Values(Case{Run::write, T27512, 3}, Case{Run::write, T2764, 3},
                                           Case{Run::write, T27010, 3}, Case{Run::read, T27256, 1},
                                           Case{Run::verify, T2732, 2},
                                           Case{Run::blank, T27040, 2}));

} // namespace
