// The command line of vantrel-sim: what each option sets up on the bench, and that every
// malformed or contradictory command line is refused with a text naming the culprit.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "sim/model/wiring.h"
#include "sim/model/board.h"
#include "sim/options.h"
#include "sim/model/stats.h"

namespace {

using namespace vsim::chip_types;
using vsim::FaultSpec;
using vsim::ParsedOptions;
using vsim::SimOptions;

ParsedOptions parse(std::initializer_list<const char*> args) {
    std::vector<const char*> argv{"vantrel-sim"};
    argv.insert(argv.end(), args.begin(), args.end());
    return vsim::parse_sim_options(static_cast<int>(argv.size()), argv.data());
}

SimOptions ok(std::initializer_list<const char*> args) {
    const ParsedOptions p = parse(args);
    EXPECT_TRUE(p.ok()) << p.error;
    return p.ok() ? *p.options : SimOptions{};
}

// The error text for a refused command line ("" when it was accepted, which fails).
std::string refused(std::initializer_list<const char*> args) {
    const ParsedOptions p = parse(args);
    EXPECT_FALSE(p.ok()) << "accepted";
    EXPECT_FALSE(p.error.empty());
    return p.error;
}

TEST(SimOptions, NoArgumentsGiveTheDefaultBench) {
    const SimOptions o = ok({});
    EXPECT_FALSE(o.help);
    EXPECT_TRUE(o.chip_present);
    EXPECT_EQ(o.chip->type, T27512);
    EXPECT_STREQ(o.chip->name, "27C512");
    EXPECT_EQ(o.board_port, 0x378);
    EXPECT_FALSE(o.pulse_ticks.has_value());
    EXPECT_TRUE(o.faults.empty());
    EXPECT_TRUE(o.chip_file.empty());
    EXPECT_TRUE(o.trace_path.empty());
    EXPECT_FALSE(o.stats);
}

// The part by the name printed on it, given either way; the chip in the socket is that
// part, with its programming voltage and its limit.
TEST(SimOptions, ChipByTheNameOnIt) {
    const struct {
        const char* text;
        IC type;
        const char* part;
        uint8_t rating; // level tap that programs it: 0 12.75 V, 1 21 V, 2 25 V
        uint16_t limit; // 1/100 V
    } cases[] = {
        {"2716", T2716, "2716", 2, 2600},
        {"2732", T2732, "2732", 2, 2600},
        {"tms2732a-45jl", T2732, "2732A", 1, 2200},
        {"MBM2764-25", T2764, "2764", 1, 2200},
        {"D2764A-2", T2764, "27C64", 0, 1400},
        {"27256", T27256, "27C256", 0, 1400},
        {"M27C256B-12F1", T27256, "27C256", 0, 1400},
        {"27C1001", T27010, "27C010", 0, 1400},
        {"AM27C040-150DC", T27040, "27C040", 0, 1400},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string joined = std::string("--chip=") + c.text;
        for (const SimOptions& o : {ok({"--chip", c.text}), ok({joined.c_str()})}) {
            ASSERT_NE(o.chip, nullptr);
            EXPECT_EQ(o.chip->type, c.type);
            EXPECT_STREQ(o.chip->name, c.part);
            const vsim::EpromChip chip(*o.chip);
            EXPECT_STREQ(chip.name(), c.part);
            EXPECT_EQ(chip.vpp_rating(), c.rating);
            EXPECT_EQ(chip.vpp_limit(), c.limit);
        }
    }
}

TEST(SimOptions, UnknownOrAmbiguousChipsAreRefusedNamingTheOption) {
    const struct {
        const char* text;
        const char* why;
    } cases[] = {
        {"2799", "unknown part; closest known: 2708, 2716, 2732, 2764"},
        {"27C99", "unknown part; closest known: 27C16, 27C64"},
        {"512", "unknown part; closest known: 27512"},
        {"27C08", "unknown part; closest known: 2708"},
        {"27.64", "a part name has letters, digits, '-', '/' and blanks only"},
        {"", "no part named"},
        {"2764B", "could be a 2764 (programs at 21 V) or a 2764A (programs at 12.75 V)"},
    };
    for (const auto& c : cases) {
        const std::string e = refused({"--chip", c.text});
        EXPECT_EQ(e.rfind(std::string("--chip '") + c.text + "': " + c.why, 0), 0u) << e;
    }
    EXPECT_NE(refused({"--chip"}).find("--chip"), std::string::npos);
}

TEST(SimOptions, EmptySocketExcludesChipAndCellOptions) {
    const SimOptions o = ok({"--no-chip"});
    EXPECT_FALSE(o.chip_present);
    EXPECT_NE(refused({"--no-chip", "--chip", "2764"}).find("--no-chip"), std::string::npos);
    EXPECT_NE(refused({"--chip", "2764", "--no-chip"}).find("--no-chip"), std::string::npos);
    EXPECT_NE(refused({"--no-chip", "--chip-file", "x.bin"}).find("--chip-file"),
              std::string::npos);
    EXPECT_NE(refused({"--no-chip", "--fault", "stuck-cell:0:0"}).find("stuck-cell:0:0"),
              std::string::npos);
    EXPECT_NE(refused({"--no-chip", "--fault", "weak-cells:5:3:1"}).find("weak-cells"),
              std::string::npos);
    // A fault of the board's lines needs no chip.
    EXPECT_EQ(ok({"--no-chip", "--fault", "readback-stuck-1"}).faults.size(), 1u);
    EXPECT_NE(refused({"--no-chip=yes"}).find("--no-chip"), std::string::npos);
}

// Any base address of a card, with room for its three registers below 0x10000.
TEST(SimOptions, BoardPort) {
    EXPECT_EQ(ok({"--board-port", "0x278"}).board_port, 0x278);
    EXPECT_EQ(ok({"--board-port", "0x378"}).board_port, 0x378);
    EXPECT_EQ(ok({"--board-port", "0x3BC"}).board_port, 0x3BC);
    EXPECT_EQ(ok({"--board-port", "0x3bc"}).board_port, 0x3BC);
    EXPECT_EQ(ok({"--board-port=956"}).board_port, 0x3BC);
    EXPECT_EQ(ok({"--board-port", "0xD010"}).board_port, 0xD010);
    EXPECT_EQ(ok({"--board-port", "0x1"}).board_port, 0x1);
    EXPECT_EQ(ok({"--board-port", "0xFFFD"}).board_port, 0xFFFD);
    EXPECT_EQ(ok({"--board-port", "none"}).board_port, 0);
    for (const char* bad : {"0xFFFE", "0x10000", "0", "NONE", "0x", "-0x378", "", "0xD01G"}) {
        const std::string e = refused({"--board-port", bad});
        EXPECT_NE(e.find("--board-port"), std::string::npos) << bad << ": " << e;
    }
    EXPECT_NE(refused({"--board-port"}).find("--board-port"), std::string::npos);
}

TEST(SimOptions, PulseLengthIsAPositiveCount) {
    EXPECT_EQ(ok({"--pulse", "1"}).pulse_ticks, 1u);
    EXPECT_EQ(ok({"--pulse", "250"}).pulse_ticks, 250u);
    EXPECT_EQ(ok({"--pulse", "0x100"}).pulse_ticks, 256u);
    EXPECT_EQ(ok({"--pulse=4294967295"}).pulse_ticks, 4294967295u);
    for (const char* bad : {"0", "-5", "abc", "12us", "4294967296", "1.5", ""}) {
        const std::string e = refused({"--pulse", bad});
        EXPECT_NE(e.find("--pulse"), std::string::npos) << bad << ": " << e;
    }
}

TEST(SimOptions, LineFaults) {
    const SimOptions o = ok({"--fault", "readback-stuck-0", "--fault", "monoflop-stuck-1"});
    ASSERT_EQ(o.faults.size(), 2u);
    EXPECT_EQ(o.faults[0].kind, FaultSpec::readback_stuck_0);
    EXPECT_EQ(o.faults[1].kind, FaultSpec::monoflop_stuck_1);
    EXPECT_EQ(ok({"--fault=readback-stuck-1"}).faults.at(0).kind, FaultSpec::readback_stuck_1);
    EXPECT_EQ(ok({"--fault", "monoflop-stuck-0"}).faults.at(0).kind, FaultSpec::monoflop_stuck_0);
    // One line cannot be stuck two ways at once.
    EXPECT_NE(refused({"--fault", "readback-stuck-0", "--fault", "readback-stuck-1"})
                  .find("readback-stuck-1"),
              std::string::npos);
    EXPECT_NE(
        refused({"--fault", "monoflop-stuck-1", "--fault", "monoflop-stuck-1"}).find("monoflop"),
        std::string::npos);
    EXPECT_NE(refused({"--fault", "readback-stuck-0:1"}).find("readback-stuck-0:1"),
              std::string::npos);
}

TEST(SimOptions, CellFaultsTakeHexOrDecimal) {
    const SimOptions o = ok({"--chip", "2764", "--fault", "weak-cell:0x1FFF:7", "--fault",
                             "stuck-cell:100:0xA5", "--fault", "weak-cells:12:4:0xDEADBEEF"});
    ASSERT_EQ(o.faults.size(), 3u);
    EXPECT_EQ(o.faults[0].kind, FaultSpec::weak_cell);
    EXPECT_EQ(o.faults[0].address, 0x1FFFu);
    EXPECT_EQ(o.faults[0].pulses, 7u);
    EXPECT_EQ(o.faults[1].kind, FaultSpec::stuck_cell);
    EXPECT_EQ(o.faults[1].address, 100u);
    EXPECT_EQ(o.faults[1].value, 0xA5);
    EXPECT_EQ(o.faults[2].kind, FaultSpec::weak_cells);
    EXPECT_EQ(o.faults[2].percent, 12u);
    EXPECT_EQ(o.faults[2].pulses, 4u);
    EXPECT_EQ(o.faults[2].seed, 0xDEADBEEFu);
    EXPECT_EQ(ok({"--fault", "stuck-cell:0X10:255"}).faults.at(0).value, 255);
}

TEST(SimOptions, CellAddressesAreCheckedAgainstTheChipGivenAnywhere) {
    // The last cell of the chip is fine, the next one is not, whichever order the options
    // come in.
    ok({"--chip", "2716", "--fault", "stuck-cell:0x7FF:0"});
    ok({"--fault", "stuck-cell:0x7FF:0", "--chip", "2716"});
    std::string e = refused({"--fault", "stuck-cell:0x800:0", "--chip", "2716"});
    EXPECT_NE(e.find("stuck-cell:0x800:0"), std::string::npos) << e;
    EXPECT_NE(e.find("2716"), std::string::npos) << e;
    e = refused({"--chip", "27C16", "--fault", "weak-cell:2048:3"});
    EXPECT_NE(e.find("weak-cell:2048:3"), std::string::npos) << e;
    // The default chip, a 27512.
    ok({"--fault", "weak-cell:0xFFFF:3"});
    EXPECT_NE(refused({"--fault", "weak-cell:0x10000:3"}).find("0x10000"), std::string::npos);
    ok({"--chip", "27040", "--fault", "stuck-cell:0x7FFFF:1"});
    refused({"--chip", "27040", "--fault", "stuck-cell:0x80000:1"});
}

// The faults that show an untrustworthy read: what each sets up, and the refusals that need
// the chip in the socket or the other faults of the line.
TEST(SimOptions, FlakyCellsAndOpenLines) {
    const SimOptions o = ok({"--chip", "27C010", "--fault", "flaky-cell:0x1FFFF:0x81:40", "--fault",
                             "open-address:16", "--fault", "open-data:7:1"});
    ASSERT_EQ(o.faults.size(), 3u);
    const FaultSpec &flaky = o.faults[0], &address = o.faults[1], &data = o.faults[2];
    EXPECT_TRUE(flaky.kind == FaultSpec::flaky_cell && flaky.address == 0x1FFFF &&
                flaky.mask == 0x81 && flaky.percent == 40);
    EXPECT_TRUE(address.kind == FaultSpec::open_address && address.line == 16);
    EXPECT_TRUE(data.kind == FaultSpec::open_data && data.line == 7 && data.value == 1);
    EXPECT_EQ(ok({"--no-chip", "--fault", "open-data:0:0"}).faults.size(), 1u);
    const struct {
        std::initializer_list<const char*> args;
        const char* error;
    } cases[] = {
        {{"--fault", "open-address:16"},
         "--fault 'open-address:16': no address pin of the 27C512 (it has A0 to A15)"},
        {{"--chip", "2764", "--fault", "open-address:13"},
         "--fault 'open-address:13': no address pin of the 2764 (it has A0 to A12)"},
        {{"--no-chip", "--fault", "open-address:0"},
         "--fault 'open-address:0' needs a chip in the socket, not --no-chip"},
        {{"--fault", "open-address:3", "--fault", "open-address:3"},
         "--fault 'open-address:3': address line A3 has a fault already"},
        {{"--fault", "open-data:2:0", "--fault", "open-data:2:1"},
         "--fault 'open-data:2:1': data line D2 has a fault already"},
    };
    for (const auto& c : cases) {
        const ParsedOptions p = parse(c.args);
        EXPECT_FALSE(p.ok());
        EXPECT_EQ(p.error, c.error);
    }
}

TEST(SimOptions, MalformedFaultsAreRefusedNamingThem) {
    for (const char* bad : {"weak-cell",          "weak-cell:10",         "weak-cell:10:0",
                            "weak-cell:10:256",   "weak-cell:x:3",        "weak-cell:10:3:4",
                            "stuck-cell:10",      "stuck-cell:10:256",    "stuck-cell:10:-1",
                            "stuck-cell::1",      "weak-cells:101:3:1",   "weak-cells:10:1:1",
                            "weak-cells:10:3",    "weak-cells:10:3:seed", "monoflop-stuck",
                            "readback-stuck-2",   "cell-stuck:1:1",       "",
                            "weak-cell:0x:3",     "stuck-cell:1:0x1FF",   "flaky-cell:1:0:50",
                            "flaky-cell:1:1:101", "flaky-cell:1:1",       "open-address:19",
                            "open-data:8:0",      "open-data:1:2",        "open-data:1"}) {
        const std::string e = refused({"--fault", bad});
        EXPECT_NE(e.find(std::string("'") + bad + "'"), std::string::npos) << bad << ": " << e;
        EXPECT_NE(e.find("fault"), std::string::npos) << e;
    }
    EXPECT_NE(refused({"--fault"}).find("--fault"), std::string::npos);
}

TEST(SimOptions, TraceChipFileStatsHelp) {
    SimOptions o = ok({"--trace", "run.vcd", "--chip-file=chip.bin", "--stats"});
    EXPECT_EQ(o.trace_path, "run.vcd");
    EXPECT_EQ(o.chip_file, "chip.bin");
    EXPECT_TRUE(o.stats);
    EXPECT_TRUE(ok({"--help"}).help);
    EXPECT_TRUE(ok({"-h"}).help);
    EXPECT_NE(refused({"--trace"}).find("--trace"), std::string::npos);
    EXPECT_NE(refused({"--trace="}).find("--trace"), std::string::npos);
    EXPECT_NE(refused({"--chip-file"}).find("--chip-file"), std::string::npos);
    EXPECT_NE(refused({"--stats=1"}).find("--stats"), std::string::npos);
    EXPECT_NE(refused({"--help=me"}).find("--help"), std::string::npos);
}

TEST(SimOptions, UnknownOptionsAndArgumentsAreNamed) {
    EXPECT_NE(refused({"--bogus"}).find("'--bogus'"), std::string::npos);
    EXPECT_NE(refused({"--chips", "2764"}).find("'--chips'"), std::string::npos);
    EXPECT_NE(refused({"-x"}).find("'-x'"), std::string::npos);
    EXPECT_NE(refused({"--stats", "extra"}).find("'extra'"), std::string::npos);
    EXPECT_NE(refused({"--bogus=1"}).find("'--bogus'"), std::string::npos);
    // The first bad option is the one named, even with good ones after it.
    const std::string e = refused({"--stats", "--nope", "--chip", "2764"});
    EXPECT_NE(e.find("'--nope'"), std::string::npos) << e;
}

// Options that share the command line with the bench's (the job options in vantrel-sim,
// the fake devices in the harness): each of their words reaches their taker as given, in
// order, even after a bad bench option; their taker's refusal ends the parse at once and
// comes before any bench error.
TEST(SimOptions, OtherOptionsShareTheLine) {
    enum { DEV = 0x400, FLAG };
    static const option TABLE[] = {{"dev", required_argument, nullptr, DEV},
                                   {"flag", no_argument, nullptr, FLAG},
                                   {nullptr, 0, nullptr, 0}};
    const struct {
        std::vector<const char*> args;
        std::string taken; // "name=value;" per word taken, "name;" without a value
        bool refused;      // by the other taker
        std::string error; // the bench's, when not refused
    } cases[] = {
        {{"-d", "x", "--dev", "y", "--dev=z", "--flag"}, "-d=x;--dev=y;--dev=z;--flag;", false, ""},
        {{"--flag=1", "--dev", "--stats"}, "--flag=1;--dev=--stats;", false, ""},
        {{"--dev"}, "--dev;", false, ""},
        {{"-d"}, "-d;", false, ""},
        {{"--chip", "2764", "--dev", "a", "--stats"}, "--dev=a;", false, ""},
        // A bench error is named once every other option has been taken.
        {{"--bogus", "--dev", "a", "--pulse", "0", "-d", "b"},
         "--dev=a;-d=b;",
         false,
         "unknown option '--bogus'"},
        {{"--pulse", "0", "--nope", "--dev", "a"},
         "--dev=a;",
         false,
         "--pulse '0': expected a positive number of port accesses"},
        {{"--no-chip", "--chip", "2716", "--dev", "a"},
         "--dev=a;",
         false,
         "--chip and --no-chip exclude each other"},
        // A bench error before the taker's refusal is the one named; the refusal ends the parse.
        {{"--bogus", "--dev", "bad", "--dev", "a"},
         "--dev=bad;",
         false,
         "unknown option '--bogus'"},
        {{"--dev", "bad", "--bogus", "--dev", "a"}, "--dev=bad;", true, ""},
        // Abbreviations and run-together short options are none of theirs.
        {{"--de", "a"}, "", false, "unknown option '--de'"},
        {{"-dx"}, "", false, "unknown option '-dx'"},
        {{"--", "--dev", "a"}, "--dev=a;", false, "unknown option '--'"},
    };
    for (const auto& c : cases) {
        std::string taken;
        vsim::OtherOptions other;
        other.table = TABLE;
        other.short_options = "d:";
        other.take = [&](const CmdWord& w) {
            if (w.code != DEV && w.code != 'd' && w.code != FLAG)
                return 0;
            taken += std::string(w.name) + (w.value ? std::string("=") + w.value : "") + ";";
            return w.value && std::string(w.value) == "bad" ? -1 : 1;
        };
        std::vector<const char*> argv{"vantrel-sim"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const ParsedOptions p =
            vsim::parse_sim_options(static_cast<int>(argv.size()), argv.data(), other);
        const std::string line = testing::PrintToString(c.args);
        EXPECT_EQ(taken, c.taken) << line;
        EXPECT_EQ(p.other_refused, c.refused) << line;
        EXPECT_EQ(p.error, c.error) << line;
        EXPECT_EQ(p.ok(), !c.refused && c.error.empty()) << line;
    }
}

// The harness reads its bench from a list of words, as the command line's.
TEST(SimOptions, WordsAsACommandLine) {
    ParsedOptions p = vsim::parse_sim_words({"--chip", "2764", "--pulse=7", "--stats"});
    ASSERT_TRUE(p.ok()) << p.error;
    EXPECT_EQ(p.options->chip->type, T2764);
    EXPECT_EQ(p.options->pulse_ticks, 7u);
    EXPECT_TRUE(p.options->stats);
    EXPECT_TRUE(vsim::parse_sim_words({}).ok());
    p = vsim::parse_sim_words({"--stats", "extra"});
    EXPECT_EQ(p.error, "unexpected argument 'extra' (vantrel-sim takes options only)");
}

TEST(SimOptions, UsageNamesEveryOptionAndFault) {
    const std::string u = vsim::sim_usage();
    EXPECT_EQ(u.rfind("Usage: vantrel-sim", 0), 0u);
    for (const char* word :
         {"--chip PART", "--no-chip", "--chip-file PATH", "--board-port", "--pulse TICKS",
          "--fault FAULT", "--trace PATH", "--stats", "--help", "readback-stuck-0",
          "readback-stuck-1", "monoflop-stuck-0", "monoflop-stuck-1", "weak-cell:ADDR:K",
          "stuck-cell:ADDR:VALUE", "weak-cells:PERCENT:K:SEED", "0x278", "0x3BC", "none"})
        EXPECT_NE(u.find(word), std::string::npos) << word;
    for (const char* word : {"flaky-cell:ADDR:MASK:PERCENT", "open-address:N", "open-data:N:LEVEL"})
        EXPECT_NE(u.find(word), std::string::npos) << word;
}

// ---- --stats ---------------------------------------------------------------------------

TEST(SimStats, CountsOfAFreshBoard) {
    vsim::Board b;
    EXPECT_EQ(vsim::format_stats(b), "vantrel-sim statistics\n"
                                     "port accesses: 0 (reads 0, writes 0)\n"
                                     "transfers: address register 0, IC5 0, IC4 0\n"
                                     "load pulses: 0\n"
                                     "program pulses: 0 triggered, 0 effective, 0 without "
                                     "effect\n"
                                     "bus time at 1 us/access: 0.000000 s\n"
                                     "board at exit: IC4 0x00, programming voltage off, "
                                     "chip SELECTED, supply 6.25 V\n"
                                     "protocol violations: 0\n"
                                     "hazards: 0\n");
}

TEST(SimStats, CountsTransfersPulsesAndViolations) {
    vsim::Board b;
    ASSERT_EQ(b.ioperm(0x378, 3, 1), 0);
    // One IC4 transfer of 0x01 (a rising trigger edge), then a load pulse, by hand.
    auto put_ic4 = [&](uint8_t v) {
        b.outb(0x1A, 0x378);
        for (int bit = 7; bit >= 0; --bit) {
            const uint8_t d = (v >> bit) & 1;
            b.outb(static_cast<uint8_t>(0x1A | d), 0x378);
            b.outb(static_cast<uint8_t>(0x18 | d), 0x378);
        }
        b.outb(0x1A, 0x378);
        b.outb(0x0A, 0x378);
    };
    put_ic4(0x01);
    b.outb(0x0E, 0x378);
    b.outb(0x0C, 0x378);
    b.outb(0x0E, 0x378);
    for (int i = 0; i < 150; ++i)
        (void)b.inb(0x379);
    // A port that is no parallel port's data register: each write is a protocol violation,
    // 205 of them, of which the model keeps the first 200 texts.
    ASSERT_EQ(b.ioperm(0x2F8, 1, 1), 0);
    for (int i = 0; i < 205; ++i)
        b.outb(0x12, 0x2F8);
    const std::string s = vsim::format_stats(b);
    const uint64_t writes = 19 + 3 + 205;
    const uint64_t all = writes + 150;
    EXPECT_NE(s.find("port accesses: " + std::to_string(all) + " (reads 150, writes " +
                     std::to_string(writes) + ")\n"),
              std::string::npos)
        << s;
    EXPECT_NE(s.find("transfers: address register 0, IC5 0, IC4 1\n"), std::string::npos) << s;
    EXPECT_NE(s.find("board at exit: IC4 0x01,"), std::string::npos) << s;
    EXPECT_NE(s.find("load pulses: 1\n"), std::string::npos) << s;
    // The pulse ran out without programming voltage: triggered, without effect.
    EXPECT_NE(s.find("program pulses: 1 triggered, 0 effective, 1 without effect\n"),
              std::string::npos)
        << s;
    EXPECT_NE(s.find("bus time at 1 us/access: 0.000" + std::to_string(all) + " s\n"),
              std::string::npos)
        << s;
    EXPECT_NE(s.find("protocol violations: 205\n  write of 0x12 to port 0x2F8, which is no data "
                     "register\n"),
              std::string::npos)
        << s;
    EXPECT_NE(s.find("  ... and 5 more\nhazards: 0\n"), std::string::npos) << s;
}

TEST(SimStats, BusTimeInSecondsAndMicroseconds) {
    vsim::Board b;
    ASSERT_EQ(b.ioperm(0x378, 3, 1), 0);
    for (int i = 0; i < 1234567; ++i)
        (void)b.inb(0x379);
    EXPECT_NE(vsim::format_stats(b).find("bus time at 1 us/access: 1.234567 s\n"),
              std::string::npos);
}

} // namespace
