// Image files on disk: what a load puts into the work buffer, what a save leaves on disk,
// the one box each failure shows, and the outcomes the image layer gives the job.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <string>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "console/conio.h"
#include "console/files.h"
#include "image/ic_file.h"
#include "tests/support/common.h"

using vtest::Box;
using vtest::ConsoleCapture;
using vtest::TempDir;

namespace {

using Boxes = std::vector<Box>;

// A work buffer with a pattern that no test file holds, to see which bytes a load touched.
std::vector<unsigned char> patternBuffer(size_t n = 0x1000) {
    std::vector<unsigned char> b(n);
    for (size_t i = 0; i < n; i++)
        b[i] = (unsigned char)(0xA5 ^ (i * 7));
    return b;
}

std::string bytesOf(const std::vector<unsigned char>& b, size_t n) {
    return std::string(reinterpret_cast<const char*>(b.data()), n);
}

std::string someImage(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; i++)
        s[i] = (char)((i * 13 + 1) & 0xFF);
    return s;
}

mode_t modeOf(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

} // namespace

// ---- Load --------------------------------------------------------------------------------

TEST(ImageLoad, FileOfExactlyTheLimitIsLoadedByteForByte) {
    TempDir dir;
    const std::string img = someImage(0x800);
    ASSERT_TRUE(vtest::writeBytes(dir / "a.rom", img));
    std::vector<unsigned char> buf = patternBuffer();
    const std::vector<unsigned char> before = buf;
    ConsoleCapture cap;
    EXPECT_EQ(Read_File((dir / "a.rom").c_str(), buf.data(), 0x800), 0x800u);
    EXPECT_EQ(bytesOf(buf, 0x800), img);
    // Bytes beyond the loaded count keep their contents.
    EXPECT_TRUE(std::equal(buf.begin() + 0x800, buf.end(), before.begin() + 0x800));
    EXPECT_EQ(cap.screen(), ""); // a good load shows nothing itself
}

TEST(ImageLoad, ShorterFileLoadsItsBytesOnly) {
    TempDir dir;
    ASSERT_TRUE(vtest::writeBytes(dir / "b.rom", std::string("\x00\xff\x10", 3)));
    std::vector<unsigned char> buf = patternBuffer();
    const std::vector<unsigned char> before = buf;
    ConsoleCapture cap;
    EXPECT_EQ(Read_File((dir / "b.rom").c_str(), buf.data(), 0x10000), 3u);
    EXPECT_EQ(buf[0], 0x00);
    EXPECT_EQ(buf[1], 0xFF);
    EXPECT_EQ(buf[2], 0x10);
    EXPECT_TRUE(std::equal(buf.begin() + 3, buf.end(), before.begin() + 3));
}

TEST(ImageLoad, OneByteFileLoads) {
    TempDir dir;
    ASSERT_TRUE(vtest::writeBytes(dir / "one", "\x42"));
    std::vector<unsigned char> buf = patternBuffer();
    ConsoleCapture cap;
    EXPECT_EQ(Read_File((dir / "one").c_str(), buf.data(), 1), 1u);
    EXPECT_EQ(buf[0], 0x42);
}

TEST(ImageLoad, OneByteOverTheLimitShowsTheSizeAndLeavesTheBuffer) {
    TempDir dir;
    ASSERT_TRUE(vtest::writeBytes(dir / "c.rom", someImage(0x801)));
    std::vector<unsigned char> buf = patternBuffer();
    const std::vector<unsigned char> before = buf;
    ConsoleCapture cap;
    EXPECT_EQ(Read_File((dir / "c.rom").c_str(), buf.data(), 0x800), 0u);
    EXPECT_EQ(vtest::boxesOn(cap.screen()), (Boxes{{"Error:", "file (2049 Bytes) > 2048"}}));
    EXPECT_EQ(buf, before);
}

TEST(ImageLoad, EmptyFileHasNoContent) {
    TempDir dir;
    ASSERT_TRUE(vtest::writeBytes(dir / "empty", ""));
    std::vector<unsigned char> buf = patternBuffer();
    const std::vector<unsigned char> before = buf;
    ConsoleCapture cap("\n");
    EXPECT_EQ(Read_File((dir / "empty").c_str(), buf.data(), 0x800), 0u);
    EXPECT_EQ(cap.screen(), "\n"
                            "+---------------------+\n"
                            "| Info:               |\n"
                            "| file has no content |\n"
                            "| press Enter...      |\n"
                            "+---------------------+\n");
    EXPECT_EQ(buf, before);
}

TEST(ImageLoad, EmptyNameIsInvalid) {
    std::vector<unsigned char> buf = patternBuffer();
    const std::vector<unsigned char> before = buf;
    ConsoleCapture cap;
    EXPECT_EQ(Read_File("", buf.data(), 0x800), 0u);
    EXPECT_EQ(cap.screen(), "\n"
                            "+-------------------+\n"
                            "| Error:            |\n"
                            "| invalid file-name |\n"
                            "| press Enter...    |\n"
                            "+-------------------+\n");
    EXPECT_EQ(buf, before);
}

TEST(ImageLoad, MissingFileCannotBeOpened) {
    TempDir dir;
    const std::string name = dir / "nothing.rom";
    std::vector<unsigned char> buf = patternBuffer();
    const std::vector<unsigned char> before = buf;
    ConsoleCapture cap;
    EXPECT_EQ(Read_File(name.c_str(), buf.data(), 0x800), 0u);
    EXPECT_EQ(vtest::boxesOn(cap.screen()), (Boxes{{"Error:", "can't open " + name}}));
    EXPECT_EQ(buf, before);
}

TEST(ImageLoad, FileInAMissingDirectoryCannotBeOpened) {
    TempDir dir;
    const std::string name = dir / "no/such/dir/x.rom";
    std::vector<unsigned char> buf = patternBuffer();
    ConsoleCapture cap;
    EXPECT_EQ(Read_File(name.c_str(), buf.data(), 0x800), 0u);
    EXPECT_EQ(vtest::boxesOn(cap.screen()), (Boxes{{"Error:", "can't open " + name}}));
}

TEST(ImageLoad, DirectoryCannotBeOpened) {
    TempDir dir;
    std::vector<unsigned char> buf = patternBuffer();
    const std::vector<unsigned char> before = buf;
    ConsoleCapture cap;
    EXPECT_EQ(Read_File(dir.path().c_str(), buf.data(), 0x800), 0u);
    EXPECT_EQ(vtest::boxesOn(cap.screen()), (Boxes{{"Error:", "can't open " + dir.path()}}));
    EXPECT_EQ(buf, before);
}

TEST(ImageLoad, DeviceThatReportsNoSizeNeverOverrunsTheLimit) {
    // /dev/zero seeks to 0 at its end but delivers bytes without end.
    std::vector<unsigned char> buf = patternBuffer();
    const std::vector<unsigned char> before = buf;
    ConsoleCapture cap;
    EXPECT_EQ(Read_File("/dev/zero", buf.data(), 16), 0u);
    EXPECT_EQ(vtest::boxesOn(cap.screen()), (Boxes{{"Error:", "file (17 Bytes) > 16"}}));
    EXPECT_EQ(buf, before);
}

TEST(ImageLoad, ReadErrorIsReportedAndLeavesTheBuffer) {
    // A sysfs attribute has a size of one page and fails when read: the loopback
    // interface has no link speed.
    const char* failing = "/sys/class/net/lo/speed";
    const int fd = open(failing, O_RDONLY);
    if (fd < 0)
        GTEST_SKIP() << failing << " is not there";
    char c;
    const ssize_t r = read(fd, &c, 1);
    close(fd);
    if (r >= 0)
        GTEST_SKIP() << failing << " reads without error here";

    std::vector<unsigned char> buf = patternBuffer(0x2000);
    const std::vector<unsigned char> before = buf;
    ConsoleCapture cap;
    EXPECT_EQ(Read_File(failing, buf.data(), 0x2000), 0u);
    EXPECT_EQ(vtest::boxesOn(cap.screen()), (Boxes{{"Error:", "data-error by reading!"}}));
    EXPECT_EQ(buf, before);
}

TEST(ImageLoad, FailureBoxTakesTheEnterOfTheOperator) {
    TempDir dir;
    std::vector<unsigned char> buf = patternBuffer();
    ConsoleCapture cap("\nnext\n");
    Read_File((dir / "missing").c_str(), buf.data(), 0x800);
    EXPECT_EQ(cap.unreadInput(), "next\n");
}

TEST(ImageLoad, PipeIsReadToItsEndAndTheBoxesCountTheBytesThatCame) {
    // A pipe behind /dev/stdin has no size to ask for: never "-1 Bytes", at most one past the
    // limit. The whole stream waits in the pipe, whose writer is gone.
    const struct {
        size_t bytes;
        unsigned long want;
        Boxes boxes;
    } cases[] = {{3, 3, {}},
                 {0x800, 0x800, {}},
                 {0x801, 0, {{"Error:", "file (2049 Bytes) > 2048"}}},
                 {0x5000, 0, {{"Error:", "file (2049 Bytes) > 2048"}}},
                 {0, 0, {{"Info:", "file has no content"}}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        const std::string data = someImage(c.bytes);
        std::vector<unsigned char> buf = patternBuffer();
        const std::vector<unsigned char> before = buf;
        int p[2];
        ASSERT_EQ(pipe(p), 0);
        ASSERT_EQ(write(p[1], data.data(), data.size()), (ssize_t)data.size());
        close(p[1]);
        const int savedIn = dup(0);
        ASSERT_EQ(dup2(p[0], 0), 0);
        close(p[0]);
        ConsoleCapture cap;
        EXPECT_EQ(Read_File("/dev/stdin", buf.data(), 0x800), c.want);
        dup2(savedIn, 0);
        close(savedIn);
        EXPECT_EQ(vtest::boxesOn(cap.screen()), c.boxes);
        EXPECT_TRUE(bytesOf(buf, c.want) == data.substr(0, c.want)); // no dump of 2 KiB
        EXPECT_TRUE(std::equal(buf.begin() + c.want, buf.end(), before.begin() + c.want));
    }
}

// ---- Save --------------------------------------------------------------------------------

TEST(ImageSave, FileHoldsExactlyTheRequestedBytes) {
    TempDir dir;
    std::vector<unsigned char> buf = patternBuffer();
    ConsoleCapture cap;
    EXPECT_EQ(Write_File((dir / "out.rom").c_str(), buf.data(), 0x800), 0x800u);
    EXPECT_EQ(vtest::readBytes(dir / "out.rom"), bytesOf(buf, 0x800));
    EXPECT_EQ(cap.screen(), "");
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"out.rom"})); // no temp file left
}

TEST(ImageSave, WholeBufferOfTheLargestChip) {
    TempDir dir;
    std::vector<unsigned char> buf = patternBuffer(BUFFER_SIZE);
    ConsoleCapture cap;
    EXPECT_EQ(Write_File((dir / "big.rom").c_str(), buf.data(), BUFFER_SIZE), BUFFER_SIZE);
    EXPECT_EQ(vtest::readBytes(dir / "big.rom"), bytesOf(buf, BUFFER_SIZE));
}

TEST(ImageSave, SaveThenLoadGivesTheSameBytes) {
    TempDir dir;
    std::vector<unsigned char> buf = patternBuffer();
    std::vector<unsigned char> back(0x1000, 0);
    ConsoleCapture cap;
    ASSERT_EQ(Write_File((dir / "x").c_str(), buf.data(), 0x400), 0x400u);
    EXPECT_EQ(Read_File((dir / "x").c_str(), back.data(), 0x400), 0x400u);
    EXPECT_EQ(bytesOf(back, 0x400), bytesOf(buf, 0x400));
}

TEST(ImageSave, ReplacingALongerFileLeavesNoOldBytesBehind) {
    TempDir dir;
    ASSERT_TRUE(vtest::writeBytes(dir / "old.rom", std::string(0x1000, '\x77')));
    std::vector<unsigned char> buf = patternBuffer();
    ConsoleCapture cap;
    EXPECT_EQ(Write_File((dir / "old.rom").c_str(), buf.data(), 0x10), 0x10u);
    EXPECT_EQ(vtest::readBytes(dir / "old.rom"), bytesOf(buf, 0x10));
}

TEST(ImageSave, NameOfTheLongestLengthTheFileSystemTakes) {
    // 255 characters is the longest name of one directory entry; the save must not need
    // a longer one for its own purposes.
    TempDir dir;
    const std::string p = dir / std::string(255, 'n');
    ASSERT_TRUE(vtest::writeBytes(p, "old"));
    std::vector<unsigned char> buf = patternBuffer();
    ConsoleCapture cap;
    EXPECT_EQ(Write_File(p.c_str(), buf.data(), 0x20), 0x20u);
    EXPECT_EQ(cap.screen(), "");
    EXPECT_EQ(vtest::readBytes(p), bytesOf(buf, 0x20));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{std::string(255, 'n')}));
}

TEST(ImageSave, NewFileWithTheLongestNameTheFileSystemTakes) {
    TempDir dir;
    const std::string p = dir / std::string(250, 'm');
    std::vector<unsigned char> buf = patternBuffer();
    ConsoleCapture cap;
    EXPECT_EQ(Write_File(p.c_str(), buf.data(), 0x20), 0x20u);
    EXPECT_EQ(vtest::readBytes(p), bytesOf(buf, 0x20));
}

TEST(ImageSave, RelativeNameInTheWorkingDirectory) {
    TempDir dir;
    char old[4096];
    ASSERT_NE(getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    std::vector<unsigned char> buf = patternBuffer();
    unsigned long n1, n2;
    {
        ConsoleCapture cap;
        n1 = Write_File("./file.rom", buf.data(), 0x20);
        n2 = Write_File("plain.rom", buf.data(), 0x10);
    }
    ASSERT_EQ(chdir(old), 0);
    EXPECT_EQ(n1, 0x20u);
    EXPECT_EQ(n2, 0x10u);
    EXPECT_EQ(vtest::readBytes(dir / "file.rom"), bytesOf(buf, 0x20));
    EXPECT_EQ(vtest::readBytes(dir / "plain.rom"), bytesOf(buf, 0x10));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"file.rom", "plain.rom"}));
}

TEST(ImageSave, NothingToSaveCreatesNoFile) {
    TempDir dir;
    std::vector<unsigned char> buf = patternBuffer();
    ConsoleCapture cap;
    EXPECT_EQ(Write_File((dir / "none.rom").c_str(), buf.data(), 0), 0u);
    EXPECT_EQ(cap.screen(), "\n"
                            "+-----------------------------+\n"
                            "| Error:                      |\n"
                            "| nothing to save --> break ! |\n"
                            "| press Enter...              |\n"
                            "+-----------------------------+\n");
    EXPECT_TRUE(dir.entries().empty());
}

TEST(ImageSave, MissingDirectoryCannotBeCreated) {
    TempDir dir;
    std::vector<unsigned char> buf = patternBuffer();
    ConsoleCapture cap;
    EXPECT_EQ(Write_File((dir / "no/such/x.rom").c_str(), buf.data(), 0x10), 0u);
    EXPECT_EQ(cap.screen(), "\n"
                            "+-------------------------------------+\n"
                            "| Error:                              |\n"
                            "| file-error (create) : can not save! |\n"
                            "| press Enter...                      |\n"
                            "+-------------------------------------+\n");
    EXPECT_TRUE(dir.entries().empty());
}

TEST(ImageSave, DirectoryAsTargetCannotBeCreatedAndStaysADirectory) {
    TempDir dir;
    ASSERT_EQ(mkdir((dir / "sub").c_str(), 0755), 0);
    std::vector<unsigned char> buf = patternBuffer();
    ConsoleCapture cap;
    EXPECT_EQ(Write_File((dir / "sub").c_str(), buf.data(), 0x10), 0u);
    EXPECT_EQ(vtest::boxesOn(cap.screen()),
              (Boxes{{"Error:", "file-error (create) : can not save!"}}));
    struct stat st;
    ASSERT_EQ(stat((dir / "sub").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"sub"}));
}

TEST(ImageSave, EmptyNameCannotBeCreated) {
    std::vector<unsigned char> buf = patternBuffer();
    ConsoleCapture cap;
    EXPECT_EQ(Write_File("", buf.data(), 0x10), 0u);
    EXPECT_EQ(vtest::boxesOn(cap.screen()),
              (Boxes{{"Error:", "file-error (create) : can not save!"}}));
}

TEST(ImageSave, FullDeviceIsADataErrorAndStaysADevice) {
    // A node of the full device (the one behind /dev/full) of our own: should the save
    // wrongly replace what it writes to, only the scratch directory suffers. Every write
    // to it fails with ENOSPC.
    TempDir dir;
    const std::string full = dir / "full";
    if (mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0)
        GTEST_SKIP() << "cannot make a device node here (not root?)";
    std::vector<unsigned char> buf = patternBuffer();
    ConsoleCapture cap;
    EXPECT_EQ(Write_File(full.c_str(), buf.data(), 0x10), 0u);
    EXPECT_EQ(cap.screen(), "\n"
                            "+-----------------------+\n"
                            "| Error:                |\n"
                            "| data-error by saving! |\n"
                            "| press Enter...        |\n"
                            "+-----------------------+\n");
    struct stat st;
    ASSERT_EQ(lstat(full.c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode)); // written in place, not replaced
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"full"}));
}

TEST(ImageSave, ExistingFileKeepsItsPermissions) {
    TempDir dir;
    const std::string p = dir / "perm.rom";
    ASSERT_TRUE(vtest::writeBytes(p, "old"));
    ASSERT_EQ(chmod(p.c_str(), 0640), 0);
    std::vector<unsigned char> buf = patternBuffer();
    ConsoleCapture cap;
    EXPECT_EQ(Write_File(p.c_str(), buf.data(), 0x20), 0x20u);
    EXPECT_EQ(modeOf(p), 0640u);
    EXPECT_EQ(vtest::readBytes(p), bytesOf(buf, 0x20));
}

TEST(ImageSave, ExistingFileKeepsItsOwner) {
    // The program runs as root; an operator's image saved over must stay the operator's.
    TempDir dir;
    const std::string p = dir / "owned.rom";
    ASSERT_TRUE(vtest::writeBytes(p, "old"));
    if (chown(p.c_str(), 4321, 4322) != 0)
        GTEST_SKIP() << "cannot hand a file to another user here (not root?)";
    std::vector<unsigned char> buf = patternBuffer();
    ConsoleCapture cap;
    EXPECT_EQ(Write_File(p.c_str(), buf.data(), 0x20), 0x20u);
    struct stat st;
    ASSERT_EQ(stat(p.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 4321u);
    EXPECT_EQ(st.st_gid, 4322u);
    EXPECT_EQ(vtest::readBytes(p), bytesOf(buf, 0x20));
}

TEST(ImageSave, NewFileGetsThePermissionsOfThePlainCreationMask) {
    TempDir dir;
    const mode_t old = umask(027);
    std::vector<unsigned char> buf = patternBuffer();
    unsigned long n;
    {
        ConsoleCapture cap;
        n = Write_File((dir / "new.rom").c_str(), buf.data(), 0x20);
    }
    umask(old);
    EXPECT_EQ(n, 0x20u);
    EXPECT_EQ(modeOf(dir / "new.rom"), 0640u); // 0666 less the mask, not mkstemp's 0600
}

TEST(ImageSave, SymbolicLinkIsFollowedAndStaysALink) {
    TempDir dir;
    ASSERT_EQ(mkdir((dir / "real").c_str(), 0755), 0);
    ASSERT_TRUE(vtest::writeBytes(dir / "real/chip.rom", "old contents"));
    ASSERT_EQ(symlink("real/chip.rom", (dir / "link.rom").c_str()), 0);
    std::vector<unsigned char> buf = patternBuffer();
    ConsoleCapture cap;
    EXPECT_EQ(Write_File((dir / "link.rom").c_str(), buf.data(), 0x40), 0x40u);
    struct stat st;
    ASSERT_EQ(lstat((dir / "link.rom").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(vtest::readBytes(dir / "real/chip.rom"), bytesOf(buf, 0x40));
    EXPECT_EQ(TempDir::listDir(dir / "real"), (std::vector<std::string>{"chip.rom"}));
}

TEST(ImageSave, SymbolicLinkToAFileNotYetThereCreatesItAndStaysALink) {
    TempDir dir;
    ASSERT_EQ(symlink("target.rom", (dir / "link.rom").c_str()), 0);
    std::vector<unsigned char> buf = patternBuffer();
    ConsoleCapture cap;
    EXPECT_EQ(Write_File((dir / "link.rom").c_str(), buf.data(), 0x40), 0x40u);
    struct stat st;
    ASSERT_EQ(lstat((dir / "link.rom").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(vtest::readBytes(dir / "target.rom"), bytesOf(buf, 0x40));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"link.rom", "target.rom"}));
}

TEST(ImageSave, FifoIsWrittenInPlace) {
    TempDir dir;
    const std::string fifo = dir / "pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Both ends are opened here before the save, so nothing can block: the reader end
    // without waiting for a writer, then a writer end of our own that keeps the reader from
    // seeing the end of the data before the save has been and gone, whatever it does.
    const int rfd = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(rfd, 0);
    ASSERT_EQ(fcntl(rfd, F_SETFL, 0), 0);
    const int keeper = open(fifo.c_str(), O_WRONLY);
    ASSERT_GE(keeper, 0);
    std::string received;
    std::thread reader([&] {
        char b[256];
        ssize_t n;
        while ((n = read(rfd, b, sizeof b)) > 0)
            received.append(b, (size_t)n);
        close(rfd);
    });
    std::vector<unsigned char> buf = patternBuffer();
    unsigned long n;
    {
        ConsoleCapture cap;
        n = Write_File(fifo.c_str(), buf.data(), 0x300);
        EXPECT_EQ(cap.screen(), "");
    }
    close(keeper);
    reader.join();
    EXPECT_EQ(n, 0x300u);
    EXPECT_EQ(received, bytesOf(buf, 0x300));
    struct stat st;
    ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"pipe"}));
}

// A save that runs out of room must leave the old image as it was and no temporary file
// behind. Running as root no permission stops a write, but the file-size limit does: the
// write beyond it fails with EFBIG (SIGXFSZ is ignored for the time of the save).
namespace {

class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = signal(SIGXFSZ, SIG_IGN);
        struct rlimit lim = saved_;
        lim.rlim_cur = bytes;
        ok_ = setrlimit(RLIMIT_FSIZE, &lim) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, oldHandler_);
    }
    bool ok() const { return ok_; }

  private:
    struct rlimit saved_;
    void (*oldHandler_)(int);
    bool ok_ = false;
};

} // namespace

TEST(ImageSave, FailedSaveLeavesTheOldFileAndNoTemporaryFile) {
    TempDir dir;
    const std::string p = dir / "keep.rom";
    const std::string old = someImage(100);
    ASSERT_TRUE(vtest::writeBytes(p, old));
    ASSERT_EQ(chmod(p.c_str(), 0604), 0);
    std::vector<unsigned char> buf = patternBuffer(0x4000);
    unsigned long n;
    std::string screen;
    {
        ConsoleCapture cap;
        FileSizeLimit limit(1000);
        ASSERT_TRUE(limit.ok());
        n = Write_File(p.c_str(), buf.data(), 0x4000);
        screen = cap.onDisk(); // the box flushed itself; no writes to files past this
    }
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(vtest::boxesOn(screen), (Boxes{{"Error:", "data-error by saving!"}}));
    EXPECT_EQ(vtest::readBytes(p), old);
    EXPECT_EQ(modeOf(p), 0604u);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"keep.rom"}));
}

TEST(ImageSave, FailedSaveOfANewFileLeavesNothing) {
    TempDir dir;
    std::vector<unsigned char> buf = patternBuffer(0x4000);
    unsigned long n;
    std::string screen;
    {
        ConsoleCapture cap;
        FileSizeLimit limit(1000);
        ASSERT_TRUE(limit.ok());
        n = Write_File((dir / "new.rom").c_str(), buf.data(), 0x4000);
        screen = cap.onDisk();
    }
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(vtest::boxesOn(screen), (Boxes{{"Error:", "data-error by saving!"}}));
    EXPECT_TRUE(dir.entries().empty());
}

TEST(ImageSave, FailedSaveThroughALinkLeavesTheLinkedFile) {
    TempDir dir;
    const std::string old = someImage(200);
    ASSERT_TRUE(vtest::writeBytes(dir / "chip.rom", old));
    ASSERT_EQ(symlink("chip.rom", (dir / "link.rom").c_str()), 0);
    std::vector<unsigned char> buf = patternBuffer(0x4000);
    unsigned long n;
    {
        ConsoleCapture cap;
        FileSizeLimit limit(1000);
        ASSERT_TRUE(limit.ok());
        n = Write_File((dir / "link.rom").c_str(), buf.data(), 0x4000);
    }
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(vtest::readBytes(dir / "chip.rom"), old);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"chip.rom", "link.rom"}));
}

// ---- Saves that do not fit ------------------------------------------------

TEST(ImageSave, SaveThatCannotFitKeepsTheOldImageAndLeavesNoTemporaryFile) {
    // Under the file-size limit or on a full disk (a tmpfs of 32 KiB). Written in place, a
    // hard-linked file must be found too big before it is cut; a replacement must take its
    // temporary file away; a new file must not be left half-written.
    enum Target { PLAIN, LINKED, NEW };
    const struct {
        bool fullDisk;
        Target target;
    } cases[] = {{false, LINKED}, {true, PLAIN}, {true, LINKED}, {true, NEW}};
    const std::string old = someImage(20000);
    std::vector<unsigned char> buf = patternBuffer(0x10000);
    for (const auto& c : cases) {
        SCOPED_TRACE((c.fullDisk ? "full disk, target " : "size limit, target ") +
                     std::to_string(c.target));
        TempDir scratch;
        const std::string dir = scratch / "d";
        ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
        if (c.fullDisk && mount("tiny", dir.c_str(), "tmpfs", 0, "size=32k") != 0)
            GTEST_SKIP() << "no tmpfs could be mounted here (not root?): full disk not checked";
        std::vector<std::string> names;
        if (c.target != NEW && vtest::writeBytes(dir + "/keep.rom", old))
            names.push_back("keep.rom");
        if (c.target == LINKED &&
            link((dir + "/keep.rom").c_str(), (dir + "/other.rom").c_str()) == 0)
            names.push_back("other.rom");
        unsigned long n;
        std::string screen;
        {
            ConsoleCapture cap;
            FileSizeLimit limit(c.fullDisk ? RLIM_INFINITY : 1000);
            n = Write_File((dir + "/keep.rom").c_str(), buf.data(), 0x10000);
            screen = cap.onDisk();
        }
        EXPECT_EQ(n, 0u);
        EXPECT_EQ(vtest::boxesOn(screen), (Boxes{{"Error:", "data-error by saving!"}}));
        for (const std::string& name : names)
            EXPECT_TRUE(vtest::readBytes(dir + "/" + name) == old) << name;
        EXPECT_EQ(TempDir::listDir(dir), names);
        if (c.fullDisk)
            umount2(dir.c_str(), MNT_DETACH);
    }
}

// ---- The one reader, as the job uses it -----------------------------------------------------

TEST(ImageRead, OutcomesOfFilesStandardInputAndTheLimit) {
    TempDir dir;
    ASSERT_TRUE(vtest::writeBytes(dir / "f", "0123456789"));
    ASSERT_TRUE(vtest::writeBytes(dir / "empty", ""));
    const struct {
        std::string name; // "" for standard input
        unsigned long max;
        int result, err;
        long size;
        std::string bytes;
    } rows[] = {{dir / "f", 10, TIMGOK, 0, 0, "0123456789"},
                {"", 100, TIMGOK, 0, 0, "piped"},
                {"", 4, TIMGTOOBIG, 0, 5, ""},
                {dir / "f", 9, TIMGTOOBIG, 0, 10, ""},
                {dir / "empty", 9, TIMGEMPTY, 0, 0, ""},
                {dir.path(), 9, TIMGNOOPEN, EISDIR, 0, ""},
                {dir / "none", 9, TIMGNOOPEN, ENOENT, 0, ""}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        ASSERT_EQ(write(fds[1], "piped", 5), 5);
        close(fds[1]);
        const int savedIn = dup(0);
        dup2(fds[0], 0);
        close(fds[0]);
        unsigned char* data = nullptr;
        unsigned long len = 0;
        const ImgOutcome o =
            ReadImageBytes(r.name.empty() ? nullptr : r.name.c_str(), r.max, nullptr, &data, &len);
        dup2(savedIn, 0);
        close(savedIn);
        EXPECT_EQ(o.result, r.result);
        EXPECT_EQ(o.err, r.err);
        EXPECT_EQ(o.size, r.size);
        EXPECT_EQ(data ? std::string((const char*)data, len) : "", r.bytes);
        free(data);
    }
}

namespace {

std::atomic<int> interruptions{0};
void countInterruption(int) {
    interruptions++;
}
// As the program's own stop signals do: the signal itself asks for the stop.
std::atomic<bool> signalStops{false};
int stopQuestion() {
    return signalStops && interruptions > 0;
}

} // namespace

// A FIFO without a writer blocks the open, a pipe without data the read: a signal ends the
// wait only when it asks the program to stop, also one that comes just before the wait;
// any other signal is waited through.
TEST(ImageRead, SignalEndsTheWaitForAFifoOnlyWhenAStopIsAsked) {
    struct sigaction sa = {}, old;
    sa.sa_handler = countInterruption;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0; // no SA_RESTART, as for the program's stop signals
    ASSERT_EQ(sigaction(SIGUSR2, &sa, &old), 0);
    for (const bool writerFirst : {false, true})
        for (const bool stop : {false, true}) {
            SCOPED_TRACE(std::string(writerFirst ? "read" : "open") + (stop ? ", stop" : ""));
            TempDir dir;
            const std::string fifo = dir / "feed";
            ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
            interruptions = 0;
            signalStops = stop;
            std::atomic<bool> done{false};
            // A writer already there (opened without blocking once a reader is) or none yet.
            const pthread_t reader = pthread_self();
            std::thread other([&] {
                int w = -1;
                while (!done && (stop || interruptions < 3)) {
                    if (writerFirst && w < 0)
                        w = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
                    pthread_kill(reader, SIGUSR2);
                    usleep(20000);
                }
                if (!done && w < 0)
                    w = open(fifo.c_str(), O_WRONLY);
                if (!done && w >= 0) {
                    EXPECT_EQ(write(w, "abc", 3), 3);
                }
                if (w >= 0)
                    close(w);
            });
            unsigned char* data = nullptr;
            unsigned long len = 0;
            const ImgOutcome o = ReadImageBytes(fifo.c_str(), 100, stopQuestion, &data, &len);
            done = true;
            other.join();
            EXPECT_GE(interruptions, 1);
            EXPECT_EQ(o.result, stop ? TIMGSTOPPED : TIMGOK);
            EXPECT_EQ(data ? std::string((const char*)data, len) : "", stop ? "" : "abc");
            free(data);
        }
    sigaction(SIGUSR2, &old, nullptr);
}

// ---- What a save may write --------------------------------------------------------------

TEST(ImageSave, FileNamedAsRefusedIsNeverWrittenByAnyName) {
    TempDir dir;
    const std::string cells = someImage(0x100);
    ASSERT_TRUE(vtest::writeBytes(dir / "chip.bin", cells));
    ASSERT_EQ(link((dir / "chip.bin").c_str(), (dir / "twin.bin").c_str()), 0);
    ASSERT_EQ(symlink("chip.bin", (dir / "link.bin").c_str()), 0);
    struct stat st;
    ASSERT_EQ(stat((dir / "chip.bin").c_str(), &st), 0);
    RefuseSavesTo(st.st_dev, st.st_ino);
    std::vector<unsigned char> buf = patternBuffer();
    for (const char* name : {"chip.bin", "twin.bin", "link.bin", "./chip.bin"}) {
        SCOPED_TRACE(name);
        const ImgOutcome check = CheckSaveTarget((dir / name).c_str());
        EXPECT_EQ(check.result, TIMGNOCREATE);
        EXPECT_EQ(check.err, EBUSY);
        ConsoleCapture cap;
        EXPECT_EQ(Write_File((dir / name).c_str(), buf.data(), 0x40), 0u);
        EXPECT_EQ(vtest::boxesOn(cap.screen()),
                  (Boxes{{"Error:", "file-error (create) : can not save!"}}));
        EXPECT_TRUE(vtest::readBytes(dir / "chip.bin") == cells);
    }
    AllowAllSaves();
    EXPECT_EQ(CheckSaveTarget((dir / "twin.bin").c_str()).result, TIMGOK);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"chip.bin", "link.bin", "twin.bin"}));
}

TEST(ImageSave, TargetCheckedWithoutTouchingIt) {
    TempDir dir;
    ASSERT_TRUE(vtest::writeBytes(dir / "old.bin", "old"));
    ASSERT_EQ(mkdir((dir / "sub").c_str(), 0755), 0);
    ASSERT_EQ(symlink("sub/new.bin", (dir / "to-new").c_str()), 0);
    ASSERT_EQ(symlink("nodir/new.bin", (dir / "to-nowhere").c_str()), 0);
    const struct {
        std::string name;
        int err; // 0: the save could go ahead
    } rows[] = {{"old.bin", 0},          {"new.bin", 0},  {"to-new", 0},
                {"nodir/x.bin", ENOENT}, {"sub", EISDIR}, {"old.bin/x", ENOTDIR},
                {"to-nowhere", ENOENT},  {"", ENOENT}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        const ImgOutcome o = CheckSaveTarget(r.name.empty() ? "" : (dir / r.name).c_str());
        EXPECT_EQ(o.result, r.err ? TIMGNOCREATE : TIMGOK);
        EXPECT_EQ(o.err, r.err);
    }
    EXPECT_EQ(vtest::readBytes(dir / "old.bin"), "old");
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"old.bin", "sub", "to-new", "to-nowhere"}));
    EXPECT_TRUE(TempDir::listDir(dir / "sub").empty());
    // Rights are the kernel's: root may write a read-only file, a user may not.
    ASSERT_EQ(chmod((dir / "old.bin").c_str(), 0444), 0);
    ASSERT_EQ(chmod((dir / "sub").c_str(), 0555), 0);
    const int want = geteuid() == 0 ? 0 : EACCES;
    EXPECT_EQ(CheckSaveTarget((dir / "old.bin").c_str()).err, want);
    EXPECT_EQ(CheckSaveTarget((dir / "sub/new.bin").c_str()).err, want);
}
