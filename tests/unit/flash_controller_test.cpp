// The simulated flash controller enforces the chip's rules: key, lock, modes and timing.
#include "sim/flash_controller.h"

#include <gtest/gtest.h>

#include "support/sim_part_named.h"

namespace quarzo {
namespace {

using sim::FlashController;

class FlashRules : public ::testing::Test {
protected:
    explicit FlashRules(const char* part = "MSP430F149")
        : device_(testing::PartNamed(part), 0x0160), flash_(device_) {
        flash_.onKeyViolation = [this] { ++violations_; };
    }
    void Unlock(uint16_t mode) {
        flash_.WriteRegister(FlashController::kFctl2, 0xA540, false);
        flash_.WriteRegister(FlashController::kFctl3, 0xA500, false);
        flash_.WriteRegister(FlashController::kFctl1, mode, false);
    }
    // TCLK pulses every usPerClock microseconds (333 kHz unless told).
    void Clocks(uint32_t n, uint64_t usPerClock = 3) {
        for (uint32_t i = 0; i < n; ++i) flash_.MclkCycles(1, nowUs_ += usPerClock);
    }
    void MassErasePasses(uint16_t mode, int passes) {
        for (int i = 0; i < passes; ++i) {
            flash_.WriteRegister(FlashController::kFctl1, mode, false);
            flash_.WriteFlash(0xFFFE, 0x55AA, false);
            Clocks(flash_.massEraseClocks);
        }
    }

    sim::SimDevice device_;
    FlashController flash_;
    int violations_ = 0;
    uint64_t nowUs_ = 0;
};

TEST_F(FlashRules, KeyLockModeAndClocksGuardTheCells) {
    EXPECT_EQ(flash_.ReadRegister(FlashController::kFctl3) & 0xFF00, 0x9600);
    flash_.WriteRegister(FlashController::kFctl1, 0x1240, false);
    flash_.WriteRegister(FlashController::kFctl1, 0xA540, true);  // a byte write carries no key
    EXPECT_EQ(violations_, 2);
    EXPECT_TRUE(flash_.ReadRegister(FlashController::kFctl3) & FlashController::kKeyv);
    EXPECT_EQ(flash_.ReadRegister(FlashController::kFctl1) & 0xFF, 0);
    // Locked since reset, then unlocked but in no mode: no write reaches the cells.
    for (bool unlocked : {false, true}) {
        if (unlocked) Unlock(0xA500);
        flash_.WriteFlash(0xF000, 0x0000, false);
        Clocks(100);
        EXPECT_EQ(device_.ReadWord(0xF000), 0xFFFF);
        EXPECT_TRUE(flash_.ReadRegister(FlashController::kFctl3) & FlashController::kAccvifg);
    }

    // Writes only clear bits, and take their clocks.
    Unlock(0xA540);
    flash_.WriteFlash(0xF000, 0x0F0F, false);
    EXPECT_TRUE(flash_.ReadRegister(FlashController::kFctl3) & FlashController::kBusy);
    // F1xx: a word takes 35 clocks; writing FCTL1 meanwhile is an access violation that ends nothing.
    Clocks(34);
    flash_.WriteRegister(FlashController::kFctl1, 0xA500, false);
    EXPECT_TRUE(flash_.ReadRegister(FlashController::kFctl3) & FlashController::kAccvifg);
    EXPECT_EQ(flash_.ReadRegister(FlashController::kFctl1) & 0xFF, 0x40);
    EXPECT_TRUE(flash_.Busy());
    Clocks(1);
    EXPECT_FALSE(flash_.Busy());
    EXPECT_EQ(device_.ReadWord(0xF000), 0x0F0F);
    flash_.WriteFlash(0xF000, 0xF0F0, false);  // no 0 -> 1
    Clocks(35);
    EXPECT_EQ(device_.ReadWord(0xF000), 0x0000);
    flash_.WriteFlash(0xF003, 0x12, true);
    Clocks(35);
    EXPECT_EQ(device_.Read(0xF003), 0x12);
    EXPECT_EQ(device_.Read(0xF002), 0xFF);

    // The timing generator's clock must lie in 257-476 kHz: TCLK at 500 or 200 kHz spoils the word.
    for (uint64_t halfUs : {1u, 5u}) {
        uint32_t outside = flash_.outOfRangeOperations;
        flash_.WriteFlash(0xF020 + 2 * halfUs, 0x0000, false);
        Clocks(35, 2 * halfUs);
        EXPECT_EQ(flash_.outOfRangeOperations, outside + 1) << halfUs;
        EXPECT_NE(device_.ReadWord(0xF020 + 2 * halfUs), 0x0000) << halfUs;
    }
}

TEST_F(FlashRules, ErasesBySegmentMainAndAll) {
    for (uint32_t a : {0x1000u, 0x1080u, 0xE000u, 0xE200u}) device_.Write(a, 0x00);
    Unlock(0xA502);
    flash_.WriteFlash(0xE1FE, 0x55AA, false);
    Clocks(4818);
    EXPECT_TRUE(flash_.Busy());
    Clocks(1);
    EXPECT_EQ(device_.Read(0xE000), 0xFF);
    EXPECT_EQ(device_.Read(0xE200), 0x00);
    // The mode ends with the erase: a second dummy write needs the mode again.
    flash_.WriteFlash(0xE200, 0x55AA, false);
    Clocks(6000);
    EXPECT_EQ(device_.Read(0xE200), 0x00);

    // F1xx: passes of 5297 clocks erase main memory once they add up to 200 ms (13 at 333 kHz).
    uint32_t incomplete = flash_.incompleteOperations;
    MassErasePasses(0xA504, 12);
    EXPECT_NE(device_.Read(0xE200), 0xFF);
    MassErasePasses(0xA504, 1);
    EXPECT_EQ(device_.Read(0xE200), 0xFF);
    EXPECT_EQ(device_.Read(0x1000), 0x00);
    EXPECT_EQ(flash_.incompleteOperations, incomplete);
    // Passes that stop short of it, and a pass cut off by a reset, leave cells that a blank check finds;
    // each counts as incomplete once something else follows.
    flash_.Reset();
    Unlock(0xA500);
    MassErasePasses(0xA506, 2);
    flash_.WriteRegister(FlashController::kFctl1, 0xA506, false);
    flash_.WriteFlash(0xFFFE, 0x55AA, false);
    Clocks(1000);
    flash_.Reset();
    EXPECT_EQ(flash_.incompleteOperations, incomplete + 2);
    EXPECT_FALSE(device_.IsErased(0x1000, 0x100));
}

class F2xxFlashRules : public FlashRules {
protected:
    F2xxFlashRules() : FlashRules("MSP430F2274") {}
};

TEST_F(F2xxFlashRules, MassEraseKeepsAllInformationMemoryWhileLockA) {
    uint8_t calibration = device_.Read(0x10FF);
    device_.Write(0x1000, 0x00);
    device_.Write(0xE000, 0x00);
    Unlock(0xA506);
    // F2xx: one pass of 10593 clocks, and with LOCKA set main memory only.
    flash_.WriteFlash(0xFFFE, 0x55AA, false);
    Clocks(10592);
    EXPECT_TRUE(flash_.Busy());
    Clocks(1);
    EXPECT_EQ(device_.Read(0xE000), 0xFF);
    EXPECT_EQ(device_.Read(0x1000), 0x00);
    EXPECT_EQ(device_.Read(0x10FF), calibration);
    // Writing a one toggles LOCKA: now all information memory goes, segment A too.
    flash_.WriteRegister(FlashController::kFctl3, 0xA540, false);
    MassErasePasses(0xA506, 1);
    EXPECT_EQ(device_.Read(0x1000), 0xFF);
    EXPECT_EQ(device_.Read(0x10FF), 0xFF);
    EXPECT_EQ(flash_.incompleteOperations, 0u);
}

}  // namespace
}  // namespace quarzo
