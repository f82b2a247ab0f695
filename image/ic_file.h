// Raw EPROM images: the chip's bytes in address order, byte 0 first, no header.
#ifndef VANTREL_IMAGE_IC_FILE_H
#define VANTREL_IMAGE_IC_FILE_H

unsigned long Read_File(const char* filename, unsigned char* pBuf, unsigned long max);
unsigned long Write_File(const char* savefile, const unsigned char* pBuf, unsigned long max);
// The text of the last failure's box, for a front end that reports without boxes.
const char* FileErrorText(void);

#endif
