// Whole engine runs over the bootstrap loader against the simulated target.
#include <gtest/gtest.h>

#include "support/sim_target.h"

namespace quarzo {
namespace {

using testing::SimRun;

// Every loader version, with and without our loader in RAM, on slow and fast chips: 60 KB programmed
// and verified with no part chosen, the flash clock in range, and the chip's bytes read back.
TEST(BslRun, AutoProgramsVerifiesAndReadsWithEveryLoader) {
    const struct {
        const char* version;
        bool patch;
        double spread;
        uint32_t writeBaud;
    } cases[] = {{"1.10", true, 0.6, 38400}, {"1.10", true, 1.6, 38400}, {"1.10", false, 1.0, 9600},
                 {"1.30", false, 1.0, 9600}, {"1.30", true, 1.0, 38400}, {"1.40", true, 1.0, 38400},
                 {"1.60", true, 1.0, 38400}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.version) + (c.patch ? " patched at " : " at ") + std::to_string(c.spread));
        SimRun r(c.version);
        r.bsl.link.patchToV150 = c.patch;
        r.target.bsl.Cpu().SetChipFactor(c.spread);
        uint32_t baud = 0;
        r.target.onFrame = [&](size_t) { baud = r.target.line.hostBaud(); };
        r.Fill(0x1100, 0xFFFF);
        r.target.Flash(0x8000, {0x00, 0x00});  // an old program, erased by the run
        EXPECT_EQ(r.Run(kDefaultAutoprogram), kRunComplete) << r.LastLine();
        EXPECT_EQ(r.LastLine(), "0 Verify complete.");
        EXPECT_TRUE(r.ChipHoldsImage(0x1100, 0xFFFF));
        // The ROM loader 1.10 and our loader erase one pass per command and need twenty. No mass erase:
        // the password opened the chip. A ROM loader without the erase check is checked by reading back.
        bool ramLoader = c.patch && std::string(c.version) != "1.60";
        EXPECT_EQ(r.target.Count("16 1100"), ramLoader || std::string(c.version) == "1.10" ? 20u : 1u);
        EXPECT_EQ(r.target.Count("18"), 0u);
        EXPECT_EQ(r.target.Count("1C"), c.patch ? 2u : 0u);
        EXPECT_EQ(baud, c.writeBaud);
        EXPECT_GE(r.target.bsl.Cpu().MassEraseUs(), ramLoader ? 200'000 : 0);
        EXPECT_EQ(r.target.bsl.Cpu().Flash().outOfRangeOperations, 0u);
        EXPECT_EQ(r.target.bsl.Cpu().Flash().incompleteOperations, 0u);
        // The run ends with a plain reset: the target runs its program and the port is closed.
        EXPECT_EQ(r.target.bsl.GetState(), sim::RomBsl::State::kReset);
        EXPECT_FALSE(r.target.line.IsOpen());

        // Read returns the chip's bytes (the image's vectors are the password).
        uint8_t programmed = r.target.device.Read(0x8000);
        r.programmer.Image().SetByte(0x8000, static_cast<uint8_t>(~programmed));
        EXPECT_EQ(r.Run(kActionRead), kRunComplete) << r.LastLine();
        EXPECT_EQ(r.programmer.Image().ValueAt(0x8000), programmed);
    }
}

TEST(BslRun, KeepPortOpenLeavesTheLineUpAndTheProgramRunning) {
    SimRun r;
    r.bsl.link.keepPortOpen = true;
    EXPECT_EQ(r.Run(kActionRead), kRunComplete);
    EXPECT_TRUE(r.target.line.IsOpen());
    EXPECT_EQ(r.target.bsl.GetState(), sim::RomBsl::State::kProgram);
}

TEST(BslRun, PasswordsAndBlankCheckFailures) {
    SimRun r;
    r.target.SetVectors(0x00);
    r.target.Flash(0x1100, {0x00});
    // The refusal says what opens the chip.
    const std::string kLocked =
        "Protected function. Password not match: the chip opens with the firmware file it holds (its "
        "interrupt vectors are the password), or after an erase.";
    EXPECT_NE(r.Run(kActionRead), kRunComplete);
    EXPECT_EQ(r.LastLine(), "1 Read failed. " + kLocked);
    EXPECT_NE(r.Run(kActionBlankCheck), kRunComplete);
    EXPECT_EQ(r.LastLine(), "1 Blank check failed. " + kLocked);

    // The image's vectors are the password: with them the chip opens, and blank check finds data.
    for (uint32_t a = 0xFFE0; a <= 0xFFFF; ++a) r.programmer.Image().SetByte(a, 0x00);
    EXPECT_NE(r.Run(kActionBlankCheck), kRunComplete);
    EXPECT_EQ(r.LastLine(), "1 Blank check failed. Verification error.");

    // An erased chip opens with its own password whatever the image holds.
    SimRun erased;
    erased.Fill(0x1100, 0xFFFF);
    EXPECT_EQ(erased.Run(kActionProgram | kActionVerify), kRunComplete) << erased.LastLine();
}

TEST(BslRun, AStopDuringTheHeaderWaitEndsTheRunPromptly) {
    SimRun r;
    r.target.line.MuteFrameAnswers(true);
    uint64_t stopAt = 0;
    r.target.clock.onAdvance = [&](uint64_t now) {
        // Half a second into the first header wait the user stops the run.
        if (stopAt == 0 && !r.target.frames.empty()) stopAt = now + 500'000;
        if (stopAt != 0 && now >= stopAt && !r.programmer.Worker().Cancel().IsRaised())
            r.programmer.Worker().SignalStop();
    };
    r.Run(kActionRead);
    EXPECT_NE(stopAt, 0u);
    EXPECT_LT(r.target.clock.NowUs() - stopAt, 3'000'000u);
}

}  // namespace
}  // namespace quarzo
