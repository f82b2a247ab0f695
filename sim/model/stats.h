// What a bench run cost and what went wrong on the wire, as --stats prints it at exit.
#ifndef VANTREL_SIM_MODEL_STATS_H
#define VANTREL_SIM_MODEL_STATS_H

#include <string>

#include "sim/model/board.h"

namespace vsim {

// Port accesses (reads, writes), transfers per register, load pulses, program pulses, the
// bus time a real port would have taken at 1 us per access, the state IC4 leaves the chip
// in, a chip destroyed by too high a programming voltage, and every protocol violation and
// hazard with its count and texts. One item a line.
std::string format_stats(const Board& board);

} // namespace vsim

#endif
