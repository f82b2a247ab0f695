// The statuses the program ends with, for scripts and makefiles: a job's four, and the
// menu program's for a port it cannot work on.
#ifndef VANTREL_CONSOLE_EXIT_STATUS_H
#define VANTREL_CONSOLE_EXIT_STATUS_H

// Exit statuses of a job.
#define JOB_OK 0          // every action succeeded
#define JOB_CHIP_FAILED 1 // a chip action failed: not blank, mismatch, write error, timeout
#define JOB_BAD_USAGE 2   // a bad command line, or an image or file that cannot be used
#define JOB_NO_BOARD 3    // no access to the port, or the board did not answer

#define MENU_NO_PORT 2 // the menu program without a port to work on

#endif
