// The MSP430's JTAG steps: control of the CPU, memory access, the fuse test and identification.
#include <algorithm>

#include "adapters/jtag/lpt_jtag.h"
#include "core/device_info.h"
#include "core/device_table.h"

namespace quarzo {
namespace {

// Bits of the captured control-signal register.
constexpr uint16_t kInstrLoad = 0x0080;
constexpr uint16_t kSynchronised = 0x0200;
constexpr uint16_t kCpuHalt = 0x0002;

constexpr uint16_t kWatchdog = 0x0120;
constexpr uint16_t kWatchdogHold = 0x5A80;
constexpr uint16_t kIdBlock = 0x0FF0;
constexpr int kTries = 50;

}  // namespace

void LptJtag::WriteControlSignal(uint16_t value) {
    IrShift(kCntrlSig16Bit, false);
    DrShift(value, 16, false);
}

// Looks before it clocks (SLAU320, SetInstrFetch): a TCLK cycle given to a CPU already at an
// instruction fetch runs a step of the code in its memory.
bool LptJtag::SetInstrFetch() {
    IrShift(kCntrlSigCapture);
    for (int i = 0; i < kTries; ++i) {
        if (DrShift(0) & kInstrLoad) return true;
        SetTclk(0);
        SetTclk(1);
    }
    return false;
}

bool LptJtag::SetPC(uint16_t address) {
    SetInstrFetch();
    WriteControlSignal(kCpuDrivesBus);
    IrShift(kData16Bit);
    DrShift(kMovImmToPc);
    SetTclk(3);
    DrShift(address);
    SetTclk(3);
    SetTclk(3);
    IrShift(kAddrCapture);
    if (DrShift(0) != address) return false;
    WriteControlSignal(kJtagRead);
    return true;
}

// JMP $ goes onto the bus before the falling TCLK edge that fetches it (SLAU320, HaltCPU); an edge
// before it would fetch from memory.
void LptJtag::HaltCpu() {
    SetInstrFetch();
    SetTclk(1);
    IrShift(kData16Bit);
    DrShift(kJumpToSelf);
    SetTclk(0);
    WriteControlSignal(kHaltedRead);
    SetTclk(1);
}

void LptJtag::ReleaseCpu() {
    SetTclk(0);
    WriteControlSignal(kJtagRead);
    IrShift(kAddrCapture);
    SetTclk(1);
}

void LptJtag::ReleaseDevice(uint16_t address) {
    if (address == 0xFFFE) {
        WriteControlSignal(kPowerOnClear);
        DrShift(kJtagRead);
    } else {
        SetPC(address);
    }
    IrShift(kCntrlSigRelease);
}

void LptJtag::WriteMem(int format, uint16_t address, uint16_t value) {
    HaltCpu();
    SetTclk(0);
    HaltedWriteAndRelease(format == 16 ? kHaltedWrite : kHaltedByteWrite, address, value);
}

// With TCLK low: the write takes place on its rising edge; then the CPU is given back.
void LptJtag::HaltedWriteAndRelease(uint16_t control, uint16_t address, uint16_t value) {
    WriteControlSignal(control);
    IrShift(kAddr16Bit, false);
    DrShift(address, 16, false);
    IrShift(kDataToAddr, false);
    DrShift(value, 16, false);
    SetTclk(1);
    ReleaseCpu();
}

void LptJtag::ReadMemQuick(uint16_t address, uint32_t count, uint8_t* buffer) {
    SetPC(static_cast<uint16_t>(address - 2));
    IrShift(kData16Bit);
    DrShift(kJumpToSelf);
    SetTclk(3);
    WriteControlSignal(kHaltedRead);
    IrShift(kDataQuick);
    for (uint32_t i = 0; i < count; ++i) {
        SetTclk(3);
        uint16_t word = DrShift(0);
        buffer[2 * i] = static_cast<uint8_t>(word);
        buffer[2 * i + 1] = static_cast<uint8_t>(word >> 8);
    }
    WriteControlSignal(kJtagRead);
}

// From the power-on clear the watchdog runs: it is stopped within a few hundred port accesses, with
// nothing held back that could make the cable wait in between.
bool LptJtag::ExecutePor() {
    port_.Flush();
    WriteControlSignal(kPowerOnClear);
    DrShift(kJtagRead, 16, false);
    SetTclk(2);
    SetTclk(2);
    SetTclk(0);
    StopWatchdogAfterPor();  // whatever the identification says
    uint8_t id = IrShift(kAddrCapture);
    SetTclk(1);
    if (id == kJtagId) return true;
    lastError = kErrorJtagId;
    return false;
}

// SLAU320's power-on clear leaves the CPU at its first instruction fetch after three TCLK cycles:
// JMP $ injected and fetched, the CPU halted, then the halted write of the watchdog's hold word.
void LptJtag::StopWatchdogAfterPor() {
    SetTclk(1);
    IrShift(kData16Bit, false);
    DrShift(kJumpToSelf, 16, false);
    SetTclk(0);
    HaltedWriteAndRelease(kHaltedWrite, kWatchdog, kWatchdogHold);
}

bool LptJtag::SyncCpu() {
    IrShift(kCntrlSigCapture);
    uint16_t v = DrShift(0);
    SetTclk(1);
    if (!(v & kSynchronised)) {
        WriteControlSignal(kJtagRead);
        int i = 0;
        for (; i < kTries; ++i) {
            v = DrShift(0);
            if (v & kSynchronised) break;
            if (!Sleep(1)) return false;
        }
        if (i == kTries) return false;
    }
    if (v & kCpuHalt) {
        SetTclk(0);
        WriteControlSignal(kJtagRead);
        SetTclk(1);
    } else {
        WriteControlSignal(kJtagRead);
    }
    if (!SetInstrFetch()) return false;
    IrShift(kData16Bit);
    DrShift(kNop);
    SetTclk(2);
    IrShift(kCntrlSigCapture);
    return (DrShift(0) & kInstrLoad) != 0;
}

bool LptJtag::GetDevice() {
    ResetTap();
    if (IsFuseBlown()) return false;
    WriteControlSignal(kJtagRead);
    if (IrShift(kCntrlSigCapture) != kJtagId) return false;
    int i = 0;
    for (; i < kTries; ++i) {
        if (DrShift(0) & kSynchronised) break;
        if (!Sleep(1)) return false;
    }
    if (i == kTries) return false;
    if (!ExecutePor()) return false;
    return SyncCpu();
}

bool LptJtag::IsFuseBlown() {
    // A blown fuse makes every data register a one-bit bypass: 0xAAAA comes back shifted by one.
    for (int i = 0; i < 3; ++i) {
        IrShift(kCntrlSigCapture);
        if (DrShift(0xAAAA) == 0x5555) return true;
    }
    DrShift(0);
    return false;
}

// One reset method has been applied; the target either answers now or the next method is tried.
bool LptJtag::TryResetMethod(bool release, bool execute) {
    if (release) {
        ReleasePins();
        return true;
    }
    if (!GetDevice()) return false;
    if (execute) IrShift(kCntrlSigRelease);
    return true;
}

bool LptJtag::ResetDevice(int method, bool execute, bool release) {
    if (method & 1) {
        ReleaseDevice(0xFFFE);
        if (TryResetMethod(release, execute)) return true;
    }
    if (method & 2) {
        if (EntryNeeded()) {
            EnterSpyBiWireJtag();
        } else {
            SetResetLines(true);
            Sleep(50);
            SetResetLines(false);
        }
        if (TryResetMethod(release, execute)) return true;
    }
    if (method & 4) {
        SetTargetPower(false);
        Sleep(3000);
        SetTargetPower(true);
        Sleep(10);
        if (EntryNeeded()) EnterSpyBiWireJtag();
        if (GetDevice()) {
            if (execute) {
                IrShift(kCntrlSigRelease);
                if (release) ReleasePins();
            }
            return true;
        }
    }
    lastError = kErrorReset;
    return false;
}

// A part not yet identified may have Spy-Bi-Wire: the sequence is a reset pulse to any other part.
bool LptJtag::EntryNeeded() const {
    return deviceIndex == 0 || HasSpyBiWire(static_cast<int>(deviceIndex));
}

// SLAU320, JTAG access entry sequences (4-wire JTAG on a Spy-Bi-Wire part): TEST low to reset the
// TEST logic, TEST high to start it, then with RST low TEST low and high again; RST high last.
void LptJtag::EnterSpyBiWireJtag() {
    SetTest(false);
    Sleep(4);
    SetTest(true);
    Sleep(20);
    SetResetLines(true);
    Sleep(50);
    SetTest(false);
    DelayMicroseconds(1);
    SetTest(true);
    DelayMicroseconds(40);
    SetResetLines(false);
}

bool LptJtag::IdentifyDevice(DeviceInfo& info) {
    uint8_t id[16];
    ReadMemQuick(kIdBlock, 8, id);
    if (IrShift(kConfigFuses) != kJtagId) {
        lastError = kErrorFuses;
        return false;
    }
    uint16_t fuses = DrShift(0, 8);
    std::copy(id, id + 16, info.IdBytes());
    info.SetFuseValue(fuses);
    deviceIndex = static_cast<uint32_t>(FindDevice(id, fuses));
    FillDeviceInfo(static_cast<int>(deviceIndex), info);
    if (HasCpuX(static_cast<int>(deviceIndex))) {
        // 16-bit address shifts reach the wrong places on a 20-bit address register.
        refusedCpuX_ = static_cast<int>(deviceIndex);
        deviceIndex = 0;
        lastError = kErrorNoDevice;
        return false;
    }
    if (deviceIndex != 0) return true;
    lastError = kErrorUnknownDevice;
    return false;
}

bool LptJtag::OpenTarget(DeviceInfo& info) {
    refusedCpuX_ = 0;
    MeasureTclk();
    SetTargetPower(true);
    ConnectJtag();
    if (!ResetDevice(6, false, false)) {
        lastError = IsFuseBlown() ? kErrorFuseBlown : kErrorNoDevice;
        return false;
    }
    return IdentifyDevice(info);
}

}  // namespace quarzo
