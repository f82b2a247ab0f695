// Main loop and commands. The loop owns the work buffer, the range end and the file name;
// every chip run and file command reports to the operator itself.
#include "console/mainloop.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/numbers.h"
#include "console/chipruns.h"
#include "console/cmdline.h"
#include "console/conio.h"
#include "console/files.h"
#include "console/menu.h"
#include "console/msgbox.h"
#include "defs.h"
#include "eprom/misc.h"
#include "eprom/parts.h"
#include "link/ctrl.h"
#include "link/port.h"

#define FNAME_SIZE 300

unsigned long ReadUserRange(unsigned long bufSize, unsigned long maxAdr, int* answered) {
    char line[128];
    if (answered)
        *answered = 0;
    for (;;) {
        unsigned long long typed = 0;
        fprintf(conOut, "0 for 0x%lX else 1.. max. 0x%lX\n", bufSize, maxAdr);
        fprintf(conOut, "new size> ");
        conFlush();
        const int got = conReadLine(line, sizeof line);
        if (got == CON_LINE_END_OF_INPUT)
            return bufSize; // input ended; the caller starts no run
        // A typo must never start a run over a range the operator did not ask for.
        if (got != 1 || !parseNumber(line, TNUM_HEX, 0xFFFFFFFFUL, &typed))
            continue;
        const unsigned long ret = typed == 0 ? bufSize : (unsigned long)typed;
        if (ret <= maxAdr) {
            if (answered)
                *answered = 1;
            return ret;
        }
    }
}

unsigned int ReadFName(char* pstr) {
    char line[FNAME_SIZE];
    fprintf(conOut, "Enter for '%s'\n\telse valid filename\n", pstr);
    fprintf(conOut, "new filename> ");
    conFlush();
    const int got = conReadLine(line, sizeof line);
    if (got == CON_LINE_END_OF_INPUT)
        return 0;
    // Cutting the name short could name another file; refuse it instead.
    if (got == CON_LINE_TOO_LONG) {
        MessageBox("Error:", "file-name too long (max. 299 characters)");
        return 0;
    }
    if (got == CON_LINE_NUL) {
        MessageBox("Error:", "file-name contains a NUL byte (not allowed)");
        return 0;
    }
    // A blank typed before or after the name is no part of it: "saved.bin " would save
    // beside saved.bin under a name that looks the same in every box.
    const char* name = line;
    while (*name == ' ' || *name == '\t')
        name++;
    size_t n = strlen(name);
    while (n > 0 && (name[n - 1] == ' ' || name[n - 1] == '\t'))
        n--;
    if (n > 0)
        snprintf(pstr, FNAME_SIZE, "%.*s", (int)n, name);
    return 1;
}

struct LoopState {
    unsigned char* pByte;  // the work buffer: byte i is chip address i
    unsigned long bufSize; // the range end: last address of the range, inclusive
    unsigned long maxAdr;  // last address of the selected type
    char fName[FNAME_SIZE];
    char infoStr[500];
    int leaving;
};

// ---- Settings ----------------------------------------------------------------------------

// The board cannot measure what it switches onto Vpp: with the part known, a level above what
// it survives is not even selected.
static void chooseVpp(LoopState*, int level) {
    char why[200];
    if (VppRefusal(epromtyp, epromPart, level, 0, why, sizeof why)) {
        MessageBox("Error:", why);
        return;
    }
    SetVpp(level);
}

static void chooseVcc(LoopState*, int supply) {
    vcc = supply;
    SetVcc((unsigned int)supply);
}

// Another type means another chip in the socket: the part given at start no longer speaks
// for it (the type selection ends it).
static void chooseType(LoopState*, int type) {
    SetICType(type);
}

static void slower(LoopState*, int) {
    uint8_t d = get_delay();
    if (d < 255)
        d++;
    set_delay(d);
}

static void quicker(LoopState*, int) {
    uint8_t d = get_delay();
    if (d > 0)
        d--;
    set_delay(d);
}

// ---- Chip runs ---------------------------------------------------------------------------

// Every run starts with the range prompt; without an answer the chip is not touched.
static int askRange(LoopState* s) {
    int answered = 0;
    s->bufSize = ReadUserRange(s->bufSize, s->maxAdr, &answered);
    return answered;
}

static void readChip(LoopState* s, int) {
    if (askRange(s))
        ReadIC(s->pByte, s->bufSize);
}

// A level that would destroy the part, or every part of the selected type, burns nothing:
// the operator learns it before the range prompt, and the chip never sees the voltage.
static void writeChip(LoopState* s, int) {
    char why[200];
    if (VppRefusal(epromtyp, epromPart, vpp, 1, why, sizeof why)) {
        MessageBox("Error:", why);
        return;
    }
    if (askRange(s))
        WriteIC(s->pByte, s->bufSize);
}

static void verifyChip(LoopState* s, int) {
    if (askRange(s))
        CompareIC(s->pByte, s->bufSize, 0);
}

static void blankCheck(LoopState* s, int) {
    if (askRange(s))
        CompareIC(s->pByte, s->bufSize, 1);
}

// ---- Files -------------------------------------------------------------------------------

static void loadImage(LoopState* s, int) {
    // The image is a byte count; the range end is its last address.
    if (ReadFName(s->fName)) {
        const unsigned long limit = s->maxAdr + 1;
        const unsigned long n = Read_File(s->fName, s->pByte, limit);
        if (n != 0 && n <= limit) {
            s->bufSize = n - 1;
            snprintf(s->infoStr, sizeof s->infoStr, "%ld bytes readed from %s", (long)n, s->fName);
        } else {
            snprintf(s->infoStr, sizeof s->infoStr, "read-error");
        }
        MessageBox("Info:", s->infoStr);
    }
}

static void saveImage(LoopState* s, int) {
    if (ReadFName(s->fName)) {
        const unsigned long count = s->bufSize + 1;
        const unsigned long n = Write_File(s->fName, s->pByte, count);
        if (n == count)
            snprintf(s->infoStr, sizeof s->infoStr, "%ld bytes written to %s", (long)n, s->fName);
        else
            snprintf(s->infoStr, sizeof s->infoStr, "write-error");
        MessageBox("Info:", s->infoStr);
    }
}

static void leave(LoopState* s, int) {
    s->leaving = 1;
}

// ---- The commands ------------------------------------------------------------------------

constexpr MenuCommand menuCommands[] = {
    {'0', TVPP, "  12 V", T12_75V, false, chooseVpp},
    {'1', TVPP, "  21 V", T21V, false, chooseVpp},
    {'2', TVPP, "  25 V", T25V, true, chooseVpp},
    {'3', TVCC, "  5 V ", T5V, false, chooseVcc},
    {'4', TVCC, "6,25 V", T6_25V, true, chooseVcc},
    {'5', TIC, nullptr, T2708, false, chooseType},
    {'6', TIC, nullptr, T2716, false, chooseType},
    {'7', TIC, nullptr, T2732, true, chooseType},
    {'8', TIC, nullptr, T2764, false, chooseType},
    {'9', TIC, nullptr, T27128, false, chooseType},
    {'a', TIC, nullptr, T27256, false, chooseType},
    {'b', TIC, nullptr, T27512, true, chooseType},
    {'c', TIC, nullptr, T27010, false, chooseType},
    {'d', TIC, nullptr, T27020, false, chooseType},
    {'e', TIC, nullptr, T27040, true, chooseType},
    {'-', TDELAY, "slow ", 0, false, slower},
    {'+', TDELAY, "quick", 0, true, quicker},
    {'r', TACTION_IC, " read ", 0, false, readChip},
    {'w', TACTION_IC, "write ", 0, false, writeChip},
    {'v', TACTION_IC, "verify", 0, false, verifyChip},
    {'z', TACTION_IC, "blank ", 0, true, blankCheck},
    {'l', TACTION_FILE, " read ", 0, false, loadImage},
    {'s', TACTION_FILE, "write ", 0, false, saveImage},
    {'q', TACTION_FILE, " exit ", 0, true, leave},
};
constexpr int MenuCommandCount = sizeof menuCommands / sizeof menuCommands[0];

// A key given twice would leave the later command out of reach; a group split in two would
// show its heading twice; a cell wider than 10 columns would push the rest of its row.
static constexpr bool keysUnique() {
    for (int i = 0; i < MenuCommandCount; i++) {
        if (menuCommands[i].key == '\0')
            return false;
        for (int j = 0; j < i; j++)
            if (menuCommands[i].key == menuCommands[j].key)
                return false;
    }
    return true;
}
static constexpr bool groupsTogether() {
    for (int i = 1; i < MenuCommandCount; i++)
        for (int j = 0; j + 1 < i; j++)
            if (menuCommands[j].group == menuCommands[i].group &&
                menuCommands[i - 1].group != menuCommands[i].group)
                return false;
    return true;
}
static constexpr bool labelsFit() {
    for (const MenuCommand& c : menuCommands) {
        int n = 0;
        while (c.label && c.label[n] != '\0')
            n++;
        if (n > 6 || (c.label == nullptr) != (c.group == TIC))
            return false;
    }
    return true;
}
static_assert(keysUnique(), "one command per key");
static_assert(groupsTogether(), "each group's commands in one run");
static_assert(labelsFit(), "labels of at most 6 columns; the types named by their table");
static_assert(menuCommands[MenuCommandCount - 1].action == leave, "the exit command is last");

int vantrel_main(void) {
    LoopState s = {};
    snprintf(s.fName, sizeof s.fName, "./file.rom");
    conInit(1);
    // The port dialogue (or the port given with --port), then root's rights end: the work
    // buffer and every file belong to the operator.
    startUp();
    // A part given at start: its type and its programming voltage, sent as their keys send
    // them, once the board is found.
    if (StartPart) {
        chooseType(&s, StartPart->type);
        epromPart = StartPart;
        if (PartProgrammable(StartPart))
            chooseVpp(&s, StartPart->vpp);
    }

    s.pByte = (unsigned char*)malloc(BUFFER_SIZE);
    if (!s.pByte) {
        MessageBox("Error:", "malloc(0x80000)");
        return 0;
    }
    memset(s.pByte, 0, BUFFER_SIZE);
    s.bufSize = GetLastAdress((uint16_t)epromtyp);
    s.maxAdr = s.bufSize;

    while (!s.leaving) {
        const int n =
            menu(menuCommands, MenuCommandCount, CalcChkSum(s.pByte, s.bufSize), s.bufSize);
        const MenuCommand& c = menuCommands[n];
        c.action(&s, c.setting);
        s.maxAdr = GetLastAdress((uint16_t)epromtyp);
        // A stop signal during the command: a chip run has cleaned up by now.
        conCheckStop();
        // At the end of input there is no operator left to answer: leave as on "q".
        if (InputClosed)
            s.leaving = 1;
    }
    fprintf(conOut, "Goodbye\n");
    conFlush();
    free(s.pByte);
    return 1;
}
