// Command line of vantrel-sim: which board, which chip and which faults the bench puts
// behind the port before the program starts. Apart from --port, these options only set up
// the virtual hardware around the program; its job options share the same command line.
#ifndef VANTREL_SIM_OPTIONS_H
#define VANTREL_SIM_OPTIONS_H

#include <cstdint>
#include <functional>
#include <getopt.h>
#include <optional>
#include <string>
#include <vector>

#include "common/cmdword.h"
#include "sim/model/eprom_chip.h"

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
        flaky_cell,   // cell `address` reads the bits of `mask` inverted on `percent` % of reads
        open_address, // the chip sees address line `line` at 0
        open_data,    // data line `line` has no contact: the board reads `value` (0 or 1)
    };
    Kind kind;
    uint32_t address = 0;
    uint8_t value = 0;
    uint8_t mask = 0;
    uint8_t line = 0;
    unsigned pulses = 0;
    unsigned percent = 0;
    uint64_t seed = 0;
    std::string text; // as given on the command line, for messages
};

struct SimOptions {
    bool help = false;
    bool version = false;
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
    bool other_refused = false; // one of the OtherOptions was refused (and said why)
    bool ok() const { return options.has_value(); }
};

// Options that a command line takes besides the bench's own, in the same table and the same
// pass: vantrel-sim's job options, the test harness's fake devices. Their codes are none of
// the bench's.
struct OtherOptions {
    const option* table = nullptr; // ended by a zero entry
    std::string short_options;     // for getopt_long's option string: "t:"
    // Takes one word of the command line: 1 when it is one of these options, 0 when not, -1
    // when it is one but cannot be used (the taker has said why; the parse ends there).
    std::function<int(const CmdWord&)> take;
};

// Parses argv[1..argc-1]. Every value is checked here, including fault addresses against the
// chip's size, so that a bad command line never starts the program. The first bad bench
// option is the one named, but only after all of `other` have been taken: a refusal of one of
// those ends the parse at once and comes first.
ParsedOptions parse_sim_options(int argc, const char* const* argv,
                                const OtherOptions& other = OtherOptions{});

// The same for a list of words without the program's name (the harness's bench, from an
// environment variable).
ParsedOptions parse_sim_words(const std::vector<std::string>& words,
                              const OtherOptions& other = OtherOptions{});

// The usage text of --help.
std::string sim_usage();

} // namespace vsim

#endif
