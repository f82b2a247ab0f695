#include "console/conio.h"

FILE* conIn = stdin;
FILE* conOut = stdout;
int InputClosed = 0;

int conGetChar(void) {
    if (InputClosed)
        return EOF;
    const int c = fgetc(conIn);
    if (c == EOF)
        InputClosed = 1;
    return c;
}

int conReadLine(char* buf, size_t size) {
    size_t n = 0;
    int c = conGetChar();
    if (c == EOF)
        return 0;
    int fits = 1;
    while (c != EOF && c != '\n') {
        if (n + 1 < size)
            buf[n++] = (char)c;
        else
            fits = 0;
        c = conGetChar();
    }
    if (size > 0)
        buf[n] = '\0';
    return fits ? 1 : -1;
}

void conDiscardLine(void) {
    int c;
    do
        c = conGetChar();
    while (c != EOF && c != '\n');
}
