#include "console/conio.h"

#include <cerrno>
#include <csignal>
#include <poll.h>

#include "console/ports.h"
#include "link/hw.h"

FILE* conIn = stdin;
FILE* conOut = stdout;
int InputClosed = 0;

static int pollInput = 0;                // conIn is the unbuffered standard input
static void (*exitHook)(void) = nullptr; // run before the program ends by a signal

static const int stopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Only notes the signal: the program may be in the middle of a bus transfer or a file
// write, and decides itself where it can stop. The first signal wins; a later one (or the
// same one again) changes nothing, so a second Ctrl-C cannot cut a clean-up short.
static void onStopSignal(int sig) {
    if (StopRequest <= 0)
        StopRequest = sig;
}

void conInit(void) {
    struct sigaction sa = {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0; // no SA_RESTART: a blocked read or open returns, and the stop is seen
    for (const int sig : stopSignals) {
        // A signal ignored from the start stays ignored: nohup, and a shell's background
        // job, ask for exactly that.
        struct sigaction was;
        if (sigaction(sig, nullptr, &was) == 0 && was.sa_handler == SIG_IGN)
            continue;
        sigaction(sig, &sa, nullptr);
    }
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
    if (conIn == stdin) {
        // With no stdio buffer in between, "the descriptor is readable" means "a character
        // is there", so the wait for input can be a ppoll that a signal ends.
        setvbuf(stdin, nullptr, _IONBF, 0);
        pollInput = 1;
    }
}

void conSetExitHook(void (*hook)(void)) {
    exitHook = hook;
}

// Ends the program by `sig` as if it had never been caught, so that a shell sees 128 + the
// signal's number and a script's loop stops.
static void endBySignal(int sig) {
    fflush(conOut);
    if (exitHook)
        exitHook();
    signal(sig, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(sig);
    _exit(128 + sig); // not reached: the default action of every stop signal ends the process
}

void conCheckStop(void) {
    const int sig = StopRequest;
    if (sig > 0 && !HaltOnStop)
        endBySignal(sig);
    if (sig == STOP_PORT_LOST && !HaltOnStop)
        endByPortLoss();
}

// Waits until the input has a character (or has ended) or a stop signal arrives. The
// signals are blocked while the request is checked and unblocked only inside ppoll, so one
// arriving just before the wait cannot be missed. Returns 0 for a stop inside a chip run.
static int waitForInput(void) {
    if (!pollInput)
        return 1;
    sigset_t stops, old;
    sigemptyset(&stops);
    for (const int sig : stopSignals)
        sigaddset(&stops, sig);
    sigprocmask(SIG_BLOCK, &stops, &old);
    struct pollfd p = {fileno(conIn), POLLIN, 0};
    while (StopRequest <= 0 && ppoll(&p, 1, nullptr, &old) < 0 && errno == EINTR) {
    }
    sigprocmask(SIG_SETMASK, &old, nullptr);
    conCheckStop();
    return StopRequest <= 0;
}

int conGetChar(void) {
    conCheckStop();
    if (InputClosed || StopRequest)
        return EOF;
    if (!waitForInput())
        return EOF;
    const int c = fgetc(conIn);
    if (c != EOF)
        return c;
    if (ferror(conIn) && errno == EINTR && StopRequest > 0) {
        clearerr(conIn); // not the end of the input: a stop signal ended the read
        conCheckStop();
        return EOF;
    }
    InputClosed = 1;
    return EOF;
}

// One character into the line, or the line is too long: what does not fit is dropped.
static void keep(char* buf, size_t size, size_t* n, int* result, int c) {
    if (*n + 1 < size)
        buf[(*n)++] = (char)c;
    else if (*result == 1)
        *result = CON_LINE_TOO_LONG;
}

int conReadLine(char* buf, size_t size) {
    int c = conGetChar();
    if (c == EOF)
        return CON_LINE_END_OF_INPUT;
    size_t n = 0;
    int result = 1;
    for (;;) {
        if (c == '\r') {
            const int next = conGetChar();
            if (next == '\n')
                break; // CR LF ends a line as LF does; a CR inside a line is part of it
            if (next == EOF) {
                c = EOF;
                break;
            }
            keep(buf, size, &n, &result, c);
            c = next;
            continue;
        }
        if (c == '\n' || c == EOF)
            break;
        if (c == '\0')
            result = CON_LINE_NUL;
        keep(buf, size, &n, &result, c);
        c = conGetChar();
    }
    if (size > 0)
        buf[n] = '\0';
    // Enter is the operator's confirmation: a line the input ends in without one is no
    // answer, and starts nothing.
    if (c == EOF)
        return CON_LINE_END_OF_INPUT;
    return result;
}

void conDiscardLine(void) {
    int c;
    do
        c = conGetChar();
    while (c != EOF && c != '\n');
}

void conFlush(void) {
    if (fflush(conOut) == 0 && !ferror(conOut))
        return;
    if (errno == EINTR && StopRequest > 0) {
        clearerr(conOut); // a stop signal ended the write; the console itself is fine
        return;
    }
    InputClosed = 1;
    if (StopRequest == 0)
        StopRequest = STOP_CONSOLE_LOST;
}
