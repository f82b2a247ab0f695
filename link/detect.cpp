// Board detection. The board gives no identification and no acknowledge; the only proof
// that it is there is that the data shift register hands back what was shifted into it.
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "console/conio.h"
#include "console/msgbox.h"
#include "link/hw.h"
#include "link/portname.h"
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

static void showNotFoundAt(void) {
    char tmp[301];
    snprintf(tmp, sizeof tmp, "Vantrel not found at LPT (0x%lX)", (unsigned long)Base);
    MessageBox("Info:", tmp);
}

unsigned int vantrel_select(unsigned int First) {
    char tmp[301];
    unsigned int found = 0;
    const uint16_t savedBase = Base;
    int x = 0;

    if (First == 1) {
        // A port that cannot be opened counts as a port without the board; only when none
        // of the three can be opened is there nothing to scan.
        unsigned int opened = openPort(Base);
        unsigned int openedAny = opened;
        for (x = 0; x < 3; x++) {
            if (opened && loopbackTest())
                break;
            Base = nextPort(Base);
            opened = openPort(Base);
            openedAny |= opened;
        }
        if (!openedAny) {
            showPortRefusal();
            exit(2);
        }
        if (opened && walkingBitTest()) {
            found = 1;
            snprintf(tmp, sizeof tmp, "Vantrel found at LPT: (0x%lX)", (unsigned long)Base);
            if (Base != savedBase)
                MessageBox("Info:", tmp);
        } else {
            Base = savedBase;
            snprintf(tmp, sizeof tmp, "Vantrel not found on 0x278, 0x378 or 0x3BC !");
            if (x > 2)
                MessageBox("Info:", tmp);
        }
    } else {
        setBase(Base);
        if (walkingBitTest())
            found = 1;
        else
            showNotFoundAt();
    }
    return found;
}

int openPortByName(const char* port) {
    uint16_t base = 0;
    switch (parsePortName(port, &base)) {
    case TNAME_BASE:
        return openPort(base) ? 1 : 0;
    case TNAME_DEVICE:
        return openPortDevice(port) ? 1 : 0;
    default:
        return -1;
    }
}

unsigned int boardAnswers(void) {
    return walkingBitTest();
}

int openNamedPort(const char* port) {
    const int opened = openPortByName(port);
    if (opened < 0)
        return TPORT_BAD_NAME;
    if (opened == 0)
        return TPORT_NO_ACCESS;
    return walkingBitTest() ? TPORT_FOUND : TPORT_NOT_FOUND;
}

void selectGivenPort(const char* port) {
    switch (openNamedPort(port)) {
    case TPORT_NOT_FOUND:
        showNotFoundAt();
        break;
    case TPORT_NO_ACCESS:
        showPortRefusal();
        exit(2);
    case TPORT_BAD_NAME:
        fprintf(conOut, "--port '%s': no base address (0x378) nor device (/dev/parport0)\n", port);
        fflush(conOut);
        exit(2);
    default:
        break;
    }
}

// The answer to the port prompt as the low byte of a decimal number, the way an int read
// with %d and passed on as an 8-bit code would come out, but without overflow: *isThree
// is set only for the answer 3 itself. Anything that is not a number gives 255, a code
// that keeps the current port.
static uint8_t parsePortAnswer(const char* s, int* isThree) {
    *isThree = 0;
    while (isspace((unsigned char)*s))
        s++;
    int negative = 0;
    if (*s == '+' || *s == '-') {
        negative = (*s == '-');
        s++;
    }
    if (!isdigit((unsigned char)*s))
        return 255;
    unsigned int low = 0;    // value mod 256
    unsigned long small = 0; // the value, as long as it stays small
    int big = 0;
    for (; isdigit((unsigned char)*s); s++) {
        const unsigned int d = (unsigned int)(*s - '0');
        low = (low * 10 + d) & 0xFF;
        if (!big) {
            small = small * 10 + d;
            if (small > 1000)
                big = 1;
        }
    }
    if (negative)
        low = (256 - low) & 0xFF;
    *isThree = !big && !negative && small == 3;
    return (uint8_t)low;
}

void selectVantrel(void) {
    char answer[64];
    fprintf(conOut, "select Vantrel-Port\n\n");
    fprintf(conOut, "0: Port 0x278\n");
    fprintf(conOut, "1: Port 0x378\n");
    fprintf(conOut, "2: Port 0x3BC\n");
    fprintf(conOut, "3: autoscan\n\n>");
    conFlush();

    int isThree = 0;
    uint8_t code = 255;
    if (conReadLine(answer, sizeof answer) == 1)
        code = parsePortAnswer(answer, &isThree);
    if (isThree)
        vantrel_select(1);
    else {
        setPort(code);
        vantrel_select(0);
    }
}
