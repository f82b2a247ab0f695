// The operator's console: the streams every prompt and box use, input read one whole line
// per answer, and the program's reaction to being stopped (a signal, or a console that went
// away). A piped session can never loop forever, and a stop never leaves the chip under
// programming voltage: see link/stop.h.
#ifndef VANTREL_CONSOLE_CONIO_H
#define VANTREL_CONSOLE_CONIO_H

#include <cstddef>
#include <cstdio>

extern FILE* conIn;     // operator input, standard input in the program
extern FILE* conOut;    // screen, standard output in the program
extern int InputClosed; // set for good once the input has ended (or the console has gone)

// Results of conReadLine besides 1 (a line).
#define CON_LINE_END_OF_INPUT 0 // the input ended before the line end of a line
#define CON_LINE_TOO_LONG (-1)  // buf holds the start of the line, the rest was dropped
#define CON_LINE_NUL (-2)       // the line holds a NUL byte; buf holds nothing useful

// Set up the program's console: every catchable signal that would end the program caught
// as a stop (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGXCPU,
// SIGVTALRM, SIGPROF, SIGPWR), the job-control stops (SIGTSTP, SIGTTIN, SIGTTOU) caught as
// a pause, SIGPIPE and SIGXFSZ ignored (a lost console or a file-size limit is an error to
// handle, not a death), and standard input read without a stdio buffer so that a wait for
// input can also wait for a signal. Call once at start, before anything is read.
// `operatorAnswers` is 0 for a job: nobody is there to answer, and standard input is the
// image's if anyone's, so no prompt or box takes a character from it (they find no input).
void conInit(int operatorAnswers);

// Something to do before the program ends by a signal (vantrel-sim finishes its bench).
void conSetExitHook(void (*hook)(void));

// How the program ends when its port is lost in the middle of a run, in the front end's words
// and with its status: main installs endByPortLoss (console/ports.h) before anything else,
// and a job its own front end as `user`, which the hook is called with.
void conSetPortLossHook(void (*hook)(const void* user), const void* user = nullptr);

// A stop signal outside a chip run ends the program here, at once; so does a port lost in
// the middle of a run, through the port-loss hook. Inside a run it returns: the run halts,
// puts the chip at rest and returns, and the caller comes back here.
void conCheckStop(void);

// A chip run paused by `sig` with the chip at rest: the process stops as the signal's
// default action stops it, and this returns when it is continued (fg, SIGCONT). Outside a
// run a pause signal stops the process at once, wherever it is.
void conPause(int sig);

// Instead of stopping the process, conPause calls `hook` (tests; NULL: stop again).
void conSetPauseHook(void (*hook)(int sig));

// One character of input, or EOF (which also sets InputClosed once the input has ended).
int conGetChar(void);

// One whole line of input without its line end; a carriage return before the line feed is
// part of the line end. A last line without a line end is not an answer: it is taken as the
// end of input (CON_LINE_END_OF_INPUT). Returns 1 or one of the CON_LINE_ values above.
int conReadLine(char* buf, size_t size);

// Throw away the rest of the current input line.
void conDiscardLine(void);

// Flush the screen. A console whose output fails (a closed pipe, a hung-up terminal) counts
// as gone: the input counts as ended and a chip run in progress stops and cleans up.
void conFlush(void);

#endif
