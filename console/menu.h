// The main menu and the buffer checksum it shows.
#ifndef VANTREL_CONSOLE_MENU_H
#define VANTREL_CONSOLE_MENU_H

extern int MaxCmd;             // number of command keys
extern const char selection[]; // the command keys, in command order

unsigned short CalcChkSum(const unsigned char* pByte, unsigned long bufSize);
int menu(unsigned short chsum, unsigned long lastAdr);
const char* GetVersion(void);

#endif
