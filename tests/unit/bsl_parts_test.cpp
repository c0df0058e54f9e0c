// Every kind of part with the default settings (no part chosen) through the loader, against a target
// whose vacant memory does not read as erased flash.
#include <gtest/gtest.h>

#include <algorithm>
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

struct Part {
    const char* name;      // the simulated part
    const char* hostName;  // the host's record for it
    const char* loader;
};

class BslParts : public ::testing::TestWithParam<Part> {
protected:
    BslParts() : target_(GetParam().loader, GetParam().name) {
        target_.Attach(bsl_.link);
        programmer_.SetSink(&sink_);
        programmer_.SelectAdapter(kAdapterBsl);
        layout_ = DeviceLayout(FindDeviceByName(GetParam().hostName));
    }
    RunResult RunFlags(ActionFlags flags) {
        sink_.Clear();
        programmer_.deviceIndex = 0;
        programmer_.Start(flags);
        return programmer_.WaitForRun();
    }
    // A program filling the part's main memory, vectors included, and its information memory but
    // for the calibration segment.
    void LoadFirmware() {
        std::mt19937 random(3);
        for (uint32_t a = layout_.mainStart; a <= layout_.mainEnd; ++a)
            programmer_.Image().SetByte(a, static_cast<uint8_t>(random()));
        for (uint32_t a = layout_.infoStart; a < std::min<uint32_t>(layout_.infoEnd + 1u, kSegmentAStart);
             ++a)
            programmer_.Image().SetByte(a, static_cast<uint8_t>(a));
    }
    std::vector<uint8_t> SegmentA() {
        std::vector<uint8_t> bytes;
        for (uint32_t a = kSegmentAStart; a <= kSegmentAEnd; ++a) bytes.push_back(target_.device.Read(a));
        return bytes;
    }
    bool Logged(const std::string& line) {
        Strings lines = sink_.Lines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    RecordingLogSink sink_;
    SimTarget target_;
    BslAdapter bsl_;
    Programmer programmer_{AdapterList{nullptr, nullptr, &bsl_, nullptr}};
    MemoryLayout layout_;
};

TEST_P(BslParts, AutoWithDefaultSettingsFindsThePartAndProgramsIt) {
    target_.Flash(layout_.mainStart, {0x00, 0x00});  // an old program
    std::vector<uint8_t> calibration = SegmentA();
    LoadFirmware();
    EXPECT_EQ(RunFlags(kDefaultAutoprogram), kRunComplete) << sink_.Lines().back();
    char device[128];
    std::snprintf(device, sizeof device, "0 Device: %s. Info(0x%.4X-0x%.4X), Main:(0x%.4X-0x%.4X)",
                  GetParam().hostName, layout_.infoStart, layout_.infoEnd, layout_.mainStart,
                  layout_.mainEnd);
    EXPECT_TRUE(Logged(device));
    // A ROM loader without the erase check is blank-checked by reading back, never failed for want of it.
    EXPECT_TRUE(Logged("0 Blank check complete."));
    bool romLimits = std::string(GetParam().loader) < "1.60";
    EXPECT_EQ(Logged("0 Note: The ROM loader 1.40 serves the run: it has no erase check (the blank check reads "
                     "the memory back) and no speed change (the run stays at 9600 baud)."),
              romLimits);
    for (uint32_t a = layout_.mainStart; a <= layout_.mainEnd; ++a) {
        ASSERT_EQ(target_.device.Read(a), programmer_.Image().ValueAt(a)) << std::hex << a;
    }
    EXPECT_EQ(SegmentA(),
              calibration);  // F2xx calibration data survives; elsewhere it is flash like the rest
}

TEST_P(BslParts, ReadSavesOnlyThePartsOwnMemory) {
    target_.Flash(layout_.mainStart, {0x12, 0x34});
    if (GetParam().loader[0] == '2') {
        // No password given, and this loader erases the chip on a wrong one: none is sent.
        EXPECT_EQ(RunFlags(kActionRead), kRunActionFailed);
        EXPECT_EQ(sink_.Lines().back(), std::string("1 Read failed. ") +
                                            BslLink::GetErrorText(BslLink::kPasswordUnknown) + ".");
        for (const std::string& command : target_.Commands()) EXPECT_NE(command.substr(0, 2), "10");
        EXPECT_EQ(target_.device.Read(layout_.mainStart), 0x12);
        // The firmware file that is in the chip gives it: its vectors, here an unprogrammed table.
        for (uint32_t a = BslLink::kVectorsStart; a <= 0xFFFF; ++a) programmer_.Image().SetByte(a, 0xFF);
    }
    EXPECT_EQ(RunFlags(kActionRead), kRunComplete) << sink_.Lines().back();
    const MemoryImage& image = programmer_.Image();
    EXPECT_EQ(image.Lowest(), layout_.infoStart);
    EXPECT_EQ(image.Highest(), layout_.mainEnd);
    if (layout_.mainStart > layout_.infoEnd + 1u) {
        EXPECT_TRUE(image.AllAbsent(layout_.infoEnd + 1u, layout_.mainStart - layout_.infoEnd - 1u));
    }
    EXPECT_EQ(image.ValueAt(layout_.mainStart), 0x12);
    for (uint32_t a = layout_.mainStart + 2; a <= layout_.mainEnd; ++a) ASSERT_EQ(image.ValueAt(a), 0xFF);
}

INSTANTIATE_TEST_SUITE_P(DefaultSettings, BslParts,
                         ::testing::Values(Part{"MSP430F123", "MSP430F12x", "1.60"},
                                           Part{"MSP430F413", "MSP430F41x", "1.60"},
                                           Part{"MSP430F413", "MSP430F41x", "1.40"},
                                           Part{"MSP430F2274", "MSP430F2274", "2.02"},
                                           Part{"MSP430F149", "MSP430F149", "1.60"}),
                         [](const auto& info) {
                             std::string name = std::string(info.param.name) + "_" + info.param.loader;
                             std::replace(name.begin(), name.end(), '.', '_');
                             return name;
                         });

TEST(BslF2xx, ImageDataForTheCalibrationSegmentIsLeftOutWithAWarning) {
    SimTarget target("2.02", "MSP430F2274");
    BslAdapter bsl;
    target.Attach(bsl.link);
    RecordingLogSink sink;
    Programmer programmer(AdapterList{nullptr, nullptr, &bsl, nullptr});
    programmer.SetSink(&sink);
    programmer.SelectAdapter(kAdapterBsl);
    uint16_t checksum = target.device.ReadWord(kSegmentAStart);
    EXPECT_EQ(checksum, target.device.SegmentAChecksum());  // the factory block is consistent
    for (uint32_t a = 0x1080; a <= 0x10FF; ++a) programmer.Image().SetByte(a, 0x00);
    programmer.Start(kDefaultAutoprogram);
    EXPECT_EQ(programmer.WaitForRun(), kRunComplete) << sink.Lines().back();
    Strings lines = sink.Lines();
    EXPECT_EQ(
        std::count(lines.begin(), lines.end(),
                   "0 Warning: Information segment A (0x10C0-0x10FF) holds the chip's calibration data; the "
                   "image's bytes there are left out."),
        1);
    EXPECT_EQ(target.device.Read(0x10BF), 0x00);  // segment B is programmed
    EXPECT_EQ(target.device.ReadWord(kSegmentAStart), checksum);
    EXPECT_EQ(programmer.Image().FlagsAt(0x10C0) & EntryMismatch, 0);
}

// Memory a part does not have reads as the word 0x3FFF, and the watchdog written through the loader
// resets the chip as host tools expect.
TEST(BslTarget, VacantMemoryAndTheWatchdog) {
    SimTarget target("1.60", "MSP430F123");
    BslLink link;
    target.Attach(link);
    ASSERT_TRUE(link.OpenLink("COM1"));
    link.ResetTarget(true);
    ASSERT_TRUE(link.SendPassword());
    uint8_t vacant[4];
    ASSERT_TRUE(link.ReadBlocks(0x8000, vacant, 4));
    EXPECT_EQ(std::vector<uint8_t>(vacant, vacant + 4), (std::vector<uint8_t>{0xFF, 0x3F, 0xFF, 0x3F}));
    const uint8_t written[2] = {0x00, 0x00};
    EXPECT_FALSE(link.WriteBlocks(0x8000, written, 2));  // nothing there to take it: the loader's check fails
    ASSERT_TRUE(link.ReadBlocks(0x8000, vacant, 2));
    EXPECT_EQ(vacant[1], 0x3F);

    const uint8_t hold[2] = {0x80, 0x5A};  // the key with the hold bit: the watchdog stays stopped
    EXPECT_TRUE(link.WriteBlocks(0x0120, hold, 2));
    const uint8_t start[2] = {0x00, 0x5A};  // the key without the hold bit: a reset shortly after
    EXPECT_TRUE(link.WriteBlocks(0x0120, start, 2));
    EXPECT_EQ(target.bsl.GetState(), sim::RomBsl::State::kProgram);
    EXPECT_FALSE(link.ReadBlocks(0x1000, vacant, 2));
    EXPECT_EQ(link.GetErrorCode(), BslLink::kSync);

    link.ResetTarget(true);
    ASSERT_TRUE(link.SendPassword());
    const uint8_t noKey[2] = {0x00, 0x00};  // a key violation: the chip resets at once, with no answer
    EXPECT_FALSE(link.WriteBlocks(0x0120, noKey, 2));
    EXPECT_EQ(target.bsl.GetState(), sim::RomBsl::State::kProgram);
}

}  // namespace
}  // namespace quarzo
