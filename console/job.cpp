// The job mode: the menu's chip runs driven from the command line. Everything that can be
// checked without the board (the options, the images, the range) is checked before the
// board is touched, so a typo in a makefile never costs a chip.
#include "console/job.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <strings.h>
#include <unistd.h>

#include "console/conio.h"
#include "console/msgbox.h"
#include "defs.h"
#include "eprom/ic_func.h"
#include "eprom/misc.h"
#include "image/formats.h"
#include "image/ic_file.h"
#include "link/hw.h"

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

// A decimal number from `lo` to `hi`, nothing else.
static int decimal(const char* s, long lo, long hi, long* v) {
    char* end;
    if (*s < '0' || *s > '9')
        return 0;
    *v = strtol(s, &end, 10);
    return *end == '\0' && *v >= lo && *v <= hi;
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
    long num = 0;
    unsigned long hex = 0;
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
        if (!decimal(v, 1, 255, &num)) {
            snprintf(err, errSize, "--delay '%s': a bus delay factor from 1 to 255", v);
            return -1;
        }
        o->delay = (int)num;
    } else if (strcmp(name, "--range") == 0 || strcmp(name, "--offset") == 0) {
        if (!conParseHex(v, &hex)) {
            snprintf(err, errSize, "%s '%s': a hexadecimal address (7FFF, 0x8000)", name, v);
            return -1;
        }
        if (name[2] == 'r') {
            o->range = hex;
            o->rangeGiven = 1;
        } else {
            o->offset = hex;
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

// ---- Running -------------------------------------------------------------------------------

static const char* progName = "vantrel";
static FILE* results = stdout; // one line per action
static struct timespec runStart;

__attribute__((format(printf, 1, 2))) static void complain(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    fprintf(stderr, "%s: ", progName);
    vfprintf(stderr, fmt, args);
    fputc('\n', stderr);
    va_end(args);
}

static double secondsSince(const struct timespec* t0) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)(now.tv_sec - t0->tv_sec) + (double)(now.tv_nsec - t0->tv_nsec) / 1e9;
}

// One line on a terminal, rewritten in place: how far the run is and how long it will take.
static void showJobProgress(unsigned long adresse, unsigned long end) {
    const double done = (double)adresse / (double)(end + 1);
    const double elapsed = secondsSince(&runStart);
    const long left = done > 0 ? (long)(elapsed / done - elapsed + 0.5) : 0;
    fprintf(stderr, "\r%3d%%  0x%05lX  %ld:%02ld elapsed  %ld:%02ld left ", (int)(done * 100),
            adresse, (long)elapsed / 60, (long)elapsed % 60, left / 60, left % 60);
    fflush(stderr);
}

static void endJobProgress(void) {
    if (RunProgress) {
        fprintf(stderr, "\r%60s\r", "");
        fflush(stderr);
    }
}

// CRC-32 as zip and most EPROM programmers print it (reflected, polynomial 0xEDB88320).
static unsigned long crc32Of(const unsigned char* p, unsigned long n) {
    unsigned long crc = 0xFFFFFFFFUL;
    for (unsigned long i = 0; i < n; i++) {
        crc ^= p[i];
        for (int b = 0; b < 8; b++)
            crc = (crc >> 1) ^ (0xEDB88320UL & (0UL - (crc & 1)));
    }
    return crc ^ 0xFFFFFFFFUL;
}

struct JobImage {
    const char* file;
    int format;
    unsigned char* bytes; // the chip's size, 0xFF where the file has nothing
    unsigned long last;   // highest address holding data
};

static int formatOf(const JobOptions* o, const char* file) {
    return o->format >= 0 ? o->format : ImageFormatOfFile(file);
}

// The images of every --write and --verify, each file read once (standard input can be read
// only once). Returns 0 after saying what is wrong.
static int loadImages(const JobOptions* o, unsigned long size, JobImage* imgs, int* nimg) {
    char err[400];
    for (int a = 0; a < o->count; a++) {
        const JobAction& act = o->actions[a];
        if (act.kind != TJOBWRITE && act.kind != TJOBVERIFY)
            continue;
        const int fmt = formatOf(o, act.file);
        bool have = false;
        for (int k = 0; k < *nimg; k++)
            have = have || (strcmp(imgs[k].file, act.file) == 0 && imgs[k].format == fmt);
        if (have)
            continue;
        JobImage& img = imgs[(*nimg)++];
        img.file = act.file;
        img.format = fmt;
        img.bytes = (unsigned char*)malloc(size);
        if (!img.bytes) {
            complain("%s", "out of memory");
            return 0;
        }
        memset(img.bytes, 0xFF, size);
        if (!LoadImageFile((IMG_FORMAT)fmt, act.file, img.bytes, size, o->offset, &img.last, err,
                           sizeof err)) {
            complain("%s", err);
            return 0;
        }
    }
    return 1;
}

static const JobImage* imageOf(const JobOptions* o, const JobImage* imgs, int nimg,
                               const JobAction& act) {
    if (act.kind != TJOBWRITE && act.kind != TJOBVERIFY)
        return nullptr;
    const char* file = act.file;
    const int fmt = formatOf(o, file);
    for (int k = 0; k < nimg; k++)
        if (strcmp(imgs[k].file, file) == 0 && imgs[k].format == fmt)
            return &imgs[k];
    return nullptr;
}

// The chip's bytes 0..end into the file (or standard output) in its format. Returns 1, or 0
// after saying what went wrong.
static int saveRead(const JobOptions* o, const char* file, const unsigned char* p,
                    unsigned long end) {
    char err[400];
    unsigned long len = 0;
    unsigned char* text =
        FormatImage((IMG_FORMAT)formatOf(o, file), p, end, o->offset, &len, err, sizeof err);
    if (!text) {
        complain("%s", err);
        return 0;
    }
    int ok;
    if (strcmp(file, "-") == 0) {
        ok = fwrite(text, 1, len, stdout) == len && fflush(stdout) == 0;
        if (!ok)
            complain("%s", "standard output: cannot write the image");
    } else {
        ok = Write_File(file, text, len) == len;
        if (!ok)
            complain("%s: %s", file, FileErrorText());
    }
    free(text);
    return ok;
}

// Runs one action; returns the job's status so far (JOB_OK to go on).
static int runAction(const JobOptions* o, const JobAction& act, const JobImage* img,
                     unsigned char* work, unsigned long maxAdr) {
    const unsigned long end = o->rangeGiven ? o->range : img ? img->last : maxAdr;
    const unsigned long count = end + 1;
    clock_gettime(CLOCK_MONOTONIC, &runStart);
    switch (act.kind) {
    case TJOBBLANK:
        CompareIC(work, end, 1);
        break;
    case TJOBWRITE:
        memcpy(work, img->bytes, maxAdr + 1);
        WriteIC(work, end);
        break;
    case TJOBVERIFY:
        memcpy(work, img->bytes, maxAdr + 1);
        VerifyReadsOn = 1;
        CompareIC(work, end, 0);
        VerifyReadsOn = 0;
        break;
    default:
        ReadIC(work, end);
        break;
    }
    endJobProgress();
    conCheckStop(); // a stop signal: the run has left the chip idle; the job ends here
    const RunReport& r = LastRun;
    switch (r.outcome) {
    case RUN_OK:
        break;
    case RUN_NOT_BLANK:
        fprintf(results, "blank: not blank at 0x%04lX: chip 0x%02X\n", r.adresse, r.chip);
        return JOB_CHIP_FAILED;
    case RUN_MISMATCH:
        fprintf(results, "verify: mismatch at 0x%04lX: chip 0x%02X, image 0x%02X, %lu %s\n",
                r.adresse, r.chip, r.wanted, r.differ,
                r.differ == 1 ? "byte differs" : "bytes differ");
        return JOB_CHIP_FAILED;
    case RUN_WRITE_ERROR:
        fprintf(results, "write: error at 0x%04lX: chip 0x%02X, image 0x%02X after 10 pulses\n",
                r.adresse, r.chip, r.wanted);
        return JOB_CHIP_FAILED;
    case RUN_TIMEOUT:
        fprintf(results, "write: timeout at 0x%04lX: the board's pulse never ended\n", r.adresse);
        return JOB_CHIP_FAILED;
    case RUN_NOT_SUPPORTED:
        fprintf(results, "write: a %s cannot be programmed on this board\n", typeNames[epromtyp]);
        return JOB_CHIP_FAILED;
    default:
        fprintf(results, "stopped\n");
        return JOB_CHIP_FAILED;
    }
    switch (act.kind) {
    case TJOBBLANK:
        fprintf(results, "blank: ok\n");
        break;
    case TJOBWRITE:
        fprintf(results, "write: %lu bytes ok\n", count);
        break;
    case TJOBVERIFY:
        fprintf(results, "verify: %lu bytes ok\n", count);
        break;
    default: {
        unsigned long sum = 0;
        for (unsigned long i = 0; i <= end; i++)
            sum += work[i];
        if (!saveRead(o, act.file, work, end))
            return JOB_BAD_USAGE;
        fprintf(results, "read: %lu bytes, sum 0x%04lX, CRC-32 0x%08lX\n", count, sum & 0xFFFF,
                crc32Of(work, count));
        break;
    }
    }
    fflush(results);
    return JOB_OK;
}

static int runLoaded(const JobOptions* o, const char* port, unsigned long maxAdr,
                     const JobImage* imgs, int nimg);

int RunJob(const JobOptions* o, const char* name, const char* port) {
    progName = name;
    if (o->type < 0) {
        complain("%s", "a job needs the EPROM type (-t TYPE)");
        return JOB_BAD_USAGE;
    }
    const unsigned long maxAdr = GetLastAdress((uint16_t)o->type);
    if (o->rangeGiven && (o->range == 0 || o->range > maxAdr)) {
        complain("--range 0x%lX: a %s has 0x1 to 0x%lX", o->range, typeNames[o->type], maxAdr);
        return JOB_BAD_USAGE;
    }
    // The image travels on standard output: the result lines go beside the errors.
    for (int a = 0; a < o->count; a++)
        if (o->actions[a].kind == TJOBREAD && strcmp(o->actions[a].file, "-") == 0)
            results = stderr;

    // No operator: boxes go nowhere and wait for nobody; the runs' screen text likewise. The
    // port's refusal texts go to standard error.
    BoxesWait = 0;
    static FILE* const screen = fopen("/dev/null", "w"); // open for the rest of the run
    static FILE* const keys = fopen("/dev/null", "r");
    conIn = keys ? keys : stdin;
    InputClosed = 1;
    conInit();
    conOut = stderr;

    // The port first, so that root's rights end before any file is read or written; the
    // board hears nothing before the images have passed their checks.
    if (!port)
        port = "0x378";
    if (openPortByName(port) != 1) {
        showPortRefusal();
        complain("no access to the port %s", port);
        return JOB_NO_BOARD;
    }
    endRootRights();
    conOut = screen ? screen : stderr;

    JobImage imgs[JOB_ACTIONS_MAX];
    int nimg = 0;
    int status = JOB_BAD_USAGE;
    if (loadImages(o, maxAdr + 1, imgs, &nimg))
        status = runLoaded(o, port, maxAdr, imgs, nimg);
    for (int k = 0; k < nimg; k++)
        free(imgs[k].bytes);
    return status;
}

// The job once its images are in memory: the board, the settings, the actions.
static int runLoaded(const JobOptions* o, const char* port, unsigned long maxAdr,
                     const JobImage* imgs, int nimg) {
    for (int k = 0; k < nimg; k++)
        if (!o->rangeGiven && imgs[k].last == 0) {
            // The chip runs take a range end of 0 as no range at all.
            complain("%s: the image holds address 0 only; a job needs --range 1 or more",
                     imgs[k].file);
            return JOB_BAD_USAGE;
        }
    if (!boardAnswers()) {
        complain("no Vantrel II answers on the port %s", port);
        return JOB_NO_BOARD;
    }
    unsigned char* work = (unsigned char*)malloc(BUFFER_SIZE);
    if (!work) {
        complain("%s", "malloc(0x80000)");
        return JOB_BAD_USAGE;
    }
    memset(work, 0, BUFFER_SIZE);
    conCheckStop();
    if (isatty(STDERR_FILENO))
        RunProgress = showJobProgress;
    SetICType(o->type);
    SetVpp(o->vpp);
    vcc = o->vcc;
    SetVcc((unsigned int)vcc);
    set_delay((uint8_t)o->delay);

    int status = JOB_OK;
    for (int a = 0; a < o->count && status == JOB_OK; a++)
        status = runAction(o, o->actions[a], imageOf(o, imgs, nimg, o->actions[a]), work, maxAdr);
    free(work);
    return status;
}
