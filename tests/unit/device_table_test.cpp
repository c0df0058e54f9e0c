#include "core/device_table.h"

#include <gtest/gtest.h>

#include "core/device_info.h"

namespace quarzo {
namespace {

int Find(std::initializer_list<std::pair<int, uint8_t>> bytes, uint32_t fuses) {
    uint8_t id[16] = {};
    for (auto [at, value] : bytes) id[at] = value;
    return FindDevice(id, fuses);
}

TEST(DeviceTable, FindDeviceByIdentificationAndFuses) {
    EXPECT_EQ(Find({{0, 0xF1}, {1, 0x49}}, 0x30), 7);
    EXPECT_STREQ(DeviceName(7), "MSP430F149");
    EXPECT_EQ(Find({{0, 0xF1}, {1, 0x49}}, 0x35), 3);
    EXPECT_STREQ(DeviceName(3), "MSP430F133");
    EXPECT_EQ(Find({{0, 0xF1}, {1, 0x49}}, 0x0A), 0);
    EXPECT_EQ(Find({{0, 0xF4}, {1, 0x27}, {13, 0x57}}, 0x1234), 31);
    EXPECT_EQ(Find({{0, 0xF4}, {1, 0x27}, {2, 0x10}, {13, 0x45}}, 0x02), 22);  // before 25
    EXPECT_STREQ(DeviceName(22), "MSP430FE423_N");
    EXPECT_EQ(Find({{0, 0xF1}, {1, 0x12}, {2, 0x10}, {3, 0x40}}, 0), 2);  // bytes 8 and 9 must be 0
    EXPECT_EQ(Find({{0, 0xF1}, {1, 0x6C}}, 0x7), 44);
    uint8_t ff[16];
    std::fill(ff, ff + 16, 0xFF);
    EXPECT_EQ(FindDevice(ff, 0xFF), 0);
}

TEST(DeviceTable, NamesAndTestPinsOutsideTheTableReadAsIndexZero) {
    EXPECT_STREQ(DeviceName(58), "Device_unknown");
    EXPECT_STREQ(DeviceName(1000), "Device_unknown");
    EXPECT_STREQ(DeviceName(-1), "Device_unknown");
    EXPECT_STREQ(DeviceName(57), "MSP430F2274");
    EXPECT_EQ(HasTestPin(1), 1);
    EXPECT_EQ(HasTestPin(7), 0);
    EXPECT_EQ(HasTestPin(52), 1);
    EXPECT_EQ(HasTestPin(58), 1);  // as index 0
}

TEST(DeviceTable, FillDeviceInfoFromTheLayouts) {
    DeviceInfo info;
    info.IdBytes()[0] = 0x5A;
    FillDeviceInfo(46, info);
    EXPECT_EQ(info.Name(), "MSP430FG4619");
    EXPECT_EQ(info.MainStart(), 0x2100);
    EXPECT_EQ(info.MainEnd(), 0x1FFFFu);
    EXPECT_EQ(info.InfoStart(), 0x1000);
    EXPECT_EQ(info.InfoEnd(), 0x10FF);
    EXPECT_EQ(info.RamEnd(), 0x09FF);
    EXPECT_EQ(info.DeviceIndex(), 46);
    EXPECT_EQ(info.IdBytes()[0], 0x5A);  // untouched

    FillDeviceInfo(0, info);
    EXPECT_EQ(info.Name(), "Device_unknown");
    EXPECT_EQ(info.Signature(), 0xAA55);
    EXPECT_EQ(info.TestPin(), 1);
    EXPECT_EQ(info.MainStart(), 0);
    EXPECT_EQ(info.MainEnd(), 0u);
    EXPECT_EQ(info.InfoEnd(), 0);
    // The record keeps the library's little-endian layout.
    EXPECT_EQ(info.bytes[0], 0x55);
    EXPECT_EQ(info.bytes[1], 0xAA);
    FillDeviceInfo(7, info);
    EXPECT_EQ(info.bytes[36], 0x00);
    EXPECT_EQ(info.bytes[37], 0x11);
    EXPECT_EQ(info.bytes[68], 0xFF);
    EXPECT_EQ(info.bytes[69], 0xFF);
    EXPECT_EQ(info.bytes[70], 0x00);
}

TEST(DeviceTable, DescriptionsAndSizes) {
    EXPECT_EQ(DeviceDescription(7), "60KB+256B Flash, 2KB RAM");
    EXPECT_EQ(DeviceDescription(42), "48KB+256B Flash, 10KB RAM");
    EXPECT_EQ(DeviceDescription(0), "");
    EXPECT_EQ(DeviceDescription(58), "");
    EXPECT_EQ(FormatSize(15), "0B");
    EXPECT_EQ(FormatSize(1023), "1023B");
    EXPECT_EQ(FormatSize(1536), "1KB");
    EXPECT_EQ(FormatSize(1537), "2KB");
    EXPECT_EQ(FormatSize(1048576), "1MB");
}

}  // namespace
}  // namespace quarzo
