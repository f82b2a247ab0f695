// The chip runs: read, verify, blank check and programming over a range of addresses. Each
// run drives the board and reports what happened in a RunResult; how that reaches the
// operator (boxes and a counter line in the menu, one line in a job) is the front end's.
#ifndef VANTREL_EPROM_IC_FUNC_H
#define VANTREL_EPROM_IC_FUNC_H

// How a run ended.
enum RunOutcome {
    RUN_OK,
    RUN_NO_RANGE,      // range end 0: nothing was run
    RUN_MISMATCH,      // verify: the chip differs from the buffer
    RUN_NOT_BLANK,     // blank check: a cell is not 0xFF
    RUN_WRITE_ERROR,   // burn: a cell did not take its value in ten attempts
    RUN_TIMEOUT,       // burn: the board's pulse monoflop did not come back to rest
    RUN_NOT_SUPPORTED, // burn: the selected type cannot be programmed on this board
    RUN_STOPPED,       // a stop request: the chip was put at rest and the run given up
    RUN_NO_BUFFER,     // no buffer: nothing was run
    RUN_REFUSED        // burn: the programming voltage would harm the chip (VppRefusal):
                       // nothing was sent
};

struct RunResult {
    RunOutcome outcome;
    unsigned long adresse; // the range end after a complete run; else where the run ended:
                           // the failed cell, the first difference, the address stopped at
    unsigned char chip;    // the byte the chip gave there
    unsigned char wanted;  // the byte the buffer holds there (0xFF for a blank check)
    unsigned long done;    // cells finished (all of the range when complete; after the first
                           // difference, that address + 1): from 0 on in address order, a
                           // quick walk finishes whole banks and then cells of the next one
    unsigned long differ;  // bytes that differ (one, or all of the range for a verify that
                           // reads on)
    unsigned long pulses;  // program pulses given
    int type;              // the EPROM type (enum IC) the run was made for
};

// What a run tells its caller while it goes on. Any hook may be null.
struct RunHooks {
    // Every 0x800 cells, once the run has done `adresse` cells of 0..end (in address order,
    // the address it has reached; the quick way, the same counts).
    void (*progress)(void* user, unsigned long adresse, unsigned long end);
    // A pause request (PauseRequest, `sig`) with the chip at rest: the front end stops the
    // process and returns when it may go on; the run then sets the chip up again and
    // repeats the step it had begun.
    void (*paused)(void* user, int sig);
    void* user;
};

// How a read, verify or blank check tells the chip its addresses.
enum ADDRESSING {
    TADR_PLAIN = 0, // a whole address transfer per cell, in address order: the menu's wire
    TADR_QUICK,     // the whole 64 KiB banks of a type that allows it in the order of
                    // AdrWalk(), one-bit shifts from cell to cell; the rest the plain way
    TadrMax
};

// The whole 64 KiB banks from address 0 that a quick run over 0..end walks by shifts on a
// chip of type ICType; 0 when the run goes the plain way, transfer for transfer.
unsigned long QuickBanks(int ICType, unsigned long end);

// The results, the buffer and the progress calls of a quick run are those of the plain one,
// whatever order the cells were read in; only the wire differs.

// Copies the chip into pByte[0..endRead].
RunResult RunRead(unsigned char* pByte, unsigned long endRead, const RunHooks* hooks,
                  int addressing = TADR_PLAIN);
// Compares the chip with pByte[0..endCompare] (BlankCheck: with 0xFF, and pByte may be
// null). Stops at the first difference, or with readOn counts every difference to the end;
// either way it reports the lowest address that differs. A quick walk that meets a
// difference reads on in that bank until every cell below it has been read. With `readBack`,
// each byte read is also stored there at its address (all of the range when the run reads on
// to its end); the wire is the same.
RunResult RunCompare(const unsigned char* pByte, unsigned long endCompare, unsigned int BlankCheck,
                     unsigned int readOn, const RunHooks* hooks, int addressing = TADR_PLAIN,
                     unsigned char* readBack = nullptr);
// Programs pByte[0..endWrite] into the chip, up to ten attempts a cell. A programming voltage
// that VppRefusal refuses for the type and part in the socket is never sent: RUN_REFUSED.
// With `burn`, only the cells whose burn[adresse] is nonzero are burnt and the others are not
// touched; each burnt cell sees, through its pulses, the very levels the burn of every cell
// gives it. r.done counts the addresses passed, burnt or not.
RunResult RunWrite(const unsigned char* pByte, unsigned long endWrite, const RunHooks* hooks,
                   const unsigned char* burn = nullptr);

#endif
