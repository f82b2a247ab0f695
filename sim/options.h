// Command line of vantrel-sim: which board, which chip and which faults the bench puts
// behind the port before the program starts. The program itself takes no arguments; all of
// this only sets up the virtual hardware around it.
#ifndef VANTREL_SIM_OPTIONS_H
#define VANTREL_SIM_OPTIONS_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "defs.h"
#include "sim/eprom_chip.h"

namespace vsim {

// One fault of the board or of the chip, as given with --fault.
struct FaultSpec {
    enum Kind : uint8_t {
        readback_stuck_0, // status bit 6 always 0
        readback_stuck_1, // status bit 6 always 1
        monoflop_stuck_0, // status bit 7 always 0, no pulse ever starts
        monoflop_stuck_1, // status bit 7 always 1, no pulse ever starts
        weak_cell,        // cell `address` needs `pulses` effective pulses
        stuck_cell,       // cell `address` always reads `value`
        weak_cells,       // `percent` % of the cells need 2..`pulses` pulses, drawn from `seed`
    };
    Kind kind;
    uint32_t address = 0;
    uint8_t value = 0;
    unsigned pulses = 0;
    unsigned percent = 0;
    uint64_t seed = 0;
    std::string text; // as given on the command line, for messages
};

struct SimOptions {
    bool help = false;
    bool chip_present = true;
    const ChipPart* chip = &default_part(T27512);
    std::string chip_file;       // empty: the chip's contents live only for the run
    uint16_t board_port = 0x378; // 0: the board hangs on no port
    std::string port;            // the program's --port: empty for the start-up dialogue
    std::optional<uint32_t> pulse_ticks;
    std::vector<FaultSpec> faults;
    std::string trace_path; // empty: no trace
    bool stats = false;
};

// Either the options or the reason they were refused (a text naming the option).
struct ParsedOptions {
    std::optional<SimOptions> options;
    std::string error;
    bool ok() const { return options.has_value(); }
};

// Parses argv[1..argc-1]. Every value is checked here, including fault addresses against the
// chip's size, so that a bad command line never starts the program.
ParsedOptions parse_sim_options(int argc, const char* const* argv);

// The part for "2764", "2764A", "27C64", "27c512", ... or nullptr.
const ChipPart* parse_chip_type(const std::string& text);

// The usage text of --help.
std::string sim_usage();

} // namespace vsim

#endif
