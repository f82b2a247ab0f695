// The virtual Vantrel II: four shift registers fed by five lines of the PC's parallel port
// data register, the latched outputs of the address register, IC4 and IC5, the data shift
// register's read-back line and the program-pulse monoflop on the status register, and the
// socket with an optional virtual EPROM.
//
// The board's clock is the port access: every inb or outb is one tick. A full 27C040 read
// costs some 200 million accesses, so outb/inb stay tiny and inline; everything that happens
// a few times per byte (latches, loads, pulses, protocol faults) lives out of line.
//
// Besides the hardware the model keeps what a test bench wants to see: counters, an optional
// trace of every access and of every latched register value, the protocol violations of the
// program (writes and reads of the wrong ports, accesses before ioperm, line bytes the bus
// never uses) and the hazards to the chip (programming voltage where it can hurt).
#ifndef VANTREL_SIM_MODEL_BOARD_H
#define VANTREL_SIM_MODEL_BOARD_H

#include <bitset>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/model/chip_types.h"
#include "sim/model/wiring.h"
#include "sim/model/eprom_chip.h"

namespace vsim {

// The four registers, numbered by their select code on line bits 2-3.
enum class Reg : uint8_t { address = SR_ADDRESS, ic5 = SR_IC5, ic4 = SR_IC4, data = SR_DATA };

// Faults of the two status lines.
enum class LineFault : uint8_t { none, stuck_at_0, stuck_at_1 };

// One port access, as the trace records it.
struct PortAccess {
    enum Kind : uint8_t { read, write };
    Kind kind;
    uint8_t value; // written, or returned by the read
    uint16_t port;
    bool operator==(const PortAccess& o) const {
        return kind == o.kind && value == o.value && port == o.port;
    }
};

// Called at each port access before it takes effect, after the tick counter has counted it:
// the board still shows the state after the previous access. `access.value` is the byte
// written; for a read it is 0, since the read is not answered yet.
using AccessHook = void (*)(void* self, const PortAccess& access);

// One port_ioperm call and its answer.
struct IopermCall {
    unsigned long from;
    unsigned long num;
    int turn_on;
    int result;
};

// Short texts with a count. Only the first KEEP texts are stored, so a program that repeats
// a fault 200 million times does not eat the memory; count() counts them all.
class EventLog {
  public:
    static constexpr size_t KEEP = 200;
    void add(std::string text);
    uint64_t count() const { return count_; }
    bool empty() const { return count_ == 0; }
    const std::vector<std::string>& texts() const { return texts_; }
    // Number of stored texts that contain `part`.
    size_t count_containing(const std::string& part) const;
    // All stored texts, one a line (for test failure messages).
    std::string joined() const;
    void clear();

  private:
    std::vector<std::string> texts_;
    uint64_t count_ = 0;
};

class Board {
  public:
    static constexpr uint32_t DEFAULT_MONOFLOP_TICKS = 100;
    static constexpr uint16_t LAST_BASE = 0xFFFD;
    // The unused status inputs (bits 0-5) float high while the board is on the port.
    static constexpr uint8_t STATUS_FLOATING = S05_OPEN;

    // Factory defaults: board on 0x378, empty socket, no faults, 100-tick monoflop.
    Board();

    // ---- Configuration (reset() keeps it, factory_reset() restores the defaults) -------
    // Hang the board on the port with data register `base`: one of the PC's three classic
    // ports (0x278, 0x378, 0x3BC) or a card's port anywhere up to LAST_BASE. 0 or a larger
    // value unplugs it.
    void place_on(uint16_t base);
    void unplug() { place_on(0); }
    bool present() const { return base_ != 0; }
    uint16_t base() const { return base_; }
    // The read-back line (status bit 6) stuck at 0 or 1, or working.
    void set_readback_fault(LineFault f);
    LineFault readback_fault() const { return readback_fault_; }
    // The monoflop stuck: at 0 status bit 7 always reads 0 and a trigger does nothing; at 1
    // it always reads 1 and a trigger does nothing either. Setting a fault ends a running
    // pulse without effect.
    void set_monoflop_fault(LineFault f);
    LineFault monoflop_fault() const { return monoflop_fault_; }
    // Pulse length in ticks (port accesses): the N accesses after the triggering one see
    // status bit 7 at 1. At least 1.
    void set_monoflop_ticks(uint32_t ticks);
    uint32_t monoflop_ticks() const { return mf_ticks_; }
    // The socket's contact of address line `line` (0..18) is open: the chip sees that line
    // at 0, when it is read and when it is programmed alike. A line that is no address pin of
    // the chip in the socket changes nothing.
    void set_open_address_line(unsigned line);
    uint32_t open_address_lines() const { return open_address_; } // a mask over A0..A18
    // The socket's contact of data line `line` (0..7) is open: the board reads `level` on it,
    // whatever the chip drives or not. While a byte is burnt nothing drives the chip's pin
    // low, so that bit of the cell is never programmed: it keeps what it had, an erased 1.
    void set_open_data_line(unsigned line, bool level);
    uint8_t open_data_lines() const { return static_cast<uint8_t>(~data_and_); } // mask
    uint8_t open_data_levels() const { return data_or_; }
    // Make port_ioperm answer -1, as for a program without root rights.
    void set_ioperm_refused(bool refused) { ioperm_refused_ = refused; }
    // Make port_ioperm answer -1 for a request that starts at `from` only, as for a port
    // whose device the user may not open.
    void refuse_ioperm_from(uint16_t from) { refused_from_.push_back(from); }
    bool ioperm_refused() const { return ioperm_refused_; }
    // Recording of the access trace and the latch histories (off by default).
    void set_recording(bool on) {
        recording_ = on;
        observed_ = recording_ || hook_;
    }
    bool recording() const { return recording_; }
    // One observer of every access (nullptr: none). reset() keeps it, factory_reset()
    // removes it.
    void set_access_hook(AccessHook hook, void* self) {
        hook_ = hook;
        hook_self_ = self;
        observed_ = recording_ || hook_;
    }

    // ---- Socket -------------------------------------------------------------------------
    // Put a fresh erased chip of `type` into the socket (replacing any other) / a prepared
    // chip. Returns the chip in the socket.
    EpromChip& insert_chip(IC type);
    EpromChip& insert_chip(EpromChip chip);
    void remove_chip();
    EpromChip* chip() { return chip_ ? &*chip_ : nullptr; }
    const EpromChip* chip() const { return chip_ ? &*chip_ : nullptr; }
    // What the board sees on the socket's data pins now: the chip's cell when it drives them,
    // else 0xFF, and the level of any open line. Not a read of the chip: a flaky cell
    // shows its value.
    uint8_t socket_pins() const;
    bool chip_drives_pins() const { return socket_drive_; }

    // ---- Power ----------------------------------------------------------------------------
    // Power-on state: every shift register and output 0, line byte 0, monoflop at rest,
    // counters, trace, histories, violations and hazards cleared, no port granted. The
    // configuration and the chip (with its contents and faults) stay.
    void reset();
    // reset() plus the factory configuration and an empty socket.
    void factory_reset();

    // ---- The three platform calls -----------------------------------------------------
    int ioperm(unsigned long from, unsigned long num, int turn_on);
    inline uint8_t inb(uint16_t port);
    inline void outb(uint8_t value, uint16_t port);

    // ---- Register outputs and lines ---------------------------------------------------
    uint16_t address() const { return address_; } // latched A0..A15
    uint8_t ic4() const { return ic4_; }          // latched IC4 outputs
    uint8_t ic5() const { return ic5_; }          // latched IC5 outputs
    // Socket address lines A0..A18: address register plus IC5 bits 0-2.
    uint32_t address_lines() const { return address_lines_; }
    uint8_t data_register() const { return static_cast<uint8_t>(shift_[SR_DATA]); }
    // Raw content of a shift register (what the next latch would put out).
    uint16_t shift_register(Reg r) const;
    uint8_t line() const { return line_; } // last line byte written to the board's port
    bool monoflop_running() const { return monoflop_bit() != 0; }
    // The status byte the board puts out now (0xFF when unplugged).
    uint8_t status() const { return present() ? status_byte() : 0xFF; }

    // ---- Counters (cleared by reset) ----------------------------------------------------
    uint64_t ticks() const { return ticks_; } // port accesses of any kind
    uint64_t reads() const { return reads_; }
    uint64_t writes() const { return writes_; }
    uint64_t latches(Reg r) const { return latches_[static_cast<unsigned>(r) & 3]; }
    uint64_t loads() const { return loads_; }                // load pulses into the data register
    uint64_t triggers() const { return triggers_; }          // monoflop pulses started
    uint64_t effective_pulses() const { return effective_; } // pulses that reached a cell
    uint64_t spoiled_pulses() const { return spoiled_; }     // pulses that ended without effect

    // ---- Records (only while recording; cleared by reset and clear_records) ----------
    const std::vector<PortAccess>& trace() const { return trace_; }
    // Values of every write in the trace, in order.
    std::vector<uint8_t> written_bytes() const;
    const std::vector<uint8_t>& ic4_history() const { return ic4_history_; }
    const std::vector<uint8_t>& ic5_history() const { return ic5_history_; }
    const std::vector<uint16_t>& address_history() const { return address_history_; }
    // Every ioperm call, recording or not.
    const std::vector<IopermCall>& ioperm_calls() const { return ioperm_calls_; }
    void clear_records();

    // ---- Protocol violations and hazards to the chip ----------------------------------
    const EventLog& violations() const { return violations_; }
    const EventLog& hazards() const { return hazards_; }
    // The chip is left safe: programming voltage switch off and chip enable inactive.
    bool is_idle() const { return !(ic4_ & IC4Q1_VPP) && (ic4_ & IC4Q3_CE_HIGH); }
    // is_idle(), and a hazard recorded when it is not (call it after each run).
    bool idle_check();
    bool granted(uint16_t port) const { return granted_[port]; }

  private:
    // No port number matches this: disables a fast path.
    static constexpr uint32_t NO_PORT = 0x10000;

    inline void tick();
    inline void decode(uint8_t line);
    inline void load_from_socket();
    uint8_t monoflop_bit() const {
        return static_cast<uint8_t>((ticks_ < mf_stop_ ? S7_MONOFLOP : 0) | mf_or_);
    }
    uint8_t status_byte() const {
        const uint32_t readback = ((shift_[SR_DATA] >> 1) & readback_and_) | readback_or_;
        return static_cast<uint8_t>(STATUS_FLOATING | readback | monoflop_bit());
    }

    // A data or status register of one of the PC's parallel ports: the classic three, the
    // card the board hangs on, and any port whose three registers the program asked for
    // (the operator may name a card's port the board does not hang on).
    bool is_data_register(uint16_t port) const;
    bool is_status_register(uint16_t port) const;
    uint8_t slow_read(uint16_t port);
    void slow_write(uint8_t value, uint16_t port);
    uint8_t observed_inb(uint16_t port);
    void observed_outb(uint8_t value, uint16_t port);
    void record(PortAccess::Kind kind, uint16_t port, uint8_t value);
    void latch(unsigned sel);
    void trigger();
    void close_pulse();
    bool pulse_conditions() const;
    void check_vpp_hazards(bool ic4_latch);
    void update_socket();
    void update_fast_ports();

    // -- Configuration
    uint16_t base_ = LPT_378; // data register of the port the board hangs on, 0: absent
    LineFault readback_fault_ = LineFault::none;
    LineFault monoflop_fault_ = LineFault::none;
    uint32_t readback_and_ = S6_READBACK; // status bit 6 = register bit 7 AND this, OR ...
    uint32_t readback_or_ = 0;            // ... this (stuck lines)
    uint32_t open_address_ = 0;           // socket address lines without contact
    uint8_t data_and_ = 0xFF;             // what the board loads: the data pins AND this ...
    uint8_t data_or_ = 0;                 // ... OR this (open data lines)
    uint8_t mf_or_ = 0;                   // monoflop stuck at 1
    uint32_t mf_ticks_ = DEFAULT_MONOFLOP_TICKS;
    bool ioperm_refused_ = false;
    std::vector<uint16_t> refused_from_;
    bool recording_ = false;
    AccessHook hook_ = nullptr;
    void* hook_self_ = nullptr;
    bool observed_ = false; // recording or hooked: the access path detours

    // -- The access path: decides per access whether the quick route applies
    uint32_t fast_write_port_ = NO_PORT; // base_ when present and granted
    uint32_t fast_read_port_ = NO_PORT;  // base_ + 1 when present and granted
    std::bitset<0x10000> granted_;       // ports that ioperm has opened
    std::vector<uint16_t> port_blocks_;  // first ports of the three-port grants

    // -- Board hardware
    uint8_t line_ = 0;              // last line byte on the board's port
    uint32_t shift_[4] = {};        // shift registers by select code; bit 0 = newest bit
    uint16_t address_ = 0;          // address register outputs, A0..A15
    uint8_t ic5_ = 0;               // IC5 outputs: A16..A18, socket wiring
    uint8_t ic4_ = 0;               // IC4 outputs: trigger, VPP, CE, OE, VCC, VPP level
    uint32_t address_lines_ = 0;    // A0..A18 as the socket sees them
    uint64_t mf_stop_ = 0;          // first tick at which the monoflop reads 0 again
    uint64_t pulse_close_tick_ = 0; // first tick after a pulse, 0: no pulse open

    // -- Socket
    std::optional<EpromChip> chip_;
    bool socket_drive_ = false; // the chip drives the data pins (wiring, CE, OE, no VPP)
    uint32_t chip_lines_ = 0;   // the address lines the chip sees: its pins with contact

    // -- The pulse in progress
    bool pulse_ok_ = false;    // every condition held so far
    uint32_t pulse_lines_ = 0; // address lines at the trigger
    uint8_t pulse_data_ = 0;   // data register at the trigger

    // -- Counters
    uint64_t ticks_ = 0, reads_ = 0, writes_ = 0, loads_ = 0;
    uint64_t latches_[4] = {};
    uint64_t triggers_ = 0, effective_ = 0, spoiled_ = 0;

    // -- Records
    std::vector<PortAccess> trace_;
    std::vector<uint8_t> ic4_history_, ic5_history_;
    std::vector<uint16_t> address_history_;
    std::vector<IopermCall> ioperm_calls_;
    EventLog violations_, hazards_;
};

// The one board of the process: vantrel-sim's port calls and the harness's trapped port
// instructions reach it, straight to its inline access path.
extern Board the_board;
inline Board& board() {
    return the_board;
}

// ---- The per-access path ---------------------------------------------------------------

inline void Board::tick() {
    // A pulse ends between two accesses; the access after its last tick sees the result.
    if (++ticks_ == pulse_close_tick_)
        close_pulse();
}

inline uint8_t Board::inb(uint16_t port) {
    tick();
    if (observed_)
        return observed_inb(port);
    ++reads_;
    return port == fast_read_port_ ? status_byte() : slow_read(port);
}

inline void Board::outb(uint8_t value, uint16_t port) {
    tick();
    if (observed_)
        return observed_outb(value, port);
    ++writes_;
    if (port == fast_write_port_ && bus_line_byte(value))
        decode(value);
    else
        slow_write(value, port);
}

inline void Board::decode(uint8_t line) {
    const unsigned fell = line_ & ~line;
    line_ = line;
    if (!(fell & (D1_SCK | D4_STB)))
        return;
    const unsigned sel = (line & D23_SEL) >> D23_SEL_SHIFT;
    if (fell & D1_SCK) {
        // The strobe line gates the shift clock; with the strobe low the clock of the data
        // register instead loads it in parallel from the socket's data pins.
        if (line & D4_STB)
            shift_[sel] = (shift_[sel] << 1) | (line & D0_SER);
        else if (sel == SR_DATA)
            load_from_socket();
    }
    // The data shift register has no output latch: only the other three latch.
    if ((fell & D4_STB) && sel != SR_DATA)
        latch(sel);
}

inline void Board::load_from_socket() {
    ++loads_;
    const uint8_t pins = socket_drive_ ? chip_->read_out(address_lines_ & chip_lines_) : 0xFF;
    shift_[SR_DATA] = (pins & data_and_) | data_or_;
}

} // namespace vsim

#endif
