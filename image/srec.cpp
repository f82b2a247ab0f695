// Motorola S-record: "S" and a type digit, then a count byte, an address of 2, 3 or 4 bytes,
// the data and a checksum. S0 is a header, S1 to S3 carry data, S5 and S6 count the data
// records before them, S7 to S9 end the file with a start address.
#include "image/srec.h"

// Address bytes of each record type; S4 does not exist.
static const unsigned int addrLen[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

static unsigned long long bigEndian(const unsigned char* p, unsigned int n) {
    unsigned long long v = 0;
    while (n--)
        v = v << 8 | *p++;
    return v;
}

// What the records so far have told.
struct SrecState {
    unsigned long records; // data records
    unsigned int ended;    // a termination record came
    unsigned int counted;  // the last record was a count of every data record before it
};

unsigned int DecodeSrecRecord(ImgLoader* L, const char* text, unsigned long n, unsigned char* rec,
                              unsigned int* count) {
    if (n < 2)
        return LoadFail(L, "record too short");
    const char c = text[1];
    if (c < '0' || c > '9' || c == '4')
        return LoadFail(L, "unknown record type S%c", c > ' ' && c < 127 ? c : '?');
    return DecodeRecord(L, text + 2, n - 2, addrLen[c - '0'] + 2, 0, 1, rec, count);
}

// One record, its text without the line end: data into the image, a count checked, an end
// noted.
static unsigned int takeRecord(ImgLoader* L, const char* text, unsigned long n, SrecState* st) {
    unsigned char rec[262];
    unsigned int count;
    if (!DecodeSrecRecord(L, text, n, rec, &count))
        return 0;
    const char c = text[1];
    const unsigned int type = c - '0', alen = addrLen[type];
    const unsigned long long addr = bigEndian(rec + 1, alen);
    const unsigned int size = count - 2 - alen;
    if (type >= 5 && size)
        return LoadFail(L, "S%c record must hold no data", c);
    if (type >= 1 && type <= 3) {
        if (!LoadBytes(L, addr, rec + 1 + alen, size))
            return 0;
        st->records++;
        st->counted = 0;
    } else if (type == 5 || type == 6) {
        if (addr != st->records)
            return LoadFail(L, "S%c counts %llu data records, %lu came before it", c, addr,
                            st->records);
        st->counted = 1;
    } else if (type >= 7) {
        st->ended = 1;
    }
    return 1;
}

unsigned int ParseSrec(ImgLoader* L, const unsigned char* data, unsigned long len) {
    const unsigned char *pos = data, *end = data + len;
    const char* text;
    unsigned long n;
    SrecState st = {0, 0, 0};
    int got;
    while ((got = NextRecord(L, &pos, end, 'S', st.ended, "end record", &text, &n)) > 0)
        if (!takeRecord(L, text, n, &st))
            return 0;
    if (got < 0)
        return 0;
    // A file cut short at a line end would otherwise pass for a whole one. Its end is a
    // termination record, or a count of every data record before it: srec_cat writes no
    // termination record for an image without a start address.
    if (!st.ended && !st.counted)
        return LoadFail(L, "no end record (S7, S8 or S9) nor a count (S5 or S6) after the data");
    return 1;
}

static void putSrec(ImgText* t, const char* mark, unsigned long long addr, unsigned int alen,
                    const unsigned char* d, unsigned int n) {
    unsigned char rec[1 + 4 + IMG_RECORD_DATA];
    rec[0] = (unsigned char)(alen + n + 1);
    for (unsigned int k = 0; k < alen; k++)
        rec[1 + k] = (unsigned char)(addr >> 8 * (alen - 1 - k));
    for (unsigned int k = 0; k < n; k++)
        rec[1 + alen + k] = d[k];
    PutRecord(t, mark, rec, 1 + alen + n, 1);
}

// The shortest address that holds the last address, for every record: S1 and S9, S2 and S8,
// or S3 and S7. An S0 header first and, as srec_cat writes it, an S5 (or S6) count.
void FormatSrec(ImgText* t, const unsigned char* pBuf, unsigned long last, unsigned long base) {
    static const unsigned char header[] = {10, 0, 0, 'v', 'a', 'n', 't', 'r', 'e', 'l'};
    PutRecord(t, "S0", header, sizeof header, 1);
    const unsigned long top = base + last;
    const unsigned int alen = top <= 0xFFFF ? 2 : top <= 0xFFFFFF ? 3 : 4;
    static const char* const dataMark[5] = {0, 0, "S1", "S2", "S3"};
    static const char* const endMark[5] = {0, 0, "S9", "S8", "S7"};
    unsigned long records = 0;
    for (unsigned long i = 0; i <= last; i += IMG_RECORD_DATA, records++) {
        const unsigned long n = last + 1 - i < IMG_RECORD_DATA ? last + 1 - i : IMG_RECORD_DATA;
        putSrec(t, dataMark[alen], (unsigned long long)base + i, alen, pBuf + i, n);
    }
    if (records <= 0xFFFF)
        putSrec(t, "S5", records, 2, 0, 0);
    else if (records <= 0xFFFFFF)
        putSrec(t, "S6", records, 3, 0, 0);
    putSrec(t, endMark[alen], 0, alen, 0, 0);
}
