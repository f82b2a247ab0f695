// The serial register bus: the address register, the data shift register, and the whole-byte
// transfer into a control register that link/ctrl.h builds on.
#ifndef VANTREL_LINK_BUS_H
#define VANTREL_LINK_BUS_H

#include <cstdint>

void PutAdr(uint16_t putAdr);
// One bit shifted into the address register and latched: the lines show ((last << 1) | bit)
// & 0xFFFF. 5 line writes and 5 waits, against PutAdr's 35 and 50.
void PutAdrBit(uint8_t bit);
// The 65,536 values of the address register in an order where each follows from the one
// before by PutAdrBit (of its own bit 0): it starts at 0, the start of every 64 KiB bank, so
// one PutAdr and 65,535 one-bit shifts visit a whole bank. Made at the first call.
const uint16_t* AdrWalk(void);
// One byte shifted into the control register `sel` (SEL_IC4, SEL_IC5 of link/regs.h) and
// latched: 1, or 0 when a halted bus held the transfer back and nothing was sent.
unsigned int PutRegister(uint8_t sel, uint8_t value);
void PutData(uint8_t out_Data);
uint8_t GetData(void);
uint8_t GetDataIntern(void);

#endif
