// Chip set-up and addressing. The board has one socket for every type; IC5's upper five
// bits rewire it per family, and its lower three bits are A16..A18. Some packages use an
// address line as their program strobe input (PGM): A14 on the 2764 and 27128, A18 on the
// 27010 and 27020. That pin is held high while such a chip is read so that a read can
// never look like a program pulse.
#include "eprom/misc.h"

#include "link/hw.h"
#include "link/regs.h"

int epromtyp = T27512;

struct EpromType {
    unsigned long lastAdress; // last address, inclusive
    uint8_t socket;           // IC5 bits 3..7
};

static const EpromType epromTable[TicMax] = {
    {0x3FF, SOCKET_2708_2716},     // 2708
    {0x7FF, SOCKET_2708_2716},     // 2716
    {0xFFF, SOCKET_2732},          // 2732
    {0x1FFF, SOCKET_2764_27256},   // 2764
    {0x3FFF, SOCKET_2764_27256},   // 27128
    {0x7FFF, SOCKET_2764_27256},   // 27256
    {0xFFFF, SOCKET_27512},        // 27512
    {0x1FFFF, SOCKET_27010_27040}, // 27010
    {0x3FFFF, SOCKET_27010_27040}, // 27020
    {0x7FFFF, SOCKET_27010_27040}, // 27040
};
static_assert(sizeof epromTable / sizeof epromTable[0] == TicMax, "one row per type");

static bool pgmOnA14(int type) {
    return type == T2764 || type == T27128;
}
static bool pgmOnA18(int type) {
    return type == T27010 || type == T27020;
}

unsigned long GetLastAdress(uint16_t ICType) {
    if (ICType >= TicMax)
        return 0;
    return epromTable[ICType].lastAdress;
}

void SetICType(int ICType) {
    if (ICType < 0 || ICType >= TicMax)
        return;
    const uint8_t pattern = epromTable[ICType].socket;
    AndIC5(IC5_HIGH_ADDRESS, 0);
    // The new wiring goes out first with the old A16..A18, then they are cleared.
    if (pattern == 0)
        AndIC5(IC5_HIGH_ADDRESS, 1);
    else
        OrIC5(pattern, 1);
    AndIC5(IC5_SOCKET, 1);
    epromtyp = ICType;
}

void adressesetzen(unsigned long adresse, unsigned int isreading) {
    uint16_t low = (uint16_t)(adresse & 0xFFFF);
    if (isreading && pgmOnA14(epromtyp))
        low |= ADDR_A14;
    PutAdr(low);
    // A16..A18 only change at address 0 and above 0xFFFF: within the first 64 KiB IC5 is
    // sent once, when a run starts at address 0.
    if (adresse >= 1 && adresse <= 0xFFFF)
        return;
    const uint8_t high = (uint8_t)((adresse >> 16) & 0xFF);
    if (!isreading) {
        AndIC5(IC5_SOCKET, 0);
        OrIC5(high, 1);
    } else if (pgmOnA18(epromtyp)) {
        AndIC5(IC5_SOCKET, 0);
        OrIC5((uint8_t)(high | IC5_A18), 1);
    } else if (epromtyp == T27040) {
        AndIC5(IC5_SOCKET, 0);
        OrIC5(high, 1);
    }
}

void EnableEprom(unsigned int reading) {
    PutAdr(0);
    AndIC5(IC5_SOCKET, 1);
    if (reading) {
        AndIC4((uint8_t) ~(IC4_CE_OFF | IC4_OE_OFF), 1);
    } else {
        // Programming set-up: trigger reset, 6.25 V supply, chip deselected.
        AndIC4((uint8_t) ~(IC4_MF_TRIGGER | IC4_VCC_5V), 0);
        OrIC4(IC4_CE_OFF, 1);
    }
}

void DisableEprom(void) {
    OrIC4(IC4_CE_OFF | IC4_OE_OFF, 1);
}

// Also brings the shadow's voltage switch back to 0 when a pulse was prepared but never
// sent, so that no later IC4 transfer switches the programming voltage on.
void ClearEpromVpp(void) {
    AndIC4((uint8_t) ~(IC4_VPP_ON | IC4_CE_OFF), 0);
    OrIC4(IC4_CE_OFF | IC4_OE_OFF, 1);
}

void CloseWriting(unsigned int highVcc) {
    if (highVcc)
        AndIC4((uint8_t)~IC4_VCC_5V, 0);
    else
        OrIC4(IC4_VCC_5V, 0);
    AndIC4((uint8_t) ~(IC4_CE_OFF | IC4_OE_OFF), 0);
    OrIC4(IC4_CE_OFF | IC4_OE_OFF, 1);
}
