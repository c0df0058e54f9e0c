#include "adapters/bsl/bsl_link.h"

#include <gtest/gtest.h>

#include "support/sim_target.h"

namespace quarzo {
namespace {

using testing::SimTarget;
using Bytes = std::vector<uint8_t>;
using Strings = std::vector<std::string>;

class BslLinkTest : public ::testing::Test {
protected:
    explicit BslLinkTest(const std::string& version = "1.60") : target_(version) { target_.Attach(link_); }

    // Opens the port and starts the loader, as the adapter's Open does.
    void Start() {
        ASSERT_TRUE(link_.OpenLink("COM1"));
        link_.ResetTarget(true);
    }
    void StartUnlocked() {
        Start();
        ASSERT_TRUE(link_.SendPassword() && link_.ReadChipInfo());
        target_.line.hostBytes.clear();
        target_.frames.clear();
    }
    uint32_t Code() { return link_.GetErrorCode(); }

    SimTarget target_;
    BslLink link_;
};

TEST_F(BslLinkTest, ChipInfoReadIsOneSyncAndTheTenByteFrame) {
    StartUnlocked();
    uint8_t info[16];
    ASSERT_TRUE(link_.ReadBlocks(0x0FF0, info, 16));
    EXPECT_EQ(target_.line.hostBytes,
              (Bytes{0x80, 0x80, 0x14, 0x04, 0x04, 0xF0, 0x0F, 0x10, 0x00, 0x9B, 0xE0}));
    EXPECT_EQ(info[0], 0xF1);
    EXPECT_EQ(info[1], 0x49);
    EXPECT_EQ(info[10], 0x01);
    EXPECT_EQ(info[11], 0x60);
}

TEST_F(BslLinkTest, MassEraseFrameAndTheErasedChipPasswordAfterIt) {
    StartUnlocked();
    target_.Flash(0x4000, {0x12, 0x34});
    ASSERT_TRUE(link_.MassErase());
    Bytes erase(target_.line.hostBytes.begin(), target_.line.hostBytes.begin() + 11);
    EXPECT_EQ(erase, (Bytes{0x80, 0x80, 0x18, 0x04, 0x04, 0x00, 0xFF, 0x06, 0xA5, 0x7D, 0xB9}));
    EXPECT_EQ(target_.Commands(), (Strings{"18 FF00 42246", "10 FFE0 32"}));
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
    EXPECT_EQ(Code(), BslLink::kNak);
}

TEST_F(BslLinkTest, EveryLineFaultHasItsCodeAndText) {
    StartUnlocked();
    uint8_t buffer[16];

    target_.line.ReplaceNextAnswer(0xA0);
    EXPECT_FALSE(link_.ReadBlocks(0x0FF0, buffer, 16));
    EXPECT_EQ(Code(), 7u);
    target_.line.ReplaceNextAnswer(0x70);
    EXPECT_FALSE(link_.ReadBlocks(0x0FF0, buffer, 16));
    EXPECT_EQ(Code(), 8u);
    // An answer the loader never gives is not taken for success.
    target_.line.ReplaceNextAnswer(0x55);
    EXPECT_FALSE(link_.ReadBlocks(0x0FF0, buffer, 16));
    EXPECT_EQ(Code(), 1u);

    target_.line.CorruptNextDataFrame(2);  // L1 no longer equals L2
    EXPECT_FALSE(link_.ReadBlocks(0x0FF0, buffer, 16));
    EXPECT_EQ(Code(), 6u);
    target_.line.CorruptNextDataFrame(16 + 5);  // CKH wrong, CKL right
    EXPECT_FALSE(link_.ReadBlocks(0x0FF0, buffer, 16));
    EXPECT_EQ(Code(), 6u);

    uint64_t before = target_.clock.NowUs();
    target_.line.TruncateNextDataFrame(1);
    EXPECT_FALSE(link_.ReadBlocks(0x0FF0, buffer, 16));
    EXPECT_EQ(Code(), 5u);
    EXPECT_GE(target_.clock.NowUs() - before, 500'000u);
    EXPECT_LT(target_.clock.NowUs() - before, 600'000u);

    // The sync is answered but the frame is lost on the way: no header within 3000 ms.
    target_.line.DropHostBytes(10, 1);
    before = target_.clock.NowUs();
    EXPECT_FALSE(link_.ReadBlocks(0x0FF0, buffer, 16));
    EXPECT_EQ(Code(), 4u);
    EXPECT_GE(target_.clock.NowUs() - before, 3'000'000u);
    EXPECT_LT(target_.clock.NowUs() - before, 3'100'000u);

    target_.line.SetSilent(true);
    before = target_.clock.NowUs();
    EXPECT_FALSE(link_.ReadBlocks(0x0FF0, buffer, 16));
    EXPECT_EQ(Code(), 3u);
    EXPECT_GE(target_.clock.NowUs() - before, 1'000'000u);  // ten attempts of 100 ms
    EXPECT_LT(target_.clock.NowUs() - before, 1'100'000u);
    target_.line.SetSilent(false);

    target_.line.closeFails = true;
    EXPECT_FALSE(link_.CloseLink());
    EXPECT_EQ(Code(), 9u);

    target_.line.exists = false;
    EXPECT_FALSE(link_.OpenLink("COM1"));
    EXPECT_EQ(link_.GetErrorCode(), 2u);
    EXPECT_EQ(link_.GetErrorCode(), 0u);  // read once
    EXPECT_EQ(target_.line.LastError(), 2u);

    // The texts themselves reach the log in the engine's tests; past the table there is one more.
    EXPECT_STREQ(BslLink::GetErrorText(14), "Verification error");
    EXPECT_STREQ(BslLink::GetErrorText(17), "Invalid error number");
}

// Host tools read the loader's version before any password; loaders from 1.50 on answer it locked.
TEST(BslVersionCommand, AnsweredWhileLockedFromVersion150On) {
    for (const char* version : {"1.60", "1.61", "2.02", "1.30", "1.10"}) {
        SimTarget target(version);
        BslLink link;
        target.Attach(link);
        ASSERT_TRUE(link.OpenLink("COM1"));
        link.ResetTarget(true);
        uint8_t answer[16] = {};
        bool answered = link.SendCommand(0x1E, 0, 16, nullptr, answer);
        bool modern = std::string(version) >= "1.50";
        EXPECT_EQ(answered, modern) << version;
        EXPECT_TRUE(target.bsl.Locked()) << version;
        if (modern) {
            EXPECT_EQ(answer[0], target.device.Read(0x0FF0)) << version;
            EXPECT_EQ(answer[10] * 256 + answer[11], target.device.BslVersion()) << version;
        } else {
            EXPECT_EQ(link.GetErrorCode(), BslLink::kNak) << version;
        }
    }
}

// Each family's loader takes its own clock words for each speed; the chip's UART runs at what they give.
TEST(BslSpeedChange, EachFamilyGetsItsOwnClockWords) {
    const struct {
        const char* part;
        const char* loader;
        uint16_t words[3];
    } families[] = {{"MSP430F149", "1.60", {0x8580, 0x86E0, 0x87E0}},
                    {"MSP430F2274", "2.02", {0x8580, 0x8B00, 0x8C80}},
                    {"MSP430F449", "1.60", {0x9800, 0xB000, 0xC800}}};
    for (const auto& f : families) {
        for (int rate = 0; rate < 3; ++rate) {
            SCOPED_TRACE(std::string(f.part) + " rate " + std::to_string(rate));
            SimTarget target(f.loader, f.part);
            BslLink link;
            target.Attach(link);
            link.Configure({.fastBaud = false});
            link.SetPassword(link.Password(), false);  // the blank chip's
            ASSERT_TRUE(link.OpenLink("COM1"));
            link.ResetTarget(true);
            ASSERT_TRUE(link.PrepareTarget());
            uint32_t baud = 9600u << rate;
            ASSERT_TRUE(link.ChangeBaudRate(baud));
            char frame[32];
            std::snprintf(frame, sizeof frame, "20 %04X %d", f.words[rate], rate);
            EXPECT_EQ(target.Commands().back(), frame);
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

// The target enters its loader only when the host's invert settings match the cable's wiring.
TEST(BslLinkWiring, TheLoaderStartsOnlyOnTheRightWaveform) {
    for (int wiring = 0; wiring < 4; ++wiring) {
        for (int settings = 0; settings < 4; ++settings) {
            SimTarget target;
            BslLink link;
            target.Attach(link);
            target.line.rstWiringInverted = wiring & 1;
            target.line.tstWiringInverted = !(wiring & 2);
            link.Configure({.rstInvert = (settings & 1) != 0, .tstInvert = (settings & 2) != 0});
            ASSERT_TRUE(link.OpenLink("COM1"));
            link.ResetTarget(true);
            bool entered = target.bsl.GetState() == sim::RomBsl::State::kIdle;
            EXPECT_EQ(entered, wiring == settings) << "wiring " << wiring << " settings " << settings;
            EXPECT_EQ(link.SendPassword(), wiring == settings);
            // A plain reset always runs the program: the loader no longer answers.
            link.ResetTarget(false);
            EXPECT_NE(target.bsl.GetState(), sim::RomBsl::State::kIdle);
        }
    }
}

}  // namespace
}  // namespace quarzo
