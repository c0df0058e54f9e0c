// The fuse-blow add-on device: its frames and bit timings on the data line, and its identification and
// retries against the device model. The fuse blow itself runs with the JTAG runs.
#include <gtest/gtest.h>

#include <algorithm>

#include "sim/virtual_clock.h"
#include "support/jtag_sim_target.h"
#include "support/recording_port_io.h"

namespace quarzo {
namespace {

using testing::JtagSimTarget;
using testing::RecordingPortIo;
using Bytes = std::vector<uint8_t>;

constexpr uint8_t kDeviceLine = 0x80;  // data bit 7

// The low pulses on the device line (data bit 7) and the high gaps between them, in microseconds.
struct Waveform {
    std::vector<uint64_t> lows;
    std::vector<uint64_t> gaps;
};

Waveform PyrelLine(const RecordingPortIo& port) {
    Waveform w;
    bool high = true;
    bool seen = false;
    uint64_t edge = 0;
    for (const auto& a : port.accesses) {
        if (a.read || a.port != 0x378) continue;
        bool level = (a.value & kDeviceLine) != 0;
        if (level == high) continue;
        if (!level && seen) w.gaps.push_back(a.us - edge);
        if (level) w.lows.push_back(a.us - edge);
        seen = true;
        edge = a.us;
        high = level;
    }
    return w;
}

// The request bytes in a run of write pulses (60 us a 1, 600 us a 0), least significant bit first.
Bytes Decode(std::vector<uint64_t>::const_iterator from, size_t bytes) {
    Bytes out;
    for (size_t i = 0; i < bytes; ++i) {
        uint8_t b = 0;
        for (int bit = 0; bit < 8; ++bit, ++from) b = static_cast<uint8_t>(b | (*from == 60 ? 1 << bit : 0));
        out.push_back(b);
    }
    return out;
}

TEST(PyrelWire, RequestFramesAndBitTimings) {
    const uint8_t abc[] = {'a', 'b', 'c'};
    EXPECT_EQ(PyrelLink::Checksum(abc, 3), 0x0F);
    RecordingPortIo port;
    sim::VirtualClock clock;
    port.clock = &clock;
    LptCable cable(port, clock);
    uint8_t reply[PyrelLink::kReplySize];
    // Nothing answers: three transmissions, the third after a reset pulse.
    EXPECT_FALSE(PyrelLink(cable).Exchange(1, nullptr, 0, reply, 1));
    Waveform w = PyrelLine(port);
    // Each transmission: 32 request bits, then 8 read slots for a start byte that does not come.
    ASSERT_EQ(w.lows.size(), 3u * 40u + 1u);
    for (size_t at : {0u, 40u, 81u})
        EXPECT_EQ(Decode(w.lows.begin() + at, 4), (Bytes{0x55, 0x01, 0x00, 0x11}));
    // Seven ones of exactly 60 us low, twenty-five zeros of exactly 600.
    EXPECT_EQ(std::count(w.lows.begin(), w.lows.begin() + 32, 60u), 7);
    EXPECT_EQ(std::count(w.lows.begin(), w.lows.begin() + 32, 600u), 25);
    EXPECT_EQ(w.lows[80], 4800u);                                // the reset pulse before the third
    for (size_t i = 32; i < 40; ++i) EXPECT_EQ(w.lows[i], 60u);  // read slots
    // Highs: 640 after a 1, 100 after a 0, 700 more before each byte; the 1 ms reply wait; 640 after a
    // read slot (90 to the sample, 550 after it); after the reset pulse 700 + 4100 and the 10 ms wait.
    EXPECT_EQ(w.gaps[0], 640u);  // 0x55: bit 0 = 1
    EXPECT_EQ(w.gaps[1], 100u);  // bit 1 = 0
    EXPECT_EQ(w.gaps[7], 100u + 700u);
    EXPECT_EQ(w.gaps[31], 100u + 1000u);
    EXPECT_EQ(w.gaps[32], 640u);
    EXPECT_EQ(w.gaps[80], 700u + 4100u + 10'000u + 700u);
}

TEST(PyrelDevice, IdentificationLinesThroughTheAdapter) {
    JtagSimTarget t;
    t.AttachPyrel();
    char info[Adapter::kInfoSize];
    ASSERT_EQ(t.adapter->GetInfo(info), 0) << t.adapter->GetErrorCode();
    EXPECT_STREQ(info, "Pyrel hw 1.2 sw 3.4 sn 0A 05/06");
    t.pyrel.identification = {0xA7, 0x0F, 0x21, 0xFF};
    ASSERT_EQ(t.adapter->GetInfo(info), 0);
    EXPECT_STREQ(info, "Pyrel hw 10.7 sw 0.15 sn FF 01/02");
    // Afterwards the supply is on and the pins are released.
    EXPECT_EQ(t.target.ReadPort(0, 0) & 0xF0, 0xF0);
    EXPECT_EQ(t.target.ReadPort(2, 0), 0);

    // A corrupted reply, or one longer than eight bytes, is tried again, the third time after a reset
    // pulse; three detections later the device is not found.
    for (bool longReply : {false, true}) {
        t.pyrel.faults.corruptReply = !longReply;
        t.pyrel.faults.longReply = longReply;
        t.pyrel.commands.clear();
        uint32_t resets = t.pyrel.resetPulses;
        EXPECT_EQ(t.adapter->GetInfo(info), -1);
        EXPECT_EQ(t.adapter->GetErrorCode(), 14);
        // The device still sending the long reply misses the second request of each detection.
        EXPECT_EQ(t.pyrel.commands.size(), longReply ? 6u : 9u);
        EXPECT_EQ(t.pyrel.resetPulses - resets, 6u);
        EXPECT_STREQ(info, "");
    }
    EXPECT_STREQ(t.adapter->GetErrorText(14), "<Pyrel> not found");
}

}  // namespace
}  // namespace quarzo
