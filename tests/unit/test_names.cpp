// Names as users type them off chips: the readings that once put a voltage on a chip that
// destroys it, the chips of other families, the -t names held to their parts, generated
// names against the board model's parts table, and the two parts tables side by side.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tests/support/names_oracle.h"

namespace {

// Marking, then the family it reads as, or how it is refused: "two parts", "other family",
// "unknown". The names that used to read as the NMOS part or as a wrong family come first;
// then makers' names, package letters, suffixes after a separator. Another maker's 27C1000
// could be anything, and so could a 571000 without Toshiba's TC.
// clang-format off
const char* const kMarkings[] = {
    "M2764A2F1", "2764A",            "2764A2", "2764A",               "D2764A25", "2764A",
    "27128A20", "27128A",            "M27128A2F1", "27128A",          "2732A45", "2732A",
    "TMS2732A45JL", "2732A",         "D2732A4", "2732A",              "2764B", "two parts",
    "27128B", "two parts",           "AM2732B", "two parts",          "TMS2716", "other family",
    "W27C512-45Z", "other family",   "W27E010", "other family",       "SST27SF010", "other family",
    "AT28C64B", "other family",      "TMS2516", "other family",       "27C4096-10", "other family",
    "M27C1024", "other family",      "27C011", "other family",        "HN27C301", "other family",
    "M27C801-100F1", "other family", "TMS2732E27256", "unknown",      "TC571000D-20", "27C010",
    "TC574000D", "27C040",           "MX27C1000PC-12", "27C010",      "MX27C2000", "27C020",
    "HN482764G", "2764",             "TMM2764D-2", "2764",            "TMS2732JL", "2732",
    "2764-A", "2764",                "27C256 15", "27C256",           "27C1000", "unknown",
    "571000", "unknown",
};
// clang-format on

TEST(Names, MarkingsReadAsTheirPartOrRefusedAsWhatTheyAre) {
    const char* const refusals[] = {"", "unknown", "two parts", "other family"};
    for (size_t i = 0; i < std::size(kMarkings); i += 2) {
        const EpromPart* p = nullptr;
        char why[300];
        const int r = FindPart(kMarkings[i], &p, why, sizeof why);
        EXPECT_STREQ(r == TPARTFOUND ? p->names[0] : refusals[r], kMarkings[i + 1]) << kMarkings[i];
    }
}

TEST(Names, TypeNamesHoldTheirPartsLimit) {
    const struct {
        const char* name;
        int type;          // -1: refused
        const char* limit; // the part whose limit holds, nullptr for a bare type
    } cases[] = {
        {"2764", T2764, nullptr},      {"27256", T27256, nullptr}, {"27c040", T27040, "27C040"},
        {"27C64", T2764, "27C64"},     {"2764a", T2764, "2764A"},  {"2732A", T2732, "2732A"},
        {"27C32", T2732, "2732A"},     {"2764B", T2764, "2764A"},  {"27C08", T2708, nullptr},
        {"27C256A", T27256, "27C256"}, {"TMS2716", -1, nullptr},   {"27X", -1, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int type = 0;
        const EpromPart* part = nullptr;
        char why[300] = "";
        EXPECT_EQ(TypeByPartName(c.name, &type, &part, why, sizeof why), c.type >= 0 ? 1 : 0);
        EXPECT_EQ(type, c.type) << why;
        EXPECT_STREQ(part ? part->names[0] : nullptr, c.limit);
    }
}

// Names as they come off chips, built from every name both tables know and the look-alikes,
// with makers' prefixes, letters, speeds and package codes with and without a hyphen, and
// then scrambled: whatever the driver reads from them keeps the rule of names_oracle.h.
TEST(Names, GeneratedNamesNeverGetAVoltageAPartTheyCouldBeCannotTake) {
    std::vector<std::string> bases = {"2532",    "2564",   "28C64",  "2864",   "27SF512", "27E512",
                                      "27C1024", "27C400", "27C011", "27C301", "27C080",  "27C1000",
                                      "27C4000", "571000", "574000", "27HC64", "27C08",   "27C32"};
    for (int i = 0; i < PartCount(); i++)
        for (int k = 0; k < PART_NAMES_MAX && PartAt(i)->names[k]; k++)
            bases.push_back(PartAt(i)->names[k]);
    for (const vsim::ChipPart* p : vsim::known_parts())
        for (const char* const* n = p->patterns; *n; ++n)
            bases.push_back(*n);
    const char* const prefixes[] = {"",    "M",   "AM", "D",  "P",  "TMS", "HN48", "M5L", "MBM",
                                    "TMM", "UPD", "NM", "AT", "MX", "TC",  "W",    "SST", "ST"};
    const char* const letters[] = {"", "A", "B", "C", "D", "G", "J", "K", "L", "Q", "AD", "A2"};
    const char* const suffixes[] = {"",   "2",   "20",  "45",    "150",  "F1",  "JL",    "DC",
                                    "-2", "-20", "-45", "-12F1", "/883", " 15", "-150DC"};
    const std::string noise = "0123456789ACDEGJKSWZ-/ .";
    std::mt19937 rng(1729);
    auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
    for (int i = 0; i < 100000; i++) {
        std::string name = std::string(prefixes[pick(std::size(prefixes))]) +
                           bases[pick(bases.size())] + letters[pick(std::size(letters))] +
                           suffixes[pick(std::size(suffixes))];
        for (size_t edits = i % 3 == 0 ? 1 + pick(3) : 0; edits > 0 && !name.empty(); edits--) {
            const size_t at = pick(name.size() + 1);
            const char c = noise[pick(noise.size())];
            if (pick(3) == 0)
                name.insert(at, 1, c);
            else if (at < name.size())
                pick(2) ? (void)(name[at] = c) : (void)name.erase(at, 1);
        }
        ASSERT_EQ(names::check_name(name), "") << "'" << name << "'";
    }
}

TEST(Names, PartListPatternOfManyStarsEnds) {
    const EpromPart* c010 = nullptr;
    char why[300];
    ASSERT_EQ(FindPart("27C010", &c010, why, sizeof why), TPARTFOUND);
    EXPECT_EQ(PartMatchesPattern(c010, (std::string(46, '*') + "Z").c_str()), 0u);
    EXPECT_EQ(PartMatchesPattern(c010, (std::string(46, '*') + "1").c_str()), 1u); // 27C1001
}

} // namespace
