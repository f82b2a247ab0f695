// The wire protocol by hand, for the board model's own tests: the line bytes of every
// transfer written straight into the one board's port accesses, without the program's waits
// (the model's decoder only sees edges).
#ifndef VANTREL_TESTS_SUPPORT_HAND_WIRE_H
#define VANTREL_TESTS_SUPPORT_HAND_WIRE_H

#include <cstdint>

#include "sim/model/board.h"
#include "sim/model/wiring.h"

// Expectations are in the board's own terms, never in the driver's header.
using namespace vsim::wiring;

struct HandWire {
    uint16_t base = LPT_378;

    void out(uint8_t line) const { vsim::board().outb(line, base); }
    uint8_t status() const { return vsim::board().inb(static_cast<uint16_t>(base + 1)); }

    // Shift `bits` bits of `value` into register `sel`, most significant first, and latch
    // them with the closing write unless `close` is false.
    void shift_word(uint8_t sel, uint32_t value, int bits, bool close = true) const {
        const uint8_t s = static_cast<uint8_t>(sel << D23_SEL_SHIFT);
        out(0x12 + s);
        for (int i = bits - 1; i >= 0; --i) {
            const uint8_t b = (value >> i) & 1;
            out(0x12 + s + b);
            out(0x10 + s + b);
        }
        out(0x12 + s);
        if (close)
            out(0x02 + s);
    }
    void put_adr(uint16_t a) const { shift_word(SR_ADDRESS, a, 16); }
    void put_ic5(uint8_t v) const { shift_word(SR_IC5, v, 8); }
    void put_ic4(uint8_t v) const { shift_word(SR_IC4, v, 8); }
    void put_data(uint8_t v) const {
        out(0x1E);
        for (int i = 7; i >= 0; --i) {
            const uint8_t b = (v >> i) & 1;
            out(0x1E + b);
            out(0x1C + b);
            out(0x1E + b);
        }
    }
    // Shift the data register out over the read-back line (the loopback read).
    uint8_t shift_out() const {
        uint8_t v = 0;
        for (uint8_t mask = 0x80; mask; mask >>= 1) {
            if (status() & S6_READBACK)
                v |= mask;
            out(0x1E);
            out(0x1C);
            out(0x1E);
        }
        return v;
    }
    // Load pulse, then shift out: the chip's byte.
    uint8_t get_data() const {
        out(0x0E);
        out(0x0C);
        out(0x0E);
        return shift_out();
    }
};

#endif
