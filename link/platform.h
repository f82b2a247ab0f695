// The only door to the hardware: the calls that the build links to either the real parallel
// port (vantrel) or the board model (vantrel-sim, tests, benchmarks). Nothing above this
// header knows which one it talks to.
#ifndef VANTREL_LINK_PLATFORM_H
#define VANTREL_LINK_PLATFORM_H

#include <cstdint>

// Ask for access to num consecutive I/O ports from `from`; 0 on success, -1 refused. On a
// PC this is direct access first (ioperm, as root), then the ppdev device of the port whose
// base address is `from`; port_refusal() tells why both failed.
int port_ioperm(unsigned long from, unsigned long num, int turn_on);
// Read one byte from an I/O port.
uint8_t port_inb(uint16_t port);
// Write one byte to an I/O port (value first, then port, as the x86 instruction wrapper).
void port_outb(uint8_t value, uint16_t port);

// Open the ppdev device `path` (/dev/parport1) for the board: 0 and its base address in
// *base, or -1 and port_refusal().
int port_open_device(const char* path, uint16_t* base);

// Why the last port_ioperm or port_open_device answered -1.
enum PORT_REFUSAL {
    TREFUSED_RIGHTS = 0, // neither root's rights nor access to the port's device
    TREFUSED_NO_DEVICE,  // a device path that names no parallel port device
    TREFUSED_NOT_PORT,   // the device's ioctls fail: it is no parallel port
    TREFUSED_BUSY,       // another driver or program holds the port
    TREFUSED_VANISHED,   // the device has gone
};
struct PortRefusal {
    PORT_REFUSAL why;
    char device[64];  // the ppdev device tried, "" when there is none for the port
    const char* call; // the call that failed: "ioperm", "open", "PPCLAIM", ...
    int err;          // its errno
};
const PortRefusal* port_refusal(void);

// 1 when the program holds the port whose data register is `base` (it was opened and has not
// failed since), else 0: a port instruction on any other port would fault.
int port_held(uint16_t base);

// A port that fails after it was opened: its ppdev device gone in the middle of a run (a
// USB-to-parallel bridge unplugged, the module removed). The backend does not end the
// program: it records the first loss, calls `handler` once, and lets every later access to
// that port fail quietly (a read gives 0xFF, the floating status lines of a port with nothing
// behind it), so that the caller can stop and try its clean-up on what is still reachable.
struct PortLoss {
    uint16_t base;    // the port's data register
    char device[64];  // its ppdev device, "" for direct access
    const char* call; // the call that failed: "PPWDATA", "PPRSTATUS", ...
    int err;          // its errno
};
void port_on_loss(void (*handler)(void));
// The first loss, or NULL while every port works.
const PortLoss* port_loss(void);

// Give up root's rights for those of the user who started the program with sudo (SUDO_UID
// and SUDO_GID), keeping the port access already granted. 1 done, 0 nothing to do (not root,
// or not started through sudo), -1 failed (errno).
int port_end_root(void);

#endif
