// Real port I/O backend for Linux on x86. A port is reached one of two ways, tried in this
// order when it is opened: direct access through ioperm(2) and the in/out instructions
// (root, or the CAP_SYS_RAWIO capability; the fastest), or the ppdev driver's device of the
// port (/dev/parportN, usually group lp), where a data register write is the PPWDATA ioctl
// and a status register read the PPRSTATUS ioctl. The board sees the same line bytes either
// way, and since the bus waits count status reads, one ioctl is one delay unit.
#include "link/platform.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <linux/ppdev.h>
#include <pwd.h>
#include <sys/io.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// A port the program has opened: directly (fd -1) or through its ppdev device.
struct OpenPort {
    uint16_t base;
    int fd;
    char device[64];
    bool lost; // a call on its device failed after it was opened
};

// The start-up opens at most the three classic ports and one given on the command line.
constexpr int MAX_PORTS = 8;
OpenPort ports[MAX_PORTS];
int portCount = 0;
OpenPort* lastPort = nullptr;

// ppdev serves parport0 .. parport15.
constexpr int PARPORT_MAX = 16;

PortRefusal refusal = {TREFUSED_RIGHTS, "", "ioperm", EPERM};
PortLoss loss = {0, "", "", 0};
bool anyLost = false;
void (*lossHandler)(void) = nullptr;

void refuse(PORT_REFUSAL why, const char* device, const char* call, int err) {
    refusal.why = why;
    snprintf(refusal.device, sizeof refusal.device, "%s", device);
    refusal.call = call;
    refusal.err = err;
}

OpenPort* findPort(uint16_t base) {
    if (lastPort && lastPort->base == base)
        return lastPort;
    for (int i = 0; i < portCount; i++)
        if (ports[i].base == base)
            return lastPort = &ports[i];
    return nullptr;
}

// The base address that procfs gives for parport `n` (the first number of base-addr), or -1.
long procfsBase(int n) {
    char path[64];
    snprintf(path, sizeof path, "/proc/sys/dev/parport/parport%d/base-addr", n);
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    char text[64];
    const ssize_t len = read(fd, text, sizeof text - 1);
    close(fd);
    if (len <= 0)
        return -1;
    text[len] = '\0';
    char* end = nullptr;
    const unsigned long v = strtoul(text, &end, 10);
    if (end == text || v > 0xFFFF)
        return -1;
    return (long)v;
}

// The parport number of a device path (/dev/parport1, or a link to it), or -1.
int deviceNumber(const char* path) {
    char real[PATH_MAX];
    const char* name = realpath(path, real) ? real : path;
    const char* slash = strrchr(name, '/');
    if (slash)
        name = slash + 1;
    if (strncmp(name, "parport", 7) != 0 || !isdigit((unsigned char)name[7]))
        return -1;
    char* end = nullptr;
    const long n = strtol(name + 7, &end, 10);
    return (*end == '\0' && n < PARPORT_MAX) ? (int)n : -1;
}

void releaseDevices(void) {
    for (int i = 0; i < portCount; i++) {
        if (ports[i].fd < 0)
            continue;
        (void)ioctl(ports[i].fd, PPRELEASE);
        close(ports[i].fd);
        ports[i].fd = -1;
    }
}

// A failed ioctl while opening parport `n`'s device: ENXIO comes both from a port that has
// gone and from an exclusive claim that another driver's registration blocks.
PORT_REFUSAL ioctlRefusal(int err, int n) {
    if (err == EBUSY)
        return TREFUSED_BUSY;
    if (err == ENXIO)
        return (n >= 0 && procfsBase(n) < 0) ? TREFUSED_VANISHED : TREFUSED_BUSY;
    if (err == ENODEV || err == EIO)
        return TREFUSED_VANISHED;
    return TREFUSED_NOT_PORT;
}

// Open `device` for parport `n` (-1 if unknown), take it for this program alone and claim the
// port: the descriptor, or -1 with the refusal set. `named` is true when the operator gave the
// path: a path that does not exist is then no device, not a matter of rights.
int claimDevice(const char* device, int n, bool named) {
    const int fd = open(device, O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        if (err == EACCES || err == EPERM || (err == ENOENT && !named))
            refuse(TREFUSED_RIGHTS, device, "open", err);
        else if (err == ENODEV || err == ENXIO)
            refuse(TREFUSED_VANISHED, device, "open", err);
        else
            refuse(TREFUSED_NO_DEVICE, device, "open", err);
        return -1;
    }
    const char* call = "PPEXCL";
    if (ioctl(fd, PPEXCL) == 0) {
        call = "PPCLAIM";
        if (ioctl(fd, PPCLAIM) == 0)
            return fd;
    }
    const int err = errno;
    close(fd);
    refuse(ioctlRefusal(err, n), device, call, err);
    return -1;
}

bool addPort(uint16_t base, int fd, const char* device) {
    if (portCount == MAX_PORTS) {
        if (fd >= 0)
            close(fd);
        refuse(TREFUSED_NO_DEVICE, device, "open", EMFILE);
        return false;
    }
    OpenPort& p = ports[portCount++];
    p.base = base;
    p.fd = fd;
    p.lost = false;
    snprintf(p.device, sizeof p.device, "%s", device);
    if (fd >= 0) {
        static bool releaseAtExit = false;
        if (!releaseAtExit)
            atexit(releaseDevices);
        releaseAtExit = true;
    }
    return true;
}

// A call that failed on a port after it was opened (`p`), or an access to a port the program
// never opened (`p` NULL, which would fault as an instruction): nothing more goes through it.
// Only the first loss is told; the device is still tried by the clean-up that follows.
void portLost(OpenPort* p, uint16_t base, const char* call, int err) {
    if (p)
        p->lost = true;
    if (anyLost)
        return;
    anyLost = true;
    loss.base = base;
    snprintf(loss.device, sizeof loss.device, "%s", p ? p->device : "");
    loss.call = call;
    loss.err = err;
    if (lossHandler)
        lossHandler();
}

} // namespace

int port_ioperm(unsigned long from, unsigned long num, int turn_on) {
    if (!turn_on || from > 0xFFFF)
        return ioperm(from, num, turn_on);
    const uint16_t base = (uint16_t)from;
    if (findPort(base))
        return 0;
    if (ioperm(from, num, 1) == 0)
        return addPort(base, -1, "") ? 0 : -1;
    const int iopermErr = errno;
    refuse(TREFUSED_RIGHTS, "", "ioperm", iopermErr);
    for (int n = 0; n < PARPORT_MAX; n++) {
        if (procfsBase(n) != (long)base)
            continue;
        char device[32];
        snprintf(device, sizeof device, "/dev/parport%d", n);
        const int fd = claimDevice(device, n, false);
        if (fd < 0) {
            // For lack of rights the root message stands, with the device to ask for.
            if (refusal.why == TREFUSED_RIGHTS)
                refuse(TREFUSED_RIGHTS, device, "ioperm", iopermErr);
            return -1;
        }
        return addPort(base, fd, device) ? 0 : -1;
    }
    return -1;
}

int port_open_device(const char* path, uint16_t* base) {
    const int n = deviceNumber(path);
    for (int i = 0; i < portCount; i++) {
        if (ports[i].fd >= 0 && strcmp(ports[i].device, path) == 0) {
            *base = ports[i].base;
            return 0;
        }
    }
    const int fd = claimDevice(path, n, true);
    if (fd < 0)
        return -1;
    const long b = n >= 0 ? procfsBase(n) : -1;
    if (b <= 0) {
        (void)ioctl(fd, PPRELEASE);
        close(fd);
        refuse(TREFUSED_NO_DEVICE, path, "base-addr", ENOENT);
        return -1;
    }
    *base = (uint16_t)b;
    return addPort(*base, fd, path) ? 0 : -1;
}

const PortRefusal* port_refusal(void) {
    return &refusal;
}

int port_held(uint16_t base) {
    const OpenPort* p = findPort(base);
    return p && !p->lost;
}

void port_on_loss(void (*handler)(void)) {
    lossHandler = handler;
}

const PortLoss* port_loss(void) {
    return anyLost ? &loss : nullptr;
}

// A port that was never opened is not touched: without the grant the instruction faults.
uint8_t port_inb(uint16_t port) {
    const uint16_t base = (uint16_t)(port - 1);
    OpenPort* p = findPort(base);
    if (!p) {
        portLost(nullptr, base, "in", EPERM);
        return 0xFF;
    }
    if (p->fd < 0)
        return inb(port);
    unsigned char v = 0;
    if (ioctl(p->fd, PPRSTATUS, &v) == -1) {
        portLost(p, base, "PPRSTATUS", errno);
        return 0xFF;
    }
    return v;
}

void port_outb(uint8_t value, uint16_t port) {
    OpenPort* p = findPort(port);
    if (!p) {
        portLost(nullptr, port, "out", EPERM);
        return;
    }
    if (p->fd < 0) {
        outb(value, port);
        return;
    }
    unsigned char v = value;
    if (ioctl(p->fd, PPWDATA, &v) == -1)
        portLost(p, port, "PPWDATA", errno);
}

// A decimal id as sudo puts it into the environment.
static bool parseId(const char* text, unsigned long* id) {
    if (!text || !isdigit((unsigned char)*text))
        return false;
    char* end = nullptr;
    errno = 0;
    *id = strtoul(text, &end, 10);
    return errno == 0 && *end == '\0' && *id < (unsigned long)(uid_t)-1;
}

int port_end_root(void) {
    const char* uidText = getenv("SUDO_UID");
    const char* gidText = getenv("SUDO_GID");
    if (geteuid() != 0 || !uidText || !gidText)
        return 0;
    unsigned long uidValue = 0, gidValue = 0;
    if (!parseId(uidText, &uidValue) || !parseId(gidText, &gidValue)) {
        errno = EINVAL;
        return -1;
    }
    const uid_t uid = (uid_t)uidValue;
    const gid_t gid = (gid_t)gidValue;
    // The user's own groups (lp among them, maybe), else the one group sudo names.
    const struct passwd* pw = getpwuid(uid);
    if ((pw ? initgroups(pw->pw_name, gid) : setgroups(1, &gid)) == -1)
        return -1;
    if (setresgid(gid, gid, gid) == -1 || setresuid(uid, uid, uid) == -1)
        return -1;
    // For good: no way back to root from here.
    if (uid != 0 && (setuid(0) == 0 || geteuid() == 0)) {
        errno = EPERM;
        return -1;
    }
    return 1;
}
