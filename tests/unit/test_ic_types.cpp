// The driver's table of EPROM types against the board model's own datasheet facts, the
// names the command line takes for a type, and the menu's names for them.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "console/mainloop.h"
#include "console/menu.h"
#include "eprom/ic_types.h"
#include "eprom/misc.h"
#include "eprom/parts.h"
#include "sim/model/eprom_chip.h"
#include "tests/support/common.h"

namespace {

// The model knows the chips by their pins; the driver by the pin it must drive for a pulse.
int strobeOf(vsim::StrobePin pin) {
    switch (pin) {
    case vsim::StrobePin::a14_line:
        return TPINA14;
    case vsim::StrobePin::ic5_bit2:
        return TPINA18;
    default:
        return TPINNONE;
    }
}

TEST(IcTypes, DriverTableAgreesWithTheBoardModelOnSizeAndWiring) {
    std::string all;
    for (int t = 0; t < TicMax; t++) {
        SCOPED_TRACE(t);
        const vsim::ChipFacts& chip = vsim::chip_facts(static_cast<vsim::IC>(t));
        const EpromType* row = GetEpromType(t);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->number, t);
        EXPECT_STREQ(row->name, chip.name);
        EXPECT_STREQ(ICTypeName(t), chip.name);
        EXPECT_EQ(GetLastAdress((uint16_t)t) + 1, chip.size);
        EXPECT_EQ(row->socket, chip.socket);
        EXPECT_EQ(ICTypeStrobe(t), strobeOf(chip.strobe));
        // A chip with a strobe pin takes its pulse there, every other programmable one on
        // chip enable; the 2708 and 2716 only are read.
        const int method = t <= T2716                             ? TPGMNONE
                           : chip.strobe != vsim::StrobePin::none ? TPGMSTROBE
                                                                  : TPGMCE;
        EXPECT_EQ(ICTypeMethod(t), method);
        EXPECT_EQ(ICTypeProgrammable(t), t > T2716 ? 1u : 0u);
        all += (t ? ", " : "") + std::string(chip.name);
    }
    EXPECT_EQ(ICTypeNames(), all);
    for (int bad : {-1, (int)TicMax, 255}) {
        EXPECT_EQ(GetEpromType(bad), nullptr) << bad;
        EXPECT_STREQ(ICTypeName(bad), "?");
        EXPECT_STREQ(ICTypeLabel(bad), "?");
        EXPECT_EQ(ICTypeMethod(bad), TPGMNONE);
        EXPECT_EQ(ICTypeStrobe(bad), TPINNONE);
        EXPECT_EQ(ICTypeProgrammable(bad), 0u);
    }
}

// The command line's type names as they were read before the table: the reference.
int oldTypeByName(const char* s) {
    static const char* const digits[TicMax] = {"08",  "16",  "32",  "64",  "128",
                                               "256", "512", "010", "020", "040"};
    if (strncmp(s, "27", 2) != 0)
        return -1;
    s += 2;
    if (*s == 'C' || *s == 'c')
        s++;
    char d[8];
    size_t n = strlen(s);
    if (n > 0 && (s[n - 1] == 'A' || s[n - 1] == 'a'))
        n--;
    if (n == 0 || n >= sizeof d)
        return -1;
    memcpy(d, s, n);
    d[n] = '\0';
    for (int t = 0; t < TicMax; t++)
        if (strcmp(d, digits[t]) == 0)
            return t;
    return -1;
}

// -t still takes every name it took, for the same type; only the 27C08 with an A, which no
// chip is called, is refused now. (What it also takes, part names held to their limits, is
// in test_names.cpp.)
TEST(IcTypes, TypeNamesKeepTheTypeTheCommandLineGaveThem) {
    const std::vector<std::string> heads = {"",    "2",    "27",  "72", "27C",
                                            "27c", "27CC", " 27", "M27"};
    const std::vector<std::string> bodies = {
        "",   "08",   "8",    "16", "32",   "64", "128", "256",  "512",  "010", "020", "040",
        "10", "1001", "4001", "0",  "5120", "6",  "C64", "2560", "0400", "c",   "A",   "25"};
    const std::vector<std::string> tails = {"", "A", "a", "AA", "B", " ", "-2", "C"};
    std::set<std::string> known;
    for (const auto& h : heads)
        for (const auto& b : bodies)
            for (const auto& t : tails) {
                const std::string name = h + b + t;
                const int want = oldTypeByName(name.c_str());
                if (want < 0)
                    continue;
                known.insert(name);
                int type = -1;
                const EpromPart* part = nullptr;
                char why[300];
                const bool noSuchChip = h.size() == 3 && b == "08" && !t.empty();
                EXPECT_EQ(TypeByPartName(name.c_str(), &type, &part, why, sizeof why),
                          noSuchChip ? 0 : 1)
                    << "'" << name << "': " << why;
                EXPECT_EQ(type, noSuchChip ? -1 : want) << "'" << name << "'";
            }
    EXPECT_EQ(known.size(), 10u * 3 * 3); // every family, as 27/27C/27c, bare or with A/a
}

// The table's labels must be what the menu shows under the keys 5 to e, in brackets for the
// selected type.
TEST(IcTypes, LabelsAreWhatTheMenuShowsForEachTypeKey) {
    vtest::SavedSettings saved;
    vtest::SavedSettings::startValues();
    for (int sel = 0; sel < TicMax; sel++) {
        SCOPED_TRACE(sel);
        epromtyp = sel;
        vtest::ConsoleCapture cap("q\n");
        ASSERT_EQ(menu(menuCommands, MenuCommandCount, 0, 0xFFFF), 23);
        const std::string screen = cap.screen();
        for (int t = 0; t < TicMax; t++) {
            const std::string key = std::string("\t") + "56789abcde"[t] + ": ";
            const size_t at = screen.find(key);
            ASSERT_NE(at, std::string::npos) << key;
            std::string cell = screen.substr(at + key.size(), 10);
            cell.erase(0, cell.find_first_not_of(' '));
            cell.erase(cell.find_last_not_of(" \n") + 1);
            const std::string label = ICTypeLabel(t);
            EXPECT_EQ(cell, t == sel ? "[" + label + "]" : label) << t;
        }
    }
}

} // namespace
