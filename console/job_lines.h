// A job's words, for the job's front end: where they go, the error lines after the program's
// name, and each action's result line with what it has to add on standard error (the part
// understood, unstable cells, notes on what was read, a mismatch explained).
#ifndef VANTREL_CONSOLE_JOB_LINES_H
#define VANTREL_CONSOLE_JOB_LINES_H

#include <cstdio>

#include "job/run.h"

// Where a job's words go: errors on standard error after the program's name, one result line
// per action on standard output (standard error while the image travels on standard output).
struct JobScreen {
    const char* progName;
    FILE* results;
    int resultLost; // a result line could not be written: the job fails
};

// One line on standard error after the program's name.
__attribute__((format(printf, 2, 3))) void complain(const JobScreen* s, const char* fmt, ...);

// One result line, on its way at once. A script that cannot read what happened must not be
// told by the status that all went well: a line that cannot be written sets resultLost.
__attribute__((format(printf, 2, 3))) void putResult(JobScreen* s, const char* fmt, ...);

// The part the job understood and the voltage it will use, before the board hears anything.
void ShowPart(const JobScreen* s, const JobOptions* o);

// The result line of an action of `plan` and what goes with it on standard error; returns the
// job's status so far (JOB_OK to go on). A stopped action ends the job by its signal here.
int ShowResult(JobScreen* s, const JobPlan* plan, const JobResult& r);

#endif
