// The program's parts table and the board model's are written apart, each from the
// datasheets: on every name both read they must give the same socket type, programming level
// and highest voltage the chip survives. A name only one of them reads is no disagreement.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "eprom/parts.h"
#include "sim/model/parts.h"

namespace {

// Every name either table lists, and some as the makers print them.
std::set<std::string> namesEitherKnows() {
    std::set<std::string> names = {"M27C256B-12F1", "TMS27C256-2JL",  "D2764A-2",
                                   "MBM2764-25",    "AM27C040-150DC", "TMS2732A-45JL"};
    for (int i = 0; const EpromPart* p = PartAt(i); i++)
        for (const char* n : p->names)
            if (n)
                names.insert(n);
    for (const vsim::ChipPart* m : vsim::known_parts())
        for (const char* n : m->patterns)
            if (n)
                names.insert(n);
    return names;
}

TEST(PartsAgreement, TypeLevelAndLimitAgreeOnEveryNameBothTablesRead) {
    size_t both = 0;
    for (const std::string& name : namesEitherKnows()) {
        SCOPED_TRACE(name);
        const EpromPart* p = nullptr;
        char why[200];
        const vsim::ChipPart* m = vsim::find_part(name);
        if (FindPart(name.c_str(), &p, why, sizeof why) != TPARTFOUND || !m)
            continue;
        both++;
        EXPECT_EQ(p->type, static_cast<int>(m->type));
        EXPECT_EQ(PartProgrammable(p) != 0, m->board_programs);
        if (PartProgrammable(p)) {
            EXPECT_EQ(VppLevelMillivolts(p->vpp), vsim::level_centivolts(m->vpp_rating) * 10u);
        }
        EXPECT_EQ(p->vppLimit, m->vpp_limit * 10u);
    }
    // No pass for want of names: at least as many as the model has families.
    EXPECT_GE(both, vsim::known_parts().size());
}

} // namespace
