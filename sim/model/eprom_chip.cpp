// The virtual EPROM: cells, program pulses and injected faults.
#include "sim/model/eprom_chip.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "sim/model/wiring.h"

namespace vsim {

namespace {

// One line per family, in the order of the IC enumeration.
const ChipFacts FACTS[TicMax] = {
    {"2708", 0x400, WIRING_2708_2716, StrobePin::none},
    {"2716", 0x800, WIRING_2708_2716, StrobePin::none},
    {"2732", 0x1000, WIRING_2732, StrobePin::none},
    {"2764", 0x2000, WIRING_2764_27256, StrobePin::a14_line},
    {"27128", 0x4000, WIRING_2764_27256, StrobePin::a14_line},
    {"27256", 0x8000, WIRING_2764_27256, StrobePin::none},
    {"27512", 0x10000, WIRING_27512, StrobePin::none},
    {"27010", 0x20000, WIRING_27010_27040, StrobePin::ic5_bit2},
    {"27020", 0x40000, WIRING_27010_27040, StrobePin::ic5_bit2},
    {"27040", 0x80000, WIRING_27010_27040, StrobePin::none},
};

// splitmix64: small, seedable and the same on every compiler, so a seed always picks the
// same weak cells.
uint64_t next_random(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

} // namespace

const ChipFacts& chip_facts(IC type) {
    if (type < 0 || type >= TicMax)
        throw std::out_of_range("no EPROM type " + std::to_string(static_cast<int>(type)));
    return FACTS[type];
}

EpromChip::EpromChip(IC type) : EpromChip(default_part(type)) {}

EpromChip::EpromChip(const ChipPart& part)
    : type_(part.type), facts_(&chip_facts(part.type)), part_(&part), vpp_rating_(part.vpp_rating),
      own_(facts_->size, 0xFF), cells_(own_.data()), pulses_(facts_->size, 0) {}

EpromChip::EpromChip(const EpromChip& o)
    : type_(o.type_), facts_(o.facts_), part_(o.part_), vpp_rating_(o.vpp_rating_),
      own_(o.cells_, o.cells_ + o.size()), cells_(own_.data()), pulses_(o.pulses_),
      needed_(o.needed_), stuck_(o.stuck_), flaky_(o.flaky_), total_pulses_(o.total_pulses_),
      destroyed_(o.destroyed_) {}

// A moved vector keeps its buffer, so o.cells_ is right either way: the buffer now in own_,
// or the attached cells.
EpromChip::EpromChip(EpromChip&& o) noexcept
    : type_(o.type_), facts_(o.facts_), part_(o.part_), vpp_rating_(o.vpp_rating_),
      own_(std::move(o.own_)), cells_(o.cells_), pulses_(std::move(o.pulses_)),
      needed_(std::move(o.needed_)), stuck_(std::move(o.stuck_)), flaky_(std::move(o.flaky_)),
      total_pulses_(o.total_pulses_), destroyed_(o.destroyed_) {
    o.cells_ = o.own_.data();
}

EpromChip& EpromChip::operator=(const EpromChip& o) {
    if (this != &o)
        *this = EpromChip(o);
    return *this;
}

EpromChip& EpromChip::operator=(EpromChip&& o) noexcept {
    if (this == &o)
        return *this;
    type_ = o.type_;
    facts_ = o.facts_;
    part_ = o.part_;
    vpp_rating_ = o.vpp_rating_;
    const bool attached = o.cells_attached();
    own_ = std::move(o.own_);
    cells_ = attached ? o.cells_ : own_.data();
    o.cells_ = o.own_.data();
    pulses_ = std::move(o.pulses_);
    needed_ = std::move(o.needed_);
    stuck_ = std::move(o.stuck_);
    flaky_ = std::move(o.flaky_);
    total_pulses_ = o.total_pulses_;
    destroyed_ = o.destroyed_;
    return *this;
}

uint32_t EpromChip::checked(uint32_t address) const {
    if (address >= size())
        throw std::out_of_range("address " + std::to_string(address) + " past the " + name());
    return address;
}

uint8_t EpromChip::byte(uint32_t address) const {
    return cell(checked(address));
}

void EpromChip::set_byte(uint32_t address, uint8_t value) {
    const uint32_t i = checked(address);
    cells_[i] = destroyed_ ? garbled(i, value) : value;
}

uint8_t EpromChip::stuck_or_cell(uint32_t index) const {
    for (const auto& s : stuck_)
        if (s.first == index)
            return s.second;
    return cells_[index];
}

uint8_t EpromChip::flaky_read_out(uint32_t index) {
    uint8_t v = cell(index);
    for (Flaky& f : flaky_) {
        if (f.index != index)
            continue;
        // Inverted reads so far, k * percent / 100 rounded: this read is inverted when it
        // raises that number.
        const uint64_t k = f.reads++;
        if ((f.reads * f.percent + 50) / 100 > (k * f.percent + 50) / 100)
            v ^= f.mask;
    }
    return v;
}

std::vector<uint8_t> EpromChip::contents() const {
    std::vector<uint8_t> pins(cells_, cells_ + size());
    for (const auto& s : stuck_)
        pins[s.first] = s.second;
    return pins;
}

void EpromChip::attach_cells(uint8_t* cells) {
    cells_ = cells;
}

void EpromChip::detach_cells() {
    if (!cells_attached())
        return;
    std::copy(cells_, cells_ + size(), own_.begin());
    cells_ = own_.data();
}

void EpromChip::erase() {
    fill(0xFF);
}

void EpromChip::fill(uint8_t value) {
    std::fill(cells_, cells_ + size(), value);
    std::fill(pulses_.begin(), pulses_.end(), 0);
    total_pulses_ = 0;
    if (destroyed_)
        garble_all();
}

void EpromChip::load(const std::vector<uint8_t>& image) {
    const bool destroyed = destroyed_;
    destroyed_ = false; // garbled once, below
    fill(0xFF);
    const size_t n = std::min<size_t>(image.size(), size());
    std::copy(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(n), cells_);
    destroyed_ = destroyed;
    if (destroyed_)
        garble_all();
}

uint8_t EpromChip::garbled(uint32_t index, uint8_t value) {
    // Too high a voltage breaks the cells' oxide down: each reads with some of its bits
    // wrong, other bits from cell to cell, and never the value it was given.
    uint64_t state = index;
    const uint8_t flips = static_cast<uint8_t>(next_random(state));
    return static_cast<uint8_t>(value ^ (flips ? flips : 0xA5));
}

void EpromChip::garble_all() {
    for (uint32_t i = 0; i < size(); ++i)
        cells_[i] = garbled(i, cells_[i]);
}

void EpromChip::destroy() {
    if (destroyed_)
        return;
    destroyed_ = true;
    garble_all();
}

bool EpromChip::is_blank() const {
    const std::vector<uint8_t> pins = contents();
    return std::all_of(pins.begin(), pins.end(), [](uint8_t c) { return c == 0xFF; });
}

void EpromChip::program_pulse(uint32_t index, uint8_t data) {
    if (destroyed_)
        return;
    index &= address_mask();
    const uint32_t had = ++pulses_[index];
    ++total_pulses_;
    // A weak cell collects charge over several pulses before its bits flip.
    if (!needed_.empty() && had < needed_[index])
        return;
    for (const auto& s : stuck_)
        if (s.first == index)
            return;
    // Only a real change is written: a chip file's page that a pulse did not change stays
    // clean, so an unchanged chip leaves its file's time stamp alone.
    const uint8_t now = cells_[index] & data;
    if (now != cells_[index])
        cells_[index] = now;
}

uint32_t EpromChip::pulses_at(uint32_t address) const {
    return pulses_[checked(address)];
}

void EpromChip::set_pulses_needed(uint32_t address, uint8_t k) {
    checked(address);
    if (needed_.empty())
        needed_.assign(size(), 1);
    needed_[address] = k;
}

uint8_t EpromChip::pulses_needed(uint32_t address) const {
    checked(address);
    if (needed_.empty())
        return 1;
    return std::max<uint8_t>(needed_[address], 1);
}

void EpromChip::set_stuck(uint32_t address, uint8_t value) {
    checked(address);
    for (auto& s : stuck_)
        if (s.first == address) {
            s.second = value;
            return;
        }
    stuck_.emplace_back(address, value);
}

bool EpromChip::is_stuck(uint32_t address) const {
    checked(address);
    return std::any_of(stuck_.begin(), stuck_.end(),
                       [address](const auto& s) { return s.first == address; });
}

void EpromChip::set_flaky(uint32_t address, uint8_t mask, unsigned percent) {
    checked(address);
    const Flaky f{address, mask, std::min(percent, 100u), 0};
    for (auto& g : flaky_)
        if (g.index == address) {
            g = f;
            return;
        }
    flaky_.push_back(f);
}

bool EpromChip::is_flaky(uint32_t address) const {
    checked(address);
    return std::any_of(flaky_.begin(), flaky_.end(),
                       [address](const Flaky& f) { return f.index == address; });
}

uint32_t EpromChip::set_weak_cells(unsigned percent, unsigned max_pulses, uint64_t seed) {
    needed_.assign(size(), 1);
    if (percent == 0 || max_pulses < 2)
        return 0;
    const unsigned top = std::min(max_pulses, 255u);
    uint64_t state = seed;
    uint32_t weak = 0;
    for (auto& need : needed_) {
        const uint64_t r = next_random(state);
        if (r % 100 < percent) {
            need = static_cast<uint8_t>(2 + (r >> 32) % (top - 1));
            ++weak;
        }
    }
    return weak;
}

void EpromChip::clear_faults() {
    needed_.clear();
    stuck_.clear();
    flaky_.clear();
}

} // namespace vsim
