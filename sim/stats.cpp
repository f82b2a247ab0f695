// Statistics of a bench run.
#include "sim/stats.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>

namespace vsim {

namespace {

std::string line(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

std::string line(const char* fmt, ...) {
    char text[200];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    return std::string(text) + "\n";
}

std::string events(const char* name, const EventLog& log) {
    std::string s = line("%s: %" PRIu64, name, log.count());
    for (const std::string& t : log.texts())
        s += "  " + t + "\n";
    if (log.count() > log.texts().size())
        s += line("  ... and %" PRIu64 " more", log.count() - log.texts().size());
    return s;
}

} // namespace

std::string format_stats(const Board& b) {
    std::string s = "vantrel-sim statistics\n";
    s += line("port accesses: %" PRIu64 " (reads %" PRIu64 ", writes %" PRIu64 ")", b.ticks(),
              b.reads(), b.writes());
    s += line("transfers: address register %" PRIu64 ", IC5 %" PRIu64 ", IC4 %" PRIu64,
              b.latches(Reg::address), b.latches(Reg::ic5), b.latches(Reg::ic4));
    // What the board holds now: a fresh program sends its shadows the way it found them.
    s += line("latched: address 0x%04X, IC5 0x%02X, IC4 0x%02X", b.address(), b.ic5(), b.ic4());
    s += line("load pulses: %" PRIu64, b.loads());
    s += line("program pulses: %" PRIu64 " triggered, %" PRIu64 " effective, %" PRIu64
              " without effect",
              b.triggers(), b.effective_pulses(), b.spoiled_pulses());
    // Each access is one I/O cycle of about a microsecond on an ISA-bus parallel port.
    s += line("bus time at 1 us/access: %" PRIu64 ".%06" PRIu64 " s", b.ticks() / 1000000,
              b.ticks() % 1000000);
    s += events("protocol violations", b.violations());
    s += events("hazards", b.hazards());
    return s;
}

} // namespace vsim
