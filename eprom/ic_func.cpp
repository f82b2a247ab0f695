// Read, verify, blank check and programming runs. Each walks the addresses from 0 up to
// the range end (inclusive), keeps a live address counter, and ends with a framed message.
// Every run that enabled the chip leaves it deselected, whatever the outcome, so that the
// operator can pull it from the socket.
#include <cstdio>

#include "console/conio.h"
#include "console/menu.h"
#include "console/msgbox.h"
#include "eprom/ic_func.h"
#include "eprom/misc.h"
#include "link/hw.h"

char bigInfo[500]; // progress counter and result texts of the read-only runs
RunReport LastRun;
void (*RunProgress)(unsigned long adresse, unsigned long end) = nullptr;
unsigned int VerifyReadsOn = 0;

// The counter is written every 0x800 addresses only: 256 updates for a 27C040.
static void showProgress(char* buf, size_t size, unsigned long adresse, unsigned long end) {
    if ((adresse & 0x7FF) != 0)
        return;
    if (RunProgress) {
        RunProgress(adresse, end);
        return;
    }
    lineBack();
    snprintf(buf, size, "%lX", adresse);
    flushString(buf);
}

static void report(int outcome, unsigned long adresse, unsigned char chip, unsigned char wanted) {
    LastRun.outcome = outcome;
    LastRun.adresse = adresse;
    LastRun.chip = chip;
    LastRun.wanted = wanted;
    LastRun.differ = outcome == RUN_MISMATCH ? 1 : 0;
}

// A stop request halts the bus from the next transfer on (see StopRequest); from here the
// run's clean-up transfers reach the board whatever happens.
static void runCleanup(void) {
    HaltOnStop = 0;
}

unsigned long ReadIC(unsigned char* pByte, unsigned long endRead) {
    if (!pByte)
        return 0;
    fprintf(conOut, "reading...\n");
    unsigned long ffwert = 0;
    if (endRead == 0) {
        report(RUN_NO_RANGE, 0, 0, 0);
        MessageBox("Error:", "-->  endAdr=0 !");
        return 0;
    }
    HaltOnStop = 1;
    EnableEprom(1);
    for (unsigned long adresse = 0; adresse <= endRead && !StopRequest; adresse++) {
        adressesetzen(adresse, 1);
        showProgress(bigInfo, sizeof bigInfo, adresse, endRead);
        pByte[adresse] = GetData();
        if (pByte[adresse] == 0xFF)
            ffwert++;
    }
    runCleanup();
    if (StopRequest) {
        DisableEprom();
        report(RUN_STOPPED, 0, 0, 0);
        return 0;
    }
    report(RUN_OK, endRead, 0, 0);
    lineBack();
    if (ffwert > endRead)
        fprintf(conOut, "read: %lX\nall Bytes FF", endRead);
    else
        fprintf(conOut, "read: %lX", endRead);
    const unsigned short chsum = CalcChkSum(pByte, endRead);
    snprintf(bigInfo, sizeof bigInfo, "read %lu bytes to buffer ( 0x%lX ) - [#%lX]", endRead,
             endRead, (unsigned long)chsum);
    DisableEprom();
    MessageBox("Ready:", bigInfo);
    return endRead;
}

// Every run ends with the chosen supply back and the chip deselected, and sends that before
// its last box: a chip pulled while the box waits is not selected at 6.25 V.
unsigned int CompareIC(unsigned char* pByte, unsigned long endCompare, unsigned int BlankCheck) {
    if (!pByte && !BlankCheck)
        return 0;
    fprintf(conOut, BlankCheck ? "blank-check...\n" : "comparing...\n");
    if (endCompare == 0) {
        SetVcc((unsigned int)vcc);
        DisableEprom();
        report(RUN_NO_RANGE, 0, 0, 0);
        MessageBox("Error:", "-->   endAdr=0 !");
        return 0;
    }
    HaltOnStop = 1;
    SetVcc(0); // compared at 5 V whatever supply was chosen
    EnableEprom(1);
    const int failure = BlankCheck ? RUN_NOT_BLANK : RUN_MISMATCH;
    report(RUN_OK, endCompare, 0, 0);
    for (unsigned long adresse = 0; adresse <= endCompare; adresse++) {
        adressesetzen(adresse, 1);
        showProgress(bigInfo, sizeof bigInfo, adresse, endCompare);
        const unsigned char readwert = GetData();
        if (StopRequest)
            break;
        const unsigned char wanted = BlankCheck ? 0xFF : pByte[adresse];
        if (readwert == wanted)
            continue;
        if (LastRun.outcome == RUN_OK)
            report(failure, adresse, readwert, wanted);
        else
            LastRun.differ++;
        if (BlankCheck || !VerifyReadsOn)
            break;
    }
    runCleanup();
    SetVcc((unsigned int)vcc);
    DisableEprom();
    if (StopRequest) {
        report(RUN_STOPPED, 0, 0, 0);
        return 0;
    }
    if (LastRun.outcome != RUN_OK) {
        if (BlankCheck)
            snprintf(bigInfo, sizeof bigInfo, "not blank at adr: 0x%lX", LastRun.adresse);
        else
            snprintf(bigInfo, sizeof bigInfo, "error at adr: 0x%lX   read: 0x%lX   buffer: 0x%lX",
                     LastRun.adresse, (unsigned long)LastRun.chip, (unsigned long)LastRun.wanted);
        MessageBox("Error:", bigInfo);
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

// Why a programming run stopped.
enum WriteOutcome {
    WRITE_COMPLETE,
    WRITE_VERIFY_FAILURE,
    WRITE_TIMEOUT,
    WRITE_NOT_SUPPORTED,
    WRITE_STOPPED // a stop request: the run may have halted between "on" and "off" of VPP
};

unsigned int WriteIC(unsigned char* pByte, unsigned long endWrite) {
    char bigInfo[500]; // the run's own buffer, apart from the read runs' one
    if (!pByte)
        return 0;
    fprintf(conOut, "writing...\n");
    if (endWrite == 0) {
        SetVcc((unsigned int)vcc);
        DisableEprom();
        report(RUN_NO_RANGE, 0, 0, 0);
        MessageBox("ERROR", "-->   endAdr=0 !");
        return 0;
    }
    HaltOnStop = 1;
    EnableEprom(0);
    SetVcc((unsigned int)vcc);
    SetVpp(vpp);
    WriteOutcome outcome = WRITE_COMPLETE;
    unsigned char readwert = 0;
    unsigned long adresse = 0;
    for (adresse = 0; adresse <= endWrite; adresse++) {
        showProgress(bigInfo, sizeof bigInfo, adresse, endWrite);
        adressesetzen(adresse, 0);
        // A cell may need several pulses before it holds its value; ten is the limit after
        // which it is taken as worn out or not erased.
        outcome = WRITE_VERIFY_FAILURE;
        for (unsigned char fehler = 0; fehler <= 9 && outcome == WRITE_VERIFY_FAILURE; fehler++) {
            const unsigned int attempted = Writing(readwert, adresse, pByte[adresse]);
            if (StopRequest)
                outcome = WRITE_STOPPED;
            else if (!attempted)
                outcome = readwert ? WRITE_TIMEOUT : WRITE_NOT_SUPPORTED;
            else if (readwert == pByte[adresse])
                outcome = WRITE_COMPLETE;
        }
        if (outcome != WRITE_COMPLETE)
            break;
    }
    runCleanup();
    if (outcome == WRITE_TIMEOUT || outcome == WRITE_NOT_SUPPORTED || outcome == WRITE_STOPPED)
        ClearEpromVpp();
    SetVcc((unsigned int)vcc);
    DisableEprom();
    static const int reported[] = {RUN_OK, RUN_WRITE_ERROR, RUN_TIMEOUT, RUN_NOT_SUPPORTED,
                                   RUN_STOPPED}; // in WriteOutcome order
    report(reported[outcome], outcome == WRITE_COMPLETE ? endWrite : adresse, readwert,
           outcome == WRITE_COMPLETE ? 0 : pByte[adresse]);
    switch (outcome) {
    case WRITE_VERIFY_FAILURE:
        snprintf(bigInfo, sizeof bigInfo, "write-error at adr:%lX   read: %lX   buffer: %lX",
                 adresse, (unsigned long)readwert, (unsigned long)pByte[adresse]);
        MessageBox("Error:", bigInfo);
        return 0;
    case WRITE_TIMEOUT:
        snprintf(bigInfo, sizeof bigInfo, "timeout writing at adr:%lX", adresse);
        MessageBox("Error:", bigInfo);
        return 0;
    case WRITE_NOT_SUPPORTED:
        snprintf(bigInfo, sizeof bigInfo, "writing not supported");
        MessageBox("Error:", bigInfo);
        return 0;
    case WRITE_STOPPED:
        return 0;
    case WRITE_COMPLETE:
        break;
    }
    lineBack();
    fprintf(conOut, "%lX", endWrite);
    snprintf(bigInfo, sizeof bigInfo, "write ready: %lX Bytes", endWrite);
    MessageBox("Ready:", bigInfo);
    return 1;
}
