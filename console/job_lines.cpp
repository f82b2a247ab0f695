// A job's words: errors and remarks on standard error after the program's name, one result
// line per action, and what a failed or doubtful action has to add about the chip.
#include "console/job_lines.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "console/conio.h"
#include "console/exit_status.h"
#include "eprom/ic_types.h"
#include "eprom/parts.h"

void complain(const JobScreen* s, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    fprintf(stderr, "%s: ", s->progName);
    vfprintf(stderr, fmt, args);
    fputc('\n', stderr);
    va_end(args);
}

// One result line, on its way at once. A script that cannot read what happened must not be
// told by the status that all went well.
void putResult(JobScreen* s, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    const int printed = vfprintf(s->results, fmt, args);
    va_end(args);
    if (printed >= 0 && fflush(s->results) == 0 && !ferror(s->results))
        return;
    const int err = errno;
    conCheckStop(); // a stop signal cut the write short: the job ends by it
    if (!s->resultLost)
        complain(s, "%s: cannot write the result line: %s",
                 s->results == stdout ? "standard output" : "standard error", strerror(err));
    s->resultLost = 1;
}

// The part the job understood and the voltage it will use, before the board hears anything.
void ShowPart(const JobScreen* s, const JobOptions* o) {
    const EpromPart* part = o->part;
    if (!part)
        return;
    const char* name = part->names[0];
    const char* type = ICTypeName(part->type);
    if (!PartProgrammable(part)) {
        complain(s, "part %s: a %s, type %s, read only on this board", o->partText, name, type);
        return;
    }
    char volts[16], own[16];
    FormatVolts(VppLevelMillivolts(o->vpp), volts, sizeof volts);
    if (o->vpp == part->vpp) {
        complain(s, "part %s: a %s, type %s, programming voltage %s", o->partText, name, type,
                 volts);
        return;
    }
    complain(s, "part %s: a %s, type %s, programming voltage %s (--vpp %s)", o->partText, name,
             type, volts, o->vppText);
    complain(s, "warning: a %s programs at %s: a burn at %s may leave its bytes unchanged", name,
             FormatVolts(VppLevelMillivolts(part->vpp), own, sizeof own), volts);
}

namespace {

// What each pass read in an unstable cell, in the order of the passes: "0x3C, 0x34".
struct PassValues {
    char text[PASSES_MAX * 6 + 1];
};

PassValues passValues(const UnstableCell& c, unsigned int reads) {
    PassValues v = {""};
    for (unsigned int k = 0; k < reads; k++)
        snprintf(v.text + strlen(v.text), sizeof v.text - strlen(v.text), "%s0x%02X", k ? ", " : "",
                 c.values[k]);
    return v;
}

// "unstable: 3 cells differ between 2 reads, first at 0x1A30 (0x3C, 0x34)": the lowest cell
// with what each pass read there.
const char* unstableText(const JobResult& r, char* text, size_t n) {
    const UnstableCell& c = r.passes.cells[0];
    int len = snprintf(text, n, "unstable: %lu %s between %u reads, first at 0x%04lX (%s)",
                       r.passes.differ, r.passes.differ == 1 ? "cell differs" : "cells differ",
                       r.reads, c.adresse, passValues(c, r.reads).text);
    if (r.majority && r.passes.undecided && len > 0 && (size_t)len < n)
        snprintf(text + len, n - (size_t)len, ", %lu %s without a majority", r.passes.undecided,
                 r.passes.undecided == 1 ? "cell" : "cells");
    return text;
}

// The unstable cells listed on standard error: what each pass read, and the bits that changed.
void showUnstableCells(const JobScreen* s, const JobResult& r) {
    for (unsigned int i = 0; i < r.passes.listed; i++) {
        const UnstableCell& c = r.passes.cells[i];
        char bits[40] = "";
        int count = 0;
        for (int bit = 0; bit < 8; bit++)
            if ((c.changed >> bit) & 1)
                snprintf(bits + strlen(bits), sizeof bits - strlen(bits), "%sD%d",
                         count++ ? ", " : "", bit);
        complain(s, "unstable cell 0x%04lX: read %s: %s %s %s", c.adresse,
                 passValues(c, r.reads).text, count == 1 ? "bit" : "bits", bits,
                 count == 1 ? "changes" : "change");
    }
    const unsigned long more = r.passes.differ - r.passes.listed;
    if (more)
        complain(s, "and %lu more unstable %s", more, more == 1 ? "cell" : "cells");
}

// What the bytes say of how they were read, on standard error.
void showNotes(const JobScreen* s, const JobResult& r) {
    for (unsigned int i = 0; i < r.noteCount; i++) {
        char text[200];
        complain(s, "%s", ReadNoteText(&r.notes[i], text, sizeof text));
    }
}

// The action's result line; returns the job's status so far (JOB_OK to go on).
int resultLine(JobScreen* s, const JobResult& r) {
    char text[200];
    switch (r.outcome) {
    case TACT_OK:
        break;
    case TACT_NOT_BLANK:
        putResult(s, "blank: not blank at 0x%04lX: chip 0x%02X\n", r.adresse, r.chip);
        return JOB_CHIP_FAILED;
    case TACT_MISMATCH:
        putResult(s, "verify: mismatch at 0x%04lX: chip 0x%02X, image 0x%02X, %lu %s\n", r.adresse,
                  r.chip, r.wanted, r.differ, r.differ == 1 ? "byte differs" : "bytes differ");
        return JOB_CHIP_FAILED;
    case TACT_WRITE_ERROR:
        putResult(s, "write: error at 0x%04lX: chip 0x%02X, image 0x%02X after 10 pulses\n",
                  r.adresse, r.chip, r.wanted);
        return JOB_CHIP_FAILED;
    case TACT_TIMEOUT:
        putResult(s, "write: timeout at 0x%04lX: the board's pulse never ended\n", r.adresse);
        return JOB_CHIP_FAILED;
    case TACT_NOT_SUPPORTED:
        putResult(s, "write: a %s cannot be programmed on this board\n", ICTypeName(r.type));
        return JOB_CHIP_FAILED;
    case TACT_REFUSED:
        putResult(s, "write: refused: %s\n", r.why);
        return JOB_BAD_USAGE;
    case TACT_NOT_SAVED:
        complain(s, "%s", r.why);
        return JOB_BAD_USAGE;
    case TACT_UNSTABLE:
        putResult(s, "read: %s\n", unstableText(r, text, sizeof text));
        showUnstableCells(s, r);
        return JOB_CHIP_FAILED;
    case TACT_NEEDS_ERASING:
        putResult(s,
                  "write: needs erasing: %lu %s a 0 bit raised, first at 0x%04lX (chip 0x%02X, "
                  "image 0x%02X)\n",
                  r.diff.needErase, r.diff.needErase == 1 ? "cell needs" : "cells need", r.adresse,
                  r.chip, r.wanted);
        return JOB_CHIP_FAILED;
    case TACT_STOPPED:
    case TACT_NOT_RUN:
        // Stopped, with the chip at rest: how far it got, then the job ends by the signal.
        putResult(s, "%s: stopped at 0x%04lX\n", JobActionName(r.kind), r.adresse);
        conCheckStop();
        return JOB_CHIP_FAILED;
    }
    switch (r.kind) {
    case TJOBBLANK:
        putResult(s, "blank: ok\n");
        break;
    case TJOBWRITE:
        putResult(s, "write: %lu bytes ok, %lu burnt, %lu already right\n", r.count,
                  r.diff.burnable, r.diff.right);
        break;
    case TJOBVERIFY:
        putResult(s, "verify: %lu bytes ok, sum 0x%04lX, CRC-32 0x%08lX, SHA-1 %s\n", r.count,
                  r.sum, r.crc32, r.sha1);
        break;
    case TJOBREAD: {
        char reads[32] = "";
        if (r.reads > 1)
            snprintf(reads, sizeof reads,
                     r.passes.differ ? " majority of %u reads," : " %u reads agree,", r.reads);
        putResult(s, "read: %lu bytes,%s sum 0x%04lX, CRC-32 0x%08lX, SHA-1 %s\n", r.count, reads,
                  r.sum, r.crc32, r.sha1);
        if (r.passes.differ) {
            complain(s, "warning: read: %s: the bitwise majority is written",
                     unstableText(r, text, sizeof text));
            showUnstableCells(s, r);
        }
        showNotes(s, r);
        break;
    }
    case TJOBINSPECT:
        putResult(s, "inspect: %lu bytes, sum 0x%04lX, CRC-32 0x%08lX, SHA-1 %s\n", r.count, r.sum,
                  r.crc32, r.sha1);
        showNotes(s, r);
        break;
    }
    return JOB_OK;
}

// Where a chip has bits still at 1 that the image wants at 0, the burn may have been made at
// too low a voltage: the parts of the chip's type (the part in force, when one is) that
// program above the level of this job, each with the -p that gives its level.
void explainLowVoltage(const JobScreen* s, const JobPlan* plan) {
    const JobOptions* o = &plan->o;
    const unsigned int level = VppLevelMillivolts(o->vpp);
    char volts[16], own[16];
    const int count = plan->part ? 1 : PartCount();
    for (int i = 0; i < count; i++) {
        const EpromPart* part = plan->part ? plan->part : PartAt(i);
        if (part->type != o->type || !PartProgrammable(part) ||
            VppLevelMillivolts(part->vpp) <= level)
            continue;
        complain(s, "verify: a %s programs at %s, above the %s in force: -p %s%s gives it",
                 part->names[0], FormatVolts(VppLevelMillivolts(part->vpp), own, sizeof own),
                 FormatVolts(level, volts, sizeof volts),
                 part == o->part ? o->partText : part->names[0],
                 o->vppText ? " without --vpp" : "");
    }
}

// A verify that found differences: the lowest of them, then what the two kinds of difference
// say about the chip.
void explainMismatch(const JobScreen* s, const JobPlan* plan, const JobResult& r) {
    const ChipDiff& d = r.diff;
    for (unsigned int i = 0; i < d.listed; i++)
        complain(s, "verify: 0x%04lX: chip 0x%02X, image 0x%02X", d.cells[i].adresse,
                 d.cells[i].chip, d.cells[i].image);
    if (d.listed < r.differ)
        complain(s, "verify: and %lu more", r.differ - d.listed);
    if (d.unburnt) {
        complain(s,
                 "verify: %lu %s bits still 1 where the image has 0: not burnt (too low a "
                 "programming voltage, too few pulses, a weak chip)",
                 d.unburnt, d.unburnt == 1 ? "cell has" : "cells have");
        explainLowVoltage(s, plan);
    }
    if (d.needErase)
        complain(s,
                 "verify: %lu %s bits at 0 where the image has 1: the chip needs erasing, or "
                 "holds another image",
                 d.needErase, d.needErase == 1 ? "cell has" : "cells have");
}

} // namespace

int ShowResult(JobScreen* s, const JobPlan* plan, const JobResult& r) {
    const int status = resultLine(s, r);
    if (r.outcome == TACT_MISMATCH)
        explainMismatch(s, plan, r);
    return status;
}
