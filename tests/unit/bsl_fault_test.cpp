// Every fault of the simulated line in every phase of a run through the loader: the run ends with the
// failure's own line and no "complete" line for the failed step, marks the chunk a failed write left,
// and is over within the loader's time-outs; a stop in any phase ends the run at once.
#include <gtest/gtest.h>

#include <chrono>

#include "core/device_table.h"
#include "support/sim_target.h"

namespace quarzo {
namespace {

struct Phase {
    const char* name;  // as the log names the action
    ActionFlags flags;
    uint8_t command;  // the first frame of this command at or above address starts the phase
    uint16_t address;
};

enum class Fault { kNak, kWrongCode, kCorruptFrame, kAnswerLost, kTargetGone, kStop };

struct Injection {
    Fault fault;
    const char* name;
    const char* reason;  // the link's own words; the erase check answers NAK for "not blank"
};

TEST(BslFaults, EveryFaultInEveryPhase) {
    const Phase phases[] = {{"Erase", kDefaultAutoprogram, 0x16, 0x1100},
                            {"Blank check", kDefaultAutoprogram, 0x1C, 0x1000},
                            {"Program", kDefaultAutoprogram, 0x12, 0x1100},
                            {"Verify", kDefaultAutoprogram, 0x14, 0x1100},
                            {"Read", kActionRead, 0x14, 0x1000}};
    const Injection injections[] = {{Fault::kNak, "NAK", "NAK received."},
                                    {Fault::kWrongCode, "wrong answer code", "Unspecific error."},
                                    {Fault::kCorruptFrame, "corrupt data frame", "Bad frame checksum."},
                                    {Fault::kAnswerLost, "answer lost", "Timeout while receiving header."},
                                    {Fault::kTargetGone, "target gone", "Synchronization error."},
                                    {Fault::kStop, "stop", ""}};
    testing::SimRun r;
    r.Fill(0x1100, 0x20FF, 5);
    r.programmer.deviceIndex = kDefaultBslDevice;
    for (const Phase& phase : phases) {
        for (const Injection& in : injections) {
            // Only data frames answer a read; the other commands answer with one byte.
            if (in.fault == Fault::kCorruptFrame && phase.command != 0x14) continue;
            SCOPED_TRACE(std::string(phase.name) + ", " + in.name);
            bool injected = false;
            r.target.onFrame = [&](size_t count) {
                const std::vector<uint8_t>& f = r.target.frames[count - 1];
                if (injected || f[1] != phase.command || (f[4] | f[5] << 8) < phase.address) return;
                injected = true;
                if (in.fault == Fault::kNak) r.target.line.ReplaceNextAnswer(0xA0);
                if (in.fault == Fault::kWrongCode) r.target.line.ReplaceNextAnswer(0x55);
                if (in.fault == Fault::kCorruptFrame) r.target.line.CorruptNextDataFrame(6);
                if (in.fault == Fault::kAnswerLost) r.target.line.MuteFrameAnswers(true);
                if (in.fault == Fault::kTargetGone) r.target.line.SetSilent(true);
                if (in.fault == Fault::kStop) r.programmer.Worker().SignalStop();
            };
            uint64_t before = r.target.clock.NowUs();
            auto start = std::chrono::steady_clock::now();
            EXPECT_EQ(r.Run(phase.flags), kRunActionFailed);
            double realMs =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            r.target.onFrame = nullptr;
            r.target.line.MuteFrameAnswers(false);
            r.target.line.SetSilent(false);

            std::vector<std::string> lines = r.sink.Lines();
            ASSERT_FALSE(lines.empty());
            EXPECT_FALSE(r.Logged(std::string("0 ") + phase.name + " complete."));
            if (in.fault == Fault::kStop) {
                // The stop is its own explanation: no failure line, and over at once.
                for (const std::string& line : lines) EXPECT_EQ(line[0], '0') << line;
                EXPECT_LT(realMs, 3000);
                continue;
            }
            std::string reason =
                in.fault == Fault::kNak && phase.command == 0x1C ? "Verification error." : in.reason;
            EXPECT_EQ(lines.back(), std::string("1 ") + phase.name + " failed. " + reason);
            // Within the loader's own time-outs: ten syncs, the header and the frame, for a few frames.
            EXPECT_LT(r.target.clock.NowUs() - before, 12'000'000u);
            if (std::string(phase.name) == "Program") {
                EXPECT_TRUE(r.programmer.Image().HasMismatch(0x1100, 0x1000));  // the chunk that failed
            }
        }
    }
}

}  // namespace
}  // namespace quarzo
