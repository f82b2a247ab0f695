// Stopping and pausing a chip run between two transfers.
//
// The board keeps whatever IC4 latched last, and in the middle of a burn that may be the
// programming voltage on a selected chip: a run must never simply be cut off, nor frozen
// where it stands. A stop request (a signal, or a console that went away) and a pause
// request (Ctrl-Z) are therefore only noted. While a run has the bus halt, every transfer
// from the next one on is held back, so the board sees whole transfers only; the run
// notices the request, opens the bus again for its own clean-up, and then returns (stop) or
// lets the front end stop the process and sets the chip up again (pause).
#ifndef VANTREL_LINK_STOP_H
#define VANTREL_LINK_STOP_H

#include <csignal>

#define STOP_CONSOLE_LOST (-1) // StopRequest value for a console that went away
#define STOP_PORT_LOST (-2)    // a port that failed after it was opened (port_loss() says how)
extern volatile sig_atomic_t StopRequest;   // 0, the stop signal's number, or a STOP_ value
extern volatile sig_atomic_t PauseRequest;  // 0, or the number of the signal that pauses
extern volatile sig_atomic_t RunInProgress; // nonzero from a chip run's start to its return
extern unsigned int HaltOnStop;             // nonzero while a chip run's transfers may be held

#endif
