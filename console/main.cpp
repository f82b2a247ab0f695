// vantrel: the program on a real Vantrel II board, through the PC's parallel port.
#include "console/cmdline.h"
#include "console/conio.h"
#include "console/files.h"
#include "console/mainloop.h"
#include "console/ports.h"

int main(int argc, char** argv) {
    // Before anything opens a file: a closed standard output would else be the port's
    // device, and the screen would go out on the board's data lines.
    if (!KeepStdDescriptors())
        return 2;
    // A port lost in the middle of a run ends the program in the running front end's words.
    conSetPortLossHook(endByPortLoss);
    const int status = parseCommandLine(argc, argv);
    if (status >= 0)
        return status;
    const int job = runCommandJob("vantrel");
    if (job >= 0)
        return job;
    return vantrel_main();
}
