// Whole engine runs over the bootstrap loader against the simulated target.
#include <gtest/gtest.h>

#include <cstdio>

#include "core/device_table.h"
#include "support/sim_target.h"

#ifdef __linux__
#include <sys/resource.h>
#endif

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
                 {"1.30", false, 1.0, 9600}, {"1.30", true, 1.0, 38400}, {"1.60", true, 1.0, 38400}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.version) + (c.patch ? " patched at " : " at ") + std::to_string(c.spread));
        SimRun r(c.version);
        r.bsl.link.Configure({.patchToV150 = c.patch});
        r.target.bsl.Cpu().SetChipFactor(c.spread);
        uint32_t baud = 0;
        r.target.onFrame = [&](size_t) { baud = r.target.line.hostBaud(); };
        r.Fill(0x1100, 0xFFFF);
        r.target.Flash(0x8000, {0x00, 0x00});  // an old program, erased by the run
        EXPECT_EQ(r.Run(kDefaultAutoprogram), kRunComplete) << r.LastLine();
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

        // Read returns the chip's bytes (the image's vectors are the password). With the port kept open
        // the line stays up after the run and the program runs.
        uint8_t programmed = r.target.device.Read(0x8000);
        r.programmer.Image().SetByte(0x8000, static_cast<uint8_t>(~programmed));
        r.bsl.link.Configure({.patchToV150 = c.patch, .keepPortOpen = true});
        EXPECT_EQ(r.Run(kActionRead), kRunComplete) << r.LastLine();
        EXPECT_EQ(r.programmer.Image().ValueAt(0x8000), programmed);
        EXPECT_TRUE(r.target.line.IsOpen());
        EXPECT_EQ(r.target.bsl.GetState(), sim::RomBsl::State::kProgram);
    }
}

// Every kind of part with the default settings (no part chosen), against a target whose vacant memory
// does not read as erased flash.
struct Part {
    const char* name;      // the simulated part
    const char* hostName;  // the host's record for it
    const char* loader;
};

class BslParts : public ::testing::TestWithParam<Part> {
protected:
    std::vector<uint8_t> SegmentA() {
        std::vector<uint8_t> bytes;
        for (uint32_t a = kSegmentAStart; a <= kSegmentAEnd; ++a) bytes.push_back(r_.target.device.Read(a));
        return bytes;
    }

    SimRun r_{GetParam().loader, GetParam().name};
    MemoryLayout layout_ = DeviceLayout(FindDeviceByName(GetParam().hostName));
};

TEST_P(BslParts, AutoWithDefaultSettingsFindsThePartAndProgramsIt) {
    r_.target.Flash(layout_.mainStart, {0x00, 0x00});  // an old program
    std::vector<uint8_t> calibration = SegmentA();
    // The part's main memory, vectors included, and its information memory.
    r_.Fill(layout_.mainStart, layout_.mainEnd, 3);
    r_.Fill(layout_.infoStart, layout_.infoEnd, 4);
    EXPECT_EQ(r_.Run(kDefaultAutoprogram), kRunComplete) << r_.LastLine();
    char device[128];
    std::snprintf(device, sizeof device, "0 Device: %s. Info(0x%.4X-0x%.4X), Main:(0x%.4X-0x%.4X)",
                  GetParam().hostName, layout_.infoStart, layout_.infoEnd, layout_.mainStart,
                  layout_.mainEnd);
    EXPECT_TRUE(r_.Logged(device));
    // A ROM loader without the erase check is blank-checked by reading back, never failed for want of it.
    EXPECT_TRUE(r_.Logged("0 Blank check complete."));
    EXPECT_EQ(r_.Logged("0 Note: The ROM loader 1.40 serves the run: it has no erase check (the blank check "
                        "reads the memory back) and no speed change (the run stays at 9600 baud)."),
              std::string(GetParam().loader) == "1.40");
    EXPECT_TRUE(r_.ChipHoldsImage(layout_.mainStart, layout_.mainEnd));
    // An F2xx keeps its calibration data in segment A: the image's bytes there are left out, as said once.
    // Elsewhere it is flash like the rest.
    bool f2xx = GetParam().loader[0] == '2';
    EXPECT_EQ(std::ranges::count(
                  r_.sink.Lines(),
                  "0 Warning: Information segment A (0x10C0-0x10FF) holds the chip's calibration data; "
                  "the image's bytes there are left out."),
              f2xx ? 1 : 0);
    EXPECT_TRUE(r_.ChipHoldsImage(layout_.infoStart, f2xx ? kSegmentAStart - 1 : layout_.infoEnd));
    EXPECT_EQ(SegmentA() == calibration, f2xx);
    EXPECT_EQ(r_.programmer.Image().FlagsAt(kSegmentAStart) & EntryMismatch, 0);
}

TEST_P(BslParts, ReadSavesOnlyThePartsOwnMemory) {
    r_.target.Flash(layout_.mainStart, {0x12, 0x34});
    r_.target.Flash(layout_.infoStart, {0x5A});
    // The firmware file that is in the chip gives the password: its vectors, here an unprogrammed table.
    for (uint32_t a = BslLink::kVectorsStart; a <= 0xFFFF; ++a) r_.programmer.Image().SetByte(a, 0xFF);
    EXPECT_EQ(r_.Run(kActionRead), kRunComplete) << r_.LastLine();
    const MemoryImage& image = r_.programmer.Image();
    EXPECT_EQ(image.Lowest(), layout_.infoStart);
    EXPECT_EQ(image.Highest(), layout_.mainEnd);
    if (layout_.mainStart > layout_.infoEnd + 1u) {
        EXPECT_TRUE(image.AllAbsent(layout_.infoEnd + 1u, layout_.mainStart - layout_.infoEnd - 1u));
    }
    EXPECT_EQ(image.ValueAt(layout_.infoStart), 0x5A);
    EXPECT_EQ(image.ValueAt(layout_.mainStart), 0x12);
    for (uint32_t a = layout_.mainStart + 2; a <= layout_.mainEnd; ++a) ASSERT_EQ(image.ValueAt(a), 0xFF);
}

INSTANTIATE_TEST_SUITE_P(DefaultSettings, BslParts,
                         ::testing::Values(Part{"MSP430F123", "MSP430F12x", "1.60"},
                                           Part{"MSP430F413", "MSP430F41x", "1.60"},
                                           Part{"MSP430F413", "MSP430F41x", "1.40"},
                                           Part{"MSP430F2274", "MSP430F2274", "2.02"}),
                         [](const auto& info) {
                             std::string name = std::string(info.param.name) + "_" + info.param.loader;
                             std::replace(name.begin(), name.end(), '.', '_');
                             return name;
                         });

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

    // The image's vectors are the password: with them the chip opens, and blank check finds data.
    for (uint32_t a = 0xFFE0; a <= 0xFFFF; ++a) r.programmer.Image().SetByte(a, 0x00);
    EXPECT_NE(r.Run(kActionBlankCheck), kRunComplete);
    EXPECT_EQ(r.LastLine(), "1 Blank check failed. Verification error.");
}

// Every fault of the simulated line in every phase of a run through the loader: the run ends with the
// failure's own line and no "complete" line for the failed step, marks the chunk a failed write left,
// and is over within the loader's time-outs; a stop in any phase, half a second into the wait for an
// answer that does not come, ends the run at once.
TEST(BslFaults, EveryFaultInEveryPhase) {
    const struct {
        const char* name;  // as the log names the action
        ActionFlags flags;
        uint8_t command;  // the first frame of this command at or above address starts the phase
        uint16_t address;
    } phases[] = {{"Erase", kDefaultAutoprogram, 0x16, 0x1100},
                  {"Blank check", kDefaultAutoprogram, 0x1C, 0x1000},
                  {"Program", kDefaultAutoprogram, 0x12, 0x1100},
                  {"Verify", kDefaultAutoprogram, 0x14, 0x1100},
                  {"Read", kActionRead, 0x14, 0x1000}};
    testing::SimRun r;
    uint64_t stopAt = 0;
    r.target.clock.onAdvance = [&](uint64_t now) {
        if (stopAt != 0 && now >= stopAt && !r.programmer.Worker().Cancel().IsRaised())
            r.programmer.Worker().SignalStop();
    };
    const struct {
        const char* name;
        const char* reason;  // the link's own words; the erase check answers NAK for "not blank"
        std::function<void()> inject;
    } injections[] = {
        {"NAK", "NAK received.", [&] { r.target.line.ReplaceNextAnswer(0xA0); }},
        {"wrong answer code", "Unspecific error.", [&] { r.target.line.ReplaceNextAnswer(0x55); }},
        {"corrupt data frame", "Bad frame checksum.", [&] { r.target.line.CorruptNextDataFrame(6); }},
        {"answer lost", "Timeout while receiving header.", [&] { r.target.line.MuteFrameAnswers(true); }},
        {"target gone", "Synchronization error.", [&] { r.target.line.SetSilent(true); }},
        {"stop", "",
         [&] {
             r.target.line.MuteFrameAnswers(true);
             stopAt = r.target.clock.NowUs() + 500'000;
         }},
    };
    r.Fill(0x1100, 0x20FF, 5);
    r.programmer.deviceIndex = kDefaultBslDevice;
    for (const auto& phase : phases) {
        for (const auto& in : injections) {
            // Only data frames answer a read; the other commands answer with one byte.
            if (std::string(in.name) == "corrupt data frame" && phase.command != 0x14) continue;
            SCOPED_TRACE(std::string(phase.name) + ", " + in.name);
            bool injected = false;
            r.target.onFrame = [&](size_t count) {
                const std::vector<uint8_t>& f = r.target.frames[count - 1];
                if (injected || f[1] != phase.command || (f[4] | f[5] << 8) < phase.address) return;
                injected = true;
                in.inject();
            };
            uint64_t before = r.target.clock.NowUs();
            EXPECT_EQ(r.Run(phase.flags), kRunActionFailed);
            r.target.onFrame = nullptr;
            r.target.line.MuteFrameAnswers(false);
            r.target.line.SetSilent(false);

            std::vector<std::string> lines = r.sink.Lines();
            ASSERT_FALSE(lines.empty());
            EXPECT_FALSE(r.Logged(std::string("0 ") + phase.name + " complete."));
            if (!*in.reason) {
                // The stop is its own explanation: no failure line, and over at once.
                for (const std::string& line : lines) EXPECT_EQ(line[0], '0') << line;
                EXPECT_LT(r.target.clock.NowUs() - stopAt, 100'000u);
                stopAt = 0;
                continue;
            }
            std::string reason =
                std::string(in.name) == "NAK" && phase.command == 0x1C ? "Verification error." : in.reason;
            EXPECT_EQ(lines.back(), std::string("1 ") + phase.name + " failed. " + reason);
            // Within the loader's own time-outs: ten syncs, the header and the frame, for a few frames.
            EXPECT_LT(r.target.clock.NowUs() - before, 12'000'000u);
            if (std::string(phase.name) == "Program") {
                EXPECT_TRUE(r.programmer.Image().HasMismatch(0x1100, 0x1000));  // the chunk that failed
            }
        }
    }
}

#ifdef __linux__
// Many runs in one process, as a production line does: the memory stays where it was.
TEST(BslSoak, TwoHundredAutoRunsDoNotGrowMemory) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizer keeps freed memory back; its own leak check covers this build";
#endif
    testing::SimRun r;
    rusage usage{}, afterWarmUp{};
    for (int run = 0; run < 200; ++run) {
        r.Fill(0xF000, 0xF3FF, static_cast<unsigned>(run));
        ASSERT_EQ(r.Run(kDefaultAutoprogram), kRunComplete) << "run " << run << ": " << r.LastLine();
        if (run == 19) getrusage(RUSAGE_SELF, &afterWarmUp);
    }
    getrusage(RUSAGE_SELF, &usage);
    EXPECT_LT(usage.ru_maxrss, afterWarmUp.ru_maxrss + 2048);  // kilobytes: a margin far below a leak
}

#endif

}  // namespace
}  // namespace quarzo
