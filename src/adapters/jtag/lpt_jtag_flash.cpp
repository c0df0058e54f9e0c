// Flash erase and programming with injected writes to the flash controller, timed by TCLK pulses, and
// comparison by the target's signature hardware.
#include "adapters/jtag/lpt_jtag.h"

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
    IrShift(kAddr16Bit);
    DrShift(address);
    IrShift(kDataToAddr);
    DrShift(value);
    SetTclk(3);
}

// FCTL1 back to no mode, written on the rising TCLK edge, and the CPU given back.
void LptJtag::EndFlashMode() {
    WriteControlSignal(kHaltedWrite);
    IrShift(kAddr16Bit);
    DrShift(kFctl1);
    IrShift(kDataToAddr);
    DrShift(kFctlDone);
    SetTclk(1);
    ReleaseCpu();
}

void LptJtag::FlashErase(int type, uint16_t address) {
    bool segment = type == kEraseSegment;
    int passes = segment ? 1 : kMassErasePasses;
    for (int pass = 0; pass < passes; ++pass) {
        HaltCpu();
        SetTclk(0);
        WriteControlSignal(kHaltedWrite);
        RegisterWrite(kFctl1, EraseMode(type));
        RegisterWrite(kFctl2, kFctl2TclkDivide1);
        RegisterWrite(kFctl3, kFctl3Unlocked);
        RegisterWrite(address, kEraseDummyWord);  // starts the erase
        WriteControlSignal(kHaltedRead);
        TclkStrobes(segment ? kSegmentEraseStrobes : kMassEraseStrobes);
        EndFlashMode();
        // A stop between passes leaves the rest undone; the pass in hand has ended cleanly.
        if (cancel_ != nullptr && cancel_->IsRaised()) return;
    }
}

void LptJtag::FlashWrite(uint16_t address, uint32_t count, const uint8_t* words) {
    HaltCpu();
    SetTclk(0);
    WriteControlSignal(kHaltedWrite);
    RegisterWrite(kFctl1, kFctl1Write);
    RegisterWrite(kFctl2, kFctl2TclkDivide1);
    RegisterWrite(kFctl3, kFctl3Unlocked);
    for (uint32_t i = 0; i < count; ++i) {
        WriteControlSignal(kHaltedWrite);
        uint16_t word = static_cast<uint16_t>(words[2 * i] | words[2 * i + 1] << 8);
        RegisterWrite(static_cast<uint16_t>(address + 2 * i), word);
        WriteControlSignal(kHaltedRead);
        TclkStrobes(kWordWriteStrobes);
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

bool LptJtag::VerifyPsa(uint16_t address, uint32_t count, const uint8_t* words) {
    uint16_t start = static_cast<uint16_t>(address - 2);
    uint16_t signature = start;
    ExecutePor();
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
    if (result == signature) return true;
    lastError = kErrorVerify;
    return false;
}

}  // namespace quarzo
