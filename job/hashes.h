// The sums a dump is known by: the 16-bit byte sum the program has always printed, the CRC-32
// of zip and of the ROM lists, and the SHA-1 that those lists give beside it, written as
// sha1sum writes it, so that a dump can be looked up or compared with another tool's.
#ifndef VANTREL_JOB_HASHES_H
#define VANTREL_JOB_HASHES_H

#include <cstddef>

// The bytes added up, modulo 65,536.
unsigned long ByteSum16(const unsigned char* p, unsigned long n);

// CRC-32 as zip prints it (reflected, polynomial 0xEDB88320, start and end inverted).
unsigned long Crc32Of(const unsigned char* p, unsigned long n);

// The SHA-1 of `n` bytes into `digest`.
void Sha1Of(const unsigned char* p, unsigned long n, unsigned char digest[20]);

// The SHA-1 of `n` bytes as 40 lowercase hex digits and a NUL; returns `text`.
const char* Sha1Text(const unsigned char* p, unsigned long n, char text[41]);

#endif
