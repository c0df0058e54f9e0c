// The fuse-blow add-on device: its frames and bit timings on the data line, detection and retries, and
// the fuse blow through the engine against the device and chip models.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "engine/programmer.h"
#include "sim/virtual_clock.h"
#include "support/jtag_sim_target.h"
#include "support/recording_log_sink.h"
#include "support/recording_port_io.h"

namespace quarzo {
namespace {

using testing::JtagSimTarget;
using testing::RecordingLogSink;
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

// Status answers that put a byte on the device line in eight read slots.
void QueueByte(RecordingPortIo& port, uint8_t byte) {
    for (int i = 0; i < 8; ++i) port.status.push_back((byte >> i & 1) ? 0x10 : 0x00);
}

class PyrelWire : public ::testing::Test {
protected:
    PyrelWire() : cable_(port_, clock_), link_(cable_) { port_.clock = &clock_; }
    RecordingPortIo port_;
    sim::VirtualClock clock_;
    LptCable cable_;
    PyrelLink link_;
    uint8_t reply_[PyrelLink::kReplySize] = {};
};

TEST(PyrelChecksum, Examples) {
    const uint8_t abc[] = {'a', 'b', 'c'};
    EXPECT_EQ(PyrelLink::Checksum(abc, 3), 0x0F);
    const uint8_t withSum[] = {0x01, 0x00, 0x11};
    EXPECT_EQ(PyrelLink::Checksum(withSum, 2), 0x11);
    EXPECT_EQ(PyrelLink::Checksum(withSum, 3), 0x00);
}

TEST_F(PyrelWire, RequestFramesAndBitTimings) {
    // Nothing answers: three transmissions, the third after a reset pulse.
    EXPECT_FALSE(link_.Exchange(1, nullptr, 0, reply_, 1));
    Waveform w = PyrelLine(port_);
    // Each transmission: 32 request bits, then 8 read slots for a start byte that does not come.
    ASSERT_EQ(w.lows.size(), 3u * 40u + 1u);
    EXPECT_EQ(Decode(w.lows.begin(), 4), (Bytes{0x55, 0x01, 0x00, 0x11}));
    // Seven ones of exactly 60 us low, twenty-five zeros of exactly 600.
    EXPECT_EQ(std::count(w.lows.begin(), w.lows.begin() + 32, 60u), 7);
    EXPECT_EQ(std::count(w.lows.begin(), w.lows.begin() + 32, 600u), 25);
    EXPECT_EQ(Decode(w.lows.begin() + 40, 4), (Bytes{0x55, 0x01, 0x00, 0x11}));
    EXPECT_EQ(w.lows[80], 4800u);  // the reset pulse before the third
    EXPECT_EQ(Decode(w.lows.begin() + 81, 4), (Bytes{0x55, 0x01, 0x00, 0x11}));
    for (size_t i = 32; i < 40; ++i) EXPECT_EQ(w.lows[i], 60u);  // read slots
    // Highs: 640 after a 1, 100 after a 0, 700 more before each byte; the 1 ms reply wait; 640 after a
    // read slot (90 to the sample, 550 after it); after the reset pulse 700 + 4100 and the 10 ms wait.
    EXPECT_EQ(w.gaps[0], 640u);       // 0x55: bit 0 = 1
    EXPECT_EQ(w.gaps[1], 100u);       // bit 1 = 0
    EXPECT_EQ(w.gaps[7], 100u + 700u);
    EXPECT_EQ(w.gaps[31], 100u + 1000u);
    EXPECT_EQ(w.gaps[32], 640u);
    EXPECT_EQ(w.gaps[80], 700u + 4100u + 10'000u + 700u);
}

TEST_F(PyrelWire, RepliesAreReadAsFarAsTheyCanBeOne) {
    // A valid reply ends the exchange; "done" is code 3, any other is a refusal.
    for (uint8_t code : {0x03, 0x02}) {
        for (uint8_t b : {uint8_t{0xAA}, code, uint8_t{0x00}}) QueueByte(port_, b);
        const uint8_t body[] = {code, 0x00};
        QueueByte(port_, PyrelLink::Checksum(body, 2));
        port_.accesses.clear();
        EXPECT_EQ(link_.Command(5, 3), code == 3 ? PyrelLink::Result::kDone : PyrelLink::Result::kRefused);
        EXPECT_EQ(port_.Reads(), 32u);
    }
    // A reply longer than eight bytes is dropped after its length, each of the three times.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt == 2) port_.status.push_back(0x10);  // the presence sample of the reset pulse
        for (uint8_t b : {0xAA, 0x01, 0x09}) QueueByte(port_, b);
    }
    port_.accesses.clear();
    EXPECT_EQ(link_.Command(1, 1), PyrelLink::Result::kNotFound);
    EXPECT_EQ(port_.Reads(), 3u * 24u + 1u);
    EXPECT_TRUE(port_.status.empty());
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

    // A corrupted reply is tried again, the third time after a reset pulse; then it is not found.
    t.pyrel.faults.corruptReply = true;
    t.pyrel.commands.clear();
    uint32_t resets = t.pyrel.resetPulses;
    EXPECT_EQ(t.adapter->GetInfo(info), -1);
    EXPECT_EQ(t.adapter->GetErrorCode(), 14);
    EXPECT_EQ(t.pyrel.commands.size(), 9u);
    EXPECT_EQ(t.pyrel.resetPulses - resets, 6u);
    EXPECT_STREQ(info, "");

    JtagSimTarget none;
    EXPECT_EQ(none.adapter->GetInfo(info), -1);
    EXPECT_EQ(none.adapter->GetErrorCode(), 14);
    EXPECT_STREQ(none.adapter->GetErrorText(14), "<Pyrel> not found");
}

class FuseBlow : public ::testing::Test {
protected:
    void Connect(const std::string& part) {
        target_ = std::make_unique<JtagSimTarget>(part);
        target_->AttachPyrel();
        target_->keepTrace = true;
        programmer_ = std::make_unique<Programmer>(AdapterList{target_->adapter.get(), nullptr, nullptr, nullptr});
        programmer_->SetSink(&sink_);
        programmer_->SelectAdapter(kAdapterRawJtag);
        sink_.answer = 1;
    }
    RunResult Blow() {
        sink_.Clear();
        target_->shifts.clear();
        programmer_->Start(kActionBlowFuse);
        return programmer_->WaitForRun();
    }
    bool Shifted(const std::string& line) {
        const auto& s = target_->shifts;
        return std::find(s.begin(), s.end(), line) != s.end();
    }
    std::string Last() { return sink_.Lines().back(); }

    RecordingLogSink sink_;
    std::unique_ptr<JtagSimTarget> target_;
    std::unique_ptr<Programmer> programmer_;
};

// A part with a TEST pin takes the voltage there; one without takes it on TDI once the control word
// has made TDO the data input (command 5 prepares the device for that).
TEST_F(FuseBlow, TheVoltageGoesToTestOrToTdi) {
    for (bool testPin : {true, false}) {
        Connect(testPin ? "MSP430F2274" : "MSP430F149");
        EXPECT_EQ(Blow(), kRunComplete) << Last();
        EXPECT_EQ(Last(), "0 Blow fuse complete.");
        EXPECT_TRUE(target_->target.fuseBlown);
        EXPECT_EQ(target_->pyrel.commands, testPin ? (Bytes{1, 6}) : (Bytes{1, 5, 7}));
        bool controlWord = std::any_of(target_->shifts.begin(), target_->shifts.end(),
                                       [](auto& l) { return l.rfind("DR 7201", 0) == 0; });
        EXPECT_EQ(controlWord, !testPin);
        EXPECT_TRUE(Shifted("IR 22") && Shifted("IR 24"));
        EXPECT_EQ(target_->adapter->GetErrorCode(), 0);  // nothing stale after the success
        // From now on the chip cannot be reached.
        EXPECT_EQ(target_->adapter->Open(), -1);
        EXPECT_EQ(target_->adapter->GetErrorCode(), 13);
    }
}

TEST_F(FuseBlow, FailuresSayWhatWentWrong) {
    const struct {
        const char* part;
        std::function<void(JtagSimTarget&)> fault;
        const char* reason;
        Bytes commands;
    } cases[] = {
        {"MSP430F149", [](JtagSimTarget& t) { t.pyrel.faults.boostFails = true; }, "boost error", {1, 5, 7}},
        {"MSP430F149", [](JtagSimTarget& t) { t.pyrel.faults.prepareCode = 4; }, "synchronization failed", {1, 5}},
        {"MSP430F2274", [](JtagSimTarget& t) { t.pyrel.faults.blowUnanswered = true; }, "synchronization failed",
         {1, 6, 6, 6}},
        {"MSP430F2274", [](JtagSimTarget& t) { t.target.fuseResists = true; }, "fuse not blown", {1, 6}},
        {"MSP430F2274", [](JtagSimTarget& t) { t.target.pyrel = nullptr; }, "not found", {}},
    };
    for (const auto& c : cases) {
        Connect(c.part);
        c.fault(*target_);
        EXPECT_EQ(Blow(), kRunActionFailed);
        EXPECT_EQ(Last(), std::string("1 Blow fuse failed. <Pyrel> ") + c.reason + ".");
        EXPECT_EQ(target_->pyrel.commands, c.commands) << c.reason;
        EXPECT_FALSE(target_->target.fuseBlown);
    }
}

TEST_F(FuseBlow, TheQuestionAnsweredNoBlowsNothing) {
    Connect("MSP430F2274");
    sink_.answer = 0;
    EXPECT_EQ(Blow(), kRunActionFailed);
    EXPECT_EQ(Last(), "0 Operation canceled by user");
    EXPECT_TRUE(target_->pyrel.commands.empty());
    EXPECT_FALSE(target_->target.fuseBlown);
}

}  // namespace
}  // namespace quarzo
