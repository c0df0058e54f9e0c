// The parallel-port cable and the MSP430 JTAG layer on its pins, on the wire: every register write, in
// order.
#include <gtest/gtest.h>

#include <algorithm>

#include "adapters/jtag/flash_clock.h"
#include "adapters/jtag/lpt_cable.h"
#include "adapters/jtag/msp430_jtag.h"
#include "sim/virtual_clock.h"
#include "support/recording_port_io.h"

namespace quarzo {
namespace {

using testing::RecordingPortIo;
using Bytes = std::vector<uint8_t>;

constexpr uint16_t kData = 0x378;
constexpr uint16_t kControl = 0x37A;
// The cable's wiring: TDI (TCLK), TMS, TCK on data bits 0-2.
constexpr uint8_t kTdi = 0x01;
constexpr uint8_t kTck = 0x04;

class LptWire : public ::testing::Test {
protected:
    LptWire() : cable_(port_, clock_), jtag_(cable_) {}
    // Supply on, TMS and TCK low, TCLK (TDI) at the level given: the lines between two operations.
    void Idle(bool tclk) {
        cable_.SetSupply(true);
        cable_.SetTck(false);
        cable_.SetTms(false);
        cable_.SetTdi(tclk);
        port_.accesses.clear();
    }

    RecordingPortIo port_;
    sim::VirtualClock clock_;
    LptCable cable_;
    Msp430Jtag jtag_;
};

TEST_F(LptWire, ShiftsWalkTheTapAndLeaveTclkAsTheyFoundIt) {
    Idle(true);
    port_.QueueTdo(0x89, 8);
    EXPECT_EQ(jtag_.IrShift(0x13), 0x89);  // least significant bit first
    Bytes expected = {
        0xF3, 0xF3, 0xF7, 0xF3, 0xF7,  // TMS high: Select-DR, Select-IR
        0xF5, 0xF1, 0xF5, 0xF1, 0xF5,  // TMS low: Capture-IR, Shift-IR
        0xF5, 0xF1, 0xF5, 0xF5, 0xF1, 0xF5,  // bits 0, 1 = 1
        0xF4, 0xF0, 0xF4, 0xF4, 0xF0, 0xF4,  // bits 2, 3 = 0
        0xF5, 0xF1, 0xF5,                    // bit 4 = 1
        0xF4, 0xF0, 0xF4, 0xF4, 0xF0, 0xF4,  // bits 5, 6 = 0
        0xF4, 0xF6, 0xF2, 0xF6,              // bit 7 = 0 with TMS high: Exit1-IR
        0xF7,                                // TCLK back to its level before the shift
        0xF3, 0xF7, 0xF5, 0xF1, 0xF5,        // Update-IR, Run-Test/Idle
        0xF7,                                // TMS high
    };
    EXPECT_EQ(port_.Writes(kData), expected);
    EXPECT_EQ(port_.Writes(kControl), Bytes{});

    // Data: most significant bit first, at most 16 bits, TCLK low kept low; no capture, no reads.
    Idle(false);
    port_.QueueTdo(0xA55A, 16);
    EXPECT_EQ(jtag_.DrShift(0x8001, 20), 0xA55A);
    Bytes writes = port_.Writes(kData);
    EXPECT_EQ(port_.RisingEdges(kData, kTck, 0xF0), 3u + 16u + 2u);
    EXPECT_EQ(writes[8], 0xF5);                    // bit 15 = 1
    EXPECT_EQ(writes[11], 0xF4);                   // bit 14 = 0
    EXPECT_EQ(writes[writes.size() - 11], 0xF5);   // bit 0 = 1, then TMS high: Exit1-DR
    EXPECT_EQ(writes[writes.size() - 10], 0xF7);
    EXPECT_EQ(port_.RisingEdges(kData, kTdi, 0xF0), 2u);  // only the two one bits
    EXPECT_EQ(writes.back() & kTdi, 0);
    port_.accesses.clear();
    jtag_.DrShift(0x1234, 16, false);
    EXPECT_EQ(port_.Reads(), 0u);
}

TEST_F(LptWire, TclkStrobesGiveOneLessPulseThanTheirCount) {
    for (uint32_t count : {39u, 4820u}) {
        Idle(false);
        cable_.TclkStrobes(count);
        EXPECT_EQ(port_.RisingEdges(kData, kTdi, 0xF0), count - 1) << count;
        EXPECT_EQ(port_.Writes(kData).size(), 2 * (count - 1)) << count;
    }
}

TEST_F(LptWire, SupplyResetConnectAndRelease) {
    cable_.SetSupply(true);
    EXPECT_EQ(port_.Writes(kData), (Bytes{0xE0, 0xF0}));
    EXPECT_EQ(clock_.NowUs(), 10'000u);

    port_.accesses.clear();
    cable_.Connect();
    // Released first: TDI, TMS, TCK high and the device line high; then the connect and enable lines.
    EXPECT_EQ(port_.Writes(kData), (Bytes{0xF0, 0xF2, 0xF6, 0xF7, 0xF7}));
    EXPECT_EQ(port_.Writes(kControl), (Bytes{0x00, 0x00, 0x00, 0x08, 0x0C}));

    port_.accesses.clear();
    cable_.SetReset(true);
    cable_.SetSelect(true);
    cable_.Release();
    EXPECT_EQ(port_.Writes(kControl), (Bytes{0x0F, 0x0F, 0x05, 0x04, 0x00}));
    cable_.SetSupply(false);
    EXPECT_EQ(port_.Writes(kData).back(), 0x07);
}

// A port whose every access takes accessNs: the pulses cannot come faster than two accesses.
class SlowPortClock final : public Clock {
public:
    explicit SlowPortClock(uint64_t accessNs) : accessNs_(accessNs) {}
    uint32_t TickMs() override { return static_cast<uint32_t>(now_ / 1'000'000); }
    void SleepMs(uint32_t ms) override { now_ += uint64_t{ms} * 1'000'000; }
    uint64_t Microseconds() override { return now_ / 1000; }
    void DelayUs(uint32_t us) override { now_ += uint64_t{us} * 1000; }
    // Pacing reads the clock once before each write.
    uint64_t Nanoseconds() override { return now_ += accessNs_; }
    void DelayUntilNs(uint64_t ns) override { now_ = std::max(now_, ns); }

private:
    uint64_t accessNs_;
    uint64_t now_ = 0;
};

TEST_F(LptWire, PulsesComeAtTheMiddleOfTheFlashRangeAndASlowPortIsFound) {
    Idle(false);
    double hz = cable_.MeasureTclk();
    EXPECT_NEAR(hz, flash_clock::kTargetHz, 2000);
    EXPECT_TRUE(flash_clock::Usable(hz));
    // The measurement writes the register as it stands: the chip sees no edge.
    EXPECT_EQ(port_.Writes(kData), Bytes(2 * LptCable::kMeasurePulses, 0xF0));
    // Strobes after a gap start at once but never faster than the pace.
    clock_.Advance(1000);
    uint64_t before = clock_.Nanoseconds();
    EXPECT_TRUE(cable_.TclkStrobes(39));
    EXPECT_NEAR(38 * 1e9 / static_cast<double>(clock_.Nanoseconds() - before), flash_clock::kTargetHz, 10'000);
    // A mass erase adds up 200 ms and a margin at the measured rate: 16 passes of 5297 clocks.
    EXPECT_EQ(Msp430Jtag::MassErasePasses(hz), 16);
    EXPECT_EQ(Msp430Jtag::MassErasePasses(0), 20);  // unmeasured: the fastest rate allowed
    EXPECT_EQ(Msp430Jtag::MassErasePasses(280'000), 16);  // a measurement held up: the pulses keep the pace

    // 1.5 us an access: 333 kHz at best, still in range; 0.7 us keeps the pace; 2 us is too slow.
    for (uint64_t accessNs : {1500u, 700u, 2000u}) {
        SlowPortClock slow(accessNs);
        LptCable onSlow(port_, slow);
        double reached = onSlow.MeasureTclk();
        EXPECT_EQ(flash_clock::Usable(reached), accessNs < 2000) << accessNs << " " << reached;
        // A burst at this pace is reported as too slow for the flash exactly when the port is.
        EXPECT_EQ(onSlow.TclkStrobes(39), accessNs < 2000) << accessNs;
    }
    EXPECT_FALSE(flash_clock::Usable(flash_clock::kMaxHz));
}

}  // namespace
}  // namespace quarzo
