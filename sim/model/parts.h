// The EPROMs the model knows, by the names printed on them, with the datasheet facts that
// decide what the board's programming voltage does to them.
//
// One entry is a family of parts that share a socket wiring and a programming voltage: the
// NMOS 2764 wants 21 V and tolerates 22 V, while the 2764A and the 27C64 in the same socket
// program at 12.5 V and tolerate 14 V. The board offers three levels (12.75, 21 and 25 V);
// a part specified for 12.5 or 13 V programs at 12.75 V. The 2708 and 2716 family cannot be
// programmed on this board; the model lets a 2716 take a pulse at its datasheet's 25 V, which
// the program never sends.
#ifndef VANTREL_SIM_MODEL_PARTS_H
#define VANTREL_SIM_MODEL_PARTS_H

#include <cstdint>
#include <string>
#include <vector>

#include "sim/model/chip_types.h"

namespace vsim {

struct ChipPart {
    const char* name;        // the model's name of the family: "27C64"
    IC type;                 // socket wiring, size and strobe pin: chip_facts(type)
    uint8_t vpp_rating;      // the level tap that programs it (TAP_12V75, TAP_21V, TAP_25V)
    uint16_t vpp_limit;      // the highest voltage its VPP pin tolerates, in 1/100 V
    bool board_programs;     // false: read only on this board
    const char* patterns[4]; // the names as printed, without maker and suffix; ends at nullptr
};

// Every known family, the default part of each type first, in type order.
const std::vector<const ChipPart*>& known_parts();

// The part named `name` as it is printed on the chip: upper or lower case, with or without a
// maker's prefix (M, AM, TMS, HN48, ...) and a speed, temperature or package suffix (-12,
// F1, JL, -150DC, ...). nullptr when the name is unknown, could be two families or is another
// kind of chip (TMS2716, W27C512, 27SF512, 28C64, 2532, 27C1024, 27C011, 27C301, 27C080);
// `why` (if given) then says which names come closest, which two families it could be, or
// what the chip is.
const ChipPart* find_part(const std::string& name, std::string* why = nullptr);

// Every part the name `name` could stand for, read as find_part reads it: one, two where the
// name is ambiguous, none where the model cannot place it or it is another kind of chip.
std::vector<const ChipPart*> candidates(const std::string& name);

// The part a bare family stands for in the tests and the benches, with the programming
// voltage most parts of the family on the market have: 2708, 2716, 2732A, 27C64 ... 27C040.
const ChipPart& default_part(IC type);

// Every name a part may be given, for messages: "2708, 2716, 27C16, ...".
const char* part_names();

// The programming voltage of a level tap 0..2 in 1/100 V; 0 for tap 3, which taps none.
uint16_t level_centivolts(unsigned level);
// "12.75 V", "14 V".
std::string volts_text(uint16_t centivolts);
// Name of a programming voltage tap 0..3 ("12.75 V", "21 V", "25 V", "level 3").
const char* vpp_level_name(unsigned level);

} // namespace vsim

#endif
