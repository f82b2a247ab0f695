// The model's parts: each family with the datasheet figures that decide what a programming
// voltage does to it, and how a name read off a chip finds its family, or is refused with the
// closest names or with both families it could be.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "sim/model/parts.h"
#include "sim/model/wiring.h"

namespace {

using namespace vsim::chip_types;
using vsim::ChipPart;

TEST(SimParts, EachFamilyWithItsProgrammingVoltageAndLimit) {
    const struct {
        const char* name;
        IC type;
        const char* programs_at; // the level that programs it on the board
        const char* limit;
        bool board_programs;
        std::set<std::string> names;
    } families[] = {
        {"2708", T2708, "25 V", "26 V", false, {"2708"}},
        {"2716", T2716, "25 V", "26 V", false, {"2716", "27C16"}},
        {"2732", T2732, "25 V", "26 V", true, {"2732"}},
        {"2732A", T2732, "21 V", "22 V", true, {"2732A"}},
        {"2764", T2764, "21 V", "22 V", true, {"2764"}},
        {"27C64", T2764, "12.75 V", "14 V", true, {"2764A", "27C64"}},
        {"27128", T27128, "21 V", "22 V", true, {"27128"}},
        {"27C128", T27128, "12.75 V", "14 V", true, {"27128A", "27C128"}},
        {"27C256", T27256, "12.75 V", "14 V", true, {"27256", "27C256"}},
        {"27C512", T27512, "12.75 V", "14 V", true, {"27512", "27C512"}},
        {"27C010", T27010, "12.75 V", "14 V", true, {"27010", "27C010", "27C1001"}},
        {"27C020", T27020, "12.75 V", "14 V", true, {"27020", "27C020", "27C2001"}},
        {"27C040", T27040, "12.75 V", "14 V", true, {"27040", "27C040", "27C4001"}},
    };
    ASSERT_EQ(vsim::known_parts().size(), std::size(families));
    for (const auto& f : families) {
        SCOPED_TRACE(f.name);
        const ChipPart* found = nullptr;
        for (const ChipPart* p : vsim::known_parts())
            if (std::string(p->name) == f.name)
                found = p;
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->type, f.type);
        EXPECT_STREQ(vsim::vpp_level_name(found->vpp_rating), f.programs_at);
        EXPECT_EQ(vsim::volts_text(found->vpp_limit), f.limit);
        EXPECT_EQ(found->board_programs, f.board_programs);
        std::set<std::string> names;
        for (const char* const* n = found->patterns; *n; ++n)
            names.insert(*n);
        EXPECT_EQ(names, f.names);
        for (const std::string& n : names)
            EXPECT_EQ(vsim::find_part(n), found) << n;
    }
    // The parts a bare type stands for on the benches.
    const char* defaults[TicMax] = {"2708",   "2716",   "2732A",  "27C64",  "27C128",
                                    "27C256", "27C512", "27C010", "27C020", "27C040"};
    for (int t = 0; t < TicMax; ++t)
        EXPECT_STREQ(vsim::default_part(static_cast<IC>(t)).name, defaults[t]);
    EXPECT_STREQ(vsim::part_names(),
                 "2708, 2716, 27C16, 2732, 2732A, 2764, 2764A, 27C64, 27128, 27128A, 27C128, "
                 "27256, 27C256, 27512, 27C512, 27010, 27C010, 27C1001, 27020, 27C020, "
                 "27C2001, 27040, 27C040, 27C4001");
}

// A name as printed on the chip: the family it names (by the model's name of the family),
// or nullptr and the reason given for the refusal.
struct NameCase {
    const char* text;
    const char* family;
    const char* refusal;
};

const NameCase NAMES[] = {
    // As users read them off chips.
    {"M27C256B-12F1", "27C256", ""},
    {"TMS27C256-2JL", "27C256", ""},
    {"D2764A-2", "27C64", ""},
    {"AM27C040-150DC", "27C040", ""},
    {"MBM2764-25", "2764", ""},
    // Bare names, in either case.
    {"2708", "2708", ""},
    {"2716", "2716", ""},
    {"27c16", "2716", ""},
    {"2732", "2732", ""},
    {"2732a", "2732A", ""},
    {"2764", "2764", ""},
    {"2764A", "27C64", ""},
    {"27C64", "27C64", ""},
    {"27128", "27128", ""},
    {"27128A", "27C128", ""},
    {"27c128", "27C128", ""},
    {"27256", "27C256", ""},
    {"27512", "27C512", ""},
    {"27C512", "27C512", ""},
    {"27010", "27C010", ""},
    {"27C010", "27C010", ""},
    {"27C1001", "27C010", ""},
    {"27020", "27C020", ""},
    {"27C2001", "27C020", ""},
    {"27040", "27C040", ""},
    {"27c4001", "27C040", ""},
    // Makers' prefixes, package and temperature letters in front.
    {"AT27C256R-15PC", "27C256", ""},
    {"NM27C256Q150", "27C256", ""},
    {"UPD27C256AD-15", "27C256", ""}, // an A after a CMOS part is a die revision
    {"HN27C256G-25", "27C256", ""},
    {"P27C512-15", "27C512", ""},
    {"MBM27C512-20", "27C512", ""},
    {"M27512-2F1", "27C512", ""},
    {"TMS27C010A-12", "27C010", ""},
    {"M27C1001-12F1", "27C010", ""},
    {"M27C2001-10F1", "27C020", ""},
    {"MX27C4001-12", "27C040", ""},
    {"HN27C4001G-10", "27C040", ""},
    {"AT27C040-90PC", "27C040", ""},
    {"HN482764", "2764", ""},
    {"HN4827128-25", "27128", ""},
    {"AM27128A-20DC", "27C128", ""},
    {"M2764A-2F1", "27C64", ""},
    {"TMS2732A-45JL", "2732A", ""},
    {"AM2732A-2DC", "2732A", ""},
    {"ID2716", "2716", ""},
    {"D2708", "2708", ""},
    {"2764-25", "2764", ""}, // an A after the dash is no part of the name
    {"2764-A", "2764", ""},
    // Letters that make another family, and look-alikes of other kinds of chip: the TMS2716
    // with three supplies, TI's 25xx pinout, EEPROMs, flash, 16-bit and larger EPROMs.
    {"TMS2716JL", nullptr, "the TMS2716 needs three supplies and has another pinout"},
    {"W27C512-45Z", nullptr,
     "a Winbond W27C/W27E is erased electrically and programmed another way"},
    {"2864", nullptr, "a 28xx part is an EEPROM"},
    {"28C64", nullptr, "a 28xx part is an EEPROM"},
    {"2532", nullptr, "a 25xx part has TI's pinout, not the 27xx's"},
    {"27C210", nullptr, "a 27C210 is 16 bits wide: no part for this socket"},
    {"27C1024", nullptr, "a 27C1024 is 16 bits wide: no part for this socket"},
    {"27C080", nullptr, "a 27C080 is over 512 KiB: no part for this socket"},
    {"AT27LV256", nullptr, "unknown part; closest known: 27256, 27C256"},
    {"TMS27PC256", nullptr, "unknown part; closest known: 27C256"},
    {"SST27SF512", nullptr, "a 27SF part is a flash memory"},
    {"27C2560", nullptr, "unknown part; closest known: 27C256"},
    {"270040", nullptr, "unknown part; closest known: 27040, 27C040"},
    {"27CC64", nullptr, "unknown part; closest known: 27C64"},
    {"2799", nullptr, "unknown part; closest known: 2708, 2716, 2732, 2764"},
    // The menu's labels of the first three types: no part is called 27C08, and the 27C32
    // is not among the parts whose programming voltage the model knows.
    {"27C08", nullptr, "unknown part; closest known: 2708"},
    {"27C32", nullptr, "unknown part; closest known: 2732"},
    {"XYZ", nullptr,
     "unknown part; known parts: 2708, 2716, 27C16, 2732, 2732A, 2764, 2764A, 27C64, 27128, "
     "27128A, 27C128, 27256, 27C256, 27512, 27C512, 27010, 27C010, 27C1001, 27020, 27C020, "
     "27C2001, 27040, 27C040, 27C4001"},
    {"", nullptr, "no part named"},
    {"27 64", nullptr, "unknown part; closest known: 2764, 27C64"},
    {"27C64/F1", "27C64", ""},
    {"27C64.F1", nullptr, "a part name has letters, digits, '-', '/' and blanks only"},
    // After a 2732, 2764 or 27128 any other letter but A could be a revision of either part.
    {"2764B", nullptr,
     "could be a 2764 (programs at 21 V) or a 2764A (programs at 12.75 V): name the one it is"},
    // Package letters straight after the NMOS digits: the NMOS part.
    {"HN482764G", "2764", ""},
    {"M5L27128K", "27128", ""},
    {"TMS2732JL", "2732", ""},
};

TEST(SimParts, NamesAsPrintedOnTheChip) {
    for (const NameCase& c : NAMES) {
        SCOPED_TRACE(std::string("'") + c.text + "'");
        std::string why;
        const ChipPart* p = vsim::find_part(c.text, &why);
        if (c.family) {
            ASSERT_NE(p, nullptr) << why;
            EXPECT_STREQ(p->name, c.family);
            EXPECT_EQ(why, "");
        } else {
            EXPECT_EQ(p, nullptr) << p->name;
            EXPECT_EQ(why, c.refusal);
        }
    }
}

TEST(SimParts, VoltageTexts) {
    EXPECT_EQ(vsim::volts_text(1275), "12.75 V");
    EXPECT_EQ(vsim::volts_text(1400), "14 V");
    EXPECT_EQ(vsim::volts_text(2605), "26.05 V");
    EXPECT_EQ(vsim::level_centivolts(vsim::TAP_12V75), 1275);
    EXPECT_EQ(vsim::level_centivolts(vsim::TAP_21V), 2100);
    EXPECT_EQ(vsim::level_centivolts(vsim::TAP_25V), 2500);
    EXPECT_EQ(vsim::level_centivolts(vsim::TAP_NONE), 0);
}

} // namespace
