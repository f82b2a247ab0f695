// The stop and pause requests: set by the signal handlers and by a port that fails, read by
// the bus and the chip runs.
#include "link/stop.h"

volatile sig_atomic_t StopRequest = 0;
volatile sig_atomic_t PauseRequest = 0;
volatile sig_atomic_t RunInProgress = 0;
unsigned int HaltOnStop = 0;
