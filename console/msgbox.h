// Framed messages and the one-line progress counter.
#ifndef VANTREL_CONSOLE_MSGBOX_H
#define VANTREL_CONSOLE_MSGBOX_H

void printLine(int len);
void fillLine(int len);
void MessageBox(const char* head, const char* text);
void lineBack(void);
void flushString(const char* str);

#endif
