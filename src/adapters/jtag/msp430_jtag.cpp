// The TAP and its shifts, control of the CPU and memory access.
#include "adapters/jtag/msp430_jtag.h"

#include <algorithm>

namespace quarzo {
namespace {

constexpr uint8_t kDataQuick = 0x43;
constexpr uint16_t kHaltedByteWrite = 0x2418;
constexpr uint16_t kCpuDrivesBus = 0x3401;

}  // namespace

// TCK low then high: one step of the TAP.
void Msp430Jtag::ClockTck() {
    pins_.SetTck(false);
    pins_.SetTck(true);
}

void Msp430Jtag::ExitShift() {
    ClockTck();  // Update-IR/DR
    pins_.SetTms(false);
    ClockTck();  // Run-Test/Idle
    pins_.SetTms(true);
}

uint8_t Msp430Jtag::IrShift(uint8_t instruction, bool capture) {
    bool tclk = pins_.TdiLevel();
    pins_.SetTms(true);
    ClockTck();  // Select-DR-Scan
    ClockTck();  // Select-IR-Scan
    pins_.SetTms(false);
    ClockTck();  // Capture-IR
    ClockTck();  // Shift-IR
    uint32_t result = 0;
    for (int i = 0; i < 8; ++i) {
        pins_.SetTdi((instruction >> i & 1) != 0);
        if (i == 7) pins_.SetTms(true);
        ClockTck();
        if (capture) result = result << 1 | (pins_.Tdo() ? 1u : 0u);
    }
    SetTclk(tclk);
    ExitShift();
    return static_cast<uint8_t>(result);
}

uint16_t Msp430Jtag::DrShift(uint16_t value, int bits, bool capture) {
    bits = std::clamp(bits, 0, 16);
    bool tclk = pins_.TdiLevel();
    pins_.SetTms(true);
    ClockTck();  // Select-DR-Scan
    pins_.SetTms(false);
    ClockTck();  // Capture-DR
    ClockTck();  // Shift-DR
    uint32_t result = 0;
    for (int i = bits - 1; i >= 0; --i) {
        pins_.SetTdi((value >> i & 1) != 0);
        if (i == 0) pins_.SetTms(true);
        ClockTck();
        if (capture) result = result << 1 | (pins_.Tdo() ? 1u : 0u);
    }
    SetTclk(tclk);
    ExitShift();
    return static_cast<uint16_t>(result);
}

// As SLAU320's reference: the TAP reset to Run-Test/Idle, then the fuse check's TMS pulses with TCK
// high and TDI (TCLK) high, since TDI low during the check makes the fuse read as blown.
void Msp430Jtag::ResetTap() {
    SetTclk(true);
    pins_.SetTck(false);
    pins_.SetTms(true);
    for (int i = 0; i < 6; ++i) ClockTck();  // Test-Logic-Reset
    pins_.SetTck(false);
    pins_.SetTms(false);
    pins_.SetTck(true);  // Run-Test/Idle
    for (int i = 0; i < 2; ++i) {
        pins_.SetTms(false);
        pins_.Sleep(70);
        pins_.SetTms(true);
        pins_.Sleep(70);
    }
}

void Msp430Jtag::WriteControlSignal(uint16_t value) {
    IrShift(kCntrlSig16Bit, false);
    DrShift(value, 16, false);
}

// Looks before it clocks (SLAU320, SetInstrFetch): a TCLK cycle given to a CPU already at an
// instruction fetch runs a step of the code in its memory.
bool Msp430Jtag::SetInstrFetch() {
    IrShift(kCntrlSigCapture);
    for (int i = 0; i < kTries; ++i) {
        if (DrShift(0) & kInstrLoad) return true;
        SetTclk(false);
        SetTclk(true);
    }
    return false;
}

bool Msp430Jtag::SetPC(uint16_t address) {
    SetInstrFetch();
    WriteControlSignal(kCpuDrivesBus);
    IrShift(kData16Bit);
    DrShift(kMovImmToPc);
    TclkFall();
    DrShift(address);
    TclkFall();
    TclkFall();
    IrShift(kAddrCapture);
    if (DrShift(0) != address) return false;
    WriteControlSignal(kJtagRead);
    return true;
}

// JMP $ goes onto the bus before the falling TCLK edge that fetches it (SLAU320, HaltCPU); an edge
// before it would fetch from memory.
void Msp430Jtag::HaltCpu() {
    SetInstrFetch();
    SetTclk(true);
    IrShift(kData16Bit);
    DrShift(kJumpToSelf);
    SetTclk(false);
    WriteControlSignal(kHaltedRead);
    SetTclk(true);
}

void Msp430Jtag::ReleaseCpu() {
    SetTclk(false);
    WriteControlSignal(kJtagRead);
    IrShift(kAddrCapture);
    SetTclk(true);
}

void Msp430Jtag::ReleaseDevice(uint16_t address) {
    if (address == 0xFFFE) {
        WriteControlSignal(kPowerOnClear);
        DrShift(kJtagRead);
    } else {
        SetPC(address);
    }
    IrShift(kCntrlSigRelease);
}

void Msp430Jtag::WriteMem(bool byte, uint16_t address, uint16_t value) {
    HaltCpu();
    SetTclk(false);
    HaltedWriteAndRelease(byte ? kHaltedByteWrite : kHaltedWrite, address, value);
}

// With TCLK low: the write takes place on its rising edge; then the CPU is given back.
void Msp430Jtag::HaltedWriteAndRelease(uint16_t control, uint16_t address, uint16_t value) {
    WriteControlSignal(control);
    IrShift(kAddr16Bit, false);
    DrShift(address, 16, false);
    IrShift(kDataToAddr, false);
    DrShift(value, 16, false);
    SetTclk(true);
    ReleaseCpu();
}

void Msp430Jtag::ReadMemQuick(uint16_t address, uint32_t count, uint8_t* buffer) {
    SetPC(static_cast<uint16_t>(address - 2));
    IrShift(kData16Bit);
    DrShift(kJumpToSelf);
    TclkFall();
    WriteControlSignal(kHaltedRead);
    IrShift(kDataQuick);
    for (uint32_t i = 0; i < count; ++i) {
        TclkFall();
        uint16_t word = DrShift(0);
        buffer[2 * i] = static_cast<uint8_t>(word);
        buffer[2 * i + 1] = static_cast<uint8_t>(word >> 8);
    }
    WriteControlSignal(kJtagRead);
}

bool Msp430Jtag::IsFuseBlown() {
    // A blown fuse makes every data register a one-bit bypass: 0xAAAA comes back shifted by one.
    for (int i = 0; i < 3; ++i) {
        IrShift(kCntrlSigCapture);
        if (DrShift(0xAAAA) == 0x5555) return true;
    }
    DrShift(0);
    return false;
}

}  // namespace quarzo
