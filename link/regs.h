// Bit maps of the Vantrel II wire as the driver uses them: the line byte on the port data
// register, the status lines, and the two control registers IC4 and IC5.
#ifndef VANTREL_LINK_REGS_H
#define VANTREL_LINK_REGS_H

#include <cstdint>

// ---- Line byte (port data register at Base) -------------------------------------------
// Five lines feed the board's four shift registers; bits 5 to 7 are always 0.
constexpr uint8_t LINE_DATA = 0x01;   // bit shifted into the selected register
constexpr uint8_t LINE_CLOCK = 0x02;  // shift clock: the board shifts on the falling edge
constexpr uint8_t LINE_SELECT = 0x0C; // register select code, times 4
constexpr uint8_t LINE_STROBE = 0x10; // 1 while shifting; falling edge latches the outputs
constexpr int LINE_SELECT_SHIFT = 2;

// Register select codes (line bits 2 and 3).
constexpr uint8_t SEL_ADDRESS = 0; // 16-bit address register, A0..A15
constexpr uint8_t SEL_IC5 = 1;     // 8-bit control register IC5
constexpr uint8_t SEL_IC4 = 2;     // 8-bit control register IC4
constexpr uint8_t SEL_DATA = 3;    // 8-bit data shift register, written and read back

// ---- Status register (Base + 1) --------------------------------------------------------
constexpr uint8_t STATUS_READBACK = 0x40; // top bit of the data shift register
constexpr uint8_t STATUS_MONOFLOP = 0x80; // 1 while a program pulse runs

// ---- IC4: voltages, chip select lines, pulse trigger -----------------------------------
constexpr uint8_t IC4_MF_TRIGGER = 0x01; // a rising edge starts the monoflop
constexpr uint8_t IC4_VPP_ON = 0x02;     // programming voltage onto the socket
constexpr uint8_t IC4_UNUSED = 0x04;     // never set
constexpr uint8_t IC4_CE_OFF = 0x08;     // chip enable inactive (active low at the chip)
constexpr uint8_t IC4_OE_OFF = 0x10;     // output enable inactive
constexpr uint8_t IC4_VCC_5V = 0x20;     // 1: supply 5 V, 0: 6.25 V
constexpr uint8_t IC4_VPP_LEVEL = 0xC0;  // programming voltage level field
constexpr uint8_t IC4_VPP_12_75 = 0x00;
constexpr uint8_t IC4_VPP_21 = 0x40;
constexpr uint8_t IC4_VPP_25 = 0x80;

// ---- IC5: upper address lines, socket wiring -------------------------------------------
constexpr uint8_t IC5_A16 = 0x01;
constexpr uint8_t IC5_A17 = 0x02;
constexpr uint8_t IC5_A18 = 0x04; // also the program strobe pin of a 27010/27020
constexpr uint8_t IC5_HIGH_ADDRESS = 0x07;
constexpr uint8_t IC5_SOCKET = 0xF8; // wiring pattern of the selected EPROM family

// Socket wiring patterns per family.
constexpr uint8_t SOCKET_2708_2716 = 0x38;
constexpr uint8_t SOCKET_2732 = 0x10;
constexpr uint8_t SOCKET_2764_27256 = 0x60; // 2764, 27128, 27256
constexpr uint8_t SOCKET_27512 = 0x00;
constexpr uint8_t SOCKET_27010_27040 = 0xA0; // 27010, 27020, 27040

// On a 2764 or 27128 the socket pin driven by A14 is the chip's program strobe input.
constexpr uint16_t ADDR_A14 = 0x4000;

// Line bytes the driver ever writes: 0x02, 0x06, 0x0A, 0x0C, 0x0E and 0x10..0x1F.
constexpr uint32_t LEGAL_LINE_BYTES =
    (1u << 0x02) | (1u << 0x06) | (1u << 0x0A) | (1u << 0x0C) | (1u << 0x0E) | 0xFFFF0000u;
constexpr bool line_byte_is_legal(uint8_t v) {
    return v < 32 && ((LEGAL_LINE_BYTES >> v) & 1u);
}

static_assert(line_byte_is_legal(0x02) && line_byte_is_legal(0x1F), "legal line bytes");
static_assert(!line_byte_is_legal(0x00) && !line_byte_is_legal(0x20), "illegal line bytes");
static_assert((IC5_HIGH_ADDRESS | IC5_SOCKET) == 0xFF, "IC5 fields cover the byte");

// The three parallel port bases the board can hang on, in the order of the port prompt.
constexpr uint16_t PORT_LPT_278 = 0x278;
constexpr uint16_t PORT_LPT_378 = 0x378;
constexpr uint16_t PORT_LPT_3BC = 0x3BC;

#endif
