// A job: the chip, the settings and the actions that one command line asks for, checked as a
// whole before they may run. Everything that can be checked without the board (the part and
// the voltage, the range, what the type allows, the output files, the images) is checked
// before the board hears a word, so a typo in a makefile never costs a chip. Nothing here
// prints or ends the program: a check that fails gives its reason as a text, which the front
// end says after the program's name.
//
// The front end goes through the stages in this order, which is also the order in which the
// operator hears of a fault: PlanJob (no file touched); the port opened and root's rights
// given up; LoadJobFiles (with the operator's rights only); the board test; StartJob; then
// the actions (job/run.h); EndJob in the end, whatever happened.
#ifndef VANTREL_JOB_PLAN_H
#define VANTREL_JOB_PLAN_H

#include <cstddef>

struct EpromPart;

// TJOBINSPECT looks at an image file: no board, no chip.
enum JOB_ACTION { TJOBBLANK = 0, TJOBWRITE, TJOBVERIFY, TJOBREAD, TJOBINSPECT };

#define JOB_ACTIONS_MAX 16

struct JobAction {
    JOB_ACTION kind;
    const char* file; // the image for write, verify, read and inspect ("-": standard input or
                      // output)
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
    int addressing;            // ADDRESSING of the reading runs: quick where the type has it
    int reads;                 // passes of a --read, 1..PASSES_MAX, compared before it is saved
    int majority;              // a --read whose passes differ saves their bitwise majority
};

// The settings of the menu program at start, no type, no action, reads checked by a second.
void JobDefaults(JobOptions* o);

// The action's name on its result line and in messages: "blank", "write", "verify", "read".
const char* JobActionName(JOB_ACTION kind);

// 1 when every action of the job is an --inspect: it needs no chip, no port and no board.
int JobInspectsOnly(const JobOptions* o);

// What the job needs of the program that runs it around a file: both may be null.
struct JobHooks {
    // 1 once a stop signal has asked the program to end: a wait for an image's bytes, or for
    // room on a full pipe for the image on standard output, gives up.
    int (*stopped)(void);
    // Where the program may end by such a signal: after that wait and after a save.
    void (*checkStop)(void);
};

// The image of a --write, --verify or --inspect: each file read once.
struct JobImage {
    const char* file;
    int format;           // IMG_FORMAT
    unsigned char* bytes; // the chip's size (without a chip 0x80000), 0xFF where the file has
                          // nothing
    unsigned long last;   // highest address holding data
};

struct JobPlan {
    JobOptions o;          // as given, with the type and the voltage a -p part brings
    const EpromPart* part; // the part whose limit holds (of -p and a -t part's name), or NULL
    unsigned long maxAdr;  // the chip's last address (without a chip, the largest one's)
    int noBoard;           // only --inspect: no chip, no port, nothing sent
    unsigned long end;     // the last address of an action without an image
    int imageOut;          // a --read - sends the image to standard output
    int imageCount;
    JobImage images[JOB_ACTIONS_MAX];
    unsigned char* work; // the runs' buffer, chip address i at byte i, once started
    unsigned char* chip; // what a burn or a verify found in the chip, address i at byte i
};

// The plan for the options `given`, with what needs no file: the chip settled from -t, -p and
// --vpp (a voltage that would destroy it is refused; a job of only --inspect actions needs
// none), the range, the reads and their majority, the actions the type allows,
// the output formats, no --read over an input of the job, and no image to a standard output
// that was closed at start (`stdoutClosed`). 1, or 0 with the reason in `why`.
int PlanJob(const JobOptions* given, int stdoutClosed, JobPlan* plan, char* why, size_t whySize);

// Every output file checked for the rights it needs, and every image read and parsed. 1, or 0
// with the reason in `why`.
int LoadJobFiles(JobPlan* plan, const JobHooks* hooks, char* why, size_t whySize);

// The image of action `a` once loaded: a --write's, --verify's or --inspect's; NULL for the
// others.
const JobImage* JobImageOf(const JobPlan* plan, int a);

// The runs' buffers, then the type, the part, the voltages and the bus delay sent to the board
// as the menu's keys send them. 1, or 0 with the reason in `why`.
int StartJob(JobPlan* plan, const JobHooks* hooks, char* why, size_t whySize);

// Frees what the plan holds.
void EndJob(JobPlan* plan);

#endif
