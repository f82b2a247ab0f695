// vantrel-sim: the program on a virtual Vantrel II. The command line sets up the bench
// around it (which chip sits in the socket, where the board hangs, which faults it has,
// whether the wire is traced); the program itself runs exactly as on the real board.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <unistd.h>

#include "console/cmdline.h"
#include "console/conio.h"
#include "console/files.h"
#include "console/job.h"
#include "console/mainloop.h"
#include "console/menu.h"
#include "console/ports.h"
#include "image/ic_file.h"
#include "sim/bench.h"
#include "sim/options.h"

namespace {

// What has to happen at exit, whichever way the program ends: vantrel_main returning, exit()
// on the way (a refused port grant ends the program from deep inside), or a stop signal. A
// failure here cannot change the status the program is already ending with; it is on
// standard error all the same.
void finish_bench() {
    (void)vsim::bench_finish();
}

int refuse(const std::string& text) {
    std::fprintf(stderr, "vantrel-sim: %s\n", text.c_str());
    return 2;
}

// The chip file is mapped: should another program cut it short, touching a cell past its new
// end raises SIGBUS. Say so instead of dying silently.
void on_bus_error(int) {
    static const char text[] =
        "vantrel-sim: bus error (was the chip file cut short by another program?)\n";
    const ssize_t ignored = write(STDERR_FILENO, text, sizeof text - 1);
    (void)ignored;
    _exit(2);
}

int run(int argc, char** argv);

} // namespace

int main(int argc, char** argv) {
    // Before anything opens a file: a closed standard output would else be the chip file,
    // and the screen would be written into the chip's cells.
    if (!KeepStdDescriptors())
        return 2;
    // A port lost in the middle of a run ends the program in the running front end's words.
    conSetPortLossHook(endByPortLoss);
    // The program itself is plain C and throws nothing; the bench around it is C++ and may
    // run out of memory. Whatever the chip held is in its file already.
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "vantrel-sim: out of memory\n");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vantrel-sim: %s\n", e.what());
    }
    vsim::bench_abandon(); // nothing more at exit: finishing the bench could need memory again
    std::fflush(stdout);
    return 2;
}

namespace {

int run(int argc, char** argv) {
    // One pass over the bench's options and the program's job options together.
    startJobOptions();
    vsim::OtherOptions jobs;
    jobs.table = JobLongOptions;
    jobs.short_options = JOB_SHORT_OPTIONS;
    jobs.take = [](const CmdWord& w) { return takeJobOption(&w); };
    const vsim::ParsedOptions parsed = vsim::parse_sim_options(argc, argv, jobs);
    if (parsed.other_refused) {
        sayJobRefusal("vantrel-sim");
        return 2;
    }
    // An unknown option is named before what the job options say together.
    if (!parsed.ok()) {
        std::fprintf(stderr, "vantrel-sim: %s\nTry 'vantrel-sim --help' for the options.\n",
                     parsed.error.c_str());
        return 2;
    }
    if (!endJobOptions("vantrel-sim"))
        return 2;
    const vsim::SimOptions& o = *parsed.options;
    if (o.version) {
        std::printf("vantrel-sim %s\n", GetVersion());
        return 0;
    }
    if (o.help) {
        std::fputs(vsim::sim_usage().c_str(), stdout);
        std::fputs("\n", stdout);
        std::fputs(JobUsage(), stdout);
        return 0;
    }
    // The parts list needs no bench: no chip file is made, no port is touched.
    const int listed = listCommandParts("vantrel-sim");
    if (listed >= 0)
        return listed;

    // Nor does a job that only looks at image files: no chip file is made or changed.
    if (JobInspectsOnly(&CommandJob))
        return runCommandJob("vantrel-sim");

    std::string error;
    if (!vsim::bench_start(o, "vantrel-sim", &error))
        return refuse(error);
    // The chip's cells are the chip file's bytes: a save over it would cut the mapped file
    // short or leave the chip in an orphaned one.
    if (const auto id = vsim::bench_chip_file_id())
        RefuseSavesTo(id->dev, id->ino);
    if (!o.port.empty())
        StartPort = o.port.c_str();
    std::atexit(finish_bench);
    conSetExitHook(finish_bench);
    std::signal(SIGBUS, on_bus_error);
    const int job = runCommandJob("vantrel-sim");
    const int status = job >= 0 ? job : vantrel_main();
    const int bench_status = vsim::bench_finish();
    return bench_status ? bench_status : status;
}

} // namespace
