// The operator's console: the streams every prompt and box use, and input helpers that
// notice when standard input has ended, so that a piped session can never loop forever.
#ifndef VANTREL_CONSOLE_CONIO_H
#define VANTREL_CONSOLE_CONIO_H

#include <cstddef>
#include <cstdio>

extern FILE* conIn;     // operator input, standard input in the program
extern FILE* conOut;    // screen, standard output in the program
extern int InputClosed; // set for good once the input has ended

// One character of input, or EOF (which also sets InputClosed).
int conGetChar(void);

// Read one line into buf without its line end. Returns 1 for a line, 0 when the input
// ended before any character, -1 when the line did not fit (the rest of it is discarded
// and buf holds nothing useful).
int conReadLine(char* buf, size_t size);

// Throw away the rest of the current input line.
void conDiscardLine(void);

#endif
