// What a port access costs the real vantrel binary under the test harness: an in or out
// instruction that traps into the harness's SIGSEGV handler and is served by the board
// model, and a PPWDATA or PPRSTATUS ioctl on the harness's fake ppdev device. The program
// runs itself again with the harness preloaded, makes the accesses the way vantrel does
// (port_inb and port_outb of link/port_x86.cpp: inb/outb, or the ioctls), and prints the
// time per access, by the wall clock and in processor time, with a plain system call for
// scale.
//
// It makes in/out instructions, so it refuses to run them unless the harness is loaded (the
// harness gives up every I/O permission the process had, so they cannot reach a port).
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/io.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr uint16_t BASE = 0x378;
constexpr unsigned long PAIRS = 200000; // a write and a read each

double seconds(clockid_t clock) {
    timespec t;
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct Timing {
    double wall0 = seconds(CLOCK_MONOTONIC);
    double cpu0 = seconds(CLOCK_PROCESS_CPUTIME_ID);
    void report(const char* what, unsigned long accesses) const {
        const double wall = seconds(CLOCK_MONOTONIC) - wall0;
        const double cpu = seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
        std::printf("%-36s %9lu accesses  %8.3f us each  (processor %8.3f us)\n", what, accesses,
                    wall * 1e6 / static_cast<double>(accesses),
                    cpu * 1e6 / static_cast<double>(accesses));
    }
};

// A line byte the bus uses (strobe and clock high, address register) and the status read,
// as one bus step of vantrel: the board model sees a legal session.
void trapped_pairs(unsigned long n) {
    for (unsigned long i = 0; i < n; ++i) {
        outb(0x12, BASE);
        (void)inb(BASE + 1);
    }
}

bool ppdev_pairs(int fd, unsigned long n) {
    for (unsigned long i = 0; i < n; ++i) {
        unsigned char line = 0x12, status = 0;
        if (ioctl(fd, PPWDATA, &line) != 0 || ioctl(fd, PPRSTATUS, &status) != 0)
            return false;
    }
    return true;
}

void termios_probe(int fd, unsigned long n) {
    for (unsigned long i = 0; i < n; ++i) {
        unsigned char buf[64];
        (void)ioctl(fd, TCGETS, buf);
    }
}

int measure() {
    using Trapped = unsigned long long (*)(void);
    const Trapped trapped =
        reinterpret_cast<Trapped>(dlsym(RTLD_DEFAULT, "vantrel_harness_trapped"));
    if (!trapped) {
        std::fprintf(stderr,
                     "bench_harness: the harness is not loaded; no port instruction made\n");
        return 1;
    }
    if (ioperm(BASE, 3, 1) != 0) {
        std::fprintf(stderr, "bench_harness: the harness refused the port\n");
        return 1;
    }
    trapped_pairs(PAIRS / 10); // warm up
    const unsigned long long before = trapped();
    Timing t;
    trapped_pairs(PAIRS);
    t.report("in/out trapped into the board model", 2 * PAIRS);
    if (trapped() - before != 2 * PAIRS) {
        std::fprintf(stderr, "bench_harness: %llu accesses trapped, not %lu\n", trapped() - before,
                     2 * PAIRS);
        return 1;
    }

    const int fd = open("/dev/parport0", O_RDWR);
    if (fd < 0 || ioctl(fd, PPEXCL) != 0 || ioctl(fd, PPCLAIM) != 0) {
        std::fprintf(stderr, "bench_harness: the fake /dev/parport0 did not open\n");
        return 1;
    }
    ppdev_pairs(fd, PAIRS / 10);
    Timing p;
    if (!ppdev_pairs(fd, PAIRS)) {
        std::fprintf(stderr, "bench_harness: a ppdev ioctl failed\n");
        return 1;
    }
    p.report("PPWDATA/PPRSTATUS on the fake device", 2 * PAIRS);
    (void)ioctl(fd, PPRELEASE);
    close(fd);

    // For scale: the system call that a ppdev access on a real port makes besides its I/O
    // cycle, here an ioctl that /dev/null refuses.
    const int null = open("/dev/null", O_RDWR);
    termios_probe(null, PAIRS / 10);
    Timing s;
    termios_probe(null, 2 * PAIRS);
    s.report("a refused ioctl system call, for scale", 2 * PAIRS);
    close(null);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    (void)argc;
    if (std::getenv("VANTREL_HARNESS"))
        return measure();
    // Run again with the harness, on a bench with the board on 0x378 and its ppdev device.
    setenv("VANTREL_HARNESS", "--board-port 0x378 --no-chip --ppdev 0:0x378", 1);
    setenv("LD_PRELOAD", VANTREL_HARNESS_PATH, 1);
    execv("/proc/self/exe", argv);
    std::perror("bench_harness: cannot run itself again");
    return 1;
}
