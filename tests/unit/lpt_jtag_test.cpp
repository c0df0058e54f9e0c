// The parallel-port JTAG signalling on the wire: every register write, in order.
#include <gtest/gtest.h>

#include <deque>

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
    for (uint32_t count : {39u, 4820u, 10000u}) {
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

TEST_F(LptWire, TapResetPulsesTmsForTheFuseCheckThenWalksToIdle) {
    Idle();
    jtag_.ResetTap();
    Bytes writes = port_.Writes(kData);
    // TCK low, two TMS pulses with 70 ms in each phase, six TCK pulses with TMS high.
    EXPECT_EQ(clock_.NowUs(), 4u * 70'000u);
    EXPECT_EQ(Bytes(writes.begin(), writes.begin() + 5), (Bytes{0xF1, 0xF1, 0xF3, 0xF1, 0xF3}));
    EXPECT_EQ(port_.RisingEdges(kData, LptJtag::kTck, 0xF1), 7u);
    EXPECT_EQ(writes.back(), 0xF5);  // TMS low, TCK high: Run-Test/Idle
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

// A clock whose tick counter follows a script: one entry per reading.
class ScriptedTicks final : public Clock {
public:
    explicit ScriptedTicks(std::deque<uint32_t> ticks) : ticks_(std::move(ticks)) {}
    uint32_t TickMs() override {
        if (ticks_.empty()) return last_;
        last_ = ticks_.front();
        ticks_.pop_front();
        ++readings;
        return last_;
    }
    void SleepMs(uint32_t) override {}
    uint64_t Microseconds() override { return 0; }
    void DelayUs(uint32_t) override {}
    int readings = 0;

private:
    std::deque<uint32_t> ticks_;
    uint32_t last_ = 0;
};

TEST(CalibrateTclk, FollowsTheMeasuredRate) {
    RecordingPortIo port;
    auto calibrate = [&](std::deque<uint32_t> ticks, uint32_t start) {
        ScriptedTicks clock(std::move(ticks));
        LptJtag jtag(port, clock);
        jtag.tclkDelay = start;
        jtag.CalibrateTclk();
        return std::make_pair(jtag.tclkDelay, clock.readings / 2);
    };
    // 9999 pulses in under a millisecond: dt counts as 1, +8 per pass, 50 passes at most.
    EXPECT_EQ(calibrate({}, 1), std::make_pair(401u, 0));
    std::deque<uint32_t> zero;
    for (int i = 0; i < 120; ++i) zero.push_back(5);
    EXPECT_EQ(calibrate(zero, 1), std::make_pair(401u, 50));
    // 60 ms: 333 pulses per ms is in range at once.
    EXPECT_EQ(calibrate({100, 160}, 9), std::make_pair(9u, 1));
    // 20 ms (rate 1000) then 50 ms (400): one raise, then in range.
    EXPECT_EQ(calibrate({0, 20, 20, 70}, 1), std::make_pair(9u, 2));
    // Too slow (rate 200): lowered by one a pass, never below 1.
    EXPECT_EQ(calibrate({0, 100, 100, 200, 200, 300}, 3), std::make_pair(1u, 3));
    // The counter wraps between readings.
    EXPECT_EQ(calibrate({0xFFFFFFF0u, 0x00000020u}, 4), std::make_pair(4u, 1));
}

}  // namespace
}  // namespace quarzo
