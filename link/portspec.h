// A port as the operator names it with --port: the base address of its data register in
// hexadecimal (0x378, 0xD010 for a PCI card), or the path of its ppdev device
// (/dev/parport1). Header only, so that the board model's command line can check it too.
#ifndef VANTREL_LINK_PORTSPEC_H
#define VANTREL_LINK_PORTSPEC_H

#include <cstdint>

enum PORT_SPEC { TSPEC_BAD = 0, TSPEC_BASE, TSPEC_DEVICE };

// The last base address with room for the port's three registers below 0x10000.
constexpr unsigned long LAST_PORT_BASE = 0xFFFD;

// TSPEC_BASE with the address in *base, TSPEC_DEVICE for a path (starting with '/'), or
// TSPEC_BAD. The 0x is required: 378 alone could mean either number.
inline int parsePortSpec(const char* spec, uint16_t* base) {
    if (!spec || !*spec)
        return TSPEC_BAD;
    if (spec[0] == '/')
        return TSPEC_DEVICE;
    if (spec[0] != '0' || (spec[1] != 'x' && spec[1] != 'X') || !spec[2])
        return TSPEC_BAD;
    unsigned long v = 0;
    for (const char* p = spec + 2; *p; p++) {
        const char c = *p;
        unsigned d;
        if (c >= '0' && c <= '9')
            d = (unsigned)(c - '0');
        else if (c >= 'a' && c <= 'f')
            d = (unsigned)(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            d = (unsigned)(c - 'A' + 10);
        else
            return TSPEC_BAD;
        v = v * 16 + d;
        if (v > LAST_PORT_BASE)
            return TSPEC_BAD;
    }
    if (v == 0)
        return TSPEC_BAD;
    *base = (uint16_t)v;
    return TSPEC_BASE;
}

#endif
