// The board's wire as a Value Change Dump (IEEE 1364 VCD), for GTKWave, PulseView and the
// like: the five lines the PC drives (data, clock, the 2-bit register select code, strobe),
// the two status lines the board drives back (read-back, monoflop), and the latched outputs
// of IC4, IC5 and the address register (A0..A15, or A0..A18 with a chip of more than 64 KiB).
//
// The buses are written bit by bit, as one-bit wires named select[1], ic4[7], address[18]
// and so on: the VCD reader of libsigrok 0.5 (PulseView, sigrok-cli) stops at the first
// vector value change and would show nothing at all, while bit-blasted buses load
// everywhere. GTKWave joins such bits into one bus by itself (select[1:0], ic4[7:0],
// address[18:0]); PulseView shows a channel per bit, which its parallel decoder can join.
//
// The board has no clock but the port access, so neither has the dump: one time unit is one
// port access, written as 1 us (about what an ISA-bus parallel port takes per access), and
// the VCD time is the board's tick counter. A full 27C040 run is some 200 million accesses,
// so a sample is one compare when nothing changed and the text goes out through one large
// buffer; nothing is allocated per access.
#ifndef VANTREL_SIM_MODEL_VCD_TRACE_H
#define VANTREL_SIM_MODEL_VCD_TRACE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/model/board.h"

namespace vsim {

// What the wire shows at one moment.
struct WireSample {
    uint8_t line = 0;     // line byte on the board's port (bits 0-4 are the five lines)
    uint8_t status = 0;   // status byte (bit 6 read-back, bit 7 monoflop)
    uint8_t ic4 = 0;      // latched IC4 outputs
    uint8_t ic5 = 0;      // latched IC5 outputs
    uint32_t address = 0; // socket address lines A0..A18
};

// Writes a VCD file from samples of the wire.
class VcdWriter {
  public:
    static constexpr size_t DEFAULT_BUFFER = 1u << 20;

    explicit VcdWriter(size_t buffer_bytes = DEFAULT_BUFFER);
    ~VcdWriter();
    VcdWriter(const VcdWriter&) = delete;
    VcdWriter& operator=(const VcdWriter&) = delete;

    // Creates `path` and writes the header. `address_bits` is 16 (A0..A15) or 19 (A0..A18).
    bool open(const std::string& path, unsigned address_bits, std::string* error);
    bool is_open() const { return fd_ >= 0; }
    // The wire at `time`. The first sample is the initial dump; later ones write only what
    // changed, under a new time mark. Times must grow; a sample at a time not after the
    // last one is dropped.
    inline void sample(uint64_t time, const WireSample& s);
    // Writes a last time mark at `end_time` (if later than the last sample), flushes and
    // closes the file. False when any write failed on the way.
    bool close(uint64_t end_time, std::string* error);
    uint64_t samples_written() const { return changes_; }

  private:
    static uint64_t pack(const WireSample& s) {
        return uint64_t{s.line} | uint64_t{s.status} << 8 | uint64_t{s.ic4} << 16 |
               uint64_t{s.ic5} << 24 | uint64_t{s.address} << 32;
    }
    void write_changes(uint64_t time, uint64_t now);
    void put_time(uint64_t time);
    void put_text(const char* text);
    void flush();

    int fd_ = -1;
    std::string path_;
    std::vector<char> buf_;
    size_t pos_ = 0;
    bool failed_ = false;
    int errno_ = 0;
    bool started_ = false;
    uint64_t last_time_ = 0;
    uint64_t last_ = 0; // packed previous sample
    unsigned address_bits_ = 16;
    uint64_t shown_ = 0; // the bits of a packed sample that some signal shows
    char id_[64] = {};   // identifier code of the signal of each packed bit
    uint64_t changes_ = 0;
};

// Follows the board's every port access into a VcdWriter.
class BoardTrace {
  public:
    explicit BoardTrace(size_t buffer_bytes = VcdWriter::DEFAULT_BUFFER) : writer_(buffer_bytes) {}
    // Opens the file and hooks into `board`. The address bus is 19 bits wide when the chip
    // in the socket has more than 16 address pins or the socket is empty, else 16 bits.
    bool start(Board& board, const std::string& path, std::string* error);
    // Writes the state after the last access, closes the file and unhooks.
    bool stop(std::string* error);
    bool running() const { return board_ != nullptr; }
    static WireSample sample_of(const Board& b) {
        WireSample s;
        s.line = b.line();
        s.status = b.status();
        s.ic4 = b.ic4();
        s.ic5 = b.ic5();
        s.address = b.address_lines();
        return s;
    }

  private:
    // Called at each access before it takes effect: the board shows the state after the
    // previous access, which is what the wire held at that access's time.
    static void on_access(void* self, const PortAccess& access);

    Board* board_ = nullptr;
    VcdWriter writer_;
};

// ---- Inline -----------------------------------------------------------------------------

inline void VcdWriter::sample(uint64_t time, const WireSample& s) {
    const uint64_t now = pack(s) & shown_;
    if (started_ && (now == last_ || time <= last_time_))
        return;
    write_changes(time, now);
}

} // namespace vsim

#endif
