// The parallel-port JTAG signalling on the wire: every register write, in order.
#include <gtest/gtest.h>

#include <algorithm>

#include "adapters/jtag/lpt_jtag.h"
#include "sim/virtual_clock.h"
#include "support/recording_port_io.h"

namespace quarzo {
namespace {

using testing::RecordingPortIo;
using Bytes = std::vector<uint8_t>;

constexpr uint16_t kData = 0x378;
constexpr uint16_t kStatus = 0x379;
constexpr uint16_t kControl = 0x37A;

class LptWire : public ::testing::Test {
protected:
    LptWire() : jtag_(port_, clock_) { port_.accesses.clear(); }
    // Supply on, TDI (TCLK) high, TMS and TCK low: the lines between two operations.
    void Idle(uint8_t data = 0xF1) { jtag_.dataShadow = data; }

    RecordingPortIo port_;
    sim::VirtualClock clock_;
    LptJtag jtag_;
};

TEST_F(LptWire, InstructionShiftIsLeastSignificantBitFirstAndRestoresTclk) {
    Idle();
    port_.QueueTdo(0x89, 8);
    EXPECT_EQ(jtag_.IrShift(0x13), 0x89);
    Bytes expected = {
        0xF3, 0xF3, 0xF7, 0xF3, 0xF7,  // TMS high: Select-DR, Select-IR
        0xF5, 0xF1, 0xF5, 0xF1, 0xF5,  // TMS low: Capture-IR, Shift-IR
        0xF5, 0xF1, 0xF5,              // bit 0 = 1
        0xF5, 0xF1, 0xF5,              // bit 1 = 1
        0xF4, 0xF0, 0xF4,              // bit 2 = 0
        0xF4, 0xF0, 0xF4,              // bit 3 = 0
        0xF5, 0xF1, 0xF5,              // bit 4 = 1
        0xF4, 0xF0, 0xF4,              // bit 5 = 0
        0xF4, 0xF0, 0xF4,              // bit 6 = 0
        0xF4, 0xF6, 0xF2, 0xF6,        // bit 7 = 0 with TMS high: Exit1-IR
        0xF7,                          // TCLK back to its level before the shift
        0xF3, 0xF7, 0xF5, 0xF1, 0xF5,  // Update-IR, Run-Test/Idle
        0xF7,                          // TMS high
    };
    EXPECT_EQ(port_.Writes(kData), expected);
    EXPECT_EQ(port_.Writes(kControl), Bytes{});
}

TEST_F(LptWire, DataShiftIsMostSignificantBitFirstAndAtMostSixteenBits) {
    Idle(0xF0);  // TCLK low this time
    port_.QueueTdo(0xA55A, 16);
    EXPECT_EQ(jtag_.DrShift(0x8001, 20), 0xA55A);
    Bytes writes = port_.Writes(kData);
    // Select-DR, Capture-DR, Shift-DR, 16 bits, Update-DR, Run-Test/Idle.
    EXPECT_EQ(port_.RisingEdges(kData, LptJtag::kTck, 0xF0), 3u + 16u + 2u);
    EXPECT_EQ(port_.status.size(), 0u);
    // The first bit shifted is bit 15 (1), then fourteen zeros, then bit 0 (1) together with TMS.
    EXPECT_EQ(writes[8], 0xF5);
    EXPECT_EQ(writes[11], 0xF4);
    EXPECT_EQ(writes[writes.size() - 11], 0xF5);  // bit 0 = 1, then TMS high: Exit1-DR
    EXPECT_EQ(writes[writes.size() - 10], 0xF7);
    // TCLK (TDI) ends low as it began: the target saw no TCLK edge.
    EXPECT_EQ(writes.back() & LptJtag::kTdi, 0);
    EXPECT_EQ(jtag_.DrShift(0x0001, 8), 0);
    EXPECT_EQ(jtag_.DrShift(0, 0), 0);
}

TEST_F(LptWire, TclkStrobesGiveOneLessPulseThanTheirCount) {
    for (uint32_t count : {39u, 4820u, 5300u}) {
        Idle(0xF0);
        port_.accesses.clear();
        jtag_.TclkStrobes(count);
        EXPECT_EQ(port_.RisingEdges(kData, LptJtag::kTdi, 0xF0), count - 1) << count;
        EXPECT_EQ(port_.Writes(kData).size(), 2 * (count - 1)) << count;
    }
}

TEST_F(LptWire, SupplyResetAndReleasedPins) {
    jtag_.dataShadow = 0x00;
    jtag_.SetTargetPower(true);
    EXPECT_EQ(port_.Writes(kData), (Bytes{0xE0, 0xF0}));
    EXPECT_EQ(clock_.NowUs(), 10'000u);

    port_.accesses.clear();
    jtag_.controlShadow = 0x0F;
    jtag_.dataShadow = 0xF0;
    jtag_.ReleasePins();
    // TDI, TMS, TCK high and the Pyrel line high; all four control bits clear; supply kept.
    EXPECT_EQ(port_.Writes(kData), (Bytes{0xF0, 0xF2, 0xF6, 0xF7, 0xF7}));
    EXPECT_EQ(port_.Writes(kControl), (Bytes{0x05, 0x04, 0x00}));

    port_.accesses.clear();
    jtag_.ConnectJtag();
    EXPECT_EQ(port_.Writes(kControl).back(), LptJtag::kConnectLine | LptJtag::kEnableLine);

    port_.accesses.clear();
    jtag_.SetResetLines(true);
    EXPECT_EQ(port_.Writes(kControl), (Bytes{0x0F}));
    jtag_.ShutdownPins(true);
    EXPECT_EQ(port_.Writes(kData)[0], 0x07);  // supply off first, then the pins released
}

TEST_F(LptWire, TapResetWalksToIdleThenPulsesTmsForTheFuseCheckWithTckAndTdiHigh) {
    Idle(0xF0);
    jtag_.ResetTap();
    Bytes writes = port_.Writes(kData);
    // Six TCK pulses with TMS high, Run-Test/Idle, then two TMS pulses with 70 ms in each phase.
    EXPECT_EQ(clock_.NowUs(), 4u * 70'000u);
    EXPECT_EQ(port_.RisingEdges(kData, LptJtag::kTck, 0xF0), 7u);
    EXPECT_EQ(writes.front(), 0xF1);  // TDI high first: the fuse check wants it so
    EXPECT_EQ(Bytes(writes.end() - 6, writes.end()), (Bytes{0xF1, 0xF5, 0xF5, 0xF7, 0xF5, 0xF7}));
}

TEST_F(LptWire, LongWaitsEndOnceTheRunIsCancelled) {
    CancelFlag cancel;
    jtag_.SetCancelFlag(&cancel);
    clock_.onAdvance = [&](uint64_t now) {
        if (now >= 25'000) cancel.Raise();
    };
    EXPECT_FALSE(jtag_.Sleep(3000));
    EXPECT_LT(clock_.NowUs(), 40'000u);
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

TEST(TclkPacing, PulsesComeAtTheMiddleOfTheFlashRangeAndASlowPortIsFound) {
    RecordingPortIo port;
    sim::VirtualClock fast;
    LptJtag jtag(port, fast);
    jtag.dataShadow = 0xF0;
    double hz = jtag.MeasureTclk();
    EXPECT_NEAR(hz, LptJtag::kTclkTargetHz, 2000);
    EXPECT_TRUE(LptJtag::TclkUsable(hz));
    // The measurement writes the register as it stands: the chip sees no edge.
    EXPECT_EQ(port.Writes(0x378), Bytes(2 * LptJtag::kMeasurePulses, 0xF0));
    // Strobes after a gap start at once but never faster than the pace.
    fast.Advance(1000);
    uint64_t before = fast.Nanoseconds();
    jtag.TclkStrobes(39);
    double strobeHz = 38 * 1e9 / static_cast<double>(fast.Nanoseconds() - before);
    EXPECT_NEAR(strobeHz, LptJtag::kTclkTargetHz, 10'000);
    // A mass erase adds up 200 ms and a margin at the measured rate: 16 passes of 5297 clocks.
    EXPECT_EQ(jtag.MassErasePasses(), 16);

    for (uint64_t accessNs : {1500u, 700u}) {
        SlowPortClock slow(accessNs);
        LptJtag onSlow(port, slow);
        double reached = onSlow.MeasureTclk();
        // 1.5 us an access: 333 kHz at best, still in range; 0.7 us keeps the pace.
        EXPECT_TRUE(LptJtag::TclkUsable(reached)) << accessNs;
    }
    SlowPortClock slow(2000);
    LptJtag onSlow(port, slow);
    double reached = onSlow.MeasureTclk();
    EXPECT_NEAR(reached, 250'000, 1000);
    EXPECT_FALSE(LptJtag::TclkUsable(reached));
    EXPECT_FALSE(LptJtag::TclkUsable(LptJtag::kFlashMaxHz));
}

}  // namespace
}  // namespace quarzo
