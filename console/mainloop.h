// The program's entry and its only loop.
#ifndef VANTREL_CONSOLE_MAINLOOP_H
#define VANTREL_CONSOLE_MAINLOOP_H

struct MenuCommand;
// The menu's commands in command-number order, the exit command last.
extern const MenuCommand menuCommands[];
extern const int MenuCommandCount;

// Runs the whole program on the console; returns the exit status (1 after the exit
// command or the end of input, 0 when the work buffer cannot be had).
int vantrel_main(void);

// Asks for a range end; *answered (if given) tells whether the operator gave one, or the
// input ended first.
unsigned long ReadUserRange(unsigned long bufSize, unsigned long maxAdr, int* answered = nullptr);
unsigned int ReadFName(char* pstr);

#endif
