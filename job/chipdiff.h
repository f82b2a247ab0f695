// What the chip in the socket holds against the image meant for it. An EPROM cell's bits
// only go from 1 to 0 when it is burnt, and back to 1 only under UV light; so a cell that
// differs is either one a burn can still make right (the image only clears bits) or one that
// needs erasing (the image wants a 1 where the chip holds a 0). A burn sorts the cells this
// way before its first pulse; a verify that failed says which of the two kinds it found.
#ifndef VANTREL_JOB_CHIPDIFF_H
#define VANTREL_JOB_CHIPDIFF_H

// The cells that differ a report lists.
#define DIFF_LISTED 8

struct CellDiff {
    unsigned long adresse;
    unsigned char chip;  // what the chip holds
    unsigned char image; // what the image has
};

struct ChipDiff {
    unsigned long right;     // cells that hold the image's byte
    unsigned long burnable;  // cells that differ, the image only clearing bits: a burn
                             // makes them right
    unsigned long needErase; // cells with a bit at 0 where the image has a 1: only erasing
                             // (or another image) makes them right
    unsigned long unburnt;   // cells with a bit still at 1 where the image has a 0: every
                             // burnable cell, and the cells that need erasing as well
    // The lowest cell of each count (all 0 where the count is 0).
    CellDiff firstRight, firstBurnable, firstNeedErase, firstUnburnt;
    unsigned int listed;         // cells[0..listed-1]:
    CellDiff cells[DIFF_LISTED]; // the lowest cells that differ, in address order
};

// Compares chip[0..n-1] with image[0..n-1], cell i being address i.
void CompareChipImage(const unsigned char* chip, const unsigned char* image, unsigned long n,
                      ChipDiff* diff);

#endif
