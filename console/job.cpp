// The job mode as its operator meets it: the job layer's stages in their order, a progress
// line on a terminal while a run goes on, and the exit status; the words are job_lines'.
#include "console/job.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <unistd.h>

#include "console/conio.h"
#include "console/files.h"
#include "console/job_lines.h"
#include "console/ports.h"
#include "job/run.h"
#include "link/detect.h"
#include "link/port.h"

namespace {

double monotonicSeconds(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec + (double)now.tv_nsec / 1e9;
}

// The progress display of one action: when it started, moved on by the time spent paused,
// and the passes it reads its range in.
struct JobProgress {
    double start;
    unsigned long passes;
};

// One line on a terminal, rewritten in place: how far the action is (the cell, and the pass
// of a read in several), and how long it will take.
void showJobProgress(void* user, unsigned long adresse, unsigned long end) {
    const JobProgress* p = static_cast<const JobProgress*>(user);
    const double done = (double)adresse / (double)(end + 1);
    const double elapsed = monotonicSeconds() - p->start;
    const long left = done > 0 ? (long)(elapsed / done - elapsed + 0.5) : 0;
    const unsigned long size = (end + 1) / p->passes;
    char pass[48] = "";
    if (p->passes > 1)
        snprintf(pass, sizeof pass, "  read %lu of %lu", adresse / size + 1, p->passes);
    fprintf(stderr, "\r%3d%%  0x%05lX%s  %ld:%02ld elapsed  %ld:%02ld left ", (int)(done * 100),
            adresse % size, pass, (long)elapsed / 60, (long)elapsed % 60, left / 60, left % 60);
    fflush(stderr);
}

// Ctrl-Z in a run: the chip is at rest; the job stops until it is continued.
void pauseJob(void* user, int sig) {
    JobProgress* p = static_cast<JobProgress*>(user);
    const double before = monotonicSeconds();
    conPause(sig);
    p->start += monotonicSeconds() - before;
}

void endJobProgress(const RunHooks* hooks) {
    if (hooks->progress) {
        fprintf(stderr, "\r%60s\r", "");
        fflush(stderr);
    }
}

// One action: the run with its progress line, a read's file, the result line.
int runAction(JobScreen* s, JobPlan* plan, int a, const JobHooks* hooks) {
    const bool read = plan->o.actions[a].kind == TJOBREAD;
    JobProgress progress = {monotonicSeconds(), read ? (unsigned long)plan->o.reads : 1UL};
    RunHooks run = {nullptr, pauseJob, &progress};
    if (isatty(STDERR_FILENO))
        run.progress = showJobProgress;
    JobResult r = RunJobAction(plan, a, &run);
    endJobProgress(&run);
    FinishJobAction(plan, a, hooks, &r);
    return ShowResult(s, plan, r);
}

// The actions in order, until the first that fails.
int runActions(JobScreen* s, JobPlan* plan, const JobHooks* hooks) {
    int status = JOB_OK;
    for (int a = 0; a < plan->o.count && status == JOB_OK; a++) {
        status = runAction(s, plan, a, hooks);
        // A stop between two actions, or during an action's output or its line, ends the
        // job by the signal as well: the chip is at rest by now.
        fflush(s->results);
        conCheckStop();
    }
    return status;
}

// The job from the port on: the port opened and root's rights given up before any file is
// read, written or checked for the operator's rights; the board hears nothing before the
// images and the output files have passed their checks. A job that only looks at files opens
// no port and never talks to the board, but root's rights end all the same.
int runJob(JobScreen* s, const FrontEnd* fe, JobPlan* plan, const char* port) {
    const JobHooks hooks = {StopAsked, conCheckStop};
    char why[400];
    if (!plan->noBoard) {
        const int opened = openPortByName(port);
        if (opened != 1) {
            const Detection d = {opened < 0 ? TPORT_BAD_NAME : TPORT_NO_ACCESS, TNOTE_NONE, Base};
            return startOnPort(fe, &d, port);
        }
    }
    const int rootStatus = dropRootRights(fe);
    if (rootStatus >= 0)
        return rootStatus;
    if (!LoadJobFiles(plan, &hooks, why, sizeof why)) {
        complain(s, "%s", why);
        return JOB_BAD_USAGE;
    }
    if (!plan->noBoard) {
        const Detection board = {boardAnswers() ? TPORT_FOUND : TPORT_NOT_FOUND, TNOTE_NONE, Base};
        const int boardStatus = startOnPort(fe, &board, port);
        if (boardStatus >= 0)
            return boardStatus;
        if (!StartJob(plan, &hooks, why, sizeof why)) {
            complain(s, "%s", why);
            return JOB_BAD_USAGE;
        }
    }
    return runActions(s, plan, &hooks);
}

} // namespace

int RunJob(const JobOptions* given, const char* progName, const char* port) {
    JobScreen screen = {progName, stdout, 0};
    JobPlan plan;
    char why[400];
    if (!PlanJob(given, StdoutWasClosed, &plan, why, sizeof why)) {
        complain(&screen, "%s", why);
        return JOB_BAD_USAGE;
    }
    ShowPart(&screen, &plan.o);
    // The image travels on standard output: the result lines go beside the errors.
    if (plan.imageOut)
        screen.results = stderr;
    // Signals stop and pause the runs as in the menu; there is no operator to answer a
    // question: standard input is the image's, if anyone's.
    conInit(0);
    // A port lost in a run ends the job in its own words, and with its status.
    const FrontEnd fe = JobFrontEnd(progName);
    conSetPortLossHook(endByPortLoss, &fe);
    const int status = runJob(&screen, &fe, &plan, port ? port : "0x378");
    conSetPortLossHook(endByPortLoss);
    EndJob(&plan);
    return screen.resultLost ? JOB_BAD_USAGE : status;
}
