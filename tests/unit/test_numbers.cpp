// The one reader of numbers that operators type: which texts each caller takes, and which it
// refuses, at the edges of its range.
#include <gtest/gtest.h>

#include <climits>
#include <cctype>
#include <cstdint>

#include "common/numbers.h"
#include "common/portname.h"

namespace {

TEST(Numbers, EachFormTakesItsOwnTextsOnly) {
    const unsigned long long ADDR = 0xFFFFFFFFULL, BASE = 0xFFFD, BYTE = 255;
    const struct {
        const char* text;
        int form;
        unsigned long long max;
        bool ok;
        unsigned long long value;
    } cases[] = {
        // A range or an address at a prompt or on a job's line: 0x optional, blanks around.
        {"7FFF", TNUM_HEX, ADDR, true, 0x7FFF},
        {"0x8000", TNUM_HEX, ADDR, true, 0x8000},
        {"0X3f", TNUM_HEX, ADDR, true, 0x3F},
        {"  1fff \t\r\n", TNUM_HEX, ADDR, true, 0x1FFF},
        {"0", TNUM_HEX, ADDR, true, 0},
        {"FFFFFFFF", TNUM_HEX, ADDR, true, 0xFFFFFFFF},
        {"000000000FFFFFFFF", TNUM_HEX, ADDR, true, 0xFFFFFFFF},
        {"100000000", TNUM_HEX, ADDR, false, 0},
        {"", TNUM_HEX, ADDR, false, 0},
        {"   ", TNUM_HEX, ADDR, false, 0},
        {"0x", TNUM_HEX, ADDR, false, 0},
        {"0x 5", TNUM_HEX, ADDR, false, 0},
        {"x5", TNUM_HEX, ADDR, false, 0},
        {"-3F", TNUM_HEX, ADDR, false, 0},
        {"+3F", TNUM_HEX, ADDR, false, 0},
        {"7F FF", TNUM_HEX, ADDR, false, 0},
        {"7FFG", TNUM_HEX, ADDR, false, 0},
        {"0x0x5", TNUM_HEX, ADDR, false, 0},
        // A port base: the 0x is required, no blanks.
        {"0x378", TNUM_HEX_0X, BASE, true, 0x378},
        {"0XD010", TNUM_HEX_0X, BASE, true, 0xD010},
        {"0xFFFD", TNUM_HEX_0X, BASE, true, 0xFFFD},
        {"0x0000378", TNUM_HEX_0X, BASE, true, 0x378},
        {"0xFFFE", TNUM_HEX_0X, BASE, false, 0},
        {"378", TNUM_HEX_0X, BASE, false, 0},
        {" 0x378", TNUM_HEX_0X, BASE, false, 0},
        {"0x378 ", TNUM_HEX_0X, BASE, false, 0},
        {"0x", TNUM_HEX_0X, BASE, false, 0},
        // The bench's numbers: decimal, or hex with its 0x.
        {"7936", TNUM_DEC_OR_0X, ADDR, true, 7936},
        {"0x1F00", TNUM_DEC_OR_0X, ADDR, true, 0x1F00},
        {"0378", TNUM_DEC_OR_0X, ADDR, true, 378},
        {"255", TNUM_DEC_OR_0X, BYTE, true, 255},
        {"0xFF", TNUM_DEC_OR_0X, BYTE, true, 255},
        {"256", TNUM_DEC_OR_0X, BYTE, false, 0},
        {"0x100", TNUM_DEC_OR_0X, BYTE, false, 0},
        {"1F00", TNUM_DEC_OR_0X, ADDR, false, 0},
        {"18446744073709551615", TNUM_DEC_OR_0X, ULLONG_MAX, true, ULLONG_MAX},
        {"18446744073709551616", TNUM_DEC_OR_0X, ULLONG_MAX, false, 0},
        {"0xFFFFFFFFFFFFFFFF", TNUM_DEC_OR_0X, ULLONG_MAX, true, ULLONG_MAX},
        {"0x10000000000000000", TNUM_DEC_OR_0X, ULLONG_MAX, false, 0},
        {" 5", TNUM_DEC_OR_0X, ADDR, false, 0},
        {"1.5", TNUM_DEC_OR_0X, ADDR, false, 0},
        // A bus delay factor: decimal digits only.
        {"5", TNUM_DEC, BYTE, true, 5},
        {"0005", TNUM_DEC, BYTE, true, 5},
        {"0x5", TNUM_DEC, BYTE, false, 0},
        {"1x", TNUM_DEC, BYTE, false, 0},
        {"+5", TNUM_DEC, BYTE, false, 0},
        {"99999999999999999999", TNUM_DEC, BYTE, false, 0},
        // A maximum below a single digit.
        {"7", TNUM_DEC, 5, false, 0},
        {"5", TNUM_DEC, 5, true, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "'" << c.text << "' form " << c.form);
        unsigned long long v = 12345;
        EXPECT_EQ(parseNumber(c.text, c.form, c.max, &v), c.ok ? 1 : 0);
        EXPECT_EQ(v, c.ok ? c.value : 12345ULL) << "a refused text must leave the value alone";
    }
    unsigned long long v = 0;
    EXPECT_EQ(parseNumber(nullptr, TNUM_HEX, ADDR, &v), 0);
}

TEST(Numbers, HexDigits) {
    const char* digits = "0123456789abcdef";
    for (int d = 0; d < 16; d++) {
        EXPECT_EQ(hexDigit(digits[d]), d);
        EXPECT_EQ(hexDigit(toupper(digits[d])), d);
    }
    for (int c :
         {int('g'), int('G'), int('/'), int(':'), int('@'), int('`'), int(' '), int('x'), 0, 0xB0})
        EXPECT_EQ(hexDigit(c), -1) << c;
}

TEST(Numbers, PortNames) {
    const struct {
        const char* text;
        int kind;
        uint16_t base;
    } cases[] = {
        {"0x378", TNAME_BASE, 0x378},
        {"0xd010", TNAME_BASE, 0xD010},
        {"0x1", TNAME_BASE, 0x1},
        {"0xFFFD", TNAME_BASE, 0xFFFD},
        {"/dev/parport1", TNAME_DEVICE, 0},
        {"/", TNAME_DEVICE, 0},
        {"0x0", TNAME_BAD, 0},
        {"0xFFFE", TNAME_BAD, 0},
        {"0x10000", TNAME_BAD, 0},
        {"378", TNAME_BAD, 0},
        {"", TNAME_BAD, 0},
        {"0x", TNAME_BAD, 0},
        {"0xD01G", TNAME_BAD, 0},
        {"dev/parport0", TNAME_BAD, 0},
    };
    for (const auto& c : cases) {
        uint16_t base = 7;
        EXPECT_EQ(parsePortName(c.text, &base), c.kind) << c.text;
        EXPECT_EQ(base, c.kind == TNAME_BASE ? c.base : 7) << c.text;
    }
    uint16_t base = 0;
    EXPECT_EQ(parsePortName(nullptr, &base), TNAME_BAD);
}

} // namespace
