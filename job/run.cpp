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
        run = RunRead(p->work, end, hooks, p->o.addressing);
        break;
    }
    r.kind = act.kind;
    r.outcome = outcomeOf(run.outcome);
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

void FinishJobAction(const JobPlan* p, int a, const JobHooks* hooks, JobResult* r) {
    const JobAction& act = p->o.actions[a];
    if (act.kind != TJOBREAD || r->outcome != TACT_OK)
        return;
    if (!saveRead(p, act.file, r->count - 1, hooks, r->why, sizeof r->why)) {
        r->outcome = TACT_NOT_SAVED;
        return;
    }
    r->sum = ByteSum16(p->work, r->count);
    r->crc32 = Crc32Of(p->work, r->count);
    Sha1Text(p->work, r->count, r->sha1);
}
