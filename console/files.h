// The program's files as the operator meets them: the menu's load and save of raw images,
// with their boxes.
#ifndef VANTREL_CONSOLE_FILES_H
#define VANTREL_CONSOLE_FILES_H

// Loads the raw image in `filename` into `pBuf`: the count of bytes loaded, or 0 after the
// failure's box. A file of more than `max` bytes is refused; a failed load leaves `pBuf` as
// it was.
unsigned long Read_File(const char* filename, unsigned char* pBuf, unsigned long max);
// Saves the first `max` bytes of `pBuf` to `savefile`: `max`, or 0 after the failure's box.
unsigned long Write_File(const char* savefile, const unsigned char* pBuf, unsigned long max);

// Whether a stop signal has asked the program to end: a wait for a file's bytes gives up.
int StopAsked(void);

#endif
