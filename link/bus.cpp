// The serial register bus. The board has no parallel data path: every register is a shift
// register fed one bit per clock pulse over the low five bits of the port data register,
// and the only way back is one status line showing the data shift register's top bit.
#include "link/bus.h"

#include "link/platform.h"
#include "link/port.h"
#include "link/regs.h"
#include "link/stop.h"

// One bus step: put a line byte on the wire and hold it long enough for the board's
// logic to settle; the hold time scales with the square of the delay factor.
static inline void busStep(uint8_t line) {
    port_outb(line, Base);
    us_delay(1);
}

// A transfer starts only if no stop or pause is holding the bus; one that has started
// always ends.
static inline bool busHalted(void) {
    return HaltOnStop && (StopRequest || PauseRequest);
}

static inline uint8_t selectBits(uint8_t sel) {
    return (uint8_t)(sel << LINE_SELECT_SHIFT);
}

// Shift a word into the address register or a control register. The data line is set up
// with the clock high and held while the clock falls, because the board samples it on the
// falling edge; the falling strobe at the end latches the word onto the register's outputs,
// so the socket never sees the bits while they ripple through.
static bool shiftLatched(uint8_t sel, unsigned long word, int bits) {
    if (busHalted())
        return false;
    const uint8_t s = selectBits(sel);
    busStep((uint8_t)(LINE_STROBE | LINE_CLOCK | s));
    for (unsigned long mask = 1UL << (bits - 1); mask != 0; mask >>= 1) {
        const uint8_t b = (word & mask) ? LINE_DATA : 0;
        busStep((uint8_t)(LINE_STROBE | LINE_CLOCK | s | b));
        busStep((uint8_t)(LINE_STROBE | s | b));
        us_delay(1);
    }
    busStep((uint8_t)(LINE_STROBE | LINE_CLOCK | s));
    port_outb((uint8_t)(LINE_CLOCK | s), Base); // closing write: the latch
    return true;
}

void PutAdr(uint16_t putAdr) {
    shiftLatched(SEL_ADDRESS, putAdr, 16);
}

// The address register keeps its bits between transfers: one more bit pushes A0..A14 up by one
// line and puts the new bit on A0, and the falling strobe latches the result as after PutAdr.
void PutAdrBit(uint8_t bit) {
    shiftLatched(SEL_ADDRESS, bit & 1u, 1);
}

// Martin's greedy order: from 0, shift in a 1 wherever that gives an address not yet visited,
// else a 0. It meets each of the 65,536 addresses once and ends at 0x8000.
const uint16_t* AdrWalk(void) {
    static uint16_t walk[0x10000];
    static bool made = false;
    if (made)
        return walk;
    static uint8_t seen[0x10000 / 8];
    uint16_t adr = 0;
    seen[0] = 1;
    for (unsigned long i = 1; i < 0x10000; i++) {
        uint16_t next = (uint16_t)((adr << 1) | 1u);
        if (seen[next >> 3] & (1u << (next & 7)))
            next = (uint16_t)(adr << 1);
        seen[next >> 3] = (uint8_t)(seen[next >> 3] | (1u << (next & 7)));
        walk[i] = adr = next;
    }
    made = true;
    return walk;
}

unsigned int PutRegister(uint8_t sel, uint8_t value) {
    return shiftLatched(sel, value, 8) ? 1 : 0;
}

// The data shift register drives the chip's data pins directly; it has no latch, so no
// closing write is needed and the lines stay with the strobe high.
void PutData(uint8_t out_Data) {
    if (busHalted())
        return;
    const uint8_t s = selectBits(SEL_DATA);
    busStep((uint8_t)(LINE_STROBE | LINE_CLOCK | s));
    for (uint8_t mask = 0x80; mask != 0; mask >>= 1) {
        const uint8_t b = (out_Data & mask) ? LINE_DATA : 0;
        busStep((uint8_t)(LINE_STROBE | LINE_CLOCK | s | b));
        busStep((uint8_t)(LINE_STROBE | s | b));
        busStep((uint8_t)(LINE_STROBE | LINE_CLOCK | s | b));
    }
}

// A clock pulse with the strobe low makes the board copy the chip's data pins into the
// data shift register; eight clock pulses with the strobe high then walk it out over the
// read-back line, top bit first.
uint8_t GetData(void) {
    if (busHalted())
        return 0;
    const uint8_t s = selectBits(SEL_DATA);
    busStep((uint8_t)(LINE_CLOCK | s));
    busStep(s);
    busStep((uint8_t)(LINE_CLOCK | s));
    uint8_t ReadData = 0;
    for (uint8_t mask = 0x80; mask != 0; mask >>= 1) {
        if (InportB() & STATUS_READBACK)
            ReadData = (uint8_t)(ReadData + mask);
        busStep((uint8_t)(LINE_STROBE | LINE_CLOCK | s));
        busStep((uint8_t)(LINE_STROBE | s));
        busStep((uint8_t)(LINE_STROBE | LINE_CLOCK | s));
    }
    return ReadData;
}

// The register as it stands, without the load pulse: right after PutData a working board
// hands back the byte shifted in, which is what the board detection tests for.
uint8_t GetDataIntern(void) {
    if (busHalted())
        return 0;
    const uint8_t s = selectBits(SEL_DATA);
    uint8_t ReadData = 0;
    for (uint8_t mask = 0x80; mask != 0; mask >>= 1) {
        us_delay(2);
        if (InportB() & STATUS_READBACK)
            ReadData = (uint8_t)(ReadData + mask);
        busStep((uint8_t)(LINE_STROBE | LINE_CLOCK | s));
        busStep((uint8_t)(LINE_STROBE | s));
        port_outb((uint8_t)(LINE_STROBE | LINE_CLOCK | s), Base);
    }
    return ReadData;
}
