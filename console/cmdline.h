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

// Takes the job options out of argv[1..argc-1]: the other arguments are left in `rest` (room
// for argc entries; rest[0] is argv[0]) in their order, *nrest of them. Returns 1, or 0 after
// saying what is wrong on standard error (the caller ends with status 2).
int takeJobOptions(int argc, char** argv, const char* progName, char** rest, int* nrest);

// With an action on the command line: runs the job and returns its exit status; else -1.
int runCommandJob(const char* progName);

// Reads argv[1..argc-1]. Returns -1 to start the program (with StartPort set), or the exit
// status after --help or --version (0, text on standard output) or a bad argument (2, the
// usage on standard error). Touches no port.
int parseCommandLine(int argc, char** argv);

// The start-up of the program: the port dialogue, or the port given with --port tested as a
// given port is; then root's rights end.
void startUp(void);

#endif
