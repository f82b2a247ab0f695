// The job's checks, in the order the operator hears of a fault.
#include "job/plan.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "defs.h"
#include "eprom/ic_func.h"
#include "eprom/ic_types.h"
#include "eprom/misc.h"
#include "eprom/parts.h"
#include "image/formats.h"
#include "image/ic_file.h"
#include "link/ctrl.h"
#include "link/port.h"

void JobDefaults(JobOptions* o) {
    memset(o, 0, sizeof *o);
    o->type = -1;
    o->vpp = T12_75V;
    o->vcc = T5V;
    o->delay = 2;
    o->format = -1;
    o->addressing = TADR_QUICK;
    o->reads = 2;
}

const char* JobActionName(JOB_ACTION kind) {
    switch (kind) {
    case TJOBBLANK:
        return "blank";
    case TJOBWRITE:
        return "write";
    case TJOBVERIFY:
        return "verify";
    case TJOBREAD:
        return "read";
    case TJOBINSPECT:
        return "inspect";
    }
    return "?";
}

// Each check gives 1, or 0 with the reason in `why`.
__attribute__((format(printf, 3, 4))) static int refuse(char* why, size_t n, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    vsnprintf(why, n, fmt, args);
    va_end(args);
    return 0;
}

static int formatOf(const JobOptions* o, const char* file) {
    return o->format >= 0 ? o->format : ImageFormatOfFile(file);
}

static const char* shownName(const char* file) {
    return strcmp(file, "-") == 0 ? "(standard input)" : file;
}

// The actions that take an image file in.
static bool takesImage(JOB_ACTION kind) {
    return kind == TJOBWRITE || kind == TJOBVERIFY || kind == TJOBINSPECT;
}

int JobInspectsOnly(const JobOptions* o) {
    for (int a = 0; a < o->count; a++)
        if (o->actions[a].kind != TJOBINSPECT)
            return 0;
    return o->count > 0;
}

static bool burns(const JobOptions* o) {
    for (int a = 0; a < o->count; a++)
        if (o->actions[a].kind == TJOBWRITE)
            return true;
    return false;
}

// ---- Without a file --------------------------------------------------------------------------

// The chip of the job from -t, -p and --vpp together: a part brings its type and the voltage
// that programs it. The board measures no voltage and reads no identity from the chip, so a
// level that would destroy it is stopped here, as the burn itself would stop it: above the
// part's limit whatever the actions (the operator named a voltage the chip cannot take), and
// for a burn above the highest that any part of the type programs at.
static int settleChip(JobOptions* o, char* why, size_t n) {
    char text[200];
    const EpromPart* part = o->part;
    if (part && o->type >= 0 && o->type != part->type)
        return refuse(why, n, "-t %s and -p %s: %s", o->typeText, o->partText,
                      VppRefusal(o->type, part, o->vpp, 0, text, sizeof text));
    if (part) {
        o->type = part->type;
        if (!o->vppText && PartProgrammable(part))
            o->vpp = part->vpp;
    }
    if (o->type < 0 && JobInspectsOnly(o))
        return 1; // files only: the size is each file's own
    if (o->type < 0)
        return refuse(why, n, "%s", "a job needs the EPROM type (-t TYPE) or the part (-p NAME)");
    const char* refusal = VppRefusal(o->type, part, o->vpp, burns(o), text, sizeof text);
    if (!refusal && o->typePart)
        refusal = VppRefusal(o->type, o->typePart, o->vpp, burns(o), text, sizeof text);
    if (refusal) {
        char volts[16];
        return refuse(why, n, "--vpp %s: %s",
                      o->vppText ? o->vppText
                                 : FormatVolts(VppLevelMillivolts(o->vpp), volts, sizeof volts),
                      refusal);
    }
    return 1;
}

// What the command line alone tells: every action possible for the type, an offset only
// where the image has addresses, every output format able to hold the addresses, and an
// image to standard output only where it can arrive.
static int checkActions(const JobPlan* p, int stdoutClosed, char* why, size_t n) {
    const JobOptions* o = &p->o;
    char err[400];
    for (int a = 0; a < o->count; a++) {
        const JobAction& act = o->actions[a];
        if (act.kind == TJOBWRITE &&
            (!ICTypeProgrammable(o->type) || (o->part && !PartProgrammable(o->part))))
            return refuse(why, n, "--write: a %s cannot be programmed on this board",
                          o->part ? o->part->names[0] : ICTypeName(o->type));
        if (act.kind == TJOBBLANK)
            continue;
        const bool toStdout = act.kind == TJOBREAD && strcmp(act.file, "-") == 0;
        if (act.kind == TJOBREAD && o->majority && o->reads < 3)
            return refuse(why, n,
                          "--majority needs 3 or more reads to outvote one (--reads %d given)",
                          o->reads);
        const char* shown = toStdout ? "(standard output)" : shownName(act.file);
        const int fmt = formatOf(o, act.file);
        if (o->offset && fmt == TIMGRAW)
            return refuse(why, n,
                          "--offset 0x%lX: %s is a raw image, which has no addresses (--format "
                          "ihex or srec gives it some)",
                          o->offset, shown);
        if (act.kind != TJOBREAD)
            continue;
        if (!ImageFormatHolds((IMG_FORMAT)fmt, p->end, o->offset, err, sizeof err))
            return refuse(why, n, "%s: %s", shown, err);
        if (toStdout && stdoutClosed)
            return refuse(why, n, "%s",
                          "--read -: standard output is closed; the image would be lost");
    }
    return 1;
}

// No --read may write over the image of a --write or --verify: a read first would replace the
// image with the old chip's contents, and a burn that then fails would leave it nowhere. Nor
// over an --inspect's, which would look at the file as it was before the job.
// Asked before the port is opened: only the names are looked at.
static int checkOwnInputs(const JobOptions* o, char* why, size_t n) {
    for (int a = 0; a < o->count; a++) {
        const JobAction& out = o->actions[a];
        if (out.kind != TJOBREAD || strcmp(out.file, "-") == 0)
            continue;
        for (int b = 0; b < o->count; b++) {
            const JobAction& in = o->actions[b];
            if (!takesImage(in.kind) || strcmp(in.file, "-") == 0 ||
                !SameImageFile(out.file, in.file))
                continue;
            return refuse(why, n,
                          "--read %s would replace the image of --%s %s: read into another file",
                          out.file, JobActionName(in.kind), in.file);
        }
    }
    return 1;
}

// Of the part named with -p and the part a -t name stands for, the one whose limit holds.
static const EpromPart* partInForce(const JobOptions* o) {
    const EpromPart* a = o->part;
    const EpromPart* b = o->typePart;
    return !a || (b && b->vppLimit < a->vppLimit) ? b : a;
}

int PlanJob(const JobOptions* given, int stdoutClosed, JobPlan* p, char* why, size_t n) {
    memset(p, 0, sizeof *p);
    p->o = *given;
    const JobOptions* o = &p->o;
    if (!settleChip(&p->o, why, n))
        return 0;
    p->noBoard = JobInspectsOnly(o);
    p->maxAdr = o->type < 0 ? BUFFER_SIZE - 1 : GetLastAdress((uint16_t)o->type);
    if (o->rangeGiven && (o->range == 0 || o->range > p->maxAdr))
        return refuse(why, n, "--range 0x%lX: a %s has 0x1 to 0x%lX", o->range,
                      o->type < 0 ? "job without a chip" : ICTypeName(o->type), p->maxAdr);
    p->end = o->rangeGiven ? o->range : p->maxAdr;
    if (!checkActions(p, stdoutClosed, why, n) || !checkOwnInputs(o, why, n))
        return 0;
    p->part = partInForce(o);
    for (int a = 0; a < o->count; a++)
        if (o->actions[a].kind == TJOBREAD && strcmp(o->actions[a].file, "-") == 0)
            p->imageOut = 1;
    return 1;
}

// ---- With the operator's rights --------------------------------------------------------------

// Every file a --read writes can be created or written with the operator's rights, asked
// without touching it.
static int checkOutputs(const JobOptions* o, char* why, size_t n) {
    for (int a = 0; a < o->count; a++) {
        const JobAction& act = o->actions[a];
        if (act.kind != TJOBREAD || strcmp(act.file, "-") == 0)
            continue;
        const ImgOutcome r = CheckSaveTarget(act.file);
        if (r.result != TIMGOK)
            return refuse(why, n, "can't create %s: %s", act.file, strerror(r.err));
    }
    return 1;
}

// The bytes of an image file (or of standard input for "-"), read as the menu's load reads
// them, or 0 with the reason. A file without a byte is no error here: the parser says that it
// holds no data.
static unsigned char* readImageFile(const char* file, const JobHooks* hooks, unsigned long* len,
                                    char* why, size_t n) {
    const bool isStdin = strcmp(file, "-") == 0;
    unsigned char* data = nullptr;
    const ImgOutcome r =
        ReadImageBytes(isStdin ? nullptr : file, IMG_FILE_MAX, hooks->stopped, &data, len);
    switch (r.result) {
    case TIMGOK:
        return data;
    case TIMGEMPTY:
        *len = 0;
        return (unsigned char*)malloc(1);
    case TIMGNOOPEN:
        refuse(why, n, "can't open %s: %s", file, strerror(r.err));
        return nullptr;
    case TIMGTOOBIG:
        refuse(why, n, "%s: more than %lu bytes", shownName(file), IMG_FILE_MAX);
        return nullptr;
    case TIMGNOMEMORY:
        refuse(why, n, "%s: out of memory", shownName(file));
        return nullptr;
    case TIMGSTOPPED:
        if (hooks->checkStop)
            hooks->checkStop(); // the job ends by the signal here
        break;
    case TIMGNONAME:
    case TIMGREADERROR:
    case TIMGNOTHING:
    case TIMGNOCREATE:
    case TIMGWRITEERROR:
        break;
    }
    refuse(why, n, "%s: read error: %s", shownName(file), strerror(r.err));
    return nullptr;
}

static const JobImage* findImage(const JobPlan* p, const char* file, int format) {
    for (int k = 0; k < p->imageCount; k++)
        if (strcmp(p->images[k].file, file) == 0 && p->images[k].format == format)
            return &p->images[k];
    return nullptr;
}

// One image into the plan: the file read and parsed to the chip's size.
static int loadImage(JobPlan* p, const char* file, int fmt, const JobHooks* hooks, char* why,
                     size_t n) {
    const JobOptions* o = &p->o;
    const unsigned long size = p->maxAdr + 1;
    JobImage& img = p->images[p->imageCount++];
    img.file = file;
    img.format = fmt;
    img.bytes = (unsigned char*)malloc(size);
    if (!img.bytes)
        return refuse(why, n, "%s", "out of memory");
    memset(img.bytes, 0xFF, size);
    unsigned long len = 0;
    unsigned char* data = readImageFile(file, hooks, &len, why, n);
    if (!data)
        return 0;
    // Only the name made it raw: text of records would be burnt as its characters.
    const IMG_FORMAT text = o->format < 0 && fmt == TIMGRAW ? ImageTextFormat(data, len) : TIMGRAW;
    if (text != TIMGRAW) {
        free(data);
        return refuse(why, n,
                      "%s: the file is %s text, not a raw image: give --format %s (or --format "
                      "raw to burn its characters)",
                      shownName(file), text == TIMGIHEX ? "Intel HEX" : "S-record",
                      ImageFormatName(text));
    }
    const unsigned int ok =
        ParseImage((IMG_FORMAT)fmt, file, data, len, img.bytes, size, o->offset, &img.last, why, n);
    free(data);
    return ok ? 1 : 0;
}

int LoadJobFiles(JobPlan* p, const JobHooks* hooks, char* why, size_t n) {
    const JobOptions* o = &p->o;
    if (!checkOutputs(o, why, n))
        return 0;
    // Standard input can be read only once: each file once, in the order of the actions.
    for (int a = 0; a < o->count; a++) {
        const JobAction& act = o->actions[a];
        if (!takesImage(act.kind))
            continue;
        const int fmt = formatOf(o, act.file);
        if (!findImage(p, act.file, fmt) && !loadImage(p, act.file, fmt, hooks, why, n))
            return 0;
    }
    // The runs take an end of 0 as no range; an --inspect looks at one byte as well.
    for (int a = 0; a < o->count; a++) {
        const JobImage* img = JobImageOf(p, a);
        if (img && o->actions[a].kind != TJOBINSPECT && !o->rangeGiven && img->last == 0)
            return refuse(why, n,
                          "%s: the image holds address 0 only; a job needs --range 1 or more",
                          img->file);
    }
    return 1;
}

const JobImage* JobImageOf(const JobPlan* p, int a) {
    const JobAction& act = p->o.actions[a];
    if (!takesImage(act.kind))
        return nullptr;
    return findImage(p, act.file, formatOf(&p->o, act.file));
}

// ---- On the board ------------------------------------------------------------------------------

int StartJob(JobPlan* p, const JobHooks* hooks, char* why, size_t n) {
    p->work = (unsigned char*)malloc(BUFFER_SIZE);
    p->chip = (unsigned char*)malloc(BUFFER_SIZE);
    if (!p->work || !p->chip)
        return refuse(why, n, "%s", "malloc(0x80000)");
    memset(p->work, 0, BUFFER_SIZE);
    memset(p->chip, 0, BUFFER_SIZE);
    if (hooks->checkStop)
        hooks->checkStop();
    const JobOptions* o = &p->o;
    SetICType(o->type);
    epromPart = p->part;
    SetVpp(o->vpp);
    vcc = o->vcc;
    SetVcc((unsigned int)vcc);
    set_delay((uint8_t)o->delay);
    return 1;
}

void EndJob(JobPlan* p) {
    for (int k = 0; k < p->imageCount; k++)
        free(p->images[k].bytes);
    p->imageCount = 0;
    free(p->work);
    p->work = nullptr;
    free(p->chip);
    p->chip = nullptr;
}
