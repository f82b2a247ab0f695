// Read, verify, blank check and programming runs. Each walks the addresses from 0 up to the
// range end (inclusive) and reports how it ended; the front end shows it. A reading run may
// go the quick way: whole 64 KiB banks in an order that tells the chip each next address with
// one bit instead of sixteen, reporting what the walk in address order would have. Every run that
// enabled the chip leaves it deselected, whatever the outcome, so that the operator can pull
// it from the socket.
//
// A stop or a pause request halts the bus from the next transfer on (see StopRequest). The
// run notices it after each step (a byte read, an attempt at a cell), throws that step away
// (its byte may never have been read, its attempt never made), and puts the chip at rest
// from what the board really latched. A stop ends the run there. A pause lets the front end
// stop the process; when it goes on, the run sets the chip up exactly as at its own start
// and repeats the step, so the chip ends up as after an uninterrupted run.
#include "eprom/ic_func.h"

#include "eprom/ic_types.h"
#include "eprom/misc.h"
#include "eprom/parts.h"
#include "link/bus.h"
#include "link/ctrl.h"
#include "link/stop.h"
#include "link/regs.h"

namespace {

enum RunKind { KIND_READ, KIND_COMPARE, KIND_WRITE };

RunResult startResult(RunOutcome outcome) {
    RunResult r = {};
    r.outcome = outcome;
    r.type = epromtyp;
    return r;
}

bool halted(void) {
    return StopRequest || PauseRequest;
}

// The counter is shown every 0x800 addresses only (256 updates for a 27C040), and once an
// address: a step repeated after a pause does not show it again.
void showProgress(const RunHooks* hooks, unsigned long adresse, unsigned long end,
                  unsigned long* next) {
    if ((adresse & 0x7FF) != 0 || adresse < *next)
        return;
    *next = adresse + 1;
    if (hooks && hooks->progress)
        hooks->progress(hooks->user, adresse, end);
}

// The chip as each kind of run works with it: read state at the chosen supply; read state at
// 5 V; programming set-up at the chosen supply and level.
void setUp(int kind) {
    if (kind == KIND_READ) {
        EnableEprom(1);
    } else if (kind == KIND_COMPARE) {
        SetVcc(0); // compared at 5 V whatever supply was chosen
        EnableEprom(1);
    } else {
        EnableEprom(0);
        SetVcc((unsigned int)vcc);
        SetVpp(vpp);
    }
}

// Within 0x0001..0xFFFF adressesetzen sends no IC5, so the upper address lines stay as the
// read form of address 0 put them. For a 27010 or 27020 that is the A18 line high, which is
// the chip's program strobe pin: a set-up in the middle of a run (EnableEprom clears A16..A18)
// has to put it back, or every read from here on would have the strobe active.
void restoreHighAddress(unsigned long adresse) {
    if (adresse == 0 || adresse > 0xFFFF)
        return; // the step itself sends IC5 there
    if (ICTypeStrobe(epromtyp) == TPINA18)
        OrIC5(IC5_A18, 1);
}

// The upper address lines as a burn of every cell leaves them when it comes to `adresse`.
// Where adressesetzen sends no IC5 (0x0001..0xFFFF) that is the read form of address 0:
// on a 27010 or 27020 the A18 line, its program strobe, high. A burn that left address 0
// alone still has it low from the set-up: the cell's pulse would begin as the chip is
// selected with the programming voltage on, before the monoflop times it.
void burnHighAddress(unsigned long adresse) {
    if (adresse == 0 || adresse > 0xFFFF || ICTypeStrobe(epromtyp) != TPINA18)
        return;
    if (!(ic_IC5 & IC5_A18))
        OrIC5(IC5_A18, 1);
}

void beginRun(void) {
    RunInProgress = 1;
    HaltOnStop = 1;
}

// The bus open again for the run's own clean-up: it reaches the board whatever happens.
void openBus(void) {
    HaltOnStop = 0;
}

// A pause noted during the clean-up is taken now, with the chip at rest.
void endRun(const RunHooks* hooks) {
    HaltOnStop = 0;
    const int sig = PauseRequest;
    PauseRequest = 0;
    if (sig && !StopRequest && hooks && hooks->paused)
        hooks->paused(hooks->user, sig);
    PauseRequest = 0;
    RunInProgress = 0;
}

// The step at `adresse` was halted. Returns 1 when the run goes on with that step again
// (after a pause), 0 when it is to end (a stop, also one that came while paused).
int holdRun(const RunHooks* hooks, int kind, unsigned long adresse) {
    for (;;) {
        openBus();
        RestIC4();
        if (StopRequest)
            return 0;
        const int sig = PauseRequest;
        PauseRequest = 0;
        if (sig && hooks && hooks->paused)
            hooks->paused(hooks->user, sig);
        if (StopRequest)
            return 0;
        HaltOnStop = 1;
        setUp(kind);
        restoreHighAddress(adresse);
        if (!halted())
            return 1;
        // Another request during the set-up held it back: to rest again from where it was.
    }
}

// Range end 0: nothing is run, and the chip is left as every run that enabled it leaves it:
// the chosen supply, deselected.
RunResult withoutRange(const RunHooks* hooks) {
    RunResult r = startResult(RUN_NO_RANGE);
    beginRun();
    openBus();
    SetVcc((unsigned int)vcc);
    DisableEprom();
    endRun(hooks);
    return r;
}

// Up to ten attempts at one cell: a cell may need several pulses before it holds its value,
// and after ten it is taken as worn out or not erased. Returns RUN_OK, RUN_WRITE_ERROR,
// RUN_TIMEOUT, RUN_NOT_SUPPORTED or RUN_STOPPED (the bus halted during an attempt), with the last
// byte read back in *readwert.
RunOutcome burnCell(unsigned long adresse, unsigned char value, unsigned char* readwert,
                    unsigned long* pulses) {
    for (unsigned char fehler = 0; fehler <= 9; fehler++) {
        const unsigned int attempted = Writing(*readwert, adresse, value);
        if (halted())
            return RUN_STOPPED;
        if (!attempted)
            return *readwert ? RUN_TIMEOUT : RUN_NOT_SUPPORTED;
        if (value != 0xFF)
            ++*pulses;
        if (*readwert == value)
            return RUN_OK;
    }
    return RUN_WRITE_ERROR;
}

// ---- The walk of a reading run ------------------------------------------------------------

// Where a read, verify or blank check is in its range: `step` cells are done. The first
// `banks` whole 64 KiB banks go in the order of AdrWalk(), the rest in address order.
struct Walk {
    unsigned long banks;
    unsigned long step;
    bool full; // the address register may not hold the last cell's address (after a pause)
};

Walk startWalk(unsigned long end, int addressing) {
    const Walk w = {addressing == TADR_QUICK ? QuickBanks(epromtyp, end) : 0, 0, true};
    return w;
}

bool inQuickBank(const Walk& w) {
    return (w.step >> 16) < w.banks;
}

// The cell of the next step.
unsigned long cellOf(const Walk& w) {
    if (!inQuickBank(w))
        return w.step;
    return (w.step & ~0xFFFFUL) | AdrWalk()[w.step & 0xFFFF];
}

// Tells the chip the cell's address: a one-bit shift from the cell before within a bank walked
// by shifts, else the whole address as the plain walk sends it. The bank's first cell is its
// address 0, which sends A16..A18 through IC5 where the plain walk sends them, with the value
// it sends (on a 27010/27020 the strobe pin on A18 held high); the shifts leave IC5 alone.
// After a pause the set-up has put 0 into the register (and restoreHighAddress the strobe pin
// back): the cell goes whole, IC5 with it above 0xFFFF.
void applyCell(Walk* w, unsigned long adresse) {
    if (w->full || !inQuickBank(*w) || (w->step & 0xFFFF) == 0)
        adressesetzen(adresse, 1);
    else
        PutAdrBit((uint8_t)(adresse & 1));
    w->full = false;
}

// For each cell x of a bank, the last step of AdrWalk() that reads a cell below x (0 for x = 0).
const uint16_t* lastStepBelow(void) {
    static uint16_t last[0x10000];
    static bool made = false;
    if (made)
        return last;
    const uint16_t* walk = AdrWalk();
    for (unsigned long i = 0; i < 0x10000; i++)
        last[walk[i]] = (uint16_t)i; // the step of each cell, first
    uint16_t most = 0;
    for (unsigned long x = 0; x < 0x10000; x++) {
        const uint16_t step = last[x];
        last[x] = most;
        if (step > most)
            most = step;
    }
    made = true;
    return last;
}

// Every cell below `adresse` (in the bank of the step under way) has been read once that step is
// done: always in address order, in a bank walked by shifts once the walk is past them.
bool allReadBelow(const Walk& w, unsigned long adresse) {
    return !inQuickBank(w) || (w.step & 0xFFFF) >= lastStepBelow()[adresse & 0xFFFF];
}

} // namespace

unsigned long QuickBanks(int ICType, unsigned long end) {
    if (!ICTypeQuick(ICType) || end == ~0UL)
        return 0;
    const unsigned long chip = (GetLastAdress((uint16_t)ICType) + 1) >> 16;
    const unsigned long banks = (end + 1) >> 16;
    return banks < chip ? banks : chip;
}

RunResult RunRead(unsigned char* pByte, unsigned long endRead, const RunHooks* hooks,
                  int addressing) {
    if (!pByte)
        return startResult(RUN_NO_BUFFER);
    if (endRead == 0)
        return startResult(RUN_NO_RANGE); // the chip is not touched
    RunResult r = startResult(RUN_OK);
    beginRun();
    setUp(KIND_READ);
    Walk w = startWalk(endRead, addressing);
    unsigned long next = 0;
    unsigned long adresse = 0;
    while (w.step <= endRead) {
        adresse = cellOf(w);
        applyCell(&w, adresse);
        showProgress(hooks, w.step, endRead, &next);
        const unsigned char readwert = GetData();
        if (halted()) {
            if (holdRun(hooks, KIND_READ, adresse)) {
                w.full = true;
                continue;
            }
            r.outcome = RUN_STOPPED;
            break;
        }
        pByte[adresse] = readwert;
        w.step++;
    }
    openBus();
    if (r.outcome == RUN_OK)
        DisableEprom();
    r.adresse = r.outcome == RUN_OK ? endRead : adresse;
    r.done = w.step;
    endRun(hooks);
    return r;
}

// Every run ends with the chosen supply back and the chip deselected.
RunResult RunCompare(const unsigned char* pByte, unsigned long endCompare, unsigned int BlankCheck,
                     unsigned int readOn, const RunHooks* hooks, int addressing,
                     unsigned char* readBack) {
    if (!pByte && !BlankCheck)
        return startResult(RUN_NO_BUFFER);
    if (endCompare == 0)
        return withoutRange(hooks);
    RunResult r = startResult(RUN_OK);
    beginRun();
    setUp(KIND_COMPARE);
    const RunOutcome failure = BlankCheck ? RUN_NOT_BLANK : RUN_MISMATCH;
    const bool lowestOnly = BlankCheck || !readOn; // the run ends at its lowest difference
    Walk w = startWalk(endCompare, addressing);
    unsigned long next = 0;
    unsigned long adresse = 0;
    while (w.step <= endCompare) {
        adresse = cellOf(w);
        applyCell(&w, adresse);
        showProgress(hooks, w.step, endCompare, &next);
        const unsigned char readwert = GetData();
        if (halted()) {
            if (holdRun(hooks, KIND_COMPARE, adresse)) {
                w.full = true;
                continue;
            }
            r.outcome = RUN_STOPPED;
            r.adresse = adresse;
            break;
        }
        if (readBack)
            readBack[adresse] = readwert;
        const unsigned char wanted = BlankCheck ? 0xFF : pByte[adresse];
        if (readwert != wanted) {
            r.differ++;
            if (r.outcome == RUN_OK || adresse < r.adresse) {
                r.outcome = failure;
                r.adresse = adresse;
                r.chip = readwert;
                r.wanted = wanted;
            }
        }
        const bool lowestKnown = r.outcome == failure && allReadBelow(w, r.adresse);
        w.step++;
        if (lowestOnly && lowestKnown)
            break;
    }
    openBus();
    if (r.outcome != RUN_STOPPED) {
        SetVcc((unsigned int)vcc);
        DisableEprom();
    }
    if (r.outcome == RUN_OK)
        r.adresse = endCompare;
    r.done = w.step;
    if (lowestOnly && r.outcome == failure) {
        r.differ = 1; // as the plain walk, which ends at the lowest difference
        r.done = r.adresse + 1;
    }
    endRun(hooks);
    return r;
}

RunResult RunWrite(const unsigned char* pByte, unsigned long endWrite, const RunHooks* hooks,
                   const unsigned char* burn) {
    // The board measures no voltage: whoever calls, a level the chip cannot take never goes
    // out. The front ends have said why before they called.
    char why[200];
    if (VppRefusal(epromtyp, epromPart, vpp, 1, why, sizeof why))
        return startResult(RUN_REFUSED);
    if (!pByte)
        return startResult(RUN_NO_BUFFER);
    if (endWrite == 0)
        return withoutRange(hooks);
    RunResult r = startResult(RUN_OK);
    beginRun();
    setUp(KIND_WRITE);
    unsigned char readwert = 0;
    unsigned long next = 0;
    unsigned long adresse = 0;
    while (adresse <= endWrite) {
        showProgress(hooks, adresse, endWrite, &next);
        if (burn && !burn[adresse]) {
            adresse++;
            continue;
        }
        burnHighAddress(adresse);
        adressesetzen(adresse, 0);
        RunOutcome outcome = burnCell(adresse, pByte[adresse], &readwert, &r.pulses);
        if (outcome == RUN_STOPPED) {
            // The cell's attempts start again from the first: the one under way may never
            // have been made, and its read-back never read.
            if (holdRun(hooks, KIND_WRITE, adresse))
                continue;
            outcome = RUN_STOPPED;
        }
        if (outcome != RUN_OK) {
            r.outcome = outcome;
            break;
        }
        adresse++;
    }
    openBus();
    // A stop has put the chip at rest already.
    if (r.outcome != RUN_STOPPED) {
        if (r.outcome == RUN_TIMEOUT || r.outcome == RUN_NOT_SUPPORTED)
            ClearEpromVpp();
        SetVcc((unsigned int)vcc);
        DisableEprom();
    }
    r.done = adresse;
    if (r.outcome == RUN_OK) {
        r.adresse = endWrite;
    } else {
        r.adresse = adresse;
        r.chip = readwert;
        r.wanted = pByte[adresse];
    }
    endRun(hooks);
    return r;
}
