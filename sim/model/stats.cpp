// Statistics of a bench run.
#include "sim/model/stats.h"

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
    s += line("load pulses: %" PRIu64, b.loads());
    s += line("program pulses: %" PRIu64 " triggered, %" PRIu64 " effective, %" PRIu64
              " without effect",
              b.triggers(), b.effective_pulses(), b.spoiled_pulses());
    // Each access is one I/O cycle of about a microsecond on an ISA-bus parallel port.
    s += line("bus time at 1 us/access: %" PRIu64 ".%06" PRIu64 " s", b.ticks() / 1000000,
              b.ticks() % 1000000);
    // The state the program left the board in: what a chip in the socket sits at now.
    const uint8_t ic4 = b.ic4();
    s += line("board at exit: IC4 0x%02X, programming voltage %s, chip %s, supply %s", ic4,
              (ic4 & IC4Q1_VPP) ? "ON" : "off", (ic4 & IC4Q3_CE_HIGH) ? "deselected" : "SELECTED",
              (ic4 & IC4Q5_VCC_5V) ? "5 V" : "6.25 V");
    if (const EpromChip* c = b.chip(); c && c->destroyed())
        s += line("chip at exit: the %s is destroyed: more than %s on its VPP pin", c->name(),
                  volts_text(c->vpp_limit()).c_str());
    s += events("protocol violations", b.violations());
    s += events("hazards", b.hazards());
    return s;
}

} // namespace vsim
