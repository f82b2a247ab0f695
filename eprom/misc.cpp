// Chip set-up and addressing. The board has one socket for every type; IC5's upper five
// bits rewire it per family, and its lower three bits are A16..A18. Some packages use an
// address line as their program strobe input (PGM): A14 on the 2764 and 27128, A18 on the
// 27010 and 27020. That pin is held high while such a chip is read so that a read can
// never look like a program pulse.
#include "eprom/misc.h"

#include "eprom/ic_types.h"
#include "eprom/parts.h"
#include "link/bus.h"
#include "link/ctrl.h"
#include "link/regs.h"

int epromtyp = T27512;
const EpromPart* epromPart = nullptr;

unsigned long GetLastAdress(uint16_t ICType) {
    const EpromType* t = GetEpromType(ICType);
    return t ? t->lastAdress : 0;
}

void SetICType(int ICType) {
    const EpromType* t = GetEpromType(ICType);
    if (!t)
        return;
    const uint8_t pattern = t->socket;
    AndIC5(IC5_HIGH_ADDRESS, 0);
    // The new wiring goes out first with the old A16..A18, then they are cleared.
    if (pattern == 0)
        AndIC5(IC5_HIGH_ADDRESS, 1);
    else
        OrIC5(pattern, 1);
    AndIC5(IC5_SOCKET, 1);
    epromtyp = ICType;
    if (epromPart && epromPart->type != ICType)
        epromPart = nullptr; // another chip in the socket
}

void adressesetzen(unsigned long adresse, unsigned int isreading) {
    const EpromType* t = GetEpromType(epromtyp);
    const int strobe = ICTypeStrobe(epromtyp);
    uint16_t low = (uint16_t)(adresse & 0xFFFF);
    if (isreading && strobe == TPINA14)
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
    } else if (t && t->lastAdress > 0xFFFF) {
        // The 32-pin chips take A16 and up from IC5, a strobe pin on A18 held high while they
        // are read; the smaller chips have no such pins and IC5 is left alone.
        AndIC5(IC5_SOCKET, 0);
        OrIC5((uint8_t)(strobe == TPINA18 ? high | IC5_A18 : high), 1);
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
