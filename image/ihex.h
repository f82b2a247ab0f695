// Intel HEX, read into a chip-sized image and written from one (image/formats.h chooses).
#ifndef VANTREL_IMAGE_IHEX_H
#define VANTREL_IMAGE_IHEX_H

#include "image/records.h"

// One record, its text from the record mark on without the line end, decoded into `rec`
// and checked as DecodeRecord checks it.
unsigned int DecodeIhexRecord(ImgLoader* L, const char* text, unsigned long n, unsigned char* rec,
                              unsigned int* count);

// The records of a file into the loader's image: 1, or 0 with the loader's error.
unsigned int ParseIhex(ImgLoader* L, const unsigned char* data, unsigned long len);
// Bytes 0 to `last` of `pBuf` as data records at `base` + i, an extended linear address
// record wherever the upper 16 bits change, the end record last.
void FormatIhex(ImgText* t, const unsigned char* pBuf, unsigned long last, unsigned long base);

#endif
