// Motorola S-record, read into a chip-sized image and written from one (image/formats.h
// chooses).
#ifndef VANTREL_IMAGE_SREC_H
#define VANTREL_IMAGE_SREC_H

#include "image/records.h"

// One record, its text from the record mark on without the line end, decoded into `rec`
// and checked as DecodeRecord checks it (also the type digit).
unsigned int DecodeSrecRecord(ImgLoader* L, const char* text, unsigned long n, unsigned char* rec,
                              unsigned int* count);

// The records of a file into the loader's image: 1, or 0 with the loader's error.
unsigned int ParseSrec(ImgLoader* L, const unsigned char* data, unsigned long len);
// Bytes 0 to `last` of `pBuf` as data records at `base` + i, after a header record and
// before the count and the end record.
void FormatSrec(ImgText* t, const unsigned char* pBuf, unsigned long last, unsigned long base);

#endif
