#pragma once

#include <cstdint>

#include "adapters/base/cancel_flag.h"
#include "adapters/jtag/jtag_pins.h"
#include "platform/clock.h"
#include "platform/port_io.h"

namespace quarzo {

// The JTAG cable on a PC parallel port: TDI, TMS, TCK and TEST on data bits 0-3, the target's supply
// on bits 4-7, TDO on status bit 5; on the control register the reset line (bits 0-1), the select
// line, and the enable and connect lines of the cable's buffers. Each level change is one write of
// the whole register; TCLK pulses are paced by the monotonic clock.
class LptCable final : public JtagPins {
public:
    // Half TCLK periods a measurement times (without a level change the chip could see).
    static constexpr int kMeasurePulses = 1000;

    LptCable(platform::PortIo& port, Clock& clock);

    void SetCancelFlag(const CancelFlag* flag) { cancel_ = flag; }
    // The port's base address; taken at the next access.
    void SetBase(uint16_t base) { base_ = base; }
    uint16_t Base() const { return base_; }

    void SetTdi(bool level) override { SetDataBit(kTdi, level); }
    void SetTms(bool level) override { SetDataBit(kTms, level); }
    void SetTck(bool level) override { SetDataBit(kTck, level); }
    bool Tdo() override;
    bool TdiLevel() const override { return (data_ & kTdi) != 0; }
    void TclkCycle(bool risingFirst) override;
    bool TclkStrobes(uint32_t count) override;
    void SetSupply(bool on) override;
    void SetReset(bool asserted) override;
    void SetTest(bool level) override { SetDataBit(kTest, level); }
    void Connect() override;
    void Release() override;
    bool Sleep(uint32_t ms) override;
    void DelayUs(uint32_t us) override { clock_.DelayUs(us); }
    bool Cancelled() const override { return cancel_ != nullptr && cancel_->IsRaised(); }
    void Flush() override { port_.Flush(); }

    // Times kMeasurePulses paced TCLK periods and returns the rate reached.
    double MeasureTclk();
    double TclkHz() const { return tclkHz_; }

    // The fuse-blow device's lines: its data line out (data bit 7) and in (status bit 4), its wake-up
    // line (data bit 6), and the select line that routes them.
    void SetDeviceLine(bool level) { SetDataBit(kDeviceOut, level); }
    void SetWakeLine(bool level) { SetDataBit(kWake, level); }
    bool DeviceLine();
    void SetSelect(bool on) { SetControlBit(kSelectLine, on); }

private:
    static constexpr uint8_t kTdi = 0x01;
    static constexpr uint8_t kTms = 0x02;
    static constexpr uint8_t kTck = 0x04;
    static constexpr uint8_t kTest = 0x08;
    static constexpr uint8_t kWake = 0x40;
    static constexpr uint8_t kDeviceOut = 0x80;
    static constexpr uint8_t kTdoIn = 0x20;
    static constexpr uint8_t kDeviceIn = 0x10;
    static constexpr uint8_t kResetLines = 0x03;
    static constexpr uint8_t kSelectLine = 0x02;
    static constexpr uint8_t kEnableLine = 0x04;
    static constexpr uint8_t kConnectLine = 0x08;
    // At most 300 ms busy, then 20 ms of rest: well inside the usual cap of 950 ms a second.
    static constexpr uint64_t kBusyNs = 300'000'000;
    static constexpr uint32_t kRestMs = 20;

    void WriteData();
    void WriteControl();
    void SetDataBit(uint8_t mask, bool level);
    void SetControlBit(uint8_t mask, bool on);
    void SetEnable(bool on);
    uint8_t ReadStatus();
    void Pace();

    platform::PortIo& port_;
    Clock& clock_;
    const CancelFlag* cancel_ = nullptr;
    uint16_t base_ = 0x378;
    uint8_t data_ = 0;
    uint8_t control_ = 0;
    uint64_t tclkHalfNs_;
    uint64_t nextEdgeNs_ = 0;
    uint64_t lastRestNs_ = 0;
    double tclkHz_ = 0;
};

}  // namespace quarzo
