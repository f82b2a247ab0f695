// The job's actions on the board: each one a chip run of the menu's, transfer for transfer (a
// burn the menu's read, then its burn of the cells that differ), and what it came to, for the
// front end to say on one line as each action ends.
#ifndef VANTREL_JOB_RUN_H
#define VANTREL_JOB_RUN_H

#include "eprom/ic_func.h"
#include "job/notes.h"
#include "job/passes.h"
#include "job/chipdiff.h"
#include "job/plan.h"

// How an action ended.
enum JOB_OUTCOME {
    TACT_OK = 0,
    TACT_NOT_BLANK,     // blank check: a cell is not 0xFF
    TACT_MISMATCH,      // verify: the chip differs from the image
    TACT_WRITE_ERROR,   // burn: a cell did not take its value in ten attempts
    TACT_TIMEOUT,       // burn: the board's pulse never ended
    TACT_NOT_SUPPORTED, // burn: the type cannot be programmed on this board
    TACT_REFUSED,       // burn: the voltage would harm the chip (why); nothing was sent
    TACT_STOPPED,       // a stop request: the chip was put at rest at `adresse`
    TACT_NOT_RUN,       // the run had no range or no buffer (the plan never gives one)
    TACT_NOT_SAVED,     // read: the image could not be written (why)
    TACT_UNSTABLE,      // read: the passes differ (`passes`), or their majority is undecided
                        // in a cell: nothing was written
    TACT_NEEDS_ERASING, // burn: cells hold a 0 where the image has a 1 (diff); no pulse given
};

struct JobResult {
    JOB_ACTION kind;
    JOB_OUTCOME outcome;
    unsigned long count;   // bytes in the action's range: 0 to its end
    unsigned long adresse; // the range end when complete; else the failed cell, the lowest
                           // difference, or where the run stopped
    unsigned char chip;    // the byte the chip gave there
    unsigned char wanted;  // the byte the image holds there (0xFF for a blank check)
    unsigned long differ;  // verify: bytes that differ
    unsigned long pulses;  // burn: program pulses given
    int type;              // the EPROM type (enum IC) the run was made for
    // A read once its image is written, a verify that found the chip right, an inspect: the
    // sums the bytes are known by.
    unsigned long sum;   // the 16-bit byte sum
    unsigned long crc32; // as zip prints it
    char sha1[41];       // as sha1sum prints it
    // A read: how many passes it made, and the cells they did not agree on. With --majority
    // and `passes.differ` cells, the image written is the passes' bitwise majority.
    unsigned int reads;
    int majority;
    PassReport passes;
    // A read once written, an inspect: what the bytes say of how they were read.
    unsigned int noteCount;
    ReadNote notes[READ_NOTES_MAX];
    char why[400]; // TACT_REFUSED, TACT_NOT_SAVED: the reason, for the front end to say
    // A burn (once the chip was read) and a verify that differed: the chip's cells against
    // the image over the range, as they were before the burn, or as the verify found them.
    ChipDiff diff;
};

// Runs action `a` of a started plan (StartJob): the image of a --write or --verify into the
// runs' buffer, then the run, with `hooks` for its progress and pauses. A --read reads its
// range o.reads times (progress from 0 to reads x its size) and compares the passes; where
// the type has the quick way they alternate quick, plain, quick ... A --write reads the chip
// first: a cell that holds a 0 where the image has a 1 refuses the burn before any pulse
// (TACT_NEEDS_ERASING); else only the cells that differ are burnt. An --inspect needs no
// board and no StartJob: it looks at its image.
JobResult RunJobAction(JobPlan* plan, int a, const RunHooks* hooks);

// After a run that went well: a read's image written to its file (or standard output) in its
// format, its sums and notes; a verify's sums of the image, an inspect's sums and notes. A failed
// write is TACT_NOT_SAVED, a file the write replaces keeps its old contents. A stop signal during
// the save (hooks' checkStop) ends the job by it once the save is over.
void FinishJobAction(const JobPlan* plan, int a, const JobHooks* hooks, JobResult* r);

#endif
