// The port as the operator hears of it: the start-up dialogue, a port given on the command
// line, and the one table of what each port outcome (refused, no device, not a port, busy,
// vanished, bad name, no board, lost in the middle of a run) means on the screen and in the
// exit status, for the menu and for a job alike. The link layer below only finds out.
#ifndef VANTREL_CONSOLE_PORTS_H
#define VANTREL_CONSOLE_PORTS_H

#include <cstdio>

#include "link/detect.h"

// How a front end tells the operator what became of the port.
enum PORT_TELLING {
    TTELL_BOXES, // the menu: the board test's notes in boxes, the refusals on its stream
    TTELL_LINES, // a job: one line each, starting with the program's name, on its stream
};

// A front end as the port messages see it: the menu ends on a port it cannot use with status
// 2 and works on without the board, a job ends with 3 without a board or a port.
struct FrontEnd {
    PORT_TELLING telling;
    FILE* (*stream)(void); // where the refusals go: the console's screen, or standard error
    int status[TportMax];  // the exit status for each port outcome (enum PORT_OPEN); -1 goes on
    const char* name;      // the program's name, which a job's lines start with
};

// The menu's, and a job's of the program `progName` ("vantrel", "vantrel-sim").
extern const FrontEnd MenuFrontEnd;
FrontEnd JobFrontEnd(const char* progName);

// What the program does with the port it came to: a board that answered is put at rest at
// once (programming voltage off, chip deselected, the chosen supply: the board powers up with
// its registers at 0, which selects the chip at 6.25 V), then the operator is told what
// `d` means in the words of the front end `fe`. `name` is the port as the operator named it
// (NULL: the one in Base). Returns the status the program ends with, or -1 to go on.
int startOnPort(const FrontEnd* fe, const Detection* d, const char* name);

// The start-up dialogue: the prompt, the answer, the board test and its box. A port that
// cannot be opened ends the program with the message and status 2.
void selectVantrel(void);

// The start-up with a port given on the command line instead of the dialogue: the port is
// tested as a given port is, with its box when the board does not answer; no access ends the
// program with the message and status 2.
void selectGivenPort(const char* port);

// Root's rights end once the port is open (the program was started through sudo). Returns
// -1, or the status to end with after saying on the front end's stream why they could not be
// given up (2 for a job as well: nothing has touched the board yet).
int dropRootRights(const FrontEnd* fe);

// The port-loss hook (conSetPortLossHook): a port lost in the middle of a run (StopRequest
// STOP_PORT_LOST), after the run has tried its clean-up: one line on standard error naming the
// port and the reason, and the end with the status of the front end `frontEnd` (a FrontEnd;
// NULL for the menu). Standard output gets nothing: it may carry an image.
[[noreturn]] void endByPortLoss(const void* frontEnd);

#endif
