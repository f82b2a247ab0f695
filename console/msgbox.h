// Framed messages and the one-line progress counter.
#ifndef VANTREL_CONSOLE_MSGBOX_H
#define VANTREL_CONSOLE_MSGBOX_H

// Nonzero (the menu program): a box waits for the operator's Enter. A front end with no
// operator to answer sets it to 0 and reports the runs' outcomes itself.
extern int BoxesWait;

void printLine(int len);
void fillLine(int len);
void MessageBox(const char* head, const char* text);
void lineBack(void);
void flushString(const char* str);

#endif
