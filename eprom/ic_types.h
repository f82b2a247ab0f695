// The EPROM types the board's one socket can be wired for: what each is called, how far it
// reaches, how the socket is wired for it and how a program pulse reaches its cells. This is
// the one place the program knows these facts; everything else asks here.
#ifndef VANTREL_EPROM_IC_TYPES_H
#define VANTREL_EPROM_IC_TYPES_H

#include <cstdint>

#include "defs.h"

// How a program pulse reaches the chip.
enum PGM_METHOD {
    TPGMNONE = 0, // the board cannot program it (2708, 2716): it is only read
    TPGMCE,       // the pulse is on chip enable, with the programming voltage on Vpp
    TPGMSTROBE,   // chip enable active, the pulse taken low on the package's program strobe pin
    TpgmMax
};

// The socket line that is the package's program strobe input (PGM, active low). It is no
// address pin of the chip, so it is held high while the chip is read.
enum PGM_PIN {
    TPINNONE = 0, // no such pin: the pulse is on chip enable
    TPINA14,      // 2764, 27128: pin 27 of the 28-pin package sits on the A14 line
    TPINA18,      // 27010, 27020: pin 31 of the 32-pin package sits on the A18 line (IC5 bit 2)
    TpinMax
};

struct EpromType {
    int number;               // enum IC
    const char* name;         // the family, as the job's lines print it: "2716", "27256"
    const char* label;        // as the menu shows it: "27C16", "27C256"
    const char* digits;       // what follows "27" (and a C) in a name: "16", "256", "010"
    unsigned long lastAdress; // last address, inclusive
    uint8_t socket;           // IC5 bits 3..7 that wire the socket for it
    uint8_t method;           // PGM_METHOD
    uint8_t strobe;           // PGM_PIN
    // 1 where every line of the address register is an address pin of the chip and no
    // reading rule holds one at a fixed level, so that a read may walk its 64 KiB banks by
    // one-bit shifts of the register (27512 and up; not the 2764/27128, whose A14 line is the
    // strobe held at 1, nor the smaller chips, whose upper lines are no pins of theirs)
    uint8_t quick;
};

// The row of `ICType`, or NULL for a value outside T2708..T27040.
const EpromType* GetEpromType(int ICType);

// The family name ("2716"), or "?" for a value outside the list.
const char* ICTypeName(int ICType);
// The menu's name ("27C16"), or "?".
const char* ICTypeLabel(int ICType);
// Every family name, for messages: "2708, 2716, ..., 27040".
const char* ICTypeNames(void);

// PGM_METHOD of the type (TPGMNONE outside the list).
int ICTypeMethod(int ICType);
// PGM_PIN of the type (TPINNONE outside the list).
int ICTypeStrobe(int ICType);
// 1 when the board can program the type, else 0.
unsigned int ICTypeProgrammable(int ICType);
// The type's `quick` column (0 outside the list).
unsigned int ICTypeQuick(int ICType);

#endif
