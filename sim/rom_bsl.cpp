#include "sim/rom_bsl.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace quarzo::sim {
namespace {

constexpr uint8_t kSync = 0x80;
constexpr uint8_t kDataAck = 0x90;
constexpr uint8_t kDataNak = 0xA0;
constexpr uint8_t kCommandFailed = 0x70;
constexpr uint32_t kMaxData = 250;
// How long code in RAM may work on one byte before it counts as gone (a mass erase takes ~20 ms).
constexpr double kCodeTimeLimitUs = 5e6;
constexpr uint16_t kLoaderEntry = 0x0C22;
// How long the loader waits for one flash operation before it gives up on BUSY.
constexpr double kFlashLimitUs = 1e6;
constexpr uint8_t kWatchdogKey = 0x5A;   // high byte of every write to the watchdog control word
constexpr uint8_t kWatchdogHold = 0x80;  // WDTHOLD

bool Is(const std::string& name, const char* version) {
    return name == version;
}

// CKL is the inverted XOR of the bytes at even offsets, CKH that of the bytes at odd offsets.
void Checksum(const std::vector<uint8_t>& bytes, size_t count, uint8_t& low, uint8_t& high) {
    uint8_t even = 0, odd = 0;
    for (size_t i = 0; i < count; ++i) (i % 2 == 0 ? even : odd) ^= bytes[i];
    low = static_cast<uint8_t>(~even);
    high = static_cast<uint8_t>(~odd);
}

}  // namespace

bool BehaviourForVersion(const std::string& name, BslBehaviour& b) {
    b = BslBehaviour{};
    if (Is(name, "1.10") || Is(name, "1.30") || Is(name, "1.40") || Is(name, "1.60") || Is(name, "1.61")) {
        b.version = static_cast<uint16_t>(0x0100 | std::stoi(name.substr(2), nullptr, 16));
    } else if (name.size() == 4 && name[0] == '2' && name[1] == '.') {
        b.version = 0x0200;
        if (name != "2.xx")
            b.version = static_cast<uint16_t>(0x0200 | std::stoi(name.substr(2), nullptr, 16));
    } else {
        return false;
    }
    // SLAA089, BSL versions and their features; SLAU319, commands: erase check and the speed change
    // from 1.60, the version command from 1.50, the memory offset from 2.12.
    b.eraseCheck = b.baudChange = b.version >= 0x0160;
    b.versionCommand = b.version >= 0x0150;
    b.memoryOffset = b.version >= 0x0212;
    // SLAA089: from 1.40 a received data block is verified.
    b.verifiesWrites = b.version >= 0x0140;
    // SLAU319, chip identification and BSL version tables: 1.10 accesses memory byte by byte, and its
    // erase of all main memory is one pass (17.2 ms nominal), the cumulative mass erase time of the
    // data sheets (t_CMErase, 200 ms on F1xx/F4xx) left to the host, which repeats the command; later
    // loaders repeat the pass themselves.
    b.byteWrites = b.version <= 0x0110;
    b.cumulativeErase = b.version > 0x0110;
    // SLAU319, RX password: the 2.xx loaders mass-erase on a wrong password unless BSLKEY is 0x0000;
    // SLAU319, mass erase: they clear LOCKA first, so information memory goes with it, segment A too.
    b.massEraseOnWrongPassword = b.clearsLockA = b.version >= 0x0200;
    return true;
}

RomBsl::RomBsl(SimDevice& device, const BslBehaviour& behaviour)
    : device_(device), rom_(behaviour), active_(behaviour), flash_(device), cpu_(device, flash_) {
    SetFlashClock(cpu_.MclkHz() / cpu_.ChipFactor());
    // FG461x data sheet (SLAS508), bootstrap loader: whatever its version, the loader erases the
    // flash on an invalid password unless BSLKEY at 0xFFBE is 0x0000.
    if (device_.Read(SimDevice::kIdAddress) == 0xF4 && device_.Read(SimDevice::kIdAddress + 1) == 0x6F) {
        rom_.massEraseOnWrongPassword = active_.massEraseOnWrongPassword = true;
    }
}

void RomBsl::Enter() {
    if (!rom_.present) {
        RunProgram();  // no loader ROM: the entry sequence starts the user's program
        return;
    }
    cpuRunning_ = false;
    startAt_ = 0;
    state_ = State::kIdle;
    locked_ = true;
    baud_ = 9600;
    ramLoader_ = 0;
    active_ = rom_;
    offset_ = 0;
    frame_.clear();
    cpu_.LoaderClock();
    SetFlashClock(cpu_.MclkHz() / cpu_.ChipFactor());
    // SLAU319, mass erase: the 2.xx loader clears LOCKA when it starts (a one written toggles it).
    if (active_.clearsLockA && (flash_.ReadRegister(FlashController::kFctl3) & FlashController::kLockA))
        flash_.WriteRegister(FlashController::kFctl3,
                             FlashController::kKey | FlashController::kLockA | FlashController::kLock, false);
}

// SLAU319, initialization status: the loader runs on MCLK from the DCO set for at least 1.5 MHz; its
// 1.10 table's nominal 17.2 ms for one mass erase pass (5297 timing-generator clocks) is 308 kHz, MCLK
// divided by 5. The guide names no divider for its other clocks (the F2xx and F4xx start clocks, the
// faster ones after a speed change): the loader divides the clock its settings give the typical chip
// down to flashClockHz, so that a chip whose clock differs (or settings the host chose badly) runs the
// timing generator off by as much.
void RomBsl::SetFlashClock(double loaderMclkHz) {
    loaderMclkHz_ = loaderMclkHz;
    long fn = std::lround(loaderMclkHz / rom_.flashClockHz) - 1;
    flashDivider_ = static_cast<uint8_t>(std::clamp(fn, 0L, 63L));
}

// The loader's flash routine (SLAU049/SLAU144/SLAU056, flash memory controller: FCTL2 with the clock and
// divider, LOCK cleared in FCTL3, the mode in FCTL1, the dummy or data write, BUSY polled, LOCK set).
uint32_t RomBsl::FlashOperation(uint16_t mode, uint32_t address, uint16_t value, bool byte) {
    using F = FlashController;
    flash_.WriteRegister(F::kFctl2, static_cast<uint16_t>(F::kKey | F::kSourceMclk | flashDivider_), false);
    flash_.WriteRegister(F::kFctl3, F::kKey, false);
    flash_.WriteRegister(F::kFctl1, static_cast<uint16_t>(F::kKey | mode), false);
    flash_.WriteFlash(address, value, byte);
    double mclk = cpu_.MclkHz();
    double stepUs = 8e6 * (flashDivider_ + 1) / mclk;  // eight timing-generator clocks
    double us = 0;
    while (flash_.Busy() && us < kFlashLimitUs) {
        us += stepUs;
        flash_.Elapse(stepUs, mclk, mclk, mclk, static_cast<uint64_t>(lastEndUs_ + us));
    }
    flash_.WriteRegister(F::kFctl1, F::kKey, false);
    flash_.WriteRegister(F::kFctl3, F::kKey | F::kLock, false);
    return static_cast<uint32_t>(us);
}

void RomBsl::HoldInReset() {
    flash_.Reset();  // RST is a power-up clear: an operation in hand is cut short, LOCKA set again
    cpuRunning_ = false;
    startAt_ = 0;
    state_ = State::kReset;
    frame_.clear();
}

void RomBsl::RunProgram() {
    cpuRunning_ = false;
    startAt_ = 0;
    state_ = State::kProgram;
    ramLoader_ = 0;
    active_ = rom_;
    baud_ = 9600;
    frame_.clear();
}

RomBsl::Reply RomBsl::Ack() const {
    return Reply{{kDataAck}, 0, true, 0};
}

RomBsl::Reply RomBsl::Nak() const {
    return Reply{{kDataNak}, 0, true, 0};
}

RomBsl::Reply RomBsl::Failed() const {
    return active_.failedAnswer70 ? Reply{{kCommandFailed}, 0, true, 0} : Nak();
}

RomBsl::Reply RomBsl::DataFrame(const std::vector<uint8_t>& data) const {
    Reply r;
    r.toFrame = true;
    uint8_t n = static_cast<uint8_t>(data.size());
    r.bytes.reserve(data.size() + 6);
    for (uint8_t b : {kSync, uint8_t{0x00}, n, n}) r.bytes.push_back(b);
    for (uint8_t b : data) r.bytes.push_back(b);
    uint8_t low, high;
    Checksum(r.bytes, r.bytes.size(), low, high);
    r.bytes.push_back(low);
    r.bytes.push_back(high);
    return r;
}

RomBsl::Reply RomBsl::Receive(uint8_t byte, double endUs, uint32_t lineBaud) {
    if (cpuRunning_) return CodeReceive(byte, endUs, lineBaud);
    lastEndUs_ = endUs;
    if (state_ == State::kIdle) {
        if (byte != kSync) return {};
        if (trace) trace("RX", {byte});
        state_ = State::kFrame;
        frame_.clear();
        Reply r{{kDataAck}, 0, false, 0};
        if (trace) trace("TX", r.bytes);
        return r;
    }
    if (state_ != State::kFrame) return {};
    frame_.push_back(byte);
    Reply r;
    bool done = false;
    if (frame_[0] != kSync || (frame_.size() == 4 && (frame_[2] != frame_[3] || frame_[2] < 4))) {
        r = Nak();
        done = true;
    } else if (frame_.size() >= 4 && frame_.size() == frame_[2] + 6u) {
        uint8_t low, high;
        Checksum(frame_, frame_.size() - 2, low, high);
        bool good = frame_[frame_.size() - 2] == low && frame_[frame_.size() - 1] == high;
        ++frames_;
        if (trace) trace("RX", frame_);
        r = good ? Execute() : Nak();
        done = true;
    }
    if (!done) return {};
    if (state_ == State::kFrame) state_ = State::kIdle;
    if (watchdogReset_) {
        // The watchdog the host started resets the chip a few milliseconds after the answer.
        watchdogReset_ = false;
        RunProgram();
    }
    if (r.newBaud != 0) baud_ = r.newBaud;
    if (onBusy && r.busyUs > 0) onBusy(r.busyUs);
    if (trace && !r.bytes.empty()) trace("TX", r.bytes);
    if (startAt_ != 0) {
        // The code starts once the answer has left, at the loader's speed.
        cpuRunning_ = true;
        codeFrame_.clear();
        cpu_.Start(startAt_, lastEndUs_ + r.bytes.size() * 11e6 / baud_);
        startAt_ = 0;
    }
    return r;
}

RomBsl::Reply RomBsl::CodeReceive(uint8_t byte, double endUs, uint32_t lineBaud) {
    uint32_t baud = lineBaud != 0 ? lineBaud : baud_;
    // Without a time (a pty has none) the byte follows on the line as soon as it is free.
    cpu_.QueueInput(byte, baud, endUs > 0 ? endUs - 11e6 / baud : 0);
    codeFrame_.push_back(byte);
    double arrivedUs = cpu_.InputEndUs();
    Msp430Machine::Stop stop = cpu_.Run(arrivedUs + kCodeTimeLimitUs);
    Reply r;
    double firstUs = arrivedUs;
    r.bytes = cpu_.TakeOutput(baud, &firstUs);
    if (!r.bytes.empty()) {
        r.busyUs = firstUs > arrivedUs ? static_cast<uint32_t>(firstUs - arrivedUs) : 0;
        r.toFrame = codeFrame_.size() > 1;
        if (r.toFrame) ++frames_;
        if (trace) {
            trace("RX", codeFrame_);
            trace("TX", r.bytes);
        }
        codeFrame_.clear();
    }
    if (stop == Msp430Machine::Stop::kReturnedToRom) {
        // Back in the loader's ROM: it starts over, locked, at 9600 baud.
        Enter();
    } else if (stop != Msp430Machine::Stop::kWaitingForInput) {
        RunProgram();  // the code is lost: the chip answers no more
    }
    return r;
}

bool RomBsl::Supports(uint8_t command) const {
    switch (command) {
        case 0x10:
        case 0x12:
        case 0x14:
        case 0x16:
        case 0x18:
        case 0x1A:
            return true;
        case 0x1C:
            return active_.eraseCheck;
        case 0x1E:
            return active_.versionCommand;
        case 0x20:
            return active_.baudChange;
        case 0x21:
            return active_.memoryOffset;
        default:
            return false;
    }
}

bool RomBsl::PasswordMatches() const {
    for (uint32_t i = 0; i < 32; ++i) {
        if (frame_[8 + i] != device_.Read(SimDevice::kVectors + i)) return false;
    }
    return true;
}

RomBsl::Reply RomBsl::Execute() {
    uint8_t command = frame_[1];
    uint16_t address = static_cast<uint16_t>(frame_[4] | frame_[5] << 8);
    uint16_t length = static_cast<uint16_t>(frame_[6] | frame_[7] << 8);
    size_t dataBytes = frame_.size() - 10;
    // SLAU319, set memory offset: the offset is the upper word of the memory pointer, so the frame's
    // 16-bit address reaches above 0xFFFF only through it.
    uint32_t at = uint32_t{offset_} << 16 | address;
    // SLAU319 / target-model: a command the loader's version lacks is not defined there: NAK.
    if (!Supports(command)) return Nak();
    // Passwords, mass erase, the speed change and (from 1.50 on) the version work while the loader is
    // locked; nothing else does.
    bool free = command == 0x10 || command == 0x18 || command == 0x20 || command == 0x1E;
    if (locked_ && !free) return Nak();
    using F = FlashController;

    switch (command) {
        case 0x10: {
            if (dataBytes != 32) return Nak();
            if (PasswordMatches()) {
                locked_ = false;
                return Ack();
            }
            Reply r = active_.wrongPasswordAck ? Ack() : Nak();
            if (active_.massEraseOnWrongPassword && device_.ReadWord(SimDevice::kBslKey) != 0x0000)
                r.busyUs = EraseAll(true).busyUs;
            return r;
        }
        case 0x12: {
            if (dataBytes != length || length > kMaxData || (address | length) & 1) return Nak();
            if (at <= SimDevice::kWatchdog && at + length > SimDevice::kWatchdog) {
                // The watchdog control word: without its key the chip resets at once, mid-command;
                // with the key and the hold bit clear the watchdog starts and resets it shortly.
                uint8_t low = frame_[8 + SimDevice::kWatchdog - at];
                uint8_t high = frame_[9 + SimDevice::kWatchdog - at];
                if (high != kWatchdogKey) {
                    RunProgram();
                    return {};
                }
                if (!(low & kWatchdogHold)) watchdogReset_ = true;
            }
            bool held = true;
            uint32_t busyUs = 0;
            for (uint32_t i = 0; i < length; i += 2) {
                const uint8_t* data = &frame_[8 + i];
                if (!device_.IsFlash(at + i)) {
                    held &= device_.Write(at + i, data[0]);
                    held &= device_.Write(at + i + 1, data[1]);
                    continue;
                }
                if (active_.byteWrites) {
                    busyUs += FlashOperation(F::kWrt, at + i, data[0], true);
                    busyUs += FlashOperation(F::kWrt, at + i + 1, data[1], true);
                } else {
                    busyUs += FlashOperation(F::kWrt, at + i, static_cast<uint16_t>(data[0] | data[1] << 8));
                }
                held &= device_.Read(at + i) == data[0] && device_.Read(at + i + 1) == data[1];
            }
            Reply r = held || !active_.verifiesWrites ? Ack() : Failed();
            r.busyUs = busyUs;
            return r;
        }
        case 0x14: {
            if (length > kMaxData) return Nak();
            std::vector<uint8_t> data(length);
            for (uint32_t i = 0; i < length; ++i) data[i] = device_.Read(at + i);
            return DataFrame(data);
        }
        case 0x16: {
            // SLAU319, erase segment (0xA502) and erase main or info (0xA504, the section the address
            // lies in); SLAU144/SLAU049 erase modes: MERAS alone erases main memory only.
            // Information memory goes segment by segment; LOCKA (F2xx) keeps segment A unless the
            // loader cleared it.
            if (length != 0xA502 && length != 0xA504) return Nak();
            if (length == 0xA504 && device_.IsMain(at)) return EraseAll(false);
            Reply r = Ack();
            uint32_t from = at, to = at;
            if (length == 0xA504 && device_.IsInfo(at)) {
                from = device_.Part().info.start;
                to = device_.Part().info.end;
            }
            for (uint32_t a = from; a <= to && device_.IsFlash(a);
                 a += device_.IsInfo(a) ? device_.InfoSegmentSize() : SimDevice::kMainSegment)
                r.busyUs += FlashOperation(F::kErase, a);
            return r;
        }
        case 0x18:
            if (length != 0xA506 && length != 0xA504) return Nak();
            return EraseAll(length == 0xA506);
        case 0x21:
            // SLAU319, set memory offset: the value travels in the frame's length word.
            offset_ = length;
            return Ack();
        case 0x1A:
            return LoadPc(address);
        case 0x1C: {
            if (device_.IsErased(at, length)) return Ack();
            for (uint32_t a = at; a < at + length; ++a) {
                if (device_.Read(a) != 0xFF) {
                    device_.Write(0x0200, static_cast<uint8_t>(a + 1));
                    device_.Write(0x0201, static_cast<uint8_t>((a + 1) >> 8));
                    break;
                }
            }
            return Nak();
        }
        case 0x1E: {
            std::vector<uint8_t> data(16);
            for (uint32_t i = 0; i < 16; ++i) data[i] = device_.Read(SimDevice::kIdAddress + i);
            return DataFrame(data);
        }
        case 0x20:
            return ChangeBaud(frame_[4], frame_[5], frame_[6]);
    }
    return Nak();
}

RomBsl::Reply RomBsl::EraseAll(bool withInfo) {
    using F = FlashController;
    // The passes the loader runs: enough for t_CMErase on the fastest chip the data sheet allows, by
    // its reckoning of the timing generator's rate. The cells are erased once the passes really add up
    // to it (the flash controller's rule); the 2.xx loader has cleared LOCKA, so segment A goes too.
    int passes = 1;
    if (active_.cumulativeErase && flash_.cumulativeMassEraseUs > 0) {
        double fastestHz = loaderMclkHz_ * DocumentedSpread(cpu_.GetClockSystem()).fastest;
        double passUs = flash_.massEraseClocks * (flashDivider_ + 1) / fastestHz * 1e6;
        passes = std::max(
            1, static_cast<int>(std::ceil(static_cast<double>(flash_.cumulativeMassEraseUs) / passUs)));
    }
    Reply r = Ack();
    for (int i = 0; i < passes; ++i)
        r.busyUs += FlashOperation(static_cast<uint16_t>(F::kMeras | (withInfo ? F::kErase : 0)),
                                   device_.Part().main.start);
    return r;
}

RomBsl::Reply RomBsl::LoadPc(uint16_t address) {
    Reply r = Ack();
    if (address == kLoaderEntry && ramLoader_ == 0) {
        // The loader's own entry: it starts over, locked.
        locked_ = true;
        return r;
    }
    // Anywhere else the CPU goes on from there: code in RAM runs on the chip model; elsewhere the
    // user's program runs.
    if (device_.IsRam(address)) {
        startAt_ = address;
        ramLoader_ = address;
    } else {
        state_ = State::kProgram;
    }
    return r;
}

RomBsl::Reply RomBsl::ChangeBaud(uint8_t d1, uint8_t d2, uint8_t d3) {
    if (d3 > 2) return Nak();
    Reply r = Ack();
    // The loader writes D1 and D2 into its clock registers; its UART's new speed follows from the
    // clock they give, which code it starts later inherits.
    r.newBaud = RomLoaderBaud(cpu_.GetClockSystem(), d1, d2, d3);
    cpu_.SetClock(d1, d2);
    // Its flash timing follows the clock it believes it now has.
    SetFlashClock(RomLoaderClockHz(cpu_.GetClockSystem(), d3));
    return r;
}

}  // namespace quarzo::sim
