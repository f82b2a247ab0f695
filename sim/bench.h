// The bench around the program: the board model set up the way vantrel-sim's options say
// (where the board hangs, the chip and its chip file, faults, trace, statistics), and what
// has to happen at exit however the program ends. vantrel-sim and the harness that runs the
// real vantrel binary on the model share it.
#ifndef VANTREL_SIM_BENCH_H
#define VANTREL_SIM_BENCH_H

#include <optional>
#include <string>

#include "sim/model/chip_file.h"
#include "sim/options.h"

namespace vsim {

// Sets up the one board: hung on o.board_port, the chip (its cells in its chip file), the
// faults, the trace. `who` prefixes the messages at exit ("vantrel-sim"). False with the
// reason when the chip file or the trace cannot be had.
bool bench_start(const SimOptions& o, const char* who, std::string* error);

// Closes the trace and the chip file and prints the statistics if asked; only the first
// call does anything. Returns 0, or 2 when the chip file or the trace could not be finished
// (the reason is on standard error).
int bench_finish();

// The chip file, while the bench runs with one: whatever name or link a program uses for
// it, it is this file.
std::optional<FileId> bench_chip_file_id();

// After running out of memory: only the chip file is let go (whatever the chip held is in
// it already), and nothing more happens at exit.
void bench_abandon();

} // namespace vsim

#endif
