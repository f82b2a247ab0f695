// Image formats: the choice of format, the raw format and the check that a format holds the
// addresses; the record formats themselves are image/ihex.cpp and image/srec.cpp.
#include "image/formats.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "image/ihex.h"
#include "image/records.h"
#include "image/srec.h"

static const char* const formatNames[TimgMax] = {"raw", "ihex", "srec"};

unsigned int ImageFormatByName(const char* name, IMG_FORMAT* fmt) {
    for (int f = 0; f < TimgMax; f++)
        if (name && strcmp(name, formatNames[f]) == 0) {
            *fmt = (IMG_FORMAT)f;
            return 1;
        }
    return 0;
}

IMG_FORMAT ImageFormatOfFile(const char* filename) {
    static const char* const hex[] = {"hex", "ihx", "ihex"};
    static const char* const srec[] = {"s19", "s28", "s37", "srec", "mot"};
    const char* slash = strrchr(filename, '/');
    const char* dot = strrchr(slash ? slash : filename, '.');
    if (!dot)
        return TIMGRAW;
    for (const char* e : hex)
        if (strcasecmp(dot + 1, e) == 0)
            return TIMGIHEX;
    for (const char* e : srec)
        if (strcasecmp(dot + 1, e) == 0)
            return TIMGSREC;
    return TIMGRAW;
}

const char* ImageFormatName(IMG_FORMAT fmt) {
    return fmt >= 0 && fmt < TimgMax ? formatNames[fmt] : "?";
}

// 1 when every line of `data` that is not blank is a well-formed record of `fmt`.
static unsigned int allRecords(IMG_FORMAT fmt, const unsigned char* data, unsigned long len) {
    char err[8];
    ImgLoader L = {"", 0, 0, 0, 0, 0, 0, 0, err, sizeof err};
    const unsigned char *pos = data, *end = data + len;
    const char* text;
    unsigned long n, records = 0;
    unsigned char rec[262];
    unsigned int count;
    int got;
    const char mark = fmt == TIMGIHEX ? ':' : 'S';
    while ((got = NextRecord(&L, &pos, end, mark, 0, "", &text, &n)) > 0) {
        if (!(fmt == TIMGIHEX ? DecodeIhexRecord : DecodeSrecRecord)(&L, text, n, rec, &count))
            return 0;
        records++;
    }
    return got == 0 && records > 0;
}

IMG_FORMAT ImageTextFormat(const unsigned char* data, unsigned long len) {
    if (allRecords(TIMGIHEX, data, len))
        return TIMGIHEX;
    return allRecords(TIMGSREC, data, len) ? TIMGSREC : TIMGRAW;
}

static const char* shownName(const char* filename) {
    return strcmp(filename, "-") == 0 ? "(standard input)" : filename;
}

// ---- Loading ---------------------------------------------------------------------------

unsigned int ParseImage(IMG_FORMAT fmt, const char* filename, const unsigned char* data,
                        unsigned long len, unsigned char* pBuf, unsigned long size,
                        unsigned long offset, unsigned long* pLast, char* err, size_t errSize) {
    ImgLoader L = {shownName(filename),         0, 0, 0,   size,
                   fmt == TIMGRAW ? 0 : offset, 0, 0, err, errSize};
    L.img = (unsigned char*)malloc(size ? size : 1);
    L.seen = (unsigned char*)calloc(size / 8 + 1, 1);
    unsigned int ok = 0;
    if (!L.img || !L.seen) {
        LoadFail(&L, "out of memory");
    } else {
        memset(L.img, 0xFF, size);
        if (fmt == TIMGIHEX)
            ok = ParseIhex(&L, data, len);
        else if (fmt == TIMGSREC)
            ok = ParseSrec(&L, data, len);
        else
            ok = LoadBytes(&L, 0, data, len);
        if (ok && !L.any)
            ok = LoadFail(&L, "no data in the image");
    }
    if (ok) {
        memcpy(pBuf, L.img, size);
        *pLast = L.last;
    }
    free(L.img);
    free(L.seen);
    return ok;
}

// ---- Formatting ------------------------------------------------------------------------

unsigned int ImageFormatHolds(IMG_FORMAT fmt, unsigned long last, unsigned long base, char* err,
                              size_t errSize) {
    if (fmt == TIMGRAW || (unsigned long long)base + last <= IMG_ADDRESS_MAX)
        return 1;
    snprintf(err, errSize, "address 0x%llX does not fit the %s format",
             (unsigned long long)base + last, ImageFormatName(fmt));
    return 0;
}

unsigned char* FormatImage(IMG_FORMAT fmt, const unsigned char* pBuf, unsigned long last,
                           unsigned long base, unsigned long* pLen, char* err, size_t errSize) {
    ImgText t = {0, 0, 0, 0};
    if (!ImageFormatHolds(fmt, last, base, err, errSize))
        return 0;
    if (fmt == TIMGIHEX)
        FormatIhex(&t, pBuf, last, base);
    else if (fmt == TIMGSREC)
        FormatSrec(&t, pBuf, last, base);
    else
        PutText(&t, (const char*)pBuf, last + 1);
    if (t.failed) {
        free(t.p);
        snprintf(err, errSize, "out of memory");
        return 0;
    }
    *pLen = t.len;
    return (unsigned char*)t.p;
}
