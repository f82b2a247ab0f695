// EPROM types, socket set-up, addressing, chip states and the program pulse.
#ifndef VANTREL_EPROM_MISC_H
#define VANTREL_EPROM_MISC_H

#include <cstdint>

#include "defs.h"

extern int epromtyp; // selected EPROM type (enum IC)
struct EpromPart;
// The part in the socket as the operator named it, while its type stays selected (a type
// selection of another type ends it); NULL when only the type is known. The burn holds the
// programming voltage to its limit.
extern const EpromPart* epromPart;

unsigned long GetLastAdress(uint16_t ICType);
void SetICType(int ICType);
void adressesetzen(unsigned long adresse, unsigned int isreading);
void EnableEprom(unsigned int reading);
void DisableEprom(void);
void ClearEpromVpp(void);
void CloseWriting(unsigned int highVcc);

unsigned int GetMFBit(unsigned int wait_type, unsigned int changePins);
unsigned int Writing(unsigned char& back, unsigned long adresse, unsigned char value);

#endif
