// The virtual Vantrel II: everything off the per-access path.
#include "sim/model/board.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace vsim {

namespace {

// The PC's parallel ports: the three classic ones, which are there whether the board hangs
// on one of them or not.
bool is_classic_port(uint16_t base) {
    return base == LPT_278 || base == LPT_378 || base == LPT_3BC;
}

// ioperm(2) covers every I/O port on current kernels.
constexpr unsigned long IOPERM_LIMIT = 0x10000;

__attribute__((format(printf, 1, 2))) std::string format(const char* fmt, ...) {
    char text[160];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    return text;
}

} // namespace

Board the_board;

// ---- EventLog ----------------------------------------------------------------------------

void EventLog::add(std::string text) {
    ++count_;
    if (texts_.size() < KEEP)
        texts_.push_back(std::move(text));
}

size_t EventLog::count_containing(const std::string& part) const {
    size_t n = 0;
    for (const auto& t : texts_)
        n += t.find(part) != std::string::npos;
    return n;
}

std::string EventLog::joined() const {
    std::string all;
    for (const auto& t : texts_)
        all += t + "\n";
    return all;
}

void EventLog::clear() {
    texts_.clear();
    count_ = 0;
}

// ---- Configuration -------------------------------------------------------------------------

Board::Board() {
    factory_reset();
}

void Board::place_on(uint16_t base) {
    // A card's port needs its three registers below the end of the I/O space.
    base_ = base <= LAST_BASE ? base : 0;
    update_fast_ports();
}

bool Board::is_data_register(uint16_t port) const {
    return is_classic_port(port) || (present() && port == base_) ||
           std::find(port_blocks_.begin(), port_blocks_.end(), port) != port_blocks_.end();
}

bool Board::is_status_register(uint16_t port) const {
    return is_data_register(static_cast<uint16_t>(port - 1));
}

void Board::set_readback_fault(LineFault f) {
    readback_fault_ = f;
    readback_and_ = f == LineFault::none ? S6_READBACK : 0;
    readback_or_ = f == LineFault::stuck_at_1 ? S6_READBACK : 0;
}

void Board::set_monoflop_fault(LineFault f) {
    monoflop_fault_ = f;
    mf_or_ = f == LineFault::stuck_at_1 ? S7_MONOFLOP : 0;
    if (f != LineFault::none) {
        mf_stop_ = 0;
        pulse_close_tick_ = 0;
    }
}

void Board::set_open_address_line(unsigned line) {
    if (line <= 18)
        open_address_ |= 1u << line;
    update_socket();
}

void Board::set_open_data_line(unsigned line, bool level) {
    if (line > 7)
        return;
    const uint8_t bit = static_cast<uint8_t>(1u << line);
    data_and_ = static_cast<uint8_t>(data_and_ & ~bit);
    data_or_ = static_cast<uint8_t>(level ? data_or_ | bit : data_or_ & ~bit);
}

void Board::set_monoflop_ticks(uint32_t ticks) {
    mf_ticks_ = ticks ? ticks : 1;
}

void Board::reset() {
    line_ = 0;
    for (auto& s : shift_)
        s = 0;
    address_ = 0;
    ic4_ = ic5_ = 0;
    address_lines_ = 0;
    mf_stop_ = 0;
    pulse_close_tick_ = 0;
    pulse_ok_ = false;
    ticks_ = reads_ = writes_ = loads_ = 0;
    for (auto& l : latches_)
        l = 0;
    triggers_ = effective_ = spoiled_ = 0;
    clear_records();
    violations_.clear();
    hazards_.clear();
    granted_.reset();
    port_blocks_.clear();
    update_fast_ports();
    update_socket();
}

void Board::factory_reset() {
    base_ = LPT_378;
    set_readback_fault(LineFault::none);
    set_monoflop_fault(LineFault::none);
    mf_ticks_ = DEFAULT_MONOFLOP_TICKS;
    open_address_ = 0;
    data_and_ = 0xFF;
    data_or_ = 0;
    ioperm_refused_ = false;
    refused_from_.clear();
    hook_ = nullptr;
    hook_self_ = nullptr;
    set_recording(false);
    chip_.reset();
    reset();
}

// ---- Socket ----------------------------------------------------------------------------------

EpromChip& Board::insert_chip(IC type) {
    return insert_chip(EpromChip(type));
}

EpromChip& Board::insert_chip(EpromChip chip) {
    pulse_close_tick_ = 0; // a chip pulled mid-pulse gets no pulse, nor does the new one
    chip_.emplace(std::move(chip));
    update_socket();
    return *chip_;
}

void Board::remove_chip() {
    pulse_close_tick_ = 0;
    chip_.reset();
    update_socket();
}

uint8_t Board::socket_pins() const {
    const uint8_t pins = socket_drive_ ? chip_->cell(address_lines_ & chip_lines_) : 0xFF;
    return static_cast<uint8_t>((pins & data_and_) | data_or_);
}

void Board::update_socket() {
    // A chip answers only in its own wiring, selected (CE), with its outputs on (OE) and
    // with no programming voltage on its VPP pin. Otherwise the pins float high.
    socket_drive_ = chip_ && (ic5_ & IC5Q37_WIRING) == chip_->socket_pattern() &&
                    !(ic4_ & (IC4Q3_CE_HIGH | IC4Q4_OE_HIGH | IC4Q1_VPP));
    chip_lines_ = chip_ ? chip_->address_mask() & ~open_address_ : 0;
}

uint16_t Board::shift_register(Reg r) const {
    const uint32_t s = shift_[static_cast<unsigned>(r) & 3];
    return static_cast<uint16_t>(r == Reg::address ? s & 0xFFFF : s & 0xFF);
}

// ---- Platform calls off the quick path ---------------------------------------------------------

int Board::ioperm(unsigned long from, unsigned long num, int turn_on) {
    int result = 0;
    const bool refused = ioperm_refused_ || std::find(refused_from_.begin(), refused_from_.end(),
                                                      from) != refused_from_.end();
    if (refused || from > IOPERM_LIMIT || num > IOPERM_LIMIT - from) {
        result = -1;
    } else {
        for (unsigned long p = from; p < from + num; ++p)
            granted_[p] = turn_on != 0;
        if (turn_on && num == 3)
            port_blocks_.push_back(static_cast<uint16_t>(from));
        update_fast_ports();
    }
    ioperm_calls_.push_back({from, num, turn_on, result});
    return result;
}

void Board::update_fast_ports() {
    fast_write_port_ = present() && granted_[base_] ? base_ : NO_PORT;
    fast_read_port_ = present() && granted_[base_ + 1u] ? base_ + 1u : NO_PORT;
}

uint8_t Board::slow_read(uint16_t port) {
    if (!granted_[port]) {
        // On the real machine this access would kill the program; here it reads nothing.
        violations_.add(format("read of port 0x%X before access was granted", port));
        return 0xFF;
    }
    if (!is_status_register(port)) {
        violations_.add(format("read of port 0x%X, which is no status register", port));
        return 0xFF;
    }
    // A status register of a port where no board hangs: the inputs float high.
    return present() && port == base_ + 1u ? status_byte() : 0xFF;
}

void Board::slow_write(uint8_t value, uint16_t port) {
    bool delivered = true;
    if (!granted_[port]) {
        violations_.add(
            format("write of 0x%02X to port 0x%X before access was granted", value, port));
        delivered = false;
    }
    if (!is_data_register(port)) {
        violations_.add(
            format("write of 0x%02X to port 0x%X, which is no data register", value, port));
        return;
    }
    if (!bus_line_byte(value))
        violations_.add(format("line byte 0x%02X on port 0x%X is no bus line byte", value, port));
    // A wrong line byte still reaches the board: the board cannot tell.
    if (delivered && present() && port == base_)
        decode(value);
}

void Board::record(PortAccess::Kind kind, uint16_t port, uint8_t value) {
    trace_.push_back({kind, value, port});
}

// The access path while someone watches: the same work as inb/outb, plus the hook before
// the access and the trace entry after it.
uint8_t Board::observed_inb(uint16_t port) {
    if (hook_)
        hook_(hook_self_, PortAccess{PortAccess::read, 0, port});
    ++reads_;
    const uint8_t v = port == fast_read_port_ ? status_byte() : slow_read(port);
    if (recording_)
        record(PortAccess::read, port, v);
    return v;
}

void Board::observed_outb(uint8_t value, uint16_t port) {
    if (hook_)
        hook_(hook_self_, PortAccess{PortAccess::write, value, port});
    ++writes_;
    if (recording_)
        record(PortAccess::write, port, value);
    if (port == fast_write_port_ && bus_line_byte(value))
        decode(value);
    else
        slow_write(value, port);
}

std::vector<uint8_t> Board::written_bytes() const {
    std::vector<uint8_t> out;
    for (const auto& a : trace_)
        if (a.kind == PortAccess::write)
            out.push_back(a.value);
    return out;
}

void Board::clear_records() {
    trace_.clear();
    ic4_history_.clear();
    ic5_history_.clear();
    address_history_.clear();
    ioperm_calls_.clear();
}

// ---- Latches, monoflop and program pulse -----------------------------------------------------

void Board::latch(unsigned sel) {
    ++latches_[sel];
    const uint8_t old_ic4 = ic4_;
    switch (sel) {
    case SR_ADDRESS:
        address_ = static_cast<uint16_t>(shift_[SR_ADDRESS]);
        if (recording_)
            address_history_.push_back(address_);
        break;
    case SR_IC5:
        ic5_ = static_cast<uint8_t>(shift_[SR_IC5]);
        if (recording_)
            ic5_history_.push_back(ic5_);
        break;
    default: // SR_IC4
        ic4_ = static_cast<uint8_t>(shift_[SR_IC4]);
        if (recording_)
            ic4_history_.push_back(ic4_);
        break;
    }
    address_lines_ = address_ | static_cast<uint32_t>(ic5_ & IC5Q02_HIGH) << 16;
    update_socket();
    if (sel != SR_ADDRESS)
        check_vpp_hazards(sel == SR_IC4);
    // Every condition must hold for the whole pulse: a latch in its middle is checked too.
    if (pulse_close_tick_ && pulse_ok_)
        pulse_ok_ = pulse_conditions() && address_lines_ == pulse_lines_;
    if (sel == SR_IC4 && !(old_ic4 & IC4Q0_TRIGGER) && (ic4_ & IC4Q0_TRIGGER))
        trigger();
}

void Board::trigger() {
    // The monoflop is not retriggerable: an edge while it runs is lost.
    if (monoflop_fault_ != LineFault::none || ticks_ < mf_stop_)
        return;
    ++triggers_;
    mf_stop_ = ticks_ + mf_ticks_ + 1;
    pulse_close_tick_ = mf_stop_;
    pulse_ok_ = pulse_conditions();
    pulse_lines_ = address_lines_;
    pulse_data_ = data_register();
}

bool Board::pulse_conditions() const {
    if (!chip_)
        return false;
    const unsigned level = ic4_ >> IC4Q67_SHIFT;
    if (!(ic4_ & IC4Q1_VPP) || level == TAP_NONE || level < chip_->vpp_rating() ||
        chip_->destroyed())
        return false;
    // Chip selected with its outputs off: the data pins are inputs for the cell.
    if ((ic4_ & IC4Q3_CE_HIGH) || !(ic4_ & IC4Q4_OE_HIGH))
        return false;
    if ((ic5_ & IC5Q37_WIRING) != chip_->socket_pattern())
        return false;
    switch (chip_->strobe_pin()) {
    case StrobePin::a14_line:
        return !(address_ & A14_LINE);
    case StrobePin::ic5_bit2:
        return !(ic5_ & IC5Q2_A18);
    default:
        return true;
    }
}

void Board::close_pulse() {
    pulse_close_tick_ = 0;
    // The data pins must hold still too: the cell takes what they show, and a 1 where a
    // pin has no contact.
    if (chip_ && pulse_ok_ && data_register() == pulse_data_) {
        ++effective_;
        chip_->program_pulse(pulse_lines_ & chip_lines_, pulse_data_ | open_data_lines());
    } else {
        ++spoiled_;
    }
}

void Board::check_vpp_hazards(bool ic4_latch) {
    if (!chip_ || !(ic4_ & IC4Q1_VPP))
        return;
    EpromChip& c = *chip_;
    if (ic4_latch) {
        // With its outputs on, the chip drives against the VPP pin it shares on many
        // packages, and the data pins fight the data register.
        if (!(ic4_ & IC4Q4_OE_HIGH))
            hazards_.add(format("programming voltage on while output enable is active "
                                "(IC4 0x%02X)",
                                ic4_));
        // Only a level switched onto the socket reaches the chip; one merely selected with
        // the switch off does not. Between the part's programming voltage and its limit the
        // part is within its datasheet.
        const unsigned level = ic4_ >> IC4Q67_SHIFT;
        if (level == TAP_NONE) {
            hazards_.add(format("programming voltage on with level code 3, which the board "
                                "does not define (IC4 0x%02X)",
                                ic4_));
        } else if (level_centivolts(level) > c.vpp_limit()) {
            hazards_.add(format("programming voltage %s above the %s limit of a %s: the chip is "
                                "destroyed (IC4 0x%02X)",
                                vpp_level_name(level), volts_text(c.vpp_limit()).c_str(), c.name(),
                                ic4_));
            c.destroy();
        }
    }
    if ((ic5_ & IC5Q37_WIRING) != c.socket_pattern())
        hazards_.add(format("programming voltage on with socket wiring 0x%02X, a %s needs 0x%02X",
                            ic5_ & IC5Q37_WIRING, c.name(), c.socket_pattern()));
}

bool Board::idle_check() {
    if (is_idle())
        return true;
    hazards_.add(format("run ended with %s (IC4 0x%02X)",
                        (ic4_ & IC4Q1_VPP) ? "the programming voltage on" : "the chip enabled",
                        ic4_));
    return false;
}

} // namespace vsim
