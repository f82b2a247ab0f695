// vantrel-sim: the program on a virtual Vantrel II. The command line sets up the bench
// around it (which chip sits in the socket, where the board hangs, which faults it has,
// whether the wire is traced); the program itself runs exactly as on the real board.
#include <cstdio>
#include <cstdlib>

#include "console/cmdline.h"
#include "console/mainloop.h"
#include "sim/board.h"
#include "sim/chip_file.h"
#include "sim/options.h"
#include "sim/stats.h"
#include "sim/vcd_trace.h"

namespace {

// What has to happen at exit, whichever way the program ends: vantrel_main returning, or
// exit() on the way (a refused port grant ends the program from deep inside).
struct Bench {
    bool stats = false;
    bool chip_file = false;
    vsim::ChipFileSession chip_session;
    vsim::BoardTrace trace;
    int status = 0; // raised to 2 when the chip file or the trace could not be written
};

Bench* bench = nullptr;

void finish_bench() {
    if (!bench)
        return;
    Bench& b = *bench;
    bench = nullptr; // once only
    vsim::Board& board = vsim::board();
    std::fflush(stdout);
    std::string error;
    if (b.trace.running() && !b.trace.stop(&error)) {
        std::fprintf(stderr, "vantrel-sim: %s\n", error.c_str());
        b.status = 2;
    }
    if (b.chip_file && board.chip()) {
        bool written = false;
        if (!b.chip_session.close(*board.chip(), &written, &error)) {
            std::fprintf(stderr, "vantrel-sim: %s\n", error.c_str());
            b.status = 2;
        }
    }
    if (b.stats)
        std::fputs(vsim::format_stats(board).c_str(), stderr);
    std::fflush(stderr);
}

void at_exit() {
    // A failure here cannot change the status exit() is already ending with; it is on
    // standard error all the same.
    finish_bench();
}

int refuse(const std::string& text) {
    std::fprintf(stderr, "vantrel-sim: %s\n", text.c_str());
    return 2;
}

void apply_faults(const vsim::SimOptions& o, vsim::Board& board, Bench& b) {
    using vsim::FaultSpec;
    using vsim::LineFault;
    vsim::EpromChip* chip = board.chip();
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
            if (b.chip_file)
                b.chip_session.keep_original(f.address);
            chip->set_stuck(f.address, f.value);
            break;
        case FaultSpec::weak_cells:
            break;
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    const vsim::ParsedOptions parsed = vsim::parse_sim_options(argc, argv);
    if (!parsed.ok()) {
        std::fprintf(stderr, "vantrel-sim: %s\nTry 'vantrel-sim --help' for the options.\n",
                     parsed.error.c_str());
        return 2;
    }
    const vsim::SimOptions& o = *parsed.options;
    if (o.help) {
        std::fputs(vsim::sim_usage().c_str(), stdout);
        return 0;
    }

    static Bench the_bench;
    Bench& b = the_bench;
    b.stats = o.stats;
    vsim::Board& board = vsim::board();
    if (o.board_port)
        board.place_on(o.board_port);
    else
        board.unplug();
    if (o.pulse_ticks)
        board.set_monoflop_ticks(*o.pulse_ticks);
    if (o.chip_present) {
        vsim::EpromChip& chip = board.insert_chip(vsim::EpromChip(*o.chip));
        if (!o.chip_file.empty()) {
            std::string error;
            if (!b.chip_session.open(o.chip_file, chip, &error))
                return refuse(error);
            b.chip_file = true;
        }
    } else {
        board.remove_chip();
    }
    apply_faults(o, board, b);
    if (!o.trace_path.empty()) {
        std::string error;
        if (!b.trace.start(board, o.trace_path, &error))
            return refuse(error);
    }

    if (!o.port.empty())
        StartPort = o.port.c_str();
    bench = &b;
    std::atexit(at_exit);
    const int status = vantrel_main();
    finish_bench();
    return b.status ? b.status : status;
}
