// Port access and bus timing: the port in use, its grant, and the busy waits every bus step
// is timed by.
#ifndef VANTREL_LINK_PORT_H
#define VANTREL_LINK_PORT_H

#include <cstdint>

extern uint16_t Base; // data register of the parallel port in use; status is at Base + 1
extern uint8_t Delay; // bus speed factor 1..255: every bus wait grows with its square

// A refused request ends nothing here: port_refusal() (link/platform.h) keeps why, and
// portHeld() is 0 until a port is granted.
void setBase(uint16_t newBase);
uint16_t setPort(uint8_t x);
// Make any `newBase` the port in use and ask for access to it: 1 granted (the status
// register read once, as setBase does), 0 refused (nothing touched).
unsigned int openPort(uint16_t newBase);
// The same for the port behind a ppdev device path; Base becomes its base address.
unsigned int openPortDevice(const char* path);
// 1 while the program holds the port in Base: it was granted and has not failed since.
unsigned int portHeld(void);
// Give up root's rights once the port is open (see port_end_root): 0, or -1 with errno.
int endRootRights(void);
unsigned int set_delay(uint8_t idelay);
uint8_t get_delay(void);
void us_delay(uint16_t loops);
void ms_delay(uint16_t ticks);
void constDelay(uint16_t anz);
uint8_t InportB(void);

#endif
