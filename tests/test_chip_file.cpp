// Chip files: a virtual chip's contents on disk between runs. What is loaded, what is
// refused, when the file is replaced and that it is replaced whole (temporary file and
// rename), keeping its permissions and links.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "sim/chip_file.h"
#include "sim/eprom_chip.h"

namespace {

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

TEST_F(ChipFile, MissingFileMeansAnErasedChipAndIsNotCreatedUntilChanged) {
    EpromChip chip(T2764);
    chip.fill(0x00); // whatever the chip held before, the missing file wins
    vsim::ChipFileSession s;
    std::string err;
    ASSERT_TRUE(s.open(path("new.bin"), chip, &err)) << err;
    EXPECT_FALSE(s.existed());
    EXPECT_TRUE(chip.is_blank());
    bool written = true;
    ASSERT_TRUE(s.close(chip, &written, &err)) << err;
    EXPECT_FALSE(written);
    EXPECT_TRUE(names().empty());
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

TEST_F(ChipFile, DirectoryIsRefused) {
    ASSERT_EQ(mkdir(path("d").c_str(), 0755), 0);
    EpromChip chip(T2716);
    vsim::ChipFileSession s;
    std::string err;
    EXPECT_FALSE(s.open(path("d"), chip, &err));
    EXPECT_NE(err.find("not a regular file"), std::string::npos) << err;
    rmdir(path("d").c_str());
}

TEST_F(ChipFile, UnchangedChipLeavesTheFileAlone) {
    put(path("c.bin"), pattern(0x800));
    struct stat before, after;
    ASSERT_EQ(stat(path("c.bin").c_str(), &before), 0);
    EpromChip chip(T2716);
    vsim::ChipFileSession s;
    std::string err;
    ASSERT_TRUE(s.open(path("c.bin"), chip, &err)) << err;
    // Programming a cell with the value it holds already is no change.
    chip.program_pulse(5, chip.byte(5));
    bool written = true;
    ASSERT_TRUE(s.close(chip, &written, &err)) << err;
    EXPECT_FALSE(written);
    ASSERT_EQ(stat(path("c.bin").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
}

TEST_F(ChipFile, ChangedChipReplacesTheFileWholeKeepingItsPermissions) {
    put(path("c.bin"), std::vector<uint8_t>(0x800, 0xFF));
    ASSERT_EQ(chmod(path("c.bin").c_str(), 0640), 0);
    struct stat before, after;
    ASSERT_EQ(stat(path("c.bin").c_str(), &before), 0);
    EpromChip chip(T2716);
    vsim::ChipFileSession s;
    std::string err;
    ASSERT_TRUE(s.open(path("c.bin"), chip, &err)) << err;
    chip.program_pulse(0x7FF, 0x12);
    chip.program_pulse(0, 0x34);
    bool written = false;
    ASSERT_TRUE(s.close(chip, &written, &err)) << err;
    EXPECT_TRUE(written);
    EXPECT_EQ(get(path("c.bin")), chip.contents());
    ASSERT_EQ(stat(path("c.bin").c_str(), &after), 0);
    // A new inode: the old file was renamed over, not rewritten in place.
    EXPECT_NE(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    EXPECT_EQ(names(), std::vector<std::string>{"c.bin"}) << "no temporary file left behind";

    // The next run starts from what this one left.
    EpromChip again(T2716);
    vsim::ChipFileSession s2;
    ASSERT_TRUE(s2.open(path("c.bin"), again, &err)) << err;
    EXPECT_EQ(again.byte(0), 0x34);
    EXPECT_EQ(again.byte(0x7FF), 0x12);
    EXPECT_EQ(again.byte(1), 0xFF);
}

TEST_F(ChipFile, NewFileGetsUmaskPermissions) {
    const mode_t old = umask(027);
    EpromChip chip(T2708);
    vsim::ChipFileSession s;
    std::string err;
    ASSERT_TRUE(s.open(path("n.bin"), chip, &err)) << err;
    chip.program_pulse(3, 0);
    bool written = false;
    EXPECT_TRUE(s.close(chip, &written, &err)) << err;
    umask(old);
    EXPECT_TRUE(written);
    struct stat st;
    ASSERT_EQ(stat(path("n.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_size, 0x400);
}

TEST_F(ChipFile, LinkIsFollowedAndKept) {
    put(path("target.bin"), std::vector<uint8_t>(0x400, 0xFF));
    ASSERT_EQ(symlink("target.bin", path("link.bin").c_str()), 0);
    EpromChip chip(T2708);
    vsim::ChipFileSession s;
    std::string err;
    ASSERT_TRUE(s.open(path("link.bin"), chip, &err)) << err;
    chip.program_pulse(0x10, 0x0F);
    bool written = false;
    ASSERT_TRUE(s.close(chip, &written, &err)) << err;
    EXPECT_TRUE(written);
    struct stat lst;
    ASSERT_EQ(lstat(path("link.bin").c_str(), &lst), 0);
    EXPECT_TRUE(S_ISLNK(lst.st_mode));
    EXPECT_EQ(get(path("target.bin")).at(0x10), 0x0F);
}

TEST_F(ChipFile, StuckCellKeepsItsFileValue) {
    std::vector<uint8_t> image(0x800, 0xFF);
    image[0x100] = 0x3C;
    put(path("c.bin"), image);
    EpromChip chip(T2716);
    vsim::ChipFileSession s;
    std::string err;
    ASSERT_TRUE(s.open(path("c.bin"), chip, &err)) << err;
    s.keep_original(0x100);
    chip.set_stuck(0x100, 0x00);
    EXPECT_EQ(chip.byte(0x100), 0x00);
    // Only the stuck value differs: nothing to write.
    bool written = true;
    ASSERT_TRUE(s.close(chip, &written, &err)) << err;
    EXPECT_FALSE(written);
    // A real change elsewhere is written, and the stuck cell keeps the file's value.
    chip.program_pulse(0x101, 0x55);
    ASSERT_TRUE(s.close(chip, &written, &err)) << err;
    EXPECT_TRUE(written);
    const std::vector<uint8_t> now = get(path("c.bin"));
    EXPECT_EQ(now.at(0x100), 0x3C);
    EXPECT_EQ(now.at(0x101), 0x55);
}

TEST_F(ChipFile, WriteFailureIsReportedAndLeavesNothing) {
    const std::string p = path("no/such/dir/c.bin");
    EpromChip chip(T2708);
    vsim::ChipFileSession s;
    std::string err;
    ASSERT_TRUE(s.open(p, chip, &err)) << err; // missing: an erased chip
    chip.program_pulse(0, 0);
    bool written = true;
    EXPECT_FALSE(s.close(chip, &written, &err));
    EXPECT_FALSE(written);
    EXPECT_NE(err.find(p), std::string::npos) << err;
    EXPECT_TRUE(names().empty());
}

} // namespace
