#include "core/device_table.h"

#include <gtest/gtest.h>

#include "core/device_info.h"

namespace quarzo {
namespace {

// The part the identification bytes (by position) and the configuration fuses name.
TEST(DeviceTable, FindDeviceByIdentificationAndFuses) {
    const struct {
        std::vector<std::pair<int, uint8_t>> bytes;
        uint32_t fuses;
        const char* name;
    } cases[] = {
        {{{0, 0xF1}, {1, 0x49}}, 0x30, "MSP430F149"},
        {{{0, 0xF1}, {1, 0x49}}, 0x35, "MSP430F133"},
        {{{0, 0xF1}, {1, 0x49}}, 0x0A, "Device_unknown"},
        {{{0, 0xF4}, {1, 0x27}, {13, 0x57}}, 0x1234, "MSP430FW42x/F41x"},
        {{{0, 0xF4}, {1, 0x27}, {2, 0x10}, {13, 0x45}}, 0x02, "MSP430FE423_N"},  // not the plain FE423
        {{{0, 0xF1}, {1, 0x12}, {2, 0x10}, {3, 0x40}}, 0, "MSP430F11x1"},        // bytes 8 and 9 must be 0
        {{{0, 0xF1}, {1, 0x6C}}, 0x7, "MSP430F169"},
        {{{0, 0xFF}, {1, 0xFF}, {2, 0xFF}, {3, 0xFF}, {8, 0xFF}, {9, 0xFF}, {13, 0xFF}},
         0xFF,
         "Device_unknown"},
    };
    for (const auto& c : cases) {
        uint8_t id[16] = {};
        for (auto [at, value] : c.bytes) id[at] = value;
        EXPECT_STREQ(DeviceName(FindDevice(id, c.fuses)), c.name);
    }
}

TEST(DeviceTable, IndicesOutsideTheTableReadAsIndexZeroAndEachPartIsDescribed) {
    for (int index : {-1, kDeviceCount, 1000}) {
        EXPECT_STREQ(DeviceName(index), "Device_unknown");
        EXPECT_EQ(HasTestPin(index), HasTestPin(0));
        EXPECT_EQ(DeviceDescription(index), "");
    }
    EXPECT_STRNE(DeviceName(kDeviceCount - 1), "Device_unknown");
    EXPECT_EQ(HasTestPin(FindDeviceByName("MSP430F11x1")), 1);
    EXPECT_EQ(HasTestPin(FindDeviceByName("MSP430F149")), 0);
    EXPECT_EQ(DeviceDescription(FindDeviceByName("MSP430F1611")), "48KB+256B Flash, 10KB RAM");
    for (auto [size, text] :
         {std::pair{15, "0B"}, {1023, "1023B"}, {1536, "1KB"}, {1537, "2KB"}, {1048576, "1MB"}})
        EXPECT_EQ(FormatSize(size), text) << size;
}

TEST(DeviceTable, FillDeviceInfoFromTheLayouts) {
    DeviceInfo info;
    info.IdBytes()[0] = 0x5A;
    FillDeviceInfo(FindDeviceByName("MSP430FG4619"), info);
    EXPECT_EQ(info.Name(), "MSP430FG4619");
    EXPECT_EQ(info.MainEnd(), 0x1FFFFu);  // past 16 bits
    EXPECT_EQ(info.IdBytes()[0], 0x5A);   // untouched

    FillDeviceInfo(0, info);
    EXPECT_EQ(info.Name(), "Device_unknown");
    EXPECT_EQ(info.TestPin(), 1);
    EXPECT_EQ(info.MainEnd(), 0u);
    EXPECT_EQ(info.InfoEnd(), 0);
}

}  // namespace
}  // namespace quarzo
