// Test helpers for looking at the wire between the driver and the virtual board.
//
//   wire::reset_all(port)   board back to power-on on `port` (0: no board), every driver
//                           global back to its start value, console on quiet streams, and
//                           access to the three ports from Base already granted (so a test
//                           can talk to the board without going through setBase).
//   wire::start_recording() forget what the board recorded so far and record from now on.
//   wire::steps_of(trace)   every write with the number of reads that followed it.
//   wire::transfers_of(...) the writes cut into register transfers, each decoded into its
//                           select code, shifted bits, load pulses and closing latch.
//   wire::latched_lines(..) the line bytes a correct address/IC4/IC5 transfer writes.
// The operator's console, the boxes on it and the driver's start values come from
// tests/support/common.h (vtest::ConsoleCapture, vtest::boxesOn, vtest::SavedSettings).
//
// Header only; include it from any tests/unit/test_*.cpp.
#ifndef VANTREL_TESTS_SUPPORT_WIRE_H
#define VANTREL_TESTS_SUPPORT_WIRE_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "console/conio.h"
#include "defs.h"
#include "eprom/misc.h"
#include "link/hw.h"
#include "sim/model/wiring.h"
#include "tests/support/common.h"

// Expectations are in the board's own terms, never in the driver's header.
using namespace vsim::wiring;
#include "sim/model/board.h"

#include <gtest/gtest.h>

// The model's socket type for the program's: both follow the board's type keys, and the
// types' table test holds the two side by side.
inline vsim::IC modelType(IC type) {
    return static_cast<vsim::IC>(type);
}

namespace wire {

// An input stream that is always at its end: a prompt or box reached by mistake returns at
// once instead of waiting for a key that a test run never sends.
inline FILE* empty_input() {
    static FILE* f = std::tmpfile();
    if (f)
        std::rewind(f);
    return f;
}

// Board: power-on state, factory configuration, hung on `board_port` (0x278, 0x378, 0x3BC;
// 0 leaves it unplugged), empty socket, recording off.
// Driver: every global at a freshly started program's value (vtest::SavedSettings::
// startValues: Base 0x378, Delay 2, no stop or pause request, no run, ...), conIn at an
// empty stream, conOut at stdout.
// With `grant` the ports Base..Base+2 are opened on the board directly (no port access of
// the driver, nothing recorded), as the start-up dialogue would have left them.
inline void reset_all(uint16_t board_port = LPT_378, bool grant = true) {
    vsim::Board& b = vsim::board();
    b.factory_reset();
    b.place_on(board_port);
    vtest::SavedSettings::startValues();
    conIn = empty_input();
    conOut = stdout;
    if (grant)
        b.ioperm(Base, 3, 1);
    b.clear_records();
}

// Clear the board's trace and histories and record every access from now on.
inline void start_recording() {
    vsim::board().clear_records();
    vsim::board().set_recording(true);
}

inline const std::vector<vsim::PortAccess>& trace() {
    return vsim::board().trace();
}

// One write of a trace and the reads that came after it, up to the next write.
struct Step {
    uint8_t line;   // value written
    uint16_t port;  // port written
    unsigned reads; // reads (of any port) between this write and the next one
};

struct Steps {
    unsigned leading_reads = 0; // reads before the first write
    std::vector<Step> steps;
    std::vector<uint8_t> lines() const {
        std::vector<uint8_t> v;
        for (const Step& s : steps)
            v.push_back(s.line);
        return v;
    }
    std::vector<unsigned> reads() const {
        std::vector<unsigned> v;
        for (const Step& s : steps)
            v.push_back(s.reads);
        return v;
    }
    unsigned total_reads() const {
        unsigned n = leading_reads;
        for (const Step& s : steps)
            n += s.reads;
        return n;
    }
};

inline Steps steps_of(const std::vector<vsim::PortAccess>& t) {
    Steps r;
    for (const vsim::PortAccess& a : t) {
        if (a.kind == vsim::PortAccess::write)
            r.steps.push_back(Step{a.value, a.port, 0});
        else if (r.steps.empty())
            r.leading_reads++;
        else
            r.steps.back().reads++;
    }
    return r;
}

// A register transfer as the board sees it. Writes are grouped by their select code; a
// group ends where the select code changes or where the strobe line falls on the address
// register, IC5 or IC4 (the closing write, which latches the register's outputs). The data
// register has no latch, so back-to-back data operations (PutData, GetData, GetDataIntern)
// end up in one group: their shifted bits follow each other in `value`.
struct Transfer {
    uint8_t select = 0;            // register select code 0..3 (SR_ADDRESS, SR_IC5, ...)
    std::vector<Step> steps;       // the writes of the transfer and the reads after each
    unsigned bits = 0;             // bits shifted: falls of the clock with the strobe at 1
    uint64_t value = 0;            // those bits, the first one shifted ends up most significant
    std::vector<uint8_t> bit_list; // the same bits in shift order (0 or 1 each)
    unsigned loads = 0;            // falls of the clock with the strobe at 0 (load pulses)
    bool latched = false;          // ended by a strobe fall on a latched register
};

// Cut the writes of `t` into transfers. `line_before` is the line byte on the wire before
// the first recorded write (0 after a board reset); only writes to the board's data
// register count, reads are kept as the `reads` of the step before them.
inline std::vector<Transfer> transfers_of(const std::vector<vsim::PortAccess>& t,
                                          uint8_t line_before = 0) {
    std::vector<Transfer> out;
    const Steps st = steps_of(t);
    uint8_t prev = line_before;
    bool open = false;
    for (const Step& s : st.steps) {
        const uint8_t sel = (uint8_t)((s.line & D23_SEL) >> D23_SEL_SHIFT);
        if (!open || out.back().select != sel) {
            out.emplace_back();
            out.back().select = sel;
            open = true;
        }
        Transfer& tr = out.back();
        tr.steps.push_back(s);
        const unsigned fell = prev & ~s.line;
        if (fell & D1_SCK) {
            if (s.line & D4_STB) {
                const uint8_t b = s.line & D0_SER;
                tr.value = (tr.value << 1) | b;
                tr.bit_list.push_back(b);
                tr.bits++;
            } else {
                tr.loads++;
            }
        }
        prev = s.line;
        if ((fell & D4_STB) && sel != SR_DATA) {
            tr.latched = true;
            open = false;
        }
    }
    return out;
}

// The line bytes of a correct transfer of `value` (`nbits` wide, most significant bit
// first) into the address register (select 0), IC5 (1) or IC4 (2): the start step, two
// steps per bit with the data set up while the clock is high and held while it falls, the
// end step and the closing write that drops the strobe.
inline std::vector<uint8_t> latched_lines(uint8_t select, uint32_t value, unsigned nbits) {
    const uint8_t s = (uint8_t)(select << D23_SEL_SHIFT);
    std::vector<uint8_t> v;
    v.push_back((uint8_t)(0x12 | s));
    for (unsigned i = nbits; i-- > 0;) {
        const uint8_t b = (value >> i) & 1u;
        v.push_back((uint8_t)(0x12 | s | b));
        v.push_back((uint8_t)(0x10 | s | b));
    }
    v.push_back((uint8_t)(0x12 | s));
    v.push_back((uint8_t)(0x02 | s));
    return v;
}

// The (select, value) pairs of the latched transfers in `t`, in order: what reached the
// address register, IC5 and IC4. Data register groups are left out.
struct Latch {
    uint8_t select;
    uint32_t value;
    bool operator==(const Latch& o) const { return select == o.select && value == o.value; }
};
inline std::vector<Latch> latches_of(const std::vector<vsim::PortAccess>& t) {
    std::vector<Latch> v;
    for (const Transfer& tr : transfers_of(t))
        if (tr.latched)
            v.push_back(Latch{tr.select, (uint32_t)tr.value});
    return v;
}

// Register-level tests: the board on 0x378 with the ports granted, delay factor 1 to keep
// traces short, and no protocol violation allowed by the end of the test.
class RegisterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_all(LPT_378, true);
        (void)set_delay(1);
    }
    void TearDown() override {
        EXPECT_TRUE(vsim::board().violations().empty()) << vsim::board().violations().joined();
    }
    // Put both registers and their shadows into a known state, then record.
    static void startFrom(uint8_t ic4, uint8_t ic5) {
        PutIC4(ic4);
        PutIC5(ic5);
        start_recording();
    }
    static std::vector<Latch> sent() { return latches_of(trace()); }
};

} // namespace wire

#endif
