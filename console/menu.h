// The main menu: one table of commands that both draws the screen and tells the main loop
// what a key does, and the buffer checksum the screen shows.
#ifndef VANTREL_CONSOLE_MENU_H
#define VANTREL_CONSOLE_MENU_H

// What the main loop keeps for the whole run (the work buffer, the range end, the file name);
// the commands work on it.
struct LoopState;

// One command: the key that chooses it, the group it is shown in, the text of its cell and
// what it does.
struct MenuCommand {
    char key;
    int group; // MENU
    // The text between the brackets when the cell is highlighted, 6 columns at most; nullptr
    // for a type command, which shows the type's name from the table of EPROM types.
    const char* label;
    // The voltage level, supply or type the command chooses (VPP, VCC or IC): its cell is
    // highlighted while that is the group's current choice. 0 for the other commands.
    int setting;
    bool endsRow; // the last cell of a printed row
    void (*action)(LoopState* s, int setting);
};

unsigned short CalcChkSum(const unsigned char* pByte, unsigned long bufSize);
// Draws the screen of the `count` commands of `commands` (in command-number order, the exit
// command last; the screen shows them in this order, each group's commands together) and
// reads keys until one chooses a command; returns its number (its position in `commands`),
// or the exit command's when the input has ended.
int menu(const MenuCommand* commands, int count, unsigned short chsum, unsigned long lastAdr);
const char* GetVersion(void);

#endif
