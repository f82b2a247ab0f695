// Numbers as operators type them: chip addresses and range ends (7FFF, 0x8000), port base
// addresses (0x378, 0xD010) and the bench's counts and cell addresses (7936, 0x1F00). One
// reader for all of them, header only, so that vantrel-sim's bench options and the test
// harness read a number exactly as the program does.
#ifndef VANTREL_COMMON_NUMBERS_H
#define VANTREL_COMMON_NUMBERS_H

// How a number may be written.
enum NUM_FORM {
    TNUM_HEX = 0,   // hexadecimal, 0x optional, blanks around it: what is typed at a prompt
    TNUM_HEX_0X,    // hexadecimal with its 0x: a port base, where 378 alone could be either
    TNUM_DEC_OR_0X, // decimal, or hexadecimal with 0x: the bench's counts and addresses
    TNUM_DEC,       // decimal digits only
    TnumMax
};

// The value of a hexadecimal digit, or -1.
inline int hexDigit(int c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The digits at *s in `base` (10 or 16), at least one: 1 with the value in *value and *s past
// them, or 0 when there is no digit or the value would pass `max`.
inline int numberDigits(const char** s, unsigned base, unsigned long long max,
                        unsigned long long* value) {
    const char* p = *s;
    unsigned long long v = 0;
    int d;
    for (; (d = hexDigit((unsigned char)*p)) >= 0 && (unsigned)d < base; p++) {
        if ((unsigned)d > max || v > (max - (unsigned)d) / base)
            return 0;
        v = v * base + (unsigned)d;
    }
    if (p == *s)
        return 0;
    *s = p;
    *value = v;
    return 1;
}

// Past the blanks at `s` where the form allows blanks around the number.
inline const char* skipBlanks(const char* s, int form) {
    if (form == TNUM_HEX)
        while (*s == ' ' || (*s >= '\t' && *s <= '\r'))
            s++;
    return s;
}

// Reads the whole of `s` as one number in the given NUM_FORM, no sign, nothing above `max`.
// Returns 1 with the number in *value, else 0 and *value untouched.
inline int parseNumber(const char* s, int form, unsigned long long max, unsigned long long* value) {
    if (!s)
        return 0;
    s = skipBlanks(s, form);
    const int has0x = s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    if (form == TNUM_HEX_0X && !has0x)
        return 0;
    const unsigned base = form == TNUM_DEC || (form == TNUM_DEC_OR_0X && !has0x) ? 10 : 16;
    if (base == 16 && has0x)
        s += 2;
    unsigned long long v = 0;
    if (!numberDigits(&s, base, max, &v) || *skipBlanks(s, form) != '\0')
        return 0;
    *value = v;
    return 1;
}

#endif
