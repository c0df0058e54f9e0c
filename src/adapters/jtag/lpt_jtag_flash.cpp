// Flash erase and programming with injected writes to the flash controller, timed by TCLK pulses, and
// comparison by the target's signature hardware.
#include "adapters/jtag/lpt_jtag.h"
#include "core/device_table.h"

namespace quarzo {
namespace {

constexpr uint16_t kFctl1 = 0x0128;
constexpr uint16_t kFctl2 = 0x012A;
constexpr uint16_t kFctl3 = 0x012C;
constexpr uint16_t kFctlDone = 0xA500;
constexpr uint16_t kFctl1Write = 0xA540;
constexpr uint16_t kFctl2TclkDivide1 = 0xA540;
constexpr uint16_t kFctl3Unlocked = 0xA500;
constexpr uint16_t kEraseDummyWord = 0x55AA;
constexpr uint16_t kPsaPolynomial = 0x0805;
constexpr uint16_t kSegmentErase = 0xA502;
constexpr uint16_t kMainErase = 0xA504;
constexpr uint32_t kF2xxInfoSegment = 64;

uint16_t EraseMode(int type) {
    switch (type) {
        case LptJtag::kEraseSegment:
            return 0xA502;
        case LptJtag::kEraseMain:
            return 0xA504;
        default:
            return 0xA506;
    }
}

}  // namespace

void LptJtag::RegisterWrite(uint16_t address, uint16_t value) {
    IrShift(kAddr16Bit, false);
    DrShift(address, 16, false);
    IrShift(kDataToAddr, false);
    DrShift(value, 16, false);
    SetTclk(3);
}

// FCTL1 back to no mode, written on the rising TCLK edge, and the CPU given back.
void LptJtag::EndFlashMode() {
    HaltedWriteAndRelease(kHaltedWrite, kFctl1, kFctlDone);
}

// A pass whose burst was held up is given again: erasing twice does no harm.
void LptJtag::ErasePass(uint16_t mode, uint16_t address, uint32_t strobes) {
    for (int attempt = 0; attempt < kBurstAttempts; ++attempt)
        if (EraseOnce(mode, address, strobes)) return;
}

bool LptJtag::EraseOnce(uint16_t mode, uint16_t address, uint32_t strobes) {
    HaltCpu();
    SetTclk(0);
    WriteControlSignal(kHaltedWrite);
    RegisterWrite(kFctl1, mode);
    RegisterWrite(kFctl2, kFctl2TclkDivide1);
    RegisterWrite(kFctl3, kFctl3Unlocked);  // LOCKA toggles on a one only: written 0, it stays
    RegisterWrite(address, kEraseDummyWord);  // starts the erase
    WriteControlSignal(kHaltedRead);
    bool paced = TclkStrobes(strobes);
    EndFlashMode();
    return paced;
}

bool LptJtag::FlashErase(int type, uint16_t address) {
    // A stop between passes leaves the rest undone; the pass in hand has ended cleanly.
    auto stopped = [this] { return cancel_ != nullptr && cancel_->IsRaised(); };
    if (type == kEraseSegment) {
        ErasePass(kSegmentErase, address, kSegmentEraseStrobes);
        return !stopped();
    }
    int index = static_cast<int>(deviceIndex);
    if (!HasCalibrationSegment(index)) {
        for (int pass = 0, passes = MassErasePasses(); pass < passes; ++pass) {
            ErasePass(EraseMode(type), address, kMassEraseStrobes);
            if (stopped()) return false;
        }
        return true;
    }
    // F2xx (SLAU144, erase modes): with LOCKA set, as after reset, a mass erase keeps all information
    // memory. Main memory goes in one pass; B-D segment by segment; A, the calibration, stays.
    ErasePass(kMainErase, address, kF2xxMassEraseStrobes);
    if (type == kEraseMain || stopped()) return !stopped();
    const MemoryLayout& layout = DeviceLayout(index);
    for (uint32_t a = layout.infoStart; a + kF2xxInfoSegment - 1 <= layout.infoEnd; a += kF2xxInfoSegment) {
        if (a == kSegmentAStart) continue;
        ErasePass(kSegmentErase, static_cast<uint16_t>(a), kSegmentEraseStrobes);
        if (stopped()) return false;
    }
    return true;
}

void LptJtag::FlashWrite(uint16_t address, uint32_t count, const uint8_t* words) {
    HaltCpu();
    SetTclk(0);
    WriteControlSignal(kHaltedWrite);
    RegisterWrite(kFctl1, kFctl1Write);
    RegisterWrite(kFctl2, kFctl2TclkDivide1);
    RegisterWrite(kFctl3, kFctl3Unlocked);
    for (uint32_t i = 0; i < count; ++i) {
        uint16_t word = static_cast<uint16_t>(words[2 * i] | words[2 * i + 1] << 8);
        // A word whose burst was held up is written again: programming the same value only finishes
        // clearing its bits.
        for (int attempt = 0; attempt < kBurstAttempts; ++attempt) {
            WriteControlSignal(kHaltedWrite);
            RegisterWrite(static_cast<uint16_t>(address + 2 * i), word);
            WriteControlSignal(kHaltedRead);
            if (TclkStrobes(kWordWriteStrobes)) break;
        }
    }
    EndFlashMode();
}

// One signature step: a TCLK cycle with the TAP walked through the data-register path.
void LptJtag::PsaStep() {
    SetTclk(1);
    SetTck(0);
    SetTms(true);
    SetTck(3);
    SetTms(false);
    SetTck(3);
    SetTck(3);
    SetTms(true);
    SetTck(3);
    SetTck(1);
    SetTms(false);
    SetTck(2);
    SetTclk(0);
}

// SLAU320, verifying the target memory: the regular set-up loads the PC with start - 2 and gives it
// one TCLK cycle more; the enhanced one, for the parts marked for it, loads start - 4, halts the CPU
// and injects the seed.
bool LptJtag::VerifyPsa(uint16_t address, uint32_t count, const uint8_t* words) {
    uint16_t start = static_cast<uint16_t>(address - 2);
    uint16_t signature = start;
    bool enhanced = HasEnhancedPsa(static_cast<int>(deviceIndex));
    ExecutePor();
    if (enhanced) {
        SetPC(static_cast<uint16_t>(address - 4));
        HaltCpu();
        SetTclk(0);
        IrShift(kData16Bit);
        DrShift(start);
    } else {
        WriteControlSignal(kJtagRead);
        SetInstrFetch();
        IrShift(kData16Bit);
        DrShift(kMovImmToPc);
        SetTclk(3);
        DrShift(start);
        SetTclk(3);
        SetTclk(3);
        SetTclk(3);
        IrShift(kAddrCapture);
        DrShift(0);
    }
    IrShift(kDataPsa);
    for (uint32_t i = 0; i < count; ++i) {
        if (signature & 0x8000)
            signature = static_cast<uint16_t>((signature ^ kPsaPolynomial) << 1 | 1);
        else
            signature = static_cast<uint16_t>(signature << 1);
        if (words)
            signature ^= static_cast<uint16_t>(words[2 * i] | words[2 * i + 1] << 8);
        else
            signature = static_cast<uint16_t>(~signature);
        PsaStep();
    }
    IrShift(kShiftOutPsa);
    uint16_t result = DrShift(0);
    SetTclk(1);
    if (enhanced) ReleaseCpu();
    if (result == signature) return true;
    lastError = kErrorVerify;
    return false;
}

}  // namespace quarzo
