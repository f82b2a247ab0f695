// vantrel: the program on a real Vantrel II board, through x86 port I/O.
#include "console/mainloop.h"

int main(int, char**) {
    return vantrel_main();
}
