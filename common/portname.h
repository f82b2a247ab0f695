// A port as the operator names it with --port: the base address of its data register in
// hexadecimal (0x378, 0xD010 for a PCI card), or the path of its ppdev device
// (/dev/parport1). Header only, so that vantrel-sim's bench options can check it too.
#ifndef VANTREL_COMMON_PORTNAME_H
#define VANTREL_COMMON_PORTNAME_H

#include <cstdint>

#include "common/numbers.h"

enum PORT_NAME { TNAME_BAD = 0, TNAME_BASE, TNAME_DEVICE };

// The last base address with room for the port's three registers below 0x10000.
constexpr unsigned long LAST_PORT_BASE = 0xFFFD;

// TNAME_BASE with the address in *base, TNAME_DEVICE for a path (starting with '/'), or
// TNAME_BAD. The 0x is required: 378 alone could mean either number.
inline PORT_NAME parsePortName(const char* port, uint16_t* base) {
    unsigned long long v = 0;
    if (port && port[0] == '/')
        return TNAME_DEVICE;
    if (!parseNumber(port, TNUM_HEX_0X, LAST_PORT_BASE, &v) || v == 0)
        return TNAME_BAD;
    *base = (uint16_t)v;
    return TNAME_BASE;
}

#endif
