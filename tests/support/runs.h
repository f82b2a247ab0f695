// Helpers for the tests of the chip runs (read, verify, blank check, programming) on the
// virtual board: the screen before the boxes (tests/support/common.h reads the boxes), test images
// that show aliased address lines, the buffer checksum worked out from its rule, and the after-run
// checks of the board (no protocol violation, no hazard, chip left idle).
//
// Header only; include it after tests/support/wire.h.
#ifndef VANTREL_TESTS_SUPPORT_RUNS_H
#define VANTREL_TESTS_SUPPORT_RUNS_H

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "sim/model/board.h"

namespace runs {

// printf into a std::string.
inline std::string fmt(const char* format, ...) {
    char text[600];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    return text;
}

// The screen up to the blank line that opens the first box (all of it without a box).
inline std::string before_boxes(const std::string& screen) {
    const size_t at = screen.find("\n+-");
    return at == std::string::npos ? screen : screen.substr(0, at);
}

// A test image byte: a hash of the address, so that no address line can be lost or swapped
// without some byte landing in the wrong cell (a repeating pattern would hide that). The
// seed gives every chip type its own image.
inline uint8_t image_byte(uint32_t address, uint32_t seed) {
    uint32_t x = address * 0x9E3779B1u + seed * 0x85EBCA77u + 0x165667B1u;
    x ^= x >> 15;
    x *= 0x2C1B3C6Du;
    x ^= x >> 12;
    x *= 0x297A2D39u;
    x ^= x >> 15;
    return static_cast<uint8_t>(x >> 24);
}

inline std::vector<uint8_t> make_image(uint32_t size, uint32_t seed) {
    std::vector<uint8_t> v(size);
    for (uint32_t a = 0; a < size; ++a)
        v[a] = image_byte(a, seed);
    return v;
}

// The buffer checksum over pByte[0..end], worked out from its rule: the byte sum modulo
// 65,536; when the sum stays below 0x1000 the two nibbles of its high byte trade places.
inline unsigned rule_checksum(const uint8_t* p, unsigned long end) {
    unsigned sum = 0;
    for (unsigned long i = 0; i <= end; ++i)
        sum = (sum + p[i]) % 65536u;
    const unsigned high = sum / 256, low = sum % 256;
    if (high / 16 != 0)
        return sum;
    const unsigned swapped = (high % 16) * 16 + high / 16;
    return swapped * 256 + low;
}

// First index where a and b differ over their common length, or -1 (and the length
// difference as a difference at the shorter end).
inline long first_difference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i])
            return static_cast<long>(i);
    return a.size() == b.size() ? -1 : static_cast<long>(n);
}

// After a run: the board saw no protocol violation, nothing hurt the chip, and the chip is
// idle (programming voltage off, chip enable inactive). idle_check() records a hazard when
// the chip is left active, so the hazard log is read after it.
inline ::testing::AssertionResult board_clean_and_idle() {
    vsim::Board& b = vsim::board();
    const bool idle = b.idle_check();
    if (!b.violations().empty())
        return ::testing::AssertionFailure() << "protocol violations:\n" << b.violations().joined();
    if (!b.hazards().empty())
        return ::testing::AssertionFailure() << "hazards:\n" << b.hazards().joined();
    if (!idle)
        return ::testing::AssertionFailure() << "chip not idle, IC4 " << unsigned(b.ic4());
    return ::testing::AssertionSuccess();
}

} // namespace runs

#endif
