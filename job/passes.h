// Reads that check themselves: the same range read several times and compared. A bent pin,
// a dirty socket, a weak cell or a bus too fast for the board gives another byte on another
// read; a dump whose passes agree is one that can be archived.
#ifndef VANTREL_JOB_PASSES_H
#define VANTREL_JOB_PASSES_H

// The most passes one range is read in, and the unstable cells a report lists.
#define PASSES_MAX 9
#define UNSTABLE_LISTED 8

struct UnstableCell {
    unsigned long adresse;            // the cell, from address 0 of the range on
    unsigned char changed;            // the bits that were not the same in every pass
    unsigned char values[PASSES_MAX]; // what each pass read there, values[0..count-1]
};

struct PassReport {
    unsigned long differ;    // cells that were not the same in every pass
    unsigned long undecided; // cells with a bit that exactly half of the passes read as 1
                             // (an even count only): its majority is the first pass's
    unsigned int listed;     // cells[0..listed-1]: the lowest unstable cells, in address order
    UnstableCell cells[UNSTABLE_LISTED];
};

// Compares `count` passes (1..PASSES_MAX) of the same `n` cells, passes[k][i] being cell i
// of pass k. With `majority` (else NULL), cell i of it becomes the bitwise majority of the
// passes' cell i; it may be one of the passes. Returns report->differ; a count outside
// 1..PASSES_MAX compares nothing and returns 0 with an empty report.
unsigned long ComparePasses(const unsigned char* const* passes, unsigned int count, unsigned long n,
                            unsigned char* majority, PassReport* report);

#endif
