// The parts table and the reading of names off chips. The board has three programming
// levels, 12.75, 21 and 25 V; parts specified at 12.5 or 13 V program at 12.75 V. The limit
// is the datasheet's absolute maximum on Vpp: above it the chip is destroyed, and nothing on
// the board can tell, since it measures no voltage and reads no identity from the chip.
#include "eprom/parts.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "eprom/ic_types.h"

static const EpromPart parts[] = {
    // The 2708 and 2716 are only read on this board.
    {{"2708"}, T2708, -1, 26000},
    {{"2716"}, T2716, -1, 26000},
    {{"27C16"}, T2716, -1, 26000},
    // NMOS parts: 25 V for the 2732, 21 V for its A version and for the 2764 and 27128.
    // The menu calls the 2732's socket 27C32: that name could be either part.
    {{"2732", "27C32"}, T2732, T25V, 26000},
    {{"2732A", "27C32"}, T2732, T21V, 22000},
    {{"2764"}, T2764, T21V, 22000},
    {{"27128"}, T27128, T21V, 22000},
    // The A versions and the CMOS parts: 12.5 to 13 V.
    {{"2764A"}, T2764, T12_75V, 14000},
    {{"27128A"}, T27128, T12_75V, 14000},
    {{"27C64"}, T2764, T12_75V, 14000},
    {{"27C128"}, T27128, T12_75V, 14000},
    {{"27256"}, T27256, T12_75V, 14000},
    {{"27C256"}, T27256, T12_75V, 14000},
    {{"27512"}, T27512, T12_75V, 14000},
    {{"27C512"}, T27512, T12_75V, 14000},
    {{"27C010", "27C1001", "27010"}, T27010, T12_75V, 14000},
    {{"27C020", "27C2001", "27020"}, T27020, T12_75V, 14000},
    {{"27C040", "27C4001", "27040"}, T27040, T12_75V, 14000},
};
static constexpr int partCount = (int)(sizeof parts / sizeof parts[0]);

static const unsigned int levelMillivolts[TvppMax] = {12750, 21000, 25000};

// What a name on a chip may carry before and after the part's own name.
static constexpr size_t PRINTED_MAX = 48;
static const char* const digitPrefixes[] = {"HN46", "HN48", "M5L", "M5M"};

// Makers' own names for JEDEC parts: the maker's prefix with the rest of the name, and the
// family the chip is. Only where the prefix is this maker's: another maker's 27C1000 could
// be anything.
static const struct {
    const char* prefix;
    const char* key;
    const char* family;
} makersNames[] = {
    {"MX", "27C1000", "27C010"}, {"MX", "27C2000", "27C020"}, {"MX", "27C4000", "27C040"},
    {"TC", "571000", "27C010"},  {"TC", "574000", "27C040"},
};

// Chips that look like the table's but are of other families: another pinout, another way
// of erasing and programming, another width or size. The board must not put its voltages
// on them. `key` is the name without prefix and suffix; "" matches any.
static const struct {
    const char* prefix; // "" for any maker
    const char* key;
    const char* what;
} otherFamilies[] = {
    {"TMS", "2716", "the three-supply TMS2716 (+12, +5 and -5 V, another pinout)"},
    {"W", "", "an electrically erasable EPROM (W27C, W27E), erased and programmed another way"},
    {"", "27C1024", "a 16-bit EPROM in 40 pins or more"},
    {"", "27C2048", "a 16-bit EPROM in 40 pins or more"},
    {"", "27C4096", "a 16-bit EPROM in 40 pins or more"},
    {"", "27C210", "a 16-bit EPROM in 40 pins or more"},
    {"", "27C220", "a 16-bit EPROM in 40 pins or more"},
    {"", "27C240", "a 16-bit EPROM in 40 pins or more"},
    {"", "27C400", "a 16-bit EPROM in 40 pins or more"},
    {"", "27C800", "a 16-bit EPROM in 40 pins or more"},
    {"", "27C160", "a 16-bit EPROM in 40 pins or more"},
    {"", "27C322", "a 16-bit EPROM in 40 pins or more"},
    {"", "27C011", "a paged EPROM (27C011), its banks switched by writes"},
    {"", "27C301", "a 1-Mbit EPROM with a non-JEDEC pinout (27C301)"},
    {"", "27C080", "an EPROM of 1 MiB or more, beyond the board's 512 KiB"},
    {"", "27C801", "an EPROM of 1 MiB or more, beyond the board's 512 KiB"},
    {"", "27C8001", "an EPROM of 1 MiB or more, beyond the board's 512 KiB"},
};
static const char* const eeprom = "an EEPROM (28xx), programmed by writes";
static const char* const flash = "a flash memory (27SF), erased and programmed another way";
static const char* const pinout25 = "a TI 25xx EPROM, whose pinout is not the 27xx's";
static const char* const eeprom27 =
    "an electrically erasable EPROM (W27C, W27E), erased and programmed another way";

// Letters that a maker puts straight after the digits of an NMOS 2732, 2764 or 27128 for
// the package or the temperature range (HN482764G, M5L2764K, TMM2764D, TMS2732JL); the A
// there makes the later part for a lower voltage.
static const char packageLetters[] = "DGJK";

int PartCount(void) {
    return partCount;
}

const EpromPart* PartAt(int i) {
    return i >= 0 && i < partCount ? &parts[i] : nullptr;
}

unsigned int PartProgrammable(const EpromPart* p) {
    return p && p->vpp >= 0 && ICTypeProgrammable(p->type);
}

unsigned int VppLevelMillivolts(int level) {
    return level >= 0 && level < TvppMax ? levelMillivolts[level] : 0;
}

const char* FormatVolts(unsigned int millivolts, char* buf, size_t size) {
    unsigned int frac = millivolts % 1000;
    if (frac == 0) {
        snprintf(buf, size, "%u V", millivolts / 1000);
    } else {
        int digits = 3;
        while (frac % 10 == 0) {
            frac /= 10;
            digits--;
        }
        snprintf(buf, size, "%u.%0*u V", millivolts / 1000, digits, frac);
    }
    return buf;
}

// ---- Names as printed ----------------------------------------------------------------------

// `s` in capitals into `out`; 0 when it is too long or carries a character no marking has.
static int upperName(const char* s, char* out) {
    size_t n = 0;
    for (; s[n]; n++) {
        if (n + 1 >= PRINTED_MAX)
            return 0;
        const unsigned char c = (unsigned char)s[n];
        if (!isalnum(c) && c != '-' && c != '/' && c != ' ')
            return 0;
        out[n] = (char)toupper(c);
    }
    out[n] = '\0';
    return n > 0;
}

// A maker's prefix: letters, or one of the few that carry digits (HN482764, M5L27128K).
static bool validPrefix(const char* s, size_t len) {
    for (const char* p : digitPrefixes)
        if (strlen(p) == len && strncmp(s, p, len) == 0)
            return true;
    for (size_t i = 0; i < len; i++)
        if (!isupper((unsigned char)s[i]))
            return false;
    return true;
}

// What a name was read as: the parts it could be (two: it is ambiguous), or a chip of another
// family, or nothing known.
struct Reading {
    const EpromPart* parts[2];
    int n;
    const char* other; // what the chip is, when it is of another family
};

static const EpromPart* partNamed(const char* name) {
    for (const EpromPart& p : parts)
        for (int k = 0; k < PART_NAMES_MAX && p.names[k]; k++)
            if (strcmp(p.names[k], name) == 0)
                return &p;
    return nullptr;
}

// Every part one of whose names is `key` (27C32 is the name of two).
static void addParts(Reading* r, const char* key) {
    for (const EpromPart& p : parts)
        for (int k = 0; k < PART_NAMES_MAX && p.names[k]; k++)
            if (strcmp(p.names[k], key) == 0 && r->n < 2 && (r->n == 0 || r->parts[0] != &p))
                r->parts[r->n++] = &p;
}

static size_t spanOf(const char* s, int (*is)(int)) {
    size_t n = 0;
    while (s[n] && is((unsigned char)s[n]))
        n++;
    return n;
}

// The name after its maker's prefix (`prefix`, `prefixLen` characters): the digits, for a
// 27 or 28 the letters of the technology and the digits after them (27C256, 27SF512,
// 28C64), then the rest. Sets *r when it reads as something; 0 when not.
static int readCore(const char* prefix, size_t prefixLen, const char* core, Reading* r) {
    char pre[PRINTED_MAX], key[PRINTED_MAX];
    snprintf(pre, sizeof pre, "%.*s", (int)prefixLen, prefix);
    const size_t d1 = spanOf(core, isdigit);
    const size_t l = spanOf(core + d1, isalpha);
    const size_t d2 = spanOf(core + d1 + l, isdigit);
    const bool technology = d1 == 2 && (strncmp(core, "27", 2) == 0 || strncmp(core, "28", 2) == 0);
    if (technology && (l == 0 || d2 == 0))
        return 0;
    snprintf(key, sizeof key, "%.*s", (int)(technology ? d1 + l + d2 : d1), core);
    const char* after = core + d1; // for an NMOS part: what follows its digits

    *r = Reading{{nullptr, nullptr}, 0, nullptr};
    for (const auto& m : makersNames)
        if (strcmp(pre, m.prefix) == 0 && strcmp(key, m.key) == 0) {
            r->parts[r->n++] = partNamed(m.family);
            return 1;
        }
    for (const auto& f : otherFamilies)
        if ((!*f.prefix || strcmp(pre, f.prefix) == 0) && (!*f.key || strcmp(key, f.key) == 0) &&
            strncmp(key, "27", 2) == 0) {
            r->other = f.what;
            return 1;
        }
    if (strncmp(key, "28", 2) == 0 && strlen(key) >= 4)
        r->other = eeprom;
    else if (strncmp(key, "25", 2) == 0 && strlen(key) == 4)
        r->other = pinout25;
    else if (technology && strncmp(key + 2, "SF", 2) == 0)
        r->other = flash;
    else if (technology && key[2] == 'E')
        r->other = eeprom27;
    if (r->other)
        return 1;

    addParts(r, key);
    if (r->n == 0)
        return 0;
    char withA[PRINTED_MAX];
    snprintf(withA, sizeof withA, "%sA", key);
    if (technology || !partNamed(withA))
        return 1; // nothing longer in the table: the rest is a suffix
    // 2732, 2764, 27128: the letter after the digits decides between the NMOS part and its
    // A version, which the NMOS part's voltage destroys.
    if (*after == 'A') {
        r->n = 0;
        addParts(r, withA);
    } else if (isalpha((unsigned char)*after) && !strchr(packageLetters, *after)) {
        addParts(r, withA);
    }
    return 1;
}

// 1 when `s` holds another part number: 27, perhaps a C, and a digit.
static bool anotherPartIn(const char* s) {
    for (const char* at = strstr(s, "27"); at; at = strstr(at + 1, "27"))
        if (isdigit((unsigned char)at[2]) || (at[2] == 'C' && isdigit((unsigned char)at[3])))
            return true;
    return false;
}

// How the name `name` (in capitals) reads: its own part first, after the hyphen, slash or
// space where a suffix starts, and after a maker's prefix. A second part number after the
// first (TMS2732E27256) leaves it in doubt: nothing known.
static void readName(const char* name, Reading* r) {
    *r = Reading{{nullptr, nullptr}, 0, nullptr};
    char body[PRINTED_MAX];
    snprintf(body, sizeof body, "%.*s", (int)strcspn(name, "-/ "), name);
    for (size_t p = 0; body[p]; p++) {
        if (!isdigit((unsigned char)body[p]) || !validPrefix(body, p) ||
            !readCore(body, p, body + p, r))
            continue;
        if (!r->other && anotherPartIn(body + p + 2))
            break;
        return;
    }
    *r = Reading{{nullptr, nullptr}, 0, nullptr};
}

// How many edits turn `want` into the first `n` characters of `s`.
static size_t edits(const char* want, const char* s, size_t n) {
    size_t row[PRINTED_MAX + 1];
    for (size_t j = 0; j <= n; j++)
        row[j] = j;
    for (size_t i = 1; want[i - 1]; i++) {
        size_t diag = row[0];
        row[0] = i;
        for (size_t j = 1; j <= n; j++) {
            const size_t up = row[j];
            size_t d = diag + (want[i - 1] == s[j - 1] ? 0 : 1);
            if (up + 1 < d)
                d = up + 1;
            if (row[j - 1] + 1 < d)
                d = row[j - 1] + 1;
            row[j] = d;
            diag = up;
        }
    }
    return row[n];
}

// How far the known name `want` is from `name`, a maker's prefix and the suffix taken off:
// from the first '-', '/' or '.' on, and the letters after the last digit.
static size_t distance(const char* want, const char* name) {
    size_t best = (size_t)-1;
    const size_t len = strlen(name);
    for (size_t p = 0; p <= len; p++) {
        if (!validPrefix(name, p))
            continue;
        const char* core = name + p;
        size_t n = strcspn(core, "-/.");
        size_t lastDigit = n;
        while (lastDigit > 0 && !isdigit((unsigned char)core[lastDigit - 1]))
            lastDigit--;
        if (lastDigit > 0)
            n = lastDigit;
        const size_t d = edits(want, core, n);
        if (d < best)
            best = d;
    }
    return best;
}

static void append(char* buf, size_t size, const char* s) {
    const size_t used = strlen(buf);
    if (used < size)
        snprintf(buf + used, size - used, "%s", s);
}

// The known names nearest to `name`, at most four, in list order: "27C256, 27256".
static void closestNames(const char* name, char* out, size_t size) {
    const char* names[partCount * PART_NAMES_MAX];
    size_t dist[partCount * PART_NAMES_MAX];
    int n = 0;
    size_t best = (size_t)-1;
    for (const EpromPart& p : parts)
        for (int k = 0; k < PART_NAMES_MAX && p.names[k]; k++) {
            bool seen = false;
            for (int i = 0; i < n; i++)
                seen = seen || strcmp(names[i], p.names[k]) == 0;
            if (seen)
                continue;
            names[n] = p.names[k];
            dist[n] = distance(p.names[k], name);
            if (dist[n] < best)
                best = dist[n];
            n++;
        }
    out[0] = '\0';
    int shown = 0;
    for (int i = 0; i < n && shown < 4; i++) {
        if (dist[i] != best)
            continue;
        if (shown++ > 0)
            append(out, size, ", ");
        append(out, size, names[i]);
    }
}

// `s` for a message: control and other odd bytes as '?', a long name cut short.
static void showable(const char* s, char* out, size_t size) {
    size_t n = 0;
    for (; s[n] && n + 4 < size; n++)
        out[n] = s[n] >= 0x20 && s[n] < 0x7F ? s[n] : '?';
    out[n] = '\0';
    if (s[n])
        append(out, size, "...");
}

// The name in capitals for reading, or, when it carries something no marking has, its letters
// and digits only, to find the names near it (*readable 0).
static void nameToRead(const char* printed, char* name, int* readable) {
    *readable = upperName(printed, name);
    if (*readable)
        return;
    size_t k = 0;
    for (const char* s = printed; *s && k + 1 < PRINTED_MAX; s++)
        if (isalnum((unsigned char)*s))
            name[k++] = (char)toupper((unsigned char)*s);
    name[k] = '\0';
}

int FindPart(const char* printed, const EpromPart** part, char* why, size_t whySize) {
    *part = nullptr;
    if (!printed)
        printed = "";
    char shown[PRINTED_MAX];
    showable(printed, shown, sizeof shown);
    char name[PRINTED_MAX];
    int readable = 0;
    nameToRead(printed, name, &readable);
    Reading r = {{nullptr, nullptr}, 0, nullptr};
    if (readable)
        readName(name, &r);
    if (r.other) {
        snprintf(why, whySize, "part '%s' is %s: not for this board", shown, r.other);
        return TPARTOTHER;
    }
    if (r.n == 1) {
        *part = r.parts[0];
        if (whySize > 0)
            why[0] = '\0';
        return TPARTFOUND;
    }
    if (r.n == 0) {
        char close[80];
        closestNames(name, close, sizeof close);
        snprintf(why, whySize, "unknown part '%s'; the closest known: %s", shown, close);
        return TPARTUNKNOWN;
    }
    snprintf(why, whySize, "part '%s' could be a %s or a %s: give one of these names", shown,
             r.parts[0]->names[0], r.parts[1]->names[0]);
    return TPARTAMBIGUOUS;
}

// The part of `parts` with the lowest limit on Vpp.
static const EpromPart* mostFragile(const Reading& r) {
    const EpromPart* p = r.parts[0];
    for (int i = 1; i < r.n; i++)
        if (r.parts[i]->vppLimit < p->vppLimit)
            p = r.parts[i];
    return p;
}

int TypeByPartName(const char* name, int* type, const EpromPart** limitPart, char* why,
                   size_t whySize) {
    *type = -1;
    *limitPart = nullptr;
    if (!name)
        name = "";
    for (int t = 0; t < TicMax; t++)
        if (strcasecmp(name, ICTypeName(t)) == 0) {
            *type = t;
            return 1;
        }
    char upper[PRINTED_MAX];
    int readable = 0;
    nameToRead(name, upper, &readable);
    Reading r = {{nullptr, nullptr}, 0, nullptr};
    if (readable)
        readName(upper, &r);
    if (r.n > 0 && (r.n == 1 || r.parts[0]->type == r.parts[1]->type)) {
        *type = r.parts[0]->type;
        *limitPart = mostFragile(r);
        return 1;
    }
    for (int t = 0; t < TicMax; t++)
        if (strcasecmp(name, ICTypeLabel(t)) == 0) {
            *type = t;
            return 1;
        }
    const EpromPart* ignored = nullptr;
    if (FindPart(name, &ignored, why, whySize) != TPARTOTHER)
        snprintf(why, whySize, "unknown EPROM type (%s, also as 27C256 and the like)",
                 ICTypeNames());
    return 0;
}

// ---- Lists ---------------------------------------------------------------------------------

// `name` against the glob `pat` ('*' any run, '?' one character), both in capitals. A '*'
// that fails is retried one character further only from the last '*': no pattern takes more
// than length times length steps.
static bool globMatch(const char* pat, const char* name) {
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name) {
        if (*pat == '*') {
            star = pat++;
            resume = name;
        } else if (*pat == '?' || (*pat && *pat == *name)) {
            pat++;
            name++;
        } else if (star) {
            pat = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pat == '*')
        pat++;
    return *pat == '\0';
}

unsigned int PartPatternFits(const char* pattern) {
    return !pattern || strlen(pattern) <= PART_PATTERN_MAX;
}

unsigned int PartMatchesPattern(const EpromPart* p, const char* pattern) {
    if (!p)
        return 0;
    if (!pattern || !*pattern)
        return 1;
    if (!PartPatternFits(pattern))
        return 0;
    char pat[PART_PATTERN_MAX + 1];
    size_t n = 0;
    for (; pattern[n]; n++)
        pat[n] = (char)toupper((unsigned char)pattern[n]);
    pat[n] = '\0';
    const bool wild = strpbrk(pat, "*?") != nullptr;
    for (int k = 0; k < PART_NAMES_MAX && p->names[k]; k++) {
        if (wild ? globMatch(pat, p->names[k]) : strstr(p->names[k], pat) != nullptr)
            return 1;
    }
    if (wild)
        return 0;
    // A name as printed on a chip lists its family, or the families it could be.
    char name[PRINTED_MAX];
    Reading r = {{nullptr, nullptr}, 0, nullptr};
    if (upperName(pattern, name))
        readName(name, &r);
    for (int i = 0; i < r.n; i++)
        if (r.parts[i] == p)
            return 1;
    return 0;
}

// ---- Voltages ------------------------------------------------------------------------------

// The highest level any programmable part of `type` programs at; -1 when none is.
static int highestLevelOf(int type) {
    int level = -1;
    for (const EpromPart& p : parts)
        if (p.type == type && PartProgrammable(&p) && p.vpp > level)
            level = p.vpp;
    return level;
}

const char* VppRefusal(int type, const EpromPart* part, int level, unsigned int burning, char* why,
                       size_t whySize) {
    char volts[16], limit[16];
    const unsigned int mv = VppLevelMillivolts(level);
    if (mv == 0) {
        snprintf(why, whySize, "no programming voltage level %d", level);
        return why;
    }
    if (!GetEpromType(type)) {
        snprintf(why, whySize, "no EPROM type %d", type);
        return why;
    }
    FormatVolts(mv, volts, sizeof volts);
    if (part && part->type != type) {
        snprintf(why, whySize, "a %s is a %s, not a %s", part->names[0], ICTypeName(part->type),
                 ICTypeName(type));
        return why;
    }
    if (part && mv > part->vppLimit) {
        snprintf(why, whySize, "a %s takes at most %s on Vpp: %s would destroy it", part->names[0],
                 FormatVolts(part->vppLimit, limit, sizeof limit), volts);
        return why;
    }
    const int highest = highestLevelOf(type);
    if (burning && highest >= 0 && level > highest) {
        snprintf(why, whySize, "no %s programs above %s: %s would destroy it", ICTypeName(type),
                 FormatVolts(levelMillivolts[highest], limit, sizeof limit), volts);
        return why;
    }
    return nullptr;
}

const char* PartListHeader(void) {
    return "part                  type    size      program at  Vpp limit";
}

void PartRow(const EpromPart* p, char* buf, size_t size) {
    char names[40] = "";
    for (int k = 0; k < PART_NAMES_MAX && p->names[k]; k++) {
        if (k > 0)
            append(names, sizeof names, "/");
        append(names, sizeof names, p->names[k]);
    }
    char prog[16] = "read only", limit[16];
    if (PartProgrammable(p))
        FormatVolts(levelMillivolts[p->vpp], prog, sizeof prog);
    FormatVolts(p->vppLimit, limit, sizeof limit);
    snprintf(buf, size, "%-21s %-7s %4lu KiB  %-11s %s", names, ICTypeName(p->type),
             (GetEpromType(p->type)->lastAdress + 1) / 1024, prog, limit);
}
