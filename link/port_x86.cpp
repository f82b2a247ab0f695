// Real port I/O backend: the x86 in/out instructions, after ioperm(2) has granted them.
#include "link/platform.h"

#include <sys/io.h>

int port_ioperm(unsigned long from, unsigned long num, int turn_on) {
    return ioperm(from, num, turn_on);
}

uint8_t port_inb(uint16_t port) {
    return inb(port);
}

void port_outb(uint8_t value, uint16_t port) {
    outb(value, port);
}
