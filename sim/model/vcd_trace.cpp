// Value Change Dump of the board's wire.
#include "sim/model/vcd_trace.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace vsim {

namespace {

// The longest text one sample can produce: a time mark and every signal, rounded up.
constexpr size_t MAX_SAMPLE_TEXT = 256;

// Packed bit positions (see VcdWriter::pack) of the signals, in declaration order.
constexpr unsigned LINE_BIT = 0, STATUS_BIT = 8, IC4_BIT = 16, IC5_BIT = 24, ADDRESS_BIT = 32;

// Identifier codes: letters only, so that no reader mistakes one for a time mark ('#') or a
// keyword ('$').
char id_code(unsigned n) {
    return static_cast<char>(n < 26 ? 'A' + n : 'a' + (n - 26));
}

} // namespace

VcdWriter::VcdWriter(size_t buffer_bytes)
    : buf_(buffer_bytes < 16 * MAX_SAMPLE_TEXT ? 16 * MAX_SAMPLE_TEXT : buffer_bytes) {}

VcdWriter::~VcdWriter() {
    if (fd_ >= 0) {
        std::string ignored;
        close(last_time_ + 1, &ignored);
    }
}

bool VcdWriter::open(const std::string& path, unsigned address_bits, std::string* error) {
    if (fd_ >= 0) {
        *error = "trace file " + path_ + " is still open";
        return false;
    }
    address_bits_ = address_bits == 19 ? 19 : 16;
    std::string h;
    char date[64] = "";
    const std::time_t t = std::time(nullptr);
    std::tm tm_now;
    if (localtime_r(&t, &tm_now))
        std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", &tm_now);
    h += "$date\n   ";
    h += date;
    h += "\n$end\n";
    h += "$version\n   vantrel-sim\n$end\n";
    h += "$comment\n   Vantrel II board model: one time unit is one port access\n$end\n";
    h += "$timescale 1 us $end\n";
    h += "$scope module vantrel_ii $end\n";

    shown_ = 0;
    unsigned n = 0;
    auto declare = [&](unsigned bit, const std::string& name) {
        id_[bit] = id_code(n++);
        shown_ |= uint64_t{1} << bit;
        h += "$var wire 1 ";
        h += id_[bit];
        h += " " + name + " $end\n";
    };
    auto declare_bus = [&](unsigned first_bit, unsigned width, const char* name) {
        for (unsigned i = width; i-- > 0;)
            declare(first_bit + i, std::string(name) + "[" + std::to_string(i) + "]");
    };
    declare(LINE_BIT + 0, "data");
    declare(LINE_BIT + 1, "clock");
    declare_bus(LINE_BIT + D23_SEL_SHIFT, 2, "select");
    declare(LINE_BIT + 4, "strobe");
    declare(STATUS_BIT + 6, "readback");
    declare(STATUS_BIT + 7, "monoflop");
    declare_bus(IC4_BIT, 8, "ic4");
    declare_bus(IC5_BIT, 8, "ic5");
    declare_bus(ADDRESS_BIT, address_bits_, "address");
    h += "$upscope $end\n";
    h += "$enddefinitions $end\n";

    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        *error = "cannot create trace file " + path + ": " + std::strerror(errno);
        return false;
    }
    path_ = path;
    failed_ = false;
    started_ = false;
    last_time_ = 0;
    changes_ = 0;
    // The header (under 2 KiB) fits the buffer, which holds at least 4 KiB.
    std::memcpy(buf_.data(), h.data(), h.size());
    pos_ = h.size();
    return true;
}

void VcdWriter::put_time(uint64_t time) {
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + time % 10);
        time /= 10;
    } while (time);
    char* p = buf_.data() + pos_;
    *p++ = '#';
    while (n)
        *p++ = digits[--n];
    *p++ = '\n';
    pos_ = static_cast<size_t>(p - buf_.data());
}

void VcdWriter::put_text(const char* text) {
    const size_t n = std::strlen(text);
    std::memcpy(buf_.data() + pos_, text, n);
    pos_ += n;
}

void VcdWriter::write_changes(uint64_t time, uint64_t now) {
    if (fd_ < 0)
        return;
    if (pos_ + MAX_SAMPLE_TEXT > buf_.size())
        flush();
    const bool all = !started_;
    put_time(time);
    if (all)
        put_text("$dumpvars\n");
    char* p = buf_.data() + pos_;
    for (uint64_t diff = all ? shown_ : now ^ last_; diff; diff &= diff - 1) {
        const unsigned bit = static_cast<unsigned>(__builtin_ctzll(diff));
        p[0] = (now >> bit) & 1 ? '1' : '0';
        p[1] = id_[bit];
        p[2] = '\n';
        p += 3;
    }
    pos_ = static_cast<size_t>(p - buf_.data());
    if (all)
        put_text("$end\n");
    started_ = true;
    last_ = now;
    last_time_ = time;
    ++changes_;
}

void VcdWriter::flush() {
    const char* p = buf_.data();
    size_t n = pos_;
    while (n > 0 && !failed_) {
        const ssize_t w = ::write(fd_, p, n);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            failed_ = true;
            errno_ = errno;
            break;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
    pos_ = 0;
}

bool VcdWriter::close(uint64_t end_time, std::string* error) {
    if (fd_ < 0)
        return true;
    if (pos_ + MAX_SAMPLE_TEXT > buf_.size())
        flush();
    // The last time mark gives the last values a length in a viewer.
    if (!started_ || end_time > last_time_)
        put_time(end_time);
    flush();
    if (::close(fd_) != 0 && !failed_) {
        failed_ = true;
        errno_ = errno;
    }
    fd_ = -1;
    if (failed_) {
        *error = "cannot write trace file " + path_ + ": " + std::strerror(errno_);
        return false;
    }
    return true;
}

// ---- The board's side -------------------------------------------------------------------------

bool BoardTrace::start(Board& board, const std::string& path, std::string* error) {
    const EpromChip* chip = board.chip();
    const unsigned bits = !chip || chip->size() > 0x10000 ? 19 : 16;
    if (!writer_.open(path, bits, error))
        return false;
    board_ = &board;
    board.set_access_hook(&BoardTrace::on_access, this);
    return true;
}

void BoardTrace::on_access(void* self, const PortAccess&) {
    BoardTrace* t = static_cast<BoardTrace*>(self);
    const Board& b = *t->board_;
    t->writer_.sample(b.ticks() - 1, sample_of(b));
}

bool BoardTrace::stop(std::string* error) {
    if (!board_)
        return true;
    board_->set_access_hook(nullptr, nullptr);
    const uint64_t end = board_->ticks();
    writer_.sample(end, sample_of(*board_));
    board_ = nullptr;
    return writer_.close(end + 1, error);
}

} // namespace vsim
