// The bank walk by one-bit shifts, and the reading runs on it against the plain walk.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <set>
#include <tuple>
#include <vector>

#include "eprom/ic_func.h"
#include "tests/support/runs.h"
#include "tests/support/wire.h"

namespace {

TEST(QuickWalk, VisitsEveryAddressOfABankOnceEachByOneShiftFromTheOneBefore) {
    const uint16_t* walk = AdrWalk();
    std::vector<bool> seen(0x10000);
    for (unsigned long i = 0; i < 0x10000; ++i) {
        EXPECT_FALSE(seen[walk[i]]) << "address " << walk[i] << " again at step " << i;
        seen[walk[i]] = true;
        if (i > 0 && ((walk[i - 1] << 1) & 0xFFFF) != (walk[i] & 0xFFFE))
            ADD_FAILURE() << "step " << i << " is no one-bit shift";
    }
    EXPECT_EQ(walk[0], 0) << "a bank starts at its address 0";
    wire::reset_all();
    PutAdr(0xC001);
    wire::start_recording();
    PutAdrBit(1);
    EXPECT_EQ(wire::steps_of(wire::trace()).lines(), wire::latched_lines(SR_ADDRESS, 1, 1));
    EXPECT_EQ(vsim::board().address(), 0x8003);
}

// What a run did and what it cost; a pause (sig SIGTSTP) or a stop (SIGTERM) at access `at`.
struct Seen {
    uint64_t at = 0, ticks = 0;
    int sig = 0;
    std::vector<unsigned long> result, progress;
    std::vector<uint8_t> buffer;
    std::vector<std::tuple<uint32_t, uint8_t, uint8_t>> loads; // address lines, IC4, IC5
    std::set<std::pair<uint8_t, uint8_t>> levels; // CE, OE, VPP and A18 (PGM) at each latch
    std::vector<bool> rested;                     // the chip at rest at each pause
    static void progressed(void* self, unsigned long adresse, unsigned long) {
        static_cast<Seen*>(self)->progress.push_back(adresse);
    }
    static void paused(void* self, int) {
        const vsim::Board& b = vsim::board();
        static_cast<Seen*>(self)->rested.push_back(b.is_idle() && (b.ic4() & IC4Q4_OE_HIGH));
    }
    static void watch(void* self, const vsim::PortAccess& a) {
        Seen& s = *static_cast<Seen*>(self);
        const vsim::Board& b = vsim::board();
        if (++s.ticks == s.at)
            (s.sig == SIGTERM ? StopRequest : PauseRequest) = s.sig;
        if (a.kind == vsim::PortAccess::write && a.value == 0x0C)
            s.loads.emplace_back(b.address_lines(), b.ic4(), b.ic5());
        if (a.kind == vsim::PortAccess::write && (a.value & ~0x0C) == 0x02)
            s.levels.insert(
                {b.ic4() & (IC4Q1_VPP | IC4Q3_CE_HIGH | IC4Q4_OE_HIGH), b.ic5() & IC5Q2_A18});
    }
};

enum Job { READ, VERIFY_ALL, VERIFY_FIRST, BLANK_FIRST, JobMax };

// Port accesses at delay 1: PutAdr 85, PutIC4/PutIC5 45, PutAdrBit 10, GetData 62.
uint64_t cost(IC type, unsigned long end, unsigned long banks, bool compare) {
    uint64_t n = 85 + 45 + 45 + 45 + (compare ? 90 : 0);
    for (unsigned long a = 0; a <= end; ++a) {
        const bool shift = (a >> 16) < banks && (a & 0xFFFF) != 0;
        const bool ic5 = !shift && type >= T27010 && (a == 0 || a > 0xFFFF);
        n += 62 + (shift ? 10 : 85) + (ic5 ? 45 : 0);
    }
    return n;
}

// Cells that differ: hi, lo below it but read later (at step 0x240), and the range's last one.
const unsigned long hi = AdrWalk()[0x40], lo = hi - 0x20;

Seen run(IC type, unsigned long end, Job job, int addressing, uint64_t at = 0, int sig = 0) {
    wire::reset_all();
    set_delay(1);
    vsim::EpromChip& chip = vsim::board().insert_chip(modelType(type));
    SetICType(type);
    SetVcc(0);
    DisableEprom();
    const std::vector<uint8_t> image = runs::make_image(chip.size(), type);
    std::vector<uint8_t> work(BUFFER_SIZE, 0);
    for (unsigned long a = 0; a < chip.size(); ++a) // a read stores nothing by chance
        work[a] = job == READ ? (uint8_t)~image[a] : image[a];
    chip.load(job == BLANK_FIRST ? std::vector<uint8_t>() : image);
    for (unsigned long a : {lo, hi, end})
        (job == BLANK_FIRST ? chip.set_byte(a, a == end ? 0xFF : 0x7F) : (void)(work[a] ^= 0x21));
    Seen s;
    s.at = at, s.sig = sig;
    const RunHooks hooks = {Seen::progressed, Seen::paused, &s};
    vsim::board().set_access_hook(Seen::watch, &s);
    const RunResult r = job == READ ? RunRead(work.data(), end, &hooks, addressing)
                                    : RunCompare(work.data(), end, job == BLANK_FIRST,
                                                 job == VERIFY_ALL, &hooks, addressing);
    vsim::board().set_access_hook(nullptr, nullptr);
    s.result = {(unsigned long)r.outcome, r.adresse, r.chip, r.wanted, r.done, r.differ};
    for (unsigned long a = 0; a <= end; ++a)
        s.buffer.push_back(job == READ ? work[a] == image[a] : work[a]);
    std::sort(s.loads.begin(), s.loads.end());
    EXPECT_TRUE(runs::board_clean_and_idle());
    StopRequest = PauseRequest = 0;
    return s;
}

TEST(QuickWalk, ReadsVerifiesAndBlankChecksAsThePlainWalkDoesWithFewerAccesses) {
    using Row = std::tuple<IC, unsigned long, unsigned long>; // a range may end inside a bank
    for (auto [type, end, banks] : {Row{T27512, 0xFFFF, 1}, Row{T27010, 0x1FFFF, 2},
                                    Row{T27020, 0x27FFF, 2}, Row{T27040, 0x2FFFF, 3}}) {
        EXPECT_EQ(QuickBanks(type, end), banks);
        for (int job = READ; job < JobMax; ++job) {
            SCOPED_TRACE(runs::fmt("type %d to 0x%lX, job %d", type, end, job));
            const Seen plain = run(type, end, (Job)job, TADR_PLAIN);
            const Seen quick = run(type, end, (Job)job, TADR_QUICK);
            EXPECT_EQ(quick.result, plain.result);
            EXPECT_EQ(quick.result[1], job == READ ? end : lo) << "the lowest difference";
            EXPECT_TRUE(quick.buffer == plain.buffer);
            EXPECT_EQ(quick.levels, plain.levels);
            if (job == VERIFY_FIRST || job == BLANK_FIRST)
                continue; // the walk reads on in the bank: more progress, other cells read
            EXPECT_EQ(quick.progress, plain.progress);
            EXPECT_TRUE(quick.loads == plain.loads) << "a cell read twice, or at other levels";
            EXPECT_EQ(plain.ticks, cost(type, end, 0, job != READ));
            EXPECT_EQ(quick.ticks, cost(type, end, banks, job != READ));
        }
    }
    for (IC type : {T2708, T2716, T2732, T2764, T27128, T27256})
        EXPECT_EQ(QuickBanks(type, GetLastAdress(type)), 0u);
}

// A 27010, whose A18 line is its strobe pin held high while it is read: after a pause the
// chip is read in the very states of an uninterrupted run; a stop keeps only what was read.
TEST(QuickWalk, APausedReadGoesOnWithAWholeTransferAndAStoppedOneKeepsOnlyWhatItRead) {
    const uint64_t bank1 = 175 + 85 + 45 + 62 * 0x10000ul + 10 * 0xFFFFul; // accesses before it
    const Seen whole = run(T27010, 0x1FFFF, READ, TADR_QUICK);
    for (uint64_t at : {5000ul, 3 * bank1 / 4, bank1 + 1, bank1 + 20, bank1 + 12345}) {
        const bool stop = at == bank1 + 1 || at == 5000;
        SCOPED_TRACE(runs::fmt("%s at access %lu", stop ? "stop" : "pause", (unsigned long)at));
        const Seen s = run(T27010, 0x1FFFF, READ, TADR_QUICK, at, stop ? SIGTERM : SIGTSTP);
        EXPECT_EQ(s.result[0], (unsigned long)(stop ? RUN_STOPPED : RUN_OK));
        EXPECT_EQ(s.rested, std::vector<bool>(stop ? 0 : 1, true));
        for (const auto& load : s.loads)
            EXPECT_TRUE(std::binary_search(whole.loads.begin(), whole.loads.end(), load));
        const long kept = std::count(s.buffer.begin(), s.buffer.end(), 1);
        EXPECT_EQ((unsigned long)kept, stop ? s.result[4] : 0x20000ul) << "stored but not read";
    }
}

} // namespace
