// Every result, warning and error reaches the operator in one kind of frame that waits for
// Enter, so nothing scrolls away while a chip run or the menu redraws the screen.
#include <cstdio>
#include <cstring>

#include "console/conio.h"
#include "console/msgbox.h"
#include "link/stop.h"

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
    // Stopped: outside a chip run the program ends here; inside one no box may wait before
    // the run has sent its clean-up.
    conCheckStop();
    if (StopRequest > 0)
        return;
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
    conFlush(); // the whole frame is on screen before we block

    conDiscardLine(); // the operator's Enter, and whatever was typed before it
}

void lineBack(void) {
    fprintf(conOut, "%c", 13);
    conFlush();
}

void flushString(const char* str) {
    fputs(str, conOut);
    conFlush();
}
