// The parallel-port cable on the wire: the register writes the chip model cannot judge (the supply's soft
// start, the order of the cable's lines, reads left out), the pace of TCLK, and the frames and bit timings
// of the fuse-blow device's line.
#include <gtest/gtest.h>

#include <algorithm>

#include "adapters/jtag/flash_clock.h"
#include "adapters/jtag/lpt_cable.h"
#include "adapters/jtag/msp430_jtag.h"
#include "adapters/jtag/pyrel_link.h"
#include "sim/virtual_clock.h"

namespace quarzo {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint16_t kData = 0x378;
constexpr uint16_t kControl = 0x37A;
constexpr uint8_t kTdi = 0x01;  // TCLK
constexpr uint8_t kDeviceLine = 0x80;

// A parallel port that keeps every write with its time on the clock and counts the reads (which answer 0).
// Each write takes accessNs.
class RecordingPortIo final : public platform::PortIo {
public:
    struct Write {
        uint16_t port;
        uint8_t value;
        uint64_t us;
    };
    explicit RecordingPortIo(sim::VirtualClock& clock) : clock_(clock) {}
    bool OpenDriver() override { return ready_ = true; }
    void CloseDriver() override {}
    uint32_t ReadPort(uint16_t) override {
        ++reads;
        return 0;
    }
    bool WritePort(uint16_t port, uint8_t value) override {
        clock_.AdvanceNs(accessNs);
        writes.push_back({port, value, clock_.Microseconds()});
        return true;
    }
    Bytes Writes(uint16_t port) const {
        Bytes out;
        for (const Write& w : writes) {
            if (w.port == port) out.push_back(w.value);
        }
        return out;
    }

    std::vector<Write> writes;
    size_t reads = 0;
    uint64_t accessNs = 0;

private:
    sim::VirtualClock& clock_;
};

class LptWire : public ::testing::Test {
protected:
    sim::VirtualClock clock_;
    RecordingPortIo port_{clock_};
    LptCable cable_{port_, clock_};
    Msp430Jtag jtag_{cable_};
};

TEST_F(LptWire, SupplyResetConnectAndRelease) {
    cable_.SetSupply(true);
    EXPECT_EQ(port_.Writes(kData), (Bytes{0xE0, 0xF0}));
    EXPECT_EQ(clock_.NowUs(), 10'000u);

    port_.writes.clear();
    cable_.Connect();
    // Released first: TDI, TMS, TCK high and the device line high; then the connect and enable lines.
    EXPECT_EQ(port_.Writes(kData), (Bytes{0xF0, 0xF2, 0xF6, 0xF7, 0xF7}));
    EXPECT_EQ(port_.Writes(kControl), (Bytes{0x00, 0x00, 0x00, 0x08, 0x0C}));

    port_.writes.clear();
    cable_.SetReset(true);
    cable_.SetSelect(true);
    cable_.Release();
    EXPECT_EQ(port_.Writes(kControl), (Bytes{0x0F, 0x0F, 0x05, 0x04, 0x00}));
    cable_.SetSupply(false);
    EXPECT_EQ(port_.Writes(kData).back(), 0x07);

    // A shift whose result nobody needs reads nothing: reads are a real port's slowest accesses.
    port_.writes.clear();
    jtag_.IrShift(0x13, false);
    jtag_.DrShift(0x1234, 16, false);
    EXPECT_FALSE(port_.Writes(kData).empty());
    EXPECT_EQ(port_.reads, 0u);
}

TEST_F(LptWire, PulsesComeAtTheMiddleOfTheFlashRangeAndASlowPortIsFound) {
    cable_.SetSupply(true);
    port_.writes.clear();
    double hz = cable_.MeasureTclk();
    EXPECT_NEAR(hz, flash_clock::kTargetHz, 2000);
    // The measurement writes the register as it stands: the chip sees no edge.
    EXPECT_EQ(port_.Writes(kData), Bytes(2 * LptCable::kMeasurePulses, 0xF0));
    // Strobes after a gap start at once but never faster than the pace: one pulse less than their count.
    clock_.Advance(1000);
    port_.writes.clear();
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

    // The pulses cannot come faster than two writes. 1.5 us a write: 333 kHz at best, still in range; 0.7 us
    // keeps the pace; 2 us is too slow.
    for (uint64_t accessNs : {1500u, 700u, 2000u}) {
        port_.accessNs = accessNs;
        double reached = cable_.MeasureTclk();
        EXPECT_EQ(flash_clock::Usable(reached), accessNs < 2000) << accessNs << " " << reached;
        // A burst at this pace is reported as too slow for the flash exactly when the port is.
        EXPECT_EQ(cable_.TclkStrobes(39), accessNs < 2000) << accessNs;
    }
    EXPECT_FALSE(flash_clock::Usable(flash_clock::kMaxHz));
}

TEST_F(LptWire, PyrelRequestFramesAndBitTimings) {
    uint8_t reply[PyrelLink::kReplySize];
    // Nothing answers: three transmissions, the third after a reset pulse.
    EXPECT_FALSE(PyrelLink(cable_).Exchange(1, nullptr, 0, reply, 1));
    // The high gaps on the device line (data bit 7; the first one from the start) and the low pulses
    // between them, in microseconds.
    std::vector<uint64_t> gaps, lows;
    bool high = true;
    uint64_t edge = 0;
    for (const auto& a : port_.writes) {
        bool level = (a.value & kDeviceLine) != 0;
        if (a.port != kData || level == high) continue;
        (level ? lows : gaps).push_back(a.us - edge);
        edge = a.us;
        high = level;
    }
    // Each transmission: 32 request bits (60 us low a 1, 600 us a 0, least significant bit first), then 8
    // read slots for a start byte that does not come.
    ASSERT_EQ(lows.size(), 3u * 40u + 1u);
    for (size_t at : {0u, 40u, 81u}) {
        Bytes request(4);
        for (size_t bit = 0; bit < 32; ++bit)
            request[bit / 8] = static_cast<uint8_t>(request[bit / 8] | (lows[at + bit] == 60) << bit % 8);
        EXPECT_EQ(request, (Bytes{0x55, 0x01, 0x00, 0x11}));
    }
    // The ones are exactly 60 us low (else they decode as zeros), the twenty-five zeros exactly 600.
    EXPECT_EQ(std::count(lows.begin(), lows.begin() + 32, 600u), 25);
    EXPECT_EQ(lows[80], 4800u);                                // the reset pulse before the third
    for (size_t i = 32; i < 40; ++i) EXPECT_EQ(lows[i], 60u);  // read slots
    // Highs: 640 after a 1, 100 after a 0, 700 more before each byte; the 1 ms reply wait; 640 after a
    // read slot (90 to the sample, 550 after it); after the reset pulse 700 + 4100 and the 10 ms wait.
    EXPECT_EQ(gaps[1], 640u);  // 0x55: bit 0 = 1
    EXPECT_EQ(gaps[2], 100u);  // bit 1 = 0
    EXPECT_EQ(gaps[8], 100u + 700u);
    EXPECT_EQ(gaps[32], 100u + 1000u);
    EXPECT_EQ(gaps[33], 640u);
    EXPECT_EQ(gaps[81], 700u + 4100u + 10'000u + 700u);
}

}  // namespace
}  // namespace quarzo
