// What a dump says about how it was read. A chip that is not there, a pin without contact
// or a chip read as a larger type leaves its mark on the bytes: every cell 0xFF, a data bit
// that never changes, a second half equal to the first. These notes name such a mark and
// its likely cause; they never change a result.
#ifndef VANTREL_JOB_NOTES_H
#define VANTREL_JOB_NOTES_H

#include <cstddef>

enum NOTE_KIND {
    TNOTE_ERASED = 0,   // every cell 0xFF (nothing else is said)
    TNOTE_ONE_VALUE,    // every cell holds `value` (nothing else is said)
    TNOTE_DATA_BIT,     // data bit `bit` is `value` (0 or 1) in every cell, other bits change
    TNOTE_REPEATS,      // the bytes repeat every `period` bytes, a power of two below the
                        // size: address lines `line` to `lastLine` change nothing
    TNOTE_ADDRESS_LINE, // address line `line` changes nothing: cell a equals cell a with
                        // bit `line` flipped, everywhere (a line below any repetition)
    TnoteMax
};

struct ReadNote {
    NOTE_KIND kind;
    unsigned int value;    // TNOTE_ONE_VALUE: the byte; TNOTE_DATA_BIT: the bit's level
    unsigned int bit;      // TNOTE_DATA_BIT: 0 for D0 .. 7 for D7
    unsigned long period;  // TNOTE_REPEATS: bytes
    int type;              // TNOTE_REPEATS: the type (enum IC) of `period` bytes, or -1
    unsigned int line;     // TNOTE_REPEATS, TNOTE_ADDRESS_LINE: 0 for A0 .. 18 for A18
    unsigned int lastLine; // TNOTE_REPEATS: the highest address line of the range
};

// Room for every note one range can give (seven data bits, a repetition, 19 lines).
#define READ_NOTES_MAX 32

// The notes on the `n` bytes of a range read from address 0 on, in the order of the kinds,
// into notes[0..READ_NOTES_MAX-1]; returns how many. A note that another one implies is
// left out: all cells 0xFF says nothing of one value or of data bits, a repetition nothing
// of the lines above it. A repetition and a line that changes nothing are looked for only
// where the range holds two whole blocks of it (period 0x4000: from 0x8000 bytes on).
unsigned int FindReadNotes(const unsigned char* p, unsigned long n, ReadNote* notes);

// The line of one note, "note: " and the mark and its likely cause, without a line end,
// into text[0..size-1]; returns text.
const char* ReadNoteText(const ReadNote* note, char* text, size_t size);

#endif
