// vantrel's command line. Without arguments the program starts with the port dialogue as
// it always has; --port names the port instead; an action (--blank, --write, --verify,
// --read) makes the run a job without the menu.
#ifndef VANTREL_CONSOLE_CMDLINE_H
#define VANTREL_CONSOLE_CMDLINE_H

// The port given with --port (a base address like 0xD010 or a ppdev device like
// /dev/parport1), or NULL for the start-up dialogue.
extern const char* StartPort;

struct JobOptions;
// The job the command line asks for; without an action the menu program runs.
extern JobOptions CommandJob;

struct EpromPart;
// The part given with -p when the menu program runs (no action), else NULL: the menu starts
// with its type and programming voltage.
extern const EpromPart* StartPart;

struct CmdWord;
// The job options of a command line, read in one pass with the program's own options: start
// with startJobOptions, which puts everything a command line sets back to nothing given
// (CommandJob, StartPort, StartPart); hand every word to takeJobOption, which takes it if it is a
// job option (1), leaves it to the caller if not (0), or refuses it (-1), keeping the reason for
// sayJobRefusal. The first fault of the line in its order is the one said, so the caller says
// a refused job option only when no word before it was at fault (an unknown option, say). It
// ends with endJobOptions, which says so when job options came without an action (0). The
// caller ends with status 2 after a refusal.
void startJobOptions(void);
int takeJobOption(const CmdWord* w);
void sayJobRefusal(const char* progName);
int endJobOptions(const char* progName);

// With an action on the command line: runs the job and returns its exit status; else -1.
int runCommandJob(const char* progName);

// With --parts on the command line: lists the parts it asks for on standard output and
// returns 0 (2 when the list could not be written or the pattern is too long); else -1.
// Touches no port.
int listCommandParts(const char* progName);

// Reads argv[1..argc-1]. Returns -1 to start the program (with StartPort set), or the exit
// status after --help or --version (0, text on standard output) or a bad argument (2, the
// usage on standard error). Touches no port.
int parseCommandLine(int argc, char** argv);

// The start-up of the program: the port dialogue, or the port given with --port tested as a
// given port is; then root's rights end.
void startUp(void);

#endif
