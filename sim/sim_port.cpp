// The platform calls of the simulated machine: every port access goes to the one virtual
// board, straight to its inline access path. The machine has no ppdev devices, so no port
// can go away under the program, and nothing here needs root's rights.
#include <cerrno>
#include <cstdio>

#include "link/platform.h"
#include "sim/model/board.h"

namespace {
PortRefusal refusal = {TREFUSED_RIGHTS, "", "ioperm", EPERM};
} // namespace

int port_ioperm(unsigned long from, unsigned long num, int turn_on) {
    refusal = {TREFUSED_RIGHTS, "", "ioperm", EPERM};
    return vsim::board().ioperm(from, num, turn_on);
}

uint8_t port_inb(uint16_t port) {
    return vsim::board().inb(port);
}

void port_outb(uint8_t value, uint16_t port) {
    vsim::board().outb(value, port);
}

int port_open_device(const char* path, uint16_t*) {
    refusal = {TREFUSED_NO_DEVICE, "", "open", ENOENT};
    std::snprintf(refusal.device, sizeof refusal.device, "%s", path);
    return -1;
}

const PortRefusal* port_refusal(void) {
    return &refusal;
}

int port_held(uint16_t base) {
    vsim::Board& b = vsim::board();
    return b.granted(base) && b.granted(static_cast<uint16_t>(base + 1)) ? 1 : 0;
}

void port_on_loss(void (*)(void)) {}

const PortLoss* port_loss(void) {
    return nullptr;
}

int port_end_root(void) {
    return 0;
}
