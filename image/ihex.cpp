// Intel HEX: ":" records of a length byte, a 16-bit address, a type, the data and a checksum.
// Addresses above 64 KiB come from extended segment (02) or extended linear (04) address
// records; the start address records (03, 05) mean nothing to an EPROM and are passed over.
#include "image/ihex.h"

unsigned int DecodeIhexRecord(ImgLoader* L, const char* text, unsigned long n, unsigned char* rec,
                              unsigned int* count) {
    return DecodeRecord(L, text + 1, n - 1, 5, 4, 0, rec, count);
}

unsigned int ParseIhex(ImgLoader* L, const unsigned char* data, unsigned long len) {
    // Data bytes each record type other than data must hold.
    static const unsigned int need[6] = {0, 0, 2, 4, 2, 4};
    const unsigned char *pos = data, *end = data + len;
    const char* text;
    unsigned long n;
    unsigned long long base = 0;
    unsigned int ended = 0, segment = 0;
    unsigned char rec[262];
    unsigned int count;
    int got;
    while ((got = NextRecord(L, &pos, end, ':', ended, "end-of-file record", &text, &n)) > 0) {
        if (!DecodeIhexRecord(L, text, n, rec, &count))
            return 0;
        const unsigned int size = rec[0], addr = rec[1] << 8 | rec[2], type = rec[3];
        const unsigned char* d = rec + 4;
        if (type > 5)
            return LoadFail(L, "unknown record type %02X", type);
        if (type != 0 && size != need[type])
            return LoadFail(L, "record type %02X must hold %u data bytes, not %u", type, need[type],
                            size);
        if (type == 0) {
            // Under an extended segment address the offset wraps within its 64 KiB; under a
            // linear one (or none) the data runs on, as srec_cat writes it.
            const unsigned int first = segment && addr + size > 0x10000 ? 0x10000 - addr : size;
            if (!LoadBytes(L, base + addr, d, first) ||
                !LoadBytes(L, base, d + first, size - first))
                return 0;
        } else if (type == 1) {
            ended = 1;
        } else if (type == 2) {
            base = (unsigned long long)(d[0] << 8 | d[1]) << 4;
            segment = 1;
        } else if (type == 4) {
            base = (unsigned long long)(d[0] << 8 | d[1]) << 16;
            segment = 0;
        }
    }
    if (got < 0)
        return 0;
    if (!ended)
        return LoadFail(L, "no end-of-file record");
    return 1;
}

// Up to 32 data bytes a record, never across a 64 KiB boundary; an extended linear address
// record wherever the upper 16 address bits change, so an image below 64 KiB needs none.
void FormatIhex(ImgText* t, const unsigned char* pBuf, unsigned long last, unsigned long base) {
    unsigned long upper = 0;
    unsigned long n;
    for (unsigned long i = 0; i <= last; i += n) {
        const unsigned long a = base + i;
        if (a >> 16 != upper) {
            upper = a >> 16;
            const unsigned char ext[6] = {
                2, 0, 0, 4, (unsigned char)(upper >> 8), (unsigned char)upper};
            PutRecord(t, ":", ext, 6, 0);
        }
        n = last + 1 - i;
        if (n > IMG_RECORD_DATA)
            n = IMG_RECORD_DATA;
        if (n > 0x10000 - (a & 0xFFFF))
            n = 0x10000 - (a & 0xFFFF);
        unsigned char rec[4 + IMG_RECORD_DATA] = {(unsigned char)n, (unsigned char)(a >> 8),
                                                  (unsigned char)a, 0};
        for (unsigned long k = 0; k < n; k++)
            rec[4 + k] = pBuf[i + k];
        PutRecord(t, ":", rec, 4 + n, 0);
    }
    static const unsigned char eof[4] = {0, 0, 0, 1};
    PutRecord(t, ":", eof, 4, 0);
}
