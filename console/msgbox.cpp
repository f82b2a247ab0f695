// Every result, warning and error reaches the operator in one kind of frame that waits for
// Enter, so nothing scrolls away while a chip run or the menu redraws the screen.
#include <cstdio>
#include <cstring>

#include "console/conio.h"
#include "console/msgbox.h"

void printLine(int len) {
    fprintf(conOut, "+");
    for (int i = 0; i < len; i++)
        fprintf(conOut, "-");
    fprintf(conOut, "+\n");
}

void fillLine(int len) {
    for (int i = 0; i < len; i++)
        fprintf(conOut, " ");
    fprintf(conOut, " |\n");
}

void MessageBox(const char* head, const char* text) {
    char prompt[17];
    strcpy(prompt, "| press Enter...");
    const int promptLen = (int)strlen(prompt);

    const int lenH = (int)strlen(head) + 2;
    const int lenT = (int)strlen(text) + 2;
    int len = lenH >= lenT ? lenH : lenT;
    if (len < promptLen)
        len = promptLen;

    fprintf(conOut, "\n");
    printLine(len);
    fprintf(conOut, "| %s", head);
    fillLine(len - lenH);
    fprintf(conOut, "| %s", text);
    fillLine(len - lenT);
    fprintf(conOut, "%s", prompt);
    fillLine(len - promptLen);
    printLine(len);
    fflush(conOut); // the whole frame is on screen before we block

    (void)conGetChar(); // the operator's Enter; at end of input it returns at once
}

void lineBack(void) {
    fprintf(conOut, "%c", 13);
    fflush(conOut);
}

void flushString(const char* str) {
    fputs(str, conOut);
    fflush(conOut);
}
