// Image files in the formats firmware builds deliver: raw binary, Intel HEX and Motorola
// S-record. Parsing turns a whole file, held in memory, into a chip-sized image; formatting
// turns an image into the text of a file. Nothing here reads or writes a file: the file's
// bytes come from the program's one reader and go to its one safe save (image/ic_file.h).
//
// Every failure formats its message into the caller's buffer `err`, naming the file and, for
// the record formats, the line: "fw.hex:12: bad checksum 0x3C, expected 0x3D".
#ifndef VANTREL_IMAGE_FORMATS_H
#define VANTREL_IMAGE_FORMATS_H

#include <cstddef>

enum IMG_FORMAT { TIMGRAW = 0, TIMGIHEX, TIMGSREC, TimgMax };

// The largest image file a job reads: a 512 KiB image as Intel HEX with one byte a record
// and CRLF line ends takes under 8 MiB.
#define IMG_FILE_MAX (16UL << 20)

// "raw", "ihex" or "srec": 1 and the format, or 0 for any other name.
unsigned int ImageFormatByName(const char* name, IMG_FORMAT* fmt);
// The format a file name's extension stands for (".hex .ihx .ihex" Intel HEX, ".s19 .s28 .s37
// .srec .mot" S-record, in any case); raw for everything else, "-" included.
IMG_FORMAT ImageFormatOfFile(const char* filename);
const char* ImageFormatName(IMG_FORMAT fmt);
// The record format whose text a file's bytes are: TIMGIHEX or TIMGSREC when every line that
// is not blank is a well-formed record of that format (its mark, hex digits, length and
// checksum right), and there is one at least; TIMGRAW for anything else.
IMG_FORMAT ImageTextFormat(const unsigned char* data, unsigned long len);

// Parses `len` bytes of a file named `filename` ("-" for standard input) into the image `pBuf` of
// `size` bytes: bytes the file leaves out are 0xFF, and every address in the file less `offset` is
// the chip address. A raw file has no addresses: its byte i is chip address i whatever the offset.
// Data below the offset or beyond the chip, and a second, different value for an address are
// refused. Returns 1 and the highest chip address holding data in *pLast, or 0 with `pBuf`
// left as it was.
unsigned int ParseImage(IMG_FORMAT fmt, const char* filename, const unsigned char* data,
                        unsigned long len, unsigned char* pBuf, unsigned long size,
                        unsigned long offset, unsigned long* pLast, char* err, size_t errSize);

// Whether a file in the format can hold chip addresses 0 to `last` at `base` + i: the
// record formats end at 4 GiB, a raw file has no addresses. 1, or 0 with the error.
unsigned int ImageFormatHolds(IMG_FORMAT fmt, unsigned long last, unsigned long base, char* err,
                              size_t errSize);

// Formats bytes 0 to `last` of `pBuf` as a file, chip address i at address `base` + i (raw
// files have no addresses and ignore `base`). Intel HEX and S-record carry 32 data bytes a
// record and end with a line feed. Returns a malloc'd text of *pLen bytes, or 0 on failure.
unsigned char* FormatImage(IMG_FORMAT fmt, const unsigned char* pBuf, unsigned long last,
                           unsigned long base, unsigned long* pLen, char* err, size_t errSize);

#endif
