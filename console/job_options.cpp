// Job options: the chip type, the settings and the actions as the command line gives them,
// each value checked before anything runs.
#include "console/job.h"

#include <cstdio>
#include <cstring>

#include "defs.h"
#include "eprom/ic_func.h"
#include "eprom/parts.h"
#include "image/formats.h"
#include "job/passes.h"
#include "common/numbers.h"

// ---- Options -------------------------------------------------------------------------------

const struct option JobLongOptions[] = {
    {"type", required_argument, nullptr, TOPT_TYPE},
    {"part", required_argument, nullptr, TOPT_PART},
    {"vpp", required_argument, nullptr, TOPT_VPP},
    {"vcc", required_argument, nullptr, TOPT_VCC},
    {"delay", required_argument, nullptr, TOPT_DELAY},
    {"range", required_argument, nullptr, TOPT_RANGE},
    {"offset", required_argument, nullptr, TOPT_OFFSET},
    {"format", required_argument, nullptr, TOPT_FORMAT},
    {"blank", no_argument, nullptr, TOPT_BLANK},
    {"write", required_argument, nullptr, TOPT_WRITE},
    {"verify", required_argument, nullptr, TOPT_VERIFY},
    {"read", required_argument, nullptr, TOPT_READ},
    {"parts", optional_argument, nullptr, TOPT_PARTS},
    {"addressing", required_argument, nullptr, TOPT_ADDRESSING},
    {"reads", required_argument, nullptr, TOPT_READS},
    {"majority", no_argument, nullptr, TOPT_MAJORITY},
    {"inspect", required_argument, nullptr, TOPT_INSPECT},
    {nullptr, 0, nullptr, 0},
};

// Each of these takes the value `v` of the option `name` into `o`: 1, or 0 with the reason in
// `err`.

// A type's name (2764), held to no part, or a part's name (27C64, 2764A), held to its limit.
static int takeType(const char* name, const char* v, JobOptions* o, char* err, size_t n) {
    char why[200];
    o->typeText = v;
    if (TypeByPartName(v, &o->type, &o->typePart, why, sizeof why))
        return 1;
    snprintf(err, n, "%s '%s': %s", name, v, why);
    return 0;
}

// The part as printed on the chip; FindPart says what is wrong with a name it cannot place.
static int takePart(const char* name, const char* v, JobOptions* o, char* err, size_t n) {
    char why[200];
    if (FindPart(v, &o->part, why, sizeof why) != TPARTFOUND) {
        snprintf(err, n, "%s: %s", name, why);
        return 0;
    }
    o->partText = v;
    return 1;
}

static int takeVpp(const char* v, JobOptions* o, char* err, size_t n) {
    static const char* const levels[] = {"12", "12.75", "21", "25"};
    static const int vpps[] = {T12_75V, T12_75V, T21V, T25V};
    for (int k = 0; k < 4; k++)
        if (strcmp(v, levels[k]) == 0) {
            o->vpp = vpps[k];
            o->vppText = v;
            return 1;
        }
    snprintf(err, n, "--vpp '%s': the board has 12 (12.75), 21 and 25 (volts)", v);
    return 0;
}

static int takeVcc(const char* v, JobOptions* o, char* err, size_t n) {
    if (strcmp(v, "5") != 0 && strcmp(v, "6.25") != 0) {
        snprintf(err, n, "--vcc '%s': the board has 5 and 6.25 (volts)", v);
        return 0;
    }
    o->vcc = strcmp(v, "5") == 0 ? T5V : T6_25V;
    return 1;
}

static int takeDelay(const char* v, JobOptions* o, char* err, size_t n) {
    unsigned long long delay = 0;
    if (!parseNumber(v, TNUM_DEC, 255, &delay) || delay < 1) {
        snprintf(err, n, "--delay '%s': a bus delay factor from 1 to 255", v);
        return 0;
    }
    o->delay = (int)delay;
    return 1;
}

// --range and --offset: chip addresses, written as at the menu's prompts.
static int takeAddress(int code, const char* name, const char* v, JobOptions* o, char* err,
                       size_t n) {
    unsigned long long address = 0;
    if (!parseNumber(v, TNUM_HEX, 0xFFFFFFFFUL, &address)) {
        snprintf(err, n, "%s '%s': a hexadecimal address (7FFF, 0x8000)", name, v);
        return 0;
    }
    if (code == TOPT_RANGE) {
        o->range = (unsigned long)address;
        o->rangeGiven = 1;
    } else {
        o->offset = (unsigned long)address;
    }
    return 1;
}

static int takeFormat(const char* v, JobOptions* o, char* err, size_t n) {
    IMG_FORMAT f;
    if (!ImageFormatByName(v, &f)) {
        snprintf(err, n, "--format '%s': raw, ihex or srec", v);
        return 0;
    }
    o->format = f;
    return 1;
}

// How the reading runs tell the chip its addresses: by one-bit shifts where the type allows
// it, or the menu's wire, transfer for transfer.
static int takeAddressing(const char* v, JobOptions* o, char* err, size_t n) {
    if (strcmp(v, "quick") != 0 && strcmp(v, "plain") != 0) {
        snprintf(err, n, "--addressing '%s': quick or plain", v);
        return 0;
    }
    o->addressing = strcmp(v, "quick") == 0 ? TADR_QUICK : TADR_PLAIN;
    return 1;
}

// How many times a --read reads its range before the passes are compared.
static int takeReads(const char* v, JobOptions* o, char* err, size_t n) {
    unsigned long long reads = 0;
    if (!parseNumber(v, TNUM_DEC, PASSES_MAX, &reads) || reads < 1) {
        snprintf(err, n, "--reads '%s': a number of reads from 1 to %d", v, PASSES_MAX);
        return 0;
    }
    o->reads = (int)reads;
    return 1;
}

// --blank, --write, --verify, --read and --inspect, in the order given.
static int takeAction(int code, const char* name, const char* v, JobOptions* o, char* err,
                      size_t n) {
    const JOB_ACTION action = code == TOPT_BLANK    ? TJOBBLANK
                              : code == TOPT_WRITE  ? TJOBWRITE
                              : code == TOPT_VERIFY ? TJOBVERIFY
                              : code == TOPT_READ   ? TJOBREAD
                                                    : TJOBINSPECT;
    if (o->count == JOB_ACTIONS_MAX) {
        snprintf(err, n, "more than %d actions", JOB_ACTIONS_MAX);
        return 0;
    }
    if (v && v[0] == '\0') {
        snprintf(err, n, "option '%s' needs a file name (- for standard %s)", name,
                 action == TJOBREAD ? "output" : "input");
        return 0;
    }
    o->actions[o->count].kind = action;
    o->actions[o->count].file = v;
    o->count++;
    return 1;
}

static int takeValue(int code, const char* name, const char* v, JobOptions* o, char* err,
                     size_t n) {
    switch (code) {
    case TOPT_TYPE:
        return takeType(name, v, o, err, n);
    case TOPT_PART:
        return takePart(name, v, o, err, n);
    case TOPT_PARTS:
        o->listParts = 1;
        o->partsPattern = v;
        return 1;
    case TOPT_VPP:
        return takeVpp(v, o, err, n);
    case TOPT_VCC:
        return takeVcc(v, o, err, n);
    case TOPT_DELAY:
        return takeDelay(v, o, err, n);
    case TOPT_RANGE:
    case TOPT_OFFSET:
        return takeAddress(code, name, v, o, err, n);
    case TOPT_FORMAT:
        return takeFormat(v, o, err, n);
    case TOPT_ADDRESSING:
        return takeAddressing(v, o, err, n);
    case TOPT_READS:
        return takeReads(v, o, err, n);
    case TOPT_MAJORITY:
        o->majority = 1;
        return 1;
    default:
        return takeAction(code, name, v, o, err, n);
    }
}

// The options that two values would make ambiguous: which of them holds?
static const int onceOnly[] = {TOPT_TYPE,       TOPT_PART,  TOPT_RANGE,   TOPT_VPP,
                               TOPT_VCC,        TOPT_DELAY, TOPT_FORMAT,  TOPT_OFFSET,
                               TOPT_ADDRESSING, TOPT_READS, TOPT_MAJORITY};

// 1 the first time an option of onceOnly comes (or any other option), 0 the second time.
static int firstTime(int code, JobOptions* o) {
    for (unsigned int k = 0; k < sizeof onceOnly / sizeof onceOnly[0]; k++)
        if (onceOnly[k] == code) {
            if (o->given & (1u << k))
                return 0;
            o->given |= 1u << k;
        }
    return 1;
}

int JobOption(int code, const char* name, const char* value, JobOptions* o, char* err,
              size_t errSize) {
    const struct option* opt = JobLongOptions;
    while (opt->name && opt->val != code)
        opt++;
    if (!opt->name)
        return 0;
    if (opt->has_arg == required_argument && !value) {
        snprintf(err, errSize, "option '%s' needs a value", name);
        return -1;
    }
    if (opt->has_arg == no_argument && value) {
        snprintf(err, errSize, "option '%s' takes no value", name);
        return -1;
    }
    if (!firstTime(code, o)) {
        snprintf(err, errSize, "option '%s' given twice; give it once", name);
        return -1;
    }
    return takeValue(code, name, value, o, err, errSize) ? 1 : -1;
}

const char* JobUsage(void) {
    return "The chip (for the menu at start, or for a job):\n"
           "  -p, --part NAME        the chip by the name printed on it (M27C256B-12F1,\n"
           "                         D2764A-2, MBM2764-25): sets the type and the\n"
           "                         programming voltage (the CMOS parts and the A versions\n"
           "                         12.75 V, the NMOS 2764, 27128 and 2732A 21 V, the 2732\n"
           "                         25 V); a voltage above the part's limit is refused; a\n"
           "                         name that could be two parts (2764B) or is of another\n"
           "                         family (TMS2716, W27C512, 28C64) is refused\n"
           "  --parts [PATTERN]      list the known parts, or those matching PATTERN\n"
           "                         (--parts 27C2, --parts=27C2 or --parts '27*'), and end\n"
           "\n"
           "A job (no menu; actions run in the order given, the first failure stops it):\n"
           "  -t, --type TYPE        the EPROM: 2708 2716 2732 2764 27128 27256 27512 27010\n"
           "                         27020 27040, or a part's name (27C256, 2764A), which\n"
           "                         holds the voltage to the part's limit; a job needs -t\n"
           "                         or -p (but for --inspect alone), and -t with -p must\n"
           "                         name the part's type\n"
           "  --blank                blank check\n"
           "  --write FILE           burn FILE: the chip is read first; one that needs\n"
           "                         erasing is refused before any pulse, else only the\n"
           "                         bytes that differ are burnt, each read back\n"
           "  --verify FILE          compare the chip with FILE\n"
           "  --read FILE            read the chip into FILE: --reads times, written only\n"
           "                         when every pass agrees; the line ends with the SHA-1,\n"
           "                         notes on a strange dump (all 0xFF, a data bit or an\n"
           "                         address line that never changes) go to standard error\n"
           "  --inspect FILE         the size, sums and notes of an image file, as a read\n"
           "                         gives them; a job of --inspect only needs no board and\n"
           "                         no -t (the file's own size; with -t the chip's, 0xFF\n"
           "                         where the file has nothing)\n"
           "                         FILE - is standard input or output\n"
           "  --range END            last address of every action (hex); default: the\n"
           "                         image's last address, the chip's for --read/--blank\n"
           "  --format FMT           raw, ihex or srec; default by the file's name (.hex\n"
           "                         .ihx .ihex Intel HEX, .s19 .s28 .s37 .srec .mot\n"
           "                         S-record, else raw; a raw one that is HEX or S-record\n"
           "                         text is refused unless --format raw is given)\n"
           "  --offset ADDR          address of chip byte 0 in a HEX or S-record image (hex)\n"
           "  --vpp 12|12.75|21|25   programming voltage (12 is 12.75 V; default the part's,\n"
           "                         else 12.75 V); 21 and 25 are refused for burning a\n"
           "                         27256, 27512, 27010, 27020 or 27040, 25 for a 2764\n"
           "                         or 27128\n"
           "  --vcc 5|6.25           supply while burning (default 5)\n"
           "  --delay N              bus delay factor 1..255 (default 2)\n"
           "  --addressing quick|plain\n"
           "                         how reads, verifies, blank checks and the read before\n"
           "                         a burn give a 27512, 27010, 27020 or 27040 its\n"
           "                         addresses: quick (default)\n"
           "                         shifts one bit from cell to cell, whole 64 KiB banks\n"
           "                         at a time, for the same results in less than half the\n"
           "                         time; plain sends the menu's wire, transfer for transfer\n"
           "  --reads N              a --read reads its range N times (1..9, default 2) and\n"
           "                         compares the passes; where the type is read the quick\n"
           "                         way, the passes alternate quick and plain; passes that\n"
           "                         differ write nothing (status 1) and list the cells\n"
           "  --majority             with --reads 3 or more: passes that differ write their\n"
           "                         bitwise majority, with a warning (a tie writes nothing)\n"
           "Each of -t, -p, --range, --format, --offset, --vpp, --vcc, --delay, --addressing,\n"
           "--reads, --majority and --port is given once. A --read into the image of a\n"
           "--write, --verify or --inspect of the same job is refused.\n"
           "Job exit status: 0 all actions succeeded, 1 a chip action failed or a read's passes\n"
           "differ, 2 bad usage or an image or file error, 3 no access to the port or no board\n"
           "answering.\n";
}
