// Job options: the chip type, the settings and the actions as the command line gives them,
// each value checked before anything runs.
#include "console/job.h"

#include <cstdio>
#include <cstring>

#include "defs.h"
#include "image/formats.h"
#include "link/numbers.h"

// ---- Options -------------------------------------------------------------------------------

// Part names of the types, as the chips are marked: "27C256", "27256", "2764A", "27c040".
static const char* const typeDigits[TicMax] = {"08",  "16",  "32",  "64",  "128",
                                               "256", "512", "010", "020", "040"};
static const char* const typeNames[TicMax] = {"2708",  "2716",  "2732",  "2764",  "27128",
                                              "27256", "27512", "27010", "27020", "27040"};

static int typeByName(const char* s) {
    if (strncmp(s, "27", 2) != 0)
        return -1;
    s += 2;
    if (*s == 'C' || *s == 'c')
        s++;
    char digits[8];
    size_t n = strlen(s);
    if (n > 0 && (s[n - 1] == 'A' || s[n - 1] == 'a'))
        n--; // the A parts (2764A, 27128A, 2732A) sit in the same socket wiring
    if (n == 0 || n >= sizeof digits)
        return -1;
    memcpy(digits, s, n);
    digits[n] = '\0';
    for (int t = 0; t < TicMax; t++)
        if (strcmp(digits, typeDigits[t]) == 0)
            return t;
    return -1;
}

void JobDefaults(JobOptions* o) {
    memset(o, 0, sizeof *o);
    o->type = -1;
    o->vpp = T12_75V;
    o->vcc = T5V;
    o->delay = 2;
    o->format = -1;
}

int JobOption(int argc, char** argv, int* i, JobOptions* o, char* err, size_t errSize) {
    const char* arg = argv[*i];
    const char* eq = strchr(arg, '=');
    char name[32];
    const size_t len = eq && strncmp(arg, "--", 2) == 0 ? (size_t)(eq - arg) : strlen(arg);
    if (len >= sizeof name)
        return 0;
    memcpy(name, arg, len);
    name[len] = '\0';
    static const struct {
        const char* name;
        int value; // takes a value
    } known[] = {{"-t", 1},      {"--type", 1},  {"--vpp", 1},    {"--vcc", 1},
                 {"--delay", 1}, {"--range", 1}, {"--offset", 1}, {"--format", 1},
                 {"--blank", 0}, {"--write", 1}, {"--verify", 1}, {"--read", 1}};
    int k = -1;
    for (int n = 0; n < (int)(sizeof known / sizeof known[0]); n++)
        if (strcmp(name, known[n].name) == 0)
            k = n;
    if (k < 0)
        return 0;
    const char* v = nullptr;
    if (known[k].value) {
        if (eq && name[1] == '-')
            v = eq + 1;
        else if (*i + 1 < argc)
            v = argv[++*i];
        if (!v) {
            snprintf(err, errSize, "option '%s' needs a value", name);
            return -1;
        }
    } else if (len != strlen(arg)) {
        snprintf(err, errSize, "option '%s' takes no value", name);
        return -1;
    }
    unsigned long long num = 0;
    int action = -1;
    if (strcmp(name, "-t") == 0 || strcmp(name, "--type") == 0) {
        o->type = typeByName(v);
        if (o->type < 0) {
            snprintf(err, errSize,
                     "%s '%s': unknown EPROM type (2708, 2716, 2732, 2764, 27128, 27256, 27512, "
                     "27010, 27020, 27040, also as 27C256 and the like)",
                     name, v);
            return -1;
        }
    } else if (strcmp(name, "--vpp") == 0) {
        static const char* const levels[] = {"12", "12.75", "21", "25"};
        static const int vpps[] = {T12_75V, T12_75V, T21V, T25V};
        o->vpp = -1;
        for (int n = 0; n < 4; n++)
            if (strcmp(v, levels[n]) == 0)
                o->vpp = vpps[n];
        if (o->vpp < 0) {
            snprintf(err, errSize, "--vpp '%s': the board has 12 (12.75), 21 and 25 (volts)", v);
            return -1;
        }
    } else if (strcmp(name, "--vcc") == 0) {
        if (strcmp(v, "5") != 0 && strcmp(v, "6.25") != 0) {
            snprintf(err, errSize, "--vcc '%s': the board has 5 and 6.25 (volts)", v);
            return -1;
        }
        o->vcc = strcmp(v, "5") == 0 ? T5V : T6_25V;
    } else if (strcmp(name, "--delay") == 0) {
        if (!parseNumber(v, TNUM_DEC, 255, &num) || num < 1) {
            snprintf(err, errSize, "--delay '%s': a bus delay factor from 1 to 255", v);
            return -1;
        }
        o->delay = (int)num;
    } else if (strcmp(name, "--range") == 0 || strcmp(name, "--offset") == 0) {
        if (!parseNumber(v, TNUM_HEX, 0xFFFFFFFFUL, &num)) {
            snprintf(err, errSize, "%s '%s': a hexadecimal address (7FFF, 0x8000)", name, v);
            return -1;
        }
        if (name[2] == 'r') {
            o->range = (unsigned long)num;
            o->rangeGiven = 1;
        } else {
            o->offset = (unsigned long)num;
        }
    } else if (strcmp(name, "--format") == 0) {
        IMG_FORMAT f;
        if (!ImageFormatByName(v, &f)) {
            snprintf(err, errSize, "--format '%s': raw, ihex or srec", v);
            return -1;
        }
        o->format = f;
    } else {
        action = strcmp(name, "--blank") == 0    ? TJOBBLANK
                 : strcmp(name, "--write") == 0  ? TJOBWRITE
                 : strcmp(name, "--verify") == 0 ? TJOBVERIFY
                                                 : TJOBREAD;
    }
    if (action >= 0) {
        if (o->count == JOB_ACTIONS_MAX) {
            snprintf(err, errSize, "more than %d actions", JOB_ACTIONS_MAX);
            return -1;
        }
        if (v && v[0] == '\0') {
            snprintf(err, errSize, "option '%s' needs a file name (- for standard %s)", name,
                     action == TJOBREAD ? "output" : "input");
            return -1;
        }
        o->actions[o->count].kind = action;
        o->actions[o->count].file = v;
        o->count++;
    }
    return 1;
}

const char* JobUsage(void) {
    return "A job (no menu; actions run in the order given, the first failure stops it):\n"
           "  -t, --type TYPE        the EPROM: 2708 2716 2732 2764 27128 27256 27512 27010\n"
           "                         27020 27040 (also 27C256, 2764A, ...); needed for a job\n"
           "  --blank                blank check\n"
           "  --write FILE           burn FILE (every byte is read back as it is burnt)\n"
           "  --verify FILE          compare the chip with FILE\n"
           "  --read FILE            read the chip into FILE\n"
           "                         FILE - is standard input or output\n"
           "  --range END            last address of every action (hex); default: the\n"
           "                         image's last address, the chip's for --read/--blank\n"
           "  --format FMT           raw, ihex or srec; default by the file's name (.hex\n"
           "                         .ihx .ihex Intel HEX, .s19 .s28 .s37 .srec .mot\n"
           "                         S-record, else raw)\n"
           "  --offset ADDR          address of chip byte 0 in a HEX or S-record image (hex)\n"
           "  --vpp 12|12.75|21|25   programming voltage (12 is 12.75 V, the default)\n"
           "  --vcc 5|6.25           supply while burning (default 5)\n"
           "  --delay N              bus delay factor 1..255 (default 2)\n"
           "Job exit status: 0 all actions succeeded, 1 a chip action failed, 2 bad usage or\n"
           "an image or file error, 3 no access to the port or no board answering.\n";
}

const char* JobTypeName(int type) {
    return type >= 0 && type < TicMax ? typeNames[type] : "?";
}
