// vantrel-sim: the program on a virtual Vantrel II. The command line sets up the bench
// around it (which chip sits in the socket, where the board hangs, which faults it has,
// whether the wire is traced); the program itself runs exactly as on the real board.
#include <cstdio>
#include <cstdlib>

#include "console/cmdline.h"
#include "console/mainloop.h"
#include "sim/bench.h"
#include "sim/options.h"

namespace {

void at_exit() {
    // exit() on the way (a refused port grant ends the program from deep inside): a failure
    // here cannot change the status exit() is already ending with; it is on standard error
    // all the same.
    (void)vsim::bench_finish();
}

int refuse(const std::string& text) {
    std::fprintf(stderr, "vantrel-sim: %s\n", text.c_str());
    return 2;
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

    std::string error;
    if (!vsim::bench_start(o, "vantrel-sim", &error))
        return refuse(error);
    if (!o.port.empty())
        StartPort = o.port.c_str();
    std::atexit(at_exit);
    const int status = vantrel_main();
    const int bench_status = vsim::bench_finish();
    return bench_status ? bench_status : status;
}
