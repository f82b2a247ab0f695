// The parts: chips as their makers name them, each family with the EPROM type it sits in,
// the programming voltage the board gives it and the highest voltage it survives on Vpp.
// Parts of one type differ in exactly that: an NMOS 2764 wants 21 V, a 2764A or 27C64 dies
// above 14 V. Names are taken as printed on the package: "M27C256B-12F1", "D2764A-2".
#ifndef VANTREL_EPROM_PARTS_H
#define VANTREL_EPROM_PARTS_H

#include <cstddef>

#include "defs.h"

// Outcome of looking up a name.
enum PART_FIND {
    TPARTFOUND = 0,
    TPARTUNKNOWN,   // no part of the table, nor of the other families known
    TPARTAMBIGUOUS, // it could be either of two parts
    TPARTOTHER,     // a chip of another family (another pinout, erasing, width or size)
    TpartFindMax
};

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

// The part named `printed` as its package shows it: case and a maker's prefix (AM, D, M,
// TMS, HN48, ...) do not matter, nor does a suffix where it cannot carry the name on: after
// a hyphen, slash or space, or where the table has no longer name (27C256B12,
// 27C512Q150). After 2732, 2764 and 27128 an A is the A version, whatever follows it
// (2764A2 is a 2764A); a package letter (D, G, J, K) is the NMOS part; any other letter
// could be either, and the name is refused naming both. Chips of other families that look
// alike (TMS2716, 2532, 28C64, W27C512, 27SF512, 27C1024, 27C011, 27C301, 27C080) are
// refused as what they are. The rule: no name is read as a part whose voltage another part
// it could stand for would not survive.
// Returns TPARTFOUND with *part set; else *part is NULL and `why` tells the operator what
// was wrong: an unknown name with the closest known names, the two parts a name could be, or
// the family the chip is of.
int FindPart(const char* printed, const EpromPart** part, char* why, size_t whySize);

// The chip a type name stands for (-t): "27" and a type's digits is the type alone (2764);
// a name that reads as a part (27C64, 2764A, M27C256B-12F1) is the part's type, and the part
// is the one whose limit holds (of two it could be, the one with the lower limit: 27C32 is
// held to the 2732A's); the menu's label 27C08 is the 2708. Returns 1 with *type and
// *limitPart (NULL for a bare type), or 0 with the reason in `why`.
int TypeByPartName(const char* name, int* type, const EpromPart** limitPart, char* why,
                   size_t whySize);

// The longest pattern a list takes.
#define PART_PATTERN_MAX 47
// 1 when `pattern` is no longer than that.
unsigned int PartPatternFits(const char* pattern);

// 1 when `p` belongs in a list asked for with `pattern`: NULL or "" lists all; '*' and '?'
// are wildcards over the part's names; any other text matches the names that contain it
// and the families it names as printed on a chip. Case does not matter; a pattern longer
// than PART_PATTERN_MAX matches nothing.
unsigned int PartMatchesPattern(const EpromPart* p, const char* pattern);

// The voltage of a programming level (enum VPP) in millivolts; 0 for no such level.
unsigned int VppLevelMillivolts(int level);
// "12.75 V", "21 V", "13.5 V" into `buf`; returns `buf`.
const char* FormatVolts(unsigned int millivolts, char* buf, size_t size);

// The one check of what may reach the socket: why the programming level `level` would harm
// a chip of `type` (the part `part`, when not NULL), into `why`; NULL when it is safe. A
// level above the part's limit is refused whatever is done with it (the operator named a
// voltage the chip cannot take); for a burn (`burning`) also a level above the highest that
// any part of the type programs at (every 27256, 27512, 27010, 27020 and 27040 programs at
// 12.75 V, so 21 and 25 V would destroy whatever part it is). Types the board cannot program
// are never pulsed, so no level harms them in a burn; PartProgrammable and ICTypeProgrammable
// tell.
const char* VppRefusal(int type, const EpromPart* part, int level, unsigned int burning, char* why,
                       size_t whySize);

// A list of parts: the heading line and one line per part (names, type, size, programming
// voltage, limit, programmable or read only), without the line end.
const char* PartListHeader(void);
void PartRow(const EpromPart* p, char* buf, size_t size);

#endif
