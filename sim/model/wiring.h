// The Vantrel II as its schematic draws it, and the EPROM sockets as the chips' datasheets
// name their pins. The board model is built from these names alone, and the tests compare
// what the program does against them: the driver keeps its own header, so a wrong constant
// there makes the program send something this board does not understand.
#ifndef VANTREL_SIM_MODEL_WIRING_H
#define VANTREL_SIM_MODEL_WIRING_H

#include <cstdint>

namespace vsim {
namespace wiring {

// ---- The connector: the PC parallel port's data register D0..D7 (pins 2 to 9) ---------
// The board listens to D0..D4; D5..D7 are not connected.
constexpr uint8_t D0_SER = 0x01;  // pin 2: serial data into the selected shift register
constexpr uint8_t D1_SCK = 0x02;  // pin 3: shift clock, the registers shift as it falls
constexpr uint8_t D23_SEL = 0x0C; // pins 4 and 5: register select, decoded by a 2-to-4 decoder
constexpr unsigned D23_SEL_SHIFT = 2;
// Pin 6: strobe. High while bits are shifted in; its falling edge clocks the output latches
// of the address register, IC4 and IC5. Low, it turns the data register's clock into a
// parallel load from the socket's data pins.
constexpr uint8_t D4_STB = 0x10;
constexpr uint8_t D57_NC = 0xE0;

// Shift registers by the select code on D3 D2.
constexpr uint8_t SR_ADDRESS = 0; // two 8-bit registers in a chain: A15..A0 of the socket
constexpr uint8_t SR_IC5 = 1;     // IC5: A16..A18 and the socket wiring
constexpr uint8_t SR_IC4 = 2;     // IC4: voltages, chip select lines, pulse trigger
constexpr uint8_t SR_DATA = 3;    // the data register: D7..D0 of the socket, loadable

// ---- The port's status register: the two lines the board drives -----------------------
constexpr uint8_t S6_READBACK = 0x40; // pin 10 (ACK): Q7 of the data register
constexpr uint8_t S7_MONOFLOP = 0x80; // pin 11 (BUSY): output of the program-pulse monoflop
constexpr uint8_t S05_OPEN = 0x3F;    // the inputs the board leaves open: they float high

// ---- IC4 outputs Q0..Q7 --------------------------------------------------------------
constexpr uint8_t IC4Q0_TRIGGER = 0x01; // monoflop trigger input, rising edge
constexpr uint8_t IC4Q1_VPP = 0x02;     // switches the programming voltage onto the socket
constexpr uint8_t IC4Q2_NC = 0x04;      // not connected
constexpr uint8_t IC4Q3_CE_HIGH = 0x08; // drives the chip's /CE pin: 1 deselects the chip
constexpr uint8_t IC4Q4_OE_HIGH = 0x10; // drives the chip's /OE pin: 1 turns its outputs off
constexpr uint8_t IC4Q5_VCC_5V = 0x20;  // supply regulator: 1 for 5 V, 0 for 6.25 V
constexpr uint8_t IC4Q67_LEVEL = 0xC0;  // programming voltage regulator taps
constexpr unsigned IC4Q67_SHIFT = 6;
constexpr uint8_t LEVEL_12V75 = 0x00; // Q7 Q6 = 00
constexpr uint8_t LEVEL_21V = 0x40;   // 01
constexpr uint8_t LEVEL_25V = 0x80;   // 10; 11 taps no level at all

// Programming voltage levels as the regulator's tap number (Q7 Q6).
enum Level : uint8_t { TAP_12V75 = 0, TAP_21V = 1, TAP_25V = 2, TAP_NONE = 3 };

// ---- IC5 outputs Q0..Q7 --------------------------------------------------------------
constexpr uint8_t IC5Q0_A16 = 0x01;
constexpr uint8_t IC5Q1_A17 = 0x02;
constexpr uint8_t IC5Q2_A18 = 0x04;          // pin 31 of a 32-pin socket: /PGM of a 27C010/27C020
constexpr uint8_t IC5Q02_HIGH = 0x07;        // A16..A18
constexpr uint8_t IC5Q37_WIRING = 0xF8;      // socket wiring switches
constexpr uint8_t WIRING_2708_2716 = 0x38;   // 24-pin parts
constexpr uint8_t WIRING_2732 = 0x10;        // 24-pin part with A11 on pin 21
constexpr uint8_t WIRING_2764_27256 = 0x60;  // 28-pin parts with VPP on pin 1
constexpr uint8_t WIRING_27512 = 0x00;       // 28-pin part with VPP on /OE
constexpr uint8_t WIRING_27010_27040 = 0xA0; // 32-pin parts

// Pin 27 of a 28-pin socket is A14 for the 27256 and 27512, and /PGM for a 2764 or 27128.
constexpr uint16_t A14_LINE = 0x4000;

// ---- Where a PC has its parallel ports --------------------------------------------------
constexpr uint16_t LPT_278 = 0x278;
constexpr uint16_t LPT_378 = 0x378;
constexpr uint16_t LPT_3BC = 0x3BC;

// The line bytes the bus protocol uses: a register transfer shifts with the strobe high
// (0x10..0x1F), ends with the strobe low and the clock high (0x02, 0x06, 0x0A), and the data
// register loads with the strobe low (0x0C, 0x0E). Anything else is a fault of the program.
constexpr bool bus_line_byte(uint8_t v) {
    if (v & D57_NC)
        return false;
    if (v & D4_STB)
        return true;
    const uint8_t sel = static_cast<uint8_t>((v & D23_SEL) >> D23_SEL_SHIFT);
    if (sel == SR_DATA)
        return !(v & D0_SER); // the load pulse: 0x0C, 0x0E
    return v == (D1_SCK | static_cast<uint8_t>(sel << D23_SEL_SHIFT));
}

static_assert(bus_line_byte(0x02) && bus_line_byte(0x06) && bus_line_byte(0x0A), "closing");
static_assert(bus_line_byte(0x0C) && bus_line_byte(0x0E) && bus_line_byte(0x1F), "load, shift");
static_assert(!bus_line_byte(0x00) && !bus_line_byte(0x0D) && !bus_line_byte(0x20), "others");
static_assert((IC5Q02_HIGH | IC5Q37_WIRING) == 0xFF, "IC5 fields cover the byte");

} // namespace wiring

using namespace wiring;

} // namespace vsim

#endif
