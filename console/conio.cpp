#include "console/conio.h"

#include <cerrno>
#include <csignal>
#include <poll.h>

#include "link/stop.h"

FILE* conIn = stdin;
FILE* conOut = stdout;
int InputClosed = 0;

static int pollInput = 0;                // conIn is the unbuffered standard input
static int noOperator = 0;               // a job's console: nobody answers, nothing is read
static void (*exitHook)(void) = nullptr; // run before the program ends by a signal
static void (*portLossHook)(const void* user) = nullptr; // ends the program on a port lost
static const void* portLossUser = nullptr;               // in a run, in a front end's words

// Every catchable signal whose default action ends the program: a run is stopped safely
// first, then the program ends by the signal as if it had never been caught.
static const int stopSignals[] = {SIGINT,  SIGTERM, SIGHUP,    SIGQUIT, SIGUSR1, SIGUSR2,
                                  SIGALRM, SIGXCPU, SIGVTALRM, SIGPROF, SIGPWR};
// The signals whose default action stops the process (Ctrl-Z, and a background job that
// touches its terminal): a run is paused safely first.
static const int pauseSignals[] = {SIGTSTP, SIGTTIN, SIGTTOU};

static struct sigaction pauseAction; // as installed, to put back after each stop
static void (*pauseHook)(int sig) = nullptr;

// Only notes the signal: the program may be in the middle of a bus transfer or a file
// write, and decides itself where it can stop. The first signal wins; a later one (or the
// same one again) changes nothing, so a second Ctrl-C cannot cut a clean-up short.
static void onStopSignal(int sig) {
    if (StopRequest <= 0)
        StopRequest = sig;
}

// Stops the process as the signal's default action does; returns once it is continued.
// Async-signal-safe: the signal handler uses it as well.
static void stopBySignal(int sig) {
    signal(sig, SIG_DFL);
    sigset_t set, old;
    sigemptyset(&set);
    sigaddset(&set, sig);
    sigprocmask(SIG_UNBLOCK, &set, &old);
    raise(sig);
    sigprocmask(SIG_SETMASK, &old, nullptr);
    sigaction(sig, &pauseAction, nullptr);
}

// In a chip run the process must not stop with the chip as it happens to be: the request is
// noted and the run pauses at its next step with the chip at rest. Anywhere else (a prompt,
// a box, a file) nothing is under way on the board, and the process stops at once.
static void onPauseSignal(int sig) {
    if (RunInProgress) {
        if (PauseRequest == 0)
            PauseRequest = sig;
        // A background job's counter line raises SIGTTOU in the middle of its write, and the
        // write, restarted, would raise it again for ever: let that one write through. The
        // pause puts the handler back.
        if (sig != SIGTSTP)
            signal(sig, SIG_IGN);
        return;
    }
    stopBySignal(sig);
}

// A signal ignored from the start stays ignored: nohup, and a shell's background job, ask
// for exactly that.
static void catchUnlessIgnored(int sig, const struct sigaction* sa) {
    struct sigaction was;
    if (sigaction(sig, nullptr, &was) == 0 && was.sa_handler == SIG_IGN)
        return;
    sigaction(sig, sa, nullptr);
}

void conInit(int operatorAnswers) {
    noOperator = !operatorAnswers;
    struct sigaction sa = {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0; // no SA_RESTART: a blocked read or open returns, and the stop is seen
    for (const int sig : stopSignals)
        catchUnlessIgnored(sig, &sa);
    pauseAction = {};
    pauseAction.sa_handler = onPauseSignal;
    sigemptyset(&pauseAction.sa_mask);
    pauseAction.sa_flags = SA_RESTART; // after fg, a read simply goes on
    for (const int sig : pauseSignals)
        catchUnlessIgnored(sig, &pauseAction);
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

void conSetPortLossHook(void (*hook)(const void* user), const void* user) {
    portLossHook = hook;
    portLossUser = user;
}

void conSetPauseHook(void (*hook)(int sig)) {
    pauseHook = hook;
}

void conPause(int sig) {
    fflush(conOut); // the counter line is on the screen while the program waits
    fflush(stderr);
    if (pauseHook) {
        pauseHook(sig);
        sigaction(sig, &pauseAction, nullptr);
    } else {
        stopBySignal(sig);
    }
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
    if (RunInProgress)
        return; // the run stops at its next step and comes back here once the chip is at rest
    const int sig = StopRequest;
    if (sig > 0)
        endBySignal(sig);
    // A negative StopRequest is a stop that is no signal: a port lost in the middle of a run
    // ends the program here; STOP_CONSOLE_LOST lets the input count as ended and the program
    // leave as at its end.
    if (sig == STOP_PORT_LOST && portLossHook)
        portLossHook(portLossUser);
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
    if (InputClosed || noOperator || StopRequest)
        return EOF;
    if (!waitForInput())
        return EOF;
    int c;
    // A read that a signal interrupted without a stop (the program was stopped and
    // continued at this prompt) simply goes on.
    while ((c = fgetc(conIn)) == EOF && ferror(conIn) && errno == EINTR && StopRequest <= 0)
        clearerr(conIn);
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
