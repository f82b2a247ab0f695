// The port as the operator hears of it. The menu and the job meet the same port outcomes;
// only their words and their exit statuses differ, and both are decided here.
#include "console/ports.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "console/conio.h"
#include "console/exit_status.h"
#include "console/msgbox.h"
#include "link/ctrl.h"
#include "link/platform.h"
#include "link/port.h"

static FILE* screen(void) {
    return conOut;
}

static FILE* standardError(void) {
    return stderr;
}

// The statuses by outcome: found, not found, no access, bad name, lost. The menu works on a
// port without the board all the same: the operator may plug it in.
const FrontEnd MenuFrontEnd = {
    TTELL_BOXES, screen, {-1, -1, MENU_NO_PORT, MENU_NO_PORT, MENU_NO_PORT}, "vantrel"};

FrontEnd JobFrontEnd(const char* progName) {
    const FrontEnd job = {TTELL_LINES,
                          standardError,
                          {-1, JOB_NO_BOARD, JOB_NO_BOARD, JOB_BAD_USAGE, JOB_NO_BOARD},
                          progName};
    return job;
}

// Why the port could not be opened: the root message with a second line on ppdev, or one
// line on the device that failed.
static void showRefusal(FILE* out) {
    const PortRefusal* r = port_refusal();
    const char* dev = r->device[0] ? r->device : "the port's device";
    switch (r->why) {
    case TREFUSED_NO_DEVICE:
        fprintf(out, "%s: no parallel port device (%s: %s)\n", dev, r->call, strerror(r->err));
        break;
    case TREFUSED_NOT_PORT:
        fprintf(out, "%s: not a parallel port (%s: %s)\n", dev, r->call, strerror(r->err));
        break;
    case TREFUSED_BUSY:
        fprintf(out, "%s: port busy, another driver or program holds it (%s: %s)\n", dev, r->call,
                strerror(r->err));
        break;
    case TREFUSED_VANISHED:
        fprintf(out, "%s: device vanished (%s: %s)\n", dev, r->call, strerror(r->err));
        break;
    case TREFUSED_RIGHTS:
        if (strcmp(r->call, "ioperm") == 0 || !r->device[0])
            fprintf(out, "ioperm(-1) --> you need root-access\n");
        else
            fprintf(out, "%s: %s\n", dev, strerror(r->err));
        // A normal user reaches the port through ppdev, whose devices belong to group lp.
        if (r->device[0])
            fprintf(out,
                    "without root: add your user to group lp for %s (this port), then log "
                    "in again\n",
                    r->device);
        else
            fprintf(out, "without root: load ppdev (modprobe ppdev) and add your user to "
                         "group lp for the port's /dev/parportN\n");
        break;
    }
}

// The port that failed in the middle of a run, and how.
static void showLoss(FILE* out) {
    const PortLoss* l = port_loss();
    if (!l) {
        fprintf(out, "port 0x%X: lost during the run\n", (unsigned)Base);
        return;
    }
    if (l->device[0])
        fprintf(out, "%s: device vanished during the run (%s: %s)\n", l->device, l->call,
                strerror(l->err));
    else
        fprintf(out, "port 0x%X: no access during the run (%s: %s)\n", (unsigned)l->base, l->call,
                strerror(l->err));
}

// The boxes of the board test.
static void showNote(const Detection* d) {
    char tmp[301];
    switch (d->note) {
    case TNOTE_FOUND_AT:
        snprintf(tmp, sizeof tmp, "Vantrel found at LPT: (0x%lX)", (unsigned long)d->port);
        break;
    case TNOTE_NOT_AT:
        snprintf(tmp, sizeof tmp, "Vantrel not found at LPT (0x%lX)", (unsigned long)d->port);
        break;
    case TNOTE_NOWHERE:
        snprintf(tmp, sizeof tmp, "Vantrel not found on 0x278, 0x378 or 0x3BC !");
        break;
    case TNOTE_NONE:
        return;
    }
    MessageBox("Info:", tmp);
}

static void tellMenu(const FrontEnd* fe, const Detection* d, const char* name) {
    FILE* out = fe->stream();
    switch (d->outcome) {
    case TPORT_NO_ACCESS:
        showRefusal(out);
        conFlush();
        break;
    case TPORT_BAD_NAME:
        fprintf(out, "--port '%s': no base address (0x378) nor device (/dev/parport0)\n", name);
        conFlush();
        break;
    case TPORT_LOST:
        showLoss(stderr);
        break;
    case TPORT_FOUND:
    case TPORT_NOT_FOUND:
        showNote(d);
        break;
    }
}

// A job's lines all go to standard error: standard output may carry an image.
static void tellJob(const FrontEnd* fe, const Detection* d, const char* name) {
    FILE* out = fe->stream();
    switch (d->outcome) {
    case TPORT_FOUND:
        break;
    case TPORT_NOT_FOUND:
        fprintf(out, "%s: no Vantrel II answers on the port %s\n", fe->name, name);
        break;
    case TPORT_NO_ACCESS:
        showRefusal(out);
        fprintf(out, "%s: no access to the port %s\n", fe->name, name);
        break;
    case TPORT_BAD_NAME:
        fprintf(out, "%s: --port '%s': no base address (0x378) nor device (/dev/parport0)\n",
                fe->name, name);
        break;
    case TPORT_LOST:
        fprintf(out, "%s: ", fe->name);
        showLoss(out);
        break;
    }
    fflush(out);
}

int startOnPort(const FrontEnd* fe, const Detection* d, const char* name) {
    char named[16];
    if (!name) {
        snprintf(named, sizeof named, "0x%X", (unsigned)Base);
        name = named;
    }
    if (d->outcome == TPORT_FOUND) {
        RestIC4();
        // The port may have failed under the test or the rest state.
        conCheckStop();
    }
    switch (fe->telling) {
    case TTELL_LINES:
        tellJob(fe, d, name);
        break;
    case TTELL_BOXES:
        tellMenu(fe, d, name);
        break;
    }
    return fe->status[d->outcome];
}

void selectGivenPort(const char* port) {
    Detection d = {openNamedPort(port), TNOTE_NONE, 0};
    if (d.outcome == TPORT_NOT_FOUND)
        d.note = TNOTE_NOT_AT;
    d.port = Base;
    const int status = startOnPort(&MenuFrontEnd, &d, port);
    if (status >= 0)
        exit(status);
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
        const unsigned int digit = (unsigned int)(*s - '0');
        low = (low * 10 + digit) & 0xFF;
        if (!big) {
            small = small * 10 + digit;
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
    Detection d;
    if (isThree) {
        vantrel_select(1, &d);
    } else {
        setPort(code);
        vantrel_select(0, &d);
    }
    const int status = startOnPort(&MenuFrontEnd, &d, nullptr);
    if (status >= 0)
        exit(status);
}

int dropRootRights(const FrontEnd* fe) {
    if (endRootRights() == 0)
        return -1;
    const int err = errno;
    FILE* out = fe->stream();
    fprintf(out, "cannot give up root's rights for SUDO_UID %s, SUDO_GID %s (%s)\n",
            getenv("SUDO_UID"), getenv("SUDO_GID"), strerror(err));
    fflush(out);
    return MENU_NO_PORT; // 2 for a job as well: nothing has touched the board yet
}

void endByPortLoss(const void* frontEnd) {
    const FrontEnd* fe = frontEnd ? static_cast<const FrontEnd*>(frontEnd) : &MenuFrontEnd;
    fflush(conOut);
    // On a line of its own on a terminal, where the run's counter has none.
    if (isatty(STDERR_FILENO))
        fputc('\n', stderr);
    const Detection d = {TPORT_LOST, TNOTE_NONE, Base};
    const int status = startOnPort(fe, &d, nullptr);
    fflush(stderr);
    exit(status);
}
