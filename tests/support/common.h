// The tests' common helpers: the operator's console pointed at temporary streams, the one
// reader of the framed boxes on a captured screen, scratch directories and files, and the
// driver's run-wide globals: put to a freshly started program's values, or saved and put
// back around a test. tests/support/wire.h and tests/support/runs.h build on it.
#ifndef VANTREL_TESTS_SUPPORT_COMMON_H
#define VANTREL_TESTS_SUPPORT_COMMON_H

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <ostream>
#include <string>
#include <sys/stat.h>
#include <type_traits>
#include <unistd.h>
#include <vector>

#include "console/conio.h"
#include "defs.h"
#include "eprom/misc.h"
#include "link/hw.h"

namespace vtest {

// The console with `input` as what the operator types and a temporary file as the screen,
// the end-of-input flag cleared. The previous streams and flag come back when it goes out of
// scope.
class ConsoleCapture {
  public:
    explicit ConsoleCapture(const std::string& input = "")
        : savedIn_(conIn), savedOut_(conOut), savedClosed_(InputClosed) {
        in_ = tmpfile();
        out_ = tmpfile();
        if (!in_ || !out_)
            ADD_FAILURE() << "tmpfile() failed";
        if (in_) {
            fwrite(input.data(), 1, input.size(), in_);
            rewind(in_);
        }
        conIn = in_;
        conOut = out_;
        InputClosed = 0;
    }
    ~ConsoleCapture() {
        conIn = savedIn_;
        conOut = savedOut_;
        InputClosed = savedClosed_;
        if (in_)
            fclose(in_);
        if (out_)
            fclose(out_);
    }
    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;

    // Everything written so far, including what still sits in the stream's buffer.
    std::string screen() {
        fflush(out_);
        return onDisk();
    }
    // Only what has actually left the stream's buffer: what an operator could see now.
    std::string onDisk() const {
        std::string s;
        char buf[4096];
        off_t pos = 0;
        ssize_t n;
        while ((n = pread(fileno(out_), buf, sizeof buf, pos)) > 0) {
            s.append(buf, (size_t)n);
            pos += n;
        }
        return s;
    }
    // The input that nobody has read yet; it stays unread.
    std::string unreadInput() {
        std::string s;
        if (!in_)
            return s;
        const long here = ftell(in_);
        int c;
        while ((c = fgetc(in_)) != EOF)
            s.push_back((char)c);
        clearerr(in_);
        fseek(in_, here, SEEK_SET);
        return s;
    }

  private:
    FILE* savedIn_;
    FILE* savedOut_;
    int savedClosed_;
    FILE* in_ = nullptr;
    FILE* out_ = nullptr;
};

// One framed message as the operator saw it.
struct Box {
    std::string head;
    std::string text;
    bool operator==(const Box& o) const { return head == o.head && text == o.text; }
};

inline std::ostream& operator<<(std::ostream& os, const Box& b) {
    return os << "[" << b.head << " / " << b.text << "]";
}

inline std::vector<std::string> splitLines(const std::string& s) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        const size_t nl = s.find('\n', start);
        if (nl == std::string::npos) {
            lines.push_back(s.substr(start));
            return lines;
        }
        lines.push_back(s.substr(start, nl - start));
        start = nl + 1;
    }
}

// The boxes on a screen, in order. Only well-formed frames count: five lines of one width,
// a frame line of hyphens, heading, text, the Enter prompt and the frame line again. The
// blanks that pad heading and text to the frame width are taken off.
inline std::vector<Box> boxesOn(const std::string& screen) {
    std::vector<Box> boxes;
    const std::vector<std::string> lines = splitLines(screen);
    auto isFrame = [](const std::string& l) {
        return l.size() >= 3 && l.front() == '+' && l.back() == '+' &&
               l.find_first_not_of('-', 1) == l.size() - 1;
    };
    auto inner = [](const std::string& l, size_t width, std::string* out) {
        if (l.size() != width || l.compare(0, 2, "| ") != 0 || l.compare(width - 2, 2, " |") != 0)
            return false;
        std::string s = l.substr(2, width - 4);
        s.erase(s.find_last_not_of(' ') + 1);
        *out = s;
        return true;
    };
    for (size_t i = 0; i + 4 < lines.size(); i++) {
        if (!isFrame(lines[i]) || lines[i + 4] != lines[i])
            continue;
        const size_t w = lines[i].size();
        Box b;
        std::string prompt;
        if (inner(lines[i + 1], w, &b.head) && inner(lines[i + 2], w, &b.text) &&
            inner(lines[i + 3], w, &prompt) && prompt == "press Enter...") {
            boxes.push_back(b);
            i += 4;
        }
    }
    return boxes;
}

inline size_t countOf(const std::string& hay, const std::string& needle) {
    size_t n = 0;
    for (size_t p = hay.find(needle); p != std::string::npos; p = hay.find(needle, p + 1))
        n++;
    return n;
}

// A scratch directory, removed with everything in it at the end of the test.
class TempDir {
  public:
    TempDir() {
        char tmpl[] = "/tmp/vantrel-test-XXXXXX";
        if (mkdtemp(tmpl))
            path_ = tmpl;
        else
            ADD_FAILURE() << "mkdtemp failed";
    }
    ~TempDir() {
        if (!path_.empty())
            removeTree(path_);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    // Names in the directory, without . and .., sorted.
    std::vector<std::string> entries() const { return listDir(path_); }

    static std::vector<std::string> listDir(const std::string& dir) {
        std::vector<std::string> names;
        if (DIR* d = opendir(dir.c_str())) {
            while (const dirent* e = readdir(d))
                if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
                    names.push_back(e->d_name);
            closedir(d);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    static void removeTree(const std::string& p) {
        struct stat st;
        if (lstat(p.c_str(), &st) != 0)
            return;
        if (S_ISDIR(st.st_mode)) {
            chmod(p.c_str(), 0700);
            for (const std::string& n : listDir(p))
                removeTree(p + "/" + n);
            rmdir(p.c_str());
        } else {
            unlink(p.c_str());
        }
    }
    std::string path_;
};

inline bool writeBytes(const std::string& path, const std::string& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

inline std::string readBytes(const std::string& path) {
    std::string s;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return s;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        s.append(buf, n);
    fclose(f);
    return s;
}

// Every run-wide global of the driver with the value a freshly started program gives it: the
// one list that putting the start values, saving and putting back go by. The board powers up
// with every register at 0, and so does what the program believes it latched; no stop or
// pause is asked, no run is under way, the input has not ended.
#define VTEST_DRIVER_GLOBALS(X)                                                                    \
    X(Base, 0x378)                                                                                 \
    X(Delay, 2)                                                                                    \
    X(vpp, T12_75V)                                                                                \
    X(vcc, T5V)                                                                                    \
    X(epromtyp, T27512)                                                                            \
    X(epromPart, nullptr)                                                                          \
    X(ic_IC4, 0)                                                                                   \
    X(ic_IC5, 0)                                                                                   \
    X(latched_IC4, 0)                                                                              \
    X(latched_IC5, 0)                                                                              \
    X(SelectMF, 0)                                                                                 \
    X(StopRequest, 0)                                                                              \
    X(PauseRequest, 0)                                                                             \
    X(RunInProgress, 0)                                                                            \
    X(HaltOnStop, 0)                                                                               \
    X(InputClosed, 0)

// The driver's globals put back as they were when this goes out of scope, so that a test
// that changes the port, the type or the voltages does not leak into others.
class SavedSettings {
  public:
    SavedSettings() {
#define VTEST_SAVE(name, start) saved_.name##_ = name;
        VTEST_DRIVER_GLOBALS(VTEST_SAVE)
#undef VTEST_SAVE
    }
    ~SavedSettings() {
#define VTEST_RESTORE(name, start) name = saved_.name##_;
        VTEST_DRIVER_GLOBALS(VTEST_RESTORE)
#undef VTEST_RESTORE
    }
    SavedSettings(const SavedSettings&) = delete;
    SavedSettings& operator=(const SavedSettings&) = delete;

    // Every global as a freshly started program has it (tests/support/wire.h's reset_all puts
    // the board and the console back too).
    static void startValues() {
#define VTEST_START(name, start) name = start;
        VTEST_DRIVER_GLOBALS(VTEST_START)
#undef VTEST_START
    }

  private:
    struct {
#define VTEST_FIELD(name, start) std::remove_cv_t<decltype(name)> name##_;
        VTEST_DRIVER_GLOBALS(VTEST_FIELD)
#undef VTEST_FIELD
    } saved_;
};

} // namespace vtest

#endif
