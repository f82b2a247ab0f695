// Image file load and save. An image may be the only copy of a chip's contents, so a save
// never leaves a half-written file where a good one stood: a regular file is written beside
// its target and renamed over it only once every byte is safely on disk. A save goes no
// further than the operator's own rights, and where a replacement would change what the file
// is to others -- its other names, its owner -- it writes the file in place, as `cat > file`.
#include "image/ic_file.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "console/msgbox.h"

static char err_str[360];

const char* FileErrorText(void) {
    return err_str;
}

static void fileError(const char* head, const char* text) {
    snprintf(err_str, sizeof err_str, "%s", text);
    MessageBox(head, err_str);
}

// ---- Load ----------------------------------------------------------------------------------

unsigned long Read_File(const char* filename, unsigned char* pBuf, unsigned long max) {
    if (!filename || filename[0] == '\0') {
        fileError("Error:", "invalid file-name");
        return 0;
    }
    FILE* f = fopen(filename, "rb");
    struct stat st;
    if (f && (fstat(fileno(f), &st) != 0 || S_ISDIR(st.st_mode))) {
        fclose(f); // a directory opens for reading on Linux but holds no image
        f = nullptr;
    }
    if (!f) {
        snprintf(err_str, sizeof err_str, "can't open %s", filename);
        MessageBox("Error:", err_str);
        return 0;
    }
    // A pipe, FIFO, terminal or character device has no size to ask for: it is read to its
    // end below, and no further than one byte past the limit.
    long size = 0;
    if (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode)) {
        size = -1;
        if (fseek(f, 0, SEEK_END) == 0)
            size = ftell(f);
        fseek(f, 0, SEEK_SET);
    }
    if ((unsigned long)size > max) {
        snprintf(err_str, sizeof err_str, "file (%ld Bytes) > %lu", size, max);
        fclose(f);
        MessageBox("Error:", err_str);
        return 0;
    }
    // Read into a scratch buffer first, so that a load that fails half-way (a file that
    // grows while read, a device that reports no size) leaves the work buffer as it was.
    unsigned char* scratch = (unsigned char*)malloc(max ? max : 1);
    if (!scratch) {
        fclose(f);
        fileError("Error:", "malloc(0x80000)");
        return 0;
    }
    unsigned long count = 0;
    int c;
    bool tooLong = false;
    while ((c = fgetc(f)) != EOF) {
        if (count == max) {
            tooLong = true;
            break;
        }
        scratch[count++] = (unsigned char)c;
    }
    const bool readFailed = !tooLong && ferror(f);
    fclose(f);
    if (tooLong) {
        snprintf(err_str, sizeof err_str, "file (%ld Bytes) > %lu", (long)(max + 1), max);
        free(scratch);
        MessageBox("Error:", err_str);
        return 0;
    }
    if (readFailed) {
        free(scratch);
        fileError("Error:", "data-error by reading!");
        return 0;
    }
    if (count == 0) {
        free(scratch);
        fileError("Info:", "file has no content");
        return 0;
    }
    memcpy(pBuf, scratch, count);
    free(scratch);
    return count;
}

// ---- Save ----------------------------------------------------------------------------------

// Every byte to the file. On a regular file a write cut short by a signal is taken up again;
// on a pipe, FIFO or terminal it ends the save, since the one who sent the signal wants the
// program to stop, not to wait on for a reader.
static bool writeAll(int fd, const unsigned char* p, unsigned long n, bool retryInterrupted) {
    while (n > 0) {
        const ssize_t w = write(fd, p, n);
        if (w < 0 && errno == EINTR && retryInterrupted)
            continue;
        if (w <= 0)
            return false;
        p += w;
        n -= (unsigned long)w;
    }
    return true;
}

// A pipe or device that cannot be synced (EINVAL) has nothing to lose.
static bool syncFile(int fd) {
    return fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
}

// Writes over the file behind `fd` (-1: it could not be opened) as `cat > file` would. A
// regular file is first asked whether the image will fit -- the file-size limit, then the
// blocks reserved beyond its end -- so that a save bound to fail leaves the old image whole.
static unsigned long writeInPlace(int fd, bool regular, const unsigned char* pBuf,
                                  unsigned long max) {
    if (fd < 0) {
        fileError("Error:", "file-error (create) : can not save!");
        return 0;
    }
    bool ok = true;
    if (regular) {
        struct rlimit lim;
        if (getrlimit(RLIMIT_FSIZE, &lim) == 0 && lim.rlim_cur != RLIM_INFINITY &&
            max > lim.rlim_cur)
            ok = false;
        if (ok && fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, (off_t)max) != 0 &&
            (errno == ENOSPC || errno == EDQUOT || errno == EFBIG))
            ok = false;
        ok = ok && ftruncate(fd, 0) == 0 && writeAll(fd, pBuf, max, true);
    } else {
        ok = writeAll(fd, pBuf, max, false); // a reader that leaves: EPIPE (SIGPIPE is ignored)
    }
    ok = ok && syncFile(fd);
    if (close(fd) != 0)
        ok = false;
    if (!ok) {
        fileError("Error:", "data-error by saving!");
        return 0;
    }
    return max;
}

// The permissions a plain fopen would have given a new file, or the old file's own.
static mode_t targetMode(const struct stat* old) {
    if (old)
        return old->st_mode & 07777;
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// While a temporary file has a name, the signals that end the program wait, so that it never
// stays behind under that name; they arrive once it is renamed or removed. Signals that the
// save's own calls raise are left alone.
static void holdSignals(sigset_t* saved) {
    sigset_t held;
    sigfillset(&held);
    for (int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGABRT, SIGXFSZ, SIGPIPE})
        sigdelset(&held, s);
    sigprocmask(SIG_BLOCK, &held, saved);
}

// Gives the finished unnamed file `fd` a name beside the target, short of its own: the
// target's name may already be as long as a directory entry can hold.
static bool nameTempFile(int fd, const std::string& dir, std::string* name) {
    char self[32], own[32];
    snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    for (unsigned attempt = 0; attempt < 100; attempt++) {
        snprintf(own, sizeof own, ".vtmp%d.%u", (int)getpid(), attempt);
        *name = dir + own;
        if (linkat(AT_FDCWD, self, AT_FDCWD, name->c_str(), AT_SYMLINK_FOLLOW) == 0)
            return true;
        if (errno != EEXIST)
            return false;
    }
    return false;
}

// The new file must be what the old one was to the system: its owner, group and mode. Where
// the program may not give them (another user's file), it must not replace the file at all.
static bool takeOver(int fd, const struct stat* old, mode_t mode) {
    // Owner before mode, since a change of owner clears the set-id bits.
    if (old && fchown(fd, old->st_uid, old->st_gid) != 0) {
        // judged below by what the file got
    }
    if (fchmod(fd, mode) != 0) {
        // likewise
    }
    struct stat now;
    if (fstat(fd, &now) != 0)
        return false;
    return !old || (now.st_uid == old->st_uid && now.st_gid == old->st_gid &&
                    (now.st_mode & 07777) == mode);
}

enum { SAVED, SAVE_FAILED, NO_TEMPORARY, RENAME_FAILED, UNNAMED };

// Writes the image to a new file beside `target` and renames it over the target once every
// byte is on disk. The new file has no name while it is written (O_TMPFILE), so no way of
// ending the program leaves it behind; where the file system knows no unnamed files, mkstemp
// makes a named one, with the signals held until it is renamed or removed. `old` is the
// file replaced, null for a new one. NO_TEMPORARY: the directory takes no new file, or the
// new one cannot be what the old one was; the caller writes in place instead.
static int replaceFile(const std::string& target, const struct stat* old, const unsigned char* pBuf,
                       unsigned long max) {
    const size_t slash = target.rfind('/');
    const std::string dir =
        slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const mode_t mode = targetMode(old);
    for (int named = 0; named < 2; named++) {
        sigset_t saved;
        bool held = false;
        std::string tmpName;
        int fd;
        if (named) {
            holdSignals(&saved);
            held = true;
            tmpName = dir + ".vtmpXXXXXX";
            fd = mkostemp(&tmpName[0], O_CLOEXEC);
            if (fd < 0)
                tmpName.clear();
        } else {
            fd = open(dir.empty() ? "." : dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
            if (fd < 0)
                continue;
        }
        int result = SAVED;
        if (fd < 0 || !takeOver(fd, old, mode)) {
            result = NO_TEMPORARY;
        } else if (!writeAll(fd, pBuf, max, true) || !syncFile(fd)) {
            result = SAVE_FAILED;
        } else if (!named) {
            holdSignals(&saved);
            held = true;
            if (!nameTempFile(fd, dir, &tmpName)) {
                tmpName.clear();
                result = UNNAMED;
            }
        }
        if (fd >= 0 && close(fd) != 0 && result == SAVED)
            result = SAVE_FAILED;
        if (result == SAVED && rename(tmpName.c_str(), target.c_str()) != 0)
            result = RENAME_FAILED;
        if (result != SAVED && !tmpName.empty())
            unlink(tmpName.c_str());
        if (held)
            sigprocmask(SIG_SETMASK, &saved, nullptr);
        if (result == UNNAMED)
            continue; // written for nothing; a named file will do
        if (result == SAVE_FAILED)
            fileError("Error:", "data-error by saving!");
        if (result == RENAME_FAILED) {
            fileError("Error:", "file-error (create) : can not save!");
            result = SAVE_FAILED;
        }
        return result;
    }
    return NO_TEMPORARY;
}

unsigned long Write_File(const char* savefile, const unsigned char* pBuf, unsigned long max) {
    if (max == 0) {
        fileError("Error:", "nothing to save --> break !");
        return 0;
    }
    if (!savefile || savefile[0] == '\0') {
        fileError("Error:", "file-error (create) : can not save!");
        return 0;
    }
    const int createFlags = O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY | O_CLOEXEC;
    struct stat st;
    if (stat(savefile, &st) != 0) {
        // A new file. Through a symbolic link to a file not yet there it is created where
        // the link points, in place; so it is where the directory takes no temporary file.
        struct stat lst;
        if (lstat(savefile, &lst) != 0 || !S_ISLNK(lst.st_mode)) {
            const int r = replaceFile(savefile, nullptr, pBuf, max);
            if (r != NO_TEMPORARY)
                return r == SAVED ? max : 0;
        }
        return writeInPlace(open(savefile, createFlags, 0666), true, pBuf, max);
    }
    // The kernel decides whether the operator may write the file, as for `cat > file`: a
    // read-only image is refused to a user, not to root. A device or pipe cannot be replaced,
    // and a directory does not open for writing.
    const int fd = open(savefile, O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0 || !S_ISREG(st.st_mode))
        return writeInPlace(fd, false, pBuf, max);
    // A file with more than one name is written in place, so that every name sees the new
    // image. A symbolic link is followed: the file it points to is replaced, the link stays.
    if (st.st_nlink == 1) {
        char resolved[PATH_MAX];
        const int r =
            replaceFile(realpath(savefile, resolved) ? resolved : savefile, &st, pBuf, max);
        if (r != NO_TEMPORARY) {
            close(fd);
            return r == SAVED ? max : 0;
        }
    }
    return writeInPlace(fd, true, pBuf, max);
}
