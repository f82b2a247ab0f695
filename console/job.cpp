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

// ---- Running -------------------------------------------------------------------------------

static const char* progName = "vantrel";
static FILE* results = stdout; // one line per action

__attribute__((format(printf, 1, 2))) static void complain(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    fprintf(stderr, "%s: ", progName);
    vfprintf(stderr, fmt, args);
    fputc('\n', stderr);
    va_end(args);
}

static double monotonicSeconds(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec + (double)now.tv_nsec / 1e9;
}

// The progress display of one run: when it started, moved on by the time spent paused.
struct JobProgress {
    double start;
};

// One line on a terminal, rewritten in place: how far the run is and how long it will take.
static void showJobProgress(void* user, unsigned long adresse, unsigned long end) {
    const JobProgress* p = static_cast<const JobProgress*>(user);
    const double done = (double)adresse / (double)(end + 1);
    const double elapsed = monotonicSeconds() - p->start;
    const long left = done > 0 ? (long)(elapsed / done - elapsed + 0.5) : 0;
    fprintf(stderr, "\r%3d%%  0x%05lX  %ld:%02ld elapsed  %ld:%02ld left ", (int)(done * 100),
            adresse, (long)elapsed / 60, (long)elapsed % 60, left / 60, left % 60);
    fflush(stderr);
}

// Ctrl-Z in a run: the chip is at rest; the job stops until it is continued.
static void pauseJob(void* user, int sig) {
    JobProgress* p = static_cast<JobProgress*>(user);
    const double before = monotonicSeconds();
    conPause(sig);
    p->start += monotonicSeconds() - before;
}

static void endJobProgress(const RunHooks* hooks) {
    if (hooks->progress) {
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

// The name of an action on its result line.
static const char* actionName(int kind) {
    static const char* const names[TjobMax] = {"blank", "write", "verify", "read"};
    return kind >= 0 && kind < TjobMax ? names[kind] : "?";
}

// Runs one action; returns the job's status so far (JOB_OK to go on).
static int runAction(const JobOptions* o, const JobAction& act, const JobImage* img,
                     unsigned char* work, unsigned long maxAdr) {
    const unsigned long end = o->rangeGiven ? o->range : img ? img->last : maxAdr;
    const unsigned long count = end + 1;
    JobProgress progress = {monotonicSeconds()};
    RunHooks hooks = {nullptr, pauseJob, &progress};
    if (isatty(STDERR_FILENO))
        hooks.progress = showJobProgress;
    RunResult r;
    switch (act.kind) {
    case TJOBBLANK:
        r = RunCompare(work, end, 1, 0, &hooks);
        break;
    case TJOBWRITE:
        memcpy(work, img->bytes, maxAdr + 1);
        r = RunWrite(work, end, &hooks);
        break;
    case TJOBVERIFY:
        // Every byte that differs is counted, not only the first.
        memcpy(work, img->bytes, maxAdr + 1);
        r = RunCompare(work, end, 0, 1, &hooks);
        break;
    default:
        r = RunRead(work, end, &hooks);
        break;
    }
    endJobProgress(&hooks);
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
        fprintf(results, "write: a %s cannot be programmed on this board\n", JobTypeName(r.type));
        return JOB_CHIP_FAILED;
    default:
        // Stopped, with the chip at rest: how far it got, then the job ends by the signal.
        fprintf(results, "%s: stopped at 0x%04lX\n", actionName(act.kind), r.adresse);
        fflush(results);
        conCheckStop();
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
        complain("--range 0x%lX: a %s has 0x1 to 0x%lX", o->range, JobTypeName(o->type), maxAdr);
        return JOB_BAD_USAGE;
    }
    // The image travels on standard output: the result lines go beside the errors.
    for (int a = 0; a < o->count; a++)
        if (o->actions[a].kind == TJOBREAD && strcmp(o->actions[a].file, "-") == 0)
            results = stderr;

    // No operator: the boxes of the file operations go nowhere and wait for nobody (the chip
    // runs show nothing themselves; their results make the job's lines). The port's refusal
    // texts go to standard error.
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
    SetICType(o->type);
    SetVpp(o->vpp);
    vcc = o->vcc;
    SetVcc((unsigned int)vcc);
    set_delay((uint8_t)o->delay);

    int status = JOB_OK;
    for (int a = 0; a < o->count && status == JOB_OK; a++) {
        status = runAction(o, o->actions[a], imageOf(o, imgs, nimg, o->actions[a]), work, maxAdr);
        // A stop between two actions, or during an action's output or its line, ends the
        // job by the signal as well: the chip is at rest by now.
        fflush(results);
        conCheckStop();
    }
    free(work);
    return status;
}
