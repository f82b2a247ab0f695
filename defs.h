// Shared enumerations and types of vantrel, the Vantrel II EPROM programmer driver.
#ifndef VANTREL_DEFS_H
#define VANTREL_DEFS_H

// EPROM types the board's socket can be wired for, in menu order.
enum IC {
    T2708 = 0,
    T2716,
    T2732,
    T2764,
    T27128,
    T27256,
    T27512,
    T27010,
    T27020,
    T27040,
    TicMax // number of types
};

// Programming voltage levels (IC4 bits 6 and 7); the menu shows 12 V, 21 V and 25 V.
enum VPP { T12_75V = 0, T21V, T25V, TvppMax };

// Supply voltage during verify and programming (IC4 bit 5).
enum VCC { T5V = 0, T6_25V, TvccMax };

// Bus delay stepping keys of the menu.
enum TDELAY { MINUS = 0, PLUS, TdelayMax };

// Chip commands of the menu.
enum ACTION_IC { TICREAD = 0, TICWRITE, TICVERIFY, TICBLANK, TicactionMax };

// File commands of the menu.
enum ACTION_FILE { TFILEREAD = 0, TFILEWRITE, TFILEEXIT, TicfileMax };

// Groups of the main menu; the screen shows Delay before Menu-IC, as its commands come.
enum MENU { TVPP = 0, TVCC, TIC, TACTION_IC, TDELAY, TACTION_FILE, TmenuMax };

typedef char* PCHAR;

// Size of the work buffer: the largest chip, a 27C040, holds 512 KiB.
#define BUFFER_SIZE 0x80000UL

static_assert(TicMax == 10, "ten EPROM types");
static_assert(TvppMax == 3 && TvccMax == 2, "voltage choices");

#endif
