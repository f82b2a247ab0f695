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
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

static ImgOutcome outcome(IMG_RESULT result, int err = 0, long size = 0) {
    ImgOutcome o;
    o.result = result;
    o.err = err;
    o.size = size;
    return o;
}

// ---- Load ----------------------------------------------------------------------------------

// The size of a regular file or block device (a block device's stat size is 0), -1 when
// it cannot be had; a pipe, FIFO, terminal or character device has none to ask for.
static long sizeToAsk(int fd, const struct stat* st, bool* known) {
    *known = S_ISREG(st->st_mode) || S_ISBLK(st->st_mode);
    if (!*known)
        return 0;
    const off_t end = lseek(fd, 0, SEEK_END);
    if (lseek(fd, 0, SEEK_SET) != 0 || end < 0 || end > (off_t)LONG_MAX)
        return -1;
    return (long)end;
}

// Waits until `fd` has bytes (or its end) to read, or a signal arrives. Every signal but
// those the program's own faults raise is blocked while `stopped` is asked and unblocked only
// inside ppoll, so a stop that arrives just before the wait cannot be missed. Returns 0 when
// the program is to stop.
static int waitForBytes(int fd, int (*stopped)(void)) {
    if (!stopped)
        return 1;
    sigset_t all, old;
    sigfillset(&all);
    for (int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGABRT})
        sigdelset(&all, s);
    sigprocmask(SIG_BLOCK, &all, &old);
    struct pollfd p = {fd, POLLIN, 0};
    while (!stopped() && ppoll(&p, 1, nullptr, &old) < 0 && errno == EINTR) {
    }
    const int go = !stopped();
    sigprocmask(SIG_SETMASK, &old, nullptr);
    return go;
}

static bool stopAsked(int (*stopped)(void)) {
    return stopped && stopped();
}

// The file to read: open, not a directory, and its size where it has one.
struct Source {
    int fd;
    bool owned; // opened here (standard input is not)
    bool known; // a regular file or block device: its size is `size`
    long size;
};

static void closeSource(const Source* src) {
    if (src->owned)
        close(src->fd);
}

static ImgOutcome openSource(const char* filename, unsigned long max, int (*stopped)(void),
                             Source* src) {
    src->fd = STDIN_FILENO;
    src->owned = filename != nullptr;
    // A FIFO opens only once a writer comes: the wait may be ended by a signal.
    while (filename && (src->fd = open(filename, O_RDONLY | O_NOCTTY | O_CLOEXEC)) < 0) {
        if (errno != EINTR)
            return outcome(TIMGNOOPEN, errno);
        if (stopAsked(stopped))
            return outcome(TIMGSTOPPED, EINTR);
    }
    struct stat st;
    int err = 0;
    if (fstat(src->fd, &st) != 0)
        err = errno;
    else if (S_ISDIR(st.st_mode))
        err = EISDIR; // a directory opens for reading on Linux but holds no image
    if (err) {
        closeSource(src);
        return outcome(TIMGNOOPEN, err);
    }
    src->size = sizeToAsk(src->fd, &st, &src->known);
    if (src->known && (unsigned long)src->size > max) {
        closeSource(src);
        return outcome(TIMGTOOBIG, 0, src->size);
    }
    return outcome(TIMGOK);
}

// Makes room for more bytes, up to `cap`: the size the file says first, then doubling.
// False when the buffer is full at `cap` or memory ran out (*noMemory).
static bool makeRoom(const Source* src, unsigned long cap, unsigned char** data,
                     unsigned long* room, bool* noMemory) {
    if (*room >= cap)
        return false;
    unsigned long want = src->known && src->size >= 0 ? (unsigned long)src->size + 1 : 65536;
    if (*room)
        want = *room < cap / 2 ? *room * 2 : cap;
    if (want > cap)
        want = cap;
    unsigned char* grown = (unsigned char*)realloc(*data, want);
    if (!grown) {
        *noMemory = true;
        return false;
    }
    *data = grown;
    *room = want;
    return true;
}

// Reads `src` to its end or to `cap` bytes into a growing buffer.
static ImgOutcome readAll(const Source* src, unsigned long cap, int (*stopped)(void),
                          unsigned char** data, unsigned long* len) {
    unsigned long room = 0;
    bool noMemory = false;
    for (;;) {
        if (*len == room && !makeRoom(src, cap, data, &room, &noMemory))
            return noMemory ? outcome(TIMGNOMEMORY, ENOMEM) : outcome(TIMGOK);
        // A pipe, FIFO or terminal may keep the program waiting for its writer.
        if (!src->known && !waitForBytes(src->fd, stopped))
            return outcome(TIMGSTOPPED, EINTR);
        const ssize_t got = read(src->fd, *data + *len, room - *len);
        if (got > 0)
            *len += (unsigned long)got;
        else if (got == 0)
            return outcome(TIMGOK);
        else if (errno != EINTR)
            return outcome(TIMGREADERROR, errno);
        else if (stopAsked(stopped))
            return outcome(TIMGSTOPPED, EINTR);
    }
}

ImgOutcome ReadImageBytes(const char* filename, unsigned long max, int (*stopped)(void),
                          unsigned char** pData, unsigned long* pLen) {
    if (filename && filename[0] == '\0')
        return outcome(TIMGNONAME);
    if (stopAsked(stopped))
        return outcome(TIMGSTOPPED, EINTR);
    Source src;
    ImgOutcome o = openSource(filename, max, stopped, &src);
    if (o.result != TIMGOK)
        return o;
    // Into a scratch buffer up to one byte past the limit, to tell a file of exactly `max`
    // bytes from a longer one (a file that grows while read, a device that reports no size).
    const unsigned long cap = max + 1 > max ? max + 1 : max;
    unsigned char* data = nullptr;
    unsigned long len = 0;
    o = readAll(&src, cap, stopped, &data, &len);
    closeSource(&src);
    if (o.result == TIMGOK && len > max)
        o = outcome(TIMGTOOBIG, 0, (long)cap);
    else if (o.result == TIMGOK && len == 0)
        o = outcome(TIMGEMPTY);
    if (o.result != TIMGOK) {
        free(data);
        return o;
    }
    *pData = data;
    *pLen = len;
    return o;
}

// ---- Files no save may write ---------------------------------------------------------------

static struct { unsigned long long dev, ino; } refused[4];
static int nrefused = 0;

void RefuseSavesTo(unsigned long long dev, unsigned long long ino) {
    if (nrefused < (int)(sizeof refused / sizeof refused[0])) {
        refused[nrefused].dev = dev;
        refused[nrefused].ino = ino;
        nrefused++;
    }
}

void AllowAllSaves(void) {
    nrefused = 0;
}

// `path` with its directory resolved (links, "." and ".."), the last name as it is; the path
// itself when its directory cannot be resolved.
static std::string resolvedPath(const char* path) {
    const char* slash = strrchr(path, '/');
    const std::string dir = slash ? std::string(path, slash == path ? 1 : slash - path) : ".";
    char* real = realpath(dir.c_str(), nullptr);
    if (!real)
        return path;
    std::string out = real;
    free(real);
    if (out.back() != '/')
        out += '/';
    return out + (slash ? slash + 1 : path);
}

unsigned int SameImageFile(const char* a, const char* b) {
    struct stat sa, sb;
    if (stat(a, &sa) == 0 && stat(b, &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    return resolvedPath(a) == resolvedPath(b);
}

static bool isRefused(const struct stat* st) {
    for (int k = 0; k < nrefused; k++)
        if (refused[k].dev == (unsigned long long)st->st_dev &&
            refused[k].ino == (unsigned long long)st->st_ino)
            return true;
    return false;
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
        if (w <= 0) {
            if (w == 0)
                errno = EIO;
            return false;
        }
        p += w;
        n -= (unsigned long)w;
    }
    return true;
}

// A pipe or device that cannot be synced (EINVAL) has nothing to lose.
static bool syncFile(int fd) {
    return fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
}

// Writes over the file behind `fd` (-1: it could not be opened, for the reason `openErr`)
// as `cat > file` would. A regular file is first asked whether the image will fit -- the
// file-size limit, then the blocks reserved beyond its end -- so that a save bound to fail
// leaves the old image whole.
static ImgOutcome writeInPlace(int fd, int openErr, bool regular, const unsigned char* pBuf,
                               unsigned long max) {
    if (fd < 0)
        return outcome(TIMGNOCREATE, openErr);
    int err = 0;
    if (regular) {
        struct rlimit lim;
        if (getrlimit(RLIMIT_FSIZE, &lim) == 0 && lim.rlim_cur != RLIM_INFINITY &&
            max > lim.rlim_cur)
            err = EFBIG;
        if (!err && fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, (off_t)max) != 0 &&
            (errno == ENOSPC || errno == EDQUOT || errno == EFBIG))
            err = errno;
        if (!err && (ftruncate(fd, 0) != 0 || !writeAll(fd, pBuf, max, true)))
            err = errno;
    } else if (!writeAll(fd, pBuf, max, false)) {
        err = errno; // a reader that leaves: EPIPE (SIGPIPE is ignored)
    }
    if (!err && !syncFile(fd))
        err = errno;
    if (close(fd) != 0 && !err)
        err = errno;
    return err ? outcome(TIMGWRITEERROR, err) : outcome(TIMGOK);
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

struct Replaced {
    int how; // SAVED, SAVE_FAILED, RENAME_FAILED or NO_TEMPORARY
    int err;
};

// Where a replacement is written: the directory and the new file's mode and owner.
struct Replacement {
    std::string dir; // with its slash, "" for the working directory
    std::string target;
    const struct stat* old; // the file replaced, null for a new one
    mode_t mode;
};

// A new file in the target's directory: unnamed (O_TMPFILE; -1 where the file system knows no
// unnamed files) or named by mkstemp in *tmpName, with the signals held in *saved from now on.
static int openTemporary(const Replacement& r, bool named, std::string* tmpName, sigset_t* saved) {
    if (!named)
        return open(r.dir.empty() ? "." : r.dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    holdSignals(saved);
    *tmpName = r.dir + ".vtmpXXXXXX";
    const int fd = mkostemp(&(*tmpName)[0], O_CLOEXEC);
    if (fd < 0)
        tmpName->clear();
    return fd;
}

// One try at a replacement through an unnamed or a named new file. UNNAMED: the unnamed way
// is not open here (no O_TMPFILE, or no name could be given to the file once written).
static Replaced replaceThrough(const Replacement& r, bool named, const unsigned char* pBuf,
                               unsigned long max) {
    sigset_t saved;
    bool held = named;
    std::string tmpName;
    const int fd = openTemporary(r, named, &tmpName, &saved);
    if (fd < 0 && !named)
        return Replaced{UNNAMED, 0};
    int result = SAVED, err = 0;
    if (fd < 0 || !takeOver(fd, r.old, r.mode)) {
        result = NO_TEMPORARY;
    } else if (!writeAll(fd, pBuf, max, true) || !syncFile(fd)) {
        result = SAVE_FAILED;
        err = errno;
    } else if (!named) {
        holdSignals(&saved);
        held = true;
        if (!nameTempFile(fd, r.dir, &tmpName)) {
            tmpName.clear();
            result = UNNAMED; // written for nothing; a named file will do
        }
    }
    if (fd >= 0 && close(fd) != 0 && result == SAVED) {
        result = SAVE_FAILED;
        err = errno;
    }
    if (result == SAVED && rename(tmpName.c_str(), r.target.c_str()) != 0) {
        result = RENAME_FAILED;
        err = errno;
    }
    if (result != SAVED && !tmpName.empty())
        unlink(tmpName.c_str());
    if (held)
        sigprocmask(SIG_SETMASK, &saved, nullptr);
    return Replaced{result, err};
}

// Writes the image to a new file beside `target` and renames it over the target once every
// byte is on disk. The new file has no name while it is written (O_TMPFILE), so no way of
// ending the program leaves it behind; where the file system knows no unnamed files, mkstemp
// makes a named one, with the signals held until it is renamed or removed. `old` is the
// file replaced, null for a new one. NO_TEMPORARY: the directory takes no new file, or the
// new one cannot be what the old one was; the caller writes in place instead.
static Replaced replaceFile(const std::string& target, const struct stat* old,
                            const unsigned char* pBuf, unsigned long max) {
    const size_t slash = target.rfind('/');
    const Replacement r = {slash == std::string::npos ? std::string() : target.substr(0, slash + 1),
                           target, old, targetMode(old)};
    const Replaced unnamed = replaceThrough(r, false, pBuf, max);
    if (unnamed.how != UNNAMED)
        return unnamed;
    return replaceThrough(r, true, pBuf, max);
}

static ImgOutcome replaced(const Replaced& r) {
    if (r.how == SAVE_FAILED)
        return outcome(TIMGWRITEERROR, r.err);
    if (r.how == RENAME_FAILED)
        return outcome(TIMGNOCREATE, r.err);
    return outcome(TIMGOK);
}

ImgOutcome SaveImageFile(const char* savefile, const unsigned char* pBuf, unsigned long max) {
    if (max == 0)
        return outcome(TIMGNOTHING);
    if (!savefile || savefile[0] == '\0')
        return outcome(TIMGNOCREATE, ENOENT);
    const int createFlags = O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY | O_CLOEXEC;
    struct stat st;
    if (stat(savefile, &st) != 0) {
        // A new file. Through a symbolic link to a file not yet there it is created where
        // the link points, in place; so it is where the directory takes no temporary file.
        struct stat lst;
        if (lstat(savefile, &lst) != 0 || !S_ISLNK(lst.st_mode)) {
            const Replaced r = replaceFile(savefile, nullptr, pBuf, max);
            if (r.how != NO_TEMPORARY)
                return replaced(r);
        }
        const int fd = open(savefile, createFlags, 0666);
        return writeInPlace(fd, errno, true, pBuf, max);
    }
    if (isRefused(&st))
        return outcome(TIMGNOCREATE, EBUSY);
    // The kernel decides whether the operator may write the file, as for `cat > file`: a
    // read-only image is refused to a user, not to root. A device or pipe cannot be replaced,
    // and a directory does not open for writing.
    const int fd = open(savefile, O_WRONLY | O_NOCTTY | O_CLOEXEC);
    const int openErr = errno;
    if (fd < 0 || !S_ISREG(st.st_mode))
        return writeInPlace(fd, openErr, false, pBuf, max);
    // A file with more than one name is written in place, so that every name sees the new
    // image. A symbolic link is followed: the file it points to is replaced, the link stays.
    if (st.st_nlink == 1) {
        char resolved[PATH_MAX];
        const Replaced r =
            replaceFile(realpath(savefile, resolved) ? resolved : savefile, &st, pBuf, max);
        if (r.how != NO_TEMPORARY) {
            close(fd);
            return replaced(r);
        }
    }
    return writeInPlace(fd, 0, true, pBuf, max);
}

// The directory a new file named `path` would be created in, with its slash ("" for the
// working directory).
static std::string directoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

ImgOutcome CheckSaveTarget(const char* savefile) {
    if (!savefile || savefile[0] == '\0')
        return outcome(TIMGNOCREATE, ENOENT);
    struct stat st;
    if (stat(savefile, &st) == 0) {
        if (isRefused(&st))
            return outcome(TIMGNOCREATE, EBUSY);
        if (S_ISDIR(st.st_mode))
            return outcome(TIMGNOCREATE, EISDIR);
        if (faccessat(AT_FDCWD, savefile, W_OK, AT_EACCESS) != 0)
            return outcome(TIMGNOCREATE, errno);
        return outcome(TIMGOK);
    }
    if (errno != ENOENT)
        return outcome(TIMGNOCREATE, errno);
    // A new file, in its directory; through a symbolic link to a file not yet there, in the
    // directory the link points into.
    std::string dir = directoryOf(savefile);
    struct stat lst;
    char target[PATH_MAX];
    ssize_t n;
    if (lstat(savefile, &lst) == 0 && S_ISLNK(lst.st_mode) &&
        (n = readlink(savefile, target, sizeof target - 1)) > 0) {
        target[n] = '\0';
        dir = target[0] == '/' ? directoryOf(target) : dir + directoryOf(target);
    }
    const std::string where = dir.empty() ? "." : dir;
    if (stat(where.c_str(), &st) != 0)
        return outcome(TIMGNOCREATE, errno);
    if (!S_ISDIR(st.st_mode))
        return outcome(TIMGNOCREATE, ENOTDIR);
    if (faccessat(AT_FDCWD, where.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
        return outcome(TIMGNOCREATE, errno);
    return outcome(TIMGOK);
}
