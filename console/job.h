// The job mode: one command line per job, for scripts and makefiles. The chip type, the
// settings and a list of actions (blank check, burn, verify, read) come from the command
// line; each action runs the same chip run as the menu's command, transfer for transfer, and
// prints one result line from what the run reports, and the exit status tells a script what
// happened.
#ifndef VANTREL_CONSOLE_JOB_H
#define VANTREL_CONSOLE_JOB_H

#include <cstddef>
#include <getopt.h>

#include "console/exit_status.h"

struct EpromPart;

enum JOB_ACTION { TJOBBLANK = 0, TJOBWRITE, TJOBVERIFY, TJOBREAD, TjobMax };

#define JOB_ACTIONS_MAX 16

struct JobAction {
    int kind;         // JOB_ACTION
    const char* file; // the image for write, verify and read ("-": standard input/output)
};

struct JobOptions {
    int type;             // EPROM type (enum IC), -1 until given
    int vpp;              // programming voltage (enum VPP)
    int vcc;              // supply (enum VCC)
    int delay;            // bus delay factor 1..255
    int rangeGiven;       // nonzero: `range` limits every action
    unsigned long range;  // last address, inclusive
    unsigned long offset; // subtracted from the addresses of a HEX or S-record image
    int format;           // IMG_FORMAT, or -1: by each file's name
    int count;            // actions, in the order given
    JobAction actions[JOB_ACTIONS_MAX];

    // The chip by the name printed on it, and the values as given, for the messages.
    const EpromPart* part;     // the part named with -p, NULL until given
    const EpromPart* typePart; // the part a -t name stands for, whose limit holds; NULL
                               // for a bare type (2764) or until given
    const char* partText;      // -p as given
    const char* typeText;      // -t as given
    const char* vppText;       // --vpp as given, NULL until given
    int listParts;             // --parts: list the parts, run nothing
    const char* partsPattern;  // its pattern, NULL for all
    unsigned int given;        // the options taken once only that have been given, a bit each
};

// The settings of the menu program at start, no type, no action.
void JobDefaults(JobOptions* o);

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
    TjoboptMax
};

// The job options, for the table of a program's command line: the short ones for
// getopt_long's option string, and the long ones, ended by a zero entry.
#define JOB_SHORT_OPTIONS "t:p:"
extern const struct option JobLongOptions[];

// Takes one job option into `o`: its code, its name as given ("-t", "--type", for the
// messages) and its value (NULL when none was given). Returns 1 when it was one, 0 when
// `code` is no job option, -1 when the value is missing, bad or one too many, or the option
// (one of -t, -p, --range, --vpp, --vcc, --delay, --format, --offset) was given before (the
// reason in `err`).
int JobOption(int code, const char* name, const char* value, JobOptions* o, char* err,
              size_t errSize);

// The options a job takes, for a usage text.
const char* JobUsage(void);

// The family name the job's lines use for a type: "2716", "27256".
const char* JobTypeName(int type);

// Runs the job on the port named `port` (a base address or a ppdev device, NULL for
// 0x378): the chip is settled from -t, -p and --vpp (a voltage that would destroy it is
// refused, the part understood is said on standard error), the port is opened (and root's
// rights given up, as at an interactive start), the images are read and checked, the board
// is tested, then the actions run in order until the first failure. Returns the exit
// status.
int RunJob(const JobOptions* o, const char* progName, const char* port);

#endif
