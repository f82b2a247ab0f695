// The job mode: one command line per job, for scripts and makefiles. The chip type, the
// settings and a list of actions (blank check, burn, verify, read) come from the command
// line; the job layer (job/) checks and runs them, each action the same chip run as the
// menu's command, transfer for transfer (a burn reads the chip first and burns only the cells
// that differ). Here are the options, the one result line each
// action prints from what it reports, the progress line, and the exit status that tells a
// script what happened.
#ifndef VANTREL_CONSOLE_JOB_H
#define VANTREL_CONSOLE_JOB_H

#include <cstddef>
#include <getopt.h>

#include "console/exit_status.h"
#include "job/plan.h"

// Codes of the job options in a getopt_long table; a program's own options use others.
enum JOB_OPTION {
    TOPT_TYPE = 't',
    TOPT_PART = 'p',
    TOPT_VPP = 0x100,
    TOPT_VCC,
    TOPT_DELAY,
    TOPT_RANGE,
    TOPT_OFFSET,
    TOPT_FORMAT,
    TOPT_BLANK,
    TOPT_WRITE,
    TOPT_VERIFY,
    TOPT_READ,
    TOPT_PARTS,
    TOPT_ADDRESSING,
    TOPT_READS,
    TOPT_MAJORITY,
    TOPT_INSPECT,
    TjoboptMax
};

// The job options, for the table of a program's command line: the short ones for
// getopt_long's option string, and the long ones, ended by a zero entry.
#define JOB_SHORT_OPTIONS "t:p:"
extern const struct option JobLongOptions[];

// Takes one job option into `o`: its code, its name as given ("-t", "--type", for the
// messages) and its value (NULL when none was given). Returns 1 when it was one, 0 when
// `code` is no job option, -1 when the value is missing, bad or one too many, or the option
// (one of -t, -p, --range, --vpp, --vcc, --delay, --format, --offset, --addressing, --reads,
// --majority) was given before (the reason in `err`).
int JobOption(int code, const char* name, const char* value, JobOptions* o, char* err,
              size_t errSize);

// The options a job takes, for a usage text.
const char* JobUsage(void);

// Runs the job on the port named `port` (a base address or a ppdev device, NULL for
// 0x378), or without a port when it only inspects files: the chip is settled from -t, -p and --vpp
// (a voltage that would destroy it is refused, the part understood is said on standard error), the
// port is opened (and root's rights given up, as at an interactive start), the images are read and
// checked, the board is tested, then the actions run in order until the first failure. Returns the
// exit status.
int RunJob(const JobOptions* o, const char* progName, const char* port);

#endif
