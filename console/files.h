// The program's files as the operator meets them: the menu's load and save of raw images,
// with their boxes, and the three standard descriptors.
#ifndef VANTREL_CONSOLE_FILES_H
#define VANTREL_CONSOLE_FILES_H

// Loads the raw image in `filename` into `pBuf`: the count of bytes loaded, or 0 after the
// failure's box. A file of more than `max` bytes is refused; a failed load leaves `pBuf` as
// it was.
unsigned long Read_File(const char* filename, unsigned char* pBuf, unsigned long max);
// Saves the first `max` bytes of `pBuf` to `savefile`: `max`, or 0 after the failure's box.
unsigned long Write_File(const char* savefile, const unsigned char* pBuf, unsigned long max);

// Opens /dev/null on each of the descriptors 0, 1 and 2 that is closed, so that no chip
// file, port device or image can take its number and have the screen, the keys or the error
// messages go through it. Call first thing in main(). Returns 0 when /dev/null cannot be had:
// the program must not go on.
int KeepStdDescriptors(void);
// Standard output was closed when the program started: an image written there is lost.
extern int StdoutWasClosed;

// Whether a stop signal has asked the program to end: a wait for a file's bytes gives up.
int StopAsked(void);

#endif
