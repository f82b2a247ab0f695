// The model's parts table and how a name read off a chip finds its entry.
#include "sim/model/parts.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <stdexcept>

#include "sim/model/wiring.h"

namespace vsim {

namespace {

constexpr uint16_t LIMIT_CMOS = 1400; // 12.5 V parts: 14 V absolute maximum on VPP
constexpr uint16_t LIMIT_21V = 2200;  // 21 V parts: 22 V
constexpr uint16_t LIMIT_25V = 2600;  // 25 V parts and the 2708's 26 V pulses: 26 V

// The default part of each type first, in type order; then the NMOS parts whose A versions
// (the defaults) program at a lower voltage in the same socket.
constexpr ChipPart PARTS[] = {
    {"2708", T2708, TAP_25V, LIMIT_25V, false, {"2708"}},
    {"2716", T2716, TAP_25V, LIMIT_25V, false, {"2716", "27C16"}},
    {"2732A", T2732, TAP_21V, LIMIT_21V, true, {"2732A"}},
    {"27C64", T2764, TAP_12V75, LIMIT_CMOS, true, {"27C64", "2764A"}},
    {"27C128", T27128, TAP_12V75, LIMIT_CMOS, true, {"27C128", "27128A"}},
    {"27C256", T27256, TAP_12V75, LIMIT_CMOS, true, {"27C256", "27256"}},
    {"27C512", T27512, TAP_12V75, LIMIT_CMOS, true, {"27C512", "27512"}},
    {"27C010", T27010, TAP_12V75, LIMIT_CMOS, true, {"27C010", "27C1001", "27010"}},
    {"27C020", T27020, TAP_12V75, LIMIT_CMOS, true, {"27C020", "27C2001", "27020"}},
    {"27C040", T27040, TAP_12V75, LIMIT_CMOS, true, {"27C040", "27C4001", "27040"}},
    {"2732", T2732, TAP_25V, LIMIT_25V, true, {"2732"}},
    {"2764", T2764, TAP_21V, LIMIT_21V, true, {"2764"}},
    {"27128", T27128, TAP_21V, LIMIT_21V, true, {"27128"}},
};

constexpr bool defaults_in_type_order() {
    for (int t = 0; t < TicMax; ++t)
        if (PARTS[t].type != t)
            return false;
    return true;
}
static_assert(defaults_in_type_order(), "the default part of type t is PARTS[t]");

// A name that matched, with the family it names.
struct Match {
    const ChipPart* part;
    const char* pattern;
};

bool find_pattern(const std::string& core, Match* m) {
    for (const ChipPart& p : PARTS)
        for (const char* const* n = p.patterns; *n; ++n)
            if (core == *n) {
                *m = {&p, *n};
                return true;
            }
    return false;
}

// The 2732, 2764 and 27128 are NMOS parts for 21 or 25 V; an A right after their digits
// makes them the later parts for a lower voltage, which the higher one destroys.
bool has_a_version(const std::string& core) {
    return core == "2732" || core == "2764" || core == "27128";
}

// Package and temperature letters that makers print straight after the NMOS digits: Hitachi's
// G (HN482764G), Mitsubishi's K (M5L2764K), Toshiba's and NEC's D (TMM2764D), TI's J (JL).
bool package_letter(char c) {
    return c == 'D' || c == 'G' || c == 'J' || c == 'K';
}

// The names `up` may stand for. A maker's prefix is anything before the 27 (M, AM, TMS,
// HN48, M5L ...); the part is 27, a C for CMOS, the digits, and for the three NMOS parts an
// A; what follows is a die revision (B after 27C256, A after 27C010), speed, temperature or
// package code. After a 2732, 2764 or 27128 a letter other than A and the package letters
// could be a revision of the NMOS part or of its A version: both readings count.
// `first_core` gets the first text that reads as a part, known or not, to find the closest
// names; `prefix` the maker's prefix before it.
std::vector<std::string> readings(const std::string& up, std::string* first_core,
                                  std::string* prefix) {
    std::vector<std::string> cores;
    for (size_t s = up.find("27"); s != std::string::npos; s = up.find("27", s + 1)) {
        if (!std::all_of(up.begin(), up.begin() + static_cast<std::ptrdiff_t>(s),
                         [](char c) { return std::isalnum(static_cast<unsigned char>(c)); }))
            break; // the prefix ends at the first '-', '/' or blank
        size_t i = s + 2;
        if (i < up.size() && up[i] == 'C')
            ++i;
        size_t j = i;
        while (j < up.size() && std::isdigit(static_cast<unsigned char>(up[j])))
            ++j;
        if (j == i)
            continue;
        const std::string core = up.substr(s, j - s);
        const char next = j < up.size() ? up[j] : '\0';
        if (has_a_version(core) && next == 'A') {
            cores.push_back(core + "A");
        } else {
            cores.push_back(core);
            if (has_a_version(core) && std::isalpha(static_cast<unsigned char>(next)) &&
                !package_letter(next))
                cores.push_back(core + "A");
        }
        if (first_core->empty()) {
            *first_core = cores.back();
            *prefix = up.substr(0, s);
        }
    }
    return cores;
}

// Chips that look like the model's parts but are not UV EPROMs for its 32-pin socket: what
// they are, or "" for a name of none of them. `core` is the first reading of the name after
// its prefix `prefix`.
std::string other_family(const std::string& up, const std::string& prefix,
                         const std::string& core) {
    const std::string body = up.substr(0, up.find_first_of("-/ "));
    const size_t digit = body.find_first_of("0123456789");
    const std::string rest = digit == std::string::npos ? "" : body.substr(digit);
    if (prefix == "TMS" && core == "2716")
        return "the TMS2716 needs three supplies and has another pinout";
    if (prefix == "W" && rest.compare(0, 2, "27") == 0)
        return "a Winbond W27C/W27E is erased electrically and programmed another way";
    if (rest.compare(0, 4, "27SF") == 0)
        return "a 27SF part is a flash memory";
    if (rest.compare(0, 2, "28") == 0)
        return "a 28xx part is an EEPROM";
    if (rest.size() >= 4 && rest.compare(0, 2, "25") == 0 &&
        std::isdigit(static_cast<unsigned char>(rest[2])))
        return "a 25xx part has TI's pinout, not the 27xx's";
    static const char* const OTHERS[][2] = {
        {"27C1024", "16 bits wide"}, {"27C2048", "16 bits wide"}, {"27C4096", "16 bits wide"},
        {"27C210", "16 bits wide"},  {"27C220", "16 bits wide"},  {"27C240", "16 bits wide"},
        {"27C400", "16 bits wide"},  {"27C800", "16 bits wide"},  {"27C160", "16 bits wide"},
        {"27C322", "16 bits wide"},  {"27C011", "paged"},         {"27C301", "not JEDEC"},
        {"27C080", "over 512 KiB"},  {"27C801", "over 512 KiB"},  {"27C8001", "over 512 KiB"},
    };
    for (const auto& o : OTHERS)
        if (core == o[0])
            return "a " + core + " is " + o[1] + ": no part for this socket";
    return "";
}

size_t edit_distance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// Every name in type order, and within a type in name order: 2764, 2764A, 27C64.
const std::vector<std::string>& all_names() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all;
        for (int t = 0; t < TicMax; ++t) {
            const size_t first = all.size();
            for (const ChipPart& p : PARTS)
                for (const char* const* n = p.patterns; *n && p.type == t; ++n)
                    all.push_back(*n);
            std::sort(all.begin() + static_cast<std::ptrdiff_t>(first), all.end());
        }
        return all;
    }();
    return names;
}

// "unknown part; closest known: 2764, 27C64", or every name when nothing is close.
std::string unknown_text(const std::string& guess) {
    size_t best = SIZE_MAX;
    for (const std::string& n : all_names())
        best = std::min(best, edit_distance(guess, n));
    if (best > 3)
        return std::string("unknown part; known parts: ") + part_names();
    std::string close;
    for (const std::string& n : all_names())
        if (edit_distance(guess, n) == best)
            close += (close.empty() ? "" : ", ") + n;
    return "unknown part; closest known: " + close;
}

std::string summary(const Match& m) {
    const ChipPart& p = *m.part;
    if (!p.board_programs)
        return std::string(m.pattern) + " (read only on this board)";
    return std::string(m.pattern) + " (programs at " + vpp_level_name(p.vpp_rating) + ")";
}

} // namespace

const std::vector<const ChipPart*>& known_parts() {
    static const std::vector<const ChipPart*> all = [] {
        std::vector<const ChipPart*> v;
        for (const ChipPart& p : PARTS)
            v.push_back(&p);
        std::stable_sort(v.begin(), v.end(),
                         [](const ChipPart* a, const ChipPart* b) { return a->type < b->type; });
        return v;
    }();
    return all;
}

namespace {

// The parts `name` could be, or the reason it is none.
std::vector<Match> matches(const std::string& name, std::string* reason) {
    if (name.empty()) {
        *reason = "no part named";
        return {};
    }
    std::string up;
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (!std::isalnum(u) && c != '-' && c != '/' && c != ' ') {
            *reason = "a part name has letters, digits, '-', '/' and blanks only";
            return {};
        }
        up += static_cast<char>(std::toupper(u));
    }
    std::string first_core, prefix;
    const std::vector<std::string> cores = readings(up, &first_core, &prefix);
    const std::string other = other_family(up, prefix, first_core);
    if (!other.empty()) {
        *reason = other;
        return {};
    }
    std::vector<Match> found;
    for (const std::string& core : cores) {
        Match m{};
        if (find_pattern(core, &m) && std::none_of(found.begin(), found.end(), [&](const Match& f) {
                return f.part == m.part;
            }))
            found.push_back(m);
    }
    if (found.empty()) {
        if (first_core.empty()) {
            const size_t at = up.find("27");
            first_core = at == std::string::npos ? up : up.substr(at);
        }
        *reason = unknown_text(first_core);
    }
    return found;
}

} // namespace

std::vector<const ChipPart*> candidates(const std::string& name) {
    std::string ignored;
    std::vector<const ChipPart*> parts;
    for (const Match& m : matches(name, &ignored))
        parts.push_back(m.part);
    return parts;
}

const ChipPart* find_part(const std::string& name, std::string* why) {
    std::string ignored;
    std::string& reason = why ? *why : ignored;
    const std::vector<Match> found = matches(name, &reason);
    if (found.size() == 1) {
        reason.clear();
        return found[0].part;
    }
    if (found.empty())
        return nullptr;
    reason = "could be a " + summary(found[0]);
    for (size_t i = 1; i < found.size(); ++i)
        reason += (i + 1 < found.size() ? ", a " : " or a ") + summary(found[i]);
    reason += ": name the one it is";
    return nullptr;
}

const ChipPart& default_part(IC type) {
    if (type < 0 || type >= TicMax)
        throw std::out_of_range("no EPROM type " + std::to_string(static_cast<int>(type)));
    return PARTS[type];
}

const char* part_names() {
    static const std::string names = [] {
        std::string joined;
        for (const std::string& n : all_names())
            joined += (joined.empty() ? "" : ", ") + n;
        return joined;
    }();
    return names.c_str();
}

uint16_t level_centivolts(unsigned level) {
    static const uint16_t CV[4] = {1275, 2100, 2500, 0};
    return CV[level & 3];
}

std::string volts_text(uint16_t centivolts) {
    char text[16];
    if (centivolts % 100)
        std::snprintf(text, sizeof text, "%u.%02u V", centivolts / 100u, centivolts % 100u);
    else
        std::snprintf(text, sizeof text, "%u V", centivolts / 100u);
    return text;
}

const char* vpp_level_name(unsigned level) {
    static const char* const NAMES[4] = {"12.75 V", "21 V", "25 V", "level 3"};
    return NAMES[level & 3];
}

} // namespace vsim
