// A virtual UV-erasable EPROM of the 27xx family, as it sits in the Vantrel II socket.
//
// The chip knows its own datasheet facts (size, address pins, program strobe pin, programming
// voltage and the most its VPP pin takes, which socket wiring fits it) and keeps its cells in
// memory. The board decides when the chip drives its data pins, when a program pulse reaches
// it and when a voltage destroys it; the chip only answers "what is in cell i" and "one
// effective pulse with this data hit cell i".
#ifndef VANTREL_SIM_MODEL_EPROM_CHIP_H
#define VANTREL_SIM_MODEL_EPROM_CHIP_H

#include <cstdint>
#include <utility>
#include <vector>

#include "sim/model/chip_types.h"
#include "sim/model/parts.h"

namespace vsim {

// Which socket line is the package's program strobe input (PGM, active low). That line is
// not an address pin of the chip, so reading ignores it and programming needs it low.
enum class StrobePin : uint8_t {
    none,     // pulse on chip enable alone (2708, 2716, 2732, 27256, 27512, 27040)
    a14_line, // 2764, 27128: pin 27 of the 28-pin package sits on the A14 line
    ic5_bit2, // 27010, 27020: pin 31 of the 32-pin package sits on the A18 line (IC5 bit 2)
};

// Datasheet facts of one family, what the socket sees of it: every part of the family fits
// the same wiring and has the same pins.
struct ChipFacts {
    const char* name; // "2764", "27040", ...
    uint32_t size;    // bytes; the chip has log2(size) address pins A0..
    uint8_t socket;   // IC5 Q3..Q7 that wire the socket for this family
    StrobePin strobe; // program strobe pin of the package
};

// Facts of `type` (T2708..T27040).
const ChipFacts& chip_facts(IC type);

class EpromChip {
  public:
    // A fresh, erased chip of `type` (its default part) or of `part`, with no faults.
    explicit EpromChip(IC type);
    explicit EpromChip(const ChipPart& part);
    // A copy holds the cells in memory of its own, also when the original's are a file's.
    EpromChip(const EpromChip& o);
    EpromChip(EpromChip&& o) noexcept;
    EpromChip& operator=(const EpromChip& o);
    EpromChip& operator=(EpromChip&& o) noexcept;
    ~EpromChip() = default;

    // ---- Datasheet --------------------------------------------------------------------
    IC type() const { return type_; }
    const ChipFacts& facts() const { return *facts_; }
    const char* name() const { return part_->name; } // the part: "2764A"
    const ChipPart& part() const { return *part_; }
    uint32_t size() const { return facts_->size; }
    // The address pins as a mask over the socket's A0..A18 lines.
    uint32_t address_mask() const { return facts_->size - 1; }
    uint8_t socket_pattern() const { return facts_->socket; }
    StrobePin strobe_pin() const { return facts_->strobe; }
    // The level tap that programs this chip (0 12.75 V, 1 21 V, 2 25 V). Starts at the
    // part's datasheet value; a test may pretend a different part.
    uint8_t vpp_rating() const { return vpp_rating_; }
    void set_vpp_rating(uint8_t level) { vpp_rating_ = level; }
    // The highest programming voltage the part tolerates, in 1/100 V.
    uint16_t vpp_limit() const { return part_->vpp_limit; }

    // ---- Destruction ------------------------------------------------------------------
    // More than vpp_limit() on the VPP pin breaks the cells down: from then on no cell reads
    // what it held or what is put into it, and programming takes no more. Once only: a
    // second call changes nothing.
    void destroy();
    bool destroyed() const { return destroyed_; }

    // ---- Cells, as the data pins show them --------------------------------------------
    // Cell `index` (already cut to the address pins), stuck cells included. No range check:
    // this is what the board reads at a load pulse.
    uint8_t cell(uint32_t index) const {
        return stuck_.empty() ? cells_[index] : stuck_or_cell(index);
    }
    // Cell `index` as one read puts it on the data pins: cell() with the bits of a flaky
    // cell inverted on its share of the reads. Each call is one read.
    uint8_t read_out(uint32_t index) {
        return flaky_.empty() ? cell(index) : flaky_read_out(index);
    }
    // The same with a range check (throws std::out_of_range), for tests.
    uint8_t byte(uint32_t address) const;
    // Put a value into a cell directly, as a reference programmer would (a stuck cell keeps
    // its stuck value, a destroyed chip garbles it). Does not count as a pulse.
    void set_byte(uint32_t address, uint8_t value);
    // UV erase: every cell 0xFF, pulse counts back to 0. Stuck cells stay stuck, and a
    // destroyed chip stays destroyed: it garbles whatever is put into it.
    void erase();
    // Every cell `value`, pulse counts back to 0 (stuck cells stay stuck).
    void fill(uint8_t value);
    // The whole contents as the data pins show them, in address order.
    std::vector<uint8_t> contents() const;
    std::vector<uint8_t> save() const { return contents(); }
    // Copy `image` into the chip from address 0; cells past its end are erased. Bytes past
    // the chip's size are ignored. Pulse counts back to 0.
    void load(const std::vector<uint8_t>& image);
    bool is_blank() const;

    // ---- Where the cells live ------------------------------------------------------------
    // The cells are the `size()` bytes at `cells` from now on (a chip file's shared mapping,
    // kept by ChipFileSession): what the chip held before is dropped, every programmed bit
    // lands there at once, and what another program writes there is what the chip reads.
    void attach_cells(uint8_t* cells);
    // Back to memory of its own, with the contents the attached cells have now.
    void detach_cells();
    bool cells_attached() const { return cells_ != own_.data(); }

    // ---- Programming ------------------------------------------------------------------
    // One effective program pulse on cell `index` (already cut to the address pins) with
    // `data` on the data pins. A programmed bit is a 0: the cell can only lose 1 bits, and
    // only once it has had as many effective pulses as it needs.
    void program_pulse(uint32_t index, uint8_t data);
    // Effective pulses that cell `address` has had since the last erase/fill/load.
    uint32_t pulses_at(uint32_t address) const;
    // Effective pulses on the whole chip since the last erase/fill/load.
    uint64_t total_pulses() const { return total_pulses_; }

    // ---- Faults -----------------------------------------------------------------------
    // Cell `address` needs `k` effective pulses before it takes a value (k <= 1: normal).
    void set_pulses_needed(uint32_t address, uint8_t k);
    uint8_t pulses_needed(uint32_t address) const;
    // Cell `address` reads `value` forever; programming and erasing do not change it. The
    // cell underneath keeps what it held: the fault is in the read-out.
    void set_stuck(uint32_t address, uint8_t value);
    bool is_stuck(uint32_t address) const;
    // Cell `address` reads with the bits of `mask` inverted on `percent` % of its reads: a
    // cell whose charge sits near the sense amplifier's threshold. The inverted reads are
    // spread evenly, not drawn: after k reads, k * percent / 100 rounded of them were
    // inverted. So the same run reads the same bytes, the first two reads differ from 25 %
    // to 74 %, and any five reads in a row of a 40 % cell hold exactly two inverted ones.
    // Programming and erasing do not change it; setting it again starts its count anew.
    void set_flaky(uint32_t address, uint8_t mask, unsigned percent);
    bool is_flaky(uint32_t address) const;
    // A reproducible share of weak cells: each cell is weak with a chance of `percent` in
    // 100, drawn from `seed`; a weak cell needs 2..max_pulses effective pulses. Replaces
    // every earlier pulse need. Returns the number of weak cells.
    uint32_t set_weak_cells(unsigned percent, unsigned max_pulses, uint64_t seed);
    // No stuck, flaky or weak cells any more (contents stay as they are).
    void clear_faults();

  private:
    uint32_t checked(uint32_t address) const; // throws std::out_of_range past the chip
    uint8_t stuck_or_cell(uint32_t index) const;
    uint8_t flaky_read_out(uint32_t index);
    // What a broken-down cell `index` shows instead of `value`: never `value` itself.
    static uint8_t garbled(uint32_t index, uint8_t value);
    void garble_all();

    IC type_;
    const ChipFacts* facts_;
    const ChipPart* part_;
    uint8_t vpp_rating_;
    std::vector<uint8_t> own_;                        // the cells when no file holds them
    uint8_t* cells_;                                  // own_ or the attached cells
    std::vector<uint32_t> pulses_;                    // effective pulses per cell
    std::vector<uint8_t> needed_;                     // pulses needed per cell; empty: all 1
    std::vector<std::pair<uint32_t, uint8_t>> stuck_; // (cell, value), few
    struct Flaky {
        uint32_t index;
        uint8_t mask;
        unsigned percent;
        uint64_t reads;
    };
    std::vector<Flaky> flaky_; // few
    uint64_t total_pulses_ = 0;
    bool destroyed_ = false;
};

} // namespace vsim

#endif
