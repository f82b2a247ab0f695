// The menu's chip runs: the run itself is eprom/'s; here is what the operator sees of it.
// A stopped run shows nothing more: the program is about to end.
#include "console/chipruns.h"

#include <cstdio>

#include "console/conio.h"
#include "console/menu.h"
#include "console/msgbox.h"
#include "defs.h"
#include "eprom/ic_func.h"
#include "eprom/misc.h"
#include "eprom/parts.h"
#include "link/ctrl.h"

char bigInfo[INFO_SIZE];

namespace {

// The address overwrites itself at the start of one console line.
void showCounter(void* user, unsigned long adresse, unsigned long) {
    char* buf = static_cast<char*>(user);
    lineBack();
    snprintf(buf, INFO_SIZE, "%lX", adresse);
    flushString(buf);
}

void pauseHere(void*, int sig) {
    conPause(sig);
}

RunHooks menuHooks(char* buf) {
    RunHooks hooks = {showCounter, pauseHere, buf};
    return hooks;
}

} // namespace

unsigned long ReadIC(unsigned char* pByte, unsigned long endRead) {
    if (!pByte)
        return 0;
    fprintf(conOut, "reading...\n");
    const RunHooks hooks = menuHooks(bigInfo);
    const RunResult r = RunRead(pByte, endRead, &hooks, TADR_PLAIN);
    if (r.outcome == RUN_NO_RANGE)
        MessageBox("Error:", "-->  endAdr=0 !");
    if (r.outcome != RUN_OK)
        return 0;
    unsigned long ffwert = 0;
    for (unsigned long i = 0; i <= endRead; i++)
        ffwert += pByte[i] == 0xFF;
    lineBack();
    if (ffwert > endRead)
        fprintf(conOut, "read: %lX\nall Bytes FF", endRead);
    else
        fprintf(conOut, "read: %lX", endRead);
    const unsigned short chsum = CalcChkSum(pByte, endRead);
    snprintf(bigInfo, sizeof bigInfo, "read %lu bytes to buffer ( 0x%lX ) - [#%lX]", endRead,
             endRead, (unsigned long)chsum);
    MessageBox("Ready:", bigInfo);
    return endRead;
}

// The run has sent its clean-up before any box: a chip pulled while the box waits is not
// selected at 6.25 V.
unsigned int CompareIC(unsigned char* pByte, unsigned long endCompare, unsigned int BlankCheck) {
    if (!pByte && !BlankCheck)
        return 0;
    fprintf(conOut, BlankCheck ? "blank-check...\n" : "comparing...\n");
    const RunHooks hooks = menuHooks(bigInfo);
    const RunResult r = RunCompare(pByte, endCompare, BlankCheck, 0, &hooks, TADR_PLAIN);
    switch (r.outcome) {
    case RUN_OK:
        break;
    case RUN_NO_RANGE:
        MessageBox("Error:", "-->   endAdr=0 !");
        return 0;
    case RUN_NOT_BLANK:
        snprintf(bigInfo, sizeof bigInfo, "not blank at adr: 0x%lX", r.adresse);
        MessageBox("Error:", bigInfo);
        return 0;
    case RUN_MISMATCH:
        snprintf(bigInfo, sizeof bigInfo, "error at adr: 0x%lX   read: 0x%lX   buffer: 0x%lX",
                 r.adresse, (unsigned long)r.chip, (unsigned long)r.wanted);
        MessageBox("Error:", bigInfo);
        return 0;
    case RUN_STOPPED: // the program is about to end
    case RUN_NO_BUFFER:
    case RUN_WRITE_ERROR: // a burn's outcomes
    case RUN_TIMEOUT:
    case RUN_NOT_SUPPORTED:
    case RUN_REFUSED:
        return 0;
    }
    lineBack();
    if (BlankCheck)
        snprintf(bigInfo, sizeof bigInfo, "eprom is blank");
    else
        snprintf(bigInfo, sizeof bigInfo, "compare: %lX", endCompare);
    fprintf(conOut, "%lX", endCompare);
    MessageBox("Ready:", bigInfo);
    return 1;
}

unsigned int WriteIC(unsigned char* pByte, unsigned long endWrite) {
    char bigInfo[INFO_SIZE]; // the run's own buffer, apart from the read runs' one
    if (!pByte)
        return 0;
    fprintf(conOut, "writing...\n");
    const RunHooks hooks = menuHooks(bigInfo);
    const RunResult r = RunWrite(pByte, endWrite, &hooks);
    switch (r.outcome) {
    case RUN_OK:
        break;
    case RUN_NO_RANGE:
        MessageBox("ERROR", "-->   endAdr=0 !");
        return 0;
    case RUN_WRITE_ERROR:
        snprintf(bigInfo, sizeof bigInfo, "write-error at adr:%lX   read: %lX   buffer: %lX",
                 r.adresse, (unsigned long)r.chip, (unsigned long)r.wanted);
        MessageBox("Error:", bigInfo);
        return 0;
    case RUN_TIMEOUT:
        snprintf(bigInfo, sizeof bigInfo, "timeout writing at adr:%lX", r.adresse);
        MessageBox("Error:", bigInfo);
        return 0;
    case RUN_REFUSED:
        MessageBox("Error:", VppRefusal(epromtyp, epromPart, vpp, 1, bigInfo, sizeof bigInfo));
        return 0;
    case RUN_NOT_SUPPORTED:
        // Both boxes wait with the chip at rest: the run has cleaned up before it returned.
        snprintf(bigInfo, sizeof bigInfo, "programming not supported for %s",
                 r.type == T2708 ? "2708" : "2716");
        MessageBox("Info:", bigInfo);
        snprintf(bigInfo, sizeof bigInfo, "writing not supported");
        MessageBox("Error:", bigInfo);
        return 0;
    case RUN_STOPPED: // the program is about to end
    case RUN_NO_BUFFER:
    case RUN_NOT_BLANK: // a compare's outcomes
    case RUN_MISMATCH:
        return 0;
    }
    lineBack();
    fprintf(conOut, "%lX", endWrite);
    snprintf(bigInfo, sizeof bigInfo, "write ready: %lX Bytes", endWrite);
    MessageBox("Ready:", bigInfo);
    return 1;
}
