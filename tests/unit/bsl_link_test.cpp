#include "adapters/bsl/bsl_link.h"

#include <gtest/gtest.h>

#include "adapters/bsl/bsl_wiring.h"
#include "support/sim_target.h"

namespace quarzo {
namespace {

using testing::SimTarget;
using Bytes = std::vector<uint8_t>;
using Strings = std::vector<std::string>;

class BslLinkTest : public ::testing::Test {
protected:
    BslLinkTest() { target_.Attach(link_); }

    // Opens the port, starts the loader and unlocks it, as a run's first operation does.
    void StartUnlocked() {
        ASSERT_TRUE(link_.OpenLink("COM1"));
        link_.ResetTarget(true);
        ASSERT_TRUE(link_.SendPassword() && link_.ReadChipInfo());
        target_.line.hostBytes.clear();
        target_.frames.clear();
    }

    SimTarget target_;
    BslLink link_;
};

TEST_F(BslLinkTest, FramesOnTheWireAndTheErasedChipPasswordAfterAMassErase) {
    StartUnlocked();
    uint8_t info[16];
    ASSERT_TRUE(link_.ReadBlocks(0x0FF0, info, 16));
    EXPECT_EQ(target_.line.hostBytes,
              (Bytes{0x80, 0x80, 0x14, 0x04, 0x04, 0xF0, 0x0F, 0x10, 0x00, 0x9B, 0xE0}));
    EXPECT_EQ(Bytes(info, info + 2), (Bytes{0xF1, 0x49}));
    EXPECT_EQ(Bytes(info + 10, info + 12), (Bytes{0x01, 0x60}));

    target_.line.hostBytes.clear();
    target_.Flash(0x4000, {0x12, 0x34});
    ASSERT_TRUE(link_.MassErase());
    Bytes erase(target_.line.hostBytes.begin(), target_.line.hostBytes.begin() + 11);
    EXPECT_EQ(erase, (Bytes{0x80, 0x80, 0x18, 0x04, 0x04, 0x00, 0xFF, 0x06, 0xA5, 0x7D, 0xB9}));
    EXPECT_EQ(target_.Commands(), (Strings{"14 0FF0 16", "18 FF00 42246", "10 FFE0 32"}));
    EXPECT_EQ(target_.device.Read(0x4000), 0xFF);
    for (uint8_t b : link_.Password()) EXPECT_EQ(b, 0xFF);
}

TEST_F(BslLinkTest, WritesGoInBlocksOf250AndStopAtTheFirstFailedBlock) {
    StartUnlocked();
    Bytes data(600);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
    ASSERT_TRUE(link_.WriteBlocks(0x2000, data.data(), 600));
    EXPECT_EQ(target_.Commands(), (Strings{"12 2000 250", "12 20FA 250", "12 21F4 100"}));
    EXPECT_EQ(target_.device.Read(0x2000 + 599), data[599]);

    // Flash cells already at 0 cannot take the second block's ones: that block is refused.
    target_.frames.clear();
    target_.Flash(0x3000 + 250, Bytes(250, 0x00));
    EXPECT_FALSE(link_.WriteBlocks(0x3000, Bytes(600, 0xFF).data(), 600));
    EXPECT_EQ(target_.Commands(), (Strings{"12 3000 250", "12 30FA 250"}));
    EXPECT_EQ(link_.GetErrorCode(), BslLink::kNak);
}

TEST_F(BslLinkTest, EveryLineFaultHasItsCodeAndTimeOut) {
    StartUnlocked();
    uint8_t buffer[16];
    // Each fault on the next read, its code, and the least and most virtual time it may take.
    const struct {
        std::function<void()> inject;
        uint32_t code;
        uint64_t minUs, maxUs;
    } faults[] = {
        {[&] { target_.line.ReplaceNextAnswer(0xA0); }, BslLink::kNak, 0, 100'000},
        {[&] { target_.line.ReplaceNextAnswer(0x70); }, BslLink::kCommandFailed, 0, 100'000},
        // An answer the loader never gives is not taken for success.
        {[&] { target_.line.ReplaceNextAnswer(0x55); }, BslLink::kUnspecific, 0, 100'000},
        {[&] { target_.line.CorruptNextDataFrame(2); }, BslLink::kBadChecksum, 0, 100'000},       // L1 != L2
        {[&] { target_.line.CorruptNextDataFrame(16 + 5); }, BslLink::kBadChecksum, 0, 100'000},  // CKH only
        {[&] { target_.line.TruncateNextDataFrame(1); }, BslLink::kFrameTimeout, 500'000, 600'000},
        // The sync is answered but the frame is lost on the way: no header within 3000 ms.
        {[&] { target_.line.DropHostBytes(10, 1); }, BslLink::kHeaderTimeout, 3'000'000, 3'100'000},
        // Ten attempts of 100 ms at the sync.
        {[&] { target_.line.SetSilent(true); }, BslLink::kSync, 1'000'000, 1'100'000},
    };
    for (const auto& f : faults) {
        SCOPED_TRACE(f.code);
        f.inject();
        uint64_t before = target_.clock.NowUs();
        EXPECT_FALSE(link_.ReadBlocks(0x0FF0, buffer, 16));
        EXPECT_EQ(link_.GetErrorCode(), f.code);
        EXPECT_GE(target_.clock.NowUs() - before, f.minUs);
        EXPECT_LT(target_.clock.NowUs() - before, f.maxUs);
    }
    target_.line.SetSilent(false);

    target_.line.closeFails = true;
    EXPECT_FALSE(link_.CloseLink());
    EXPECT_EQ(link_.GetErrorCode(), BslLink::kClosePort);
    target_.line.exists = false;
    EXPECT_FALSE(link_.OpenLink("COM1"));
    EXPECT_EQ(link_.GetErrorCode(), BslLink::kOpenPort);
    EXPECT_EQ(link_.GetErrorCode(), 0u);  // read once
    EXPECT_STREQ(BslLink::GetErrorText(17), "Invalid error number");
}

// Each family's loader takes its own clock words for each speed: the chip's UART runs at what they give,
// and the host must land on the same speed.
TEST(BslSpeedChange, EveryFamilyAnswersAtEveryRate) {
    for (auto [part, loader] :
         {std::pair{"MSP430F149", "1.60"}, {"MSP430F2274", "2.02"}, {"MSP430F449", "1.60"}}) {
        for (uint32_t baud : {9600u, 19200u, 38400u}) {
            SCOPED_TRACE(std::string(part) + " at " + std::to_string(baud));
            SimTarget target(loader, part);
            BslLink link;
            target.Attach(link);
            link.Configure({.fastBaud = false});
            link.SetPassword(link.Password(), false);  // the blank chip's
            ASSERT_TRUE(link.OpenLink("COM1"));
            link.ResetTarget(true);
            ASSERT_TRUE(link.PrepareTarget());
            ASSERT_TRUE(link.ChangeBaudRate(baud));
            EXPECT_EQ(target.line.hostBaud(), baud);
            uint8_t id[2] = {};
            EXPECT_TRUE(link.ReadBlocks(0x0FF0, id, 2)) << link.GetErrorCode();
            EXPECT_EQ(id[0], target.device.Read(0x0FF0));
        }
    }
}

TEST_F(BslLinkTest, RstInvertSwitchesDtrOffForHighAndWaitsTheDelayThen) {
    target_.line.rstWiringInverted = true;
    link_.Configure({.rstInvert = true, .rstDelay = 25});
    ASSERT_TRUE(link_.OpenLink("COM1"));
    target_.line.pinLog.clear();
    uint64_t before = target_.clock.NowUs();
    link_.SetRst(true);  // DTR off through the inverting wiring: RST high, then the delay
    EXPECT_EQ(target_.clock.NowUs() - before, 25'000u);
    link_.SetRst(false);  // DTR on: RST low, no wait
    EXPECT_EQ(target_.clock.NowUs() - before, 25'000u);
    EXPECT_EQ(target_.line.pinLog, (Strings{"RST 1", "RST 0"}));
}

// The simulated cable wired each of the four ways: exactly the matching combination, tried in order (RST
// inversion first), starts the loader and says who answers; a plain reset always runs the program.
TEST(BslWiring, OnlyTheMatchingInversionsStartTheLoader) {
    for (int wiring = 0; wiring < 4; ++wiring) {
        SCOPED_TRACE(wiring);
        SimTarget target;
        BslAdapter adapter;
        target.Attach(adapter.link);
        target.line.rstWiringInverted = wiring & 1;
        target.line.tstWiringInverted = !(wiring & 2);
        adapter.link.Configure({.rstDelay = 7});
        std::vector<WiringTrial> trials = TryWirings(adapter);
        ASSERT_EQ(trials.size(), 4u);
        for (int i = 0; i < 4; ++i) {
            const WiringTrial& t = trials[static_cast<size_t>(i)];
            EXPECT_EQ(t.rstInvert + 2 * t.tstInvert, i);
            EXPECT_EQ(t.rstDelay, 7u);
            EXPECT_EQ(t.answered, i == wiring) << i;
            EXPECT_EQ(t.identified, i == wiring) << i;
        }
        EXPECT_EQ(trials[static_cast<size_t>(wiring)].version, 0x0160);
        // The adapter's own settings are as they were.
        EXPECT_FALSE(adapter.link.Settings().rstInvert || adapter.link.Settings().tstInvert);
        EXPECT_EQ(adapter.link.Settings().rstDelay, 7u);
        ASSERT_TRUE(adapter.link.OpenLink("COM1"));
        adapter.link.ResetTarget(false);
        EXPECT_NE(target.bsl.GetState(), sim::RomBsl::State::kIdle);
    }
}

TEST(BslWiring, ASilentTargetGetsASecondRoundWithALongerResetPulse) {
    SimTarget target;
    BslAdapter adapter;
    target.Attach(adapter.link);
    target.line.SetSilent(true);
    std::vector<WiringTrial> trials = TryWirings(adapter);
    ASSERT_EQ(trials.size(), 8u);
    EXPECT_EQ(trials[3].rstDelay, 0u);
    EXPECT_EQ(trials[4].rstDelay, kLongRstDelayMs);
    for (const WiringTrial& t : trials) EXPECT_FALSE(t.answered);

    // A locked chip still answers. From 1.50 the version command identifies it without a password, so a
    // loader that erases on a wrong one keeps the chip; older loaders refuse the password.
    for (const char* version : {"2.02", "1.30"}) {
        SCOPED_TRACE(version);
        SimTarget locked(version);
        BslAdapter other;
        locked.Attach(other.link);
        locked.SetVectors(0x11);
        locked.Flash(0x2000, {0x00});
        trials = TryWirings(other);
        bool modern = version[0] == '2';
        ASSERT_EQ(trials.size(), 4u);
        EXPECT_TRUE(trials[0].answered);
        EXPECT_EQ(trials[0].identified, modern);
        EXPECT_EQ(trials[0].version, modern ? 0x0202 : 0);
        EXPECT_EQ(locked.device.Read(0x2000), 0x00);
        EXPECT_EQ(locked.Count("10") == 0, modern);
    }
}

}  // namespace
}  // namespace quarzo
