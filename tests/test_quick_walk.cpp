// Quick addressing: the walk of a bank by one-bit shifts of the address register, and the
// reading runs on it against the plain walk on the board model: same results, the chip read at
// the same line levels, no hazard, and the port accesses the protocol needs.
#include <gtest/gtest.h>

#include <algorithm>
#include <bitset>
#include <csignal>
#include <set>
#include <tuple>
#include <vector>

#include "eprom/ic_func.h"
#include "tests/run_util.h"
#include "tests/wire_util.h"

namespace {

TEST(QuickWalk, VisitsEveryAddressOfABankOnceEachByOneShiftFromTheOneBefore) {
    const uint16_t* walk = AdrWalk();
    std::bitset<0x10000> seen;
    for (unsigned long i = 0; i < 0x10000; ++i) {
        EXPECT_FALSE(seen[walk[i]]) << "address " << walk[i] << " again at step " << i;
        seen[walk[i]] = true;
        if (i > 0 && ((walk[i - 1] << 1) & 0xFFFF) != (walk[i] & 0xFFFE))
            ADD_FAILURE() << "step " << i << " is no one-bit shift";
    }
    EXPECT_EQ(walk[0], 0) << "a bank starts at its address 0";
    // On the wire: the start of PutAdr, one bit, its end: 5 writes, 5 waits at delay 1.
    wire::reset_all();
    set_delay(1);
    PutAdr(0xC001);
    for (uint8_t bit : {1, 0}) {
        wire::start_recording();
        PutAdrBit(bit);
        const wire::Steps st = wire::steps_of(wire::trace());
        EXPECT_EQ(st.lines(), wire::latched_lines(SR_ADDRESS, bit, 1));
        EXPECT_EQ(st.reads(), (std::vector<unsigned>{1, 1, 2, 1, 0}));
    }
    EXPECT_EQ(vsim::board().address(), 0x0006);
}

// What a run did, as far as it must not depend on the addressing, and what it cost.
struct Seen {
    std::vector<unsigned long> result, progress;
    std::vector<uint8_t> buffer;
    std::vector<std::tuple<uint32_t, uint8_t, uint8_t>> loads; // address lines, IC4, IC5
    std::set<std::pair<uint8_t, uint8_t>> levels; // CE, OE, VPP and the PGM pin at each strobe
    uint64_t ticks = 0;
    static void progressed(void* self, unsigned long adresse, unsigned long) {
        static_cast<Seen*>(self)->progress.push_back(adresse);
    }
    static void watch(void* self, const vsim::PortAccess& a) {
        Seen& s = *static_cast<Seen*>(self);
        const vsim::Board& b = vsim::board();
        if (a.kind == vsim::PortAccess::write && a.value == 0x0C)
            s.loads.emplace_back(b.address_lines(), b.ic4(), b.ic5());
        if (a.kind == vsim::PortAccess::write && (a.value & ~0x0C) == 0x02) // a latch
            s.levels.insert(
                {b.ic4() & (IC4Q1_VPP | IC4Q3_CE_HIGH | IC4Q4_OE_HIGH),
                 b.chip()->strobe_pin() == vsim::StrobePin::ic5_bit2 ? b.ic5() & IC5Q2_A18 : 0});
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

Seen run(IC type, unsigned long end, Job job, int addressing) {
    wire::reset_all();
    set_delay(1);
    vsim::EpromChip& chip = vsim::board().insert_chip(type);
    SetICType(type);
    SetVcc(0);
    DisableEprom();
    // Two cells differ, the higher one read first by the walk, and the range's last cell.
    const uint16_t* walk = AdrWalk();
    const unsigned long hi = walk[0x40];
    const unsigned long lo = hi - 0x20;
    EXPECT_GT(std::find(walk, walk + 0x10000, lo & 0xFFFF) - walk, 0x40) << "read after hi";
    const std::vector<uint8_t> image = runs::make_image(chip.size(), type);
    std::vector<uint8_t> work(BUFFER_SIZE, 0);
    if (job <= VERIFY_FIRST) {
        chip.load(image);
        std::copy(image.begin(), image.end(), work.begin());
        for (unsigned long a : {lo, hi, end})
            work[a] ^= job == READ ? 0 : 0x21;
    } else if (job == BLANK_FIRST) {
        chip.set_byte(lo, 0x7F);
        chip.set_byte(hi, 0x00);
    }
    Seen s;
    const RunHooks hooks = {Seen::progressed, nullptr, &s};
    vsim::board().set_access_hook(Seen::watch, &s);
    const uint64_t t0 = vsim::board().ticks();
    const RunResult r = job == READ ? RunRead(work.data(), end, &hooks, addressing)
                                    : RunCompare(work.data(), end, job == BLANK_FIRST,
                                                 job == VERIFY_ALL, &hooks, addressing);
    s.ticks = vsim::board().ticks() - t0;
    vsim::board().set_access_hook(nullptr, nullptr);
    s.result = {(unsigned long)r.outcome, r.adresse, r.chip, r.wanted, r.done, r.differ};
    s.buffer.assign(work.begin(), work.begin() + (long)end + 1);
    std::sort(s.loads.begin(), s.loads.end());
    EXPECT_TRUE(runs::board_clean_and_idle());
    EXPECT_EQ(r.outcome != RUN_OK, job != READ);
    if (job == VERIFY_FIRST || job == BLANK_FIRST) {
        EXPECT_EQ(r.adresse, lo);
    }
    return s;
}

TEST(QuickWalk, ReadsVerifiesAndBlankChecksAsThePlainWalkDoesWithFewerAccesses) {
    struct Row {
        IC type;
        unsigned long end, banks; // a range may end inside a bank: that bank goes plain
    };
    for (const Row& row : {Row{T27512, 0xFFFF, 1}, Row{T27010, 0x1FFFF, 2}, Row{T27020, 0x27FFF, 2},
                           Row{T27040, 0x2FFFF, 3}}) {
        EXPECT_EQ(QuickBanks(row.type, row.end), row.banks);
        for (int job = READ; job < JobMax; ++job) {
            SCOPED_TRACE(
                runs::fmt("%s to 0x%lX, job %d", vsim::chip_facts(row.type).name, row.end, job));
            const Seen plain = run(row.type, row.end, (Job)job, TADR_PLAIN);
            const Seen quick = run(row.type, row.end, (Job)job, TADR_QUICK);
            EXPECT_EQ(quick.result, plain.result);
            EXPECT_TRUE(quick.buffer == plain.buffer);
            EXPECT_EQ(quick.levels, plain.levels);
            if (job == VERIFY_FIRST || job == BLANK_FIRST) { // the walk reads on in the bank
                ASSERT_GE(quick.progress.size(), plain.progress.size());
                EXPECT_TRUE(std::equal(plain.progress.begin(), plain.progress.end(),
                                       quick.progress.begin()));
                continue;
            }
            EXPECT_EQ(quick.progress, plain.progress);
            EXPECT_TRUE(quick.loads == plain.loads) << "a cell read twice, or at other levels";
            EXPECT_EQ(plain.ticks, cost(row.type, row.end, 0, job != READ));
            EXPECT_EQ(quick.ticks, cost(row.type, row.end, row.banks, job != READ));
        }
    }
    for (IC type : {T2708, T2716, T2732, T2764, T27128, T27256})
        EXPECT_EQ(QuickBanks(type, GetLastAdress(type)), 0u);
}

} // namespace

// A pause or a stop request noted at access `at` of a quick read of a 27010 (its A18 line is
// the strobe pin held high), and what the chip was at while paused.
struct Interrupt {
    Seen seen;
    uint64_t count = 0, at = 0;
    bool stop = false;
    std::vector<bool> at_rest;
    static void hook(void* self, const vsim::PortAccess& a) {
        Interrupt& i = *static_cast<Interrupt*>(self);
        if (++i.count == i.at)
            (i.stop ? StopRequest : PauseRequest) = i.stop ? SIGTERM : SIGTSTP;
        Seen::watch(&i.seen, a);
    }
    static void paused(void* self, int) {
        const vsim::Board& b = vsim::board();
        static_cast<Interrupt*>(self)->at_rest.push_back(b.is_idle() && (b.ic4() & IC4Q4_OE_HIGH));
    }
};

TEST(QuickWalk, APausedReadGoesOnWithAWholeTransferAndAStoppedOneKeepsOnlyWhatItRead) {
    const uint64_t bank1 = 175 + 85 + 45 + 62 * 0x10000ul + 10 * 0xFFFFul; // accesses before it
    Interrupt whole;
    for (uint64_t at : {0ul, 5000ul, 3 * bank1 / 4, bank1 + 20, bank1 + 1, bank1 + 12345}) {
        SCOPED_TRACE(at);
        wire::reset_all();
        set_delay(1);
        const std::vector<uint8_t> image = runs::make_image(0x20000, 3);
        vsim::board().insert_chip(T27010).load(image);
        SetICType(T27010);
        SetVcc(0);
        DisableEprom();
        Interrupt i;
        i.at = at;
        i.stop = at == bank1 + 1 || at == 5000;
        const RunHooks hooks = {nullptr, Interrupt::paused, &i};
        vsim::board().set_access_hook(Interrupt::hook, &i);
        std::vector<uint8_t> work(0x20000);
        for (unsigned long a = 0; a < 0x20000; ++a)
            work[a] = (uint8_t)~image[a];
        const RunResult r = RunRead(work.data(), 0x1FFFF, &hooks, TADR_QUICK);
        vsim::board().set_access_hook(nullptr, nullptr);
        EXPECT_TRUE(runs::board_clean_and_idle());
        EXPECT_EQ(i.at_rest, std::vector<bool>(at && !i.stop ? 1 : 0, true));
        if (at == 0) {
            whole = i;
            std::sort(whole.seen.loads.begin(), whole.seen.loads.end());
            continue;
        }
        for (const auto& load : i.seen.loads) // the very states of the uninterrupted run
            EXPECT_TRUE(std::binary_search(whole.seen.loads.begin(), whole.seen.loads.end(), load));
        unsigned long kept = 0;
        for (unsigned long a = 0; a < 0x20000; ++a)
            kept += work[a] == image[a];
        EXPECT_EQ(r.outcome, i.stop ? RUN_STOPPED : RUN_OK);
        EXPECT_EQ(kept, i.stop ? r.done : 0x20000) << "a cell stored that was not read";
        StopRequest = PauseRequest = 0;
    }
}
