// Every fault of the simulated line in every phase of a run through the loader: the run ends with the
// failure's own line and no "complete" line for the failed step, marks the chunk a failed write left,
// and is over within the loader's time-outs; a stop in any phase ends the run at once.
#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "adapters/bsl/bsl_adapter.h"
#include "core/device_table.h"
#include "engine/programmer.h"
#include "support/recording_log_sink.h"
#include "support/sim_target.h"

namespace quarzo {
namespace {

using testing::RecordingLogSink;
using testing::SimTarget;
using Strings = std::vector<std::string>;

struct Phase {
    const char* name;  // as the log names the action
    ActionFlags flags;
    uint8_t command;  // the first frame of this command at or above address starts the phase
    uint16_t address;
};

const Phase kPhases[] = {
    {"Erase", kDefaultAutoprogram, 0x16, 0x1100},
    {"Blank check", kDefaultAutoprogram, 0x1C, 0x1000},
    {"Program", kDefaultAutoprogram, 0x12, 0x1100},
    {"Verify", kDefaultAutoprogram, 0x14, 0x1100},
    {"Read", kActionRead, 0x14, 0x1000},
};

enum class Fault { kNak, kWrongCode, kCorruptFrame, kAnswerLost, kTargetGone, kStop };

// The link's own words for each fault; the loader's erase check answers NAK for "not blank".
std::string Reason(Fault f, const Phase& phase) {
    switch (f) {
        case Fault::kNak:
            return phase.command == 0x1C ? "Verification error." : "NAK received.";
        case Fault::kWrongCode:
            return "Unspecific error.";
        case Fault::kCorruptFrame:
            return "Bad frame checksum.";
        case Fault::kAnswerLost:
            return "Timeout while receiving header.";
        default:
            return "Synchronization error.";
    }
}

const char* Name(Fault f) {
    switch (f) {
        case Fault::kNak:
            return "NAK";
        case Fault::kWrongCode:
            return "wrong answer code";
        case Fault::kCorruptFrame:
            return "corrupt data frame";
        case Fault::kAnswerLost:
            return "answer lost";
        case Fault::kTargetGone:
            return "target gone";
        default:
            return "stop";
    }
}

class BslFaults : public ::testing::Test {
protected:
    BslFaults() {
        target_.Attach(bsl_.link);
        programmer_.SetSink(&sink_);
        programmer_.SelectAdapter(kAdapterBsl);
        std::mt19937 random(5);
        for (uint32_t a = 0x1100; a < 0x2100; ++a)
            programmer_.Image().SetByte(a, static_cast<uint8_t>(random()));
    }

    // Runs the phase with the fault injected at its first frame.
    RunResult RunWith(const Phase& phase, Fault fault, double& realMs, uint64_t& virtualMs) {
        sink_.Clear();
        programmer_.deviceIndex = kDefaultBslDevice;
        bool injected = false;
        target_.onFrame = [&](size_t count) {
            const std::vector<uint8_t>& f = target_.frames[count - 1];
            uint16_t address = static_cast<uint16_t>(f[4] | f[5] << 8);
            if (injected || f[1] != phase.command || address < phase.address) return;
            injected = true;
            switch (fault) {
                case Fault::kNak:
                    target_.line.ReplaceNextAnswer(0xA0);
                    break;
                case Fault::kWrongCode:
                    target_.line.ReplaceNextAnswer(0x55);
                    break;
                case Fault::kCorruptFrame:
                    target_.line.CorruptNextDataFrame(6);
                    break;
                case Fault::kAnswerLost:
                    target_.line.MuteFrameAnswers(true);
                    break;
                case Fault::kTargetGone:
                    target_.line.SetSilent(true);
                    break;
                case Fault::kStop:
                    programmer_.Worker().SignalStop();
                    break;
            }
        };
        uint64_t before = target_.clock.NowUs();
        auto start = std::chrono::steady_clock::now();
        programmer_.Start(phase.flags);
        RunResult result = programmer_.WaitForRun();
        realMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        virtualMs = (target_.clock.NowUs() - before) / 1000;
        target_.onFrame = nullptr;
        target_.line.MuteFrameAnswers(false);
        target_.line.SetSilent(false);
        return result;
    }

    RecordingLogSink sink_;
    SimTarget target_;
    BslAdapter bsl_;
    Programmer programmer_{AdapterList{nullptr, nullptr, &bsl_, nullptr}};
};

TEST_F(BslFaults, EveryFaultInEveryPhase) {
    for (const Phase& phase : kPhases) {
        for (Fault fault : {Fault::kNak, Fault::kWrongCode, Fault::kCorruptFrame, Fault::kAnswerLost,
                            Fault::kTargetGone, Fault::kStop}) {
            // Only data frames answer a read; the other commands answer with one byte.
            if (fault == Fault::kCorruptFrame && phase.command != 0x14) continue;
            SCOPED_TRACE(std::string(phase.name) + ", " + Name(fault));
            double realMs = 0;
            uint64_t virtualMs = 0;
            EXPECT_EQ(RunWith(phase, fault, realMs, virtualMs), kRunActionFailed);
            Strings lines = sink_.Lines();
            ASSERT_FALSE(lines.empty());
            std::string complete = std::string("0 ") + phase.name + " complete.";
            EXPECT_EQ(std::find(lines.begin(), lines.end(), complete), lines.end());
            if (fault == Fault::kStop) {
                // The stop is its own explanation: no failure line, and over at once.
                for (const std::string& line : lines) EXPECT_EQ(line[0], '0') << line;
                EXPECT_LT(realMs, 3000);
                continue;
            }
            EXPECT_EQ(lines.back(), std::string("1 ") + phase.name + " failed. " + Reason(fault, phase));
            // Within the loader's own time-outs: ten syncs, the header and the frame, for a few frames.
            EXPECT_LT(virtualMs, 12'000u);
            if (std::string(phase.name) == "Program") {
                EXPECT_TRUE(programmer_.Image().HasMismatch(0x1100, 0x1000));  // the chunk that failed
            }
        }
    }
}

}  // namespace
}  // namespace quarzo
