// vantrel's command line. Without arguments the program starts with the port dialogue as
// it always has; --port names the port instead.
#ifndef VANTREL_CONSOLE_CMDLINE_H
#define VANTREL_CONSOLE_CMDLINE_H

// The port given with --port (a base address like 0xD010 or a ppdev device like
// /dev/parport1), or NULL for the start-up dialogue.
extern const char* StartPort;

// Reads argv[1..argc-1]. Returns -1 to start the program (with StartPort set), or the exit
// status after --help or --version (0, text on standard output) or a bad argument (2, the
// usage on standard error). Touches no port.
int parseCommandLine(int argc, char** argv);

// The start-up of the program: the port dialogue, or the port given with --port tested as a
// given port is; then root's rights end.
void startUp(void);

#endif
