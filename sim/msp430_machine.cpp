#include "sim/msp430_machine.h"

#include <algorithm>
#include <cmath>

namespace quarzo::sim {
namespace {

constexpr double kAclkHz = 32768;
constexpr double kDcoBaseHz = 100'000;  // RSEL 0, DCO 0, no modulation (typical part)
constexpr double kRselStep = 1.65;
constexpr double kDcoStep = 1.12;
constexpr uint16_t kVacant = 0x3FFF;
// The watchdog's interval from a power-up clear or a counter clear: 32768 SMCLK cycles.
constexpr double kWatchdogCycles = 32768;

// The 11 bits of an 8E1 character from the start bit on.
uint16_t CharacterBits(uint8_t byte) {
    int ones = 0;
    for (int i = 0; i < 8; ++i) ones += byte >> i & 1;
    return static_cast<uint16_t>(byte << 1 | (ones & 1) << 9 | 1 << 10);
}

}  // namespace

Msp430Machine::Msp430Machine(SimDevice& device, FlashController& flash) : device_(device), flash_(flash), cpu_(*this) {
    UpdateClocks();
}

void Msp430Machine::UpdateClocks() {
    dcoHz_ = DcoHz();
    mclkHz_ = dcoHz_ / (1 << (bcsCtl2_ >> 4 & 3));
    smclkHz_ = dcoHz_ / (1 << (bcsCtl2_ >> 1 & 3));
}

double Msp430Machine::DcoHz() const {
    int rsel = bcsCtl1_ & 7;
    int dco = dcoCtl_ >> 5 & 7;
    int mod = dcoCtl_ & 0x1F;
    double f = kDcoBaseHz * std::pow(kRselStep, rsel) * std::pow(kDcoStep, dco);
    // MOD mixes in the next DCO step for MOD of every 32 clocks (none at DCO 7).
    if (dco < 7) f *= 1.0 + (kDcoStep - 1.0) * mod / 32.0;
    return f * chipFactor_;
}

void Msp430Machine::Start(uint16_t address, double nowUs) {
    cpu_.r.fill(0);
    cpu_.r[Msp430Cpu::kPc] = address;
    nowUs_ = nowUs;
    faulted_ = false;
    waiting_ = false;
    input_.clear();
    inputEndUs_ = nowUs;
    tx_.clear();
    txLevel_ = true;
    // The ROM loader hands over with its watchdog held and its pins set up as its UART uses them.
    watchdogHeld_ = true;
    p1Out_ = kTxPin;
    p1Dir_ = kTxPin;
    p2Dir_ = 0;
}

void Msp430Machine::QueueInput(uint8_t byte, uint32_t baud, double startUs) {
    double bitUs = 1e6 / baud;
    // A byte cannot begin in the chip's past: one that the host sent while the chip was still busy
    // (or before the code started) arrives now, after the bytes before it.
    double start = std::max({startUs, inputEndUs_, nowUs_});
    // Once the last byte has passed, the line's history before it no longer matters.
    if (inputEndUs_ <= nowUs_) input_.clear();
    input_.push_back({start, bitUs, CharacterBits(byte)});
    inputEndUs_ = start + 11 * bitUs;
    waiting_ = false;
}

bool Msp430Machine::RxLevel(double atUs) {
    for (auto it = input_.rbegin(); it != input_.rend(); ++it) {
        if (atUs < it->startUs) continue;
        int bit = static_cast<int>((atUs - it->startUs) / it->bitUs);
        return bit >= 11 || (it->frame >> bit & 1) != 0;
    }
    return true;  // an idle line is high
}

void Msp430Machine::SetTx(bool level) {
    if (level == txLevel_) return;
    txLevel_ = level;
    tx_.push_back({nowUs_, level});
}

uint8_t Msp430Machine::ReadPeripheral(uint16_t address) {
    switch (address) {
        case kP1In:
            return static_cast<uint8_t>((p1Out_ & p1Dir_) | (~p1Dir_ & 0xFF));
        case kP1Out:
            return p1Out_;
        case kP1Dir:
            return p1Dir_;
        case kP2In: {
            // The code looks at the line after the last byte the host sent: it waits for the next.
            if (nowUs_ >= inputEndUs_) waiting_ = true;
            uint8_t pins = RxLevel(nowUs_) ? kRxPin : 0;
            return static_cast<uint8_t>((p2Out_ & p2Dir_) | (~p2Dir_ & (0xFF & ~kRxPin)) | (~p2Dir_ & pins));
        }
        case kP2Out:
            return p2Out_;
        case kP2Dir:
            return p2Dir_;
        case kDcoCtl:
            return dcoCtl_;
        case kBcsCtl1:
            return bcsCtl1_;
        case kBcsCtl2:
            return bcsCtl2_;
        default:
            return 0;
    }
}

void Msp430Machine::WritePeripheral(uint16_t address, uint8_t value) {
    switch (address) {
        case kP1Out:
            p1Out_ = value;
            break;
        case kP1Dir:
            p1Dir_ = value;
            break;
        case kP2Out:
            p2Out_ = value;
            break;
        case kP2Dir:
            p2Dir_ = value;
            break;
        case kDcoCtl:
            dcoCtl_ = value;
            break;
        case kBcsCtl1:
            bcsCtl1_ = value;
            break;
        case kBcsCtl2:
            bcsCtl2_ = value;
            break;
        default:
            return;
    }
    if (address >= kDcoCtl && address <= kBcsCtl2) UpdateClocks();
    // P1.1 drives the line when it is an output; an input leaves the line to its pull-up.
    SetTx(!(p1Dir_ & kTxPin) || (p1Out_ & kTxPin) != 0);
}

uint16_t Msp430Machine::Read(uint16_t address, bool byte) {
    if (address < 0x0100) {
        uint8_t low = ReadPeripheral(address);
        return byte ? low : static_cast<uint16_t>(low | ReadPeripheral(static_cast<uint16_t>(address + 1)) << 8);
    }
    if (FlashController::IsRegister(address)) return flash_.ReadRegister(address);
    if (address == kWdtCtl) return 0x6900;
    if (device_.IsFlash(address) && flash_.Busy()) return byte ? kVacant & 0xFF : kVacant;
    return byte ? device_.Read(address) : device_.ReadWord(address & ~1u);
}

void Msp430Machine::Write(uint16_t address, uint16_t value, bool byte) {
    if (address < 0x0100) {
        WritePeripheral(address, static_cast<uint8_t>(value));
        if (!byte) WritePeripheral(static_cast<uint16_t>(address + 1), static_cast<uint8_t>(value >> 8));
        return;
    }
    if ((address & ~1u) == kWdtCtl) {
        if (byte || (value >> 8) != 0x5A) return Fault();  // a reset: the loader is gone
        watchdogHeld_ = (value & 0x80) != 0;
        watchdogStartUs_ = nowUs_;
        return;
    }
    if (flash_.BusWrite(device_, address, value, byte)) return;
    if (address >= SimDevice::kBslRomStart && address <= SimDevice::kBslRomEnd) return;  // ROM
    device_.Write(address, static_cast<uint8_t>(value));
    if (!byte) device_.Write(address + 1u, static_cast<uint8_t>(value >> 8));
}

// A counted delay loop (DEC Rn; JNZ back to it) runs in one step: its cycles, and the register and
// flags it leaves, are those of every pass; nothing else happens in it.
int Msp430Machine::SkipDelayLoop(uint16_t pc) {
    uint16_t word = Read(pc, false);
    if ((word & 0xFFF0) != 0x8310 || Read(static_cast<uint16_t>(pc + 2), false) != 0x23FE) return 0;
    int reg = word & 0xF;
    if (reg < 4) return 0;
    uint32_t passes = cpu_.r[reg] == 0 ? 0x10000 : cpu_.r[reg];
    cpu_.r[reg] = 0;
    uint16_t& sr = cpu_.r[Msp430Cpu::kSr];
    sr = static_cast<uint16_t>((sr & ~(Msp430Cpu::kN | Msp430Cpu::kV)) | Msp430Cpu::kZ | Msp430Cpu::kC);
    cpu_.r[Msp430Cpu::kPc] = static_cast<uint16_t>(pc + 4);
    uint32_t cycles = 3 * passes;
    cpu_.cycles += cycles;
    return static_cast<int>(cycles);
}

Msp430Machine::Stop Msp430Machine::Run(double limitUs) {
    while (nowUs_ < limitUs) {
        uint16_t pc = cpu_.r[Msp430Cpu::kPc];
        if (pc >= SimDevice::kBslRomStart && pc <= SimDevice::kBslRomEnd) return Stop::kReturnedToRom;
        waiting_ = false;
        int n = SkipDelayLoop(pc);
        if (n == 0) n = cpu_.Step();
        if (n == 0 || faulted_) return Stop::kFault;
        double us = n * 1e6 / mclkHz_;
        nowUs_ += us;
        flash_.Elapse(us, kAclkHz, mclkHz_, smclkHz_, static_cast<uint64_t>(nowUs_));
        if (!watchdogHeld_ && (nowUs_ - watchdogStartUs_) * smclkHz_ / 1e6 >= kWatchdogCycles) return Stop::kFault;
        if (waiting_) return Stop::kWaitingForInput;
    }
    return Stop::kTimeLimit;
}

std::vector<uint8_t> Msp430Machine::TakeOutput(uint32_t baud, double* firstStartUs) {
    std::vector<uint8_t> out;
    double bitUs = 1e6 / baud;
    auto levelAt = [&](double t) {
        bool level = true;
        for (const Edge& e : tx_) {
            if (e.atUs > t) break;
            level = e.level;
        }
        return level;
    };
    bool first = true;
    size_t i = 0;
    while (i < tx_.size()) {
        if (tx_[i].level) {
            ++i;
            continue;
        }
        // A start bit: the receiver samples every bit in its middle, at its own speed.
        double start = tx_[i].atUs;
        // Not all of it is out yet, unless the line rests high now: the code has stopped sending (it
        // waits for the host) and the idle line continues the stop bit.
        if (start + 10.5 * bitUs > nowUs_ && !txLevel_) break;
        uint8_t byte = 0;
        for (int bit = 0; bit < 8; ++bit) byte = static_cast<uint8_t>(byte | (levelAt(start + (1.5 + bit) * bitUs) ? 1 << bit : 0));
        out.push_back(byte);
        if (first && firstStartUs) *firstStartUs = start;
        first = false;
        double end = start + 10.5 * bitUs;
        while (i < tx_.size() && (tx_[i].atUs <= end || tx_[i].level)) ++i;
    }
    tx_.erase(tx_.begin(), tx_.begin() + static_cast<long>(i));
    return out;
}

}  // namespace quarzo::sim
