#include "job/hashes.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

unsigned long ByteSum16(const unsigned char* p, unsigned long n) {
    unsigned long sum = 0;
    for (unsigned long i = 0; i < n; i++)
        sum += p[i];
    return sum & 0xFFFF;
}

unsigned long Crc32Of(const unsigned char* p, unsigned long n) {
    unsigned long crc = 0xFFFFFFFFUL;
    for (unsigned long i = 0; i < n; i++) {
        crc ^= p[i];
        for (int b = 0; b < 8; b++)
            crc = (crc >> 1) ^ (0xEDB88320UL & (0UL - (crc & 1)));
    }
    return crc ^ 0xFFFFFFFFUL;
}

namespace {

uint32_t rotl(uint32_t x, unsigned k) {
    return (x << k) | (x >> (32 - k));
}

// One 64-byte block into the state, as FIPS 180-4 sets it out.
void sha1Block(uint32_t h[5], const unsigned char* b) {
    uint32_t w[80];
    for (int t = 0; t < 16; t++)
        w[t] = (uint32_t)b[4 * t] << 24 | (uint32_t)b[4 * t + 1] << 16 |
               (uint32_t)b[4 * t + 2] << 8 | (uint32_t)b[4 * t + 3];
    for (int t = 16; t < 80; t++)
        w[t] = rotl(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
    uint32_t a = h[0], bb = h[1], c = h[2], d = h[3], e = h[4];
    for (int t = 0; t < 80; t++) {
        uint32_t f, k;
        if (t < 20) {
            f = (bb & c) | (~bb & d);
            k = 0x5A827999;
        } else if (t < 40) {
            f = bb ^ c ^ d;
            k = 0x6ED9EBA1;
        } else if (t < 60) {
            f = (bb & c) | (bb & d) | (c & d);
            k = 0x8F1BBCDC;
        } else {
            f = bb ^ c ^ d;
            k = 0xCA62C1D6;
        }
        const uint32_t tmp = rotl(a, 5) + f + e + k + w[t];
        e = d;
        d = c;
        c = rotl(bb, 30);
        bb = a;
        a = tmp;
    }
    h[0] += a;
    h[1] += bb;
    h[2] += c;
    h[3] += d;
    h[4] += e;
}

} // namespace

void Sha1Of(const unsigned char* p, unsigned long n, unsigned char digest[20]) {
    uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    unsigned long i = 0;
    for (; n - i >= 64; i += 64)
        sha1Block(h, p + i);
    // The last bytes, a 1 bit, zeros, and the length in bits: one or two blocks.
    unsigned char tail[128] = {};
    const unsigned long rest = n - i;
    memcpy(tail, p + i, rest);
    tail[rest] = 0x80;
    const unsigned long blocks = rest < 56 ? 1 : 2;
    const uint64_t bits = (uint64_t)n * 8;
    for (int k = 0; k < 8; k++)
        tail[blocks * 64 - 1 - k] = (unsigned char)(bits >> (8 * k));
    for (unsigned long k = 0; k < blocks; k++)
        sha1Block(h, tail + 64 * k);
    for (int k = 0; k < 20; k++)
        digest[k] = (unsigned char)(h[k / 4] >> (24 - 8 * (k % 4)));
}

const char* Sha1Text(const unsigned char* p, unsigned long n, char text[41]) {
    unsigned char digest[20];
    Sha1Of(p, n, digest);
    for (int k = 0; k < 20; k++)
        snprintf(text + 2 * k, 3, "%02x", digest[k]);
    return text;
}
