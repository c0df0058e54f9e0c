// Whole engine runs over the bootstrap loader against the simulated target.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "adapters/bsl/bsl_adapter.h"
#include "engine/programmer.h"
#include "support/recording_log_sink.h"
#include "support/sim_target.h"

namespace quarzo {
namespace {

using testing::RecordingLogSink;
using testing::SimTarget;
using Strings = std::vector<std::string>;

constexpr uint32_t kMainStart = 0x1100;

class BslRun : public ::testing::Test {
protected:
    void Connect(const std::string& version, bool patch = true) {
        bsl_.link.UsePort(nullptr, nullptr);
        target_ = std::make_unique<SimTarget>(version);
        target_->Attach(bsl_.link);
        bsl_.link.Configure({.patchToV150 = patch});
        programmer_.SelectAdapter(kAdapterBsl);
        programmer_.SetSink(&sink_);
        programmer_.deviceIndex = 0;  // no part chosen, as the settings start
        target_->onFrame = [this](size_t) { bauds_.push_back(target_->line.hostBaud()); };
    }
    // 60 KB of program with its vectors, as a real firmware image would be.
    void LoadFirmware() {
        std::mt19937 random(7);
        for (uint32_t a = kMainStart; a <= 0xFFFF; ++a)
            programmer_.Image().SetByte(a, static_cast<uint8_t>(random()));
    }
    RunResult RunFlags(ActionFlags flags) {
        sink_.Clear();
        programmer_.Start(flags);
        return programmer_.WaitForRun();
    }
    bool DeviceHoldsImage() {
        for (uint32_t a = kMainStart; a <= 0xFFFF; ++a) {
            if (target_->device.Read(a) != programmer_.Image().ValueAt(a)) return false;
        }
        return true;
    }
    size_t Count(const std::string& prefix) {
        Strings c = target_->Commands();
        return static_cast<size_t>(
            std::count_if(c.begin(), c.end(), [&](const std::string& s) { return s.rfind(prefix, 0) == 0; }));
    }
    std::string LastLine() { return sink_.Lines().empty() ? "" : sink_.Lines().back(); }

    RecordingLogSink sink_;
    std::unique_ptr<SimTarget> target_;  // outlives the programmer, whose link uses its line
    BslAdapter bsl_;
    Programmer programmer_{AdapterList{nullptr, nullptr, &bsl_, nullptr}};
    std::vector<uint32_t> bauds_;
};

TEST_F(BslRun, AutoProgramsAndVerifiesWithEveryLoaderVersion) {
    struct Case {
        const char* version;
        bool patch;
        uint32_t writeBaud;
    };
    for (Case c : {Case{"1.10", true, 38400}, Case{"1.10", false, 9600}, Case{"1.30", false, 9600},
                   Case{"1.30", true, 38400}, Case{"1.60", true, 38400}}) {
        SCOPED_TRACE(std::string(c.version) + (c.patch ? " patch" : " no patch"));
        Connect(c.version, c.patch);
        LoadFirmware();
        target_->Flash(0x8000, {0x00, 0x00});  // an old program, erased by the run
        EXPECT_EQ(RunFlags(kDefaultAutoprogram), kRunComplete) << LastLine();
        EXPECT_EQ(LastLine(), "0 Verify complete.");
        EXPECT_TRUE(DeviceHoldsImage());
        // With no part chosen the identification at the start tells the version: one main-memory erase
        // will do, except for the ROM loader 1.10 and our loader in RAM, which erase one pass per command
        // and need twenty. No mass erase: the password opened the chip.
        bool onePass = std::string(c.version) == "1.10" || (c.patch && std::string(c.version) != "1.60");
        EXPECT_EQ(Count("16 1100"), onePass ? 20u : 1u);
        EXPECT_EQ(Count("18"), 0u);
        // A ROM loader without the erase check is blank-checked by reading back.
        bool eraseCheck = c.patch || std::string(c.version) == "1.60";
        EXPECT_EQ(Count("1C"), eraseCheck ? 2u : 0u);
        EXPECT_EQ(bauds_.back(), c.writeBaud);
    }
}

// The loadable loader executing on chips of every old loader version, slow and fast: one mass erase,
// a blank check, the change to 38400, 60 KB programmed and verified, with the flash clock in range.
TEST_F(BslRun, TheLoadableLoaderRunsOnEveryOldVersionAndClock) {
    const struct {
        const char* version;
        double spread;
    } cases[] = {{"1.10", 0.6}, {"1.10", 1.6}, {"1.30", 1.0}, {"1.40", 1.0}};
    for (const auto& [version, spread] : cases) {
        {
            SCOPED_TRACE(std::string(version) + " at " + std::to_string(spread));
            Connect(version);
            target_->bsl.Cpu().SetChipFactor(spread);
            LoadFirmware();
            ActionFlags flags = kActionErase | kActionBlankCheck | kActionProgram | kActionVerify;
            EXPECT_EQ(RunFlags(flags), kRunComplete) << LastLine();
            EXPECT_TRUE(DeviceHoldsImage());
            EXPECT_EQ(Count("16 1100"), 20u);  // one pass each: 200 ms of erasing in all
            EXPECT_GE(target_->bsl.Cpu().MassEraseUs(), 200'000);
            EXPECT_EQ(Count("1C"), 2u);  // information and main memory
            EXPECT_EQ(bauds_.back(), 38400u);
            const sim::FlashController& flash = target_->bsl.Cpu().Flash();
            EXPECT_EQ(flash.outOfRangeOperations, 0u);
            EXPECT_EQ(flash.incompleteOperations, 0u);
            // Read returns the chip's bytes (the image's vectors are the password).
            uint8_t programmed = target_->device.Read(0x8000);
            programmer_.Image().SetByte(0x8000, static_cast<uint8_t>(~programmed));
            EXPECT_EQ(RunFlags(kActionRead), kRunComplete) << LastLine();
            EXPECT_EQ(programmer_.Image().ValueAt(0x8000), programmed);
        }
    }
}

TEST_F(BslRun, ALogOfAnAutoRun) {
    Connect("1.60");
    LoadFirmware();
    EXPECT_EQ(RunFlags(kDefaultAutoprogram), kRunComplete);
    EXPECT_EQ(sink_.Lines(),
              testing::AutoRunLines("Device: MSP430F149. Info(0x1000-0x10FF), Main:(0x1100-0xFFFF)"));
    // The run ends with a plain reset: the target runs its program and the port is closed.
    EXPECT_EQ(target_->bsl.GetState(), sim::RomBsl::State::kReset);
    EXPECT_FALSE(target_->line.IsOpen());
}

TEST_F(BslRun, ReadReturnsTheDevicesBytes) {
    Connect("1.60");
    target_->Flash(0x1100, {0x31, 0x40, 0x00, 0x0A});
    target_->Flash(0x1000, {0x5A});
    EXPECT_EQ(RunFlags(kActionRead), kRunComplete) << LastLine();
    MemoryImage& image = programmer_.Image();
    EXPECT_EQ(image.ValueAt(0x1100), 0x31);
    EXPECT_EQ(image.ValueAt(0x1103), 0x0A);
    EXPECT_EQ(image.ValueAt(0x1000), 0x5A);
    EXPECT_EQ(image.ValueAt(0xFFFF), 0xFF);
}

TEST_F(BslRun, KeepPortOpenAndEveryWiring) {
    Connect("1.60");
    bsl_.link.Configure({.keepPortOpen = true});
    EXPECT_EQ(RunFlags(kActionRead), kRunComplete);
    EXPECT_TRUE(target_->line.IsOpen());
    EXPECT_EQ(target_->bsl.GetState(), sim::RomBsl::State::kProgram);

    for (int wiring = 0; wiring < 4; ++wiring) {
        Connect("1.60");
        target_->line.rstWiringInverted = wiring & 1;
        target_->line.tstWiringInverted = !(wiring & 2);
        bsl_.link.Configure(
            {.keepPortOpen = true, .rstInvert = (wiring & 1) != 0, .tstInvert = (wiring & 2) != 0});
        EXPECT_EQ(RunFlags(kActionRead), kRunComplete) << "wiring " << wiring << ": " << LastLine();
        // Wrong settings for this cable: the loader never starts, and the run ends at Initialize.
        Connect("1.60");
        target_->line.rstWiringInverted = wiring & 1;
        target_->line.tstWiringInverted = !(wiring & 2);
        bsl_.link.Configure(
            {.keepPortOpen = true, .rstInvert = !(wiring & 1), .tstInvert = (wiring & 2) != 0});
        EXPECT_NE(RunFlags(kActionRead), kRunComplete);
        EXPECT_EQ(LastLine(),
                  "1 Init failed. No answer from the loader on COM1: check the wiring and the supply, "
                  "or try --detect.");
    }
}

TEST_F(BslRun, PasswordsAndBlankCheckFailures) {
    Connect("1.60");
    target_->SetVectors(0x00);
    target_->Flash(0x1100, {0x00});
    EXPECT_NE(RunFlags(kActionRead), kRunComplete);
    // The refusal says what opens the chip.
    const std::string kLocked =
        "Protected function. Password not match: the chip opens with the firmware file it holds (its "
        "interrupt "
        "vectors are the password), or after an erase.";
    EXPECT_EQ(LastLine(), "1 Read failed. " + kLocked);

    EXPECT_NE(RunFlags(kActionBlankCheck), kRunComplete);
    EXPECT_EQ(LastLine(), "1 Blank check failed. " + kLocked);

    // The image's vectors are the password: with them the chip opens, and blank check finds data.
    for (uint32_t a = 0xFFE0; a <= 0xFFFF; ++a) programmer_.Image().SetByte(a, 0x00);
    EXPECT_NE(RunFlags(kActionBlankCheck), kRunComplete);
    EXPECT_EQ(LastLine(), "1 Blank check failed. Verification error.");

    // An erased chip opens with its own password whatever the image holds.
    Connect("1.60");
    programmer_.Image().Clear();
    LoadFirmware();
    EXPECT_EQ(RunFlags(kActionProgram | kActionVerify), kRunComplete) << LastLine();
}

TEST_F(BslRun, AStopDuringTheHeaderWaitEndsTheRunPromptly) {
    Connect("1.60");
    target_->line.MuteFrameAnswers(true);
    uint64_t stopAt = 0;
    target_->clock.onAdvance = [&](uint64_t now) {
        // Half a second into the first header wait the user stops the run.
        if (stopAt == 0 && !target_->frames.empty()) stopAt = now + 500'000;
        if (stopAt != 0 && now >= stopAt && !programmer_.Worker().Cancel().IsRaised())
            programmer_.Worker().SignalStop();
    };
    target_->onFrame = nullptr;
    RunFlags(kActionRead);
    EXPECT_NE(stopAt, 0u);
    EXPECT_LT(target_->clock.NowUs() - stopAt, 3'000'000u);
}

}  // namespace
}  // namespace quarzo
