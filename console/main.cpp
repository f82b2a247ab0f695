// vantrel: the program on a real Vantrel II board, through the PC's parallel port.
#include "console/cmdline.h"
#include "console/mainloop.h"

int main(int argc, char** argv) {
    const int status = parseCommandLine(argc, argv);
    if (status >= 0)
        return status;
    const int job = runCommandJob("vantrel");
    if (job >= 0)
        return job;
    return vantrel_main();
}
