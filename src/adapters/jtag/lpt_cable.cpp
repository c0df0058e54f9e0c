#include "adapters/jtag/lpt_cable.h"

#include <algorithm>

#include "adapters/jtag/flash_clock.h"

namespace quarzo {
namespace {

constexpr uint16_t kDataRegister = 0;
constexpr uint16_t kStatusRegister = 1;
constexpr uint16_t kControlRegister = 2;

}  // namespace

LptCable::LptCable(platform::PortIo& port, Clock& clock)
    : port_(port), clock_(clock), tclkHalfNs_(static_cast<uint64_t>(5e8 / flash_clock::kTargetHz)) {
    port_.OpenDriver();
}

void LptCable::WriteData() {
    port_.WritePort(static_cast<uint16_t>(base_ + kDataRegister), data_);
}

void LptCable::WriteControl() {
    port_.WritePort(static_cast<uint16_t>(base_ + kControlRegister), control_);
}

uint8_t LptCable::ReadStatus() {
    return static_cast<uint8_t>(port_.ReadPort(static_cast<uint16_t>(base_ + kStatusRegister)));
}

void LptCable::SetDataBit(uint8_t mask, bool level) {
    data_ = static_cast<uint8_t>(level ? data_ | mask : data_ & ~mask);
    WriteData();
}

void LptCable::SetControlBit(uint8_t mask, bool on) {
    control_ = static_cast<uint8_t>(on ? control_ | mask : control_ & ~mask);
    WriteControl();
}

bool LptCable::Tdo() {
    return (ReadStatus() & kTdoIn) != 0;
}

bool LptCable::DeviceLine() {
    return (ReadStatus() & kDeviceIn) != 0;
}

// TCLK times the target's flash: each level waits for its half period since the last one on the
// monotonic clock. After a gap (a shift between pulses) the next pulse starts at once; pulses never
// come faster to make up for it.
void LptCable::Pace() {
    uint64_t now = clock_.Nanoseconds();
    if (now < nextEdgeNs_) {
        clock_.DelayUntilNs(nextEdgeNs_);
        now = nextEdgeNs_;
    }
    nextEdgeNs_ = now + tclkHalfNs_;
}

void LptCable::TclkCycle(bool risingFirst) {
    Pace();
    SetDataBit(kTdi, risingFirst);
    Pace();
    SetDataBit(kTdi, !risingFirst);
}

// Writes a backend holds back go out first, so that none has to wait in the middle of the burst. A
// thread that has run without a pause for a while rests before the burst: a system that caps the time
// of real-time threads would otherwise stop it in the middle of one.
bool LptCable::TclkStrobes(uint32_t count) {
    if (clock_.Nanoseconds() - lastRestNs_ >= kBusyNs) Sleep(kRestMs);
    port_.Flush();
    uint64_t start = clock_.Nanoseconds();
    for (uint32_t i = 1; i < count; ++i) TclkCycle(true);
    // Whether the burst kept its pace: a thread stopped in the middle of it clocked the flash too slowly.
    uint64_t elapsed = clock_.Nanoseconds() - start;
    return count < 3 || elapsed == 0 ||
           (count - 2) * 1e9 / static_cast<double>(elapsed) >= flash_clock::kMinHz + flash_clock::kMarginHz;
}

// The supply's upper bits first, then the last one: the cable's regulator starts softly.
void LptCable::SetSupply(bool on) {
    if (on) {
        data_ |= 0xE0;
        WriteData();
        data_ |= 0x10;
    } else {
        data_ &= 0x0F;
    }
    WriteData();
    Sleep(10);
}

void LptCable::SetReset(bool asserted) {
    SetControlBit(kResetLines, asserted);
    if (!asserted) Sleep(10);
}

void LptCable::SetEnable(bool on) {
    Sleep(10);
    SetControlBit(kEnableLine, on);
    Sleep(10);
}

void LptCable::Release() {
    SetControlBit(kSelectLine | kConnectLine, false);
    if (data_ & kTest) SetTest(false);
    SetTdi(false);
    SetTms(true);
    SetTck(true);
    SetTdi(true);
    SetReset(false);
    SetEnable(false);
    SetDeviceLine(true);
}

void LptCable::Connect() {
    Release();
    SetControlBit(kConnectLine, true);
    SetEnable(true);
}

bool LptCable::Sleep(uint32_t ms) {
    port_.Flush();
    // In slices, so that a stop ends a long wait within a slice.
    constexpr uint32_t kSlice = 10;
    while (ms > 0) {
        if (Cancelled()) return false;
        uint32_t step = std::min(ms, kSlice);
        clock_.SleepMs(step);
        ms -= step;
    }
    lastRestNs_ = clock_.Nanoseconds();
    return !Cancelled();
}

// The data register written twice a period with its own value: the pulses' timing without an edge.
double LptCable::MeasureTclk() {
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

}  // namespace quarzo
