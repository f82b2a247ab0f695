// What a job can tell of the bytes it read: the notes on a strange dump, passes that agree
// or not, and the chip's cells sorted against an image.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "job/chipdiff.h"
#include "job/notes.h"
#include "job/passes.h"

namespace {

using Bytes = std::vector<uint8_t>;

// `size` random bytes, cell a being cell (a & keep) of the random ones, `zero` and `one` bits
// forced.
Bytes image(unsigned long size, unsigned long keep = ~0UL, uint8_t zero = 0, uint8_t one = 0) {
    std::mt19937 rng(static_cast<unsigned>(size ^ keep));
    Bytes r(size), p(size);
    for (auto& b : r)
        b = static_cast<uint8_t>(rng());
    for (unsigned long a = 0; a < size; a++)
        p[a] = static_cast<uint8_t>((r[a & keep] & ~zero) | one);
    return p;
}

TEST(ReadNotes, EachMarkAndOnlyTheMostTellingOne) {
    const struct {
        const char* what;
        Bytes bytes;
        std::vector<std::string> notes;
    } cases[] = {
        {"random", image(0x10000), {}},
        {"erased",
         Bytes(0x8000, 0xFF),
         {"every cell is 0xFF: an erased chip, or no chip in the socket"}},
        {"zeros",
         Bytes(0x8000, 0x00),
         {"every cell is 0x00: a chip that does not answer (wrong type, pins without contact), or "
          "one filled with 0x00"}},
        {"D3 at 0, D6 at 1",
         image(0x8000, ~0UL, 0x08, 0x40),
         {"data bit D3 is 0 in every cell while the others change: data pin D3 without contact, "
          "or data that never uses it",
          "data bit D6 is 1 in every cell while the others change: data pin D6 without contact, "
          "or data that never uses it"}},
        {"27128 as 27256",
         image(0x8000, 0x3FFF),
         {"the image repeats every 16384 bytes (0x4000): a 27128 read as a larger type, or "
          "address line A14 without contact"}},
        {"2764 in 24 KiB",
         image(0x6000, 0x1FFF),
         {"the image repeats every 8192 bytes (0x2000): a 2764 read as a larger type, or address "
          "lines A13 to A14 without contact"}},
        {"A5 open",
         image(0x10000, ~0x20UL),
         {"address line A5 changes nothing (cell a equals cell a with A5 flipped, everywhere): "
          "address pin A5 without contact"}},
        {"A0 and A14 open",
         image(0x8000, 0x3FFE),
         {"the image repeats every 16384 bytes (0x4000): a 27128 read as a larger type, or "
          "address line A14 without contact",
          "address line A0 changes nothing (cell a equals cell a with A0 flipped, everywhere): "
          "address pin A0 without contact"}},
        {"pattern",
         image(0x1000, 0xF),
         {"the image repeats every 16 bytes (0x10): a fill pattern, or address lines A4 to A11 "
          "without contact"}},
        {"half a block", image(0x6000, ~0x4000UL), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ReadNote notes[READ_NOTES_MAX];
        const unsigned count = FindReadNotes(c.bytes.data(), c.bytes.size(), notes);
        std::vector<std::string> texts;
        for (unsigned i = 0; i < count; i++) {
            char text[200];
            texts.push_back(ReadNoteText(&notes[i], text, sizeof text));
        }
        std::vector<std::string> want;
        for (const std::string& n : c.notes)
            want.push_back("note: " + n);
        EXPECT_EQ(texts, want);
    }
}

TEST(Passes, DifferingCellsTheirBitsAndTheMajority) {
    const struct {
        std::vector<Bytes> passes;
        unsigned long differ, undecided;
        std::vector<unsigned long> listed;
        Bytes changed, majority;
    } cases[] = {
        {{{1, 2, 3}, {1, 2, 3}}, 0, 0, {}, {}, {1, 2, 3}},
        {{{0x3C, 9}, {0x34, 9}}, 1, 1, {0}, {0x08}, {0x3C, 9}}, // two passes: a tie
        {{{0x3C, 0x0F, 7}, {0x34, 0xF0, 7}, {0x3C, 0xFF, 7}},
         2,
         0,
         {0, 1},
         {0x08, 0xFF},
         {0x3C, 0xFF, 7}},
        {{{1, 5}, {0, 5}, {0, 4}, {1, 5}}, 2, 1, {0, 1}, {0x01, 0x01}, {1, 5}},
        {{Bytes(12, 0), {0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}},
         10,
         10,
         {2, 3, 4, 5, 6, 7, 8, 9},
         Bytes(8, 1),
         Bytes(12, 0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        std::vector<const unsigned char*> p;
        for (const Bytes& b : c.passes)
            p.push_back(b.data());
        const unsigned long n = c.passes[0].size();
        Bytes majority(n, 0xEE);
        PassReport r;
        EXPECT_EQ(ComparePasses(p.data(), p.size(), n, majority.data(), &r), c.differ);
        EXPECT_EQ(r.differ, c.differ);
        EXPECT_EQ(r.undecided, c.undecided);
        ASSERT_EQ(r.listed, c.listed.size());
        for (unsigned i = 0; i < r.listed; i++) {
            EXPECT_EQ(r.cells[i].adresse, c.listed[i]);
            EXPECT_EQ(r.cells[i].changed, c.changed[i]);
            for (unsigned k = 0; k < p.size(); k++)
                EXPECT_EQ(r.cells[i].values[k], c.passes[k][c.listed[i]]);
        }
        EXPECT_EQ(majority, c.majority);
    }
    const unsigned char* none[1] = {nullptr};
    PassReport r;
    EXPECT_EQ(ComparePasses(none, 0, 5, nullptr, &r), 0UL);
}

TEST(ChipDiff, CellsRightBurnableOrNeedingErasing) {
    const struct {
        Bytes chip, image;
        unsigned long right, burnable, needErase, unburnt;
        unsigned long firstBurnable, firstNeedErase, firstUnburnt, listed;
    } cases[] = {
        {{0xFF, 0xFF, 0xFF}, {0x3C, 0xFF, 0x00}, 1, 2, 0, 2, 0, 0, 0, 2},
        {{0x00, 0x3C, 0x3C, 0x7C}, {0x3C, 0x3C, 0x34, 0x83}, 1, 1, 2, 2, 2, 0, 2, 3},
        {Bytes(10, 0x00), Bytes(10, 0x01), 0, 0, 10, 0, 0, 0, 0, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        ChipDiff d;
        CompareChipImage(c.chip.data(), c.image.data(), c.chip.size(), &d);
        EXPECT_EQ(d.right, c.right);
        EXPECT_EQ(d.burnable, c.burnable);
        EXPECT_EQ(d.needErase, c.needErase);
        EXPECT_EQ(d.unburnt, c.unburnt);
        EXPECT_EQ(d.burnable ? d.firstBurnable.adresse : 0, c.firstBurnable);
        if (d.needErase) {
            EXPECT_EQ(d.firstNeedErase.adresse, c.firstNeedErase);
            EXPECT_EQ(d.firstNeedErase.chip, c.chip[c.firstNeedErase]);
            EXPECT_EQ(d.firstNeedErase.image, c.image[c.firstNeedErase]);
        }
        EXPECT_EQ(d.unburnt ? d.firstUnburnt.adresse : 0, c.firstUnburnt);
        ASSERT_EQ(d.listed, c.listed);
        for (unsigned i = 0; i < d.listed; i++) {
            EXPECT_NE(d.cells[i].chip, d.cells[i].image);
            EXPECT_EQ(d.cells[i].chip, c.chip[d.cells[i].adresse]);
            EXPECT_TRUE(i == 0 || d.cells[i].adresse > d.cells[i - 1].adresse);
        }
    }
}

} // namespace
