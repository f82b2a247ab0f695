// Control registers IC4 and IC5. The board cannot report what they hold, so every change
// is made in a shadow byte and the whole byte is shifted out; composing several changes
// with set = 0 and sending with the last one lets the board see only the final state.
#include "link/ctrl.h"

#include "defs.h"
#include "link/bus.h"
#include "link/regs.h"

uint8_t ic_IC4 = 0;
uint8_t ic_IC5 = 0; // socket pattern of the 27512 with A16..A18 at 0
int vpp = 0;
int vcc = 0;
unsigned int SelectMF = 0;
uint8_t latched_IC4 = 0; // the board's registers power up at 0, like the shadows
uint8_t latched_IC5 = 0;

// A shadow holds what the board latched: a held-back transfer must not look sent, and the
// changes composed for it never reached the board, so the clean-up starts from the truth.
void PutIC5(uint8_t putData) {
    if (PutRegister(SEL_IC5, putData))
        latched_IC5 = putData;
    ic_IC5 = latched_IC5;
}

void PutIC4(uint8_t putData) {
    if (PutRegister(SEL_IC4, putData))
        latched_IC4 = putData;
    ic_IC4 = latched_IC4;
}

void AndIC4(uint8_t value, unsigned int set) {
    ic_IC4 = (uint8_t)(ic_IC4 & value);
    if (set)
        PutIC4(ic_IC4);
}

void AndIC5(uint8_t value, unsigned int set) {
    ic_IC5 = (uint8_t)(ic_IC5 & value);
    if (set)
        PutIC5(ic_IC5);
}

void OrIC4(uint8_t value, unsigned int set) {
    ic_IC4 = (uint8_t)(ic_IC4 | value);
    if (set)
        PutIC4(ic_IC4);
}

void OrIC5(uint8_t value, unsigned int set) {
    ic_IC5 = (uint8_t)(ic_IC5 | value);
    if (set)
        PutIC5(ic_IC5);
}

// A new level goes out at once, even while the programming voltage is switched on.
void SetVpp(int vppType) {
    AndIC4((uint8_t)~IC4_VPP_LEVEL, 0);
    switch (vppType) {
    case 0:
        vpp = 0;
        break;
    case 1:
        vpp = 1;
        OrIC4(IC4_VPP_21, 0);
        break;
    case 2:
        vpp = 2;
        OrIC4(IC4_VPP_25, 0);
        break;
    default: // 11 would be no level at all; stay at 12.75 V
        break;
    }
    PutIC4(ic_IC4);
}

void SetVcc(unsigned int highVcc) {
    if (highVcc == 0)
        OrIC4(IC4_VCC_5V, 1);
    else
        AndIC4((uint8_t)~IC4_VCC_5V, 1);
}

void SwitchVpp(unsigned int bVpp) {
    if (bVpp)
        OrIC4(IC4_VPP_ON, 1);
    else
        AndIC4((uint8_t)~IC4_VPP_ON, 1);
}

void SwitchCE(unsigned int bCE) {
    if (bCE)
        OrIC4(IC4_CE_OFF, 1);
    else
        AndIC4((uint8_t)~IC4_CE_OFF, 1);
}

void SwitchOE(unsigned int bOE) {
    if (bOE)
        OrIC4(IC4_OE_OFF, 1);
    else
        AndIC4((uint8_t)~IC4_OE_OFF, 1);
}

void ResetMFBit(void) {
    AndIC4((uint8_t)~IC4_MF_TRIGGER, 1);
}

// Bits above A18 are not masked: they would reach the socket field, so callers keep the
// address at or below 0x7FFFF.
void setAdress(unsigned long adress) {
    PutAdr((uint16_t)(adress & 0xFFFF));
    AndIC5(IC5_SOCKET, 0);
    OrIC5((uint8_t)((adress >> 16) & 0xFF), 1);
}

void RestIC4(void) {
    uint8_t rest = (uint8_t)(latched_IC4 & (IC4_MF_TRIGGER | IC4_VPP_LEVEL));
    rest |= IC4_CE_OFF | IC4_OE_OFF;
    if (vcc == T5V)
        rest |= IC4_VCC_5V;
    PutIC4(rest);
}

void UseMF(unsigned int useMf) {
    SelectMF = useMf;
}

unsigned int GetMFSelection(void) {
    return SelectMF;
}
