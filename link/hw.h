// The programmer link: port access and bus timing, the serial register bus, the control
// registers IC4 and IC5, and board detection.
#ifndef VANTREL_LINK_HW_H
#define VANTREL_LINK_HW_H

#include <csignal>
#include <cstdint>

// ---- Port access and bus timing ---------------------------------------------------------
extern uint16_t Base; // data register of the parallel port in use; status is at Base + 1
extern uint8_t Delay; // bus speed factor 1..255: every bus wait grows with its square

// A refused request ends nothing here: port_refusal() (link/platform.h) keeps why, and
// portHeld() is 0 until a port is granted.
void setBase(uint16_t newBase);
uint16_t setPort(uint8_t x);
// Make any `newBase` the port in use and ask for access to it: 1 granted (the status
// register read once, as setBase does), 0 refused (nothing touched).
unsigned int openPort(uint16_t newBase);
// The same for the port behind a ppdev device path; Base becomes its base address.
unsigned int openPortDevice(const char* path);
// 1 while the program holds the port in Base: it was granted and has not failed since.
unsigned int portHeld(void);
// Give up root's rights once the port is open (see port_end_root): 0, or -1 with errno.
int endRootRights(void);
unsigned int set_delay(uint8_t idelay);
uint8_t get_delay(void);
void us_delay(uint16_t loops);
void ms_delay(uint16_t ticks);
void constDelay(uint16_t anz);
uint8_t InportB(void);

// ---- Serial register bus ----------------------------------------------------------------
void PutAdr(uint16_t putAdr);
// One bit shifted into the address register and latched: the lines show ((last << 1) | bit)
// & 0xFFFF. 5 line writes and 5 waits, against PutAdr's 35 and 50.
void PutAdrBit(uint8_t bit);
// The 65,536 values of the address register in an order where each follows from the one
// before by PutAdrBit (of its own bit 0): it starts at 0, the start of every 64 KiB bank, so
// one PutAdr and 65,535 one-bit shifts visit a whole bank. Made at the first call.
const uint16_t* AdrWalk(void);
void PutIC5(uint8_t putData);
void PutIC4(uint8_t putData);
void PutData(uint8_t out_Data);
uint8_t GetData(void);
uint8_t GetDataIntern(void);

// ---- Control registers IC4 and IC5 ------------------------------------------------------
extern uint8_t ic_IC4;        // shadow of IC4 (the board cannot read it back)
extern uint8_t ic_IC5;        // shadow of IC5
extern int vpp;               // chosen programming voltage level (enum VPP)
extern int vcc;               // chosen supply voltage (enum VCC)
extern unsigned int SelectMF; // 0: pulse timed by the board's monoflop, else by a fixed wait

void AndIC4(uint8_t value, unsigned int set);
void AndIC5(uint8_t value, unsigned int set);
void OrIC4(uint8_t value, unsigned int set);
void OrIC5(uint8_t value, unsigned int set);
void SetVpp(int vppType);
void SetVcc(unsigned int highVcc);
void SwitchVpp(unsigned int bVpp);
void SwitchCE(unsigned int bCE);
void SwitchOE(unsigned int bOE);
void ResetMFBit(void);
void setAdress(unsigned long adress);
// The socket at rest in one IC4 transfer: programming voltage off, chip enable and output
// enable inactive, the chosen supply (vcc), from what IC4 really latched last: the level
// bits as they are, and the trigger bit at its level, since raising it would start a
// program pulse.
void RestIC4(void);
void UseMF(unsigned int useMf);
unsigned int GetMFSelection(void);

// ---- Stopping and pausing a chip run between two transfers -----------------------------
// The board keeps whatever IC4 latched last, and in the middle of a burn that may be the
// programming voltage on a selected chip: a run must never simply be cut off, nor frozen
// where it stands. A stop request (a signal, or a console that went away) and a pause
// request (Ctrl-Z) are therefore only noted. While a run has the bus halt, every transfer
// from the next one on is held back, so the board sees whole transfers only; the run
// notices the request, opens the bus again for its own clean-up, and then returns (stop) or
// lets the front end stop the process and sets the chip up again (pause).
#define STOP_CONSOLE_LOST (-1) // StopRequest value for a console that went away
#define STOP_PORT_LOST (-2)    // a port that failed after it was opened (port_loss() says how)
extern volatile sig_atomic_t StopRequest;   // 0, the stop signal's number, or a STOP_ value
extern volatile sig_atomic_t PauseRequest;  // 0, or the number of the signal that pauses
extern volatile sig_atomic_t RunInProgress; // nonzero from a chip run's start to its return
extern unsigned int HaltOnStop;             // nonzero while a chip run's transfers may be held

// What IC4 and IC5 really latched last. The shadows may hold changes composed but never
// sent; a transfer held back by a stop or a pause leaves its shadow at the latched byte.
extern uint8_t latched_IC4;
extern uint8_t latched_IC5;

// ---- Board detection and port choice ----------------------------------------------------
// What opening a port and testing the board on it came to. The link layer only finds out;
// the front end says it to the operator and decides whether the program goes on.
enum PORT_OPEN {
    TPORT_FOUND = 0, // the board answers on the port in Base
    TPORT_NOT_FOUND, // the port is open (Base), but the board does not answer on it
    TPORT_NO_ACCESS, // refused, nothing touched: port_refusal() says why (rights, no device,
                     // not a parallel port, busy, vanished)
    TPORT_BAD_NAME,  // neither a base address nor a device path
    TPORT_LOST,      // a port that failed after it was opened: port_loss() says how
    TportMax
};
// What a detection asks the front end to show in a box.
enum DETECT_NOTE {
    TNOTE_NONE = 0, // nothing
    TNOTE_FOUND_AT, // the scan found the board on another port than the one it started on
    TNOTE_NOT_AT,   // the board does not answer on the given port
    TNOTE_NOWHERE,  // the scan: no port passed the loopback test
    TnoteMax
};
struct Detection {
    int outcome;   // TPORT_FOUND, TPORT_NOT_FOUND or TPORT_NO_ACCESS
    int note;      // enum DETECT_NOTE
    uint16_t port; // the port the note names: Base at the end
};

// The board test of the start-up: First == 1 scans the three ports from Base, anything else
// tests Base as a given port. Returns 1 when the board answered on the port left in Base;
// *d (may be NULL) tells the rest. After a failed scan Base is the starting port if the scan
// could open it, else the first port it did open: never a port the program does not hold.
unsigned int vantrel_select(unsigned int First, Detection* d);

// Opens the port named by `port` (see common/portname.h) without a word to the board: 1 (Base
// is its data register now), 0 refused (port_refusal() tells why), -1 no port name.
int openPortByName(const char* port);
// The walking-bit test on the port in Base: 1 when the board hands back every bit shifted
// into its data register.
unsigned int boardAnswers(void);
// Opens the port named by `port` (see common/portname.h) and runs the walking-bit test on
// it: TPORT_FOUND, TPORT_NOT_FOUND (Base is that port all the same), TPORT_NO_ACCESS
// (nothing touched) or TPORT_BAD_NAME.
int openNamedPort(const char* port);

#endif
