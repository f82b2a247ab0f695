// Command line of vantrel-sim.
#include "sim/options.h"

#include <cstdio>
#include <iterator>

#include "common/numbers.h"
#include "common/portname.h"
#include "sim/model/board.h"
#include "sim/model/eprom_chip.h"
#include "sim/model/parts.h"

namespace vsim {

namespace {

// A number as a bench user types it: 0x1F00 or 7936. Nothing else on the text, no sign, and
// nothing above `max`.
bool parse_number(const std::string& s, uint64_t max, uint64_t* out) {
    unsigned long long v = 0;
    if (!parseNumber(s.c_str(), TNUM_DEC_OR_0X, max, &v))
        return false;
    *out = v;
    return true;
}

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = s.find(sep, start);
        parts.push_back(s.substr(start, end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

// ---- --fault ---------------------------------------------------------------------------

const struct {
    const char* name;
    FaultSpec::Kind kind;
} LINE_FAULTS[] = {
    {"readback-stuck-0", FaultSpec::readback_stuck_0},
    {"readback-stuck-1", FaultSpec::readback_stuck_1},
    {"monoflop-stuck-0", FaultSpec::monoflop_stuck_0},
    {"monoflop-stuck-1", FaultSpec::monoflop_stuck_1},
};

// One number of a fault: its range, what is wrong when it is outside (naming the text
// given, or not), and where it goes.
struct FaultField {
    uint64_t min, max;
    const char* error;
    bool names_text;
    void (*set)(FaultSpec*, uint64_t);
};

struct NumberedFault {
    const char* name;
    FaultSpec::Kind kind;
    const char* form;
    size_t count;
    FaultField fields[3];
};

void set_address(FaultSpec* f, uint64_t v) {
    f->address = static_cast<uint32_t>(v);
}
void set_pulses(FaultSpec* f, uint64_t v) {
    f->pulses = static_cast<unsigned>(v);
}
void set_value(FaultSpec* f, uint64_t v) {
    f->value = static_cast<uint8_t>(v);
}
void set_percent(FaultSpec* f, uint64_t v) {
    f->percent = static_cast<unsigned>(v);
}
void set_seed(FaultSpec* f, uint64_t v) {
    f->seed = v;
}
void set_mask(FaultSpec* f, uint64_t v) {
    f->mask = static_cast<uint8_t>(v);
}
void set_line(FaultSpec* f, uint64_t v) {
    f->line = static_cast<uint8_t>(v);
}

const NumberedFault NUMBERED_FAULTS[] = {
    {"weak-cell",
     FaultSpec::weak_cell,
     "weak-cell:ADDR:K",
     2,
     {{0, 0xFFFFFFFFu, "bad address", true, set_address},
      {1, 255, "K must be a pulse count from 1 to 255", false, set_pulses}}},
    {"stuck-cell",
     FaultSpec::stuck_cell,
     "stuck-cell:ADDR:VALUE",
     2,
     {{0, 0xFFFFFFFFu, "bad address", true, set_address},
      {0, 255, "VALUE must be a byte (0 to 255 or 0x00 to 0xFF)", false, set_value}}},
    // A weak cell needs at least two pulses, else it would be a normal one.
    {"weak-cells",
     FaultSpec::weak_cells,
     "weak-cells:PERCENT:K:SEED",
     3,
     {{0, 100, "PERCENT must be from 0 to 100", false, set_percent},
      {2, 255, "K must be a pulse count from 2 to 255", false, set_pulses},
      {0, UINT64_MAX, "bad seed", true, set_seed}}},
    // A mask without a bit would be no fault at all, most likely the fields mixed up.
    {"flaky-cell",
     FaultSpec::flaky_cell,
     "flaky-cell:ADDR:MASK:PERCENT",
     3,
     {{0, 0xFFFFFFFFu, "bad address", true, set_address},
      {1, 255, "MASK must be the bits that flip (0x01 to 0xFF)", false, set_mask},
      {0, 100, "PERCENT must be from 0 to 100", false, set_percent}}},
    {"open-address",
     FaultSpec::open_address,
     "open-address:N",
     1,
     {{0, 18, "N must be an address line from 0 to 18", false, set_line}}},
    {"open-data",
     FaultSpec::open_data,
     "open-data:N:LEVEL",
     2,
     {{0, 7, "N must be a data line from 0 to 7", false, set_line},
      {0, 1, "LEVEL must be 0 or 1", false, set_value}}},
};

// The numbers of a fault, `p` being its text split at the colons.
std::string parse_numbered_fault(const NumberedFault& cf, const std::vector<std::string>& p,
                                 const std::string& bad, FaultSpec* f) {
    if (p.size() != cf.count + 1)
        return bad + "expected " + cf.form;
    for (size_t i = 0; i < cf.count; ++i) {
        const FaultField& field = cf.fields[i];
        uint64_t v = 0;
        if (!parse_number(p[i + 1], field.max, &v) || v < field.min)
            return bad + field.error + (field.names_text ? " '" + p[i + 1] + "'" : "");
        field.set(f, v);
    }
    f->kind = cf.kind;
    return "";
}

// Parses one --fault value; an empty result is success.
std::string parse_fault(const std::string& text, FaultSpec* f) {
    f->text = text;
    const std::vector<std::string> p = split(text, ':');
    const std::string bad = "--fault '" + text + "': ";
    for (const auto& lf : LINE_FAULTS) {
        if (p[0] == lf.name) {
            f->kind = lf.kind;
            return p.size() == 1 ? "" : bad + "takes no values";
        }
    }
    for (const NumberedFault& cf : NUMBERED_FAULTS)
        if (p[0] == cf.name)
            return parse_numbered_fault(cf, p, bad, f);
    return "unknown fault '" + text +
           "' (readback-stuck-0, readback-stuck-1, monoflop-stuck-0, monoflop-stuck-1, "
           "weak-cell:ADDR:K, stuck-cell:ADDR:VALUE, weak-cells:PERCENT:K:SEED, "
           "flaky-cell:ADDR:MASK:PERCENT, open-address:N, open-data:N:LEVEL)";
}

// ---- The whole command line ------------------------------------------------------------

// A second fault of one of the board's lines: `taken` tells whether it has one already.
std::string one_fault_per_line(const FaultSpec& f, bool* taken, const char* line) {
    if (*taken)
        return "--fault '" + f.text + "': " + line + " has a fault already";
    *taken = true;
    return "";
}

// A fault of the chip needs a chip, and a cell or an address pin of it.
std::string check_chip_fault(const SimOptions& o, const FaultSpec& f) {
    if (!o.chip_present)
        return "--fault '" + f.text + "' needs a chip in the socket, not --no-chip";
    const uint32_t size = chip_facts(o.chip->type).size;
    char range[40];
    if (f.kind == FaultSpec::open_address) {
        if ((1u << f.line) < size)
            return "";
        unsigned pins = 0;
        while ((1u << pins) < size)
            ++pins;
        std::snprintf(range, sizeof range, "A0 to A%u", pins - 1);
        return "--fault '" + f.text + "': no address pin of the " + o.chip->name + " (it has " +
               range + ")";
    }
    if (f.kind == FaultSpec::weak_cells || f.address < size)
        return "";
    std::snprintf(range, sizeof range, "0x0..0x%X", size - 1);
    return "--fault '" + f.text + "': address outside the " + o.chip->name + " (" + range + ")";
}

// The checks that need the whole command line: the chip the faults refer to, and options
// that contradict each other.
std::string check_combination(const SimOptions& o, bool chip_given) {
    if (!o.chip_present && chip_given)
        return "--chip and --no-chip exclude each other";
    if (!o.chip_present && !o.chip_file.empty())
        return "--chip-file needs a chip in the socket, not --no-chip";
    bool readback = false, monoflop = false;
    bool address_line[19] = {}, data_line[8] = {};
    for (const FaultSpec& f : o.faults) {
        std::string error;
        const std::string line = std::to_string(f.line);
        switch (f.kind) {
        case FaultSpec::readback_stuck_0:
        case FaultSpec::readback_stuck_1:
            error = one_fault_per_line(f, &readback, "the read-back line");
            break;
        case FaultSpec::monoflop_stuck_0:
        case FaultSpec::monoflop_stuck_1:
            error = one_fault_per_line(f, &monoflop, "the monoflop");
            break;
        case FaultSpec::open_data: // the board reads the level, with a chip or without
            error = one_fault_per_line(f, &data_line[f.line], ("data line D" + line).c_str());
            break;
        case FaultSpec::open_address:
            error = check_chip_fault(o, f);
            if (error.empty())
                error =
                    one_fault_per_line(f, &address_line[f.line], ("address line A" + line).c_str());
            break;
        default:
            error = check_chip_fault(o, f);
            break;
        }
        if (!error.empty())
            return error;
    }
    return "";
}

// ---- One option at a time ----------------------------------------------------------------

enum SimOption {
    OPT_HELP = 'h',
    OPT_VERSION = 0x1FF,
    OPT_NO_CHIP = 0x200,
    OPT_CHIP,
    OPT_CHIP_FILE,
    OPT_BOARD_PORT,
    OPT_PORT,
    OPT_PULSE,
    OPT_FAULT,
    OPT_TRACE,
    OPT_STATS,
};

const option SIM_OPTIONS[] = {
    {"help", no_argument, nullptr, OPT_HELP},
    {"version", no_argument, nullptr, OPT_VERSION},
    {"no-chip", no_argument, nullptr, OPT_NO_CHIP},
    {"chip", required_argument, nullptr, OPT_CHIP},
    {"chip-file", required_argument, nullptr, OPT_CHIP_FILE},
    {"board-port", required_argument, nullptr, OPT_BOARD_PORT},
    {"port", required_argument, nullptr, OPT_PORT},
    {"pulse", required_argument, nullptr, OPT_PULSE},
    {"fault", required_argument, nullptr, OPT_FAULT},
    {"trace", required_argument, nullptr, OPT_TRACE},
    {"stats", no_argument, nullptr, OPT_STATS},
    {nullptr, 0, nullptr, 0},
};
#define SIM_SHORT_OPTIONS "h"

// What an option that takes a value says when it has none; for a path, an empty one is
// none.
const struct {
    int code;
    const char* needs;
    bool empty_is_none;
} VALUE_NEEDS[] = {
    {OPT_CHIP, "a chip type", false},
    {OPT_CHIP_FILE, "a path", true},
    {OPT_BOARD_PORT, "a base address or none", false},
    {OPT_PORT, "a base address like 0xD010", false},
    {OPT_PULSE, "a number of port accesses", false},
    {OPT_FAULT, "a fault", false},
    {OPT_TRACE, "a path", true},
};

// What the option of `w` needs when it takes a value and has none; else NULL.
const char* missing_value(const CmdWord& w) {
    for (const auto& need : VALUE_NEEDS)
        if (need.code == w.code)
            return !w.value || (need.empty_is_none && !*w.value) ? need.needs : nullptr;
    return nullptr;
}

// The options so far, and whether --chip was among them.
struct Bench {
    SimOptions o;
    bool chip_given = false;
};

std::string take_chip(const std::string& v, Bench* b) {
    std::string why;
    const ChipPart* part = find_part(v, &why);
    if (!part)
        return "--chip '" + v + "': " + why;
    b->o.chip = part;
    b->chip_given = true;
    return "";
}

std::string take_board_port(const std::string& v, SimOptions* o) {
    uint64_t port = 0;
    if (v == "none")
        o->board_port = 0;
    else if (parse_number(v, Board::LAST_BASE, &port) && port != 0)
        o->board_port = static_cast<uint16_t>(port);
    else
        return "--board-port '" + v +
               "': expected a base address from 0x1 to 0xFFFD (0x378, 0xD010, ...) or none";
    return "";
}

std::string take_port(const std::string& v, SimOptions* o) {
    uint16_t base = 0;
    if (!o->port.empty())
        return "option '--port' given twice: the program opens one port";
    if (parsePortName(v.c_str(), &base) != TNAME_BASE)
        return "--port '" + v + "': expected a base address from 0x1 to 0xFFFD " +
               "(0x378, 0xD010, ...); the model has no ppdev devices";
    o->port = v;
    return "";
}

std::string take_pulse(const std::string& v, SimOptions* o) {
    uint64_t ticks = 0;
    if (!parse_number(v, 0xFFFFFFFFu, &ticks) || ticks == 0)
        return "--pulse '" + v + "': expected a positive number of port accesses";
    o->pulse_ticks = static_cast<uint32_t>(ticks);
    return "";
}

std::string take_fault(const std::string& v, SimOptions* o) {
    FaultSpec f{};
    std::string error = parse_fault(v, &f);
    if (error.empty())
        o->faults.push_back(f);
    return error;
}

// The value `v` of a bench option; "" when it is good.
std::string take_value(int code, const std::string& v, Bench* b) {
    switch (code) {
    case OPT_HELP:
        b->o.help = true;
        return "";
    case OPT_VERSION:
        b->o.version = true;
        return "";
    case OPT_NO_CHIP:
        b->o.chip_present = false;
        return "";
    case OPT_STATS:
        b->o.stats = true;
        return "";
    case OPT_CHIP:
        return take_chip(v, b);
    case OPT_CHIP_FILE:
        b->o.chip_file = v;
        return "";
    case OPT_BOARD_PORT:
        return take_board_port(v, &b->o);
    case OPT_PORT:
        return take_port(v, &b->o);
    case OPT_PULSE:
        return take_pulse(v, &b->o);
    case OPT_FAULT:
        return take_fault(v, &b->o);
    default: // OPT_TRACE
        b->o.trace_path = v;
        return "";
    }
}

// One word of the command line; "" when it is a good bench option.
std::string take_word(const CmdWord& w, Bench* b) {
    if (w.code == CMD_ARGUMENT)
        return "unexpected argument '" + std::string(w.word) + "' (vantrel-sim takes options only)";
    if (w.code == CMD_UNKNOWN)
        return "unknown option '" + std::string(w.word, static_cast<size_t>(w.nameLength)) + "'";
    const std::string name = w.name;
    if (const char* needs = missing_value(w))
        return "option '" + name + "' needs " + needs;
    const bool flag =
        w.code == OPT_HELP || w.code == OPT_VERSION || w.code == OPT_NO_CHIP || w.code == OPT_STATS;
    if (flag && w.value)
        return "option '" + name + "' takes no value";
    return take_value(w.code, w.value ? w.value : "", b);
}

// The bench's options and `other` in one table for getopt_long.
std::vector<option> options_table(const option* other) {
    size_t count = std::size(SIM_OPTIONS);
    for (const option* o = other; o && o->name; ++o)
        ++count;
    std::vector<option> table(count);
    joinOptions(SIM_OPTIONS, other, table.data(), table.size());
    return table;
}

} // namespace

ParsedOptions parse_sim_options(int argc, const char* const* argv, const OtherOptions& other) {
    const std::vector<option> table = options_table(other.table);
    const std::string optstring = CMD_OPTSTRING(SIM_SHORT_OPTIONS) + other.short_options;
    // getopt_long reads the words in their order here and never moves them.
    char* const* args = const_cast<char* const*>(argv);
    startCmdWords(args, optstring.c_str(), table.data());

    ParsedOptions result;
    Bench bench;
    std::string error;
    CmdWord w;
    while (nextCmdWord(argc, args, optstring.c_str(), table.data(), &w) != CMD_END) {
        const int took = other.take ? other.take(w) : 0;
        if (took < 0 && error.empty()) {
            result.other_refused = true;
            return result;
        }
        if (took < 0)
            break; // the bench's fault came first: that one is said
        if (took == 0 && error.empty())
            error = take_word(w, &bench);
    }
    if (error.empty())
        error = check_combination(bench.o, bench.chip_given);
    if (error.empty())
        result.options = std::move(bench.o);
    result.error = error;
    return result;
}

ParsedOptions parse_sim_words(const std::vector<std::string>& words, const OtherOptions& other) {
    std::vector<const char*> argv = {"vantrel-sim"};
    for (const std::string& word : words)
        argv.push_back(word.c_str());
    return parse_sim_options(static_cast<int>(argv.size()), argv.data(), other);
}

std::string sim_usage() {
    return "Usage: vantrel-sim [OPTION]...\n"
           "Run vantrel, the Vantrel II EPROM programmer, on a software model of the board.\n"
           "Without options: the board on 0x378 with an erased 27C512 in the socket.\n"
           "\n"
           "  --chip PART            chip in the socket, by the name printed on it, with or\n"
           "                         without maker and suffix (M27C256B-12F1, D2764A-2);\n"
           "                         the name sets the programming voltage: 2732 25 V;\n"
           "                         2732A, 2764, 27128 (NMOS) 21 V; 2764A, 27128A, 27256,\n"
           "                         27512 and the CMOS parts 27C64 ... 27C040 (27C1001 ...\n"
           "                         27C4001) 12.75 V; 2708, 2716, 27C16 read only. More\n"
           "                         than a part tolerates (14 V for the 12.75 V parts,\n"
           "                         22 V for the 21 V ones) destroys it. A name that could\n"
           "                         be two parts (2764B) or is of another family\n"
           "                         (TMS2716, W27C512, 28C64, 27C1024) is refused.\n"
           "                         Default 27C512\n"
           "  --no-chip              empty socket\n"
           "  --chip-file PATH       the chip's cells are the file PATH (the chip's size; a\n"
           "                         missing file is created erased): every burnt byte is\n"
           "                         in it at once, however the program ends\n"
           "  --board-port PORT      base address of the port the board hangs on: 0x278,\n"
           "                         0x378 (default), 0x3BC, a card's address like 0xD010,\n"
           "                         or none\n"
           "  --port PORT            the program's --port: the port it opens instead of the\n"
           "                         start-up dialogue, a base address like 0xD010\n"
           "  --pulse TICKS          monoflop pulse length in port accesses (default 100)\n"
           "  --fault FAULT          a fault of the board or the chip (repeatable):\n"
           "                           readback-stuck-0, readback-stuck-1,\n"
           "                           monoflop-stuck-0, monoflop-stuck-1,\n"
           "                           weak-cell:ADDR:K       the cell needs K pulses\n"
           "                           stuck-cell:ADDR:VALUE  the cell always reads VALUE\n"
           "                           weak-cells:PERCENT:K:SEED  PERCENT % of the cells need\n"
           "                                                  2..K pulses\n"
           "                           flaky-cell:ADDR:MASK:PERCENT  the bits of MASK read\n"
           "                                                  inverted on PERCENT % of reads\n"
           "                           open-address:N         the chip sees address line N\n"
           "                                                  at 0 (N one of its pins)\n"
           "                           open-data:N:LEVEL      data line N (0..7) has no\n"
           "                                                  contact: it reads LEVEL (0 or\n"
           "                                                  1), and burns no 0 into the chip\n"
           "                         ADDR, MASK and VALUE in decimal or hex with 0x\n"
           "  --trace PATH.vcd       every port access as a Value Change Dump (1 us = one\n"
           "                         port access)\n"
           "  --stats                port accesses, transfers, pulses, bus time, violations\n"
           "                         and hazards on standard error at exit\n"
           "  --help                 this text\n"
           "  --version              the program's version\n"
           "\n"
           "Exit status: 1 after the exit command or the end of input, 0 when the work buffer\n"
           "cannot be had, 2 for a bad command line or chip file or no memory, 128 + N after\n"
           "signal N (a chip run first puts the chip at rest; Ctrl-Z pauses it at rest).\n";
}

} // namespace vsim
