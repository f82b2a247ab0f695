// The VCD trace of the wire. A strict reader of the VCD grammar (IEEE 1364, section 18:
// header sections, $var declarations, $enddefinitions, time marks strictly increasing,
// value changes of declared identifiers only) checks every dump, and the dumped values are
// held against what the board's own trace recorded access by access. Where GTKWave or
// sigrok-cli is installed, they load the dump too and must see the same signals.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "eprom/misc.h"
#include "link/hw.h"
#include "sim/model/board.h"
#include "sim/model/vcd_trace.h"
#include "tests/support/wire.h"

namespace {

// ---- A strict VCD reader -----------------------------------------------------------------

struct Vcd {
    struct Var {
        std::string type;
        unsigned width = 0;
        std::string id;
        std::string ref; // reference with its bit select, as declared ("ic4[7]")
    };
    std::string timescale; // "1us"
    std::vector<std::string> scopes;
    std::vector<Var> vars;
    std::map<std::string, size_t> by_ref, by_id;
    // Per variable: (time, value) of each change, the initial dump first.
    std::vector<std::vector<std::pair<uint64_t, std::string>>> changes;
    std::vector<uint64_t> marks; // every time mark, in order
    uint64_t dump_time = 0;      // time of $dumpvars

    bool has(const std::string& ref) const { return by_ref.count(ref) != 0; }
    // Value of a declared variable at time t (its last change at or before t).
    std::string at(const std::string& ref, uint64_t t) const {
        const auto it = by_ref.find(ref);
        if (it == by_ref.end())
            return "?";
        std::string v = "?";
        for (const auto& c : changes[it->second]) {
            if (c.first > t)
                break;
            v = c.second;
        }
        return v;
    }
    bool bit(const std::string& ref, uint64_t t) const { return at(ref, t) == "1"; }
    // A bus written bit by bit as name[width-1] .. name[0].
    uint32_t bus(const std::string& name, unsigned width, uint64_t t) const {
        uint32_t v = 0;
        for (unsigned i = 0; i < width; ++i)
            v |= uint32_t{bit(name + "[" + std::to_string(i) + "]", t)} << i;
        return v;
    }
    // The times at which any bit of the bus changed, the initial dump included.
    std::vector<uint64_t> bus_change_times(const std::string& name, unsigned width) const {
        std::set<uint64_t> s;
        for (unsigned i = 0; i < width; ++i)
            for (const auto& c : changes[by_ref.at(name + "[" + std::to_string(i) + "]")])
                s.insert(c.first);
        return {s.begin(), s.end()};
    }
};

std::vector<std::string> tokens_of(const std::string& text) {
    std::vector<std::string> t;
    std::istringstream in(text);
    std::string w;
    while (in >> w)
        t.push_back(w);
    return t;
}

bool all_digits(const std::string& s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

bool is_identifier_code(const std::string& s) {
    if (s.empty())
        return false;
    for (const char c : s)
        if (c < 33 || c > 126)
            return false;
    return true;
}

// A reference: an identifier, optionally followed by [bit] or [msb:lsb].
bool is_reference(const std::string& s) {
    const size_t br = s.find('[');
    const std::string name = s.substr(0, br);
    if (name.empty() || !(std::isalpha((unsigned char)name[0]) || name[0] == '_'))
        return false;
    for (const char c : name)
        if (!(std::isalnum((unsigned char)c) || c == '_' || c == '$'))
            return false;
    if (br == std::string::npos)
        return true;
    if (s.back() != ']')
        return false;
    const std::string inner = s.substr(br + 1, s.size() - br - 2);
    const size_t colon = inner.find(':');
    if (colon == std::string::npos)
        return all_digits(inner);
    return all_digits(inner.substr(0, colon)) && all_digits(inner.substr(colon + 1));
}

// Reads `text`; "" when it is a valid VCD, else what is wrong. Beyond the grammar it
// insists on what this writer promises: unique identifier codes and references, an
// initial $dumpvars giving every variable a value, and no change that repeats the value a
// variable already has.
std::string read_vcd(const std::string& text, Vcd* out) {
    Vcd v;
    const std::vector<std::string> t = tokens_of(text);
    size_t i = 0;
    auto until_end = [&](std::vector<std::string>* body) -> bool {
        for (++i; i < t.size(); ++i) {
            if (t[i] == "$end")
                return true;
            if (body)
                body->push_back(t[i]);
        }
        return false;
    };
    static const std::set<std::string> VAR_TYPES = {
        "event", "integer", "parameter", "real",   "realtime", "reg",  "supply0", "supply1", "time",
        "tri",   "triand",  "trior",     "trireg", "tri0",     "tri1", "wand",    "wire",    "wor"};
    static const std::set<std::string> SCOPE_TYPES = {"begin", "fork", "function", "module",
                                                      "task"};
    int depth = 0;
    bool definitions_ended = false;
    for (; i < t.size() && !definitions_ended; ++i) {
        const std::string& k = t[i];
        std::vector<std::string> body;
        if (k == "$date" || k == "$version" || k == "$comment") {
            if (!until_end(nullptr))
                return k + " without $end";
        } else if (k == "$timescale") {
            if (!until_end(&body))
                return "$timescale without $end";
            std::string ts;
            for (const auto& b : body)
                ts += b;
            const size_t unit = ts.find_first_not_of("0123456789");
            const std::string num = ts.substr(0, unit);
            const std::string u = unit == std::string::npos ? "" : ts.substr(unit);
            if ((num != "1" && num != "10" && num != "100") ||
                !(u == "s" || u == "ms" || u == "us" || u == "ns" || u == "ps" || u == "fs"))
                return "bad $timescale '" + ts + "'";
            v.timescale = ts;
        } else if (k == "$scope") {
            if (!until_end(&body) || body.size() != 2 || !SCOPE_TYPES.count(body[0]))
                return "bad $scope";
            v.scopes.push_back(body[1]);
            ++depth;
        } else if (k == "$upscope") {
            if (!until_end(&body) || !body.empty() || depth == 0)
                return "bad $upscope";
            --depth;
        } else if (k == "$var") {
            if (!until_end(&body) || (body.size() != 4 && body.size() != 5))
                return "bad $var";
            if (depth == 0)
                return "$var outside a scope";
            Vcd::Var var;
            var.type = body[0];
            if (!VAR_TYPES.count(var.type))
                return "bad var type '" + var.type + "'";
            if (!all_digits(body[1]) || std::stoul(body[1]) == 0)
                return "bad var size '" + body[1] + "'";
            var.width = static_cast<unsigned>(std::stoul(body[1]));
            var.id = body[2];
            if (!is_identifier_code(var.id))
                return "bad identifier code";
            var.ref = body.size() == 5 ? body[3] + body[4] : body[3];
            if (!is_reference(var.ref))
                return "bad reference '" + var.ref + "'";
            if (v.by_id.count(var.id) || v.by_ref.count(var.ref))
                return "declared twice: " + var.ref;
            v.by_id[var.id] = v.vars.size();
            v.by_ref[var.ref] = v.vars.size();
            v.vars.push_back(var);
        } else if (k == "$enddefinitions") {
            if (!until_end(&body) || !body.empty())
                return "bad $enddefinitions";
            definitions_ended = true;
        } else {
            return "unexpected '" + k + "' in the header";
        }
    }
    if (!definitions_ended)
        return "no $enddefinitions";
    if (depth != 0)
        return "unbalanced $scope";
    if (v.timescale.empty())
        return "no $timescale";
    v.changes.resize(v.vars.size());

    bool have_time = false, in_dump = false, dumped = false;
    uint64_t now = 0;
    auto change = [&](const std::string& id, const std::string& value) -> std::string {
        const auto it = v.by_id.find(id);
        if (it == v.by_id.end())
            return "value change of undeclared identifier '" + id + "'";
        if (!have_time)
            return "value change before the first time mark";
        const Vcd::Var& var = v.vars[it->second];
        if (value.size() > var.width)
            return "value wider than " + var.ref;
        auto& list = v.changes[it->second];
        if (!in_dump && !list.empty() && list.back().second == value)
            return "change of " + var.ref + " to the value it has, at #" + std::to_string(now);
        if (!list.empty() && list.back().first == now)
            return "two changes of " + var.ref + " at #" + std::to_string(now);
        list.emplace_back(now, value);
        return "";
    };
    for (; i < t.size(); ++i) {
        const std::string& k = t[i];
        if (k[0] == '#') {
            const std::string num = k.substr(1);
            if (!all_digits(num))
                return "bad time mark '" + k + "'";
            const uint64_t tm = std::stoull(num);
            if (have_time && tm <= now)
                return "time mark " + k + " not after #" + std::to_string(now);
            if (in_dump)
                return "time mark inside $dumpvars";
            now = tm;
            have_time = true;
            v.marks.push_back(tm);
        } else if (k == "$dumpvars" || k == "$dumpall" || k == "$dumpon" || k == "$dumpoff") {
            if (in_dump)
                return "nested " + k;
            if (!have_time)
                return k + " before the first time mark";
            in_dump = true;
            if (k == "$dumpvars") {
                if (dumped)
                    return "second $dumpvars";
                dumped = true;
                v.dump_time = now;
            }
        } else if (k == "$end") {
            if (!in_dump)
                return "stray $end";
            in_dump = false;
        } else if (k == "$comment") {
            if (!until_end(nullptr))
                return "$comment without $end";
        } else if (std::string("01xXzZ").find(k[0]) != std::string::npos) {
            const auto it = v.by_id.find(k.substr(1));
            if (it != v.by_id.end() && v.vars[it->second].width != 1)
                return "scalar change of vector " + v.vars[it->second].ref;
            const std::string e = change(k.substr(1), k.substr(0, 1));
            if (!e.empty())
                return e;
        } else if (k[0] == 'b' || k[0] == 'B') {
            const std::string bits = k.substr(1);
            if (bits.empty() || bits.find_first_not_of("01xXzZ") != std::string::npos)
                return "bad vector value '" + k + "'";
            if (++i >= t.size())
                return "vector value without identifier";
            const std::string e = change(t[i], bits);
            if (!e.empty())
                return e;
        } else if (k[0] == 'r' || k[0] == 'R') {
            if (++i >= t.size())
                return "real value without identifier";
            const std::string e = change(t[i], k.substr(1));
            if (!e.empty())
                return e;
        } else {
            return "unexpected '" + k + "' among the value changes";
        }
    }
    if (in_dump)
        return "$dumpvars without $end";
    if (!dumped)
        return "no $dumpvars";
    for (size_t n = 0; n < v.vars.size(); ++n)
        if (v.changes[n].empty() || v.changes[n].front().first != v.dump_time)
            return "no initial value for " + v.vars[n].ref;
    *out = std::move(v);
    return "";
}

std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

// A directory of its own for each test process, removed when the process ends.
struct ScratchDir {
    std::string path;
    ScratchDir() {
        char tmpl[] = "/tmp/vantrel-vcd-XXXXXX";
        path = mkdtemp(tmpl) ? tmpl : "";
    }
    ~ScratchDir() {
        if (!path.empty())
            (void)std::system(("rm -rf '" + path + "'").c_str());
    }
};

std::string scratch(const std::string& name) {
    static const ScratchDir dir;
    return dir.path + "/" + name;
}

bool have_program(const char* name) {
    const std::string cmd = std::string("command -v ") + name + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

std::string run_capture(const std::string& cmd) {
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[65536];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        pclose(p);
    }
    return out;
}

const char* const GOOD = "$date today $end\n"
                         "$timescale 1 us $end\n"
                         "$scope module top $end\n"
                         "$var wire 1 A a $end\n"
                         "$var wire 4 B bus [3:0] $end\n"
                         "$upscope $end\n"
                         "$enddefinitions $end\n"
                         "#0\n$dumpvars\n0A\nb0000 B\n$end\n"
                         "#3\n1A\n"
                         "#7\nb101 B\n0A\n"
                         "#9\n";

// ---- The reader itself: it must tell a broken dump from a good one ------------------------

TEST(VcdReader, AcceptsAGoodDumpAndReadsItsValues) {
    Vcd v;
    ASSERT_EQ(read_vcd(GOOD, &v), "");
    EXPECT_EQ(v.timescale, "1us");
    ASSERT_EQ(v.vars.size(), 2u);
    EXPECT_EQ(v.vars[1].ref, "bus[3:0]");
    EXPECT_EQ(v.at("a", 2), "0");
    EXPECT_EQ(v.at("a", 3), "1");
    EXPECT_EQ(v.at("a", 8), "0");
    EXPECT_EQ(v.at("bus[3:0]", 7), "101");
    EXPECT_EQ(v.marks, (std::vector<uint64_t>{0, 3, 7, 9}));
}

TEST(VcdReader, RejectsBrokenDumps) {
    const std::string good = GOOD;
    auto with = [&](const std::string& from, const std::string& to) {
        std::string s = good;
        const size_t at = s.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return s.replace(at, from.size(), to);
    };
    const struct {
        std::string text;
        const char* why;
    } cases[] = {
        {with("$enddefinitions $end\n", ""), "in the header"},
        {with(
             "$enddefinitions $end\n#0\n$dumpvars\n0A\nb0000 B\n$end\n#3\n1A\n#7\nb101 B\n0A\n#9\n",
             ""),
         "no $enddefinitions"},
        {with("#7\n", "#3\n"), "not after"},
        {with("#7\n", "#2\n"), "not after"},
        {with("#3\n1A", "#3\n1C"), "undeclared"},
        {with("b101 B", "b101 Q"), "undeclared"},
        {with("b101 B", "b10101 B"), "wider"},
        {with("1 us", "3 us"), "timescale"},
        {with("1 us", "1 hours"), "timescale"},
        {with("$scope module top $end\n", ""), "outside a scope"},
        {with("$upscope $end\n", ""), "unbalanced"},
        {with("$var wire 1 A a $end", "$var wire 1 A a"), "$var"},
        {with("$var wire 1 A", "$var wyre 1 A"), "var type"},
        {with("$var wire 4 B bus", "$var wire 4 A bus"), "twice"},
        {with("#3\n1A", "#3\n0A"), "the value it has"},
        {with("#3\n", "#x3\n"), "time mark"},
        {with("b0000 B\n$end\n", "b0000 B\n"), "$dumpvars"},
        {with("0A\nb0000 B\n", "0A\n"), "initial value"},
        {with("#0\n$dumpvars", "$dumpvars"), "before the first time mark"},
        {with("#3\n1A", "#3\n1A\n$end"), "stray"},
        {with("1A", "1B"), "scalar change of vector"},
        {with("#7\nb101 B\n0A", "#7\nb101 B\n0A\n1A"), "two changes"},
    };
    for (const auto& c : cases) {
        Vcd v;
        const std::string e = read_vcd(c.text, &v);
        EXPECT_NE(e.find(c.why), std::string::npos)
            << "expected '" << c.why << "', got '" << e << "' for:\n"
            << c.text;
    }
}

// ---- The trace of the board ------------------------------------------------------------------

// The line signals of the dump at time t, put together as a line byte.
uint8_t line_at(const Vcd& v, uint64_t t) {
    return static_cast<uint8_t>(v.bit("data", t) | v.bit("clock", t) << 1 |
                                v.bus("select", 2, t) << 2 | v.bit("strobe", t) << 4);
}

// Consecutive repeats dropped: a register latched twice with the same byte shows no change.
template <typename T> std::vector<uint32_t> distinct_runs(uint32_t start, const std::vector<T>& h) {
    std::vector<uint32_t> v{start};
    for (const T x : h)
        if (v.back() != x)
            v.push_back(x);
    return v;
}

std::vector<uint32_t> bus_history(const Vcd& v, const std::string& name, unsigned width) {
    std::vector<uint32_t> out;
    for (const uint64_t t : v.bus_change_times(name, width)) {
        const uint32_t x = v.bus(name, width, t);
        if (out.empty() || out.back() != x)
            out.push_back(x);
    }
    return out;
}

class BoardTraceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        wire::reset_all();
        conOut = quiet_ = std::tmpfile();
    }
    void TearDown() override {
        conOut = stdout;
        if (quiet_)
            std::fclose(quiet_);
        wire::reset_all();
    }
    // Every access of the board's trace against the dump: the five lines after each write
    // to the board's port, and the two status lines as each read saw them.
    static void expect_matches_board(const Vcd& v) {
        const auto& tr = vsim::board().trace();
        ASSERT_FALSE(tr.empty());
        size_t writes = 0, reads = 0;
        for (size_t k = 0; k < tr.size(); ++k) {
            const uint64_t tick = k + 1; // the trace started with the board's counter at 0
            const vsim::PortAccess& a = tr[k];
            if (a.kind == vsim::PortAccess::write && a.port == vsim::board().base()) {
                ASSERT_EQ(line_at(v, tick), a.value & 0x1F) << "write " << k << " at #" << tick;
                ++writes;
            } else if (a.kind == vsim::PortAccess::read && a.port == vsim::board().base() + 1) {
                // The wire at the previous tick is what this read found on the status lines.
                ASSERT_EQ(v.bit("readback", tick - 1), (a.value & S6_READBACK) != 0)
                    << "read " << k << " at #" << tick;
                ASSERT_EQ(v.bit("monoflop", tick - 1), (a.value & S7_MONOFLOP) != 0)
                    << "read " << k << " at #" << tick;
                ++reads;
            }
        }
        EXPECT_GT(writes, 100u);
        EXPECT_GT(reads, 100u);
    }
    FILE* quiet_ = nullptr;
};

TEST_F(BoardTraceTest, DumpFollowsEveryAccessOfAProgrammingStep) {
    vsim::Board& b = vsim::board();
    b.insert_chip(vsim::T2764);
    b.set_monoflop_ticks(37);
    const std::string path = scratch("step.vcd");
    vsim::BoardTrace trace;
    std::string err;
    ASSERT_TRUE(trace.start(b, path, &err)) << err;
    wire::start_recording();

    // Detection's loopback, type selection, one programmed byte and a read back.
    PutData(0x55);
    EXPECT_EQ(GetDataIntern(), 0x55);
    SetICType(T2764);
    unsigned char back = 0;
    ASSERT_TRUE(Writing(back, 0x1234, 0x5A));
    EXPECT_EQ(back, 0x5A);
    adressesetzen(0x0ABC, 1);
    EnableEprom(1);
    (void)GetData();
    DisableEprom();
    ASSERT_TRUE(trace.stop(&err)) << err;

    Vcd v;
    ASSERT_EQ(read_vcd(slurp(path), &v), "");
    EXPECT_EQ(v.timescale, "1us");
    EXPECT_EQ(v.dump_time, 0u);
    EXPECT_TRUE(v.has("address[15]"));
    EXPECT_FALSE(v.has("address[16]")) << "a 2764 gets a 16-bit address bus";
    EXPECT_EQ(v.marks.back(), b.ticks() + 1);
    expect_matches_board(v);

    // Each latched register goes through the same values as the board's histories.
    EXPECT_EQ(bus_history(v, "ic4", 8), distinct_runs(0, b.ic4_history()));
    EXPECT_EQ(bus_history(v, "ic5", 8), distinct_runs(0, b.ic5_history()));
    EXPECT_EQ(bus_history(v, "address", 16), distinct_runs(0, b.address_history()));
    const uint64_t end = b.ticks();
    EXPECT_EQ(v.bus("ic4", 8, end), b.ic4());
    EXPECT_EQ(v.bus("ic5", 8, end), b.ic5());
    EXPECT_EQ(v.bus("address", 16, end), b.address_lines());

    // The monoflop pulse: exactly as long as the board was told, starting at the access
    // that latched the trigger bit.
    EXPECT_EQ(b.triggers(), 1u);
    const auto& mf = v.changes[v.by_ref.at("monoflop")];
    ASSERT_EQ(mf.size(), 3u);
    EXPECT_EQ(mf[1].second, "1");
    EXPECT_EQ(mf[2].first - mf[1].first, 37u);
    EXPECT_EQ(v.bus("ic4", 8, mf[1].first) & IC4Q0_TRIGGER, IC4Q0_TRIGGER);
    EXPECT_EQ(v.bus("ic4", 8, mf[1].first - 1) & IC4Q0_TRIGGER, 0u);
}

TEST_F(BoardTraceTest, BigChipGetsNineteenAddressLines) {
    vsim::Board& b = vsim::board();
    b.insert_chip(vsim::T27040);
    const std::string path = scratch("big.vcd");
    vsim::BoardTrace trace;
    std::string err;
    ASSERT_TRUE(trace.start(b, path, &err)) << err;
    SetICType(T27040);
    adressesetzen(0x54321, 1);
    ASSERT_TRUE(trace.stop(&err)) << err;
    Vcd v;
    ASSERT_EQ(read_vcd(slurp(path), &v), "");
    EXPECT_TRUE(v.has("address[18]"));
    EXPECT_FALSE(v.has("address[19]"));
    EXPECT_EQ(v.bus("address", 19, b.ticks()), 0x54321u);
    EXPECT_EQ(b.address_lines(), 0x54321u);
}

TEST_F(BoardTraceTest, SmallBufferStreamsALongRunUnchanged) {
    // The same accesses through the smallest buffer and the default one give the same file.
    vsim::Board& b = vsim::board();
    auto run = [&](size_t buffer) {
        wire::reset_all();
        conOut = quiet_;
        b.insert_chip(vsim::T27256);
        vsim::BoardTrace trace(buffer);
        std::string err;
        const std::string path = scratch("buf" + std::to_string(buffer) + ".vcd");
        EXPECT_TRUE(trace.start(b, path, &err)) << err;
        SetICType(T27256);
        EnableEprom(1);
        for (unsigned a = 0; a < 300; ++a) {
            adressesetzen(a, 1);
            (void)GetData();
        }
        EXPECT_TRUE(trace.stop(&err)) << err;
        return slurp(path);
    };
    const std::string small = run(1);
    const std::string big = run(vsim::VcdWriter::DEFAULT_BUFFER);
    ASSERT_GT(small.size(), 40000u) << "the run must overflow the small buffer several times";
    // Only the $date line may differ.
    auto body = [](const std::string& s) { return s.substr(s.find("$version")); };
    EXPECT_EQ(body(small), body(big));
    Vcd v;
    EXPECT_EQ(read_vcd(small, &v), "");
    EXPECT_EQ(v.bus("address", 16, v.marks.back()), 299u);
}

TEST_F(BoardTraceTest, UnwritableTraceIsRefused) {
    vsim::BoardTrace trace;
    std::string err;
    EXPECT_FALSE(trace.start(vsim::board(), "/nonexistent-dir/x.vcd", &err));
    EXPECT_NE(err.find("/nonexistent-dir/x.vcd"), std::string::npos) << err;
    EXPECT_FALSE(trace.running());
}

// ---- A whole session of vantrel-sim, and the viewers ----------------------------------------

class SimSessionTrace : public ::testing::Test {
  protected:
    // Reads 0..0x3F of a 27C64 holding a pattern, with the trace on.
    static void SetUpTestSuite() {
        path_ = new std::string(scratch("session.vcd"));
        const std::string chip = scratch("session-chip.bin");
        {
            std::ofstream f(chip, std::ios::binary);
            for (int i = 0; i < 0x2000; ++i)
                f.put(static_cast<char>(i * 13));
        }
        const std::string cmd = "printf '1\\n8\\nr\\n3f\\n\\nq\\n' | timeout 60 " +
                                std::string(VANTREL_SIM_BINARY) + " --chip 2764 --chip-file " +
                                chip + " --trace " + *path_ + " >/dev/null 2>&1";
        status_ = std::system(cmd.c_str());
        text_ = new std::string(slurp(*path_));
        vcd_ = new Vcd;
        error_ = new std::string(read_vcd(*text_, vcd_));
    }
    static void TearDownTestSuite() {
        delete path_;
        delete text_;
        delete vcd_;
        delete error_;
    }
    static std::string* path_;
    static std::string* text_;
    static std::string* error_;
    static Vcd* vcd_;
    static int status_;
};
std::string* SimSessionTrace::path_;
std::string* SimSessionTrace::text_;
std::string* SimSessionTrace::error_;
Vcd* SimSessionTrace::vcd_;
int SimSessionTrace::status_;

TEST_F(SimSessionTrace, IsAValidDumpOfTheRead) {
    ASSERT_TRUE(WIFEXITED(status_));
    EXPECT_EQ(WEXITSTATUS(status_), 1); // the exit command
    ASSERT_EQ(*error_, "");
    const Vcd& v = *vcd_;
    EXPECT_EQ(v.scopes, std::vector<std::string>{"vantrel_ii"});
    for (const char* ref :
         {"data", "clock", "select[1]", "select[0]", "strobe", "readback", "monoflop", "ic4[7]",
          "ic4[0]", "ic5[7]", "ic5[0]", "address[15]", "address[0]"})
        EXPECT_TRUE(v.has(ref)) << ref;
    EXPECT_EQ(v.vars.size(), 7u + 8 + 8 + 16);
    // The socket wired for the 2764 and the last address read; A14 stays high while the
    // 2764 is read, since that line is its program strobe.
    const uint64_t end = v.marks.back();
    EXPECT_EQ(v.bus("ic5", 8, end) & IC5Q37_WIRING, WIRING_2764_27256);
    EXPECT_EQ(v.bus("address", 16, end), 0x403Fu);
    // Each address 0..0x3F was on the chip's pins once, in order.
    const std::vector<uint64_t> times = v.bus_change_times("address", 16);
    std::vector<uint32_t> seen;
    for (const uint64_t t : times)
        seen.push_back(v.bus("address", 16, t) & 0x1FFF);
    std::vector<uint32_t> want{0};
    for (uint32_t a = 1; a <= 0x3F; ++a)
        want.push_back(a);
    EXPECT_EQ(distinct_runs(0, seen), want);
}

TEST_F(SimSessionTrace, SigrokSeesTheSameSamples) {
    if (!have_program("sigrok-cli"))
        GTEST_SKIP() << "sigrok-cli is not installed (apt-get install sigrok-cli)";
    ASSERT_EQ(*error_, "");
    const Vcd& v = *vcd_;
    const std::string csv = run_capture("sigrok-cli -i " + *path_ + " -I vcd -O csv 2>/dev/null");
    std::istringstream in(csv);
    std::string line;
    std::vector<std::string> channels;
    uint64_t t = 0;
    bool header_done = false;
    size_t mismatches = 0;
    while (std::getline(in, line)) {
        if (line.rfind("; Channels", 0) == 0) {
            std::string names = line.substr(line.find(':') + 1);
            std::istringstream ns(names);
            std::string n;
            while (std::getline(ns, n, ','))
                channels.push_back(n.substr(n.find_first_not_of(' ')));
            continue;
        }
        if (line.empty() || line[0] == ';' || line.rfind("META", 0) == 0 ||
            line.rfind("logic", 0) == 0) {
            continue;
        }
        header_done = true;
        std::istringstream vs(line);
        std::string cell;
        for (size_t c = 0; std::getline(vs, cell, ','); ++c) {
            ASSERT_LT(c, channels.size());
            if (cell != v.at(channels[c], t) && ++mismatches < 5)
                ADD_FAILURE() << channels[c] << " at #" << t << ": sigrok " << cell << ", dump "
                              << v.at(channels[c], t);
        }
        ++t;
    }
    ASSERT_TRUE(header_done) << "sigrok-cli printed no samples:\n" << csv.substr(0, 500);
    EXPECT_EQ(channels.size(), v.vars.size());
    EXPECT_EQ(mismatches, 0u);
    // One sample per time unit, up to the last time mark.
    EXPECT_EQ(t, v.marks.back());
}

TEST_F(SimSessionTrace, GtkwaveJoinsTheBusesAndSeesTheSameChanges) {
    if (!have_program("gtkwave") || !have_program("xvfb-run"))
        GTEST_SKIP() << "gtkwave or xvfb-run is not installed (apt-get install gtkwave xvfb)";
    ASSERT_EQ(*error_, "");
    const Vcd& v = *vcd_;
    const std::string script = scratch("list.tcl");
    {
        std::ofstream f(script);
        f << "puts \"facs [gtkwave::getNumFacs]\"\n"
             "foreach s {clock strobe readback select ic4 ic5 address} {\n"
             "  puts \"sig $s [gtkwave::signalChangeList vantrel_ii.$s -start_time 0 -max "
             "100000000]\"\n"
             "}\n"
             "gtkwave::/File/Quit\n";
    }
    const std::string out =
        run_capture("timeout 60 xvfb-run -a gtkwave -S " + script + " " + *path_ + " 2>/dev/null");
    // GTKWave's changes as "time value" pairs up to the end of the dump (it adds marks of
    // its own past the end).
    auto gtk_changes = [&](const std::string& sig) {
        std::vector<std::pair<uint64_t, uint32_t>> list;
        const std::string key = "sig " + sig + " ";
        const size_t at = out.find(key);
        if (at == std::string::npos)
            return list;
        std::istringstream in(out.substr(at + key.size(), out.find('\n', at) - at));
        std::string tm, val;
        while (in >> tm >> val) {
            const uint64_t time = std::stoull(tm);
            if (time > v.marks.back())
                break;
            // Buses come as 0x.. or 0b.., single bits as 0 or 1.
            const bool binary = val.rfind("0b", 0) == 0;
            list.emplace_back(time, static_cast<uint32_t>(std::stoul(binary ? val.substr(2) : val,
                                                                     nullptr, binary ? 2 : 0)));
        }
        return list;
    };
    EXPECT_NE(out.find("facs " + std::to_string(v.vars.size())), std::string::npos) << out;
    for (const char* s : {"clock", "strobe", "readback"}) {
        std::vector<std::pair<uint64_t, uint32_t>> want;
        for (const auto& c : v.changes[v.by_ref.at(s)])
            want.emplace_back(c.first, c.second == "1");
        EXPECT_EQ(gtk_changes(s), want) << s;
    }
    const struct {
        const char* name;
        unsigned width;
    } buses[] = {{"select", 2}, {"ic4", 8}, {"ic5", 8}, {"address", 16}};
    for (const auto& bus : buses) {
        std::vector<std::pair<uint64_t, uint32_t>> want;
        for (const uint64_t t : v.bus_change_times(bus.name, bus.width))
            want.emplace_back(t, v.bus(bus.name, bus.width, t));
        const auto got = gtk_changes(bus.name);
        EXPECT_FALSE(got.empty()) << bus.name << " is no bus in GTKWave";
        EXPECT_EQ(got, want) << bus.name;
    }
}

} // namespace
