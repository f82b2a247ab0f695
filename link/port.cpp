// Port access and bus timing. Every wait on the bus is a busy loop of status reads: the
// board has no clock of its own that the PC could poll, and the time one read of the
// status register takes is the only time base a parallel port offers.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console/conio.h"
#include "link/hw.h"
#include "link/regs.h"
#include "link/platform.h"

uint16_t Base = PORT_LPT_378;
uint8_t Delay = 2;

// Port codes of the start-up prompt, in prompt order.
static const uint16_t portTable[3] = {PORT_LPT_278, PORT_LPT_378, PORT_LPT_3BC};

void setBase(uint16_t newBase) {
    if (newBase != portTable[0] && newBase != portTable[1] && newBase != portTable[2])
        return;
    if (!openPort(newBase)) {
        // Without the grant every in/out would fault; there is no board to talk to.
        showPortRefusal();
        exit(2);
    }
}

unsigned int openPort(uint16_t newBase) {
    Base = newBase;
    // Data, status and control register of the port.
    if (port_ioperm(Base, 3, 1) == -1)
        return 0;
    (void)InportB();
    return 1;
}

unsigned int openPortDevice(const char* path) {
    uint16_t base = 0;
    if (port_open_device(path, &base) == -1)
        return 0;
    Base = base;
    (void)InportB();
    return 1;
}

void showPortRefusal(void) {
    const PortRefusal* r = port_refusal();
    const char* dev = r->device[0] ? r->device : "the port's device";
    switch (r->why) {
    case TREFUSED_NO_DEVICE:
        fprintf(conOut, "%s: no parallel port device (%s: %s)\n", dev, r->call, strerror(r->err));
        break;
    case TREFUSED_NOT_PORT:
        fprintf(conOut, "%s: not a parallel port (%s: %s)\n", dev, r->call, strerror(r->err));
        break;
    case TREFUSED_BUSY:
        fprintf(conOut, "%s: port busy, another driver or program holds it (%s: %s)\n", dev,
                r->call, strerror(r->err));
        break;
    case TREFUSED_VANISHED:
        fprintf(conOut, "%s: device vanished (%s: %s)\n", dev, r->call, strerror(r->err));
        break;
    default:
        if (strcmp(r->call, "ioperm") == 0 || !r->device[0])
            fprintf(conOut, "ioperm(-1) --> you need root-access\n");
        else
            fprintf(conOut, "%s: %s\n", dev, strerror(r->err));
        // A normal user reaches the port through ppdev, whose devices belong to group lp.
        if (r->device[0])
            fprintf(conOut,
                    "without root: add your user to group lp for %s (this port), then log "
                    "in again\n",
                    r->device);
        else
            fprintf(conOut, "without root: load ppdev (modprobe ppdev) and add your user to "
                            "group lp for the port's /dev/parportN\n");
        break;
    }
    fflush(conOut);
}

void endRootRights(void) {
    if (port_end_root() == -1) {
        const int err = errno;
        fprintf(conOut, "cannot give up root's rights for SUDO_UID %s, SUDO_GID %s (%s)\n",
                getenv("SUDO_UID"), getenv("SUDO_GID"), strerror(err));
        fflush(conOut);
        exit(2);
    }
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
