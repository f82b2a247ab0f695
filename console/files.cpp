// The menu's load and save, and the standard descriptors.
#include "console/files.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "console/conio.h"
#include "console/msgbox.h"
#include "image/ic_file.h"
#include "link/stop.h"

int StdoutWasClosed = 0;

int StopAsked(void) {
    return StopRequest > 0;
}

static char err_str[360];

static void fileError(const char* head, const char* text) {
    snprintf(err_str, sizeof err_str, "%s", text);
    MessageBox(head, err_str);
}

unsigned long Read_File(const char* filename, unsigned char* pBuf, unsigned long max) {
    // A null name would be standard input: the operator's own keys.
    if (!filename || filename[0] == '\0') {
        fileError("Error:", "invalid file-name");
        return 0;
    }
    unsigned char* data = nullptr;
    unsigned long len = 0;
    const ImgOutcome o = ReadImageBytes(filename, max, StopAsked, &data, &len);
    switch (o.result) {
    case TIMGOK:
        memcpy(pBuf, data, len);
        free(data);
        return len;
    case TIMGNOOPEN:
        snprintf(err_str, sizeof err_str, "can't open %s", filename);
        MessageBox("Error:", err_str);
        return 0;
    case TIMGTOOBIG:
        snprintf(err_str, sizeof err_str, "file (%ld Bytes) > %lu", o.size, max);
        MessageBox("Error:", err_str);
        return 0;
    case TIMGEMPTY:
        fileError("Info:", "file has no content");
        return 0;
    case TIMGNOMEMORY:
        fileError("Error:", "malloc(0x80000)");
        return 0;
    case TIMGSTOPPED:
        conCheckStop(); // the program ends by the signal here
        fileError("Error:", "data-error by reading!");
        return 0;
    case TIMGNONAME:
    case TIMGREADERROR:
    case TIMGNOTHING: // a save's outcomes
    case TIMGNOCREATE:
    case TIMGWRITEERROR:
        fileError("Error:", "data-error by reading!");
        return 0;
    }
    return 0;
}

unsigned long Write_File(const char* savefile, const unsigned char* pBuf, unsigned long max) {
    const ImgOutcome o = SaveImageFile(savefile, pBuf, max);
    if (o.result == TIMGOK)
        return max;
    fileError("Error:", o.result == TIMGNOTHING    ? "nothing to save --> break !"
                        : o.result == TIMGNOCREATE ? "file-error (create) : can not save!"
                                                   : "data-error by saving!");
    return 0;
}

int KeepStdDescriptors(void) {
    for (int fd = 0; fd <= 2; fd++) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // The lowest free number: this very one, as the lower ones are open by now.
        const int got = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (got != fd) {
            if (got >= 0)
                close(got);
            return 0;
        }
        if (fd == STDOUT_FILENO)
            StdoutWasClosed = 1;
    }
    return 1;
}
