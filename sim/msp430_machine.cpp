#include "sim/msp430_machine.h"

#include <algorithm>
#include <cmath>

namespace quarzo::sim {
namespace {

constexpr double kAclkHz = 32768;
// How long a CPU in a low-power mode sleeps between looks at its interrupt requests, in MCLK cycles.
constexpr int kIdleCycles = 4;
constexpr uint16_t kVacant = 0x3FFF;
// The watchdog's interval from a power-up clear or a counter clear: 32768 SMCLK cycles.
constexpr double kWatchdogCycles = 32768;
// SR bit 6, SCG0: on the FLL+ it turns the loop control off (SLAU056, FLL+ clock module).
constexpr uint16_t kScg0 = 0x0040;

// The 11 bits of an 8E1 character from the start bit on.
uint16_t CharacterBits(uint8_t byte) {
    int ones = 0;
    for (int i = 0; i < 8; ++i) ones += byte >> i & 1;
    return static_cast<uint16_t>(byte << 1 | (ones & 1) << 9 | 1 << 10);
}

}  // namespace

Msp430Machine::Msp430Machine(SimDevice& device, FlashController& flash) : device_(device), flash_(flash), cpu_(*this) {
    const SimPart& part = device_.Part();
    clockSystem_ = part.Is4xx() ? ClockSystem::kFllPlus : part.Is2xx() ? ClockSystem::kBasicPlus : ClockSystem::kBasic;
    txPort_ = part.bslTx.port;
    txBit_ = static_cast<uint8_t>(1u << part.bslTx.bit);
    rxPort_ = part.bslRx.port;
    rxBit_ = static_cast<uint8_t>(1u << part.bslRx.bit);
    // Timer_A's vectors: TACCR0 at 0xFFEC and TACCR1/2 and TAIFG at 0xFFEA on F1xx and F4xx, 0xFFF2 and
    // 0xFFF0 on F2xx (the data sheets' interrupt vector tables).
    if (part.Is2xx()) {
        timerVectors_[0] = 0xFFF2;
        timerVectors_[1] = 0xFFF0;
    }
    // TA0's capture inputs: CCI0A is the transmit pin (TA0 on P1.1, on F4xx P1.0), CCI0B the receive pin
    // (P2.2, on F4xx P1.1): the data sheets' pin function tables. The model has no other timer inputs.
    timer_.inputLevel = [this](int unit, int ccis, double atUs) {
        if (unit != 0) return false;
        return ccis == 0 ? TxLevel() : RxLevel(atUs);
    };
    timer_.onOutput = [this](int unit, bool, double atUs) {
        if (unit == 0) SetTx(TxLevel(), atUs);
    };
    Calibrate();
    LoaderClock();
}

// An F2xx chip leaves the factory with the DCO settings for 16, 12, 8 and 1 MHz measured on it, in
// segment A's DCO block (SLAU144, TLV structure: the tag 0x01 and length 0x08 at 0x10F6, then CALDCO and
// CALBC1 for each frequency at 0x10F8-0x10FF; the checksum at 0x10C0 covers them). The model finds this
// chip's settings nearest each frequency; a block no longer there (erased) stays as it is.
void Msp430Machine::Calibrate() {
    constexpr uint16_t kTag = 0x10F6;
    constexpr double kTargetsHz[4] = {16e6, 12e6, 8e6, 1e6};
    if (clockSystem_ != ClockSystem::kBasicPlus || device_.Read(kTag) != 0x01 || device_.Read(kTag + 1) != 0x08) return;
    for (int i = 0; i < 4; ++i) {
        double best = 1e30;
        uint8_t dcoCtl = 0, bcsCtl1 = 0;
        for (int rsel = 0; rsel < 16; ++rsel) {
            for (int dco = 0; dco < 8; ++dco) {
                for (int mod = 0; mod < (dco < 7 ? 32 : 1); ++mod) {
                    auto d = static_cast<uint8_t>(dco << 5 | mod);
                    auto b = static_cast<uint8_t>(0x80 | rsel);
                    double error = std::fabs(DcoFrequency(clockSystem_, d, b, chipFactor_) - kTargetsHz[i]);
                    if (error < best) {
                        best = error;
                        dcoCtl = d;
                        bcsCtl1 = b;
                    }
                }
            }
        }
        device_.Store(kTag + 2 + 2 * static_cast<uint32_t>(i), dcoCtl);
        device_.Store(kTag + 3 + 2 * static_cast<uint32_t>(i), bcsCtl1);
    }
    uint16_t sum = device_.SegmentAChecksum();
    device_.Store(SimDevice::kSegmentAStart, static_cast<uint8_t>(sum));
    device_.Store(SimDevice::kSegmentAStart + 1, static_cast<uint8_t>(sum >> 8));
}

// SLAU319, BSL internal settings and resources, initialization status: F1xx BCSCTL1 = 0x85, DCOCTL =
// 0x80; F2xx BCSCTL1 = 0x88, DCOCTL = 0x80; both BCSCTL2 = 0 at a cold start. F4xx SCFI0 = 0x00,
// SCFI1 = 0x98 with the FLL loop off (SCG0), FLL_CTL1 = 0 at a cold start.
void Msp430Machine::LoaderClock() {
    bool fll = clockSystem_ == ClockSystem::kFllPlus;
    clock_[0] = fll ? 0x00 : 0x80;
    clock_[1] = fll ? 0x98 : clockSystem_ == ClockSystem::kBasicPlus ? 0x88 : 0x85;
    bcsCtl2_ = 0;
    if (fll) otherClock_[kFllCtl1 - kScfi0] = 0;
    UpdateClocks();
}

void Msp430Machine::UpdateClocks() {
    dcoHz_ = DcoHz();
    if (clockSystem_ == ClockSystem::kFllPlus) {
        // MCLK is DCOCLK divided by D = 2^FLLD unless DCOPLUS (FLL_CTL0 bit 7) is set (SLAU056, FLL+
        // clock module); SMCLK the same.
        bool dcoPlus = (otherClock_[kFllCtl0 - kScfi0] & 0x80) != 0;
        mclkHz_ = smclkHz_ = dcoPlus ? dcoHz_ : dcoHz_ / (1 << (clock_[0] >> 6));
        return;
    }
    // BCSCTL2: DIVM in bits 4-5, DIVS in bits 1-2 (SLAU049 and SLAU144, basic clock registers).
    mclkHz_ = dcoHz_ / (1 << (bcsCtl2_ >> 4 & 3));
    smclkHz_ = dcoHz_ / (1 << (bcsCtl2_ >> 1 & 3));
}

// The clock module's registers of the family (SLAU049 and SLAU144, basic clock registers; SLAU056,
// FLL+ registers): -1 for none, 0 and 1 for the DCO's two, 2 for BCSCTL2, else 3 for one kept as
// written (BCSCTL3; SCFQCTL, read by the FLL+ loop; FLL_CTL0 with DCOPLUS; FLL_CTL1; SVSCTL at 0x56 on
// parts with a supervisor).
int Msp430Machine::ClockRegister(uint16_t address) const {
    if (clockSystem_ == ClockSystem::kFllPlus) {
        if (address == kScfi0 || address == kScfi1) return address - kScfi0;
        return (address >= kScfqCtl && address <= kFllCtl1) || address == kSvsCtl ? 3 : -1;
    }
    if (address == kDcoCtl || address == kBcsCtl1) return address - kDcoCtl;
    if (address == kBcsCtl2) return 2;
    return address == kBcsCtl3 && clockSystem_ == ClockSystem::kBasicPlus ? 3 : -1;
}

void Msp430Machine::Start(uint16_t address, double nowUs) {
    cpu_.r.fill(0);
    cpu_.r[Msp430Cpu::kPc] = address;
    // The loader's stack (SLAU319, initialization status): 1.10 sets it to 0x021A, from 1.30 on the
    // entry sequence sets it to 0x0220.
    cpu_.r[Msp430Cpu::kSp] = device_.BslVersion() <= 0x0110 ? 0x021A : 0x0220;
    // The F4xx loader runs with the FLL+ loop off (SLAU319, initialization status: SCG0 = 1).
    if (clockSystem_ == ClockSystem::kFllPlus) cpu_.r[Msp430Cpu::kSr] = kScg0;
    fllAclkCycles_ = 0;
    nowUs_ = nowUs;
    faulted_ = false;
    waiting_ = false;
    input_.clear();
    inputEndUs_ = nowUs;
    tx_.clear();
    txLevel_ = true;
    // The ROM loader hands over with its watchdog held, its transmit pin an output driven high, its
    // receive pin an input and Timer_A counting continuously from the undivided DCO (SLAU319, BSL
    // internal settings and resources, initialization status).
    watchdogHeld_ = true;
    for (auto& port : ports_) port[0] = port[1] = port[2] = 0;
    PortRegister(txPort_, 0) = txBit_;
    PortRegister(txPort_, 1) = txBit_;
    timer_.Reset();
    timer_.Write(TimerA::kTactl, 0x0220, nowUs);  // SMCLK, continuous
}

uint8_t& Msp430Machine::PortRegister(int port, int which) {
    return ports_[port - 1][which];
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

void Msp430Machine::SetTx(bool level, double atUs) {
    if (level == txLevel_) return;
    txLevel_ = level;
    tx_.push_back({atUs, level});
}

// The transmit pin drives the line when it is an output: from its OUT bit, or from TA0's output unit
// when SEL gives the pin to the timer; an input leaves the line to its pull-up.
bool Msp430Machine::TxLevel() const {
    const uint8_t* port = ports_[txPort_ - 1];
    if (!(port[1] & txBit_)) return true;
    return port[2] & txBit_ ? timer_.Out(0) : (port[0] & txBit_) != 0;
}

// A port's input register: outputs read what they drive; the receive pin reads the line; other inputs
// read high.
uint8_t Msp430Machine::PortIn(int port) {
    uint8_t out = PortRegister(port, 0), dir = PortRegister(port, 1);
    uint8_t pins = 0xFF;
    if (port == rxPort_) {
        // The code looks at the line after the last byte the host sent: it waits for the next.
        if (nowUs_ >= inputEndUs_) waiting_ = true;
        if (!RxLevel(nowUs_)) pins = static_cast<uint8_t>(pins & ~rxBit_);
    }
    return static_cast<uint8_t>((out & dir) | (pins & ~dir));
}

uint8_t Msp430Machine::ReadPeripheral(uint16_t address) {
    switch (address) {
        case kP1In:
        case kP2In:
            return PortIn(address == kP1In ? 1 : 2);
        case kP1Out:
        case kP1Dir:
        case kP2Out:
        case kP2Dir:
            return PortRegister(address < kP2In ? 1 : 2, address & 7 ? (address & 7) - 1 : 0);
        case kP1Sel:
        case kP2Sel:
            return PortRegister(address == kP1Sel ? 1 : 2, 2);
        default:
            break;
    }
    switch (ClockRegister(address)) {
        case 0:
        case 1:
            return clock_[DcoIndex(address)];
        case 2:
            return bcsCtl2_;
        case 3:
            return otherClock_[address - kScfi0];
        default:
            return 0;
    }
}

void Msp430Machine::WritePeripheral(uint16_t address, uint8_t value) {
    switch (address) {
        case kP1Out:
        case kP1Dir:
        case kP2Out:
        case kP2Dir:
            PortRegister(address < kP2In ? 1 : 2, (address & 7) - 1) = value;
            break;
        case kP1Sel:
        case kP2Sel:
            PortRegister(address == kP1Sel ? 1 : 2, 2) = value;
            break;
        default:
            switch (ClockRegister(address)) {
                case 0:
                case 1:
                    clock_[DcoIndex(address)] = value;
                    break;
                case 2:
                    bcsCtl2_ = value;
                    break;
                case 3:
                    otherClock_[address - kScfi0] = value;
                    break;
                default:
                    return;
            }
            UpdateClocks();
    }
    SetTx(TxLevel(), nowUs_);
}

// 8-bit peripheral registers (0x0000-0x00FF) are meant for byte instructions: a word read returns an
// unpredictable high byte, a word write sets only the addressed register from the low byte (SLAU049,
// SLAU144 and SLAU056, system resets and memory organisation: peripheral modules, "8-bit peripheral
// modules should be accessed with byte instructions").
uint16_t Msp430Machine::Read(uint16_t address, bool byte) {
    if (address < 0x0100) {
        uint8_t low = ReadPeripheral(address);
        if (byte) return low;
        uint8_t high = wordReadHigh == WordReadHigh::kNeighbour ? ReadPeripheral(static_cast<uint16_t>(address + 1)) : 0;
        return static_cast<uint16_t>(low | high << 8);
    }
    if (TimerA::IsRegister(address)) {
        // The code waits for a capture on the line after the last byte the host sent.
        if (nowUs_ >= inputEndUs_ && timer_.CapturesOn(0, 1) && !(timer_.Read(TimerA::kCctl0, nowUs_) & TimerA::kCcifg))
            waiting_ = true;
        // A byte read of a 16-bit register at its even address gives the low byte.
        uint16_t value = timer_.Read(address, nowUs_);
        return byte ? value & 0xFF : value;
    }
    if (FlashController::IsRegister(address)) return flash_.ReadRegister(address);
    if (address == kWdtCtl) return 0x6900;
    if (device_.IsFlash(address) && flash_.Busy()) return byte ? kVacant & 0xFF : kVacant;
    return byte ? device_.Read(address) : device_.ReadWord(address & ~1u);
}

void Msp430Machine::Write(uint16_t address, uint16_t value, bool byte) {
    if (address < 0x0100) {
        WritePeripheral(address, static_cast<uint8_t>(value));
        return;
    }
    if ((address & ~1u) == kWdtCtl) {
        if (byte || (value >> 8) != 0x5A) return Fault();  // a reset: the loader is gone
        watchdogHeld_ = (value & 0x80) != 0;
        watchdogStartUs_ = nowUs_;
        return;
    }
    if (TimerA::IsRegister(address)) return timer_.Write(address, byte ? value & 0xFF : value, nowUs_);
    if ((address & ~1u) == FlashController::kFctl1 && !byte && (value & 0xFF00) == FlashController::kKey)
        meras_ = (value & FlashController::kMeras) != 0;
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
        int n = 0;
        if (cpu_.Halted()) {
            // CPUOFF: time passes until an interrupt; a CPU asleep for a capture on a quiet line waits.
            if (nowUs_ >= inputEndUs_ && timer_.CapturesOn(0, 1)) return Stop::kWaitingForInput;
            n = kIdleCycles;
        } else {
            n = SkipDelayLoop(pc);
            if (n == 0) n = cpu_.Step();
            if (n == 0 || faulted_) return Stop::kFault;
        }
        double us = n * 1e6 / mclkHz_;
        double startUs = nowUs_;
        nowUs_ += us;
        if (meras_ && flash_.Busy()) massEraseUs_ += us;
        FllElapse(us);
        flash_.Elapse(us, kAclkHz, mclkHz_, smclkHz_, static_cast<uint64_t>(nowUs_));
        timer_.Elapse(startUs, us, kAclkHz, smclkHz_);
        TimerInterrupts();
        if (!watchdogHeld_ && (nowUs_ - watchdogStartUs_) * smclkHz_ / 1e6 >= kWatchdogCycles) return Stop::kFault;
        if (waiting_) return Stop::kWaitingForInput;
    }
    return Stop::kTimeLimit;
}

// SLAU056, FLL+ clock module, FLL+ operation: with the loop on (SCG0 clear) the 10-bit frequency
// integrator, read in SCFI1 (NDCO and MOD's upper bits) and SCFI0 bits 0-1 (MOD's lower bits), counts
// once per ACLK period: down while f_DCOCLK lies above D x (N + 1) x f_ACLK (D = 2^FLLD from SCFI0, N
// from SCFQCTL bits 0-6), up while below. Each count is one modulator step; the taps stay in the range
// FN_x in SCFI0 selects, so a target beyond it leaves the integrator at its end. MCLK follows as
// UpdateClocks derives it (DCOPLUS). The modulation disable bit SCFQ_M is not modelled.
void Msp430Machine::FllElapse(double us) {
    if (clockSystem_ != ClockSystem::kFllPlus || (cpu_.r[Msp430Cpu::kSr] & kScg0)) {
        fllAclkCycles_ = 0;
        return;
    }
    fllAclkCycles_ += us * kAclkHz / 1e6;
    auto counts = static_cast<int>(fllAclkCycles_);
    if (counts == 0) return;
    fllAclkCycles_ -= counts;
    int n = otherClock_[kScfqCtl - kScfi0] & 0x7F;
    double target = (1 << (clock_[0] >> 6)) * (n + 1) * kAclkHz;
    int integrator = clock_[1] << 2 | (clock_[0] & 3);
    for (int i = 0; i < counts; ++i) {
        int next = std::clamp(integrator + (DcoHz() > target ? -1 : 1), 0, 0x3FF);
        if (next == integrator) break;
        integrator = next;
        clock_[1] = static_cast<uint8_t>(integrator >> 2);
        clock_[0] = static_cast<uint8_t>((clock_[0] & ~3) | (integrator & 3));
    }
    UpdateClocks();
}

// A pending Timer_A request interrupts the CPU when GIE is set; the TACCR0 request first, its flag
// resetting itself as it is taken (Timer_A interrupts, TACCR0 interrupt).
void Msp430Machine::TimerInterrupts() {
    int request = timer_.Pending();
    if (request == 0) return;
    int cycles = cpu_.Interrupt(timerVectors_[request - 1]);
    if (cycles == 0) return;
    if (request == 1) timer_.AcknowledgeCcr0();
    double us = cycles * 1e6 / mclkHz_;
    double startUs = nowUs_;
    nowUs_ += us;
    timer_.Elapse(startUs, us, kAclkHz, smclkHz_);
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
