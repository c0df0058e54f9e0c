// Every kind of part with the default settings (no part chosen) through the loader, against a target
// whose vacant memory does not read as erased flash.
#include <gtest/gtest.h>

#include "core/device_table.h"
#include "support/sim_target.h"

namespace quarzo {
namespace {

using testing::SimRun;
using testing::SimTarget;

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
    // The part's main memory, vectors included, and its information memory but for segment A.
    r_.Fill(layout_.mainStart, layout_.mainEnd, 3);
    r_.Fill(layout_.infoStart, std::min<uint32_t>(layout_.infoEnd, kSegmentAStart - 1), 4);
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
    EXPECT_EQ(SegmentA(),
              calibration);  // F2xx calibration data survives; elsewhere it is flash like the rest
}

TEST_P(BslParts, ReadSavesOnlyThePartsOwnMemory) {
    r_.target.Flash(layout_.mainStart, {0x12, 0x34});
    r_.target.Flash(layout_.infoStart, {0x5A});
    if (GetParam().loader[0] == '2') {
        // No password given, and this loader erases the chip on a wrong one: none is sent.
        EXPECT_EQ(r_.Run(kActionRead), kRunActionFailed);
        EXPECT_EQ(r_.LastLine(),
                  std::string("1 Read failed. ") + BslLink::GetErrorText(BslLink::kPasswordUnknown) + ".");
        EXPECT_EQ(r_.target.Count("10"), 0u);
        EXPECT_EQ(r_.target.device.Read(layout_.mainStart), 0x12);
        // The firmware file that is in the chip gives it: its vectors, here an unprogrammed table.
        for (uint32_t a = BslLink::kVectorsStart; a <= 0xFFFF; ++a) r_.programmer.Image().SetByte(a, 0xFF);
    }
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
                                           Part{"MSP430F2274", "MSP430F2274", "2.02"},
                                           Part{"MSP430F149", "MSP430F149", "1.60"}),
                         [](const auto& info) {
                             std::string name = std::string(info.param.name) + "_" + info.param.loader;
                             std::replace(name.begin(), name.end(), '.', '_');
                             return name;
                         });

TEST(BslF2xx, ImageDataForTheCalibrationSegmentIsLeftOutWithAWarning) {
    SimRun r("2.02", "MSP430F2274");
    uint16_t checksum = r.target.device.ReadWord(kSegmentAStart);
    EXPECT_EQ(checksum, r.target.device.SegmentAChecksum());  // the factory block is consistent
    for (uint32_t a = 0x1080; a <= 0x10FF; ++a) r.programmer.Image().SetByte(a, 0x00);
    EXPECT_EQ(r.Run(kDefaultAutoprogram), kRunComplete) << r.LastLine();
    std::vector<std::string> lines = r.sink.Lines();
    EXPECT_EQ(
        std::count(lines.begin(), lines.end(),
                   "0 Warning: Information segment A (0x10C0-0x10FF) holds the chip's calibration data; "
                   "the image's bytes there are left out."),
        1);
    EXPECT_EQ(r.target.device.Read(0x10BF), 0x00);  // segment B is programmed
    EXPECT_EQ(r.target.device.ReadWord(kSegmentAStart), checksum);
    EXPECT_EQ(r.programmer.Image().FlagsAt(0x10C0) & EntryMismatch, 0);
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
    const uint8_t zero[2] = {0x00, 0x00};
    EXPECT_FALSE(link.WriteBlocks(0x8000, zero, 2));  // nothing there to take it: the loader's check fails

    const uint8_t hold[2] = {0x80, 0x5A};  // the key with the hold bit: the watchdog stays stopped
    EXPECT_TRUE(link.WriteBlocks(0x0120, hold, 2));
    const uint8_t start[2] = {0x00, 0x5A};  // the key without the hold bit: a reset shortly after
    EXPECT_TRUE(link.WriteBlocks(0x0120, start, 2));
    EXPECT_EQ(target.bsl.GetState(), sim::RomBsl::State::kProgram);
    EXPECT_FALSE(link.ReadBlocks(0x1000, vacant, 2));
    EXPECT_EQ(link.GetErrorCode(), BslLink::kSync);

    link.ResetTarget(true);
    ASSERT_TRUE(link.SendPassword());
    EXPECT_FALSE(link.WriteBlocks(0x0120, zero, 2));  // a key violation: the chip resets at once, unanswered
    EXPECT_EQ(target.bsl.GetState(), sim::RomBsl::State::kProgram);
}

}  // namespace
}  // namespace quarzo
