// Image formats: Intel HEX and S-record read and written, each checked both ways against
// srec_cat (Debian package srecord) on the same images, and the exact message of every fault.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "image/formats.h"
#include "tests/support/common.h"

using vtest::TempDir;

namespace {

using Bytes = std::vector<unsigned char>;

// srec_cat with `args`; its exit status, and what it said on standard error in *said.
int srecCat(const TempDir& dir, const std::string& args, std::string* said) {
    const int rc = std::system(("cd " + dir.path() + " && srec_cat " + args + " 2>said").c_str());
    *said = vtest::readBytes(dir / "said");
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

// Whether srec_cat runs here: the shell finds it on the PATH.
bool haveSrecCat() {
    return std::system("srec_cat -VERSion >/dev/null 2>&1") == 0;
}
const char NO_SREC_CAT[] = "srec_cat is not installed (apt-get install srecord)";

// The image parsed from `text` into a buffer of 0x11 bytes first, or the error.
std::string parse(IMG_FORMAT fmt, const std::string& text, unsigned long size, unsigned long offset,
                  Bytes* img, unsigned long* last) {
    img->assign(size, 0x11);
    char err[300] = "";
    const unsigned int ok = ParseImage(fmt,
                                       fmt == TIMGSREC   ? "t.s19"
                                       : fmt == TIMGIHEX ? "t.hex"
                                                         : "t.bin",
                                       (const unsigned char*)text.data(), text.size(), img->data(),
                                       size, offset, last, err, sizeof err);
    EXPECT_EQ(ok, err[0] == '\0' ? 1u : 0u);
    return err;
}

// A file on disk parsed into `img` (`size` bytes), as a job loads it; 1, or 0 with the error.
unsigned int loadFile(const std::string& name, Bytes* img, unsigned long size, unsigned long offset,
                      unsigned long* last, char* err, size_t errSize) {
    const std::string text = vtest::readBytes(name);
    return ParseImage(ImageFormatOfFile(name.c_str()), name.c_str(),
                      (const unsigned char*)text.data(), text.size(), img->data(), size, offset,
                      last, err, errSize);
}

std::string format(IMG_FORMAT fmt, const Bytes& img, unsigned long last, unsigned long base) {
    char err[300] = "";
    unsigned long len = 0;
    unsigned char* text = FormatImage(fmt, img.data(), last, base, &len, err, sizeof err);
    EXPECT_TRUE(text) << err;
    std::string s(text ? (const char*)text : "", text ? len : 0);
    free(text);
    return s;
}

struct Chunk {
    unsigned long addr, len;
};
struct Case {
    const char* name;
    unsigned long size, base;
    std::vector<Chunk> chunks;
};

} // namespace

TEST(ImageFormats, ChosenByNameOrElseByExtension) {
    IMG_FORMAT f = TIMGRAW;
    EXPECT_TRUE(ImageFormatByName("srec", &f) && f == TIMGSREC);
    EXPECT_TRUE(ImageFormatByName("ihex", &f) && f == TIMGIHEX);
    EXPECT_TRUE(ImageFormatByName("raw", &f) && f == TIMGRAW);
    EXPECT_FALSE(ImageFormatByName("hex", &f));
    const std::pair<const char*, IMG_FORMAT> names[] = {
        {"fw.hex", TIMGIHEX}, {"a/FW.IHX", TIMGIHEX}, {"x.ihex", TIMGIHEX},   {"r.s19", TIMGSREC},
        {"r.S28", TIMGSREC},  {"r.s37", TIMGSREC},    {"r.srec", TIMGSREC},   {"r.Mot", TIMGSREC},
        {"rom.bin", TIMGRAW}, {"hex", TIMGRAW},       {"d.hex/rom", TIMGRAW}, {"-", TIMGRAW}};
    for (const auto& n : names)
        EXPECT_EQ(ImageFormatOfFile(n.first), n.second) << n.first;
}

// Each image with gaps (0xFF), above 64 KiB and at an offset: srec_cat writes it and we read
// it from disk; we write it and srec_cat reads it back without a word of complaint.
TEST(ImageFormats, ReadAndWrittenAlikeWithSrecCat) {
    if (!haveSrecCat())
        GTEST_SKIP() << NO_SREC_CAT;
    std::string said;
    TempDir dir;
    const Case cases[] = {{"gaps", 0x8000, 0, {{0, 0x100}, {0x1234, 0x45}, {0x7F00, 0x100}}},
                          {"offset", 0x8000, 0x8000, {{0x10, 0x2000}, {0x7FF0, 0x10}}},
                          {"above64k", 0x80000, 0, {{0xFFE3, 0x40}, {0x4FFF0, 0x21}}},
                          {"27c040", 0x80000, 0, {{0, 0x80000}}},
                          {"2716high", 0x800, 0xFF000000, {{0x10, 0x20}}}};
    unsigned seed = 7;
    for (const Case& c : cases) {
        Bytes want(c.size, 0xFF);
        std::string in;
        for (size_t k = 0; k < c.chunks.size(); k++) {
            const Chunk& ch = c.chunks[k];
            std::string bin(ch.len, '\0');
            for (char& b : bin)
                b = (char)((seed = seed * 1103515245 + 12345) >> 16);
            std::copy(bin.begin(), bin.end(), want.begin() + ch.addr);
            const std::string name = c.name + std::to_string(k) + ".bin";
            ASSERT_TRUE(vtest::writeBytes(dir / name, bin));
            in += " " + name + " -binary -offset " + std::to_string(c.base + ch.addr);
        }
        const unsigned long last = c.chunks.back().addr + c.chunks.back().len - 1;
        for (const char* ext : {".hex", ".s28"}) {
            SCOPED_TRACE(c.name + std::string(ext));
            const std::string theirs = dir / (c.name + std::string("-theirs") + ext);
            ASSERT_EQ(srecCat(dir,
                              in + " -o " + theirs + (ext[1] == 'h' ? " -intel" : " -motorola"),
                              &said),
                      0)
                << said;
            Bytes got(c.size, 0x11);
            unsigned long gotLast = 0;
            char err[300] = "";
            EXPECT_EQ(loadFile(theirs, &got, c.size, c.base, &gotLast, err, sizeof err), 1u) << err;
            EXPECT_TRUE(got == want);
            EXPECT_EQ(gotLast, last);

            const std::string ours = dir / (c.name + std::string("-ours") + ext);
            ASSERT_TRUE(
                vtest::writeBytes(ours, format(ImageFormatOfFile(ext), want, last, c.base)));
            EXPECT_EQ(srecCat(dir,
                              ours + (ext[1] == 'h' ? " -intel" : " -motorola") + " -offset -" +
                                  std::to_string(c.base) + " -o back.bin -binary",
                              &said),
                      0);
            EXPECT_EQ(said, "");
            EXPECT_TRUE(vtest::readBytes(dir / "back.bin") ==
                        std::string(want.begin(), want.begin() + last + 1));
        }
    }
}

// A checksum srec_cat wrote, corrupted: both tools refuse the record, ours with its line.
TEST(ImageFormats, CorruptedChecksumRefusedByBoth) {
    if (!haveSrecCat())
        GTEST_SKIP() << NO_SREC_CAT;
    std::string said;
    TempDir dir;
    for (const char* type : {"intel", "motorola"}) {
        const std::string name = dir / (std::string("c.") + (type[0] == 'i' ? "hex" : "s19"));
        ASSERT_TRUE(vtest::writeBytes(dir / "c.bin", std::string(200, 'c')));
        ASSERT_EQ(srecCat(dir, std::string("c.bin -binary -o ") + name + " -" + type, &said), 0)
            << said;
        std::vector<std::string> lines = vtest::splitLines(vtest::readBytes(name));
        const std::string sum = lines[2].substr(lines[2].size() - 2);
        lines[2].back() = sum[1] == '0' ? '1' : '0';
        std::string text;
        for (size_t i = 0; i + 1 < lines.size(); i++)
            text += lines[i] + "\n";
        ASSERT_TRUE(vtest::writeBytes(name, text));
        EXPECT_EQ(srecCat(dir, name + " -" + type + " -o /dev/null", &said), 1);
        EXPECT_NE(said.find("checksum mismatch"), std::string::npos) << said;
        Bytes img(0x100, 0x11);
        unsigned long last = 0;
        char err[300] = "";
        EXPECT_EQ(loadFile(name, &img, 0x100, 0, &last, err, sizeof err), 0u);
        EXPECT_EQ(err, name + ":3: bad checksum 0x" + lines[2].substr(lines[2].size() - 2) +
                           ", expected 0x" + sum);
        EXPECT_TRUE(img == Bytes(0x100, 0x11)); // a refused image leaves the buffer alone
    }
}

// What each format accepts, where its bytes land, and the exact words for every fault.
TEST(ImageFormats, RecordsCheckedWithExactMessages) {
    struct Row {
        IMG_FORMAT fmt;
        unsigned long size, offset;
        std::string text, error;
        std::vector<std::pair<unsigned long, unsigned char>> bytes = {}; // the rest stays 0xFF
    };
    const std::string hexEnd = ":00000001FF\n";
    const Row rows[] = {
        // CRLF, blank lines, trailing blanks, lower case, a value given twice alike, DOS ^Z.
        {TIMGIHEX,
         0x8000,
         0,
         ":0100000041be\r\n\n:0100010042BC \t\n:0100000041BE\n" + hexEnd + "\x1a",
         "",
         {{0, 0x41}, {1, 0x42}}},
        // Extended segment and linear addresses; the start addresses are passed over.
        {TIMGIHEX,
         0x80000,
         0,
         ":020000021000EC\n:0100050043B7\n:0400000300001234B3\n"
         ":020000040002F8\n:0100000044BB\n:0400000500001234B1\n" +
             hexEnd,
         "",
         {{0x10005, 0x43}, {0x20000, 0x44}}},
        {TIMGIHEX, 0x8000, 0, ":0100000041BF\n" + hexEnd,
         "t.hex:1: bad checksum 0xBF, expected 0xBE"},
        {TIMGIHEX, 0x8000, 0, ":01000000G1BE\n", "t.hex:1: bad hex digit 'G'"},
        {TIMGIHEX, 0x8000, 0, "\n:0100000041B\n", "t.hex:2: odd number of hex digits"},
        {TIMGIHEX, 0x8000, 0, ":0200000041BD\n",
         "t.hex:1: length field says 2 bytes, record holds 1"},
        {TIMGIHEX, 0x8000, 0, ":00000006FA\n", "t.hex:1: unknown record type 06"},
        {TIMGIHEX, 0x8000, 0, ":0400000400010000F7\n",
         "t.hex:1: record type 04 must hold 2 data bytes, not 4"},
        {TIMGIHEX, 0x8000, 0, " " + hexEnd, "t.hex:1: record does not start with ':'"},
        {TIMGIHEX, 0x8000, 0, ":0100000041BE\n", "t.hex:1: no end-of-file record"},
        {TIMGIHEX, 0x8000, 0, hexEnd + ":0100000041BE\n",
         "t.hex:2: data after the end-of-file record"},
        {TIMGIHEX, 0x8000, 0, hexEnd, "t.hex:1: no data in the image"},
        {TIMGIHEX, 0x8000, 0, ":0100000041BE\n:0100000044BB\n",
         "t.hex:2: address 0x0000 given 0x41 before, now 0x44"},
        {TIMGIHEX,
         0x80000,
         0,
         ":020000021000EC\n:02FFFF0041427D\n" + hexEnd,
         "",
         {{0x10000, 0x42}, {0x1FFFF, 0x41}}}, // wraps in its segment
        {TIMGIHEX, 0x8000, 0, ":027FFF004142FD\n",
         "t.hex:1: address 0x8000 is beyond the chip's last address 0x7FFF"},
        {TIMGIHEX, 0x8000, 0x8000, ":0100000041BE\n",
         "t.hex:1: address 0x0000 is below the offset 0x8000"},
        {TIMGIHEX, 0x8000, 0x8000, ":020000040001F9\n:0100000041BE\n",
         "t.hex:2: address 0x10000 (chip address 0x8000) is beyond the chip's last address 0x7FFF"},
        {TIMGSREC,
         0x8000,
         0,
         "S0030000FC\nS104000041BA\r\n\nS20500000142B7\nS5030002FA\nS9030000FC\n",
         "",
         {{0, 0x41}, {1, 0x42}}},
        {TIMGSREC, 0x8000, 0, "S104000041BB\n", "t.s19:1: bad checksum 0xBB, expected 0xBA"},
        {TIMGSREC, 0x8000, 0, "S4030000FC\n", "t.s19:1: unknown record type S4"},
        {TIMGSREC, 0x8000, 0, "S104000041BA\nS5030002FA\n",
         "t.s19:2: S5 counts 2 data records, 1 came before it"},
        {TIMGSREC, 0x8000, 0, "S9030000FC\nS104000041BA\n", "t.s19:2: data after the end record"},
        {TIMGSREC, 0x8000, 0, hexEnd, "t.s19:1: record does not start with 'S'"},
        // Cut short at a line end, as HEX without its end-of-file record is; a count of every
        // data record before it ends a file too, as srec_cat writes it.
        {TIMGSREC, 0x8000, 0, "S104000041BA\n",
         "t.s19:1: no end record (S7, S8 or S9) nor a count (S5 or S6) after the data"},
        {TIMGSREC, 0x8000, 0, "S104000041BA\nS5030001FB\nS104000141B9\n\n",
         "t.s19:4: no end record (S7, S8 or S9) nor a count (S5 or S6) after the data"},
        {TIMGSREC, 0x8000, 0, "S104000041BA\nS5030001FB\n\n", "", {{0, 0x41}}},
        // Nothing runs on past 4 GiB into the low addresses.
        {TIMGIHEX, 0x8000, 0xFFFFFF00,
         ":02000004FFFFFC\n:10FFF800000102030405060708090A0B0C0D0E0F81\n" + hexEnd,
         "t.hex:2: address 0x100000000 is at or past 4 GiB, beyond the format's addresses"},
        {TIMGSREC, 0x8000, 0xFFFFFF00, "S307FFFFFFFF414279\nS70500000000FA\n",
         "t.s19:1: address 0x100000000 is at or past 4 GiB, beyond the format's addresses"},
        {TIMGRAW, 4, 0x8000, "ab", "", {{0, 'a'}, {1, 'b'}}}, // no addresses, no offset
        {TIMGRAW, 4, 0, "abcde", "t.bin: address 0x0004 is beyond the chip's last address 0x0003"},
        {TIMGRAW, 4, 0, "", "t.bin: no data in the image"}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        Bytes img, want(r.size, r.error.empty() ? 0xFF : 0x11);
        for (const auto& b : r.bytes)
            want[b.first] = b.second;
        unsigned long last = 0;
        EXPECT_EQ(parse(r.fmt, r.text, r.size, r.offset, &img, &last), r.error);
        EXPECT_TRUE(img == want);
        if (r.error.empty()) {
            EXPECT_EQ(last, r.bytes.back().first);
        }
    }
}

// The written layout of a small image across 64 KiB at a base address.
TEST(ImageFormats, WrittenLayout) {
    Bytes img(0x22, 0xFF);
    img[0] = 0x41;
    img[0x21] = 0x42;
    EXPECT_EQ(format(TIMGIHEX, img, 0x21, 0xFFF0),
              ":10FFF00041FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFCF\n:020000040001F9\n"
              ":12000000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF42BD\n:00000001FF\n");
    EXPECT_EQ(format(TIMGSREC, img, 0x21, 0xFFF0),
              "S00A000076616E7472656CF9\n"
              "S22400FFF041FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFCA\n"
              "S206010010FF42A7\nS5030002FA\nS804000000FB\n");
    EXPECT_EQ(format(TIMGRAW, img, 1, 0x8000), std::string("A\xFF"));
}
