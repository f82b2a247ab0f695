// Chip files: a virtual chip's cells are a file on disk. What is loaded, what is refused
// before the program starts, and that every programmed bit is in the file at once.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "sim/model/chip_file.h"
#include "sim/model/eprom_chip.h"

namespace {

using namespace vsim::chip_types;
using vsim::EpromChip;

class ChipFile : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/vantrel-chipfile-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override {
        for (const std::string& n : names())
            unlink((dir_ + "/" + n).c_str());
        rmdir(dir_.c_str());
    }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    std::vector<std::string> names() const {
        std::vector<std::string> v;
        if (DIR* d = opendir(dir_.c_str())) {
            while (dirent* e = readdir(d))
                if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                    v.push_back(e->d_name);
            closedir(d);
        }
        return v;
    }
    static void put(const std::string& p, const std::vector<uint8_t>& data) {
        std::ofstream f(p, std::ios::binary);
        f.write(reinterpret_cast<const char*>(data.data()), static_cast<long>(data.size()));
    }
    static std::vector<uint8_t> get(const std::string& p) {
        std::ifstream f(p, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
    }
    static std::vector<uint8_t> pattern(size_t n) {
        std::vector<uint8_t> v(n);
        for (size_t i = 0; i < n; ++i)
            v[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
        return v;
    }
    std::string dir_;
};

TEST_F(ChipFile, MissingFileIsCreatedErasedWithTheUmaskMode) {
    const mode_t old = umask(027);
    EpromChip chip(T2764);
    chip.fill(0x00); // whatever the chip held before, the new file wins
    vsim::ChipFileSession s;
    std::string err;
    const bool opened = s.open(path("new.bin"), chip, &err);
    umask(old);
    ASSERT_TRUE(opened) << err;
    EXPECT_FALSE(s.existed());
    EXPECT_TRUE(chip.is_blank());
    EXPECT_EQ(get(path("new.bin")), std::vector<uint8_t>(0x2000, 0xFF));
    struct stat st;
    ASSERT_EQ(stat(path("new.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    ASSERT_TRUE(s.close(&chip, &err)) << err;
}

TEST_F(ChipFile, LoadsTheFileIntoTheChip) {
    const std::vector<uint8_t> image = pattern(0x2000);
    put(path("c.bin"), image);
    EpromChip chip(T2764);
    vsim::ChipFileSession s;
    std::string err;
    ASSERT_TRUE(s.open(path("c.bin"), chip, &err)) << err;
    EXPECT_TRUE(s.existed());
    EXPECT_EQ(chip.contents(), image);
}

TEST_F(ChipFile, FileOfAnotherSizeIsRefusedWithSizesAndName) {
    for (const size_t n : {size_t{0}, size_t{0x1FFF}, size_t{0x2001}, size_t{0x10000}}) {
        put(path("c.bin"), std::vector<uint8_t>(n, 0x11));
        EpromChip chip(T2764);
        vsim::ChipFileSession s;
        std::string err;
        EXPECT_FALSE(s.open(path("c.bin"), chip, &err)) << n;
        EXPECT_NE(err.find(path("c.bin")), std::string::npos) << err;
        EXPECT_NE(err.find(" " + std::to_string(n) + " bytes"), std::string::npos) << err;
        EXPECT_NE(err.find("8192"), std::string::npos) << err;
        EXPECT_TRUE(chip.is_blank()) << "a refused file must not reach the chip";
        EXPECT_EQ(get(path("c.bin")).size(), n) << "a refused file stays as it is";
    }
}

// Everything that would lose a burn later is refused before the program starts, in one line
// naming the file, and nothing is left behind.
TEST_F(ChipFile, UnusableFilesAreRefusedAtOnce) {
    ASSERT_EQ(mkdir(path("d").c_str(), 0755), 0);
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0644), 0);
    ASSERT_EQ(symlink("nowhere.bin", path("dangling").c_str()), 0);
    const struct {
        std::string path;
        const char* why;
    } cases[] = {
        {path("d"), "not a regular file"},
        {path("fifo"), "not a regular file"}, // would block for ever in open()
        {"/dev/null", "not a regular file"},
        {path("dangling"), "link to nothing"},
        {path("no/such/dir/c.bin"), "cannot create"},
    };
    for (const auto& c : cases) {
        EpromChip chip(T2716);
        vsim::ChipFileSession s;
        std::string err;
        EXPECT_FALSE(s.open(c.path, chip, &err)) << c.path;
        EXPECT_NE(err.find(c.why), std::string::npos) << err;
        EXPECT_NE(err.find(c.path), std::string::npos) << err;
        EXPECT_EQ(err.find('\n'), std::string::npos) << err;
        EXPECT_FALSE(s.is_open());
    }
    const std::vector<std::string> left = names();
    EXPECT_EQ(std::set<std::string>(left.begin(), left.end()),
              (std::set<std::string>{"d", "fifo", "dangling"}));
    rmdir(path("d").c_str());
}

TEST_F(ChipFile, EveryPulseIsInTheFileAtOnceAndTheChipReadsWhatOthersWrite) {
    put(path("c.bin"), std::vector<uint8_t>(0x800, 0xFF));
    EpromChip chip(T2716);
    vsim::ChipFileSession s;
    std::string err;
    ASSERT_TRUE(s.open(path("c.bin"), chip, &err)) << err;
    chip.program_pulse(0x7FF, 0x12);
    chip.program_pulse(0, 0x34);
    // Read beside the mapping, before any close: a killed program leaves exactly this.
    std::vector<uint8_t> disk = get(path("c.bin"));
    EXPECT_EQ(disk.at(0), 0x34);
    EXPECT_EQ(disk.at(0x7FF), 0x12);
    EXPECT_EQ(disk.at(1), 0xFF);
    // Another program's write is the chip's cell.
    const int fd = ::open(path("c.bin").c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    const uint8_t v = 0x5A;
    ASSERT_EQ(pwrite(fd, &v, 1, 0x100), 1);
    ::close(fd);
    EXPECT_EQ(chip.byte(0x100), 0x5A);

    ASSERT_TRUE(s.close(&chip, &err)) << err;
    EXPECT_FALSE(chip.cells_attached());
    EXPECT_EQ(chip.contents(), get(path("c.bin"))) << "the chip keeps its contents";
    chip.program_pulse(1, 0x00); // after close only the chip in memory changes
    EXPECT_EQ(get(path("c.bin")).at(1), 0xFF);
    EXPECT_EQ(names(), std::vector<std::string>{"c.bin"}) << "no other file";
}

TEST_F(ChipFile, UnchangedChipLeavesTheFileAlone) {
    put(path("c.bin"), pattern(0x800));
    struct stat before, after;
    ASSERT_EQ(stat(path("c.bin").c_str(), &before), 0);
    EpromChip chip(T2716);
    vsim::ChipFileSession s;
    std::string err;
    ASSERT_TRUE(s.open(path("c.bin"), chip, &err)) << err;
    // Reading, and programming a cell with the value it holds already, change nothing.
    EXPECT_EQ(chip.contents(), pattern(0x800));
    chip.program_pulse(5, chip.byte(5));
    ASSERT_TRUE(s.close(&chip, &err)) << err;
    ASSERT_EQ(stat(path("c.bin").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
}

TEST_F(ChipFile, LinkIsFollowedAndKept) {
    put(path("target.bin"), std::vector<uint8_t>(0x400, 0xFF));
    ASSERT_EQ(symlink("target.bin", path("link.bin").c_str()), 0);
    EpromChip chip(T2708);
    vsim::ChipFileSession s;
    std::string err;
    ASSERT_TRUE(s.open(path("link.bin"), chip, &err)) << err;
    chip.program_pulse(0x10, 0x0F);
    ASSERT_TRUE(s.close(&chip, &err)) << err;
    struct stat lst;
    ASSERT_EQ(lstat(path("link.bin").c_str(), &lst), 0);
    EXPECT_TRUE(S_ISLNK(lst.st_mode));
    EXPECT_EQ(get(path("target.bin")).at(0x10), 0x0F);
}

TEST_F(ChipFile, StuckCellNeverReachesTheFile) {
    std::vector<uint8_t> image(0x800, 0xFF);
    image[0x100] = 0x3C;
    put(path("c.bin"), image);
    EpromChip chip(T2716);
    vsim::ChipFileSession s;
    std::string err;
    ASSERT_TRUE(s.open(path("c.bin"), chip, &err)) << err;
    chip.set_stuck(0x100, 0x00);
    EXPECT_EQ(chip.byte(0x100), 0x00);
    chip.program_pulse(0x100, 0x00);
    chip.program_pulse(0x101, 0x55);
    const std::vector<uint8_t> now = get(path("c.bin"));
    EXPECT_EQ(now.at(0x100), 0x3C) << "only the read-out of the run is stuck";
    EXPECT_EQ(now.at(0x101), 0x55);
    ASSERT_TRUE(s.close(&chip, &err)) << err;
}

} // namespace
