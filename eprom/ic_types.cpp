// The table of EPROM types. The 2708 needs 26 V pulses and three supplies, the 2716 a 50 ms
// pulse per byte at 25 V: the board drives neither, so both are only read. The 2764 and
// 27128 take their pulse on a strobe pin that the 28-pin socket has on the A14 line, the
// 27010 and 27020 on the A18 line of the 32-pin socket; the 27256, 27512 and 27040 have no
// such pin, since they need all their address lines, and take the pulse on chip enable.
#include "eprom/ic_types.h"

#include <cctype>
#include <cstring>

#include "link/regs.h"

static constexpr EpromType icTypes[TicMax] = {
    {T2708, "2708", "27C08", "08", 0x3FF, SOCKET_2708_2716, TPGMNONE, TPINNONE, 0},
    {T2716, "2716", "27C16", "16", 0x7FF, SOCKET_2708_2716, TPGMNONE, TPINNONE, 0},
    {T2732, "2732", "27C32", "32", 0xFFF, SOCKET_2732, TPGMCE, TPINNONE, 0},
    {T2764, "2764", "27C64", "64", 0x1FFF, SOCKET_2764_27256, TPGMSTROBE, TPINA14, 0},
    {T27128, "27128", "27C128", "128", 0x3FFF, SOCKET_2764_27256, TPGMSTROBE, TPINA14, 0},
    {T27256, "27256", "27C256", "256", 0x7FFF, SOCKET_2764_27256, TPGMCE, TPINNONE, 0},
    {T27512, "27512", "27C512", "512", 0xFFFF, SOCKET_27512, TPGMCE, TPINNONE, 1},
    {T27010, "27010", "27C010", "010", 0x1FFFF, SOCKET_27010_27040, TPGMSTROBE, TPINA18, 1},
    {T27020, "27020", "27C020", "020", 0x3FFFF, SOCKET_27010_27040, TPGMSTROBE, TPINA18, 1},
    {T27040, "27040", "27C040", "040", 0x7FFFF, SOCKET_27010_27040, TPGMCE, TPINNONE, 1},
};

static constexpr bool rowsInTypeOrder() {
    for (int t = 0; t < TicMax; t++)
        if (icTypes[t].number != t)
            return false;
    return true;
}
static_assert(sizeof icTypes / sizeof icTypes[0] == TicMax, "one row per type");
static_assert(rowsInTypeOrder(), "row t is type t");

static constexpr bool strobeOnlyWithItsMethod() {
    for (const EpromType& t : icTypes)
        if ((t.method == TPGMSTROBE) != (t.strobe != TPINNONE))
            return false;
    return true;
}
static_assert(strobeOnlyWithItsMethod(), "a strobe pin exactly for the strobe method");

// A bank walked by shifts drives all sixteen lines of the address register through every
// value: only chips that have all sixteen as address pins, none of them a strobe pin.
static constexpr bool quickOnlyOnSixteenAddressPins() {
    for (const EpromType& t : icTypes)
        if (t.quick && (t.lastAdress < 0xFFFF || t.strobe == TPINA14))
            return false;
    return true;
}
static_assert(quickOnlyOnSixteenAddressPins(), "quick addressing needs A0..A15 as address pins");

const EpromType* GetEpromType(int ICType) {
    if (ICType < 0 || ICType >= TicMax)
        return nullptr;
    return &icTypes[ICType];
}

const char* ICTypeName(int ICType) {
    const EpromType* t = GetEpromType(ICType);
    return t ? t->name : "?";
}

const char* ICTypeLabel(int ICType) {
    const EpromType* t = GetEpromType(ICType);
    return t ? t->label : "?";
}

const char* ICTypeNames(void) {
    static char names[TicMax * 8];
    if (names[0] == '\0') {
        for (int t = 0; t < TicMax; t++) {
            if (t > 0)
                strcat(names, ", ");
            strcat(names, icTypes[t].name);
        }
    }
    return names;
}

int ICTypeMethod(int ICType) {
    const EpromType* t = GetEpromType(ICType);
    return t ? (int)t->method : (int)TPGMNONE;
}

int ICTypeStrobe(int ICType) {
    const EpromType* t = GetEpromType(ICType);
    return t ? (int)t->strobe : (int)TPINNONE;
}

unsigned int ICTypeProgrammable(int ICType) {
    return ICTypeMethod(ICType) != TPGMNONE;
}

unsigned int ICTypeQuick(int ICType) {
    const EpromType* t = GetEpromType(ICType);
    return t ? t->quick : 0;
}
