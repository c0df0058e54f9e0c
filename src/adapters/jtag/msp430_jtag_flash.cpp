// Flash erase and programming with injected writes to the flash controller, timed by TCLK pulses, and
// comparison by the target's signature hardware.
#include <algorithm>
#include <cmath>
#include <vector>

#include "adapters/jtag/flash_clock.h"
#include "adapters/jtag/msp430_jtag.h"
#include "core/device_table.h"

namespace quarzo {
namespace {

constexpr uint8_t kDataPsa = 0x44;
constexpr uint8_t kShiftOutPsa = 0x46;
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
constexpr uint16_t kAllErase = 0xA506;
constexpr uint32_t kF2xxInfoSegment = 64;
// The strobe counts of the flash timing (one pulse fewer than the count): segment erase 4819 clocks,
// word 35 (F1xx/F4xx; F2xx 30), mass erase 5297 per pass until 200 ms have added up on F1xx/F4xx,
// 10593 in one pass on F2xx.
constexpr uint32_t kSegmentEraseStrobes = 4820;
constexpr uint32_t kMassEraseStrobes = 5300;
constexpr uint32_t kMassEraseClocks = 5297;
constexpr uint32_t kF2xxMassEraseStrobes = 10600;
constexpr uint32_t kWordWriteStrobes = 39;
constexpr double kCumulativeEraseSeconds = 0.22;  // 200 ms and a tenth more

}  // namespace

int Msp430Jtag::MassErasePasses(double tclkHz) {
    // Unmeasured, the fastest rate allowed gives the most passes. A measurement the system held up
    // reads low while the passes run at the pace: the faster of the two counts.
    double hz = tclkHz > 0 ? std::clamp(tclkHz, flash_clock::kTargetHz, flash_clock::kMaxHz) : flash_clock::kMaxHz;
    // A pass lasts its 5297 clocks of the timing generator, however long TCLK runs on.
    return static_cast<int>(std::ceil(kCumulativeEraseSeconds * hz / kMassEraseClocks));
}

void Msp430Jtag::RegisterWrite(uint16_t address, uint16_t value) {
    IrShift(kAddr16Bit, false);
    DrShift(address, 16, false);
    IrShift(kDataToAddr, false);
    DrShift(value, 16, false);
    TclkFall();
}

// FCTL1 back to no mode, written on the rising TCLK edge, and the CPU given back.
void Msp430Jtag::EndFlashMode() {
    HaltedWriteAndRelease(kHaltedWrite, kFctl1, kFctlDone);
}

// A pass whose burst was held up is given again: erasing twice does no harm. False when every try was.
bool Msp430Jtag::ErasePass(uint16_t mode, uint16_t address, uint32_t strobes) {
    for (int attempt = 0; attempt < kBurstAttempts; ++attempt) {
        if (attempt > 0) pins_.Sleep(kRetryRestMs);
        if (EraseOnce(mode, address, strobes)) return true;
    }
    return false;
}

bool Msp430Jtag::EraseOnce(uint16_t mode, uint16_t address, uint32_t strobes) {
    HaltCpu();
    SetTclk(false);
    WriteControlSignal(kHaltedWrite);
    RegisterWrite(kFctl1, mode);
    RegisterWrite(kFctl2, kFctl2TclkDivide1);
    RegisterWrite(kFctl3, kFctl3Unlocked);    // LOCKA toggles on a one only: written 0, it stays
    RegisterWrite(address, kEraseDummyWord);  // starts the erase
    WriteControlSignal(kHaltedRead);
    bool paced = pins_.TclkStrobes(strobes);
    EndFlashMode();
    return paced;
}

JtagError Msp430Jtag::FlashErase(int type, uint16_t address, double tclkHz) {
    // A stop between passes leaves the rest undone; the pass in hand has ended cleanly.
    auto pass = [this](uint16_t mode, uint16_t at, uint32_t strobes) {
        if (!ErasePass(mode, at, strobes)) return JtagError::kHeldUp;
        return pins_.Cancelled() ? JtagError::kStopped : JtagError::kNone;
    };
    if (type == kEraseSegment) return pass(kSegmentErase, address, kSegmentEraseStrobes);
    if (!HasCalibrationSegment(deviceIndex_)) {
        uint16_t mode = type == kEraseMain ? kMainErase : kAllErase;
        for (int i = 0, passes = MassErasePasses(tclkHz); i < passes; ++i)
            if (JtagError e = pass(mode, address, kMassEraseStrobes); e != JtagError::kNone) return e;
        return JtagError::kNone;
    }
    // F2xx (SLAU144, erase modes): with LOCKA set, as after reset, a mass erase keeps all information
    // memory. Main memory goes in one pass; B-D segment by segment; A, the calibration, stays.
    JtagError e = pass(kMainErase, address, kF2xxMassEraseStrobes);
    if (type == kEraseMain || e != JtagError::kNone) return e;
    const MemoryLayout& layout = DeviceLayout(deviceIndex_);
    for (uint32_t a = layout.infoStart; a + kF2xxInfoSegment - 1 <= layout.infoEnd && e == JtagError::kNone;
         a += kF2xxInfoSegment) {
        if (a != kSegmentAStart) e = pass(kSegmentErase, static_cast<uint16_t>(a), kSegmentEraseStrobes);
    }
    return e;
}

JtagError Msp430Jtag::FlashWrite(uint16_t address, uint32_t count, const uint8_t* words) {
    HaltCpu();
    SetTclk(false);
    WriteControlSignal(kHaltedWrite);
    RegisterWrite(kFctl1, kFctl1Write);
    RegisterWrite(kFctl2, kFctl2TclkDivide1);
    RegisterWrite(kFctl3, kFctl3Unlocked);
    for (uint32_t i = 0; i < count; ++i) {
        uint16_t word = static_cast<uint16_t>(words[2 * i] | words[2 * i + 1] << 8);
        // A word whose burst was held up is written again: programming the same value only finishes
        // clearing its bits. One held up in every try ends the block.
        bool paced = false;
        for (int attempt = 0; attempt < kBurstAttempts && !paced; ++attempt) {
            // Once at once; then after a rest, which lets a spell of hold-ups pass.
            if (attempt > 1) pins_.Sleep(kRetryRestMs);
            WriteControlSignal(kHaltedWrite);
            RegisterWrite(static_cast<uint16_t>(address + 2 * i), word);
            WriteControlSignal(kHaltedRead);
            paced = pins_.TclkStrobes(kWordWriteStrobes);
        }
        if (!paced) {
            EndFlashMode();
            return JtagError::kHeldUp;
        }
    }
    EndFlashMode();
    return JtagError::kNone;
}

JtagError Msp430Jtag::Verify(uint16_t address, uint32_t count, const uint8_t* words) {
    bool same = PsaSetupKnown(deviceIndex_) ? VerifyPsa(address, count, words)
                                            : VerifyByReading(address, count, words);
    return same ? JtagError::kNone : JtagError::kVerify;
}

// Where the documents disagree on a part's signature set-up, the words are read back instead.
bool Msp430Jtag::VerifyByReading(uint16_t address, uint32_t count, const uint8_t* words) {
    std::vector<uint8_t> read(2 * static_cast<size_t>(count));
    if (count > 0) ReadMemQuick(address, count, read.data());
    for (size_t i = 0; i < read.size(); ++i)
        if (read[i] != (words ? words[i] : 0xFF)) return false;
    return true;
}

// One signature step: a TCLK cycle with the TAP walked through the data-register path.
void Msp430Jtag::PsaStep() {
    SetTclk(true);
    pins_.SetTck(false);
    pins_.SetTms(true);
    pins_.SetTck(true);
    pins_.SetTck(false);
    pins_.SetTms(false);
    pins_.SetTck(true);
    pins_.SetTck(false);
    pins_.SetTck(true);
    pins_.SetTck(false);
    pins_.SetTms(true);
    pins_.SetTck(true);
    pins_.SetTck(false);
    pins_.SetTck(true);
    pins_.SetTms(false);
    ClockTck();
    SetTclk(false);
}

// SLAU320, verifying the target memory: the regular set-up loads the PC with start - 2 and gives it
// one TCLK cycle more; the enhanced one, for the parts marked for it, loads start - 4, halts the CPU
// and injects the seed.
bool Msp430Jtag::VerifyPsa(uint16_t address, uint32_t count, const uint8_t* words) {
    uint16_t start = static_cast<uint16_t>(address - 2);
    uint16_t signature = start;
    bool enhanced = HasEnhancedPsa(deviceIndex_);
    ExecutePor();
    if (enhanced) {
        SetPC(static_cast<uint16_t>(address - 4));
        HaltCpu();
        SetTclk(false);
        IrShift(kData16Bit);
        DrShift(start);
    } else {
        WriteControlSignal(kJtagRead);
        SetInstrFetch();
        IrShift(kData16Bit);
        DrShift(kMovImmToPc);
        TclkFall();
        DrShift(start);
        TclkFall();
        TclkFall();
        TclkFall();
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
    SetTclk(true);
    if (enhanced) ReleaseCpu();
    return result == signature;
}

}  // namespace quarzo
