// Board detection. The board gives no identification and no acknowledge; the only proof
// that it is there is that the data shift register hands back what was shifted into it.
#include "link/detect.h"

#include "common/portname.h"
#include "link/bus.h"
#include "link/port.h"
#include "link/regs.h"

// Ports in scan order: each one's successor in the cycle 0x278 -> 0x378 -> 0x3BC -> 0x278.
static uint16_t nextPort(uint16_t port) {
    if (port == PORT_LPT_278)
        return PORT_LPT_378;
    if (port == PORT_LPT_378)
        return PORT_LPT_3BC;
    return PORT_LPT_278;
}

static unsigned int loopbackTest(void) {
    PutData(0x55);
    return GetDataIntern() == 0x55;
}

// A single bit walked through all eight positions catches a stuck or crossed line that
// the 0x55 pattern alone would miss.
static unsigned int walkingBitTest(void) {
    for (uint8_t tc = 0x01; tc != 0; tc = (uint8_t)(tc << 1)) {
        PutData(tc);
        if (GetDataIntern() != tc)
            return 0;
    }
    return 1;
}

// The detection says nothing itself: it tells the front end what it found, which box that
// calls for and on which port.
static unsigned int detected(Detection* d, PORT_OPEN outcome, DETECT_NOTE note) {
    d->outcome = outcome;
    d->note = note;
    d->port = Base;
    return outcome == TPORT_FOUND;
}

unsigned int vantrel_select(unsigned int First, Detection* d) {
    Detection unused;
    if (!d)
        d = &unused;
    const uint16_t savedBase = Base;
    int x = 0;

    if (First != 1) {
        setBase(Base);
        if (!portHeld())
            return detected(d, TPORT_NO_ACCESS, TNOTE_NONE);
        if (walkingBitTest())
            return detected(d, TPORT_FOUND, TNOTE_NONE);
        return detected(d, TPORT_NOT_FOUND, TNOTE_NOT_AT);
    }

    // A port that cannot be opened counts as a port without the board; only when none of the
    // three can be opened is there nothing to scan.
    unsigned int opened = openPort(Base);
    const unsigned int savedOpened = opened;
    uint16_t firstOpened = opened ? Base : 0;
    for (x = 0; x < 3; x++) {
        if (opened && loopbackTest())
            break;
        Base = nextPort(Base);
        opened = openPort(Base);
        if (opened && !firstOpened)
            firstOpened = Base;
    }
    if (!firstOpened) {
        Base = savedBase;
        return detected(d, TPORT_NO_ACCESS, TNOTE_NONE);
    }
    if (opened && walkingBitTest())
        return detected(d, TPORT_FOUND, Base != savedBase ? TNOTE_FOUND_AT : TNOTE_NONE);
    // Back to the port the scan started from, without a new request, but only if it was
    // opened: a port without the grant faults at the first instruction. Otherwise the first
    // port the scan could open.
    Base = savedOpened ? savedBase : firstOpened;
    return detected(d, TPORT_NOT_FOUND, x > 2 ? TNOTE_NOWHERE : TNOTE_NONE);
}

int openPortByName(const char* port) {
    uint16_t base = 0;
    switch (parsePortName(port, &base)) {
    case TNAME_BASE:
        return openPort(base) ? 1 : 0;
    case TNAME_DEVICE:
        return openPortDevice(port) ? 1 : 0;
    case TNAME_BAD:
        return -1;
    }
    return -1;
}

unsigned int boardAnswers(void) {
    return walkingBitTest();
}

PORT_OPEN openNamedPort(const char* port) {
    const int opened = openPortByName(port);
    if (opened < 0)
        return TPORT_BAD_NAME;
    if (opened == 0)
        return TPORT_NO_ACCESS;
    return walkingBitTest() ? TPORT_FOUND : TPORT_NOT_FOUND;
}
