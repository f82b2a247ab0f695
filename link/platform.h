// The only door to the hardware: three calls that the build links to either real x86 port
// I/O (vantrel) or the board model (vantrel-sim, tests, benchmarks). Nothing above this
// header knows which one it talks to.
#ifndef VANTREL_LINK_PLATFORM_H
#define VANTREL_LINK_PLATFORM_H

#include <cstdint>

// Ask for access to num consecutive I/O ports from `from`; 0 on success, -1 refused.
int port_ioperm(unsigned long from, unsigned long num, int turn_on);
// Read one byte from an I/O port.
uint8_t port_inb(uint16_t port);
// Write one byte to an I/O port (value first, then port, as the x86 instruction wrapper).
void port_outb(uint8_t value, uint16_t port);

#endif
