// The parts table and the reading of names off chips. The board has three programming
// levels, 12.75, 21 and 25 V; parts specified at 12.5 or 13 V program at 12.75 V. The limit
// is the datasheet's absolute maximum on Vpp: above it the chip is destroyed, and nothing on
// the board can tell, since it measures no voltage and reads no identity from the chip.
#include "eprom/parts.h"

#include <cctype>
#include <cstdio>
#include <cstring>

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
        if (!isalnum(c) && c != '-' && c != '/' && c != '.')
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

// What follows the part's name: nothing, or a speed, revision, temperature or package code
// that does not go on with the digits (27C256-15, 27C256B12, 27C512Q150, 27C010/883).
static bool validSuffix(const char* s) {
    return !isdigit((unsigned char)*s);
}

struct NameHit {
    const EpromPart* part;
    size_t len; // length of the part's name that matched
};

// Every part one of whose names sits in `name` between a prefix and a suffix; the longest
// such names only, so that 2764A-2 is a 2764A and not a 2764 with a suffix "A-2".
static int namesIn(const char* name, NameHit* hits, int max) {
    int n = 0;
    size_t best = 0;
    for (const EpromPart& p : parts) {
        for (int k = 0; k < PART_NAMES_MAX && p.names[k]; k++) {
            const char* want = p.names[k];
            const size_t len = strlen(want);
            for (const char* at = strstr(name, want); at; at = strstr(at + 1, want)) {
                if (!validPrefix(name, (size_t)(at - name)) || !validSuffix(at + len))
                    continue;
                if (len > best) {
                    best = len;
                    n = 0;
                }
                if (len == best && n < max && (n == 0 || hits[n - 1].part != &p))
                    hits[n++] = {&p, len};
            }
        }
    }
    return n;
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

int FindPart(const char* printed, const EpromPart** part, char* why, size_t whySize) {
    *part = nullptr;
    if (!printed)
        printed = "";
    char shown[PRINTED_MAX];
    showable(printed, shown, sizeof shown);
    char name[PRINTED_MAX];
    NameHit hits[4];
    int n = 0;
    if (upperName(printed, name)) {
        n = namesIn(name, hits, 4);
    } else {
        // Nothing a chip carries; the letters and digits in it still point to names near it.
        size_t k = 0;
        for (const char* s = printed; *s && k + 1 < sizeof name; s++)
            if (isalnum((unsigned char)*s))
                name[k++] = (char)toupper((unsigned char)*s);
        name[k] = '\0';
    }
    if (n == 1) {
        *part = hits[0].part;
        if (whySize > 0)
            why[0] = '\0';
        return TPARTFOUND;
    }
    if (n == 0) {
        char close[80];
        closestNames(name, close, sizeof close);
        snprintf(why, whySize, "unknown part '%s'; the closest known: %s", shown, close);
        return TPARTUNKNOWN;
    }
    char both[80] = "";
    for (int i = 0; i < n; i++) {
        if (i > 0)
            append(both, sizeof both, i == n - 1 ? " or a " : ", a ");
        append(both, sizeof both, hits[i].part->names[0]);
    }
    snprintf(why, whySize, "part '%s' could be a %s: give one of these names", shown, both);
    return TPARTAMBIGUOUS;
}

// ---- Lists ---------------------------------------------------------------------------------

// `name` against the glob `pat` ('*' any run, '?' one character), both in capitals.
static bool globMatch(const char* pat, const char* name) {
    if (*pat == '\0')
        return *name == '\0';
    if (*pat == '*')
        return globMatch(pat + 1, name) || (*name && globMatch(pat, name + 1));
    if (*name && (*pat == '?' || *pat == *name))
        return globMatch(pat + 1, name + 1);
    return false;
}

unsigned int PartMatchesPattern(const EpromPart* p, const char* pattern) {
    if (!p)
        return 0;
    if (!pattern || !*pattern)
        return 1;
    char pat[PRINTED_MAX];
    size_t n = 0;
    for (; pattern[n]; n++) {
        if (n + 1 >= PRINTED_MAX)
            return 0;
        pat[n] = (char)toupper((unsigned char)pattern[n]);
    }
    pat[n] = '\0';
    const bool wild = strpbrk(pat, "*?") != nullptr;
    for (int k = 0; k < PART_NAMES_MAX && p->names[k]; k++) {
        if (wild ? globMatch(pat, p->names[k]) : strstr(p->names[k], pat) != nullptr)
            return 1;
    }
    if (wild)
        return 0;
    // A name as printed on a chip lists its family, or the families it could be.
    NameHit hits[4];
    const int found = upperName(pattern, pat) ? namesIn(pat, hits, 4) : 0;
    for (int i = 0; i < found; i++)
        if (hits[i].part == p)
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

const char* BurnVppRefusal(int type, const EpromPart* part, int level, char* why, size_t whySize) {
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
    if (highest >= 0 && level > highest) {
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
