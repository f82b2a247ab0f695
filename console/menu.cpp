// The program's only screen: status line, six groups of options with the current choice
// of each settings group in brackets, and a one-key prompt.
#include <cstdio>

#include "console/conio.h"
#include "console/menu.h"
#include "eprom/misc.h"
#include "link/hw.h"

const char selection[] = "0123456789abcde-+rwvzlsq";
int MaxCmd = 0;

static const char myVersion[] = "V 1.00";

// Two texts per option, plain and highlighted, 10 characters each; the last option of a
// printed row ends in a line break instead of its last blank.
static const char StrVpp[6][11] = {"    12 V  ", " [  12 V] ",  "    21 V  ",
                                   " [  21 V] ", "    25 V \n", " [  25 V]\n"};
static const char StrVcc[4][11] = {"    5 V   ", " [  5 V ] ", "  6,25 V \n", " [6,25 V]\n"};
static const char StrIC[20][11] = {"   27C08  ",  "  [27C08] ",  "   27C16  ",  "  [27C16] ",
                                   "   27C32 \n", "  [27C32]\n", "   27C64  ",  "  [27C64] ",
                                   "  27C128  ",  " [27C128] ",  "  27C256  ",  " [27C256] ",
                                   "  27C512 \n", " [27C512]\n", "  27C010  ",  " [27C010] ",
                                   "  27C020  ",  " [27C020] ",  "  27C040 \n", " [27C040]\n"};
static const char StrDelay[4][11] = {"   slow   ", "  [slow ] ", "   quick \n", "  [quick]\n"};
static const char StrActionIC[8][11] = {"   read   ", " [ read ] ", "  write   ",  " [write ] ",
                                        "  verify  ", " [verify] ", "  blank  \n", " [blank ]\n"};
static const char StrFileIC[6][11] = {"   read   ", " [ read ] ",  "  write   ",
                                      " [write ] ", "   exit  \n", " [ exit ]\n"};

static const char StrVppHead[] = "<VPP>\n";
static const char StrVccHead[] = "<VCC>\n";
static const char StrICHead[] = "<Type>\n";
static const char StrDelayHead[] = "<Delay>\n";
static const char StrActionICHead[] = "<Menu-IC>\n";
static const char StrFileICHead[] = "<Menu-File>\n";

// The command groups have no current choice, so they never show a highlight.
static int actiondelay = -1;
static int actionic = -1;
static int actionfile = -1;

struct MenuGroup {
    const char (*cells)[11];
    const char* head;
    int count;
    const int* choice;
    int firstCmd;
};

static const MenuGroup infomenu[TmenuMax] = {
    {StrVpp, StrVppHead, 3, &vpp, 0},
    {StrVcc, StrVccHead, 2, &vcc, 3},
    {StrIC, StrICHead, 10, &epromtyp, 5},
    {StrDelay, StrDelayHead, 2, &actiondelay, 15},
    {StrActionIC, StrActionICHead, 4, &actionic, 17},
    {StrFileIC, StrFileICHead, 3, &actionfile, 21},
};
static_assert(sizeof selection - 1 == 24, "24 command keys");

const char* GetVersion(void) {
    return myVersion;
}

unsigned short CalcChkSum(const unsigned char* pByte, unsigned long bufSize) {
    if (!pByte)
        return 0;
    unsigned short chsum2 = 0;
    for (unsigned long i = 0; i <= bufSize; i++)
        chsum2 = (unsigned short)(chsum2 + pByte[i]);
    const unsigned int H = (chsum2 >> 8) & 0xFF;
    const unsigned int L = chsum2 & 0xFF;
    if (H & 0xF0)
        return chsum2;
    return (unsigned short)((((H & 0x0F) << 4 | (H & 0xF0) >> 4) << 8) | L);
}

int menu(unsigned short chsum, unsigned long lastAdr) {
    for (;;) {
        for (int i = 0; i < 26; i++)
            fprintf(conOut, "\n");
        fprintf(conOut, "\x1b[2J");
        fprintf(conOut, "Vantrel II at 0x%X    [ chsum: #%4.4X  until  0x%lX / delay(%d) ]\n\n",
                (unsigned int)setPort(3), (unsigned int)chsum, lastAdr, (int)get_delay());
        int key = 0;
        for (int g = 0; g < TmenuMax; g++) {
            fprintf(conOut, "%s", infomenu[g].head);
            for (int i = 0; i < infomenu[g].count; i++) {
                const int lit = (*infomenu[g].choice == i);
                fprintf(conOut, "\t%c: %s", selection[key], infomenu[g].cells[2 * i + lit]);
                key++;
            }
        }
        // Five tabs, the version and a tab take 48 columns: the credit fits an 80-column line.
        fprintf(conOut, "\n\t\t\t\t\t%s\tEPROM programmer for Linux\n", GetVersion());
        fprintf(conOut, "select> ");
        conFlush();

        // The key is the first character of a whole line; the rest of the line is dropped,
        // so a blank typed after the key cannot become the answer to the next prompt.
        char line[8];
        if (conReadLine(line, sizeof line) == CON_LINE_END_OF_INPUT)
            return MaxCmd - 1; // input has ended: leave through the exit command
        const char c = line[0];
        if (c == '\0')
            continue; // an empty line only draws the menu again
        for (int n = 0; n < MaxCmd; n++)
            if (selection[n] == c)
                return n;
    }
}
