// The rule every reading of a chip's name must keep, checked against the board model's own
// parts table: the voltage the driver lets reach the socket for a name is never above the
// limit of any part the model says the name could be. Where the model cannot place the name,
// the driver refuses it or lets through no more than the lowest limit of any of the model's
// parts of the type it chose. Shared by the property test and the fuzzing harness.
#ifndef VANTREL_TESTS_NAMES_ORACLE_H
#define VANTREL_TESTS_NAMES_ORACLE_H

#include <string>
#include <vector>

#include "eprom/ic_types.h"
#include "eprom/parts.h"
#include "sim/parts.h"

namespace names {

// The lowest limit in millivolts of the model's parts `cands`, or of all its parts of `type`
// when it has no candidate.
inline unsigned lowest_limit(const std::vector<const vsim::ChipPart*>& cands, int type) {
    unsigned lowest = ~0u;
    for (const vsim::ChipPart* p : cands.empty() ? vsim::known_parts() : cands)
        if (!cands.empty() || p->type == type)
            lowest = std::min(lowest, p->vpp_limit * 10u);
    return lowest;
}

// The highest level a burn may have for `type` held to `part` (NULL: the type alone); -1
// when the type is never pulsed.
inline int highest_burn_level(int type, const EpromPart* part) {
    char why[200];
    int highest = -1;
    for (int level = 0; level < TvppMax && ICTypeProgrammable(type); level++)
        if (!VppRefusal(type, part, level, 1, why, sizeof why))
            highest = level;
    return highest;
}

// "" when the driver's readings of `name`, with -p and with -t, keep the rule; else what
// breaks it.
inline std::string check_name(const std::string& name) {
    const std::vector<const vsim::ChipPart*> cands = vsim::candidates(name);
    char why[300];
    const EpromPart* part = nullptr;
    std::string broken;
    auto check = [&](const char* how, int type, int level) {
        const unsigned limit = lowest_limit(cands, type);
        if (level >= 0 && VppLevelMillivolts(level) > limit)
            broken += std::string(how) + " lets " + std::to_string(VppLevelMillivolts(level)) +
                      " mV through, the model's limit is " + std::to_string(limit) + " mV; ";
        bool sameType = cands.empty();
        for (const vsim::ChipPart* c : cands)
            sameType = sameType || c->type == type;
        if (!sameType)
            broken += std::string(how) + " reads a " + ICTypeName(type) + ", the model a " +
                      cands[0]->name + "; ";
    };
    if (FindPart(name.c_str(), &part, why, sizeof why) == TPARTFOUND)
        check("-p", part->type, PartProgrammable(part) ? part->vpp : -1);
    int type = -1;
    if (TypeByPartName(name.c_str(), &type, &part, why, sizeof why))
        check("-t", type, highest_burn_level(type, part));
    return broken;
}

} // namespace names

#endif
