// Chip files of vantrel-sim.
#include "sim/model/chip_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vsim {

namespace {

std::string sys_error(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

bool write_all(int fd, const uint8_t* p, size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

std::string size_error(const std::string& path, long long have, uint32_t size) {
    char text[160];
    std::snprintf(text, sizeof text, " holds %lld bytes, the chip %u (0x%X)", have, size, size);
    return "chip file " + path + text;
}

} // namespace

ChipFileSession::~ChipFileSession() {
    release();
}

void ChipFileSession::release() {
    if (map_)
        ::munmap(map_, size_);
    if (fd_ >= 0)
        ::close(fd_);
    map_ = nullptr;
    fd_ = -1;
}

bool ChipFileSession::open(const std::string& path, EpromChip& chip, std::string* error) {
    release();
    path_ = path;
    size_ = chip.size();
    struct stat st;
    existed_ = ::stat(path.c_str(), &st) == 0;
    if (!existed_) {
        struct stat lst;
        if (errno == ENOENT && ::lstat(path.c_str(), &lst) == 0) {
            // Creating through it would put the chip wherever the link happens to point.
            *error = "chip file " + path + " is a symbolic link to nothing";
            return false;
        }
        if (errno != ENOENT) {
            *error = sys_error("cannot examine chip file", path);
            return false;
        }
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd_ < 0) {
            *error = sys_error("cannot create chip file", path);
            return false;
        }
        // Every block written now: a page of a full disk would otherwise fail only when a
        // pulse first touches it, and the burn would die there.
        const std::vector<uint8_t> erased(size_, 0xFF);
        if (!write_all(fd_, erased.data(), size_) || ::fsync(fd_) != 0) {
            *error = sys_error("cannot write chip file", path);
            release();
            ::unlink(path.c_str());
            return false;
        }
    } else {
        if (!S_ISREG(st.st_mode)) {
            *error = "chip file " + path + " is not a regular file";
            return false;
        }
        if (static_cast<uint64_t>(st.st_size) != size_) {
            *error = size_error(path, static_cast<long long>(st.st_size), chip.size());
            return false;
        }
        // Non-blocking: should the name have become a FIFO since stat, open does not hang.
        fd_ = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd_ < 0) {
            *error = sys_error("cannot open chip file", path) + " (it must be writable)";
            return false;
        }
        if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) ||
            static_cast<uint64_t>(st.st_size) != size_) {
            *error = "chip file " + path + " changed while it was opened";
            release();
            return false;
        }
        // A sparse file gets its blocks now, for the same reason as a new one.
        if (static_cast<uint64_t>(st.st_blocks) * 512 < size_ &&
            ::posix_fallocate(fd_, 0, static_cast<off_t>(size_)) == ENOSPC) {
            *error = "cannot write chip file " + path + ": " + std::strerror(ENOSPC);
            release();
            return false;
        }
    }
    void* m = ::mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
    if (m == MAP_FAILED) {
        *error = sys_error("cannot map chip file", path);
        release();
        return false;
    }
    map_ = static_cast<uint8_t*>(m);
    chip.attach_cells(map_);
    return true;
}

std::optional<FileId> ChipFileSession::id() const {
    struct stat st;
    if (fd_ < 0 || ::fstat(fd_, &st) != 0)
        return std::nullopt;
    return FileId{static_cast<unsigned long long>(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino)};
}

bool ChipFileSession::close(EpromChip* chip, std::string* error) {
    if (!map_)
        return true;
    if (chip)
        chip->detach_cells();
    bool ok = true;
    if (::msync(map_, size_, MS_SYNC) != 0 || ::fsync(fd_) != 0) {
        *error = sys_error("cannot flush chip file", path_);
        ok = false;
    }
    release();
    return ok;
}

} // namespace vsim
