// Whole engine runs over the direct JTAG adapter against the virtual chip on the cable.
#include <gtest/gtest.h>

#include <random>

#include "engine/programmer.h"
#include "support/jtag_sim_target.h"
#include "support/recording_log_sink.h"

namespace quarzo {
namespace {

using testing::JtagSimTarget;
using testing::RecordingLogSink;

class JtagRun : public ::testing::Test {
protected:
    void Connect(const std::string& device = "MSP430F149", uint8_t fuses = 0) {
        target_ = std::make_unique<JtagSimTarget>(device, fuses);
        programmer_ = std::make_unique<Programmer>(AdapterList{target_->adapter.get(), nullptr, nullptr, nullptr});
        programmer_->SetSink(&sink_);
        programmer_->SelectAdapter(kAdapterRawJtag);
        programmer_->deviceIndex = 0;
    }
    void LoadFirmware(uint32_t start = 0x1100, uint32_t end = 0xFFFF) {
        std::mt19937 random(11);
        for (uint32_t a = start; a <= end; ++a) programmer_->Image().SetByte(a, static_cast<uint8_t>(random()));
    }
    RunResult RunFlags(ActionFlags flags) {
        sink_.Clear();
        programmer_->Start(flags);
        return programmer_->WaitForRun();
    }
    bool DeviceHoldsImage(uint32_t start = 0x1100, uint32_t end = 0xFFFF) {
        for (uint32_t a = start; a <= end; ++a) {
            if (target_->device.Read(a) != programmer_->Image().ValueAt(a)) return false;
        }
        return true;
    }
    std::string Log() {
        std::string all;
        for (const auto& l : sink_.Lines()) all += l + "\n";
        return all;
    }

    RecordingLogSink sink_;
    std::unique_ptr<JtagSimTarget> target_;
    std::unique_ptr<Programmer> programmer_;
};

TEST_F(JtagRun, AutoProgramsAndVerifiesSixtyKilobytes) {
    Connect();
    LoadFirmware();
    EXPECT_EQ(RunFlags(kActionErase | kActionBlankCheck | kActionProgram | kActionVerify), kRunComplete) << Log();
    EXPECT_TRUE(DeviceHoldsImage());
    EXPECT_EQ(target_->target.Flash().incompleteOperations, 0u);
}

}  // namespace
}  // namespace quarzo
