// The chip runs as the menu shows them: a line when the run starts, the address counter on
// one line, and a framed message with the outcome.
#ifndef VANTREL_CONSOLE_CHIPRUNS_H
#define VANTREL_CONSOLE_CHIPRUNS_H

#define INFO_SIZE 500
extern char bigInfo[INFO_SIZE]; // progress counter and result texts of the read-only runs

// Copies the chip into pByte[0..endRead]; endRead after a complete read, else 0.
unsigned long ReadIC(unsigned char* pByte, unsigned long endRead);
// Verify (BlankCheck 0) or blank check over 0..endCompare; 1 if every cell matched.
unsigned int CompareIC(unsigned char* pByte, unsigned long endCompare, unsigned int BlankCheck);
// Programs pByte[0..endWrite] into the chip; 1 if every cell took its byte.
unsigned int WriteIC(unsigned char* pByte, unsigned long endWrite);

#endif
