// Main loop and commands. The loop owns the work buffer, the range end and the file name;
// every chip run and file command reports to the operator itself.
#include "console/mainloop.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console/chipruns.h"
#include "console/cmdline.h"
#include "console/conio.h"
#include "console/menu.h"
#include "console/msgbox.h"
#include "defs.h"
#include "eprom/misc.h"
#include "image/ic_file.h"
#include "link/hw.h"

// Command numbers: the position of the key in the menu's key list.
enum {
    CMD_VPP_FIRST = 0,  // 0..2: programming voltage level
    CMD_VCC_FIRST = 3,  // 3..4: supply voltage
    CMD_TYPE_FIRST = 5, // 5..14: EPROM type
    CMD_SLOW = 15,
    CMD_QUICK = 16,
    CMD_READ = 17,
    CMD_WRITE = 18,
    CMD_VERIFY = 19,
    CMD_BLANK = 20,
    CMD_LOAD = 21,
    CMD_SAVE = 22,
    CMD_EXIT = 23
};

#define FNAME_SIZE 300

unsigned long ReadUserRange(unsigned long bufSize, unsigned long maxAdr, int* answered) {
    char line[128];
    if (answered)
        *answered = 0;
    for (;;) {
        unsigned long ret = bufSize;
        fprintf(conOut, "0 for 0x%lX else 1.. max. 0x%lX\n", bufSize, maxAdr);
        fprintf(conOut, "new size> ");
        conFlush();
        const int got = conReadLine(line, sizeof line);
        if (got == CON_LINE_END_OF_INPUT)
            return bufSize; // input ended; the caller starts no run
        // A typo must never start a run over a range the operator did not ask for.
        if (got != 1 || !conParseHex(line, &ret))
            continue;
        if (ret == 0)
            ret = bufSize;
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
    if (line[0] != '\0')
        snprintf(pstr, FNAME_SIZE, "%s", line);
    return 1;
}

int vantrel_main(void) {
    char fName[FNAME_SIZE] = "./file.rom";
    char infoStr[500];
    MaxCmd = (int)strlen(selection);

    conInit();
    // The port dialogue (or the port given with --port), then root's rights end: the work
    // buffer and every file belong to the operator.
    startUp();

    unsigned char* pByte = (unsigned char*)malloc(BUFFER_SIZE);
    if (!pByte) {
        MessageBox("Error:", "malloc(0x80000)");
        return 0;
    }
    memset(pByte, 0, BUFFER_SIZE);
    unsigned long bufSize = GetLastAdress((uint16_t)epromtyp);
    unsigned long maxAdr = bufSize;

    for (;;) {
        const int user_sel = menu(CalcChkSum(pByte, bufSize), bufSize);
        if (user_sel <= CMD_VPP_FIRST + 2) {
            SetVpp(user_sel);
        } else if (user_sel <= CMD_VCC_FIRST + 1) {
            vcc = user_sel - CMD_VCC_FIRST;
            SetVcc((unsigned int)vcc);
        } else if (user_sel < CMD_SLOW) {
            SetICType(user_sel - CMD_TYPE_FIRST);
        } else if (user_sel == CMD_SLOW) {
            uint8_t d = get_delay();
            if (d < 255)
                d++;
            set_delay(d);
        } else if (user_sel == CMD_QUICK) {
            uint8_t d = get_delay();
            if (d > 0)
                d--;
            set_delay(d);
        } else if (user_sel >= CMD_READ && user_sel <= CMD_BLANK) {
            int answered = 0;
            bufSize = ReadUserRange(bufSize, maxAdr, &answered);
            if (answered) {
                if (user_sel == CMD_READ)
                    ReadIC(pByte, bufSize);
                else if (user_sel == CMD_WRITE)
                    WriteIC(pByte, bufSize);
                else
                    CompareIC(pByte, bufSize, user_sel == CMD_BLANK);
            }
        } else if (user_sel == CMD_LOAD) {
            // The image is a byte count; the range end is its last address.
            if (ReadFName(fName)) {
                const unsigned long limit = maxAdr + 1;
                const unsigned long n = Read_File(fName, pByte, limit);
                if (n != 0 && n <= limit) {
                    bufSize = n - 1;
                    snprintf(infoStr, sizeof infoStr, "%ld bytes readed from %s", (long)n, fName);
                } else {
                    snprintf(infoStr, sizeof infoStr, "read-error");
                }
                MessageBox("Info:", infoStr);
            }
        } else if (user_sel == CMD_SAVE) {
            if (ReadFName(fName)) {
                const unsigned long count = bufSize + 1;
                const unsigned long n = Write_File(fName, pByte, count);
                if (n == count)
                    snprintf(infoStr, sizeof infoStr, "%ld bytes written to %s", (long)n, fName);
                else
                    snprintf(infoStr, sizeof infoStr, "write-error");
                MessageBox("Info:", infoStr);
            }
        }
        maxAdr = GetLastAdress((uint16_t)epromtyp);
        // A stop signal during the command: a chip run has cleaned up by now.
        conCheckStop();
        // At the end of input there is no operator left to answer: leave as on "q".
        if (user_sel == MaxCmd - 1 || InputClosed) {
            fprintf(conOut, "Goodbye\n");
            break;
        }
    }
    conFlush();
    free(pByte);
    return 1;
}
