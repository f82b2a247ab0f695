// The platform calls of the simulated machine: every port access goes to the one virtual
// board, straight to its inline access path.
#include "link/platform.h"
#include "sim/board.h"

namespace {
vsim::Board the_board;
} // namespace

vsim::Board& vsim::board() {
    return the_board;
}

int port_ioperm(unsigned long from, unsigned long num, int turn_on) {
    return the_board.ioperm(from, num, turn_on);
}

uint8_t port_inb(uint16_t port) {
    return the_board.inb(port);
}

void port_outb(uint8_t value, uint16_t port) {
    the_board.outb(value, port);
}
