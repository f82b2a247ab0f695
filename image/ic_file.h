// Image files on disk: the one reader of every image file (the menu's raw loads and the
// job's images alike) and the one safe save. Nothing here talks to the operator: every
// operation returns an outcome that the front end turns into its own texts and boxes.
#ifndef VANTREL_IMAGE_IC_FILE_H
#define VANTREL_IMAGE_IC_FILE_H

// What a load or a save came to.
enum IMG_RESULT {
    TIMGOK = 0,
    TIMGNONAME,     // load: no file name
    TIMGNOOPEN,     // load: the file cannot be opened, or is a directory (err)
    TIMGTOOBIG,     // load: more than the limit; size is the size found (-1: none could be had)
    TIMGEMPTY,      // load: the file holds no byte
    TIMGREADERROR,  // load: a read failed (err)
    TIMGNOMEMORY,   // load: no memory for the scratch buffer
    TIMGSTOPPED,    // load: a stop signal ended the wait for the file's bytes
    TIMGNOTHING,    // save: no byte to save
    TIMGNOCREATE,   // save: the file cannot be created or opened for writing (err)
    TIMGWRITEERROR, // save: a write failed, or the image cannot fit (err)
};

struct ImgOutcome {
    IMG_RESULT result;
    int err;   // the errno of the failure, 0 where the system gave none
    long size; // TIMGTOOBIG: the size found
};

// Reads a whole image file, or standard input when `filename` is null, into a new malloc'd
// buffer (*pData, *pLen bytes; free() it) that is set only on success: a load that fails
// leaves the caller's buffers as they were. A regular file or block device larger than
// `max` is refused before a byte is read; a pipe, FIFO, terminal or character device is
// read to its end, and no further than one byte past `max`. A read or open that a signal
// interrupts is taken up again, unless `stopped` (may be null) says the program is to stop:
// then the outcome is TIMGSTOPPED.
ImgOutcome ReadImageBytes(const char* filename, unsigned long max, int (*stopped)(void),
                          unsigned char** pData, unsigned long* pLen);

// Writes the first `max` bytes of `pBuf` to `savefile` without ever leaving a half-written
// file where a good image stood (see ic_file.cpp).
ImgOutcome SaveImageFile(const char* savefile, const unsigned char* pBuf, unsigned long max);

// Whether SaveImageFile could create or write `savefile` with the program's present
// rights, asked without touching the file: TIMGOK, or TIMGNOCREATE and the reason.
ImgOutcome CheckSaveTarget(const char* savefile);

// A file no save may write, whatever name or link it is reached by: a save to it is
// refused as TIMGNOCREATE with EBUSY, and the file stays as it is. vantrel-sim names its
// chip file here, whose cells are the bytes of that very file.
void RefuseSavesTo(unsigned long long dev, unsigned long long ino);
// Forgets every file named above.
void AllowAllSaves(void);

// 1 when the names `a` and `b` reach the same file: the same device and inode, or, where one
// of them does not exist (yet), the same path once its directory is resolved ("./x" and "x",
// a link to the directory). Nothing is opened.
unsigned int SameImageFile(const char* a, const char* b);

#endif
