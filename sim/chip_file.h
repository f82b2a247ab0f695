// A virtual chip that keeps its data between runs: its contents live in a raw image file
// (byte i = cell i, no header) that is read at start and replaced at exit when the run has
// changed the chip. The file is replaced atomically, so a killed run or a full disk leaves
// either the old or the new contents, never half of each.
#ifndef VANTREL_SIM_CHIP_FILE_H
#define VANTREL_SIM_CHIP_FILE_H

#include <cstdint>
#include <string>
#include <vector>

#include "sim/eprom_chip.h"

namespace vsim {

// Reads the image at `path`. A missing file is no error: *existed is false and *data empty.
// A file of another size than `size` bytes, or one that cannot be read, is refused with a
// text naming the file.
bool read_chip_file(const std::string& path, uint32_t size, std::vector<uint8_t>* data,
                    bool* existed, std::string* error);

// Replaces the file at `path` with `data`: written to a temporary file in the same
// directory, flushed to the disk and renamed over the old one (through a symbolic link, to
// its target). An existing file keeps its permission bits; a new one gets 0666 less umask.
bool write_chip_file(const std::string& path, const std::vector<uint8_t>& data, std::string* error);

// One run of a chip with a chip file.
class ChipFileSession {
  public:
    // Loads the file into `chip` (erased when the file does not exist). Call it before the
    // chip gets its faults.
    bool open(const std::string& path, EpromChip& chip, std::string* error);
    // A stuck cell shows its stuck value only while the fault is set for the run; the file
    // keeps what the cell held before.
    void keep_original(uint32_t address) { kept_.push_back(address); }
    // Writes the chip back when its contents differ from what was loaded. *written tells
    // whether the file was replaced.
    bool close(const EpromChip& chip, bool* written, std::string* error);
    const std::string& path() const { return path_; }
    bool existed() const { return existed_; }

  private:
    std::string path_;
    std::vector<uint8_t> original_; // the contents at start, the chip's size
    std::vector<uint32_t> kept_;
    bool existed_ = false;
};

} // namespace vsim

#endif
