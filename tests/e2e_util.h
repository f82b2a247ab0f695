// Helpers for the console and image-file tests: the operator's console pointed at temporary
// streams, a reader for the framed boxes on a captured screen, scratch directories and the
// program's global settings saved and put back around a test.
#ifndef VANTREL_TESTS_E2E_UTIL_H
#define VANTREL_TESTS_E2E_UTIL_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <ostream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "console/conio.h"
#include "console/menu.h"
#include "defs.h"
#include "eprom/misc.h"
#include "link/hw.h"

namespace vtest {

// The console with `input` as what the operator types and a temporary file as the screen.
// The previous streams and the end-of-input flag come back when it goes out of scope.
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
    // The input that nobody has read yet.
    std::string unreadInput() {
        std::string s;
        int c;
        while ((c = fgetc(in_)) != EOF)
            s.push_back((char)c);
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

// The run-wide settings of the program, put back as they were when this goes out of scope,
// so that a test that changes the port, the type or the voltages does not leak into others.
class SavedSettings {
  public:
    SavedSettings()
        : base_(Base), delay_(Delay), vpp_(vpp), vcc_(vcc), type_(epromtyp), ic4_(ic_IC4),
          ic5_(ic_IC5), mf_(SelectMF), maxCmd_(MaxCmd) {}
    ~SavedSettings() {
        Base = base_;
        Delay = delay_;
        vpp = vpp_;
        vcc = vcc_;
        epromtyp = type_;
        ic_IC4 = ic4_;
        ic_IC5 = ic5_;
        SelectMF = mf_;
        MaxCmd = maxCmd_;
    }
    SavedSettings(const SavedSettings&) = delete;
    SavedSettings& operator=(const SavedSettings&) = delete;

    // The settings a freshly started program has.
    static void startValues() {
        Base = 0x378;
        Delay = 2;
        vpp = T12_75V;
        vcc = T5V;
        epromtyp = T27512;
        ic_IC4 = 0;
        ic_IC5 = 0;
        // The board powers up with every register at 0, and so does what the program
        // believes it latched.
        latched_IC4 = 0;
        latched_IC5 = 0;
        SelectMF = 0;
        MaxCmd = 24;
    }

  private:
    uint16_t base_;
    uint8_t delay_;
    int vpp_, vcc_, type_;
    uint8_t ic4_, ic5_;
    unsigned int mf_;
    int maxCmd_;
};

} // namespace vtest

#endif
