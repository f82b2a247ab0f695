// What a job can tell of the bytes it read: the notes on a strange dump, passes that agree
// or not, and the chip's cells sorted against an image.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
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

// Each mark, and of marks that imply others only the most telling one.
TEST(ReadNotes, EachMarkAndOnlyTheMostTellingOne) {
    const struct {
        Bytes bytes;
        const char* notes; // one a line, without "note: "
    } cases[] = {
        {image(0x10000), ""},
        {Bytes(0x8000, 0xFF), "every cell is 0xFF: an erased chip, or no chip in the socket\n"},
        {Bytes(0x8000, 0x00),
         "every cell is 0x00: a chip that does not answer, or one filled with it\n"},
        {image(0x8000, ~0UL, 0x08, 0x40),
         "data bit D3 is 0 in every cell: data pin D3 without contact, or data that never uses it\n"
         "data bit D6 is 1 in every cell: data pin D6 without contact, or data that never uses "
         "it\n"},
        {image(0x8000, 0x3FFF), "the image repeats every 0x4000 bytes: a 27128 read as a larger "
                                "type, or address line A14 without contact\n"},
        {image(0x6000, 0x1FFF), "the image repeats every 0x2000 bytes: a 2764 read as a larger "
                                "type, or address lines A13 to A14 without contact\n"},
        {image(0x10000, ~0x20UL), "address line A5 changes nothing (each cell equals the one with "
                                  "A5 flipped): pin A5 without contact\n"},
        {image(0x8000, 0x3FFE),
         "the image repeats every 0x4000 bytes: a 27128 read as a larger type, or address line "
         "A14 without contact\naddress line A0 changes nothing (each cell equals the one with A0 "
         "flipped): pin A0 without contact\n"},
        {image(0x1000, 0xF), "the image repeats every 0x10 bytes: a fill pattern, or address "
                             "lines A4 to A11 without contact\n"},
        {image(0x6000, ~0x4000UL), ""}, // A14 in half a block: too little to tell
    };
    for (const auto& c : cases) {
        ReadNote notes[READ_NOTES_MAX];
        const unsigned count = FindReadNotes(c.bytes.data(), c.bytes.size(), notes);
        std::string texts;
        for (unsigned i = 0; i < count; i++) {
            char text[200];
            ReadNoteText(&notes[i], text, sizeof text);
            EXPECT_EQ(std::string(text, 6), "note: ");
            texts += std::string(text + 6) + "\n";
        }
        EXPECT_EQ(texts, c.notes);
    }
}

std::string hex(unsigned long v) {
    char s[20];
    snprintf(s, sizeof s, "%lX", v);
    return s;
}

// Differing cells, the unstable ones listed with the bits that changed and the first one's
// values, and the bitwise majority (a tie keeps the first pass's bit).
TEST(Passes, DifferingCellsTheirBitsAndTheMajority) {
    const struct {
        std::vector<Bytes> passes;
        const char* report; // cells that differ, undecided, listed "cell:bits", first's values
        Bytes majority;
    } cases[] = {
        {{{1, 2, 3}, {1, 2, 3}}, "0 0", {1, 2, 3}},
        {{{0x3C, 9}, {0x34, 9}}, "1 1 0:8 3C 34", {0x3C, 9}},
        {{{0x3C, 0x0F}, {0x34, 0xF0}, {0x3C, 0xFF}}, "2 0 0:8 1:FF 3C 34 3C", {0x3C, 0xFF}},
        {{{1, 5}, {0, 5}, {0, 4}, {1, 5}}, "2 1 0:1 1:1 1 0 0 1", {1, 5}},
        {{Bytes(12, 0), Bytes(12, 1)}, "12 12 0:1 1:1 2:1 3:1 4:1 5:1 6:1 7:1 0 1", Bytes(12, 0)},
    };
    for (const auto& c : cases) {
        std::vector<const unsigned char*> p;
        for (const Bytes& b : c.passes)
            p.push_back(b.data());
        Bytes majority(c.majority.size(), 0xEE);
        PassReport r;
        const unsigned long n =
            ComparePasses(p.data(), p.size(), majority.size(), majority.data(), &r);
        std::string line = std::to_string(n) + " " + std::to_string(r.undecided);
        for (unsigned i = 0; i < r.listed; i++)
            line += " " + hex(r.cells[i].adresse) + ":" + hex(r.cells[i].changed);
        for (unsigned k = 0; r.listed && k < p.size(); k++)
            line += " " + hex(r.cells[0].values[k]);
        EXPECT_EQ(line, c.report);
        EXPECT_EQ(majority, c.majority) << c.report;
    }
    PassReport r;
    EXPECT_EQ(ComparePasses(nullptr, 0, 5, nullptr, &r), 0UL);
}

// Cells right, burnable, needing erasing and with bits left unburnt, each with its first, and
// the first eight that differ.
TEST(ChipDiff, CellsRightBurnableOrNeedingErasing) {
    const struct {
        Bytes chip, image;
        const char* report;
    } cases[] = {
        {{0xFF, 0xFF, 0xFF}, {0x3C, 0xFF, 0x00}, "1@1(FF,FF) 2@0(FF,3C) 0@0(0,0) 2@0(FF,3C) 02"},
        {{0x00, 0x3C, 0x3C, 0x7C},
         {0x3C, 0x3C, 0x34, 0x83},
         "1@1(3C,3C) 1@2(3C,34) 2@0(0,3C) 2@2(3C,34) 023"},
        {Bytes(10, 0x00), Bytes(10, 0x01), "0@0(0,0) 0@0(0,0) 10@0(0,1) 0@0(0,0) 01234567"},
    };
    for (const auto& c : cases) {
        ChipDiff d;
        CompareChipImage(c.chip.data(), c.image.data(), c.chip.size(), &d);
        std::string line;
        for (const auto& [n, first] :
             {std::make_pair(d.right, d.firstRight), std::make_pair(d.burnable, d.firstBurnable),
              std::make_pair(d.needErase, d.firstNeedErase),
              std::make_pair(d.unburnt, d.firstUnburnt)})
            line += std::to_string(n) + "@" + hex(first.adresse) + "(" + hex(first.chip) + "," +
                    hex(first.image) + ") ";
        for (unsigned i = 0; i < d.listed; i++)
            line += hex(d.cells[i].adresse);
        EXPECT_EQ(line, c.report);
    }
}

} // namespace
