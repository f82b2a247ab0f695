// The parts: chips as their makers name them, each family with the EPROM type it sits in,
// the programming voltage the board gives it and the highest voltage it survives on Vpp.
// Parts of one type differ in exactly that: an NMOS 2764 wants 21 V, a 2764A or 27C64 dies
// above 14 V. Names are taken as printed on the package: "M27C256B-12F1", "D2764A-2".
#ifndef VANTREL_EPROM_PARTS_H
#define VANTREL_EPROM_PARTS_H

#include <cstddef>

#include "defs.h"

// Outcome of looking up a name.
enum PART_FIND { TPARTFOUND = 0, TPARTUNKNOWN, TPARTAMBIGUOUS, TpartFindMax };

#define PART_NAMES_MAX 4

struct EpromPart {
    // names[0] is the family as listed ("27C010"); then other names of the same parts
    // ("27C1001"); NULL after the last.
    const char* names[PART_NAMES_MAX];
    int type;              // enum IC: socket, size and programming method
    int vpp;               // enum VPP, the level that programs it; -1: read only on this board
    unsigned int vppLimit; // the highest voltage it tolerates on Vpp, in millivolts
};

// The families, in list order; PartAt gives NULL past the last.
int PartCount(void);
const EpromPart* PartAt(int i);

// 1 when the board can program the part, else 0.
unsigned int PartProgrammable(const EpromPart* p);

// The part named `printed` as its package shows it: case, a maker's prefix (AM, D, M, TMS,
// HN48, ...) and a speed, temperature or package suffix (-12, -150DC, B-12F1, Q150, ...)
// do not matter; the letters that make another family do (2764, 2764A and 27C64 are three).
// An A after the digits is only a revision where the table has no A family: a 27C256A is a
// 27C256, a 2764A-2 no 2764.
// Returns TPARTFOUND with *part set; else *part is NULL and `why` tells the operator what
// was wrong: an unknown name with the closest known names, or the families a name could be.
int FindPart(const char* printed, const EpromPart** part, char* why, size_t whySize);

// 1 when `p` belongs in a list asked for with `pattern`: NULL or "" lists all; '*' and '?'
// are wildcards over the part's names; any other text matches the names that contain it
// and the families it names as printed on a chip. Case does not matter.
unsigned int PartMatchesPattern(const EpromPart* p, const char* pattern);

// The voltage of a programming level (enum VPP) in millivolts; 0 for no such level.
unsigned int VppLevelMillivolts(int level);
// "12.75 V", "21 V", "13.5 V" into `buf`; returns `buf`.
const char* FormatVolts(unsigned int millivolts, char* buf, size_t size);

// Why a burn of a chip of `type` (the part `part`, when not NULL) at the programming level
// `level` would harm it, into `why`; NULL when the level is safe for it. A level above the
// part's limit is refused, and so is a level above the highest that any part of the type
// programs at (every 27256, 27512, 27010, 27020 and 27040 programs at 12.75 V, so 21 and
// 25 V would destroy whatever part it is). Types the board cannot program are never pulsed,
// so no level harms them here; PartProgrammable and ICTypeProgrammable tell.
const char* BurnVppRefusal(int type, const EpromPart* part, int level, char* why, size_t whySize);

// A list of parts: the heading line and one line per part (names, type, size, programming
// voltage, limit, programmable or read only), without the line end.
const char* PartListHeader(void);
void PartRow(const EpromPart* p, char* buf, size_t size);

#endif
