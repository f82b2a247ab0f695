// Chip files of vantrel-sim.
#include "sim/chip_file.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

} // namespace

bool read_chip_file(const std::string& path, uint32_t size, std::vector<uint8_t>* data,
                    bool* existed, std::string* error) {
    data->clear();
    *existed = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return true; // a new virtual chip, fresh from the box: erased
        *error = sys_error("cannot open chip file", path);
        return false;
    }
    *existed = true;
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        *error = sys_error("cannot examine chip file", path);
        ::close(fd);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = "chip file " + path + " is not a regular file";
        ::close(fd);
        return false;
    }
    if (static_cast<uint64_t>(st.st_size) != size) {
        char text[160];
        std::snprintf(text, sizeof text, " holds %lld bytes, the chip %u (0x%X)",
                      static_cast<long long>(st.st_size), size, size);
        *error = "chip file " + path + text;
        ::close(fd);
        return false;
    }
    data->resize(size);
    size_t got = 0;
    while (got < size) {
        const ssize_t r = ::read(fd, data->data() + got, size - got);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0) {
            *error = r < 0 ? sys_error("cannot read chip file", path)
                           : "chip file " + path + " became shorter while it was read";
            ::close(fd);
            data->clear();
            return false;
        }
        got += static_cast<size_t>(r);
    }
    ::close(fd);
    return true;
}

bool write_chip_file(const std::string& path, const std::vector<uint8_t>& data,
                     std::string* error) {
    // Renaming over a symbolic link would replace the link; replace what it points to.
    std::string target = path;
    struct stat lst;
    if (::lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        char resolved[PATH_MAX];
        if (!::realpath(path.c_str(), resolved)) {
            *error = sys_error("cannot follow chip file link", path);
            return false;
        }
        target = resolved;
    }
    mode_t mode;
    struct stat st;
    if (::stat(target.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }

    std::string tmp = target + ".XXXXXX";
    const int fd = ::mkstemp(&tmp[0]);
    if (fd < 0) {
        *error = sys_error("cannot create a temporary file beside", target);
        return false;
    }
    bool ok = write_all(fd, data.data(), data.size());
    if (!ok)
        *error = sys_error("cannot write", tmp);
    if (ok && ::fchmod(fd, mode) != 0) {
        *error = sys_error("cannot set the permissions of", tmp);
        ok = false;
    }
    if (ok && ::fsync(fd) != 0) {
        *error = sys_error("cannot flush", tmp);
        ok = false;
    }
    if (::close(fd) != 0 && ok) {
        *error = sys_error("cannot close", tmp);
        ok = false;
    }
    if (ok && ::rename(tmp.c_str(), target.c_str()) != 0) {
        *error = sys_error("cannot rename " + tmp + " to", target);
        ok = false;
    }
    if (!ok)
        ::unlink(tmp.c_str());
    return ok;
}

bool ChipFileSession::open(const std::string& path, EpromChip& chip, std::string* error) {
    path_ = path;
    kept_.clear();
    std::vector<uint8_t> data;
    if (!read_chip_file(path, chip.size(), &data, &existed_, error))
        return false;
    if (existed_)
        chip.load(data);
    else
        chip.erase();
    original_ = chip.save();
    return true;
}

bool ChipFileSession::close(const EpromChip& chip, bool* written, std::string* error) {
    *written = false;
    std::vector<uint8_t> now = chip.save();
    for (const uint32_t a : kept_)
        if (a < now.size() && a < original_.size())
            now[a] = original_[a];
    if (now == original_)
        return true;
    if (!write_chip_file(path_, now, error))
        return false;
    *written = true;
    original_ = std::move(now);
    return true;
}

} // namespace vsim
