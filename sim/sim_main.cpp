// vantrel-sim: the program on a virtual Vantrel II.
#include "console/mainloop.h"

int main(int, char**) {
    return vantrel_main();
}
