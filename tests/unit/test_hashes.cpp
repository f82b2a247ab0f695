// The sums a dump is known by, against their published check values and against sha1sum on
// the same bytes: a ROM list can only be searched with hashes computed exactly as it computes
// them.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "job/hashes.h"
#include "tests/support/common.h"

namespace {

std::string sha1(const std::string& s) {
    char text[41];
    return Sha1Text(reinterpret_cast<const unsigned char*>(s.data()), s.size(), text);
}

unsigned long crc(const std::string& s) {
    return Crc32Of(reinterpret_cast<const unsigned char*>(s.data()), s.size());
}

TEST(Hashes, CheckValuesOfTheStandards) {
    EXPECT_EQ(crc("123456789"), 0xCBF43926UL);
    EXPECT_EQ(crc(""), 0UL);
    EXPECT_EQ(sha1(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(sha1("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
    // 56 bytes: the length no longer fits the block it ends in.
    EXPECT_EQ(sha1("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    const unsigned char bytes[] = {0xFF, 0x01, 0xFF};
    EXPECT_EQ(ByteSum16(bytes, 3), 0x01FFUL);
}

// Every length around the block and padding edges, random bytes, against sha1sum itself.
TEST(Hashes, Sha1AsSha1sumPrintsIt) {
    vtest::TempDir dir;
    std::mt19937 rng(7);
    for (size_t n : {1ul, 55ul, 56ul, 63ul, 64ul, 65ul, 119ul, 120ul, 4096ul, 65536ul}) {
        SCOPED_TRACE(n);
        std::string data(n, '\0');
        for (char& c : data)
            c = static_cast<char>(rng());
        const std::string path = dir / "img.bin";
        ASSERT_TRUE(vtest::writeBytes(path, data));
        FILE* p = popen(("sha1sum " + path).c_str(), "r");
        ASSERT_NE(p, nullptr);
        char line[128] = "";
        ASSERT_NE(fgets(line, sizeof line, p), nullptr);
        pclose(p);
        EXPECT_EQ(sha1(data), std::string(line, 40));
    }
}

} // namespace
