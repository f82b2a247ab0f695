// Image file load and save. An image may be the only copy of a chip's contents, so a save
// never leaves a half-written file where a good one stood: a regular file is written beside
// its target and renamed over it only once every byte is safely on disk.
#include "image/ic_file.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "console/msgbox.h"

static char err_str[360];

static void fileError(const char* head, const char* text) {
    snprintf(err_str, sizeof err_str, "%s", text);
    MessageBox(head, err_str);
}

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
    long size = -1;
    if (fseek(f, 0, SEEK_END) == 0)
        size = ftell(f);
    fseek(f, 0, SEEK_SET);
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

// Writes the bytes and makes sure they reached the file: a full disk often shows only when
// the stdio buffer is flushed or the file is closed.
static bool writeAll(FILE* f, const unsigned char* pBuf, unsigned long max) {
    for (unsigned long i = 0; i < max; i++)
        if (fputc(pBuf[i], f) != pBuf[i])
            return false;
    if (fflush(f) != 0)
        return false;
    if (fsync(fileno(f)) != 0 && errno != EINVAL && errno != EROFS)
        return false;
    return true;
}

static unsigned long saveInPlace(const char* savefile, const unsigned char* pBuf,
                                 unsigned long max) {
    FILE* f = fopen(savefile, "wb");
    if (!f) {
        fileError("Error:", "file-error (create) : can not save!");
        return 0;
    }
    const bool ok = writeAll(f, pBuf, max);
    if (fclose(f) != 0 || !ok) {
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

unsigned long Write_File(const char* savefile, const unsigned char* pBuf, unsigned long max) {
    if (max == 0) {
        fileError("Error:", "nothing to save --> break !");
        return 0;
    }
    if (!savefile || savefile[0] == '\0') {
        fileError("Error:", "file-error (create) : can not save!");
        return 0;
    }
    std::string target = savefile;
    struct stat st;
    const bool exists = stat(savefile, &st) == 0;
    if (exists && !S_ISREG(st.st_mode))
        return saveInPlace(savefile, pBuf, max); // a device or pipe cannot be replaced
    struct stat lst;
    if (!exists && lstat(savefile, &lst) == 0 && S_ISLNK(lst.st_mode))
        return saveInPlace(savefile, pBuf, max); // creates the file the link names
    if (exists) {
        // Follow a symbolic link: the file it points to is replaced, the link stays.
        char resolved[PATH_MAX];
        if (realpath(savefile, resolved))
            target = resolved;
    }

    // Beside the target (a rename stays within one file system), under a short name of its
    // own: the target's name may already be as long as a directory entry can hold.
    const size_t slash = target.rfind('/');
    std::string tmpName =
        (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) + ".vtmpXXXXXX";
    const int fd = mkstemp(&tmpName[0]);
    if (fd < 0) {
        fileError("Error:", "file-error (create) : can not save!");
        return 0;
    }
    // The program runs as root: the replacement keeps the owner of the file it replaces
    // (before the mode, since a change of owner clears the set-id bits).
    if (exists && fchown(fd, st.st_uid, st.st_gid) != 0) {
        // a file system without owners; the bytes matter more than the owner
    }
    fchmod(fd, targetMode(exists ? &st : nullptr));
    FILE* f = fdopen(fd, "wb");
    if (!f) {
        close(fd);
        unlink(tmpName.c_str());
        fileError("Error:", "file-error (create) : can not save!");
        return 0;
    }
    const bool ok = writeAll(f, pBuf, max);
    if (fclose(f) != 0 || !ok) {
        unlink(tmpName.c_str());
        fileError("Error:", "data-error by saving!");
        return 0;
    }
    if (rename(tmpName.c_str(), target.c_str()) != 0) {
        unlink(tmpName.c_str());
        fileError("Error:", "file-error (create) : can not save!");
        return 0;
    }
    return max;
}
