// The parallel-port lines, the JTAG shifts and the signal timing.
#include <algorithm>
#include <cmath>

#include "adapters/jtag/lpt_jtag.h"

namespace quarzo {

LptJtag::LptJtag(platform::PortIo& port, Clock& clock) : port_(port), clock_(clock) {
    port_.OpenDriver();
}

void LptJtag::SetDataBit(uint8_t mask, bool level) {
    if (level)
        dataShadow |= mask;
    else
        dataShadow &= ~static_cast<uint32_t>(mask);
    WriteData();
}

void LptJtag::SetTdi(bool level) {
    SetDataBit(kTdi, level);
}

void LptJtag::SetTms(bool level) {
    SetDataBit(kTms, level);
}

// Mode 0 low, 2 low then high (a rising edge), 3 high then low, anything else high; each level of a
// TCLK pulse is paced.
void LptJtag::DriveLine(uint8_t mask, int mode, bool paced) {
    if (mode != 2 && mode != 3) {
        SetDataBit(mask, mode != 0);
        return;
    }
    if (paced) Pace();
    SetDataBit(mask, mode == 3);
    if (paced) Pace();
    SetDataBit(mask, mode == 2);
}

void LptJtag::SetTck(int mode) {
    DriveLine(kTck, mode, false);
}

// TCLK times the target's flash: each level waits for its half period since the last one on the
// monotonic clock. After a gap (a shift between pulses) the next pulse starts at once; pulses never
// come faster to make up for it.
void LptJtag::Pace() {
    uint64_t now = clock_.Nanoseconds();
    if (now < nextEdgeNs_) {
        clock_.DelayUntilNs(nextEdgeNs_);
        now = nextEdgeNs_;
    }
    nextEdgeNs_ = now + tclkHalfNs_;
}

void LptJtag::SetTest(bool level) {
    SetDataBit(kTest, level);
}

void LptJtag::SetTclk(int mode) {
    DriveLine(kTdi, mode, true);
}

// Writes a backend holds back go out first, so that none has to wait in the middle of the burst. A
// thread that has run without a pause for a while rests before the burst: a system that caps the time
// of real-time threads would otherwise stop it in the middle of one.
bool LptJtag::TclkStrobes(uint32_t count) {
    if (clock_.Nanoseconds() - lastRestNs_ >= kBusyNs) Sleep(kRestMs);
    port_.Flush();
    uint64_t start = clock_.Nanoseconds();
    for (uint32_t i = 1; i < count; ++i) SetTclk(3);
    // Whether the burst kept its pace: a thread stopped in the middle of it clocked the flash too slowly.
    uint64_t elapsed = clock_.Nanoseconds() - start;
    return count < 3 || elapsed == 0 || (count - 2) * 1e9 / static_cast<double>(elapsed) >= kFlashMinHz + kTclkMarginHz;
}

void LptJtag::SetTargetPower(bool on) {
    if (on) {
        dataShadow |= 0xE0;
        WriteData();
        dataShadow |= 0x10;
    } else {
        dataShadow &= 0x0F;
    }
    WriteData();
    Sleep(10);
}

void LptJtag::SetResetLines(bool asserted) {
    if (asserted) {
        controlShadow |= kResetLines;
        WriteControl();
        return;
    }
    controlShadow &= ~static_cast<uint32_t>(kResetLines);
    WriteControl();
    Sleep(10);
}

void LptJtag::SetSelectLine(bool on) {
    if (on)
        controlShadow |= kSelectLine;
    else
        controlShadow &= ~static_cast<uint32_t>(kSelectLine);
    WriteControl();
}

void LptJtag::SetEnableLine(bool on) {
    Sleep(10);
    if (on)
        controlShadow |= kEnableLine;
    else
        controlShadow &= ~static_cast<uint32_t>(kEnableLine);
    WriteControl();
    Sleep(10);
}

void LptJtag::ReleasePins() {
    controlShadow &= ~static_cast<uint32_t>(kSelectLine | kConnectLine);
    WriteControl();
    if (dataShadow & kTest) SetTest(false);
    SetTdi(false);
    SetTms(true);
    SetTck(1);
    SetTclk(1);
    SetResetLines(false);
    SetEnableLine(false);
    SetDataBit(kPyrelOut, true);
}

void LptJtag::ConnectJtag() {
    ReleasePins();
    controlShadow |= kConnectLine;
    WriteControl();
    SetEnableLine(true);
}

void LptJtag::ShutdownPins(bool powerOff) {
    if (powerOff) SetTargetPower(false);
    ReleasePins();
}

bool LptJtag::Tdo() {
    return (port_.ReadPort(static_cast<uint16_t>(basePort + kStatusRegister)) & kTdo) != 0;
}

// Shifts leave the TCLK level on TDI as they found it, so the target sees no TCLK edge.
void LptJtag::RestoreTclk(bool level) {
    SetTclk(level ? 1 : 0);
}

void LptJtag::ExitShift() {
    SetTck(2);  // Update-IR/DR
    SetTms(false);
    SetTck(2);  // Run-Test/Idle
    SetTms(true);
}

uint8_t LptJtag::IrShift(uint8_t instruction, bool capture) {
    bool tclk = (dataShadow & kTdi) != 0;
    SetTms(true);
    SetTck(2);  // Select-DR-Scan
    SetTck(2);  // Select-IR-Scan
    SetTms(false);
    SetTck(2);  // Capture-IR
    SetTck(2);  // Shift-IR
    uint32_t result = 0;
    for (int i = 0; i < 8; ++i) {
        SetTdi((instruction >> i & 1) != 0);
        if (i == 7) SetTms(true);
        SetTck(2);
        if (capture) result = result << 1 | (Tdo() ? 1u : 0u);
    }
    RestoreTclk(tclk);
    ExitShift();
    return static_cast<uint8_t>(result);
}

uint16_t LptJtag::DrShift(uint16_t value, int bits, bool capture) {
    bits = std::clamp(bits, 0, 16);
    bool tclk = (dataShadow & kTdi) != 0;
    SetTms(true);
    SetTck(2);  // Select-DR-Scan
    SetTms(false);
    SetTck(2);  // Capture-DR
    SetTck(2);  // Shift-DR
    uint32_t result = 0;
    for (int i = bits - 1; i >= 0; --i) {
        SetTdi((value >> i & 1) != 0);
        if (i == 0) SetTms(true);
        SetTck(2);
        if (capture) result = result << 1 | (Tdo() ? 1u : 0u);
    }
    RestoreTclk(tclk);
    ExitShift();
    return static_cast<uint16_t>(result);
}

// As SLAU320's reference: the TAP reset to Run-Test/Idle, then the fuse check's TMS pulses with TCK
// high and TDI (TCLK) high, since TDI low during the check makes the fuse read as blown.
void LptJtag::ResetTap() {
    SetTclk(1);
    SetTck(0);
    SetTms(true);
    for (int i = 0; i < 6; ++i) SetTck(2);  // Test-Logic-Reset
    SetTck(0);
    SetTms(false);
    SetTck(1);  // Run-Test/Idle
    for (int i = 0; i < 2; ++i) {
        SetTms(false);
        Sleep(70);
        SetTms(true);
        Sleep(70);
    }
}

// A busy wait: the lines' time stamps, not a flush, tell a virtual cable how long it lasted.
void LptJtag::DelayMicroseconds(uint32_t count) {
    clock_.DelayUs(count);
}

bool LptJtag::Sleep(uint32_t ms) {
    port_.Flush();
    // In slices, so that a stop ends a long wait within a slice.
    constexpr uint32_t kSlice = 10;
    while (ms > 0) {
        if (cancel_ != nullptr && cancel_->IsRaised()) return false;
        uint32_t step = std::min(ms, kSlice);
        clock_.SleepMs(step);
        ms -= step;
    }
    lastRestNs_ = clock_.Nanoseconds();
    return cancel_ == nullptr || !cancel_->IsRaised();
}

// The data register written twice a pulse with its own value: the pulses' timing without an edge.
double LptJtag::MeasureTclk() {
    port_.Flush();
    Pace();
    uint64_t start = clock_.Nanoseconds();
    for (int i = 0; i < kMeasurePulses; ++i) {
        Pace();
        WriteData();
        Pace();
        WriteData();
    }
    uint64_t elapsed = clock_.Nanoseconds() - start;
    tclkHz_ = elapsed == 0 ? 1e12 : kMeasurePulses * 1e9 / static_cast<double>(elapsed);
    return tclkHz_;
}

int LptJtag::MassErasePasses() const {
    // Unmeasured, the fastest rate allowed gives the most passes.
    double hz = tclkHz_ > 0 ? std::min(tclkHz_, kFlashMaxHz) : kFlashMaxHz;
    // A pass lasts its 5297 clocks of the timing generator, however long TCLK runs on.
    return static_cast<int>(std::ceil(kCumulativeEraseSeconds * hz / kMassEraseClocks));
}

}  // namespace quarzo
