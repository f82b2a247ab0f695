// What the Intel HEX and S-record readers and writers share: the loader that places a file's
// bytes into a chip-sized image and words its errors, the splitting of a file into lines and
// records, and the text a writer grows record by record.
#ifndef VANTREL_IMAGE_RECORDS_H
#define VANTREL_IMAGE_RECORDS_H

#include <cstddef>

// Intel HEX and S-record both put at most 32 data bytes into a record, as srec_cat does.
#define IMG_RECORD_DATA 32

// The last address either format can give: both end at 4 GiB.
#define IMG_ADDRESS_MAX 0xFFFFFFFFull

struct ImgLoader {
    const char* name;    // the file as messages name it
    unsigned long line;  // line being parsed, 0 for a raw file
    unsigned char* img;  // the image being built, `size` bytes
    unsigned char* seen; // one bit for each address given a value
    unsigned long size;
    unsigned long offset;
    unsigned long last; // highest chip address given a value
    unsigned int any;   // some address has been given a value
    char* err;
    size_t errSize;
};

// Formats "name:line: text" (or "name: text" without a line) into the error buffer; returns 0.
unsigned int LoadFail(ImgLoader* L, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Places `n` bytes from file address `addr` on; 0 (with the error) for the first byte below
// the offset, beyond the chip or contradicting an earlier value.
unsigned int LoadBytes(ImgLoader* L, unsigned long long addr, const unsigned char* d,
                       unsigned long n);

// The next record from *pos on: its line without the line end and the blanks (and a DOS
// end-of-file mark) after it; blank lines are passed over and counted in L->line. A line that
// does not start with `mark`, or any record once `ended`, is refused with the error, naming
// the end record `endName`. Returns 1 for a record, 0 at the end of the data, -1 on error.
int NextRecord(ImgLoader* L, const unsigned char** pos, const unsigned char* end, char mark,
               unsigned int ended, const char* endName, const char** text, unsigned long* n);

// Decodes the hex digits of one record (what follows the record mark) into `rec` (room for
// 262 bytes) and checks them: only hex digits, whole bytes, at least `least` bytes, a length
// byte first that counts the bytes after it less `lenExtra`, and a checksum last (the
// two's complement of the sum of the others, or their ones' complement if `onesSum`).
unsigned int DecodeRecord(ImgLoader* L, const char* hex, unsigned long n, unsigned int least,
                          unsigned int lenExtra, unsigned int onesSum, unsigned char* rec,
                          unsigned int* count);

// A text growing in a malloc'd buffer; `failed` once memory ran out.
struct ImgText {
    char* p;
    unsigned long len;
    unsigned long cap;
    unsigned int failed;
};

// Appends `n` bytes of `s`; once memory has run out, nothing more.
void PutText(ImgText* t, const char* s, unsigned long n);

// Appends `mark`, the bytes in hex, their checksum in hex (as DecodeRecord checks it) and a
// line feed.
void PutRecord(ImgText* t, const char* mark, const unsigned char* b, unsigned int n,
               unsigned int onesSum);

#endif
