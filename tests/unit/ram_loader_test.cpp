// Our loadable loader executing on the chip model, its UART bridged to the line in virtual time.
#include <gtest/gtest.h>

#include <vector>

#include "adapters/bsl/bsl_images.h"
#include "sim/flash_controller.h"
#include "sim/msp430_machine.h"
#include "sim/sim_device.h"


namespace quarzo::sim {
namespace {

class RamLoader : public ::testing::Test {
protected:
    RamLoader() : device_(FindDeviceByName("MSP430F149"), 0x0110), flash_(device_), machine_(device_, flash_) {
        for (size_t i = 0; i < kLoadableBslSize; ++i) device_.Write(0x0220 + static_cast<uint32_t>(i), kLoadableBsl[i]);
        for (uint32_t a = 0xFFE0; a <= 0xFFFF; ++a) device_.Write(a, 0x11);
        machine_.Start(device_.ReadWord(0x0220), 0);
        EXPECT_EQ(machine_.Run(1e6), Msp430Machine::Stop::kWaitingForInput);
    }
    // Sends bytes back to back at baud and returns what the loader answered.
    std::vector<uint8_t> Send(std::vector<uint8_t> bytes, uint32_t baud = 9600) {
        // As the simulated line does: each byte ends a whole number of microseconds after the last, and
        // the chip runs until it waits for the next.
        double end = static_cast<double>(static_cast<uint64_t>(machine_.NowUs()) + 100);
        std::vector<uint8_t> out;
        for (uint8_t b : bytes) {
            end += static_cast<double>(11'000'000ull / baud);
            machine_.QueueInput(b, baud, end - 11e6 / baud);
            EXPECT_EQ(machine_.Run(end + 2e6), Msp430Machine::Stop::kWaitingForInput);
            for (uint8_t o : machine_.TakeOutput(baud, nullptr)) out.push_back(o);
        }
        return out;
    }
    static std::vector<uint8_t> Frame(uint8_t cmd, uint16_t address, uint16_t length, std::vector<uint8_t> data = {}) {
        uint8_t l = static_cast<uint8_t>(4 + data.size());
        std::vector<uint8_t> f = {0x80, cmd, l, l, static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8),
                                  static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8)};
        for (uint8_t b : data) f.push_back(b);
        uint8_t lo = 0, hi = 0;
        for (size_t i = 0; i < f.size(); ++i) (i % 2 ? hi : lo) ^= f[i];
        f.push_back(static_cast<uint8_t>(~lo));
        f.push_back(static_cast<uint8_t>(~hi));
        return f;
    }
    std::vector<uint8_t> Command(std::vector<uint8_t> frame, uint32_t baud = 9600) {
        std::vector<uint8_t> sync = Send({0x80}, baud);
        EXPECT_EQ(sync, std::vector<uint8_t>{0x90});
        return Send(frame, baud);
    }

    SimDevice device_;
    FlashController flash_;
    Msp430Machine machine_;
};

TEST_F(RamLoader, PasswordWriteReadAndErase) {
    // Started by an unlocked ROM loader, it starts unlocked; a wrong password locks it.
    EXPECT_EQ(Command(Frame(0x1C, 0x1000, 0x100)), std::vector<uint8_t>{0x90});
    EXPECT_EQ(Command(Frame(0x10, 0xFFE0, 32, std::vector<uint8_t>(32, 0x12))), std::vector<uint8_t>{0xA0});
    EXPECT_EQ(Command(Frame(0x14, 0xF000, 4)), std::vector<uint8_t>{0xA0});
    std::vector<uint8_t> password(32, 0x11);
    EXPECT_EQ(Command(Frame(0x10, 0xFFE0, 32, password)), std::vector<uint8_t>{0x90});
    EXPECT_EQ(Command(Frame(0x18, 0xFFFE, 0xA506)), std::vector<uint8_t>{0x90});
    EXPECT_TRUE(device_.IsErased(0xF000, 0x100));
    EXPECT_EQ(Command(Frame(0x12, 0xF000, 4, {1, 2, 3, 4})), std::vector<uint8_t>{0x90});
    EXPECT_EQ(device_.ReadWord(0xF000), 0x0201);
    EXPECT_EQ(device_.ReadWord(0xF002), 0x0403);
    std::vector<uint8_t> read = Command(Frame(0x14, 0xF000, 4));
    ASSERT_EQ(read.size(), 10u);
    EXPECT_EQ(std::vector<uint8_t>(read.begin(), read.begin() + 8), (std::vector<uint8_t>{0x80, 0, 4, 4, 1, 2, 3, 4}));
    EXPECT_EQ(Command(Frame(0x1C, 0xF000, 4)), std::vector<uint8_t>{0xA0});
    EXPECT_EQ(Command(Frame(0x1C, 0xF100, 16)), std::vector<uint8_t>{0x90});
    EXPECT_EQ(flash_.outOfRangeOperations, 0u);
    EXPECT_EQ(flash_.incompleteOperations, 0u);
    // A cell that cannot take the value: NAK.
    EXPECT_EQ(Command(Frame(0x12, 0xF000, 2, {0xFF, 0xFF})), std::vector<uint8_t>{0xA0});
}

TEST_F(RamLoader, SpeedChangeAndAFaultyFrame) {
    std::vector<uint8_t> password(32, 0x11);
    EXPECT_EQ(Command(Frame(0x10, 0xFFE0, 32, password)), std::vector<uint8_t>{0x90});
    EXPECT_EQ(Command(Frame(0x20, 0x87E0, 2)), std::vector<uint8_t>{0x90});
    EXPECT_EQ(Command(Frame(0x18, 0xFFFE, 0xA506), 38400), std::vector<uint8_t>{0x90});
    EXPECT_EQ(Command(Frame(0x12, 0xF000, 2, {0x34, 0x12}), 38400), std::vector<uint8_t>{0x90});
    EXPECT_EQ(device_.ReadWord(0xF000), 0x1234);
    EXPECT_EQ(flash_.outOfRangeOperations, 0u);
    std::vector<uint8_t> bad = Frame(0x14, 0xF000, 2);
    bad.back() ^= 1;
    EXPECT_EQ(Command(bad, 38400), std::vector<uint8_t>{0xA0});
}

}  // namespace
}  // namespace quarzo::sim

namespace quarzo::sim {
TEST_F(RamLoader, DebugLongWrite) {
    EXPECT_EQ(Command(Frame(0x20, 0x87E0, 2)), std::vector<uint8_t>{0x90});
    EXPECT_EQ(Command(Frame(0x18, 0xFF00, 0xA506), 38400), std::vector<uint8_t>{0x90});
    std::vector<uint8_t> data(250);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 3);
    EXPECT_EQ(Command(Frame(0x12, 0x1100, 250, data), 38400), std::vector<uint8_t>{0x90});
    int bad = 0;
    for (size_t i = 0; i < data.size(); ++i) if (device_.Read(0x1100 + i) != data[i]) { if (bad++ < 5) printf("at %04zX %02X want %02X\n", 0x1100 + i, device_.Read(0x1100 + i), data[i]); }
    printf("bad %d incomplete %u out %u done %u\n", bad, flash_.incompleteOperations, flash_.outOfRangeOperations, flash_.completedOperations);
}
}
