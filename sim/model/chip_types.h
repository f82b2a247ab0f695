// The EPROM families the board's socket can be wired for, as the model names them. Their
// order is the order of the board's type keys, so a bench can put the chip of a type number
// into the socket without the program's own table.
#ifndef VANTREL_SIM_MODEL_CHIP_TYPES_H
#define VANTREL_SIM_MODEL_CHIP_TYPES_H

namespace vsim {
namespace chip_types {

enum IC { T2708 = 0, T2716, T2732, T2764, T27128, T27256, T27512, T27010, T27020, T27040, TicMax };

static_assert(TicMax == 10, "ten socket types");

} // namespace chip_types

using namespace chip_types;

} // namespace vsim

#endif
