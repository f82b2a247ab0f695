// Port access and bus timing. Every wait on the bus is a busy loop of status reads: the
// board has no clock of its own that the PC could poll, and the time one read of the
// status register takes is the only time base a parallel port offers.
#include "link/port.h"

#include "link/platform.h"
#include "link/regs.h"
#include "link/stop.h"

uint16_t Base = PORT_LPT_378;
uint8_t Delay = 2;

// Port codes of the start-up prompt, in prompt order.
static const uint16_t portTable[3] = {PORT_LPT_278, PORT_LPT_378, PORT_LPT_3BC};

// A refused request is only recorded (port_refusal() says why): the front end tells the
// operator and ends the program. Without the grant every in/out would fault, so the status
// read is left out, and nothing after it may touch the port (portHeld() is 0).
void setBase(uint16_t newBase) {
    if (newBase != portTable[0] && newBase != portTable[1] && newBase != portTable[2])
        return;
    (void)openPort(newBase);
}

// A ppdev device gone in the middle of a run: the run halts at its next transfer as for a
// stop signal, and its clean-up goes out on whatever still reaches the board.
static void onPortLost(void) {
    if (StopRequest <= 0)
        StopRequest = STOP_PORT_LOST;
}

unsigned int openPort(uint16_t newBase) {
    port_on_loss(onPortLost);
    Base = newBase;
    // Data, status and control register of the port.
    if (port_ioperm(Base, 3, 1) == -1)
        return 0;
    (void)InportB();
    return 1;
}

unsigned int openPortDevice(const char* path) {
    port_on_loss(onPortLost);
    uint16_t base = 0;
    if (port_open_device(path, &base) == -1)
        return 0;
    Base = base;
    (void)InportB();
    return 1;
}

unsigned int portHeld(void) {
    return port_held(Base) ? 1 : 0;
}

int endRootRights(void) {
    return port_end_root() == -1 ? -1 : 0;
}

uint16_t setPort(uint8_t x) {
    if (x < 3)
        setBase(portTable[x]);
    return Base;
}

unsigned int set_delay(uint8_t idelay) {
    if (idelay == 0)
        return 0;
    Delay = idelay;
    return 1;
}

uint8_t get_delay(void) {
    return Delay;
}

void us_delay(uint16_t loops) {
    // The 16-bit counter bounds one wait; a longer product wraps.
    const uint16_t end = (uint16_t)((unsigned long)loops * Delay * Delay);
    for (uint16_t ll = 0; ll < end; ll++)
        (void)InportB();
}

void ms_delay(uint16_t ticks) {
    for (int t = 0; t < ticks; t++)
        us_delay(10);
}

void constDelay(uint16_t anz) {
    for (uint16_t stop = 0; stop < anz; stop++)
        (void)InportB();
}

uint8_t InportB(void) {
    return port_inb((uint16_t)(Base + 1));
}
