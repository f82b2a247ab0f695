// The job's actions: the image into the buffer, the run, and a read's file.
#include "job/run.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "eprom/misc.h"
#include "eprom/parts.h"
#include "image/formats.h"
#include "image/ic_file.h"
#include "job/hashes.h"
#include "link/ctrl.h"

static JOB_OUTCOME outcomeOf(RunOutcome run) {
    switch (run) {
    case RUN_OK:
        return TACT_OK;
    case RUN_NOT_BLANK:
        return TACT_NOT_BLANK;
    case RUN_MISMATCH:
        return TACT_MISMATCH;
    case RUN_WRITE_ERROR:
        return TACT_WRITE_ERROR;
    case RUN_TIMEOUT:
        return TACT_TIMEOUT;
    case RUN_NOT_SUPPORTED:
        return TACT_NOT_SUPPORTED;
    case RUN_REFUSED:
        return TACT_REFUSED;
    case RUN_STOPPED:
        return TACT_STOPPED;
    case RUN_NO_RANGE:
    case RUN_NO_BUFFER:
        return TACT_NOT_RUN;
    }
    return TACT_NOT_RUN;
}

// ---- The passes of a read -------------------------------------------------------------------

// One pass's progress and pauses as those of the whole read: pass k of n goes from k x size.
struct PassHooks {
    const RunHooks* outer;
    unsigned long first; // the whole read's step at this pass's first cell
    unsigned long last;  // the whole read's last step
};

static void passProgress(void* user, unsigned long adresse, unsigned long) {
    const PassHooks* h = static_cast<const PassHooks*>(user);
    h->outer->progress(h->outer->user, h->first + adresse, h->last);
}

static void passPaused(void* user, int sig) {
    const PassHooks* h = static_cast<const PassHooks*>(user);
    h->outer->paused(h->outer->user, sig);
}

// Reads 0..end o.reads times and compares the passes; the agreed image (or with --majority
// their bitwise majority) is left in the runs' buffer. Where the type can be read both ways
// the passes take turns, quick first: a read that agrees with itself then also agrees across
// the two ways of giving the chip its addresses. A pass that does not end well ends the read.
static RunResult readPasses(JobPlan* p, unsigned long end, const RunHooks* hooks, JobResult* r) {
    const unsigned int reads = (unsigned int)p->o.reads;
    const unsigned long size = end + 1;
    const bool alternate = p->o.addressing == TADR_QUICK && QuickBanks(epromtyp, end) > 0;
    unsigned char* more = nullptr;
    if (reads > 1 && !(more = (unsigned char*)malloc((reads - 1) * size))) {
        snprintf(r->why, sizeof r->why, "out of memory for %u reads of %lu bytes", reads, size);
        return RunResult{RUN_NO_BUFFER, 0, 0, 0, 0, 0, 0, epromtyp};
    }
    const unsigned char* passes[PASSES_MAX];
    RunResult run = {};
    for (unsigned int k = 0; k < reads; k++) {
        unsigned char* pass = k == 0 ? p->work : more + (k - 1) * size;
        passes[k] = pass;
        PassHooks whole = {hooks, k * size, reads * size - 1};
        const RunHooks h = {hooks && hooks->progress ? passProgress : nullptr,
                            hooks && hooks->paused ? passPaused : nullptr, &whole};
        run = RunRead(pass, end, &h, alternate && k % 2 ? TADR_PLAIN : p->o.addressing);
        if (run.outcome != RUN_OK)
            break;
    }
    r->reads = reads;
    r->majority = p->o.majority;
    if (run.outcome == RUN_OK)
        ComparePasses(passes, reads, size, p->work, &r->passes);
    free(more);
    return run;
}

// An --inspect: its image as a read of the chip would have given it (without a chip, as far
// as the file goes). Nothing reaches the board.
static JobResult inspectImage(const JobPlan* p, int a) {
    const JobImage* img = JobImageOf(p, a);
    JobResult r = {};
    r.kind = TJOBINSPECT;
    r.outcome = TACT_OK;
    r.type = p->o.type;
    r.adresse = p->o.rangeGiven ? p->o.range : p->o.type < 0 ? img->last : p->maxAdr;
    r.count = r.adresse + 1;
    return r;
}

// A burn that knows the chip first. The range is read (the job's way of addressing) and each
// cell sorted against the image: an EPROM bit goes from 1 to 0 under a pulse and back only
// under UV light, so a cell that holds a 0 where the image has a 1 stops the burn before a
// single pulse, with the chip as it was; a cell that already holds its byte costs that one
// read instead of a burn step. The voltage interlock comes before even the read: RunWrite
// refuses a level the chip cannot take without sending anything.
static RunResult burnKnowingTheChip(JobPlan* p, unsigned long end, const RunHooks* hooks,
                                    JobResult* r) {
    char why[200];
    if (VppRefusal(epromtyp, epromPart, vpp, 1, why, sizeof why))
        return RunWrite(p->work, end, hooks);
    RunResult run = RunRead(p->chip, end, hooks, p->o.addressing);
    if (run.outcome != RUN_OK) {
        run.adresse = 0; // stopped before the first cell was burnt
        return run;
    }
    CompareChipImage(p->chip, p->work, end + 1, &r->diff);
    if (r->diff.needErase) {
        run.adresse = r->diff.firstNeedErase.adresse;
        run.chip = r->diff.firstNeedErase.chip;
        run.wanted = r->diff.firstNeedErase.image;
        return run;
    }
    if (r->diff.burnable == 0)
        return run; // the chip holds the image: not even set up for burning
    // The chip's buffer becomes the cells to burn: those that differ.
    for (unsigned long i = 0; i <= end; i++)
        p->chip[i] = p->chip[i] != p->work[i];
    return RunWrite(p->work, end, hooks, p->chip);
}

JobResult RunJobAction(JobPlan* p, int a, const RunHooks* hooks) {
    const JobAction& act = p->o.actions[a];
    if (act.kind == TJOBINSPECT)
        return inspectImage(p, a);
    const JobImage* img = JobImageOf(p, a);
    const unsigned long end = p->o.rangeGiven ? p->o.range : img ? img->last : p->maxAdr;
    if (img)
        memcpy(p->work, img->bytes, p->maxAdr + 1);
    RunResult run = {};
    JobResult r = {};
    switch (act.kind) {
    case TJOBBLANK:
        run = RunCompare(p->work, end, 1, 0, hooks, p->o.addressing);
        break;
    case TJOBWRITE:
        run = burnKnowingTheChip(p, end, hooks, &r);
        break;
    case TJOBVERIFY:
        // Every byte that differs is counted, not only the first, and what the chip holds
        // there kept for the report.
        run = RunCompare(p->work, end, 0, 1, hooks, p->o.addressing, p->chip);
        if (run.outcome == RUN_MISMATCH)
            CompareChipImage(p->chip, p->work, end + 1, &r.diff);
        break;
    case TJOBREAD:
        run = readPasses(p, end, hooks, &r);
        break;
    case TJOBINSPECT:
        break;
    }
    r.kind = act.kind;
    r.outcome = outcomeOf(run.outcome);
    if (act.kind == TJOBREAD && run.outcome == RUN_NO_BUFFER)
        r.outcome = TACT_NOT_SAVED; // no room for the passes: the reason is in `why`
    if (r.outcome == TACT_OK && r.passes.differ && (!r.majority || r.passes.undecided))
        r.outcome = TACT_UNSTABLE;
    if (act.kind == TJOBWRITE && r.diff.needErase)
        r.outcome = TACT_NEEDS_ERASING;
    r.count = end + 1;
    r.adresse = run.adresse;
    r.chip = run.chip;
    r.wanted = run.wanted;
    r.differ = run.differ;
    r.pulses = run.pulses;
    r.type = run.type;
    if (r.outcome == TACT_REFUSED)
        VppRefusal(epromtyp, epromPart, vpp, 1, r.why, sizeof r.why);
    return r;
}

// The image on standard output. A reader that has stopped reading leaves the write waiting
// on a full pipe; a stop signal must end that wait even when part of the image has gone,
// which stdio would take up again without asking. 1, or 0 with the write's errno.
static int writeStdout(const unsigned char* p, unsigned long n, int (*stopped)(void), int* errnum) {
    if (fflush(stdout) != 0) {
        *errnum = errno;
        return 0;
    }
    while (n > 0) {
        const ssize_t w = write(STDOUT_FILENO, p, n);
        if (stopped && stopped()) {
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

// The chip's bytes 0..end into the file (or standard output) in its format: 1, or 0 with the
// reason in `why`.
static int saveRead(const JobPlan* p, const char* file, unsigned long end, const JobHooks* hooks,
                    char* why, size_t n) {
    const IMG_FORMAT fmt = (IMG_FORMAT)(p->o.format >= 0 ? p->o.format : ImageFormatOfFile(file));
    unsigned long len = 0;
    unsigned char* text = FormatImage(fmt, p->work, end, p->o.offset, &len, why, n);
    if (!text)
        return 0;
    int ok;
    if (strcmp(file, "-") == 0) {
        int errnum = 0;
        ok = writeStdout(text, len, hooks->stopped, &errnum);
        if (hooks->checkStop)
            hooks->checkStop();
        if (!ok)
            snprintf(why, n, "standard output: cannot write the image: %s", strerror(errnum));
    } else {
        const ImgOutcome r = SaveImageFile(file, text, len);
        if (hooks->checkStop)
            hooks->checkStop();
        ok = r.result == TIMGOK;
        if (r.result == TIMGNOCREATE)
            snprintf(why, n, "can't create %s: %s", file, strerror(r.err));
        else if (!ok)
            snprintf(why, n, "%s: write error: %s", file, strerror(r.err));
    }
    free(text);
    return ok;
}

// The sums of r->count bytes, and the notes on them where they came from a chip (or may have).
static void describe(const unsigned char* bytes, int notes, JobResult* r) {
    r->sum = ByteSum16(bytes, r->count);
    r->crc32 = Crc32Of(bytes, r->count);
    Sha1Text(bytes, r->count, r->sha1);
    if (notes)
        r->noteCount = FindReadNotes(bytes, r->count, r->notes);
}

void FinishJobAction(const JobPlan* p, int a, const JobHooks* hooks, JobResult* r) {
    const JobAction& act = p->o.actions[a];
    if (r->outcome != TACT_OK)
        return;
    if (act.kind == TJOBVERIFY)
        describe(p->work, 0, r);
    if (act.kind == TJOBINSPECT)
        describe(JobImageOf(p, a)->bytes, 1, r);
    if (act.kind != TJOBREAD)
        return;
    if (!saveRead(p, act.file, r->count - 1, hooks, r->why, sizeof r->why)) {
        r->outcome = TACT_NOT_SAVED;
        return;
    }
    describe(p->work, 1, r);
}
