// The four chip runs (blank check, programming, verify, read) over a whole 27C512, 27C010,
// 27C020 and 27C040 on the board model, the reading runs the plain and the quick way, at bus
// delay factors 1 and 2, straight through the program's own run functions with the console
// sent to a null stream.
//
// For every run it prints the port accesses per byte that the board counted against the
// count the wire protocol implies, their ratio (1.000 when the program makes exactly the
// accesses the bus needs and no others), what the run would take on a real port at 1 us per
// access, the host time per port access and the model's accesses per second. The host time
// is the processor time of this thread (the machine may be shared; the wall-clock figure is
// printed beside it). The exit
// status is 1 when a count differs, a run fails, the chip or the buffer holds the wrong
// bytes, or the board saw a protocol violation or a hazard to the chip.
//
// The expected counts are worked out here from the bus protocol alone, not by calling the
// program. With w1 = (Delay^2) mod 65536 status reads per bus wait (us_delay(1)) and
// w2 = (2 Delay^2) mod 65536 (us_delay(2)), one transfer costs:
//   PutAdr        35 writes + 50 waits                  = 35 + 50 w1
//   PutIC4/PutIC5 19 writes + 26 waits                  = 19 + 26 w1
//   PutData       25 writes + 25 waits                  = 25 + 25 w1
//   GetData       27 writes + 27 waits + 8 status reads = 35 + 27 w1
// (GetDataIntern, 24 writes + 16 w1 + 8 w2 + 8 reads, is used by the board detection only.)
//
// A run over the range 0..E (n = E + 1 bytes) then costs:
//   read          PutAdr + PutIC5 + PutIC4           (EnableEprom(1))
//                 + n (PutAdr + GetData)             (address, byte)
//                 + h5 PutIC5                        (A16..A18 where the addressing rules send
//                                                     them: on the 32-pin chips at address 0
//                                                     and at every address above 0xFFFF, h5 =
//                                                     1 + n - 0x10000; none on a 27C512)
//                 + PutIC4                           (DisableEprom)
//   verify/blank  the read plus two PutIC4           (SetVcc(0) before, SetVcc(vcc) after)
//   write         PutAdr + PutIC5 + 3 PutIC4         (EnableEprom(0), SetVcc, SetVpp)
//                 + per address: PutAdr              (adressesetzen(a, 0))
//                   + one attempt (a fresh chip takes every byte at the first pulse):
//                     PutIC4 + PutAdr + PutData      (deselect, read-form address, data)
//                     + 5 PutIC4 + ready + end       (only for a byte other than 0xFF: VPP on,
//                                                     CE on, trigger reset, trigger, VPP off)
//                     + PutIC4 + w2 + GetData        (read state, settle wait, read-back)
//                 + PutIC5 at address 0 and at every address above 0xFFFF (the programming
//                   form of the address sends A16..A18 on every type), and one more there
//                   on the 32-pin chips, whose read form of the address sends them too
//                 + 2 PutIC4                         (SetVcc(vcc), DisableEprom)
//   where ready = 1 status read (the monoflop is at rest before every trigger) and end is
//   the end wait: passes of 2 + 1 status reads until a check read comes after the pulse.
//   The board's monoflop reads 1 for the N accesses after the triggering write, so the
//   pass p sees 0 first when 3p > N: end = 3 (floor(N / 3) + 1).
//
// At delay factor 2 one read byte below 0x10000 costs PutAdr + GetData = 235 + 143 = 378.
//
// The quick way (blank, verify and read of these whole chips) walks each 64 KiB bank with one
// PutAdr at its address 0 (and PutIC5 there on the 32-pin chips) and 65,535 one-bit shifts:
//   PutAdrBit     5 writes + 5 waits                    = 5 + 5 w1
//   quick read    PutAdr + PutIC5 + PutIC4 + n GetData
//                 + banks (PutAdr [+ PutIC5]) + (n - banks) PutAdrBit + PutIC4
// At delay factor 2 a byte then costs PutAdrBit + GetData = 25 + 143 = 168.
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "console/chipruns.h"
#include "console/conio.h"
#include "defs.h"
#include "eprom/ic_func.h"
#include "eprom/misc.h"
#include "link/hw.h"
#include "sim/model/board.h"

namespace {

// ---- What the wire protocol costs ------------------------------------------------------

struct Cost {
    uint64_t writes = 0;
    uint64_t reads = 0;
    uint64_t adr = 0, ic4 = 0, ic5 = 0, loads = 0, triggers = 0; // transfers, as latches
    uint64_t total() const { return writes + reads; }
    Cost& operator+=(const Cost& o) {
        writes += o.writes;
        reads += o.reads;
        adr += o.adr;
        ic4 += o.ic4;
        ic5 += o.ic5;
        loads += o.loads;
        triggers += o.triggers;
        return *this;
    }
};

Cost operator*(uint64_t k, const Cost& c) {
    Cost r;
    r.writes = k * c.writes;
    r.reads = k * c.reads;
    r.adr = k * c.adr;
    r.ic4 = k * c.ic4;
    r.ic5 = k * c.ic5;
    r.loads = k * c.loads;
    r.triggers = k * c.triggers;
    return r;
}

Cost operator+(Cost a, const Cost& b) {
    return a += b;
}

Cost reads_only(uint64_t n) {
    Cost c;
    c.reads = n;
    return c;
}

struct Protocol {
    uint64_t w1, w2;   // status reads of us_delay(1) and us_delay(2)
    uint64_t end_wait; // status reads of the monoflop's end wait
    Cost put_adr, put_bit, put_ic, put_data, get_data;

    Protocol(unsigned delay, uint32_t monoflop_ticks) {
        w1 = (1ul * delay * delay) & 0xFFFF;
        w2 = (2ul * delay * delay) & 0xFFFF;
        end_wait = 3 * (monoflop_ticks / 3 + 1);
        put_adr.writes = 35;
        put_adr.reads = 50 * w1;
        put_adr.adr = 1;
        put_bit.writes = 5;
        put_bit.reads = 5 * w1;
        put_bit.adr = 1;
        put_ic.writes = 19;
        put_ic.reads = 26 * w1;
        put_data.writes = 25;
        put_data.reads = 25 * w1;
        get_data.writes = 27;
        get_data.reads = 27 * w1 + 8;
        get_data.loads = 1;
    }
    Cost ic4() const {
        Cost c = put_ic;
        c.ic4 = 1;
        return c;
    }
    Cost ic5() const {
        Cost c = put_ic;
        c.ic5 = 1;
        return c;
    }

    // Addresses 0..last that the addressing rules give an IC5 transfer: address 0 and
    // every address above 0xFFFF (for reading on the 32-pin chips only).
    static uint64_t high_or_zero(unsigned long last) {
        return 1 + (last > 0xFFFF ? last - 0xFFFF : 0);
    }

    Cost read(IC type, unsigned long last) const {
        const uint64_t n = last + 1;
        Cost c = put_adr + ic5() + ic4();
        c += n * (put_adr + get_data);
        if (type == T27010 || type == T27020 || type == T27040)
            c += high_or_zero(last) * ic5();
        c += ic4();
        return c;
    }
    Cost compare(IC type, unsigned long last) const { return read(type, last) + 2 * ic4(); }
    // A whole chip the quick way.
    Cost quick_read(IC type, unsigned long last) const {
        const uint64_t n = last + 1, banks = n >> 16;
        Cost c = put_adr + ic5() + ic4();
        c += n * get_data + banks * put_adr + (n - banks) * put_bit;
        if (type == T27010 || type == T27020 || type == T27040)
            c += banks * ic5();
        return c + ic4();
    }
    Cost quick_compare(IC type, unsigned long last) const {
        return quick_read(type, last) + 2 * ic4();
    }
    Cost write(IC type, const std::vector<uint8_t>& image, unsigned long last) const {
        uint64_t pulsed = 0;
        for (unsigned long a = 0; a <= last; ++a)
            pulsed += image[a] != 0xFF;
        const uint64_t n = last + 1;
        Cost pulse = 5 * ic4() + reads_only(1 + end_wait);
        pulse.triggers = 1;
        Cost c = put_adr + ic5() + 3 * ic4();
        c += n * (put_adr + ic4() + put_adr + put_data + ic4() + reads_only(w2) + get_data);
        c += pulsed * pulse;
        const bool read_form_sends = type == T27010 || type == T27020 || type == T27040;
        c += high_or_zero(last) * ((read_form_sends ? 2 : 1) * ic5());
        c += 2 * ic4();
        return c;
    }
};

// ---- What the board counted ------------------------------------------------------------

Cost counted(const vsim::Board& b) {
    Cost c;
    c.writes = b.writes();
    c.reads = b.reads();
    c.adr = b.latches(vsim::Reg::address);
    c.ic4 = b.latches(vsim::Reg::ic4);
    c.ic5 = b.latches(vsim::Reg::ic5);
    c.loads = b.loads();
    c.triggers = b.triggers();
    return c;
}

Cost operator-(const Cost& a, const Cost& b) {
    Cost r;
    r.writes = a.writes - b.writes;
    r.reads = a.reads - b.reads;
    r.adr = a.adr - b.adr;
    r.ic4 = a.ic4 - b.ic4;
    r.ic5 = a.ic5 - b.ic5;
    r.loads = a.loads - b.loads;
    r.triggers = a.triggers - b.triggers;
    return r;
}

bool same(const Cost& a, const Cost& b) {
    return a.writes == b.writes && a.reads == b.reads && a.adr == b.adr && a.ic4 == b.ic4 &&
           a.ic5 == b.ic5 && a.loads == b.loads && a.triggers == b.triggers;
}

// ---- The console: boxes answered at once, output thrown away -------------------------

char newlines[4096];

void fresh_console() {
    if (conIn != stdin)
        fclose(conIn);
    std::memset(newlines, '\n', sizeof newlines);
    conIn = fmemopen(newlines, sizeof newlines, "r");
    InputClosed = 0;
}

// ---- One run ---------------------------------------------------------------------------

int failures = 0;
double total_accesses = 0, total_cpu = 0;

double cpu_seconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void fail(const char* what) {
    std::printf("  FAILED: %s\n", what);
    ++failures;
}

template <typename Run>
double measure(const char* name, const char* addressing, IC type, const Cost& expected, Run run) {
    vsim::Board& b = vsim::board();
    fresh_console();
    const Cost before = counted(b);
    const uint64_t violations = b.violations().count(), hazards = b.hazards().count();
    const auto t0 = std::chrono::steady_clock::now();
    const double c0 = cpu_seconds();
    const bool ok = run();
    const double cpu = cpu_seconds() - c0;
    const auto t1 = std::chrono::steady_clock::now();
    const Cost got = counted(b) - before;
    const double s = std::chrono::duration<double>(t1 - t0).count();
    const double bytes = static_cast<double>(GetLastAdress(type) + 1);
    const double n = static_cast<double>(got.total());
    total_accesses += n;
    total_cpu += cpu;
    std::printf("%-7s %-6s %-6s %5u %7.0f %9.2f %9.2f %6.3f %9.2f s %6.2f ns %6.2f ns %6.1f M/s\n",
                name, addressing, vsim::chip_facts(static_cast<vsim::IC>(type)).name,
                static_cast<unsigned>(get_delay()), bytes, n / bytes,
                static_cast<double>(expected.total()) / bytes,
                n / static_cast<double>(expected.total()), n * 1e-6, cpu * 1e9 / n, s * 1e9 / n,
                n / cpu / 1e6);
    if (!ok)
        fail("the run did not report success");
    if (!same(got, expected)) {
        std::printf("  counted  writes %" PRIu64 " reads %" PRIu64 " adr %" PRIu64 " ic4 %" PRIu64
                    " ic5 %" PRIu64 " loads %" PRIu64 " triggers %" PRIu64 "\n",
                    got.writes, got.reads, got.adr, got.ic4, got.ic5, got.loads, got.triggers);
        std::printf("  expected writes %" PRIu64 " reads %" PRIu64 " adr %" PRIu64 " ic4 %" PRIu64
                    " ic5 %" PRIu64 " loads %" PRIu64 " triggers %" PRIu64 "\n",
                    expected.writes, expected.reads, expected.adr, expected.ic4, expected.ic5,
                    expected.loads, expected.triggers);
        fail("the port accesses differ from what the protocol needs");
    }
    if (b.violations().count() != violations)
        fail(("protocol violation: " + b.violations().joined()).c_str());
    if (b.hazards().count() != hazards)
        fail(("hazard to the chip: " + b.hazards().joined()).c_str());
    if (!b.idle_check())
        fail("the chip was left enabled");
    return n / bytes;
}

// A board on 0x378 with a fresh erased chip, the program's port and type set up as the
// operator would do it.
void set_up(IC type, unsigned delay) {
    vsim::Board& b = vsim::board();
    b.factory_reset();
    b.place_on(vsim::LPT_378);
    ic_IC4 = ic_IC5 = 0; // both sides at power-on
    setBase(vsim::LPT_378);
    b.insert_chip(static_cast<vsim::IC>(type));
    SetICType(type);
    set_delay(static_cast<uint8_t>(delay));
    vpp = T12_75V;
    vcc = T5V;
}

// Distinct bytes: neighbours, pages and banks all differ, so a wrong address line shows.
// Some cells keep 0xFF, which the programming run must leave unpulsed.
std::vector<uint8_t> image_for(IC type) {
    const uint32_t size = GetLastAdress(type) + 1;
    std::vector<uint8_t> img(size);
    for (uint32_t a = 0; a < size; ++a)
        img[a] = static_cast<uint8_t>(a * 0x9D + (a >> 8) * 0x3B + (a >> 16) * 0x71 + 0x5A);
    return img;
}

void bench_chip(IC type, unsigned delay) {
    vsim::Board& b = vsim::board();
    set_up(type, delay);
    const unsigned long last = GetLastAdress(type);
    const Protocol p(delay, b.monoflop_ticks());
    std::vector<uint8_t> image = image_for(type);
    std::vector<uint8_t> buffer(BUFFER_SIZE, 0);
    std::copy(image.begin(), image.end(), buffer.begin());

    measure("blank", "plain", type, p.compare(type, last),
            [&] { return CompareIC(nullptr, last, 1) == 1; });
    measure("blank", "quick", type, p.quick_compare(type, last),
            [&] { return RunCompare(nullptr, last, 1, 0, nullptr, TADR_QUICK).outcome == RUN_OK; });
    // The burn of the chips that take the pulse on chip enable; the 27C010 and 27C020 only
    // get the image for the reading runs.
    if (type == T27512 || type == T27040) {
        measure("write", "-", type, p.write(type, image, last),
                [&] { return WriteIC(buffer.data(), last); });
    } else {
        b.chip()->load(image);
    }
    if (b.chip()->contents() != image)
        fail("the chip does not hold the image after the programming run");
    measure("verify", "plain", type, p.compare(type, last),
            [&] { return CompareIC(buffer.data(), last, 0) == 1; });
    measure("verify", "quick", type, p.quick_compare(type, last), [&] {
        return RunCompare(buffer.data(), last, 0, 0, nullptr, TADR_QUICK).outcome == RUN_OK;
    });
    std::vector<uint8_t> readback(BUFFER_SIZE, 0);
    measure("read", "plain", type, p.read(type, last),
            [&] { return ReadIC(readback.data(), last) == last; });
    if (!std::equal(image.begin(), image.end(), readback.begin()))
        fail("the read run did not bring back the chip's bytes");
    std::fill(readback.begin(), readback.end(), 0);
    const double quick = measure("read", "quick", type, p.quick_read(type, last), [&] {
        return RunRead(readback.data(), last, nullptr, TADR_QUICK).outcome == RUN_OK;
    });
    if (!std::equal(image.begin(), image.end(), readback.begin()))
        fail("the quick read did not bring back the chip's bytes");
    if (delay == 2 && quick > 170)
        fail("a quick read costs more than 170 port accesses per byte at delay factor 2");
}

// The cost of one more byte in a read run: the difference between two short runs.
uint64_t marginal_read(IC type, unsigned delay, unsigned long address) {
    set_up(type, delay);
    vsim::Board& b = vsim::board();
    std::vector<uint8_t> buffer(BUFFER_SIZE, 0);
    fresh_console();
    uint64_t t0 = b.ticks();
    ReadIC(buffer.data(), address - 1);
    const uint64_t shorter = b.ticks() - t0;
    fresh_console();
    t0 = b.ticks();
    ReadIC(buffer.data(), address);
    return b.ticks() - t0 - shorter;
}

} // namespace

int main() {
    conOut = fopen("/dev/null", "w");
    if (!conOut) {
        std::perror("/dev/null");
        return 1;
    }
    std::printf("monoflop pulse %u ticks; a real port takes about 1 us per access\n\n",
                static_cast<unsigned>(vsim::Board::DEFAULT_MONOFLOP_TICKS));
    std::printf("%-7s %-6s %-6s %5s %7s %9s %9s %6s %11s %9s %9s %10s\n", "run", "addr", "chip",
                "delay", "bytes", "acc/byte", "expected", "ratio", "real port", "cpu/acc",
                "wall/acc", "model");
    for (unsigned delay : {1u, 2u})
        for (IC type : {T27512, T27010, T27020, T27040})
            bench_chip(type, delay);

    const uint64_t low = marginal_read(T27512, 2, 0x1234);
    const uint64_t high = marginal_read(T27040, 2, 0x51234);
    std::printf("\none read byte at delay factor 2: %" PRIu64 " accesses below 0x10000 "
                "(expected 378), %" PRIu64 " above 0xFFFF on a 27C040 (expected 501)\n",
                low, high);
    if (low != 378 || high != 501)
        fail("the cost of one read byte is wrong");

    std::printf("all runs: %.0f port accesses, %.2f ns processor time per access, %.1f million "
                "accesses per second\n",
                total_accesses, total_cpu * 1e9 / total_accesses, total_accesses / total_cpu / 1e6);
    std::printf("%s\n", failures ? "FAILED" : "all counts match the protocol");
    return failures ? 1 : 0;
}
