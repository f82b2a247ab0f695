// vantrel's command line.
#include "console/cmdline.h"

#include <cstdio>
#include <cstdlib>

#include "common/cmdword.h"
#include "common/portname.h"
#include "console/job.h"
#include "console/menu.h"
#include "console/ports.h"
#include "eprom/parts.h"

const char* StartPort = nullptr;
JobOptions CommandJob;
const EpromPart* StartPart = nullptr;
static int jobOptionsGiven = 0;
// --parts without '=': a plain word right after it is its pattern, since neither program
// takes plain words.
static int partsPatternNext = 0;
static char jobRefusal[300]; // why takeJobOption refused its word, for sayJobRefusal

static const char usage[] = "Usage: vantrel [--port PORT] [-p PART]\n"
                            "       vantrel [--port PORT] -t TYPE|-p PART ACTION... [OPTION]...\n"
                            "       vantrel --parts [PATTERN]\n";

void startJobOptions(void) {
    JobDefaults(&CommandJob);
    StartPort = nullptr;
    StartPart = nullptr;
    jobRefusal[0] = '\0';
    jobOptionsGiven = 0;
    partsPatternNext = 0;
}

int takeJobOption(const CmdWord* w) {
    if (partsPatternNext && w->code == CMD_ARGUMENT) {
        partsPatternNext = 0;
        CommandJob.partsPattern = w->word;
        return 1;
    }
    partsPatternNext = 0;
    const int took =
        JobOption(w->code, w->name, w->value, &CommandJob, jobRefusal, sizeof jobRefusal);
    // The part and the parts list serve the menu program as well; the rest only a job.
    if (took > 0 && w->code != TOPT_PART && w->code != TOPT_PARTS)
        jobOptionsGiven = 1;
    if (took > 0 && w->code == TOPT_PARTS && !w->value)
        partsPatternNext = 1;
    return took;
}

void sayJobRefusal(const char* progName) {
    fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", progName, jobRefusal,
            progName);
}

int endJobOptions(const char* progName) {
    StartPart = CommandJob.count ? nullptr : CommandJob.part;
    if (jobOptionsGiven && CommandJob.count == 0) {
        fprintf(stderr,
                "%s: a job needs an action (--blank, --write, --verify, --read or --inspect)\n"
                "Try '%s --help' for more information.\n",
                progName, progName);
        return 0;
    }
    return 1;
}

int runCommandJob(const char* progName) {
    return CommandJob.count ? RunJob(&CommandJob, progName, StartPort) : -1;
}

int listCommandParts(const char* progName) {
    if (!CommandJob.listParts)
        return -1;
    const char* pattern = CommandJob.partsPattern;
    if (!PartPatternFits(pattern)) {
        fprintf(stderr, "%s: --parts: a pattern of at most %d characters\n", progName,
                PART_PATTERN_MAX);
        return 2;
    }
    char row[120];
    int shown = 0;
    printf("%s\n", PartListHeader());
    for (int i = 0; i < PartCount(); i++)
        if (PartMatchesPattern(PartAt(i), pattern)) {
            PartRow(PartAt(i), row, sizeof row);
            printf("%s\n", row);
            shown++;
        }
    if (fflush(stdout) != 0 || ferror(stdout)) {
        fprintf(stderr, "%s: standard output: cannot write the list\n", progName);
        return 2;
    }
    if (shown == 0)
        fprintf(stderr, "%s: no known part matches '%s'\n", progName, pattern);
    return 0;
}

// vantrel's own options, besides the job options.
enum { TOPT_PORT = 0x180, TOPT_HELP, TOPT_VERSION };

static const struct option portOptions[] = {
    {"port", required_argument, nullptr, TOPT_PORT},
    {"help", no_argument, nullptr, TOPT_HELP},
    {"version", no_argument, nullptr, TOPT_VERSION},
    {nullptr, 0, nullptr, 0},
};

// What vantrel's own options ask for. The first of them decides. Of the faults of single
// words (an unknown option, a bad value of a job option or of --port) the first in the line
// is named; --help and --version are taken only once every job option has been found good.
struct PortOutcome {
    int status;       // -1: start the program; 0 after --help or --version; 2: bad argument
    int version;      // with status 0: --version rather than --help
    const char* text; // with status 2: what is wrong
    const char* arg;  // with status 2: the argument it is wrong with
};

static PortOutcome badArgument(const char* text, const char* arg) {
    return PortOutcome{2, 0, text, arg};
}

static PortOutcome portOption(const char* port, const char* word) {
    uint16_t base = 0;
    if (!port)
        return badArgument("option needs a port:", word);
    if (StartPort)
        return badArgument("port given twice:", port);
    if (parsePortName(port, &base) == TNAME_BAD)
        return badArgument("no base address (0x378, 0xD010) nor device (/dev/parport0):", port);
    StartPort = port;
    return PortOutcome{-1, 0, nullptr, nullptr};
}

static PortOutcome ownOption(const CmdWord* w) {
    switch (w->code) {
    case TOPT_PORT:
        return portOption(w->value, w->word);
    case TOPT_HELP:
    case TOPT_VERSION:
        if (w->value) // --help=1 is none of vantrel's options
            return badArgument("unknown option", w->word);
        return PortOutcome{0, w->code == TOPT_VERSION, nullptr, nullptr};
    case CMD_ARGUMENT:
        return badArgument("unexpected argument", w->word);
    default:
        return badArgument("unknown option", w->word);
    }
}

static int showOutcome(const PortOutcome& out) {
    if (out.status == 2) {
        fprintf(stderr, "vantrel: %s '%s'\n%sTry 'vantrel --help' for more information.\n",
                out.text, out.arg, usage);
    } else if (out.status == 0 && out.version) {
        printf("vantrel %s\n", GetVersion());
    } else if (out.status == 0) {
        printf("%s"
               "Read, verify, blank-check and program EPROMs with the Vantrel II board on a\n"
               "PC parallel port.\n"
               "\n"
               "  --port PORT   the port the board hangs on, instead of the start-up\n"
               "                dialogue: a base address in hex (0x378, 0xD010) or a ppdev\n"
               "                device (/dev/parport1)\n"
               "  --help        this text\n"
               "  --version     the program's version\n"
               "\n"
               "The port is reached by direct port I/O as root, else through its ppdev device\n"
               "(/dev/parportN, group lp). Started through sudo, the program gives up root's\n"
               "rights once the port is open.\n"
               "\n"
               "Exit status: 1 after the exit command or the end of input, 0 when the work\n"
               "buffer cannot be had, 2 for a bad command line or no access to the port.\n"
               "\n%s",
               usage, JobUsage());
    }
    return out.status;
}

int parseCommandLine(int argc, char** argv) {
    static const char optstring[] = CMD_OPTSTRING(JOB_SHORT_OPTIONS);
    struct option table[32]; // room for both lists, with the future ones
    if (!joinOptions(portOptions, JobLongOptions, table, sizeof table / sizeof table[0]))
        return 2;
    startJobOptions();
    startCmdWords(argv, optstring, table);
    PortOutcome first = {-1, 0, nullptr, nullptr};
    CmdWord w;
    while (nextCmdWord(argc, argv, optstring, table, &w) != CMD_END) {
        const int took = takeJobOption(&w);
        if (took < 0 && first.status == 2)
            break; // a word before it was at fault: that one is said
        if (took < 0) {
            sayJobRefusal("vantrel");
            return 2;
        }
        if (took == 0 && first.status < 0)
            first = ownOption(&w);
    }
    // A fault of a word comes before what the words say together.
    if (first.status == 2)
        return showOutcome(first);
    if (!endJobOptions("vantrel"))
        return 2;
    if (first.status < 0 && CommandJob.listParts)
        return listCommandParts("vantrel");
    return showOutcome(first);
}

void startUp(void) {
    if (StartPort)
        selectGivenPort(StartPort);
    else
        selectVantrel();
    const int status = dropRootRights(&MenuFrontEnd);
    if (status >= 0)
        exit(status);
}
