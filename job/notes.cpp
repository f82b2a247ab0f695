#include "job/notes.h"

#include <cstdio>
#include <cstring>

#include "defs.h"
#include "eprom/ic_types.h"

namespace {

// The type of exactly `size` bytes, or -1.
int typeOfSize(unsigned long size) {
    for (int t = 0; t < TicMax; t++)
        if (GetEpromType(t)->lastAdress + 1 == size)
            return t;
    return -1;
}

// Every cell equals the cell `period` bytes below it.
bool repeatsEvery(const unsigned char* p, unsigned long n, unsigned long period) {
    return memcmp(p, p + period, n - period) == 0;
}

// Cell a equals cell a with bit `line` flipped, wherever both are in the range.
bool lineChangesNothing(const unsigned char* p, unsigned long n, unsigned int line) {
    const unsigned long half = 1UL << line;
    for (unsigned long base = 0; base + half < n; base += 2 * half) {
        const unsigned long len = n - base - half < half ? n - base - half : half;
        if (memcmp(p + base, p + base + half, len) != 0)
            return false;
    }
    return true;
}

ReadNote newNote(NOTE_KIND kind) {
    ReadNote note = {};
    note.kind = kind;
    note.type = -1;
    return note;
}

} // namespace

unsigned int FindReadNotes(const unsigned char* p, unsigned long n, ReadNote* notes) {
    unsigned int count = 0;
    if (n == 0)
        return 0;
    unsigned int all = 0xFF, any = 0;
    for (unsigned long i = 0; i < n; i++) {
        all &= p[i];
        any |= p[i];
    }
    if (all == any) {
        notes[count] = newNote(all == 0xFF ? TNOTE_ERASED : TNOTE_ONE_VALUE);
        notes[count++].value = all;
        return count;
    }
    for (unsigned int bit = 0; bit < 8; bit++) {
        if (((all ^ any) >> bit) & 1)
            continue;
        notes[count] = newNote(TNOTE_DATA_BIT);
        notes[count].bit = bit;
        notes[count++].value = (all >> bit) & 1;
    }
    unsigned int lastLine = 0;
    while ((n - 1) >> (lastLine + 1))
        lastLine++;
    // The smallest repetition: every line from its own up changes nothing.
    unsigned int lines = 0;
    while (lines < 19 && (2UL << lines) <= n && !repeatsEvery(p, n, 1UL << lines))
        lines++;
    if (lines < 19 && (2UL << lines) <= n) {
        notes[count] = newNote(TNOTE_REPEATS);
        notes[count].period = 1UL << lines;
        notes[count].type = typeOfSize(1UL << lines);
        notes[count].line = lines;
        notes[count++].lastLine = lastLine;
    }
    for (unsigned int line = 0; line < lines && (2UL << line) <= n; line++) {
        if (!lineChangesNothing(p, n, line))
            continue;
        notes[count] = newNote(TNOTE_ADDRESS_LINE);
        notes[count++].line = line;
    }
    return count;
}

const char* ReadNoteText(const ReadNote* note, char* text, size_t size) {
    switch (note->kind) {
    case TNOTE_ERASED:
        snprintf(text, size, "note: every cell is 0xFF: an erased chip, or no chip in the socket");
        break;
    case TNOTE_ONE_VALUE:
        snprintf(text, size,
                 "note: every cell is 0x%02X: a chip that does not answer, or one filled with it",
                 note->value);
        break;
    case TNOTE_DATA_BIT:
        snprintf(text, size,
                 "note: data bit D%u is %u in every cell: data pin D%u without contact, or data "
                 "that never uses it",
                 note->bit, note->value, note->bit);
        break;
    case TNOTE_REPEATS: {
        char lines[24];
        if (note->line == note->lastLine)
            snprintf(lines, sizeof lines, "line A%u", note->line);
        else
            snprintf(lines, sizeof lines, "lines A%u to A%u", note->line, note->lastLine);
        char cause[40] = "a fill pattern";
        if (note->type >= 0)
            snprintf(cause, sizeof cause, "a %s read as a larger type", ICTypeName(note->type));
        snprintf(text, size,
                 "note: the image repeats every 0x%lX bytes: %s, or address %s without contact",
                 note->period, cause, lines);
        break;
    }
    case TNOTE_ADDRESS_LINE:
        snprintf(text, size,
                 "note: address line A%u changes nothing (each cell equals the one with A%u "
                 "flipped): pin A%u without contact",
                 note->line, note->line, note->line);
        break;
    case TnoteMax:
        snprintf(text, size, "note: ?");
        break;
    }
    return text;
}
