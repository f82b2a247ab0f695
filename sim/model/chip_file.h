// A virtual chip that keeps its data between runs: its cells ARE a raw image file (byte i =
// cell i, no header), mapped shared into the chip. A real EPROM keeps what was burnt when the
// power goes; so does this one: every bit a pulse programs is in the file at once, whatever
// way the program ends (a signal, a kill, a full pipe), and a cell another program writes
// into the file while the bench runs is what the chip reads.
#ifndef VANTREL_SIM_MODEL_CHIP_FILE_H
#define VANTREL_SIM_MODEL_CHIP_FILE_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "sim/model/eprom_chip.h"

namespace vsim {

// A file as the file system knows it, by device and inode, whatever its name.
struct FileId {
    unsigned long long dev;
    unsigned long long ino;
};

// One run of a chip with a chip file.
class ChipFileSession {
  public:
    ChipFileSession() = default;
    ChipFileSession(const ChipFileSession&) = delete;
    ChipFileSession& operator=(const ChipFileSession&) = delete;
    ~ChipFileSession();

    // Puts the chip's cells into the file at `path`: an existing file must be a regular file
    // of the chip's size that this process may write (a link is followed to it); a missing
    // one is created, erased (0xFF), with 0666 less the umask. Everything that could make a
    // burn fail later (no such directory, no right to write, no room on the disk, a FIFO, a
    // device, a link to nothing) is refused here, with a one-line text naming the file.
    bool open(const std::string& path, EpromChip& chip, std::string* error);
    // Gives the chip its cells back in memory (with what the file holds now), flushes the
    // file to the disk and lets it go. Safe to call twice.
    bool close(EpromChip* chip, std::string* error);
    const std::string& path() const { return path_; }
    // The open file's device and inode, or nothing when none is open.
    std::optional<FileId> id() const;
    bool existed() const { return existed_; } // false: open() created the file
    bool is_open() const { return map_ != nullptr; }

  private:
    void release();

    std::string path_;
    int fd_ = -1;
    uint8_t* map_ = nullptr;
    size_t size_ = 0;
    bool existed_ = false;
};

} // namespace vsim

#endif
