// The virtual EPROM in the board's socket: when it drives its pins, which cell it shows,
// when a program pulse takes, faults and hazards. Driven through the board's port accesses.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/hand_wire.h"
#include "sim/model/wiring.h"
#include "sim/model/board.h"
#include "sim/model/eprom_chip.h"

namespace {

using namespace vsim::chip_types;
using vsim::Board;
using vsim::EpromChip;
using vsim::LineFault;

constexpr uint16_t BASE = LPT_378;
constexpr uint8_t READ_STATE = IC4Q5_VCC_5V;            // CE, OE active, VPP off
constexpr uint8_t IDLE = IC4Q3_CE_HIGH | IC4Q4_OE_HIGH; // chip deselected, VPP off
constexpr uint8_t PULSE = IC4Q1_VPP | IC4Q4_OE_HIGH;    // VPP on, CE active, OE off

const HandWire hw{BASE};

// Status reads until the monoflop rests (at most `limit`); true if it came to rest.
bool wait_monoflop(unsigned limit = 4000) {
    for (unsigned i = 0; i < limit; ++i)
        if (!(hw.status() & S7_MONOFLOP))
            return true;
    return false;
}

// Put the 19 address lines on the socket with IC5 wired as `wiring`.
void apply_address(uint32_t lines, uint8_t wiring) {
    hw.put_ic5(static_cast<uint8_t>(wiring | ((lines >> 16) & IC5Q02_HIGH)));
    hw.put_adr(static_cast<uint16_t>(lines));
}

uint8_t read_at(uint32_t lines, uint8_t wiring, uint8_t ic4 = READ_STATE) {
    apply_address(lines, wiring);
    hw.put_ic4(ic4);
    return hw.get_data();
}

// One program pulse with every condition set by hand.
struct PulseSetup {
    uint32_t lines = 0x0123; // A0..A18 during the pulse
    uint8_t data = 0x0F;
    uint8_t wiring = WIRING_27512;
    uint8_t ic4 = PULSE;          // IC4 during the pulse (the trigger bit is added)
    std::function<void()> during; // runs right after the trigger
};

// The plain case at `lines` with `data`: a 27512 with every condition met.
PulseSetup at(uint32_t lines, uint8_t data) {
    PulseSetup p;
    p.lines = lines;
    p.data = data;
    return p;
}

void pulse(const PulseSetup& p) {
    apply_address(p.lines, p.wiring);
    hw.put_data(p.data);
    hw.put_ic4(static_cast<uint8_t>(p.ic4 & ~IC4Q0_TRIGGER));
    hw.put_ic4(p.ic4 | IC4Q0_TRIGGER);
    if (p.during)
        p.during();
    wait_monoflop();
    hw.put_ic4(IDLE | IC4Q0_TRIGGER);
    hw.put_ic4(IDLE);
}

class ChipTest : public ::testing::Test {
  protected:
    void SetUp() override {
        b.factory_reset();
        ASSERT_EQ(b.ioperm(BASE, 3, 1), 0);
    }
    void TearDown() override {
        EXPECT_EQ(b.violations().count(), 0u) << b.violations().joined();
        b.factory_reset();
    }
    EpromChip& insert(IC type) { return b.insert_chip(type); }

    Board& b = vsim::board();
};

// ---- Reading ------------------------------------------------------------------------------

TEST_F(ChipTest, EachFamilyAnswersOnlyInItsOwnWiring) {
    const uint8_t wirings[] = {WIRING_2708_2716, WIRING_2732, WIRING_2764_27256, WIRING_27512,
                               WIRING_27010_27040};
    for (int t = T2708; t < TicMax; ++t) {
        EpromChip& chip = insert(static_cast<IC>(t));
        chip.set_byte(0x21, static_cast<uint8_t>(0x40 + t));
        for (uint8_t wiring : wirings) {
            const uint8_t want = wiring == chip.socket_pattern() ? 0x40 + t : 0xFF;
            EXPECT_EQ(read_at(0x21, wiring), want) << chip.name() << " wiring " << +wiring;
        }
    }
}

TEST_F(ChipTest, PinsFloatUnlessSelectedWithOutputsOnAndNoVpp) {
    insert(T27512).set_byte(0x10, 0x42);
    EXPECT_EQ(read_at(0x10, WIRING_27512, READ_STATE), 0x42);
    EXPECT_EQ(read_at(0x10, WIRING_27512, READ_STATE | IC4Q3_CE_HIGH), 0xFF);
    EXPECT_EQ(read_at(0x10, WIRING_27512, READ_STATE | IC4Q4_OE_HIGH), 0xFF);
    EXPECT_EQ(read_at(0x10, WIRING_27512, READ_STATE | IC4Q1_VPP), 0xFF);
    EXPECT_EQ(read_at(0x10, WIRING_27512, 0x00), 0x42) << "supply level does not matter";
    b.remove_chip();
    EXPECT_EQ(read_at(0x10, WIRING_27512), 0xFF);
}

TEST_F(ChipTest, AddressIsCutToTheChipsOwnPins) {
    EpromChip& c16 = insert(T2716);
    c16.set_byte(0x005, 0x16);
    EXPECT_EQ(read_at(0x0805, WIRING_2708_2716), 0x16) << "A11 is no 2716 pin";
    EpromChip& c40 = insert(T27040);
    c40.set_byte(0x54321, 0x40);
    EXPECT_EQ(read_at(0x54321, WIRING_27010_27040), 0x40);
    EXPECT_EQ(read_at(0x14321, WIRING_27010_27040), 0xFF);
}

TEST_F(ChipTest, ProgramStrobePinIsNoAddressPin) {
    EpromChip& c010 = insert(T27010);
    c010.set_byte(0x14321, 0x01);
    EXPECT_EQ(read_at(0x54321, WIRING_27010_27040), 0x01) << "IC5 bit 2 is the 27010's PGM";
    EpromChip& c128 = insert(T27128);
    c128.set_byte(0x0123, 0x28);
    EXPECT_EQ(read_at(A14_LINE | 0x0123, WIRING_2764_27256), 0x28) << "A14 is the 27128's PGM";
}

TEST_F(ChipTest, Chip27256ReadAs2764ShowsTheCellsWithA14High) {
    // The 2764 wiring is shared; reading a 2764 holds A14 at 1, which a 27256 decodes.
    EpromChip& chip = insert(T27256);
    for (uint32_t a = 0; a < chip.size(); ++a)
        chip.set_byte(a, static_cast<uint8_t>(a >> 8));
    for (uint32_t a : {0x0000u, 0x0001u, 0x1234u, 0x1FFFu})
        EXPECT_EQ(read_at(A14_LINE | a, WIRING_2764_27256), (0x4000 + a) >> 8) << a;
}

// ---- Programming: what makes a pulse take ----------------------------------------------------

TEST_F(ChipTest, PulseClearsBitsOnly) {
    EpromChip& chip = insert(T27512);
    pulse(at(0x0123, 0xF0));
    EXPECT_EQ(chip.byte(0x0123), 0xF0);
    pulse(at(0x0123, 0x3C));
    EXPECT_EQ(chip.byte(0x0123), 0x30) << "cell AND data";
    pulse(at(0x0123, 0xFF));
    EXPECT_EQ(chip.byte(0x0123), 0x30) << "no pulse sets a bit";
    EXPECT_EQ(read_at(0x0123, WIRING_27512), 0x30);
    EXPECT_EQ(chip.pulses_at(0x0123), 3u);
    EXPECT_EQ(chip.total_pulses(), 3u);
    EXPECT_EQ(b.effective_pulses(), 3u);
    EXPECT_EQ(chip.byte(0x0122), 0xFF);
    chip.erase();
    EXPECT_TRUE(chip.is_blank());
    EXPECT_EQ(chip.total_pulses(), 0u);
}

TEST_F(ChipTest, PulseTakesOnlyAtItsEnd) {
    EpromChip& chip = insert(T27512);
    b.set_monoflop_ticks(50);
    PulseSetup p = at(0x0042, 0x00);
    p.during = [&] {
        for (int i = 0; i < 49; ++i)
            hw.status();
        EXPECT_EQ(chip.byte(0x0042), 0xFF) << "the pulse is still running";
    };
    pulse(p);
    EXPECT_EQ(chip.byte(0x0042), 0x00);
}

// Each condition fails once; nothing else differs from a pulse that takes.
struct ConditionCase {
    const char* name;
    IC type;
    PulseSetup setup;
};

class PulseConditionTest : public ChipTest, public ::testing::WithParamInterface<int> {};

std::vector<ConditionCase> condition_cases() {
    const uint8_t w64 = WIRING_2764_27256, w512 = WIRING_27512, w010 = WIRING_27010_27040;
    std::vector<ConditionCase> cases = {
        {"vpp_switch_off", T27512, {0x0123, 0x0F, w512, IC4Q4_OE_HIGH, {}}},
        {"level_below_rating", T2732, {0x0123, 0x0F, WIRING_2732, PULSE | LEVEL_12V75, {}}},
        {"chip_enable_inactive", T27512, {0x0123, 0x0F, w512, PULSE | IC4Q3_CE_HIGH, {}}},
        {"output_enable_active", T27512, {0x0123, 0x0F, w512, IC4Q1_VPP, {}}},
        {"wrong_wiring", T27512, {0x0123, 0x0F, w64, PULSE, {}}},
        {"a14_strobe_high_2764", T2764, {A14_LINE | 0x0123, 0x0F, w64, PULSE, {}}},
        {"ic5_bit2_strobe_high_27010", T27010, {0x40123, 0x0F, w010, PULSE, {}}},
        {"address_moves", T27512, {0x0123, 0x0F, w512, PULSE, [] { hw.put_adr(0x0124); }}},
        {"ic5_address_moves", T27040, {0x0123, 0x0F, w010, PULSE, [] { hw.put_ic5(w010 | 1); }}},
        {"chip_enable_drops_mid_pulse",
         T27512,
         {0x0123, 0x0F, w512, PULSE,
          [] {
              hw.put_ic4(PULSE | IC4Q3_CE_HIGH | IC4Q0_TRIGGER);
              hw.put_ic4(PULSE | IC4Q0_TRIGGER);
          }}},
        {"data_moves", T27512, {0x0123, 0x0F, w512, PULSE, [] { hw.put_data(0x0E); }}},
        {"level_code_3", T27512, {0x0123, 0x0F, w512, PULSE | IC4Q67_LEVEL, {}}},
    };
    return cases;
}

TEST_P(PulseConditionTest, OneFailingConditionMeansNoProgramming) {
    const ConditionCase c = condition_cases()[static_cast<size_t>(GetParam())];
    EpromChip& chip = insert(c.type);
    pulse(c.setup);
    EXPECT_TRUE(chip.is_blank()) << c.name;
    EXPECT_EQ(chip.total_pulses(), 0u) << c.name;
    EXPECT_EQ(b.triggers(), 1u) << c.name;
    EXPECT_EQ(b.spoiled_pulses(), 1u) << c.name;
}

TEST_P(PulseConditionTest, SameCaseWithTheConditionMetTakes) {
    // The control: the same chip and address, every condition met.
    const ConditionCase c = condition_cases()[static_cast<size_t>(GetParam())];
    EpromChip& chip = insert(c.type);
    PulseSetup good;
    good.lines = 0x0123;
    good.wiring = chip.socket_pattern();
    good.ic4 = static_cast<uint8_t>(PULSE | chip.vpp_rating() << 6);
    pulse(good);
    EXPECT_EQ(chip.byte(0x0123), 0x0F) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Each, PulseConditionTest,
                         ::testing::Range(0, static_cast<int>(condition_cases().size())),
                         [](const auto& info) {
                             return std::string(condition_cases()[info.param].name);
                         });

TEST_F(ChipTest, StuckMonoflopProgramsNothing) {
    EpromChip& chip = insert(T27512);
    b.set_monoflop_fault(LineFault::stuck_at_0);
    pulse(at(0x0123, 0x00));
    b.set_monoflop_fault(LineFault::stuck_at_1);
    pulse(at(0x0123, 0x00));
    EXPECT_TRUE(chip.is_blank());
}

// The program's per-byte sequence for a chip pulsed on chip enable, with the strobe pin
// framing of the 2764/27128 and the IC5 bit 2 framing of the 27010/27020 at address 0.
uint8_t write_like_the_program(IC type, uint32_t address, uint8_t value, uint8_t level) {
    const bool a14 = type == T2764 || type == T27128;
    const bool bit2 = type == T27010 || type == T27020;
    const uint8_t wiring = vsim::chip_facts(type).socket;
    const uint8_t high = static_cast<uint8_t>((address >> 16) & IC5Q02_HIGH);
    const uint16_t low = static_cast<uint16_t>(address);
    hw.put_ic4(level | IC4Q3_CE_HIGH);      // 1
    hw.put_adr(a14 ? low | A14_LINE : low); // read form
    hw.put_ic5(static_cast<uint8_t>(wiring | high | (bit2 ? IC5Q2_A18 : 0)));
    hw.put_data(value);
    hw.put_ic4(level | IC4Q1_VPP | IC4Q3_CE_HIGH | IC4Q4_OE_HIGH); // 2
    hw.put_ic4(level | IC4Q1_VPP | IC4Q4_OE_HIGH);                 // 3
    hw.put_adr(low);                                               // programming form
    hw.put_ic5(static_cast<uint8_t>(wiring | high));
    hw.put_ic4(level | IC4Q1_VPP | IC4Q4_OE_HIGH); // 4
    EXPECT_TRUE(wait_monoflop(200));
    hw.put_ic4(level | IC4Q1_VPP | IC4Q4_OE_HIGH | IC4Q0_TRIGGER); // 5
    EXPECT_TRUE(wait_monoflop(12000));
    hw.put_ic4(level | IC4Q3_CE_HIGH | IC4Q4_OE_HIGH | IC4Q0_TRIGGER); // 6
    hw.put_adr(a14 ? low | A14_LINE : low);
    hw.put_ic5(static_cast<uint8_t>(wiring | high | (bit2 ? IC5Q2_A18 : 0)));
    hw.put_ic4(level | IC4Q0_TRIGGER); // 7
    const uint8_t back = hw.get_data();
    hw.put_ic4(level | IC4Q0_TRIGGER | IC4Q3_CE_HIGH | IC4Q4_OE_HIGH); // idle
    return back;
}

TEST_F(ChipTest, TheProgramsPulseSequenceProgramsEachProgrammableType) {
    for (IC type : {T2732, T2764, T27128, T27256, T27512, T27010, T27020, T27040}) {
        EpromChip& chip = insert(type);
        const uint8_t level = static_cast<uint8_t>(chip.vpp_rating() << 6);
        const uint32_t address = chip.size() - 3;
        EXPECT_EQ(write_like_the_program(type, address, 0x5A, level), 0x5A) << chip.name();
        EXPECT_EQ(chip.byte(address), 0x5A) << chip.name();
        EXPECT_EQ(chip.total_pulses(), 1u) << chip.name();
        EXPECT_TRUE(b.idle_check()) << chip.name();
    }
    EXPECT_TRUE(b.hazards().empty()) << b.hazards().joined();
}

// The operator's choice of level on every part: below the part's programming voltage the
// cells stay as they are, from it up to the part's limit they take the byte, and above the
// limit the part is destroyed: every cell reads wrong, the one just burnt and one burnt
// before alike, and the hazard is counted for each IC4 transfer that switched it on.
TEST_F(ChipTest, EachPartProgramsFromItsLevelAndIsDestroyedAboveItsLimit) {
    for (const vsim::ChipPart* part : vsim::known_parts()) {
        for (unsigned level = 0; level < 3; ++level) {
            SCOPED_TRACE(std::string(part->name) + " at " + vsim::vpp_level_name(level));
            b.factory_reset();
            ASSERT_EQ(b.ioperm(BASE, 3, 1), 0);
            EpromChip& chip = b.insert_chip(EpromChip(*part));
            const uint32_t address = chip.size() - 2;
            chip.set_byte(0x0005, 0x12); // burnt earlier
            const uint8_t back = write_like_the_program(
                part->type, address, 0x5A, static_cast<uint8_t>(level << IC4Q67_SHIFT));
            const bool destroyed = vsim::level_centivolts(level) > part->vpp_limit;
            const bool takes = level >= part->vpp_rating && !destroyed;
            EXPECT_EQ(chip.destroyed(), destroyed);
            EXPECT_EQ(b.effective_pulses(), takes ? 1u : 0u);
            if (destroyed) {
                EXPECT_NE(back, 0x5A);
                EXPECT_NE(back, 0xFF);
                EXPECT_NE(chip.byte(address), 0x5A);
                EXPECT_NE(read_at(0x0005, chip.socket_pattern()), 0x12);
                EXPECT_EQ(b.hazards().count(), 4u) << b.hazards().joined();
                EXPECT_EQ(b.hazards().count_containing(
                              std::string("above the ") + vsim::volts_text(part->vpp_limit) +
                              " limit of a " + part->name + ": the chip is destroyed"),
                          4u)
                    << b.hazards().joined();
            } else {
                EXPECT_EQ(back, takes ? 0x5A : 0xFF);
                EXPECT_EQ(chip.byte(address), takes ? 0x5A : 0xFF);
                EXPECT_EQ(chip.byte(0x0005), 0x12);
                EXPECT_TRUE(b.hazards().empty()) << b.hazards().joined();
            }
        }
    }
}

// ---- Faults --------------------------------------------------------------------------------

TEST_F(ChipTest, CellNeedingSeveralPulses) {
    EpromChip& chip = insert(T27512);
    chip.set_pulses_needed(0x0123, 3);
    pulse(at(0x0123, 0x00));
    pulse(at(0x0123, 0x00));
    EXPECT_EQ(chip.byte(0x0123), 0xFF);
    EXPECT_EQ(chip.pulses_at(0x0123), 2u);
    pulse(at(0x0123, 0x00));
    EXPECT_EQ(chip.byte(0x0123), 0x00);
    EXPECT_EQ(chip.pulses_at(0x0123), 3u);
}

TEST_F(ChipTest, StuckCellIgnoresProgrammingAndErasing) {
    EpromChip& chip = insert(T27512);
    chip.set_stuck(0x0123, 0x5A);
    EXPECT_EQ(read_at(0x0123, WIRING_27512), 0x5A);
    pulse(at(0x0123, 0x00));
    EXPECT_EQ(chip.byte(0x0123), 0x5A);
    EXPECT_EQ(chip.pulses_at(0x0123), 1u) << "the pulse itself was effective";
    chip.erase();
    chip.set_byte(0x0123, 0x00);
    EXPECT_EQ(chip.byte(0x0123), 0x5A);
    EXPECT_TRUE(chip.is_stuck(0x0123));
    chip.clear_faults();
    chip.erase();
    EXPECT_TRUE(chip.is_blank());
}

TEST_F(ChipTest, WeakCellsAreReproducible) {
    EpromChip a(T27512), c(T27512), d(T27512);
    const uint32_t n = a.set_weak_cells(10, 4, 42);
    EXPECT_EQ(c.set_weak_cells(10, 4, 42), n);
    d.set_weak_cells(10, 4, 43);
    EXPECT_GT(n, 65536u * 5 / 100);
    EXPECT_LT(n, 65536u * 15 / 100);
    uint32_t weak = 0, differ = 0;
    for (uint32_t i = 0; i < a.size(); ++i) {
        ASSERT_EQ(a.pulses_needed(i), c.pulses_needed(i));
        ASSERT_LE(a.pulses_needed(i), 4);
        weak += a.pulses_needed(i) > 1;
        differ += a.pulses_needed(i) != d.pulses_needed(i);
    }
    EXPECT_EQ(weak, n);
    EXPECT_GT(differ, 0u);
    EXPECT_EQ(a.set_weak_cells(0, 4, 42), 0u);
}

TEST_F(ChipTest, WeakCellTakesAfterItsPulsesThroughTheSocket) {
    EpromChip chip(T27512);
    chip.set_weak_cells(100, 2, 7); // every cell needs exactly 2 pulses
    b.insert_chip(std::move(chip));
    pulse(at(0x0007, 0x00));
    EXPECT_EQ(b.chip()->byte(0x0007), 0xFF);
    pulse(at(0x0007, 0x00));
    EXPECT_EQ(b.chip()->byte(0x0007), 0x00);
}

// Ten reads through the socket of a cell that holds 0x3C, flaky in 0x81: which of them come
// out inverted ('1'), the same for the same run. Any five in a row of a 40 % cell hold two.
TEST_F(ChipTest, FlakyCellInvertsItsShareOfReadsEvenly) {
    const struct {
        unsigned percent;
        const char* inverted;
    } cases[] = {{0, "0000000000"},  {25, "0100010001"}, {40, "0101001010"},
                 {50, "1010101010"}, {75, "1101110111"}, {100, "1111111111"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.percent);
        EpromChip& chip = insert(T27512);
        chip.set_byte(0x0123, 0x3C);
        chip.set_flaky(0x0123, 0x81, c.percent);
        std::string seen;
        for (int k = 0; k < 10; ++k) {
            const uint8_t v = read_at(0x0123, WIRING_27512);
            seen += v == 0x3C ? '0' : v == 0xBD ? '1' : '?';
        }
        EXPECT_EQ(seen, c.inverted);
        EXPECT_EQ(read_at(0x0124, WIRING_27512), 0xFF) << "its neighbour reads true";
        EXPECT_EQ(chip.byte(0x0123), 0x3C) << "the cell itself holds its value";
    }
}

// An open address contact: the chip sees the line at 0, reading and burning alike.
TEST_F(ChipTest, OpenAddressLineIsZeroAtTheChip) {
    const struct {
        IC type;
        uint8_t wiring;
        unsigned line;
    } cases[] = {
        {T27512, WIRING_27512, 3}, {T27512, WIRING_27512, 15}, {T27040, WIRING_27010_27040, 18}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line); // the open lines add up, no bit of 0x21 or 0x42 among them
        b.set_open_address_line(c.line);
        EpromChip& chip = insert(c.type);
        const uint32_t bit = 1u << c.line;
        chip.set_byte(0x21, 0x11);
        chip.set_byte(bit | 0x21, 0x22);
        EXPECT_EQ(read_at(bit | 0x21, c.wiring), 0x11);
        PulseSetup p = at(bit | 0x42, 0x0F);
        p.wiring = c.wiring;
        pulse(p);
        EXPECT_EQ(chip.byte(0x42), 0x0F);
        EXPECT_EQ(chip.byte(bit | 0x42), 0xFF);
    }
}

// An open data contact: the board reads the level on it, with a chip or without, and a burn
// leaves that bit of the cell erased.
TEST_F(ChipTest, OpenDataLineReadsItsLevelAndBurnsNoZero) {
    const struct {
        unsigned line;
        bool level;
        uint8_t read, empty, burnt;
    } cases[] = {{0, false, 0xA4, 0xFE, 0x01},
                 {0, true, 0xA5, 0xFF, 0x01},
                 {6, true, 0xE5, 0xFF, 0x40},
                 {7, false, 0x25, 0x7F, 0x80}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        b.set_open_data_line(c.line, c.level);
        insert(T27512).set_byte(0x10, 0xA5);
        EXPECT_EQ(read_at(0x10, WIRING_27512), c.read);
        pulse(at(0x11, 0x00));
        EXPECT_EQ(b.chip()->byte(0x11), c.burnt);
        b.remove_chip();
        EXPECT_EQ(read_at(0x10, WIRING_27512), c.empty);
        b.factory_reset();
        ASSERT_EQ(b.ioperm(BASE, 3, 1), 0);
    }
}

// ---- Hazards -------------------------------------------------------------------------------

TEST_F(ChipTest, VppWithOutputEnableActive) {
    insert(T27512);
    hw.put_ic4(IC4Q1_VPP | IC4Q3_CE_HIGH);
    EXPECT_EQ(b.hazards().count(), 1u);
    EXPECT_EQ(b.hazards().count_containing("output enable is active"), 1u) << b.hazards().joined();
}

TEST_F(ChipTest, OnlyAVoltageSwitchedOnAboveTheLimitDestroys) {
    EpromChip& c32 = insert(T2732); // a 2732A: 21 V, at most 22 V
    c32.set_byte(0x0100, 0x32);
    hw.put_ic5(WIRING_2732);
    hw.put_ic4(IDLE | IC4Q1_VPP | LEVEL_21V);
    EXPECT_TRUE(b.hazards().empty()) << "21 V is a 2732A's level";
    hw.put_ic4(IDLE | LEVEL_25V);
    EXPECT_TRUE(b.hazards().empty()) << "25 V selected with the switch off";
    EXPECT_EQ(read_at(0x0100, WIRING_2732, READ_STATE | LEVEL_25V), 0x32);
    EXPECT_FALSE(c32.destroyed());
    hw.put_ic4(IDLE | IC4Q1_VPP | LEVEL_25V);
    EXPECT_EQ(b.hazards().count_containing("25 V above the 22 V limit of a 2732A"), 1u)
        << b.hazards().joined();
    EXPECT_TRUE(c32.destroyed());
    EXPECT_NE(read_at(0x0100, WIRING_2732), 0x32);

    EpromChip& c64 = insert(T2764); // a 27C64: 12.75 V, at most 14 V
    c64.set_byte(0x0040, 0x64);
    hw.put_ic5(WIRING_2764_27256);
    hw.put_ic4(IDLE | LEVEL_21V);
    EXPECT_EQ(read_at(A14_LINE | 0x0040, WIRING_2764_27256, READ_STATE | LEVEL_21V), 0x64)
        << "reading with 21 V selected";
    EXPECT_EQ(b.hazards().count(), 1u);
    EXPECT_FALSE(c64.destroyed());
    hw.put_ic4(IDLE | IC4Q1_VPP | LEVEL_12V75);
    EXPECT_EQ(b.hazards().count(), 1u);
    hw.put_ic4(IDLE | IC4Q1_VPP | LEVEL_21V);
    EXPECT_EQ(b.hazards().count_containing("21 V above the 14 V limit of a 27C64"), 1u)
        << b.hazards().joined();
    EXPECT_TRUE(c64.destroyed());
}

TEST_F(ChipTest, VppWithAnotherFamilysWiring) {
    insert(T2732);
    hw.put_ic5(WIRING_2764_27256);
    hw.put_ic4(IDLE | IC4Q1_VPP | LEVEL_21V);
    EXPECT_EQ(b.hazards().count_containing("socket wiring 0x60"), 1u) << b.hazards().joined();
    hw.put_ic5(WIRING_27512); // rewired while the voltage is on
    EXPECT_EQ(b.hazards().count_containing("socket wiring"), 2u);
    b.remove_chip();
    hw.put_ic4(IC4Q1_VPP);
    EXPECT_EQ(b.hazards().count(), 2u) << "an empty socket has nothing to harm";
}

TEST_F(ChipTest, IdleCheck) {
    insert(T27512);
    EXPECT_FALSE(b.idle_check()) << "power-on IC4 0 enables the chip";
    EXPECT_EQ(b.hazards().count_containing("chip enabled"), 1u);
    hw.put_ic4(IDLE);
    EXPECT_TRUE(b.idle_check());
    hw.put_ic4(IDLE | IC4Q1_VPP);
    EXPECT_FALSE(b.is_idle());
    EXPECT_FALSE(b.idle_check());
    EXPECT_EQ(b.hazards().count_containing("programming voltage on"), 1u) << b.hazards().joined();
}

// ---- Contents ------------------------------------------------------------------------------

// Whatever is done to a destroyed chip, no cell shows what it held or what is put into it,
// and programming takes no more; a copy is as destroyed as the original.
TEST_F(ChipTest, DestroyedChipNeverShowsWhatItWasGiven) {
    EpromChip chip(T2716);
    chip.load({0x00, 0x11, 0x22});
    const std::vector<uint8_t> before = chip.contents();
    chip.destroy();
    const std::vector<uint8_t> after = chip.contents();
    for (uint32_t a = 0; a < chip.size(); ++a)
        ASSERT_NE(after[a], before[a]) << a;
    chip.destroy();
    EXPECT_EQ(chip.contents(), after) << "destroyed once only";
    chip.program_pulse(0x0002, 0x00);
    EXPECT_EQ(chip.byte(0x0002), after[2]);
    EXPECT_EQ(chip.total_pulses(), 0u);
    chip.set_byte(0x0003, 0x44);
    EXPECT_NE(chip.byte(0x0003), 0x44);
    chip.erase();
    EXPECT_FALSE(chip.is_blank());
    chip.load({0x55, 0x66});
    EXPECT_NE(chip.byte(0x0000), 0x55);
    EXPECT_NE(chip.byte(0x0001), 0x66);
    EXPECT_NE(chip.byte(0x0002), 0xFF);
    const EpromChip copy(chip);
    EXPECT_TRUE(copy.destroyed());
    EXPECT_EQ(copy.contents(), chip.contents());
    EXPECT_FALSE(EpromChip(T2716).destroyed());
}

TEST_F(ChipTest, ContentsLoadSaveFill) {
    EpromChip chip(T2716);
    EXPECT_TRUE(chip.is_blank());
    EXPECT_EQ(chip.contents().size(), 0x800u);
    chip.load({1, 2, 3});
    EXPECT_EQ(chip.byte(2), 3);
    EXPECT_EQ(chip.byte(3), 0xFF);
    std::vector<uint8_t> image(0x1000, 0x11);
    chip.load(image);
    EXPECT_EQ(chip.save(), std::vector<uint8_t>(0x800, 0x11)) << "cut to the chip's size";
    chip.fill(0x00);
    EXPECT_EQ(chip.contents(), std::vector<uint8_t>(0x800, 0x00));
    EXPECT_THROW(chip.byte(0x800), std::out_of_range);
    EXPECT_THROW(chip.set_stuck(0x800, 0), std::out_of_range);
}

} // namespace
