// A port as the operator names it with --port: the base address of its data register in
// hexadecimal (0x378, 0xD010 for a PCI card), or the path of its ppdev device
// (/dev/parport1). Header only, so that the board model's command line can check it too.
#ifndef VANTREL_LINK_PORTNAME_H
#define VANTREL_LINK_PORTNAME_H

#include <cstdint>

enum PORT_NAME { TNAME_BAD = 0, TNAME_BASE, TNAME_DEVICE };

// The last base address with room for the port's three registers below 0x10000.
constexpr unsigned long LAST_PORT_BASE = 0xFFFD;

// TNAME_BASE with the address in *base, TNAME_DEVICE for a path (starting with '/'), or
// TNAME_BAD. The 0x is required: 378 alone could mean either number.
inline int parsePortName(const char* port, uint16_t* base) {
    if (!port || !*port)
        return TNAME_BAD;
    if (port[0] == '/')
        return TNAME_DEVICE;
    if (port[0] != '0' || (port[1] != 'x' && port[1] != 'X') || !port[2])
        return TNAME_BAD;
    unsigned long v = 0;
    for (const char* p = port + 2; *p; p++) {
        const char c = *p;
        unsigned d;
        if (c >= '0' && c <= '9')
            d = (unsigned)(c - '0');
        else if (c >= 'a' && c <= 'f')
            d = (unsigned)(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            d = (unsigned)(c - 'A' + 10);
        else
            return TNAME_BAD;
        v = v * 16 + d;
        if (v > LAST_PORT_BASE)
            return TNAME_BAD;
    }
    if (v == 0)
        return TNAME_BAD;
    *base = (uint16_t)v;
    return TNAME_BASE;
}

#endif
