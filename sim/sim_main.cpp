// vantrel-sim: the program on a virtual Vantrel II, with an erased 27C512 in its socket.
#include "console/mainloop.h"
#include "sim/board.h"

int main(int, char**)
{
    vsim::Board& b = vsim::board();
    b.place_on(PORT_LPT_378);
    b.insert_chip(T27512);
    return vantrel_main();
}
