// The chip runs: read, verify, blank check and programming over a range of addresses.
#ifndef VANTREL_EPROM_IC_FUNC_H
#define VANTREL_EPROM_IC_FUNC_H

// How the last run ended, for a front end that reports by itself instead of with boxes.
enum RunOutcome {
    RUN_OK,
    RUN_NO_RANGE,      // range end 0: nothing was run
    RUN_MISMATCH,      // verify: the chip differs from the buffer
    RUN_NOT_BLANK,     // blank check: a cell is not 0xFF
    RUN_WRITE_ERROR,   // burn: a cell did not take its value in ten attempts
    RUN_TIMEOUT,       // burn: the board's pulse monoflop did not come back to rest
    RUN_NOT_SUPPORTED, // burn: the selected type cannot be programmed on this board
    RUN_STOPPED        // a stop request: the chip was left idle, nothing is reported
};

struct RunReport {
    int outcome;           // RunOutcome
    unsigned long adresse; // where a failed run stopped, or the first difference
    unsigned char chip;    // the byte the chip gave there
    unsigned char wanted;  // the byte the buffer holds there (0xFF for a blank check)
    unsigned long differ;  // a verify that reads on: bytes that differ in the whole range
};
extern RunReport LastRun;

// Set: called every 0x800 addresses in place of the counter line.
extern void (*RunProgress)(unsigned long adresse, unsigned long end);
// Nonzero: a verify reads on past the first difference to the end of its range, counting
// the bytes that differ (LastRun), instead of stopping there.
extern unsigned int VerifyReadsOn;

unsigned long ReadIC(unsigned char* pByte, unsigned long endRead);
unsigned int CompareIC(unsigned char* pByte, unsigned long endCompare, unsigned int BlankCheck);
unsigned int WriteIC(unsigned char* pByte, unsigned long endWrite);

#endif
