// Command line of vantrel-sim.
#include "sim/options.h"

#include <cctype>
#include <cstdio>

#include "link/portname.h"
#include "sim/board.h"
#include "sim/eprom_chip.h"

namespace vsim {

namespace {

// A number as a bench user types it: 0x1F00 or 7936. Nothing else on the text, no sign, and
// nothing above `max`.
bool parse_number(const std::string& s, uint64_t max, uint64_t* out) {
    size_t i = 0;
    unsigned base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        i = 2;
    }
    if (i >= s.size())
        return false;
    uint64_t v = 0;
    for (; i < s.size(); ++i) {
        const int c = std::tolower(static_cast<unsigned char>(s[i]));
        unsigned d;
        if (c >= '0' && c <= '9')
            d = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = static_cast<unsigned>(c - 'a' + 10);
        else
            return false;
        if (v > (max - d) / base)
            return false;
        v = v * base + d;
    }
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

// Parses one --fault value; an empty result is success.
std::string parse_fault(const std::string& text, FaultSpec* f) {
    f->text = text;
    const std::vector<std::string> p = split(text, ':');
    const std::string bad = "--fault '" + text + "': ";
    static const struct {
        const char* name;
        FaultSpec::Kind kind;
    } LINE_FAULTS[] = {
        {"readback-stuck-0", FaultSpec::readback_stuck_0},
        {"readback-stuck-1", FaultSpec::readback_stuck_1},
        {"monoflop-stuck-0", FaultSpec::monoflop_stuck_0},
        {"monoflop-stuck-1", FaultSpec::monoflop_stuck_1},
    };
    for (const auto& lf : LINE_FAULTS) {
        if (p[0] == lf.name) {
            if (p.size() != 1)
                return bad + "takes no values";
            f->kind = lf.kind;
            return "";
        }
    }
    uint64_t a = 0, b = 0, c = 0;
    if (p[0] == "weak-cell") {
        if (p.size() != 3)
            return bad + "expected weak-cell:ADDR:K";
        if (!parse_number(p[1], 0xFFFFFFFFu, &a))
            return bad + "bad address '" + p[1] + "'";
        if (!parse_number(p[2], 255, &b) || b < 1)
            return bad + "K must be a pulse count from 1 to 255";
        f->kind = FaultSpec::weak_cell;
        f->address = static_cast<uint32_t>(a);
        f->pulses = static_cast<unsigned>(b);
        return "";
    }
    if (p[0] == "stuck-cell") {
        if (p.size() != 3)
            return bad + "expected stuck-cell:ADDR:VALUE";
        if (!parse_number(p[1], 0xFFFFFFFFu, &a))
            return bad + "bad address '" + p[1] + "'";
        if (!parse_number(p[2], 255, &b))
            return bad + "VALUE must be a byte (0 to 255 or 0x00 to 0xFF)";
        f->kind = FaultSpec::stuck_cell;
        f->address = static_cast<uint32_t>(a);
        f->value = static_cast<uint8_t>(b);
        return "";
    }
    if (p[0] == "weak-cells") {
        if (p.size() != 4)
            return bad + "expected weak-cells:PERCENT:K:SEED";
        if (!parse_number(p[1], 100, &a))
            return bad + "PERCENT must be from 0 to 100";
        // A weak cell needs at least two pulses, else it would be a normal one.
        if (!parse_number(p[2], 255, &b) || b < 2)
            return bad + "K must be a pulse count from 2 to 255";
        if (!parse_number(p[3], UINT64_MAX, &c))
            return bad + "bad seed '" + p[3] + "'";
        f->kind = FaultSpec::weak_cells;
        f->percent = static_cast<unsigned>(a);
        f->pulses = static_cast<unsigned>(b);
        f->seed = c;
        return "";
    }
    return "unknown fault '" + text +
           "' (readback-stuck-0, readback-stuck-1, monoflop-stuck-0, monoflop-stuck-1, "
           "weak-cell:ADDR:K, stuck-cell:ADDR:VALUE, weak-cells:PERCENT:K:SEED)";
}

bool is_line_fault(FaultSpec::Kind k) {
    return k == FaultSpec::readback_stuck_0 || k == FaultSpec::readback_stuck_1 ||
           k == FaultSpec::monoflop_stuck_0 || k == FaultSpec::monoflop_stuck_1;
}

// The checks that need the whole command line: the chip the faults refer to, and options
// that contradict each other.
std::string check_combination(const SimOptions& o, bool chip_given) {
    if (!o.chip_present && chip_given)
        return "--chip and --no-chip exclude each other";
    if (!o.chip_present && !o.chip_file.empty())
        return "--chip-file needs a chip in the socket, not --no-chip";
    bool readback = false, monoflop = false;
    for (const FaultSpec& f : o.faults) {
        if (f.kind == FaultSpec::readback_stuck_0 || f.kind == FaultSpec::readback_stuck_1) {
            if (readback)
                return "--fault '" + f.text + "': the read-back line has a fault already";
            readback = true;
        } else if (f.kind == FaultSpec::monoflop_stuck_0 || f.kind == FaultSpec::monoflop_stuck_1) {
            if (monoflop)
                return "--fault '" + f.text + "': the monoflop has a fault already";
            monoflop = true;
        }
        if (is_line_fault(f.kind))
            continue;
        if (!o.chip_present)
            return "--fault '" + f.text + "' needs a chip in the socket, not --no-chip";
        const uint32_t size = chip_facts(o.chip->type).size;
        if (f.kind != FaultSpec::weak_cells && f.address >= size) {
            char range[32];
            std::snprintf(range, sizeof range, "0x0..0x%X", size - 1);
            return "--fault '" + f.text + "': address outside the " + o.chip->name + " (" + range +
                   ")";
        }
    }
    return "";
}

} // namespace

const ChipPart* parse_chip_type(const std::string& text) {
    return find_part(text.c_str());
}

ParsedOptions parse_sim_options(int argc, const char* const* argv) {
    ParsedOptions result;
    SimOptions o;
    bool chip_given = false;
    auto fail = [&](std::string text) {
        result.error = std::move(text);
        return result;
    };
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool has_value = false;
        // --name=value and --name value are both accepted.
        const size_t eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.erase(eq);
            has_value = true;
        }
        auto takes_value = [&](std::string* out) -> bool {
            if (has_value) {
                *out = value;
                return true;
            }
            if (i + 1 >= argc)
                return false;
            *out = argv[++i];
            return true;
        };
        auto flag_only = [&]() { return !has_value; };

        std::string v;
        if (arg == "--help" || arg == "-h") {
            if (!flag_only())
                return fail("option '" + arg + "' takes no value");
            o.help = true;
        } else if (arg == "--no-chip") {
            if (!flag_only())
                return fail("option '--no-chip' takes no value");
            o.chip_present = false;
        } else if (arg == "--stats") {
            if (!flag_only())
                return fail("option '--stats' takes no value");
            o.stats = true;
        } else if (arg == "--chip") {
            if (!takes_value(&v))
                return fail("option '--chip' needs a chip type");
            const ChipPart* part = parse_chip_type(v);
            if (!part)
                return fail("--chip '" + v + "': unknown chip (" + part_names() + ")");
            o.chip = part;
            chip_given = true;
        } else if (arg == "--chip-file") {
            if (!takes_value(&v) || v.empty())
                return fail("option '--chip-file' needs a path");
            o.chip_file = v;
        } else if (arg == "--board-port") {
            if (!takes_value(&v))
                return fail("option '--board-port' needs a base address or none");
            uint64_t port = 0;
            if (v == "none")
                o.board_port = 0;
            else if (parse_number(v, Board::LAST_BASE, &port) && port != 0)
                o.board_port = static_cast<uint16_t>(port);
            else
                return fail("--board-port '" + v +
                            "': expected a base address from 0x1 to 0xFFFD (0x378, 0xD010, ...) "
                            "or none");
        } else if (arg == "--port") {
            uint16_t base = 0;
            if (!takes_value(&v))
                return fail("option '--port' needs a base address like 0xD010");
            if (parsePortName(v.c_str(), &base) != TNAME_BASE)
                return fail("--port '" + v + "': expected a base address from 0x1 to 0xFFFD " +
                            "(0x378, 0xD010, ...); the model has no ppdev devices");
            o.port = v;
        } else if (arg == "--pulse") {
            if (!takes_value(&v))
                return fail("option '--pulse' needs a number of port accesses");
            uint64_t ticks = 0;
            if (!parse_number(v, 0xFFFFFFFFu, &ticks) || ticks == 0)
                return fail("--pulse '" + v + "': expected a positive number of port accesses");
            o.pulse_ticks = static_cast<uint32_t>(ticks);
        } else if (arg == "--fault") {
            if (!takes_value(&v))
                return fail("option '--fault' needs a fault");
            FaultSpec f{};
            const std::string err = parse_fault(v, &f);
            if (!err.empty())
                return fail(err);
            o.faults.push_back(f);
        } else if (arg == "--trace") {
            if (!takes_value(&v) || v.empty())
                return fail("option '--trace' needs a path");
            o.trace_path = v;
        } else if (arg.compare(0, 1, "-") == 0) {
            return fail("unknown option '" + arg + "'");
        } else {
            return fail("unexpected argument '" + arg + "' (vantrel-sim takes options only)");
        }
    }
    const std::string err = check_combination(o, chip_given);
    if (!err.empty())
        return fail(err);
    result.options = std::move(o);
    return result;
}

std::string sim_usage() {
    return "Usage: vantrel-sim [OPTION]...\n"
           "Run vantrel, the Vantrel II EPROM programmer, on a software model of the board.\n"
           "Without options: the board on 0x378 with an erased 27C512 in the socket.\n"
           "\n"
           "  --chip PART            chip in the socket, by the name on its package: 2708,\n"
           "                         2716, 2732 (25 V), 2732A (21 V), 2764 and 27128 (NMOS,\n"
           "                         21 V), 2764A, 27128A, 27256, 27512 and the CMOS parts\n"
           "                         27C64 ... 27C040 (12.5 V); default 27C512\n"
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
           "                         ADDR and VALUE in decimal or hex with 0x\n"
           "  --trace PATH.vcd       every port access as a Value Change Dump (1 us = one\n"
           "                         port access)\n"
           "  --stats                port accesses, transfers, pulses, bus time, violations\n"
           "                         and hazards on standard error at exit\n"
           "  --help                 this text\n"
           "\n"
           "Exit status: 1 after the exit command or the end of input, 0 when the work buffer\n"
           "cannot be had, 2 for a bad command line or chip file or no memory, 128 + N after\n"
           "signal N (a chip run first puts the chip at rest; Ctrl-Z pauses it at rest).\n";
}

} // namespace vsim
