// The program pulse. An EPROM cell is programmed by holding the programming voltage on the
// socket while a pulse of fixed length is applied to the chip's program input; the board's
// monoflop times that pulse, so its length does not depend on how fast this PC is.
#include "eprom/ic_types.h"
#include "eprom/misc.h"
#include "link/bus.h"
#include "link/ctrl.h"
#include "link/port.h"
#include "link/regs.h"

// Waits for the monoflop: it must be at rest before the trigger (else the board is still
// busy or broken) and back at rest within the end wait. Whatever happens, changePins
// switches the programming voltage off and deselects the chip before returning.
unsigned int GetMFBit(unsigned int wait_type, unsigned int changePins) {
    unsigned int result = 0;
    if (wait_type) {
        constDelay(300);
        result = 1;
    } else {
        ResetMFBit();
        bool ready = false;
        for (uint16_t stop = 200; stop > 0; stop--) {
            if ((InportB() & STATUS_MONOFLOP) == 0) {
                ready = true;
                break;
            }
            constDelay(1);
        }
        if (ready) {
            PutIC4((uint8_t)(ic_IC4 | IC4_MF_TRIGGER)); // the rising edge starts the pulse
            for (uint16_t stop = 4000; stop > 0; stop--) {
                constDelay(2);
                if ((InportB() & STATUS_MONOFLOP) == 0) {
                    result = 1;
                    break;
                }
            }
        }
    }
    if (changePins) {
        ic_IC4 = (uint8_t)((ic_IC4 & ~IC4_VPP_ON) | IC4_CE_OFF);
        PutIC4(ic_IC4);
    }
    return result;
}

// The 27010 and 27020 take their program strobe on the A18 pin. adressesetzen only sends
// IC5 at address 0 and above 0xFFFF, so at every other address the pin has to be moved here,
// or it would stay high through the pulse and the byte would never be programmed.
static void strobeA18(bool low) {
    if (ICTypeStrobe(epromtyp) != TPINA18)
        return;
    const bool isLow = (ic_IC5 & IC5_A18) == 0;
    if (low && !isLow)
        AndIC5((uint8_t)~IC5_A18, 1);
    else if (!low && isLow)
        OrIC5(IC5_A18, 1);
}

unsigned int Writing(unsigned char& back, unsigned long adresse, unsigned char value) {
    // Deselect the chip and go to 6.25 V before the address and data change under it.
    AndIC4((uint8_t) ~(IC4_MF_TRIGGER | IC4_OE_OFF | IC4_VCC_5V), 0);
    OrIC4(IC4_CE_OFF, 1);
    adressesetzen(adresse, 1);
    PutData(value);
    AndIC4((uint8_t)~IC4_VCC_5V, 0);
    OrIC4(IC4_VPP_ON | IC4_CE_OFF | IC4_OE_OFF, 0);

    // An erased cell already reads 0xFF and a pulse can only clear bits: nothing to do.
    if (value != 0xFF) {
        switch (ICTypeMethod(epromtyp)) {
        case TPGMNONE:
            // 2708, 2716: no programming voltage was ever switched on; the run tells the
            // operator.
            back = 0;
            return 0;
        case TPGMSTROBE:
            // 2764, 27128, 27010, 27020: the pulse on the package's program strobe pin.
            OrIC4(0x00, 1); // programming voltage on
            AndIC4((uint8_t)~IC4_CE_OFF, 1);
            adressesetzen(adresse, 0); // PGM low: A14 on the 2764/27128
            strobeA18(true);
            if (!GetMFBit(GetMFSelection(), 1)) {
                back = 1;
                return 0;
            }
            adressesetzen(adresse, 1);
            strobeA18(false);
            break;
        default: // TPGMCE: 2732, 27256, 27512, 27040: the pulse is on chip enable
            OrIC4(0x00, 1);
            AndIC4((uint8_t)~IC4_CE_OFF, 1); // the pulse starts
            if (!GetMFBit(GetMFSelection(), 1)) {
                back = 1;
                return 0;
            }
            break;
        }
    }

    // Programming voltage off, chip selected and driving its outputs, still at 6.25 V.
    AndIC4((uint8_t) ~(IC4_VPP_ON | IC4_CE_OFF | IC4_OE_OFF | IC4_VCC_5V), 1);
    us_delay(2);
    back = GetData();
    return 1;
}
