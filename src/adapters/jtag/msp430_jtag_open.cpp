// Bringing the chip under JTAG: the power-on clear, synchronisation, the reset methods, the entry
// sequence of Spy-Bi-Wire parts and identification.
#include <algorithm>

#include "adapters/jtag/msp430_jtag.h"
#include "core/device_info.h"
#include "core/device_table.h"

namespace quarzo {
namespace {

constexpr uint16_t kSynchronised = 0x0200;
constexpr uint16_t kCpuHalt = 0x0002;
constexpr uint8_t kConfigFuses = 0x29;
constexpr uint16_t kNop = 0x4303;
constexpr uint16_t kWatchdog = 0x0120;
constexpr uint16_t kWatchdogHold = 0x5A80;
constexpr uint16_t kIdBlock = 0x0FF0;

}  // namespace

// From the power-on clear the watchdog runs: it is stopped within a few hundred port accesses, with
// nothing held back that could make the cable wait in between.
bool Msp430Jtag::ExecutePor() {
    pins_.Flush();
    WriteControlSignal(kPowerOnClear);
    DrShift(kJtagRead, 16, false);
    TclkRise();
    TclkRise();
    SetTclk(false);
    StopWatchdogAfterPor();  // whatever the identification says
    uint8_t id = IrShift(kAddrCapture);
    SetTclk(true);
    return id == kJtagId;
}

// SLAU320's power-on clear leaves the CPU at its first instruction fetch after three TCLK cycles:
// JMP $ injected and fetched, the CPU halted, then the halted write of the watchdog's hold word.
void Msp430Jtag::StopWatchdogAfterPor() {
    SetTclk(true);
    IrShift(kData16Bit, false);
    DrShift(kJumpToSelf, 16, false);
    SetTclk(false);
    HaltedWriteAndRelease(kHaltedWrite, kWatchdog, kWatchdogHold);
}

bool Msp430Jtag::SyncCpu() {
    IrShift(kCntrlSigCapture);
    uint16_t v = DrShift(0);
    SetTclk(true);
    if (!(v & kSynchronised)) {
        WriteControlSignal(kJtagRead);
        int i = 0;
        for (; i < kTries; ++i) {
            v = DrShift(0);
            if (v & kSynchronised) break;
            if (!pins_.Sleep(1)) return false;
        }
        if (i == kTries) return false;
    }
    if (v & kCpuHalt) {
        SetTclk(false);
        WriteControlSignal(kJtagRead);
        SetTclk(true);
    } else {
        WriteControlSignal(kJtagRead);
    }
    if (!SetInstrFetch()) return false;
    IrShift(kData16Bit);
    DrShift(kNop);
    TclkRise();
    IrShift(kCntrlSigCapture);
    return (DrShift(0) & kInstrLoad) != 0;
}

bool Msp430Jtag::GetDevice() {
    ResetTap();
    if (IsFuseBlown()) return false;
    WriteControlSignal(kJtagRead);
    if (IrShift(kCntrlSigCapture) != kJtagId) return false;
    int i = 0;
    for (; i < kTries; ++i) {
        if (DrShift(0) & kSynchronised) break;
        if (!pins_.Sleep(1)) return false;
    }
    if (i == kTries) return false;
    if (!ExecutePor()) return false;
    return SyncCpu();
}

// One reset method has been applied; the target either answers now or the next method is tried.
bool Msp430Jtag::TryResetMethod(bool release, bool execute) {
    if (release) {
        pins_.Release();
        return true;
    }
    if (!GetDevice()) return false;
    if (execute) IrShift(kCntrlSigRelease);
    return true;
}

JtagError Msp430Jtag::ResetDevice(int method, bool execute, bool release) {
    if (method & 1) {
        ReleaseDevice(0xFFFE);
        if (TryResetMethod(release, execute)) return JtagError::kNone;
    }
    if (method & 2) {
        if (EntryNeeded()) {
            EnterSpyBiWireJtag();
        } else {
            pins_.SetReset(true);
            pins_.Sleep(50);
            pins_.SetReset(false);
        }
        if (TryResetMethod(release, execute)) return JtagError::kNone;
    }
    if (method & 4) {
        pins_.SetSupply(false);
        pins_.Sleep(3000);
        pins_.SetSupply(true);
        pins_.Sleep(10);
        if (EntryNeeded()) EnterSpyBiWireJtag();
        if (GetDevice()) {
            if (execute) {
                IrShift(kCntrlSigRelease);
                if (release) pins_.Release();
            }
            return JtagError::kNone;
        }
    }
    return JtagError::kReset;
}

// A part not yet identified may have Spy-Bi-Wire: the sequence is a reset pulse to any other part.
bool Msp430Jtag::EntryNeeded() const {
    return deviceIndex_ == 0 || HasSpyBiWire(deviceIndex_);
}

// SLAU320, JTAG access entry sequences (4-wire JTAG on a Spy-Bi-Wire part): TEST low to reset the
// TEST logic, TEST high to start it, then with RST low TEST low and high again; RST high last.
void Msp430Jtag::EnterSpyBiWireJtag() {
    pins_.SetTest(false);
    pins_.Sleep(4);
    pins_.SetTest(true);
    pins_.Sleep(20);
    pins_.SetReset(true);
    pins_.Sleep(50);
    pins_.SetTest(false);
    pins_.DelayUs(1);
    pins_.SetTest(true);
    pins_.DelayUs(40);
    pins_.SetReset(false);
}

JtagError Msp430Jtag::Identify(DeviceInfo& info) {
    uint8_t id[16];
    ReadMemQuick(kIdBlock, 8, id);
    if (IrShift(kConfigFuses) != kJtagId) return JtagError::kFuses;
    uint16_t fuses = DrShift(0, 8);
    std::copy(id, id + 16, info.IdBytes());
    info.SetFuseValue(fuses);
    deviceIndex_ = FindDevice(id, fuses);
    FillDeviceInfo(deviceIndex_, info);
    if (HasCpuX(deviceIndex_)) {
        refusedCpuX_ = deviceIndex_;
        deviceIndex_ = 0;
        return JtagError::kCpuX;
    }
    return deviceIndex_ != 0 ? JtagError::kNone : JtagError::kUnknownDevice;
}

JtagError Msp430Jtag::Open(DeviceInfo& info) {
    refusedCpuX_ = 0;
    pins_.SetSupply(true);
    pins_.Connect();
    if (ResetDevice(6, false, false) != JtagError::kNone)
        return IsFuseBlown() ? JtagError::kFuseBlown : JtagError::kNoDevice;
    return Identify(info);
}

}  // namespace quarzo
