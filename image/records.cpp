// The loader and the record helpers that the Intel HEX and S-record code share: a file's
// bytes placed into a chip-sized image, the errors worded with file and line, the records
// split and checked, and the text a writer grows record by record.
#include "image/records.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/numbers.h"

// ---- Loading ---------------------------------------------------------------------------

unsigned int LoadFail(ImgLoader* L, const char* format, ...) {
    int n = L->line ? snprintf(L->err, L->errSize, "%s:%lu: ", L->name, L->line)
                    : snprintf(L->err, L->errSize, "%s: ", L->name);
    if (n >= 0 && (size_t)n < L->errSize) {
        va_list ap;
        va_start(ap, format);
        vsnprintf(L->err + n, L->errSize - n, format, ap);
        va_end(ap);
    }
    return 0;
}

unsigned int LoadBytes(ImgLoader* L, unsigned long long addr, const unsigned char* d,
                       unsigned long n) {
    for (unsigned long i = 0; i < n; i++) {
        const unsigned long long a = addr + i;
        if (a > IMG_ADDRESS_MAX)
            return LoadFail(L, "address 0x%llX is at or past 4 GiB, beyond the format's addresses",
                            a);
        if (a < L->offset)
            return LoadFail(L, "address 0x%04llX is below the offset 0x%04lX", a, L->offset);
        const unsigned long long chip = a - L->offset;
        if (chip >= L->size && L->offset)
            return LoadFail(L,
                            "address 0x%04llX (chip address 0x%04llX) is beyond the chip's last "
                            "address 0x%04lX",
                            a, chip, L->size - 1);
        if (chip >= L->size)
            return LoadFail(L, "address 0x%04llX is beyond the chip's last address 0x%04lX", a,
                            L->size - 1);
        unsigned char* bit = &L->seen[chip >> 3];
        const unsigned char mask = (unsigned char)(1u << (chip & 7));
        if ((*bit & mask) && L->img[chip] != d[i])
            return LoadFail(L, "address 0x%04llX given 0x%02X before, now 0x%02X", a, L->img[chip],
                            d[i]);
        *bit |= mask;
        L->img[chip] = d[i];
        if (!L->any || chip > L->last)
            L->last = (unsigned long)chip;
        L->any = 1;
    }
    return 1;
}

int NextRecord(ImgLoader* L, const unsigned char** pos, const unsigned char* end, char mark,
               unsigned int ended, const char* endName, const char** text, unsigned long* n) {
    while (*pos < end) {
        const unsigned char* start = *pos;
        const unsigned char* nl = (const unsigned char*)memchr(start, '\n', end - start);
        const unsigned char* stop = nl ? nl : end;
        *pos = nl ? nl + 1 : end;
        while (stop > start && memchr(" \t\r\x1A", stop[-1], 4))
            stop--;
        L->line++;
        if (stop == start)
            continue;
        if (ended)
            return LoadFail(L, "data after the %s", endName) - 1;
        if (*start != mark)
            return LoadFail(L, "record does not start with '%c'", mark) - 1;
        *text = (const char*)start;
        *n = stop - start;
        return 1;
    }
    return 0;
}

// The checksum a record ends with, from the sum of the bytes before it.
static unsigned int checksumOf(unsigned int sum, unsigned int onesSum) {
    return (onesSum ? ~sum : 0u - sum) & 0xFF;
}

static int hexValue(char c) {
    return hexDigit((unsigned char)c);
}

unsigned int DecodeRecord(ImgLoader* L, const char* hex, unsigned long n, unsigned int least,
                          unsigned int lenExtra, unsigned int onesSum, unsigned char* rec,
                          unsigned int* count) {
    for (unsigned long i = 0; i < n; i++)
        if (hexValue(hex[i]) < 0)
            return (hex[i] > ' ' && hex[i] < 127)
                       ? LoadFail(L, "bad hex digit '%c'", hex[i])
                       : LoadFail(L, "bad character 0x%02X", (unsigned char)hex[i]);
    if (n % 2)
        return LoadFail(L, "odd number of hex digits");
    const unsigned long bytes = n / 2;
    if (bytes < least)
        return LoadFail(L, "record too short");
    const unsigned int length = hexValue(hex[0]) * 16 + hexValue(hex[1]);
    if (length + 1 + lenExtra != bytes)
        return LoadFail(L, "length field says %u bytes, record holds %lu", length,
                        bytes - 1 - lenExtra);
    unsigned int sum = 0;
    for (unsigned long i = 0; i < bytes; i++) {
        rec[i] = (unsigned char)(hexValue(hex[2 * i]) * 16 + hexValue(hex[2 * i + 1]));
        if (i + 1 < bytes)
            sum += rec[i];
    }
    const unsigned int expected = checksumOf(sum, onesSum);
    if (rec[bytes - 1] != expected)
        return LoadFail(L, "bad checksum 0x%02X, expected 0x%02X", rec[bytes - 1], expected);
    *count = (unsigned int)bytes;
    return 1;
}

// ---- Formatting ------------------------------------------------------------------------

void PutText(ImgText* t, const char* s, unsigned long n) {
    if (t->failed)
        return;
    if (t->len + n > t->cap) {
        const unsigned long want = (t->len + n) * 2 + 256;
        char* grown = (char*)realloc(t->p, want);
        if (!grown) {
            t->failed = 1;
            return;
        }
        t->p = grown;
        t->cap = want;
    }
    memcpy(t->p + t->len, s, n);
    t->len += n;
}

void PutRecord(ImgText* t, const char* mark, const unsigned char* b, unsigned int n,
               unsigned int onesSum) {
    static const char digits[] = "0123456789ABCDEF";
    char line[2 * 262 + 8];
    unsigned long k = 0;
    unsigned int sum = 0;
    while (*mark)
        line[k++] = *mark++;
    for (unsigned int i = 0; i <= n; i++) {
        const unsigned int v = i < n ? b[i] : checksumOf(sum, onesSum);
        sum += v;
        line[k++] = digits[v >> 4];
        line[k++] = digits[v & 15];
    }
    line[k++] = '\n';
    PutText(t, line, k);
}
