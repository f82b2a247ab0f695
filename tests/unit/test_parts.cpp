// The parts table: the datasheet figures of every family, the names users read off chips,
// the refusal of a programming voltage that would destroy a chip, and the parts list.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "eprom/ic_types.h"
#include "eprom/parts.h"

namespace {

struct Figures {
    const char* name;
    int type;
    int vpp; // -1: read only
    unsigned limit;
};

// The datasheet figures, one row per family (and per other name of a family).
const Figures kFigures[] = {
    {"2708", T2708, -1, 26000},          {"2716", T2716, -1, 26000},
    {"27C16", T2716, -1, 26000},         {"2732", T2732, T25V, 26000},
    {"2732A", T2732, T21V, 22000},       {"2764", T2764, T21V, 22000},
    {"27128", T27128, T21V, 22000},      {"2764A", T2764, T12_75V, 14000},
    {"27128A", T27128, T12_75V, 14000},  {"27C64", T2764, T12_75V, 14000},
    {"27C128", T27128, T12_75V, 14000},  {"27256", T27256, T12_75V, 14000},
    {"27C256", T27256, T12_75V, 14000},  {"27512", T27512, T12_75V, 14000},
    {"27C512", T27512, T12_75V, 14000},  {"27C010", T27010, T12_75V, 14000},
    {"27C1001", T27010, T12_75V, 14000}, {"27C020", T27020, T12_75V, 14000},
    {"27C2001", T27020, T12_75V, 14000}, {"27C040", T27040, T12_75V, 14000},
    {"27C4001", T27040, T12_75V, 14000},
};

TEST(Parts, EveryFamilyCarriesItsDatasheetFigures) {
    int families = 0;
    for (const Figures& f : kFigures) {
        SCOPED_TRACE(f.name);
        const EpromPart* p = nullptr;
        char why[200];
        ASSERT_EQ(FindPart(f.name, &p, why, sizeof why), TPARTFOUND) << why;
        EXPECT_EQ(p->type, f.type);
        EXPECT_EQ(p->vpp, f.vpp);
        EXPECT_EQ(p->vppLimit, f.limit);
        EXPECT_EQ(PartProgrammable(p), f.vpp >= 0 ? 1u : 0u);
        families += std::string(p->names[0]) == f.name;
    }
    EXPECT_EQ(PartCount(), families); // no family beyond the rows above
    for (int t = 0; t < TicMax; t++) {
        bool some = false;
        for (int i = 0; i < PartCount(); i++)
            some = some || PartAt(i)->type == t;
        EXPECT_TRUE(some) << "no part of type " << ICTypeName(t);
    }
    EXPECT_EQ(PartAt(PartCount()), nullptr);
    EXPECT_EQ(PartAt(-1), nullptr);
    // Every name of every family finds its own family, or says which it could be.
    for (int i = 0; i < PartCount(); i++)
        for (const char* const* n = PartAt(i)->names; n < PartAt(i)->names + PART_NAMES_MAX && *n;
             n++) {
            const EpromPart* p = nullptr;
            char why[200];
            const int r = FindPart(*n, &p, why, sizeof why);
            if (r == TPARTFOUND)
                EXPECT_EQ(p, PartAt(i)) << *n;
            else
                EXPECT_EQ(r, TPARTAMBIGUOUS) << *n << ": " << why;
        }
}

struct Printed {
    const char* name;
    int result;
    const char* family; // TPARTFOUND: the family's name; else the refusal's text
};

const Printed kPrinted[] = {
    // As users read them off chips.
    {"M27C256B-12F1", TPARTFOUND, "27C256"},
    {"TMS27C256-2JL", TPARTFOUND, "27C256"},
    {"D2764A-2", TPARTFOUND, "2764A"},
    {"AM27C040-150DC", TPARTFOUND, "27C040"},
    {"MBM2764-25", TPARTFOUND, "2764"},
    // Makers' prefixes, case.
    {"2708", TPARTFOUND, "2708"},
    {"d2716-1", TPARTFOUND, "2716"},
    {"27C16", TPARTFOUND, "27C16"},
    {"2732", TPARTFOUND, "2732"},
    {"TMS2732A-45JL", TPARTFOUND, "2732A"},
    {"m2732a-2f1", TPARTFOUND, "2732A"},
    {"HN482764G", TPARTFOUND, "2764"},
    {"M5L2764K", TPARTFOUND, "2764"},
    {"P2764A", TPARTFOUND, "2764A"},
    {"TMM2764AD-20", TPARTFOUND, "2764A"},
    {"AM27C64-200DC", TPARTFOUND, "27C64"},
    {"HN4827128G-25", TPARTFOUND, "27128"},
    {"D27128A-2", TPARTFOUND, "27128A"},
    {"NM27C128Q150", TPARTFOUND, "27C128"},
    {"P27256", TPARTFOUND, "27256"},
    {"TMM27256AD-20", TPARTFOUND, "27256"}, // no 27256A family: a revision letter
    {"AT27C256R-15PC", TPARTFOUND, "27C256"},
    {"MBM27C256A-20", TPARTFOUND, "27C256"},
    {"UPD27C256AD-15", TPARTFOUND, "27C256"},
    {"HN27C256G-15", TPARTFOUND, "27C256"},
    {"27c256-15/p", TPARTFOUND, "27C256"},
    {"NM27C256Q150", TPARTFOUND, "27C256"},
    {"27512", TPARTFOUND, "27512"},
    {"M27C512-12F1", TPARTFOUND, "27C512"},
    {"M27C1001-10F1", TPARTFOUND, "27C010"},
    {"TMS27C010A-12", TPARTFOUND, "27C010"},
    {"D27010-170", TPARTFOUND, "27C010"},
    {"AT27C020-90PC", TPARTFOUND, "27C020"},
    {"M27C2001-12F1", TPARTFOUND, "27C020"},
    {"M27C4001-10F1", TPARTFOUND, "27C040"},
    {"27c040", TPARTFOUND, "27C040"},
    // Look-alikes: other chips, other pinouts, other families.
    {"TMS2532", TPARTOTHER,
     "part 'TMS2532' is a TI 25xx EPROM, whose pinout is not the 27xx's: not for this board"},
    {"TMS2564", TPARTOTHER,
     "part 'TMS2564' is a TI 25xx EPROM, whose pinout is not the 27xx's: not for this board"},
    {"27HC64", TPARTUNKNOWN, "unknown part '27HC64'; the closest known: 27C64"},
    {"AM27C100", TPARTUNKNOWN, "unknown part 'AM27C100'; the closest known: 27C1001"},
    {"27C400", TPARTOTHER,
     "part '27C400' is a 16-bit EPROM in 40 pins or more: not for this board"},
    {"27LV010", TPARTUNKNOWN, "unknown part '27LV010'; the closest known: 27C010, 27010"},
    {"SST27SF512", TPARTOTHER,
     "part 'SST27SF512' is a flash memory (27SF), erased and programmed another way: not for this "
     "board"},
    {"TMS27PC256", TPARTUNKNOWN, "unknown part 'TMS27PC256'; the closest known: 27C256"},
    {"27C2561", TPARTUNKNOWN, "unknown part '27C2561'; the closest known: 27C256"},
    {"MX27C4000PC-90", TPARTFOUND, "27C040"},
    {"27C08", TPARTUNKNOWN, "unknown part '27C08'; the closest known: 2708"},
    {"", TPARTUNKNOWN, "unknown part ''; the closest known: 2708, 2716, 2732, 2764"},
    {"27C256 -12", TPARTFOUND, "27C256"},
    {"27C\x1b[2J256", TPARTUNKNOWN, "unknown part '27C?[2J256'; the closest known: 27C256"},
    {"27C256-15XXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX", TPARTUNKNOWN,
     "unknown part '27C256-15XXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX...'; the closest known: "
     "27C256"},
    // The menu's name of the 2732 socket: the NMOS 2732 takes 25 V, the 2732A dies above 22.
    {"27C32", TPARTAMBIGUOUS, "part '27C32' could be a 2732 or a 2732A: give one of these names"},
    {"TMS27C32-45JL", TPARTAMBIGUOUS,
     "part 'TMS27C32-45JL' could be a 2732 or a 2732A: give one of these names"},
};

TEST(Parts, NamesAsPrintedOnTheChip) {
    for (const Printed& c : kPrinted) {
        SCOPED_TRACE(c.name);
        static const EpromPart stale = {};
        const EpromPart* p = &stale; // must be overwritten
        char why[200] = "stale";
        const int r = FindPart(c.name, &p, why, sizeof why);
        EXPECT_EQ(r, c.result);
        if (c.result == TPARTFOUND) {
            ASSERT_NE(p, nullptr);
            EXPECT_STREQ(p->names[0], c.family);
            EXPECT_STREQ(why, "");
        } else {
            EXPECT_EQ(p, nullptr);
            EXPECT_STREQ(why, c.family);
        }
    }
    const EpromPart* p = nullptr;
    char why[200];
    EXPECT_EQ(FindPart(nullptr, &p, why, sizeof why), TPARTUNKNOWN);
    char tiny[12];
    EXPECT_EQ(FindPart("27C99", &p, tiny, sizeof tiny), TPARTUNKNOWN);
    EXPECT_STREQ(tiny, "unknown par"); // cut to the caller's buffer
}

// The highest level that may burn each type without a part: none above what some part of it
// programs at. Read-only types are never pulsed.
TEST(Parts, BurnVoltageForEveryTypeAndLevel) {
    const int highest[TicMax] = {T25V,    T25V,    T25V,    T21V,    T21V,
                                 T12_75V, T12_75V, T12_75V, T12_75V, T12_75V};
    char why[200];
    for (int t = 0; t < TicMax; t++)
        for (int level = 0; level < TvppMax; level++) {
            SCOPED_TRACE(std::to_string(t) + " at level " + std::to_string(level));
            const char* r = VppRefusal(t, nullptr, level, 1, why, sizeof why);
            EXPECT_EQ(r != nullptr, level > highest[t]) << (r ? r : "");
        }
    // With a part: its own limit too, whatever the type allows.
    for (const Figures& f : kFigures) {
        const EpromPart* p = nullptr;
        ASSERT_EQ(FindPart(f.name, &p, why, sizeof why), TPARTFOUND);
        for (int level = 0; level < TvppMax; level++) {
            SCOPED_TRACE(std::string(f.name) + " at level " + std::to_string(level));
            const unsigned mv = VppLevelMillivolts(level);
            const char* r = VppRefusal(f.type, p, level, 1, why, sizeof why);
            EXPECT_EQ(r != nullptr, mv > f.limit || level > highest[f.type]) << (r ? r : "");
        }
    }
    const EpromPart* c256 = nullptr;
    const EpromPart* nmos = nullptr;
    ASSERT_EQ(FindPart("27C256", &c256, why, sizeof why), TPARTFOUND);
    ASSERT_EQ(FindPart("2732A", &nmos, why, sizeof why), TPARTFOUND);
    const struct {
        int type;
        const EpromPart* part;
        int level;
        const char* text;
    } texts[] = {
        {T27256, nullptr, T25V, "no 27256 programs above 12.75 V: 25 V would destroy it"},
        {T27040, nullptr, T21V, "no 27040 programs above 12.75 V: 21 V would destroy it"},
        {T2764, nullptr, T25V, "no 2764 programs above 21 V: 25 V would destroy it"},
        {T27256, c256, T21V, "a 27C256 takes at most 14 V on Vpp: 21 V would destroy it"},
        {T2732, nmos, T25V, "a 2732A takes at most 22 V on Vpp: 25 V would destroy it"},
        {T2764, c256, T12_75V, "a 27C256 is a 27256, not a 2764"},
        {T27256, nullptr, 3, "no programming voltage level 3"},
        {TicMax, nullptr, T12_75V, "no EPROM type 10"},
    };
    for (const auto& c : texts) {
        const char* r = VppRefusal(c.type, c.part, c.level, 1, why, sizeof why);
        ASSERT_NE(r, nullptr) << c.text;
        EXPECT_STREQ(r, c.text);
    }
    EXPECT_EQ(VppRefusal(T2732, nmos, T21V, 1, why, sizeof why), nullptr);
}

std::vector<std::string> listed(const char* pattern) {
    std::vector<std::string> names;
    for (int i = 0; i < PartCount(); i++)
        if (PartMatchesPattern(PartAt(i), pattern))
            names.push_back(PartAt(i)->names[0]);
    return names;
}

TEST(Parts, ListsTheFamiliesAPatternMatches) {
    using V = std::vector<std::string>;
    EXPECT_EQ(listed(nullptr).size(), (size_t)PartCount());
    EXPECT_EQ(listed("").size(), (size_t)PartCount());
    EXPECT_EQ(listed("64"), (V{"2764", "2764A", "27C64"}));
    EXPECT_EQ(listed("27c0*"), (V{"27C010", "27C020", "27C040"}));
    EXPECT_EQ(listed("27*12*"), (V{"27128", "27128A", "27C128", "27512", "27C512"}));
    EXPECT_EQ(listed("*1"), (V{"27C010", "27C020", "27C040"})); // 27C1001, 27C2001, 27C4001
    EXPECT_EQ(listed("27C32"), (V{"2732", "2732A"}));
    EXPECT_EQ(listed("M27C256B-12F1"), (V{"27C256"}));
    EXPECT_EQ(listed("TMS27C32-45JL"), (V{"2732", "2732A"}));
    EXPECT_EQ(listed("2532"), V{});
    EXPECT_EQ(listed("27C2*8"), V{});
    EXPECT_EQ(PartMatchesPattern(nullptr, ""), 0u);
}

TEST(Parts, ListLinesAndVoltageTexts) {
    const struct {
        unsigned mv;
        const char* text;
    } volts[] = {{12750, "12.75 V"}, {21000, "21 V"}, {12500, "12.5 V"}, {13050, "13.05 V"}};
    for (const auto& v : volts) {
        char buf[16];
        EXPECT_STREQ(FormatVolts(v.mv, buf, sizeof buf), v.text);
    }
    EXPECT_EQ(VppLevelMillivolts(T12_75V), 12750u);
    EXPECT_EQ(VppLevelMillivolts(T21V), 21000u);
    EXPECT_EQ(VppLevelMillivolts(T25V), 25000u);
    EXPECT_EQ(VppLevelMillivolts(TvppMax), 0u);
    EXPECT_EQ(VppLevelMillivolts(-1), 0u);

    EXPECT_STREQ(PartListHeader(), "part                  type    size      program at  Vpp limit");
    const std::vector<std::string> rows = {
        "2716                  2716       2 KiB  read only   26 V",
        "2732A/27C32           2732       4 KiB  21 V        22 V",
        "27C040/27C4001/27040  27040    512 KiB  12.75 V     14 V",
    };
    for (const std::string& want : rows) {
        const EpromPart* p = nullptr;
        char why[200];
        ASSERT_EQ(FindPart(want.substr(0, want.find_first_of("/ ")).c_str(), &p, why, sizeof why),
                  TPARTFOUND);
        char line[120];
        PartRow(p, line, sizeof line);
        EXPECT_EQ(line, want);
    }
}

} // namespace
