// The program's only screen: status line, the commands in six groups with the current choice
// of each settings group in brackets, and a one-key prompt.
#include "console/menu.h"

#include <cstdio>
#include <cstring>

#include "console/conio.h"
#include "defs.h"
#include "eprom/ic_types.h"
#include "eprom/misc.h"
#include "link/ctrl.h"
#include "link/port.h"

static const char myVersion[] = "V 1.00";

// A group's heading and the setting its cells highlight; the command groups choose nothing,
// so they never show a highlight.
struct MenuGroup {
    int group; // MENU
    const char* head;
    const int* choice;
};

static constexpr MenuGroup menuGroups[TmenuMax] = {
    {TVPP, "<VPP>\n", &vpp},        {TVCC, "<VCC>\n", &vcc},
    {TIC, "<Type>\n", &epromtyp},   {TACTION_IC, "<Menu-IC>\n", nullptr},
    {TDELAY, "<Delay>\n", nullptr}, {TACTION_FILE, "<Menu-File>\n", nullptr},
};

static constexpr bool groupsInEnumOrder() {
    for (int g = 0; g < TmenuMax; g++)
        if (menuGroups[g].group != g)
            return false;
    return true;
}
static_assert(groupsInEnumOrder(), "row g is group g");

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

// A cell is 10 columns: two blanks and the label right-aligned in 6, or the label in brackets
// closing at the same column. The last cell of a row puts its line break in its last column.
static void printCell(const MenuCommand& c, int lit) {
    const char* label = c.label ? c.label : ICTypeLabel(c.setting);
    const char* last = c.endsRow ? "\n" : " ";
    if (lit)
        fprintf(conOut, "\t%c: %*s[%s]%s", c.key, 7 - (int)strlen(label), "", label, last);
    else
        fprintf(conOut, "\t%c:   %6s %s", c.key, label, last);
}

static void printCommands(const MenuCommand* commands, int count) {
    int group = -1;
    for (int n = 0; n < count; n++) {
        const MenuCommand& c = commands[n];
        const MenuGroup& g = menuGroups[c.group];
        if (c.group != group)
            fprintf(conOut, "%s", g.head);
        group = c.group;
        printCell(c, g.choice && *g.choice == c.setting);
    }
}

static void drawMenu(const MenuCommand* commands, int count, unsigned short chsum,
                     unsigned long lastAdr) {
    for (int i = 0; i < 26; i++)
        fprintf(conOut, "\n");
    fprintf(conOut, "\x1b[2J");
    fprintf(conOut, "Vantrel II at 0x%X    [ chsum: #%4.4X  until  0x%lX / delay(%d) ]\n\n",
            (unsigned int)setPort(3), (unsigned int)chsum, lastAdr, (int)get_delay());
    printCommands(commands, count);
    // Five tabs, the version and a tab take 48 columns: the credit fits an 80-column line.
    fprintf(conOut, "\n\t\t\t\t\t%s\tEPROM programmer for Linux\n", GetVersion());
    fprintf(conOut, "select> ");
    conFlush();
}

static int commandOfKey(const MenuCommand* commands, int count, char key) {
    for (int n = 0; n < count; n++)
        if (commands[n].key == key)
            return n;
    return -1;
}

int menu(const MenuCommand* commands, int count, unsigned short chsum, unsigned long lastAdr) {
    for (;;) {
        drawMenu(commands, count, chsum, lastAdr);
        // The key is the first character of a whole line; the rest of the line is dropped,
        // so a blank typed after the key cannot become the answer to the next prompt.
        char line[8];
        if (conReadLine(line, sizeof line) == CON_LINE_END_OF_INPUT)
            return count - 1; // input has ended: leave through the exit command
        // An empty line or a key of no command only draws the menu again.
        const int n = commandOfKey(commands, count, line[0]);
        if (n >= 0)
            return n;
    }
}
