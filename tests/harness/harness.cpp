// The test harness for the real vantrel binary: a library preloaded with LD_PRELOAD that
// puts the board model behind the program's own port instructions and ppdev calls.
//
// Without I/O permission an x86 in or out instruction faults, and the kernel sends SIGSEGV
// with the instruction at the saved instruction pointer. The handler here decodes it (in
// al,dx 0xEC; out dx,al 0xEE; in al,imm8 0xE4; out imm8,al 0xE6), performs the access on
// the board model and steps over it; any other fault stays fatal. ioperm and iopl never
// reach the kernel: ioperm is granted (or refused) by the model, so the process keeps no I/O
// permission and every access traps. The ppdev path is served by fake devices: open() of
// /dev/parportN and of /proc/sys/dev/parport/parportN/base-addr, and their ioctls, never
// reach the machine's own ports either.
//
// The bench comes from the environment variable VANTREL_HARNESS: vantrel-sim's options
// (--chip, --chip-file, --board-port, --pulse, --fault, --trace, --stats) and these, read
// in the same pass and written the same way:
//   --refuse-ioperm         direct access refused, as for a user without root's rights
//   --ppdev N:BASE[:FAULT]  a ppdev device /dev/parportN for the port at BASE, with
//                           FAULT one of denied (open: EACCES), missing (open: ENOENT),
//                           nodev (open: ENODEV), notpp (PPEXCL: ENOTTY), busy (PPCLAIM:
//                           EBUSY), vanish:K (every ioctl after the K-th data one: ENODEV)
// Anything wrong with the set-up ends the program at once, before it can do anything.
#include <cerrno>
#include <cinttypes>
#include <climits>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/ppdev.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>
#include <vector>

#include "common/numbers.h"
#include "sim/bench.h"
#include "sim/model/board.h"
#include "sim/options.h"

#define HARNESS_API extern "C" __attribute__((visibility("default")))

namespace {

[[noreturn]] void die(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
[[noreturn]] void die(const char* fmt, ...) {
    char text[300];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    std::fprintf(stderr, "vantrel harness: %s\n", text);
    std::fflush(stderr);
    std::abort();
}

void ensure_bench();

// ---- Fake ppdev devices ----------------------------------------------------------------

struct FakeDevice {
    enum Fault { none, denied, missing, nodev, notpp, busy, vanish };
    int number = 0;
    uint16_t base = 0;
    Fault fault = none;
    unsigned long vanish_after = 0; // data ioctls that work with `vanish`
    int fd = -1;                    // the program's descriptor while open
    bool exclusive = false, claimed = false;
    unsigned long data_ioctls = 0;
};

// Built on first use: the constructor below may run before the library's static objects.
std::vector<FakeDevice>& devices() {
    static std::vector<FakeDevice> all;
    return all;
}
bool refuse_ioperm = false;
// What the program asked for, for the statistics: port instructions served, ioperm calls
// that wanted access, ppdev data ioctls.
uint64_t trapped = 0, ioperm_requests = 0, ppdev_ioctls = 0;

// The fault of a device by its name: "" (none), "denied", ..., "vanish:K".
bool fault_by_name(const std::string& name, FakeDevice* d) {
    static const struct {
        const char* name;
        FakeDevice::Fault fault;
    } FAULTS[] = {{"", FakeDevice::none},           {"denied", FakeDevice::denied},
                  {"missing", FakeDevice::missing}, {"nodev", FakeDevice::nodev},
                  {"notpp", FakeDevice::notpp},     {"busy", FakeDevice::busy}};
    for (const auto& f : FAULTS)
        if (name == f.name) {
            d->fault = f.fault;
            return true;
        }
    unsigned long long k = 0;
    if (name.compare(0, 7, "vanish:") != 0 ||
        !parseNumber(name.c_str() + 7, TNUM_DEC_OR_0X, ULONG_MAX, &k))
        return false;
    d->fault = FakeDevice::vanish;
    d->vanish_after = static_cast<unsigned long>(k);
    return true;
}

// "N:BASE[:FAULT]", the numbers written as for vantrel-sim.
void add_device(const std::string& text) {
    const size_t colon = text.find(':');
    const size_t end = colon == std::string::npos ? colon : text.find(':', colon + 1);
    unsigned long long n = 0, base = 0;
    if (colon == std::string::npos ||
        !parseNumber(text.substr(0, colon).c_str(), TNUM_DEC_OR_0X, 15, &n))
        die("--ppdev '%s': expected N:BASE[:FAULT] with N 0..15", text.c_str());
    const std::string base_text = text.substr(colon + 1, end - colon - 1);
    if (!parseNumber(base_text.c_str(), TNUM_DEC_OR_0X, vsim::Board::LAST_BASE, &base) || base == 0)
        die("--ppdev '%s': bad base address", text.c_str());
    const std::string fault = end == std::string::npos ? "" : text.substr(end + 1);
    FakeDevice d;
    d.number = static_cast<int>(n);
    d.base = static_cast<uint16_t>(base);
    if (!fault_by_name(fault, &d))
        die("--ppdev '%s': unknown fault '%s'", text.c_str(), fault.c_str());
    devices().push_back(d);
}

FakeDevice* device_numbered(int n) {
    for (FakeDevice& d : devices())
        if (d.number == n)
            return &d;
    return nullptr;
}

FakeDevice* device_open_as(int fd) {
    for (FakeDevice& d : devices())
        if (d.fd == fd && fd >= 0)
            return &d;
    return nullptr;
}

// The parport number in a path below `prefix` ("/dev/parport3" -> 3), or -1 if the rest of
// the path is no number.
int number_after(const char* path, const char* prefix, const char* suffix) {
    const size_t lp = std::strlen(prefix);
    if (std::strncmp(path, prefix, lp) != 0)
        return -1;
    char* end = nullptr;
    const long n = std::strtol(path + lp, &end, 10);
    if (end == path + lp || std::strcmp(end, suffix) != 0 || n < 0 || n > 1000)
        return -1;
    return static_cast<int>(n);
}

// ---- The real functions behind the interposed ones -----------------------------------

template <typename F> F real(const char* name) {
    void* f = dlsym(RTLD_NEXT, name);
    if (!f)
        die("no %s to call", name);
    return reinterpret_cast<F>(f);
}

using OpenFn = int (*)(const char*, int, ...);
using OpenatFn = int (*)(int, const char*, int, ...);
using IoctlFn = int (*)(int, unsigned long, ...);
using CloseFn = int (*)(int);

// The fake side of an open(): -2 when the path is none of ours (the real open follows).
int fake_open(const char* path) {
    if (!path)
        return -2;
    if (std::strncmp(path, "/proc/sys/dev/parport", 21) == 0 ||
        std::strncmp(path, "/dev/parport", 12) == 0)
        ensure_bench();
    if (std::strncmp(path, "/proc/sys/dev/parport", 21) == 0) {
        const int n = number_after(path, "/proc/sys/dev/parport/parport", "/base-addr");
        const FakeDevice* d = n >= 0 ? device_numbered(n) : nullptr;
        if (!d) {
            errno = ENOENT;
            return -1;
        }
        // procfs prints the base and the extended base, in decimal.
        char text[32];
        const int len = std::snprintf(text, sizeof text, "%u\t%u\n", d->base, d->base + 0x400u);
        const int fd = static_cast<int>(syscall(SYS_memfd_create, "base-addr", MFD_CLOEXEC));
        if (fd < 0 || write(fd, text, static_cast<size_t>(len)) != len || lseek(fd, 0, 0) != 0)
            die("cannot make the procfs entry of parport%d", n);
        return fd;
    }
    if (std::strncmp(path, "/dev/parport", 12) != 0)
        return -2;
    // Never the machine's own devices: a parport that is not set up does not exist here.
    FakeDevice* d = device_numbered(number_after(path, "/dev/parport", ""));
    if (!d || d->fault == FakeDevice::missing) {
        errno = ENOENT;
        return -1;
    }
    if (d->fault == FakeDevice::denied) {
        errno = EACCES;
        return -1;
    }
    if (d->fault == FakeDevice::nodev) {
        errno = ENODEV;
        return -1;
    }
    if (d->fd >= 0) {
        errno = EBUSY;
        return -1;
    }
    static const OpenFn real_open = real<OpenFn>("open");
    d->fd = real_open("/dev/null", O_RDWR | O_CLOEXEC);
    if (d->fd < 0)
        die("cannot open /dev/null for /dev/parport%d", d->number);
    d->exclusive = d->claimed = false;
    d->data_ioctls = 0;
    return d->fd;
}

int fake_ioctl(FakeDevice& d, unsigned long request, void* arg) {
    auto fail = [](int err) {
        errno = err;
        return -1;
    };
    if (d.fault == FakeDevice::notpp)
        return fail(ENOTTY);
    const bool data = request == PPWDATA || request == PPRSTATUS;
    if (d.fault == FakeDevice::vanish && d.data_ioctls >= d.vanish_after)
        return fail(ENODEV);
    vsim::Board& board = vsim::board();
    switch (request) {
    case PPEXCL:
        if (d.claimed)
            return fail(EINVAL);
        d.exclusive = true;
        return 0;
    case PPCLAIM:
        // The program takes the port for itself alone, before it claims it.
        if (!d.exclusive)
            die("PPCLAIM on /dev/parport%d without PPEXCL first", d.number);
        if (d.fault == FakeDevice::busy)
            return fail(EBUSY);
        if (d.claimed)
            return fail(EINVAL);
        // The kernel's driver reaches the three registers of its port.
        if (board.ioperm(d.base, 3, 1) != 0)
            die("the model refused the port of /dev/parport%d", d.number);
        d.claimed = true;
        return 0;
    case PPRELEASE:
        if (!d.claimed)
            return fail(EINVAL);
        d.claimed = false;
        return 0;
    default:
        break;
    }
    if (!data)
        die("ioctl 0x%lX on /dev/parport%d is none the program uses", request, d.number);
    if (!d.claimed)
        return fail(EINVAL);
    ++d.data_ioctls;
    ++ppdev_ioctls;
    if (request == PPWDATA)
        board.outb(*static_cast<unsigned char*>(arg), d.base);
    else
        *static_cast<unsigned char*>(arg) = board.inb(static_cast<uint16_t>(d.base + 1));
    return 0;
}

// ---- The port instructions -------------------------------------------------------------

void on_segv(int, siginfo_t* info, void* context) {
    ucontext_t* uc = static_cast<ucontext_t*>(context);
    greg_t* r = uc->uc_mcontext.gregs;
    // An in/out without permission is a general protection fault: SI_KERNEL, and the
    // instruction itself is readable at the instruction pointer.
    if (info->si_code == SI_KERNEL) {
        ensure_bench();
        const uint8_t* ip = reinterpret_cast<const uint8_t*>(r[REG_RIP]);
        const uint16_t dx = static_cast<uint16_t>(r[REG_RDX]);
        const uint8_t al = static_cast<uint8_t>(r[REG_RAX]);
        vsim::Board& board = vsim::board();
        int length = 0;
        switch (ip[0]) {
        case 0xEC: // in al, dx
            r[REG_RAX] = (r[REG_RAX] & ~static_cast<greg_t>(0xFF)) | board.inb(dx);
            length = 1;
            break;
        case 0xEE: // out dx, al
            board.outb(al, dx);
            length = 1;
            break;
        case 0xE4: // in al, imm8
            r[REG_RAX] = (r[REG_RAX] & ~static_cast<greg_t>(0xFF)) | board.inb(ip[1]);
            length = 2;
            break;
        case 0xE6: // out imm8, al
            board.outb(al, ip[1]);
            length = 2;
            break;
        default:
            break;
        }
        if (length) {
            ++trapped;
            r[REG_RIP] += length;
            return;
        }
    }
    // Not a port instruction: let the fault take its course. A fault comes back as soon as
    // the instruction runs again; a signal sent by someone is sent again.
    static const char text[] = "vantrel harness: a fault that is no port instruction\n";
    (void)!write(2, text, sizeof text - 1);
    signal(SIGSEGV, SIG_DFL);
    if (info->si_code <= 0)
        raise(SIGSEGV);
}

// ---- Set-up and end --------------------------------------------------------------------

std::vector<std::string> split_words(const char* text) {
    std::vector<std::string> words;
    std::string w;
    for (const char* p = text;; ++p) {
        if (*p == '\0' || *p == ' ' || *p == '\t' || *p == '\n') {
            if (!w.empty())
                words.push_back(w);
            w.clear();
            if (*p == '\0')
                return words;
        } else {
            w += *p;
        }
    }
}

// The harness's own options, read in the same pass as the bench's. A bad one ends the
// program at once.
enum { OPT_REFUSE_IOPERM = 0x300, OPT_PPDEV };
const option HARNESS_OPTIONS[] = {
    {"refuse-ioperm", no_argument, nullptr, OPT_REFUSE_IOPERM},
    {"ppdev", required_argument, nullptr, OPT_PPDEV},
    {nullptr, 0, nullptr, 0},
};

int take_harness_option(const CmdWord& w) {
    if (w.code == OPT_REFUSE_IOPERM) {
        if (w.value)
            die("option '--refuse-ioperm' takes no value");
        refuse_ioperm = true;
        return 1;
    }
    if (w.code != OPT_PPDEV)
        return 0;
    if (!w.value)
        die("--ppdev needs N:BASE[:FAULT]");
    add_device(w.value);
    return 1;
}

vsim::OtherOptions harness_options() {
    vsim::OtherOptions o;
    o.table = HARNESS_OPTIONS;
    o.take = take_harness_option;
    return o;
}

// The options, read at load time; the bench is set up on the program's first port call,
// once every static object of this library (the board among them) has been built.
vsim::SimOptions& bench_options() {
    static vsim::SimOptions options;
    return options;
}
bool bench_running = false;

void at_exit() {
    (void)vsim::bench_finish();
    if (bench_options().stats)
        std::fprintf(stderr,
                     "harness: %" PRIu64 " port instructions trapped, %" PRIu64
                     " ppdev data ioctls, %" PRIu64 " ioperm requests\n",
                     trapped, ppdev_ioctls, ioperm_requests);
}

// Registered at load time, so it runs after the board is gone: it must not touch it.
void at_exit_unused() {
    if (!bench_running)
        std::fprintf(stderr, "harness: the program made no port call\n");
}

void ensure_bench() {
    if (bench_running)
        return;
    bench_running = true;
    std::string error;
    if (!vsim::bench_start(bench_options(), "vantrel harness", &error))
        die("%s", error.c_str());
    // After the board was built: its end comes after this.
    std::atexit(at_exit);
}

__attribute__((constructor)) void set_up() {
    // Whatever I/O permission the process inherited goes: from here every port instruction
    // traps, so none can reach a real port. (ENOSYS: a kernel without ioperm and iopl, where
    // no process has any.)
    if ((syscall(SYS_iopl, 0) != 0 && errno != ENOSYS) ||
        (syscall(SYS_ioperm, 0UL, 0x10000UL, 0) != 0 && errno != ENOSYS))
        die("cannot give up the inherited I/O permission (%s)", std::strerror(errno));
    const char* text = std::getenv("VANTREL_HARNESS");
    if (!text)
        die("VANTREL_HARNESS is not set (vantrel-sim's options for the bench)");
    // getopt_long's place is the program's as well: vantrel starts its own from the start.
    const vsim::ParsedOptions parsed = vsim::parse_sim_words(split_words(text), harness_options());
    if (!parsed.ok())
        die("%s", parsed.error.c_str());
    if (parsed.options->help || parsed.options->version || !parsed.options->port.empty())
        die("%s is no bench option: give it to vantrel", parsed.options->help      ? "--help"
                                                         : parsed.options->version ? "--version"
                                                                                   : "--port");
    bench_options() = *parsed.options;
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_sigaction = on_segv;
    sa.sa_flags = SA_SIGINFO;
    sigemptyset(&sa.sa_mask);
    if (sigaction(SIGSEGV, &sa, nullptr) != 0)
        die("cannot catch SIGSEGV");
    std::atexit(at_exit_unused);
}

} // namespace

// ---- What the program calls --------------------------------------------------------------

HARNESS_API int ioperm(unsigned long from, unsigned long num, int turn_on) noexcept {
    ensure_bench();
    if (turn_on)
        ++ioperm_requests;
    if (refuse_ioperm && turn_on) {
        errno = EPERM;
        return -1;
    }
    if (vsim::board().ioperm(from, num, turn_on) != 0) {
        errno = EINVAL;
        return -1;
    }
    return 0;
}

HARNESS_API int iopl(int) noexcept {
    errno = EPERM;
    return -1;
}

// The mode argument exists only when the flags create a file.
#define OPEN_MODE(flags, mode)                                                                     \
    mode_t mode = 0;                                                                               \
    if ((flags) & (O_CREAT | O_TMPFILE)) {                                                         \
        va_list args;                                                                              \
        va_start(args, flags);                                                                     \
        mode = va_arg(args, mode_t);                                                               \
        va_end(args);                                                                              \
    }

HARNESS_API int open(const char* path, int flags, ...) {
    const int fake = fake_open(path);
    if (fake != -2)
        return fake;
    OPEN_MODE(flags, mode);
    static const OpenFn real_open = real<OpenFn>("open");
    return real_open(path, flags, mode);
}

HARNESS_API int open64(const char* path, int flags, ...) {
    const int fake = fake_open(path);
    if (fake != -2)
        return fake;
    OPEN_MODE(flags, mode);
    static const OpenFn real_open64 = real<OpenFn>("open64");
    return real_open64(path, flags, mode);
}

HARNESS_API int openat(int dirfd, const char* path, int flags, ...) {
    const int fake = fake_open(path);
    if (fake != -2)
        return fake;
    OPEN_MODE(flags, mode);
    static const OpenatFn real_openat = real<OpenatFn>("openat");
    return real_openat(dirfd, path, flags, mode);
}

// The checked forms that _FORTIFY_SOURCE puts in place of open() without a mode.
HARNESS_API int __open_2(const char* path, int flags) {
    return open(path, flags);
}

HARNESS_API int __open64_2(const char* path, int flags) {
    return open64(path, flags);
}

HARNESS_API int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    if (FakeDevice* d = device_open_as(fd))
        return fake_ioctl(*d, request, arg);
    // A parallel port ioctl on anything else would be a real port.
    if (_IOC_TYPE(request) == PP_IOCTL)
        die("ppdev ioctl 0x%lX on descriptor %d, which is no fake device", request, fd);
    static const IoctlFn real_ioctl = real<IoctlFn>("ioctl");
    return real_ioctl(fd, request, arg);
}

HARNESS_API int close(int fd) {
    if (FakeDevice* d = device_open_as(fd))
        d->fd = -1;
    static const CloseFn real_close = real<CloseFn>("close");
    return real_close(fd);
}

// For the benchmark: port instructions served so far.
HARNESS_API unsigned long long vantrel_harness_trapped(void) {
    return trapped;
}
