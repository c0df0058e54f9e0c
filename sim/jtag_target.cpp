#include "sim/jtag_target.h"

#include <cstdio>

namespace quarzo::sim {
namespace {

// JTAG instructions.
constexpr uint8_t kCntrlSig16Bit = 0x13;
constexpr uint8_t kCntrlSigCapture = 0x14;
constexpr uint8_t kCntrlSigRelease = 0x15;
constexpr uint8_t kPrepareBlow = 0x22;
constexpr uint8_t kExBlow = 0x24;
constexpr uint8_t kConfigFuses = 0x29;
constexpr uint8_t kData16Bit = 0x41;
constexpr uint8_t kDataCapture = 0x42;
constexpr uint8_t kDataQuick = 0x43;
constexpr uint8_t kDataPsa = 0x44;
constexpr uint8_t kShiftOutPsa = 0x46;
constexpr uint8_t kAddr16Bit = 0x83;
constexpr uint8_t kAddrCapture = 0x84;
constexpr uint8_t kDataToAddr = 0x85;
constexpr uint8_t kBypass = 0xFF;

// Control-signal register bits.
constexpr uint16_t kReadAccess = 0x0001;
constexpr uint16_t kHaltJtag = 0x0008;
constexpr uint16_t kByteAccess = 0x0010;
constexpr uint16_t kInstrLoad = 0x0080;
constexpr uint16_t kTce = 0x0200;
constexpr uint16_t kTce1 = 0x0400;
constexpr uint16_t kPuc = 0x0800;

constexpr uint16_t kMovImmToPc = 0x4030;
constexpr uint16_t kJumpToSelf = 0x3FFF;
// TCLK cycles MOV #imm,PC takes after its operand before the CPU fetches again: SLAU320's set-PC flow
// clocks one, its regular PSA set-up one more.
constexpr int kBranchCycles = 2;
constexpr uint16_t kWatchdog = 0x0120;
constexpr uint16_t kResetVector = 0xFFFE;
// Cycles from a power-up clear until the CPU fetches its first instruction: SLAU320's power-on clear
// flow gives three TCLK cycles before it takes the CPU.
constexpr int kStartCycles = 3;
// Shortest TMS low phase that the fuse check counts, in microseconds.
constexpr uint64_t kFuseCheckLowUs = 5;

}  // namespace

JtagTarget::JtagTarget(SimDevice& device)
    : spyBiWire(device.Part().spyBiWire), cpuX(device.Part().cpuX), device_(device), flash_(device) {
    flash_.onKeyViolation = [this] { PowerUpClear(); };
    flash_.trace = [this](const std::string& line) {
        if (trace) trace(line);
    };
}

void JtagTarget::WritePort(uint8_t offset, uint8_t value, uint64_t us) {
    ++accesses;
    if (offset == 0)
        Lines(value, control_, us);
    else if (offset == 2)
        Lines(data_, value, us);
}

uint8_t JtagTarget::ReadPort(uint8_t offset, uint64_t us) {
    ++accesses;
    if (offset == 0) return data_;
    if (offset == 2) return control_;
    // TDO and the fuse-blow device's line float high when nothing drives them.
    bool tdo = live_ ? tdo_ : true;
    bool device = pyrel == nullptr || pyrel->Input(us);
    return static_cast<uint8_t>((tdo ? 0x20 : 0x00) | (device ? 0x10 : 0x00));
}

void JtagTarget::Unplug() {
    plugged_ = false;
    enabled_ = false;
    live_ = false;
    inReset_ = false;
    supplyGap_ = false;
    if (!powered_) SetPowered(true);
}

void JtagTarget::Lines(uint8_t data, uint8_t control, uint64_t us) {
    plugged_ = true;
    data_ = data;
    control_ = control;
    nowUs_ = us;
    if (pyrel) pyrel->Lines((data & 0x80) != 0, (data & 0x40) != 0, (control & 0x03) == 0x02, us);
    Supply(externalSupply || (data & 0xF0) == 0xF0, us);
    bool reset = (control & 0x01) != 0;
    if (reset != inReset_) {
        inReset_ = reset;
        if (reset) {
            PowerUpClear();
            ArmFuseCheck();  // RST low is a power-on reset
        }
        released_ = true;  // after the reset line the CPU runs on its own
    }
    enabled_ = (control & 0x0C) == 0x0C;
    bool test = (data & 0x08) != 0;
    if (powered_ && attached && enabled_ && test != test_) TestChanged(test, us);
    if (spyBiWire && jtagEntered_ && !test_ && us - testFellUs_ >= kTestReturnUs) jtagEntered_ = false;
    // The watchdog counts its own clock in real time while JTAG holds the CPU.
    if (powered_ && !released_ && !watchdogHeld_ && us - watchdogStartUs_ >= kWatchdogUs) PowerUpClear();
    bool tdi = (data & 0x01) != 0;
    bool tms = (data & 0x02) != 0;
    bool tck = (data & 0x04) != 0;
    bool wasLive = live_;
    live_ = Live();
    if (!live_ || !wasLive) {
        // Lines that reach the chip only now show it their levels, not edges.
        tck_ = tck;
        tms_ = tms;
        tdi_ = tdi;
        tclk_ = tdi;
        return;
    }
    if (tms != tms_) {
        tms_ = tms;
        tdi_ = tdi;
        TmsChanged(tms, us);
    }
    if (tck != tck_) {
        tck_ = tck;
        if (tck)
            TckRising(tms, tdi);
        else
            TckFalling();
    }
    tdi_ = tdi;
    // In Run-Test/Idle TDI is TCLK; a level that differs on entering the state is an edge as well.
    if (tap_ == Tap::kIdle && tdi != tclk_) {
        tclk_ = tdi;
        if (tdi)
            TclkRising(us);
        else
            TclkFalling();
    }
}

void JtagTarget::Supply(bool bitsOn, uint64_t us) {
    if (!bitsOn) {
        if (!supplyGap_) {
            supplyGap_ = true;
            supplyGapUs_ = us;
        } else if (powered_ && us - supplyGapUs_ >= kSupplyHoldUs) {
            SetPowered(false);
        }
        return;
    }
    bool longGap = supplyGap_ && us - supplyGapUs_ >= kSupplyHoldUs;
    supplyGap_ = false;
    if (powered_ && longGap) SetPowered(false);
    if (!powered_) SetPowered(true);
}

void JtagTarget::SetPowered(bool on) {
    powered_ = on;
    tap_ = Tap::kReset;
    ir_ = kBypass;
    csr_ = 0;
    released_ = true;
    ArmFuseCheck();
    fuseReadsBlown_ = false;
    jtagEntered_ = false;
    entryStep_ = 0;
    if (on) {
        ++powerCycles;
        PowerUpClear();
    } else {
        flash_.Reset();
        device_.ClearRam();
    }
}

void JtagTarget::PowerUpClear() {
    ++resets;
    flash_.Reset();
    cpu_ = Cpu::kStarting;
    startCycles_ = kStartCycles;
    pc_ = device_.ReadWord(kResetVector);
    address_ = pc_;
    injected_ = false;
    writePending_ = false;
    watchdogHeld_ = false;
    watchdogStartUs_ = nowUs_;
}

void JtagTarget::ArmFuseCheck() {
    fuseCheckArmed_ = true;
    fuseEdges_ = 0;
}

// SLAU320, JTAG access entry sequences for devices that support Spy-Bi-Wire: with RST held low, TEST
// going low and high again selects 4-wire JTAG; TEST low for longer than t_SBW,Ret leaves it again.
void JtagTarget::TestChanged(bool test, uint64_t us) {
    test_ = test;
    if (!test) testFellUs_ = us;
    if (!inReset_) {
        entryStep_ = 0;
        return;
    }
    if (!test) {
        entryStep_ = 1;
    } else if (entryStep_ == 1) {
        entryStep_ = 0;
        jtagEntered_ = true;
    }
}

// The fuse check (SLAU320, fuse check and reset of the JTAG state machine; data sheets, fuse check
// mode): the first falling TMS edge after a power-on reset turns it on, the second rising edge off,
// whatever TCK does (the reference code pulses TMS with TCK high). TDI must be high meanwhile, or the
// fuse reads as blown until the next power cycle.
void JtagTarget::TmsChanged(bool tms, uint64_t us) {
    if (!fuseCheckArmed_) return;
    if (!tdi_) fuseReadsBlown_ = true;
    if (!tms) {
        tmsFellUs_ = us;
        return;
    }
    if (us - tmsFellUs_ < kFuseCheckLowUs) return;
    // The first low phase turns the check on, the second rising edge off.
    if (++fuseEdges_ == 2) {
        ++fuseChecks;
        fuseEdges_ = 0;
        fuseCheckArmed_ = false;
    }
}

JtagTarget::Tap JtagTarget::Next(Tap s, bool tms) {
    switch (s) {
        case Tap::kReset:
            return tms ? Tap::kReset : Tap::kIdle;
        case Tap::kIdle:
            return tms ? Tap::kSelectDr : Tap::kIdle;
        case Tap::kSelectDr:
            return tms ? Tap::kSelectIr : Tap::kCaptureDr;
        case Tap::kCaptureDr:
        case Tap::kShiftDr:
            return tms ? Tap::kExit1Dr : Tap::kShiftDr;
        case Tap::kExit1Dr:
            return tms ? Tap::kUpdateDr : Tap::kPauseDr;
        case Tap::kPauseDr:
            return tms ? Tap::kExit2Dr : Tap::kPauseDr;
        case Tap::kExit2Dr:
            return tms ? Tap::kUpdateDr : Tap::kShiftDr;
        case Tap::kUpdateDr:
        case Tap::kUpdateIr:
            return tms ? Tap::kSelectDr : Tap::kIdle;
        case Tap::kSelectIr:
            return tms ? Tap::kReset : Tap::kCaptureIr;
        case Tap::kCaptureIr:
        case Tap::kShiftIr:
            return tms ? Tap::kExit1Ir : Tap::kShiftIr;
        case Tap::kExit1Ir:
            return tms ? Tap::kUpdateIr : Tap::kPauseIr;
        case Tap::kPauseIr:
            return tms ? Tap::kExit2Ir : Tap::kPauseIr;
        case Tap::kExit2Ir:
            return tms ? Tap::kUpdateIr : Tap::kShiftIr;
    }
    return Tap::kReset;
}

void JtagTarget::TckRising(bool tms, bool tdi) {
    uint32_t mask = (1u << drLength_) - 1;
    switch (tap_) {
        case Tap::kCaptureIr:
            // The identification goes out most significant bit first.
            irOut_ = kJtagId;
            irShift_ = 0;
            break;
        case Tap::kShiftIr:
            irShift_ = static_cast<uint8_t>(irShift_ >> 1 | (tdi ? 0x80 : 0));
            irOut_ = static_cast<uint8_t>(irOut_ << 1);
            break;
        case Tap::kCaptureDr:
            drLength_ = DrLength();
            // A bypass register captures 0 (IEEE 1149.1).
            drCaptured_ = Bypassed() ? 0 : DrCapture() & ((1u << drLength_) - 1);
            drShift_ = drCaptured_;
            break;
        case Tap::kShiftDr:
            drShift_ = (drShift_ << 1 | (tdi ? 1u : 0u)) & mask;
            break;
        default:
            break;
    }
    tap_ = Next(tap_, tms);
    if (tap_ == Tap::kUpdateIr) IrUpdate();
    if (tap_ == Tap::kUpdateDr) DrUpdate(drShift_);
    if (tap_ == Tap::kReset) ir_ = kBypass;
}

void JtagTarget::TckFalling() {
    if (tap_ == Tap::kShiftIr) tdo_ = (irOut_ & 0x80) != 0;
    if (tap_ == Tap::kShiftDr) tdo_ = (drShift_ >> (drLength_ - 1) & 1) != 0;
}

int JtagTarget::DrLength() const {
    if (Bypassed()) return 1;
    switch (ir_) {
        case kConfigFuses:
            return 8;
        case kAddr16Bit:
        case kAddrCapture:
            return cpuX ? 20 : 16;
        case kCntrlSig16Bit:
        case kCntrlSigCapture:
        case kCntrlSigRelease:
        case kPrepareBlow:
        case kExBlow:
        case kData16Bit:
        case kDataCapture:
        case kDataQuick:
        case kDataPsa:
        case kShiftOutPsa:
        case kDataToAddr:
            return 16;
        default:
            return 1;  // BYPASS, and whatever the chip does not know
    }
}

uint16_t JtagTarget::CapturedSignals() const {
    uint16_t v = static_cast<uint16_t>(csr_ & ~(kTce | kInstrLoad));
    if (!released_ && (csr_ & kTce1)) v |= kTce;
    if (cpu_ == Cpu::kFetch) v |= kInstrLoad;
    return v;
}

uint32_t JtagTarget::DrCapture() {
    switch (ir_) {
        case kCntrlSig16Bit:
        case kCntrlSigCapture:
            return CapturedSignals();
        case kData16Bit:
        case kDataCapture:
        case kDataToAddr:
        case kDataPsa:
            return dataBus_;
        case kDataQuick:
            flash_.Settle();
            return BusRead(pc_);
        case kShiftOutPsa:
            return signature_;
        case kAddr16Bit:
        case kAddrCapture:
            return cpuX ? uint32_t{address_} << 4 : address_;
        case kConfigFuses:
            return configFuses;
        default:
            return 0;
    }
}

void JtagTarget::IrUpdate() {
    ir_ = irShift_;
    if (trace) {
        char line[16];
        std::snprintf(line, sizeof(line), "IR %02X", ir_);
        trace(line);
    }
    if (ir_ == kDataPsa) signature_ = dataBus_;  // the seed: the value on the data bus
    if (ir_ == kCntrlSigRelease) released_ = true;
    if (ir_ == kExBlow && blowPrepared_) ExecuteBlow();
    blowPrepared_ = ir_ == kPrepareBlow;
}

// The fuse takes the programming voltage on TEST, or on TDI for a part without a TEST pin once the
// control word has made TDO the data input.
void JtagTarget::ExecuteBlow() {
    ++blowAttempts;
    if (pyrel == nullptr) return;
    bool testPin = device_.Part().testPin;
    PyrelDevice::Pin pin = pyrel->Voltage(nowUs_);
    bool ready = testPin ? pin == PyrelDevice::Pin::kTest : pin == PyrelDevice::Pin::kTdi && csr_ == 0x7201;
    if (ready && !fuseResists) fuseBlown = true;
}

void JtagTarget::DrUpdate(uint32_t shifted) {
    uint16_t value = static_cast<uint16_t>(shifted);
    if (trace) {
        char line[32];
        const char* format = drLength_ > 16  ? "DR %05X %05X"
                             : drLength_ > 8 ? "DR %04X %04X"
                             : drLength_ > 1 ? "DR %02X %02X"
                                             : "DR %X %X";
        std::snprintf(line, sizeof(line), format, drLength_ > 16 ? shifted : value, drCaptured_);
        trace(line);
    }
    if (Bypassed()) return;
    switch (ir_) {
        case kCntrlSig16Bit:
            csr_ = value;
            if (value & kTce1) released_ = false;
            if (value & kPuc) PowerUpClear();
            break;
        case kData16Bit:
            dataBus_ = value;
            injected_ = true;
            break;
        case kAddr16Bit:
            // SLAU320, DR_SHIFT20: a CPUX part's address register holds address bits 15..0 ahead of
            // 19..16 in shift order; the model keeps the low 16 of them.
            address_ = cpuX ? static_cast<uint16_t>(shifted >> 4) : value;
            break;
        case kDataToAddr:
            dataBus_ = value;
            writePending_ = true;
            break;
        default:
            break;
    }
}

void JtagTarget::TclkRising(uint64_t us) {
    ++tclkPulses;
    if (released_) return;  // the CPU runs on its own clock
    flash_.MclkCycles(1, us);
    bool halted = (csr_ & kHaltJtag) != 0;
    if (writePending_ && halted && !(csr_ & kReadAccess)) {
        writePending_ = false;
        BusWrite(address_, dataBus_, (csr_ & kByteAccess) != 0);
    }
    // SLAU320, reading from memory: halted with read access, DATA_TO_ADDR and one TCLK cycle put the
    // addressed word on the data bus, which the next data shift captures.
    if (halted && (csr_ & kReadAccess) && ir_ == kDataToAddr) {
        writePending_ = false;
        flash_.Settle();
        dataBus_ = BusRead(address_);
    }
    if (ir_ == kDataPsa) {
        // One signature step over the next word. SLAU320 (verifying the target memory) gives each part
        // one set-up: the regular one with the CPU running on TCLK, the enhanced one with the CPU halted
        // by JTAG. The document shows only the flows; the model's reading of the other set-up: a part
        // marked enhanced steps its own address counter, which a running CPU moves a second time each
        // cycle (every other word); on a regular part the address is the running CPU's, which a halted
        // CPU does not move (the same word each cycle).
        int step = 2;
        if (strictPsaSetup && device_.Part().enhancedPsa != halted) step = halted ? 0 : 4;
        pc_ = static_cast<uint16_t>(pc_ + step);
        flash_.Settle();
        uint16_t sig = signature_;
        sig = (sig & 0x8000) ? static_cast<uint16_t>((sig ^ kPsaPolynomial) << 1 | 1) : static_cast<uint16_t>(sig << 1);
        signature_ = static_cast<uint16_t>(sig ^ BusRead(pc_));
    }
}

// The CPU takes injected words and steps through its cycles on falling TCLK edges.
void JtagTarget::TclkFalling() {
    if (released_) return;
    if (ir_ == kDataQuick && (csr_ & kReadAccess)) {
        pc_ = static_cast<uint16_t>(pc_ + 2);
        address_ = pc_;
        return;
    }
    bool halted = (csr_ & kHaltJtag) != 0;
    if (halted) return;
    bool fresh = injected_ && ir_ == kData16Bit;
    switch (cpu_) {
        case Cpu::kStarting:
            if (--startCycles_ <= 0) cpu_ = Cpu::kFetch;
            break;
        case Cpu::kFetch:
            // Injected words: MOV #imm,PC waits for its operand; a jump to itself or a no-op leave the
            // CPU at the next fetch with the PC where it was.
            if (fresh) {
                injected_ = false;
                if (dataBus_ == kMovImmToPc) cpu_ = Cpu::kNeedOperand;
                // The fetch of JMP $ moves the PC on; halted at once, the CPU never takes the jump back.
                if (dataBus_ == kJumpToSelf) pc_ = static_cast<uint16_t>(pc_ + 2);
            } else if (ir_ != kDataPsa) {
                ++strayFetches;  // the CPU takes its next instruction from memory
            }
            break;
        case Cpu::kNeedOperand:
            if (fresh) {
                injected_ = false;
                pc_ = dataBus_;
                address_ = pc_;
                cpu_ = Cpu::kExecuting;
                branchCycles_ = kBranchCycles;
            }
            break;
        case Cpu::kExecuting:
            if (--branchCycles_ <= 0) cpu_ = Cpu::kFetch;
            break;
    }
}

uint16_t JtagTarget::BusRead(uint16_t address) {
    if (FlashController::IsRegister(address)) return flash_.ReadRegister(address);
    return device_.ReadWord(address & ~1u);
}

void JtagTarget::BusWrite(uint16_t address, uint16_t value, bool byte) {
    if ((address & ~1u) == kWatchdog) {
        // Without its password a write to the watchdog resets the chip.
        if (byte || (value >> 8) != 0x5A) {
            PowerUpClear();
            return;
        }
        watchdogHeld_ = (value & 0x80) != 0;
        watchdogStartUs_ = nowUs_;
        return;
    }
    if (flash_.BusWrite(device_, address, value, byte)) return;
    if (byte) {
        device_.Write(address, static_cast<uint8_t>(value));
        return;
    }
    uint32_t even = address & ~1u;
    device_.Write(even, static_cast<uint8_t>(value));
    device_.Write(even + 1, static_cast<uint8_t>(value >> 8));
}

}  // namespace quarzo::sim
