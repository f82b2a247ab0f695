// The chip runs: read, verify, blank check and programming over a range of addresses.
#ifndef VANTREL_EPROM_IC_FUNC_H
#define VANTREL_EPROM_IC_FUNC_H

unsigned long ReadIC(unsigned char* pByte, unsigned long endRead);
unsigned int CompareIC(unsigned char* pByte, unsigned long endCompare, unsigned int BlankCheck);
unsigned int WriteIC(unsigned char* pByte, unsigned long endWrite);

#endif
