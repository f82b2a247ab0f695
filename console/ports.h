// The port as the operator hears of it: the start-up dialogue, a port given on the command
// line, and the one table of what each port outcome (refused, no device, not a port, busy,
// vanished, bad name, no board, lost in the middle of a run) means on the screen and in the
// exit status, for the menu and for a job alike. The link layer below only finds out.
#ifndef VANTREL_CONSOLE_PORTS_H
#define VANTREL_CONSOLE_PORTS_H

#include "link/hw.h"

// The front end that runs: the menu ends on a port it cannot use with status 2, a job with 3.
enum FRONT_END { TFRONT_MENU = 0, TFRONT_JOB, TfrontMax };

// Which front end runs (the menu until a job says otherwise) and the name a job's error
// lines start with.
void portFrontEnd(int front, const char* progName);

// What the program does with the port it came to: a board that answered is put at rest at
// once (programming voltage off, chip deselected, the chosen supply: the board powers up with
// its registers at 0, which selects the chip at 6.25 V), then the operator is told what
// `d` means in the running front end's words. `name` is the port as the operator named it
// (NULL: the one in Base). Returns the status the program ends with, or -1 to go on.
int startOnPort(const Detection* d, const char* name);

// The start-up dialogue: the prompt, the answer, the board test and its box. A port that
// cannot be opened ends the program with the message and status 2.
void selectVantrel(void);

// The start-up with a port given on the command line instead of the dialogue: the port is
// tested as a given port is, with its box when the board does not answer; no access ends the
// program with the message and status 2.
void selectGivenPort(const char* port);

// Root's rights end once the port is open (the program was started through sudo). Returns
// -1, or the status to end with after saying why they could not be given up.
int dropRootRights(void);

// A port lost in the middle of a run (StopRequest STOP_PORT_LOST), after the run has tried its
// clean-up: one line on standard error naming the port and the reason, and the end with the
// front end's status. Standard output gets nothing: it may carry an image.
[[noreturn]] void endByPortLoss(void);

#endif
