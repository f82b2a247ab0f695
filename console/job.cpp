// The job mode: the chip runs driven from the command line. Everything that can be
// checked without the board (the options, the images, the range, the output files, what the
// type allows) is checked before the board is touched, so a typo in a makefile never costs
// a chip.
#include "console/job.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <strings.h>
#include <unistd.h>

#include "console/conio.h"
#include "console/files.h"
#include "console/ports.h"
#include "defs.h"
#include "eprom/ic_func.h"
#include "eprom/ic_types.h"
#include "eprom/misc.h"
#include "eprom/parts.h"
#include "image/formats.h"
#include "image/ic_file.h"
#include "job/hashes.h"
#include "link/hw.h"

// ---- Running -------------------------------------------------------------------------------

static const char* progName = "vantrel";
static FILE* results = stdout; // one line per action
static int resultLost = 0;     // a result line could not be written: the job fails

__attribute__((format(printf, 1, 2))) static void complain(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    fprintf(stderr, "%s: ", progName);
    vfprintf(stderr, fmt, args);
    fputc('\n', stderr);
    va_end(args);
}

// One result line, on its way at once. A script that cannot read what happened must not be
// told by the status that all went well.
__attribute__((format(printf, 1, 2))) static void putResult(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    const int printed = vfprintf(results, fmt, args);
    va_end(args);
    if (printed >= 0 && fflush(results) == 0 && !ferror(results))
        return;
    const int err = errno;
    conCheckStop(); // a stop signal cut the write short: the job ends by it
    if (!resultLost)
        complain("%s: cannot write the result line: %s",
                 results == stdout ? "standard output" : "standard error", strerror(err));
    resultLost = 1;
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

struct JobImage {
    const char* file;
    int format;
    unsigned char* bytes; // the chip's size, 0xFF where the file has nothing
    unsigned long last;   // highest address holding data
};

static int formatOf(const JobOptions* o, const char* file) {
    return o->format >= 0 ? o->format : ImageFormatOfFile(file);
}

static const char* shownName(const char* file) {
    return strcmp(file, "-") == 0 ? "(standard input)" : file;
}

// The bytes of an image file (or of standard input for "-"), read as the menu's load reads
// them, or 0 after saying what is wrong. A file without a byte is no error here: the parser
// says that it holds no data.
static unsigned char* readImageFile(const char* file, unsigned long* len) {
    const bool isStdin = strcmp(file, "-") == 0;
    unsigned char* data = nullptr;
    const ImgOutcome r =
        ReadImageBytes(isStdin ? nullptr : file, IMG_FILE_MAX, StopAsked, &data, len);
    switch (r.result) {
    case TIMGOK:
        return data;
    case TIMGEMPTY:
        *len = 0;
        return (unsigned char*)malloc(1);
    case TIMGSTOPPED:
        conCheckStop(); // the job ends by the signal here
        complain("%s: read error: %s", shownName(file), strerror(r.err));
        return nullptr;
    case TIMGNOOPEN:
        complain("can't open %s: %s", file, strerror(r.err));
        return nullptr;
    case TIMGTOOBIG:
        complain("%s: more than %lu bytes", shownName(file), IMG_FILE_MAX);
        return nullptr;
    case TIMGNOMEMORY:
        complain("%s: out of memory", shownName(file));
        return nullptr;
    default:
        complain("%s: read error: %s", shownName(file), strerror(r.err));
        return nullptr;
    }
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
        unsigned long len = 0;
        unsigned char* data = readImageFile(act.file, &len);
        if (!data)
            return 0;
        // Only the name made it raw: text of records would be burnt as its characters.
        const IMG_FORMAT text =
            o->format < 0 && fmt == TIMGRAW ? ImageTextFormat(data, len) : TIMGRAW;
        if (text != TIMGRAW) {
            complain("%s: the file is %s text, not a raw image: give --format %s (or --format raw "
                     "to burn its characters)",
                     shownName(act.file), text == TIMGIHEX ? "Intel HEX" : "S-record",
                     ImageFormatName(text));
            free(data);
            return 0;
        }
        const unsigned int ok = ParseImage((IMG_FORMAT)fmt, act.file, data, len, img.bytes, size,
                                           o->offset, &img.last, err, sizeof err);
        free(data);
        if (!ok) {
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

// The image on standard output. A reader that has stopped reading leaves the write waiting
// on a full pipe; a stop signal must end that wait even when part of the image has gone,
// which stdio would take up again without asking. 1, or 0 with the write's errno.
static int writeStdout(const unsigned char* p, unsigned long n, int* errnum) {
    if (fflush(stdout) != 0) {
        *errnum = errno;
        return 0;
    }
    while (n > 0) {
        const ssize_t w = write(STDOUT_FILENO, p, n);
        if (StopAsked()) {
            *errnum = EINTR;
            return 0;
        }
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            *errnum = w < 0 ? errno : EIO;
            return 0;
        }
        p += w;
        n -= (unsigned long)w;
    }
    return 1;
}

// The chip's bytes 0..end into the file (or standard output) in its format. Returns 1, or 0
// after saying what went wrong. A stop signal during the save ends the job by the signal
// once the save is over: a file the save replaces keeps its old contents until the new ones
// are whole on disk.
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
        int errnum = 0;
        ok = writeStdout(text, len, &errnum);
        conCheckStop();
        if (!ok)
            complain("standard output: cannot write the image: %s", strerror(errnum));
    } else {
        const ImgOutcome r = SaveImageFile(file, text, len);
        conCheckStop();
        ok = r.result == TIMGOK;
        if (r.result == TIMGNOCREATE)
            complain("can't create %s: %s", file, strerror(r.err));
        else if (!ok)
            complain("%s: write error: %s", file, strerror(r.err));
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
        putResult("blank: not blank at 0x%04lX: chip 0x%02X\n", r.adresse, r.chip);
        return JOB_CHIP_FAILED;
    case RUN_MISMATCH:
        putResult("verify: mismatch at 0x%04lX: chip 0x%02X, image 0x%02X, %lu %s\n", r.adresse,
                  r.chip, r.wanted, r.differ, r.differ == 1 ? "byte differs" : "bytes differ");
        return JOB_CHIP_FAILED;
    case RUN_WRITE_ERROR:
        putResult("write: error at 0x%04lX: chip 0x%02X, image 0x%02X after 10 pulses\n", r.adresse,
                  r.chip, r.wanted);
        return JOB_CHIP_FAILED;
    case RUN_TIMEOUT:
        putResult("write: timeout at 0x%04lX: the board's pulse never ended\n", r.adresse);
        return JOB_CHIP_FAILED;
    case RUN_NOT_SUPPORTED:
        putResult("write: a %s cannot be programmed on this board\n", JobTypeName(r.type));
        return JOB_CHIP_FAILED;
    case RUN_REFUSED: {
        char why[200];
        putResult("write: refused: %s\n", VppRefusal(epromtyp, epromPart, vpp, 1, why, sizeof why));
        return JOB_BAD_USAGE;
    }
    default:
        // Stopped, with the chip at rest: how far it got, then the job ends by the signal.
        putResult("%s: stopped at 0x%04lX\n", actionName(act.kind), r.adresse);
        conCheckStop();
        return JOB_CHIP_FAILED;
    }
    switch (act.kind) {
    case TJOBBLANK:
        putResult("blank: ok\n");
        break;
    case TJOBWRITE:
        putResult("write: %lu bytes ok\n", count);
        break;
    case TJOBVERIFY:
        putResult("verify: %lu bytes ok\n", count);
        break;
    default:
        if (!saveRead(o, act.file, work, end))
            return JOB_BAD_USAGE;
        putResult("read: %lu bytes, sum 0x%04lX, CRC-32 0x%08lX\n", count, ByteSum16(work, count),
                  Crc32Of(work, count));
        break;
    }
    return JOB_OK;
}

static int runLoaded(const JobOptions* o, const char* port, unsigned long maxAdr,
                     const JobImage* imgs, int nimg);

// What the command line alone tells: every action possible for the type, an offset only
// where the image has addresses, every output format able to hold the addresses, and an
// image to standard output only where it can arrive. Returns 0 after saying what is wrong.
static int checkActions(const JobOptions* o, unsigned long maxAdr) {
    char err[400];
    for (int a = 0; a < o->count; a++) {
        const JobAction& act = o->actions[a];
        if (act.kind == TJOBWRITE &&
            (!ICTypeProgrammable(o->type) || (o->part && !PartProgrammable(o->part)))) {
            complain("--write: a %s cannot be programmed on this board",
                     o->part ? o->part->names[0] : JobTypeName(o->type));
            return 0;
        }
        if (act.kind == TJOBBLANK)
            continue;
        const bool toStdout = act.kind == TJOBREAD && strcmp(act.file, "-") == 0;
        const char* shown = toStdout ? "(standard output)" : shownName(act.file);
        const int fmt = formatOf(o, act.file);
        if (o->offset && fmt == TIMGRAW) {
            complain("--offset 0x%lX: %s is a raw image, which has no addresses (--format ihex "
                     "or srec gives it some)",
                     o->offset, shown);
            return 0;
        }
        if (act.kind != TJOBREAD)
            continue;
        const unsigned long end = o->rangeGiven ? o->range : maxAdr;
        if (!ImageFormatHolds((IMG_FORMAT)fmt, end, o->offset, err, sizeof err)) {
            complain("%s: %s", shown, err);
            return 0;
        }
        if (toStdout && StdoutWasClosed) {
            complain("%s", "--read -: standard output is closed; the image would be lost");
            return 0;
        }
    }
    return 1;
}

// Every file a --read writes can be created or written with the operator's rights, asked
// without touching it. Returns 0 after saying what is wrong.
static int checkOutputs(const JobOptions* o) {
    for (int a = 0; a < o->count; a++) {
        const JobAction& act = o->actions[a];
        if (act.kind != TJOBREAD || strcmp(act.file, "-") == 0)
            continue;
        const ImgOutcome r = CheckSaveTarget(act.file);
        if (r.result != TIMGOK) {
            complain("can't create %s: %s", act.file, strerror(r.err));
            return 0;
        }
    }
    return 1;
}

// No --read may write over the image of a --write or --verify: a read first would replace the
// image with the old chip's contents, and a burn that then fails would leave it nowhere.
// Asked before the port is opened: only the names are looked at. Returns 0 after saying so.
static int checkOwnInputs(const JobOptions* o) {
    for (int a = 0; a < o->count; a++) {
        const JobAction& out = o->actions[a];
        if (out.kind != TJOBREAD || strcmp(out.file, "-") == 0)
            continue;
        for (int b = 0; b < o->count; b++) {
            const JobAction& in = o->actions[b];
            if ((in.kind != TJOBWRITE && in.kind != TJOBVERIFY) || strcmp(in.file, "-") == 0 ||
                !SameImageFile(out.file, in.file))
                continue;
            complain("--read %s would replace the image of --%s %s: read into another file",
                     out.file, actionName(in.kind), in.file);
            return 0;
        }
    }
    return 1;
}

static bool burns(const JobOptions* o) {
    for (int a = 0; a < o->count; a++)
        if (o->actions[a].kind == TJOBWRITE)
            return true;
    return false;
}

// Of the part named with -p and the part a -t name stands for, the one whose limit holds.
static const EpromPart* partInForce(const JobOptions* o) {
    const EpromPart* a = o->part;
    const EpromPart* b = o->typePart;
    return !a || (b && b->vppLimit < a->vppLimit) ? b : a;
}

// The chip of the job from -t, -p and --vpp together: a part brings its type and the voltage
// that programs it. The board measures no voltage and reads no identity from the chip, so a
// level that would destroy it is stopped here, as the burn itself would stop it: above the
// part's limit whatever the actions (the operator named a voltage the chip cannot take), and
// for a burn above the highest that any part of the type programs at. Returns 0 after saying
// what is wrong.
static int settleChip(JobOptions* o) {
    char why[200];
    const EpromPart* part = o->part;
    if (part && o->type >= 0 && o->type != part->type) {
        complain("-t %s and -p %s: %s", o->typeText, o->partText,
                 VppRefusal(o->type, part, o->vpp, 0, why, sizeof why));
        return 0;
    }
    if (part) {
        o->type = part->type;
        if (!o->vppText && PartProgrammable(part))
            o->vpp = part->vpp;
    }
    if (o->type < 0) {
        complain("%s", "a job needs the EPROM type (-t TYPE) or the part (-p NAME)");
        return 0;
    }
    const char* refusal = VppRefusal(o->type, part, o->vpp, burns(o), why, sizeof why);
    if (!refusal && o->typePart)
        refusal = VppRefusal(o->type, o->typePart, o->vpp, burns(o), why, sizeof why);
    if (refusal) {
        char volts[16];
        complain("--vpp %s: %s",
                 o->vppText ? o->vppText
                            : FormatVolts(VppLevelMillivolts(o->vpp), volts, sizeof volts),
                 refusal);
        return 0;
    }
    return 1;
}

// The part the job understood and the voltage it will use, before the board hears anything.
static void showPart(const JobOptions* o) {
    const EpromPart* part = o->part;
    if (!part)
        return;
    if (!PartProgrammable(part)) {
        complain("part %s: a %s, type %s, read only on this board", o->partText, part->names[0],
                 ICTypeName(part->type));
        return;
    }
    char volts[16], own[16];
    FormatVolts(VppLevelMillivolts(o->vpp), volts, sizeof volts);
    if (o->vpp == part->vpp) {
        complain("part %s: a %s, type %s, programming voltage %s", o->partText, part->names[0],
                 ICTypeName(part->type), volts);
        return;
    }
    complain("part %s: a %s, type %s, programming voltage %s (--vpp %s)", o->partText,
             part->names[0], ICTypeName(part->type), volts, o->vppText);
    complain("warning: a %s programs at %s: a burn at %s may leave its bytes unchanged",
             part->names[0], FormatVolts(VppLevelMillivolts(part->vpp), own, sizeof own), volts);
}

int RunJob(const JobOptions* given, const char* name, const char* port) {
    progName = name;
    JobOptions settled = *given;
    const JobOptions* o = &settled;
    if (!settleChip(&settled))
        return JOB_BAD_USAGE;
    const unsigned long maxAdr = GetLastAdress((uint16_t)o->type);
    if (o->rangeGiven && (o->range == 0 || o->range > maxAdr)) {
        complain("--range 0x%lX: a %s has 0x1 to 0x%lX", o->range, JobTypeName(o->type), maxAdr);
        return JOB_BAD_USAGE;
    }
    if (!checkActions(o, maxAdr) || !checkOwnInputs(o))
        return JOB_BAD_USAGE;
    showPart(o);
    // The image travels on standard output: the result lines go beside the errors.
    for (int a = 0; a < o->count; a++)
        if (o->actions[a].kind == TJOBREAD && strcmp(o->actions[a].file, "-") == 0)
            results = stderr;

    // Signals stop and pause the runs as in the menu. There is no operator to answer a
    // question: standard input is the image's, if anyone's.
    InputClosed = 1;
    conInit();

    // The port first, so that root's rights end before any file is read, written or checked
    // for the operator's rights; the board hears nothing before the images and the output
    // files have passed their checks.
    if (!port)
        port = "0x378";
    portFrontEnd(TFRONT_JOB, progName);
    const int opened = openPortByName(port);
    if (opened != 1) {
        const Detection d = {opened < 0 ? TPORT_BAD_NAME : TPORT_NO_ACCESS, TNOTE_NONE, Base};
        return startOnPort(&d, port);
    }
    const int rootStatus = dropRootRights();
    if (rootStatus >= 0)
        return rootStatus;

    JobImage imgs[JOB_ACTIONS_MAX];
    int nimg = 0;
    int status = JOB_BAD_USAGE;
    if (checkOutputs(o) && loadImages(o, maxAdr + 1, imgs, &nimg))
        status = runLoaded(o, port, maxAdr, imgs, nimg);
    for (int k = 0; k < nimg; k++)
        free(imgs[k].bytes);
    return resultLost ? JOB_BAD_USAGE : status;
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
    const Detection board = {boardAnswers() ? TPORT_FOUND : TPORT_NOT_FOUND, TNOTE_NONE, Base};
    const int boardStatus = startOnPort(&board, port);
    if (boardStatus >= 0)
        return boardStatus;
    unsigned char* work = (unsigned char*)malloc(BUFFER_SIZE);
    if (!work) {
        complain("%s", "malloc(0x80000)");
        return JOB_BAD_USAGE;
    }
    memset(work, 0, BUFFER_SIZE);
    conCheckStop();
    SetICType(o->type);
    epromPart = partInForce(o);
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
