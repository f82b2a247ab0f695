// Board detection and port choice. The link layer only finds out; the front end says it to
// the operator and decides whether the program goes on.
#ifndef VANTREL_LINK_DETECT_H
#define VANTREL_LINK_DETECT_H

#include <cstdint>

// What opening a port and testing the board on it came to.
enum PORT_OPEN {
    TPORT_FOUND = 0, // the board answers on the port in Base
    TPORT_NOT_FOUND, // the port is open (Base), but the board does not answer on it
    TPORT_NO_ACCESS, // refused, nothing touched: port_refusal() says why (rights, no device,
                     // not a parallel port, busy, vanished)
    TPORT_BAD_NAME,  // neither a base address nor a device path
    TPORT_LOST,      // a port that failed after it was opened: port_loss() says how
};
constexpr int TportMax = TPORT_LOST + 1;

// What a detection asks the front end to show in a box.
enum DETECT_NOTE {
    TNOTE_NONE = 0, // nothing
    TNOTE_FOUND_AT, // the scan found the board on another port than the one it started on
    TNOTE_NOT_AT,   // the board does not answer on the given port
    TNOTE_NOWHERE,  // the scan: no port passed the loopback test
};

struct Detection {
    PORT_OPEN outcome;
    DETECT_NOTE note;
    uint16_t port; // the port the note names: Base at the end
};

// The board test of the start-up: First == 1 scans the three ports from Base, anything else
// tests Base as a given port. Returns 1 when the board answered on the port left in Base;
// *d (may be NULL) tells the rest. After a failed scan Base is the starting port if the scan
// could open it, else the first port it did open: never a port the program does not hold.
unsigned int vantrel_select(unsigned int First, Detection* d);

// Opens the port named by `port` (see common/portname.h) without a word to the board: 1 (Base
// is its data register now), 0 refused (port_refusal() tells why), -1 no port name.
int openPortByName(const char* port);
// The walking-bit test on the port in Base: 1 when the board hands back every bit shifted
// into its data register.
unsigned int boardAnswers(void);
// Opens the port named by `port` (see common/portname.h) and runs the walking-bit test on
// it: TPORT_FOUND, TPORT_NOT_FOUND (Base is that port all the same), TPORT_NO_ACCESS
// (nothing touched) or TPORT_BAD_NAME.
PORT_OPEN openNamedPort(const char* port);

#endif
