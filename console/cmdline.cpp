// vantrel's command line.
#include "console/cmdline.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console/job.h"
#include "console/menu.h"
#include "console/ports.h"
#include "link/hw.h"
#include "link/portname.h"

const char* StartPort = nullptr;
JobOptions CommandJob;
static int jobOptionsGiven = 0;

static const char usage[] = "Usage: vantrel [--port PORT]\n"
                            "       vantrel [--port PORT] -t TYPE ACTION... [OPTION]...\n";

int takeJobOptions(int argc, char** argv, const char* progName, char** rest, int* nrest) {
    JobDefaults(&CommandJob);
    *nrest = 0;
    rest[(*nrest)++] = argv[0];
    for (int i = 1; i < argc; i++) {
        char err[300];
        const int took = JobOption(argc, argv, &i, &CommandJob, err, sizeof err);
        if (took < 0) {
            fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", progName, err,
                    progName);
            return 0;
        }
        if (took)
            jobOptionsGiven = 1;
        else
            rest[(*nrest)++] = argv[i];
    }
    if (jobOptionsGiven && CommandJob.count == 0) {
        fprintf(stderr,
                "%s: a job needs an action (--blank, --write, --verify or --read)\n"
                "Try '%s --help' for more information.\n",
                progName, progName);
        return 0;
    }
    return 1;
}

int runCommandJob(const char* progName) {
    return CommandJob.count ? RunJob(&CommandJob, progName, StartPort) : -1;
}

static int badArgument(const char* text, const char* arg) {
    fprintf(stderr, "vantrel: %s '%s'\n%sTry 'vantrel --help' for more information.\n", text, arg,
            usage);
    return 2;
}

static int parsePortOptions(int argc, char** argv);

int parseCommandLine(int argc, char** argv) {
    char** rest = (char**)calloc((size_t)argc + 1, sizeof *rest);
    int nrest = 0;
    if (!rest || !takeJobOptions(argc, argv, "vantrel", rest, &nrest)) {
        free(rest);
        return 2;
    }
    const int status = parsePortOptions(nrest, rest);
    free(rest);
    return status;
}

// --port, --help and --version: what is left once the job options are taken out.
static int parsePortOptions(int argc, char** argv) {
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        if (strcmp(arg, "--help") == 0) {
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
            return 0;
        }
        if (strcmp(arg, "--version") == 0) {
            printf("vantrel %s\n", GetVersion());
            return 0;
        }
        const char* port = nullptr;
        if (strcmp(arg, "--port") == 0) {
            if (i + 1 == argc)
                return badArgument("option needs a port:", arg);
            port = argv[++i];
        } else if (strncmp(arg, "--port=", 7) == 0) {
            port = arg + 7;
        } else {
            return badArgument(arg[0] == '-' ? "unknown option" : "unexpected argument", arg);
        }
        uint16_t base = 0;
        if (StartPort)
            return badArgument("port given twice:", port);
        if (parsePortName(port, &base) == TNAME_BAD)
            return badArgument("no base address (0x378, 0xD010) nor device (/dev/parport0):", port);
        StartPort = port;
    }
    return -1;
}

void startUp(void) {
    if (StartPort)
        selectGivenPort(StartPort);
    else
        selectVantrel();
    const int status = dropRootRights();
    if (status >= 0)
        exit(status);
}
