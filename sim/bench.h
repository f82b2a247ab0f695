// The bench around the program: the board model set up the way vantrel-sim's options say
// (where the board hangs, the chip and its chip file, faults, trace, statistics), and what
// has to happen at exit however the program ends. vantrel-sim and the harness that runs the
// real vantrel binary on the model share it.
#ifndef VANTREL_SIM_BENCH_H
#define VANTREL_SIM_BENCH_H

#include <string>

#include "sim/options.h"

namespace vsim {

// Sets up the one board: hung on o.board_port, the chip (loaded from its chip file), the
// faults, the trace. `who` prefixes the messages at exit ("vantrel-sim"). False with the
// reason when the chip file or the trace cannot be had.
bool bench_start(const SimOptions& o, const char* who, std::string* error);

// Closes the trace, writes the chip file back if the chip changed and prints the statistics
// if asked; only the first call does anything. Returns 0, or 2 when the chip file or the
// trace could not be written (the reason is on standard error).
int bench_finish();

} // namespace vsim

#endif
