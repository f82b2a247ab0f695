// The bench around the program.
#include "sim/bench.h"

#include <cstdio>

#include "sim/model/board.h"
#include "sim/model/chip_file.h"
#include "sim/model/stats.h"
#include "sim/model/vcd_trace.h"

namespace vsim {

namespace {

struct Bench {
    const char* who = "vantrel-sim";
    bool stats = false;
    bool chip_file = false;
    ChipFileSession chip_session;
    BoardTrace trace;
};

Bench* bench = nullptr;

void apply_faults(const SimOptions& o, Board& board) {
    EpromChip* chip = board.chip();
    // A share of weak cells replaces every pulse need set before it, so it goes first.
    for (const FaultSpec& f : o.faults)
        if (f.kind == FaultSpec::weak_cells)
            chip->set_weak_cells(f.percent, f.pulses, f.seed);
    for (const FaultSpec& f : o.faults) {
        switch (f.kind) {
        case FaultSpec::readback_stuck_0:
            board.set_readback_fault(LineFault::stuck_at_0);
            break;
        case FaultSpec::readback_stuck_1:
            board.set_readback_fault(LineFault::stuck_at_1);
            break;
        case FaultSpec::monoflop_stuck_0:
            board.set_monoflop_fault(LineFault::stuck_at_0);
            break;
        case FaultSpec::monoflop_stuck_1:
            board.set_monoflop_fault(LineFault::stuck_at_1);
            break;
        case FaultSpec::weak_cell:
            chip->set_pulses_needed(f.address, static_cast<uint8_t>(f.pulses));
            break;
        case FaultSpec::stuck_cell:
            chip->set_stuck(f.address, f.value);
            break;
        case FaultSpec::flaky_cell:
            chip->set_flaky(f.address, f.mask, f.percent);
            break;
        case FaultSpec::open_address:
            board.set_open_address_line(f.line);
            break;
        case FaultSpec::open_data:
            board.set_open_data_line(f.line, f.value != 0);
            break;
        case FaultSpec::weak_cells:
            break;
        }
    }
}

} // namespace

bool bench_start(const SimOptions& o, const char* who, std::string* error) {
    static Bench the_bench;
    Bench& b = the_bench;
    b.who = who;
    b.stats = o.stats;
    Board& board = vsim::board();
    if (o.board_port)
        board.place_on(o.board_port);
    else
        board.unplug();
    if (o.pulse_ticks)
        board.set_monoflop_ticks(*o.pulse_ticks);
    if (o.chip_present) {
        EpromChip& chip = board.insert_chip(EpromChip(*o.chip));
        if (!o.chip_file.empty()) {
            if (!b.chip_session.open(o.chip_file, chip, error))
                return false;
            b.chip_file = true;
        }
    } else {
        board.remove_chip();
    }
    apply_faults(o, board);
    if (!o.trace_path.empty() && !b.trace.start(board, o.trace_path, error))
        return false;
    bench = &b;
    return true;
}

int bench_finish() {
    if (!bench)
        return 0;
    Bench& b = *bench;
    bench = nullptr; // once only
    Board& board = vsim::board();
    int status = 0;
    std::fflush(stdout);
    std::string error;
    if (b.trace.running() && !b.trace.stop(&error)) {
        std::fprintf(stderr, "%s: %s\n", b.who, error.c_str());
        status = 2;
    }
    if (b.chip_file && !b.chip_session.close(board.chip(), &error)) {
        std::fprintf(stderr, "%s: %s\n", b.who, error.c_str());
        status = 2;
    }
    if (b.stats)
        std::fputs(format_stats(board).c_str(), stderr);
    std::fflush(stderr);
    return status;
}

std::optional<FileId> bench_chip_file_id() {
    if (!bench || !bench->chip_file)
        return std::nullopt;
    return bench->chip_session.id();
}

void bench_abandon() {
    if (!bench)
        return;
    std::string ignored;
    bench->chip_session.close(nullptr, &ignored);
    bench = nullptr;
}

} // namespace vsim
