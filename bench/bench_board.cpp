// Throughput of the board model behind the platform calls: a 27C512 read at bus delay
// factor 2, line byte for line byte and wait for wait as the program does it, until some
// 200 million port accesses have gone through. Prints accesses per second.
#include <chrono>
#include <cstdint>
#include <cstdio>

#include "link/platform.h"
#include "sim/model/wiring.h"
#include "sim/model/board.h"

using namespace vsim::wiring;

namespace {

constexpr uint16_t BASE = LPT_378;
constexpr unsigned WAIT = 4; // one bus step at delay factor 2: 2 * 2 status reads

void wait(unsigned units) {
    for (unsigned i = 0; i < units; ++i)
        port_inb(BASE + 1);
}

void step(uint8_t line) {
    port_outb(line, BASE);
    wait(WAIT);
}

void put_word(uint8_t sel, uint16_t value, int bits) {
    const uint8_t s = static_cast<uint8_t>(sel << D23_SEL_SHIFT);
    step(0x12 + s);
    for (int i = bits - 1; i >= 0; --i) {
        const uint8_t b = (value >> i) & 1;
        step(0x12 + s + b);
        step(0x10 + s + b);
        wait(WAIT);
    }
    step(0x12 + s);
    port_outb(0x02 + s, BASE);
}

uint8_t get_data() {
    step(0x0E);
    step(0x0C);
    step(0x0E);
    uint8_t v = 0;
    for (uint8_t mask = 0x80; mask; mask >>= 1) {
        if (port_inb(BASE + 1) & S6_READBACK)
            v |= mask;
        step(0x1E);
        step(0x1C);
        step(0x1E);
    }
    return v;
}

} // namespace

int main() {
    vsim::Board& b = vsim::board();
    b.factory_reset();
    b.place_on(BASE);
    vsim::EpromChip& chip = b.insert_chip(vsim::T27512);
    for (uint32_t a = 0; a < chip.size(); ++a)
        chip.set_byte(a, static_cast<uint8_t>(a * 7 + (a >> 8)));
    port_ioperm(BASE, 3, 1);
    put_word(SR_IC5, WIRING_27512, 8);
    put_word(SR_IC4, IC4Q5_VCC_5V, 8); // read state: CE and OE active, VPP off

    constexpr uint64_t TARGET = 200000000;
    uint64_t sum = 0, bytes = 0, mismatches = 0;
    const auto t0 = std::chrono::steady_clock::now();
    while (b.ticks() < TARGET) {
        const uint16_t a = static_cast<uint16_t>(bytes);
        put_word(SR_ADDRESS, a, 16);
        const uint8_t v = get_data();
        mismatches += v != chip.cell(a);
        sum += v;
        ++bytes;
    }
    const auto t1 = std::chrono::steady_clock::now();
    const double s = std::chrono::duration<double>(t1 - t0).count();
    const double n = static_cast<double>(b.ticks());
    std::printf("%.0f port accesses (%llu writes, %llu reads) for %llu bytes in %.3f s\n", n,
                static_cast<unsigned long long>(b.writes()),
                static_cast<unsigned long long>(b.reads()), static_cast<unsigned long long>(bytes),
                s);
    std::printf("%.1f million accesses per second; checksum %llu, %llu mismatches, "
                "%llu violations\n",
                n / s / 1e6, static_cast<unsigned long long>(sum),
                static_cast<unsigned long long>(mismatches),
                static_cast<unsigned long long>(b.violations().count()));
    return mismatches || b.violations().count() ? 1 : 0;
}
