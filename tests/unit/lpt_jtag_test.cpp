// The parallel-port cable on the wire: the register writes the chip model cannot judge (the supply's soft
// start, the order of the cable's lines, reads left out) and the pace of TCLK.
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
constexpr uint8_t kTdi = 0x01;  // TCLK

class LptWire : public ::testing::Test {
protected:
    LptWire() : cable_(port_, clock_), jtag_(cable_) {}
    RecordingPortIo port_;
    sim::VirtualClock clock_;
    LptCable cable_;
    Msp430Jtag jtag_;
};

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

    // A shift whose result nobody needs reads nothing: reads are a real port's slowest accesses.
    port_.accesses.clear();
    jtag_.IrShift(0x13, false);
    jtag_.DrShift(0x1234, 16, false);
    EXPECT_EQ(port_.Reads(), 0u);
    EXPECT_GT(port_.accesses.size(), 0u);
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
    cable_.SetSupply(true);
    port_.accesses.clear();
    double hz = cable_.MeasureTclk();
    EXPECT_NEAR(hz, flash_clock::kTargetHz, 2000);
    EXPECT_TRUE(flash_clock::Usable(hz));
    // The measurement writes the register as it stands: the chip sees no edge.
    EXPECT_EQ(port_.Writes(kData), Bytes(2 * LptCable::kMeasurePulses, 0xF0));
    // Strobes after a gap start at once but never faster than the pace: one pulse less than their count.
    clock_.Advance(1000);
    port_.accesses.clear();
    uint64_t before = clock_.Nanoseconds();
    EXPECT_TRUE(cable_.TclkStrobes(39));
    Bytes pulse = {0xF0 | kTdi, 0xF0}, pulses;
    for (int i = 0; i < 38; ++i) pulses.insert(pulses.end(), pulse.begin(), pulse.end());
    EXPECT_EQ(port_.Writes(kData), pulses);
    EXPECT_NEAR(38 * 1e9 / static_cast<double>(clock_.Nanoseconds() - before), flash_clock::kTargetHz,
                10'000);
    // A mass erase adds up 200 ms and a margin at the measured rate: 16 passes of 5297 clocks.
    EXPECT_EQ(Msp430Jtag::MassErasePasses(hz), 16);
    EXPECT_EQ(Msp430Jtag::MassErasePasses(0), 20);        // unmeasured: the fastest rate allowed
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
