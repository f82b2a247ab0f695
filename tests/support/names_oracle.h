// The rule every reading of a chip's name must keep, checked against the board model's own
// parts table: the voltage the driver lets reach the socket for a name is never above the
// limit of any part the model says the name could be. Where the model cannot place the name,
// the driver refuses it or lets through no more than the lowest limit of any of the model's
// parts of the type it chose. Shared by the property test and the fuzzing harness.
#ifndef VANTREL_TESTS_NAMES_ORACLE_H
#define VANTREL_TESTS_NAMES_ORACLE_H

#include <algorithm>
#include <string>
#include <vector>

#include "eprom/ic_types.h"
#include "eprom/parts.h"
#include "sim/model/parts.h"

namespace names {

// "" when the driver's readings of `name`, with -p (the part's level) and with -t (the
// highest level a burn may have), keep the rule; else what breaks it.
inline std::string check_name(const std::string& name) {
    const std::vector<const vsim::ChipPart*> cands = vsim::candidates(name);
    std::string broken;
    auto check = [&](const char* how, int type, int level) {
        unsigned limit = ~0u; // the lowest of the candidates, or of the type's parts
        for (const vsim::ChipPart* p : cands.empty() ? vsim::known_parts() : cands)
            if (!cands.empty() || p->type == type)
                limit = std::min(limit, p->vpp_limit * 10u);
        if (level >= 0 && VppLevelMillivolts(level) > limit)
            broken += std::string(how) + " lets " + std::to_string(VppLevelMillivolts(level)) +
                      " mV through, the model's limit is " + std::to_string(limit) + " mV; ";
        if (!cands.empty() &&
            std::none_of(cands.begin(), cands.end(),
                         [&](const vsim::ChipPart* c) { return c->type == type; }))
            broken += std::string(how) + " reads a " + ICTypeName(type) + ", the model a " +
                      cands[0]->name + "; ";
    };
    char why[300];
    const EpromPart* part = nullptr;
    if (FindPart(name.c_str(), &part, why, sizeof why) == TPARTFOUND)
        check("-p", part->type, PartProgrammable(part) ? part->vpp : -1);
    int type = -1, highest = -1;
    if (TypeByPartName(name.c_str(), &type, &part, why, sizeof why)) {
        for (int level = 0; level < TvppMax && ICTypeProgrammable(type); level++)
            if (!VppRefusal(type, part, level, 1, why, sizeof why))
                highest = level;
        check("-t", type, highest);
    }
    return broken;
}

} // namespace names

#endif
