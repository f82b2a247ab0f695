// The control registers IC4 (voltages, chip select lines, pulse trigger) and IC5 (upper
// address lines, socket wiring), through the shadows the driver keeps of them.
#ifndef VANTREL_LINK_CTRL_H
#define VANTREL_LINK_CTRL_H

#include <cstdint>

extern uint8_t ic_IC4;        // shadow of IC4 (the board cannot read it back)
extern uint8_t ic_IC5;        // shadow of IC5
extern int vpp;               // chosen programming voltage level (enum VPP)
extern int vcc;               // chosen supply voltage (enum VCC)
extern unsigned int SelectMF; // 0: pulse timed by the board's monoflop, else by a fixed wait

// What IC4 and IC5 really latched last. The shadows may hold changes composed but never
// sent; a transfer held back by a stop or a pause leaves its shadow at the latched byte.
extern uint8_t latched_IC4;
extern uint8_t latched_IC5;

void PutIC5(uint8_t putData);
void PutIC4(uint8_t putData);
void AndIC4(uint8_t value, unsigned int set);
void AndIC5(uint8_t value, unsigned int set);
void OrIC4(uint8_t value, unsigned int set);
void OrIC5(uint8_t value, unsigned int set);
void SetVpp(int vppType);
void SetVcc(unsigned int highVcc);
void SwitchVpp(unsigned int bVpp);
void SwitchCE(unsigned int bCE);
void SwitchOE(unsigned int bOE);
void ResetMFBit(void);
void setAdress(unsigned long adress);
// The socket at rest in one IC4 transfer: programming voltage off, chip enable and output
// enable inactive, the chosen supply (vcc), from what IC4 really latched last: the level
// bits as they are, and the trigger bit at its level, since raising it would start a
// program pulse.
void RestIC4(void);
void UseMF(unsigned int useMf);
unsigned int GetMFSelection(void);

#endif
