// The command-level procedures of the loader: password, identification, preparation, erase, erase
// check, speed change and the installation of RAM code for old loaders.
#include <algorithm>
#include <cstring>

#include "adapters/bsl/bsl_images.h"
#include "adapters/bsl/bsl_link.h"
#include "platform/clock.h"

namespace quarzo {
namespace {

constexpr uint16_t kMassEraseAddress = 0xFF00;
constexpr uint16_t kMassEraseWord = 0xA506;
constexpr uint8_t kF2Family = 0xF2;
constexpr uint8_t kF4Family = 0xF4;
constexpr uint8_t kFg461xId = 0x6F;
constexpr uint32_t kVersion110 = 0x0110;
constexpr uint32_t kVersion130 = 0x0130;
constexpr uint32_t kVersion150 = 0x0150;
constexpr uint32_t kVersion160 = 0x0160;
constexpr uint32_t kVersion200 = 0x0200;
constexpr uint32_t kVersion212 = 0x0212;
// Loaders up to 1.10 need the erase repeated to reach the total erase time.
constexpr int kOldLoaderEraseCycles = 20;
constexpr uint32_t kBaudSettleMs = 10;
// The loader's clock register pair (high byte BCSCTL1 or SCFI1, low byte DCOCTL or SCFI0) for 9600,
// 19200 and 38400 baud, per family (SLAA089); the rate's index travels in the length word.
constexpr uint32_t kRates[] = {9600, 19200, 38400};
constexpr uint16_t kBaudWordsF1[] = {0x8580, 0x86E0, 0x87E0};
constexpr uint16_t kBaudWordsF2[] = {0x8580, 0x8B00, 0x8C80};
constexpr uint16_t kBaudWordsF4[] = {0x9800, 0xB000, 0xC800};

}  // namespace

bool BslLink::HasEraseCheck() const {
    return state_.ramBslStart != 0 ? state_.currentVersion > kVersion110
                                   : state_.currentVersion >= kVersion160;
}

bool BslLink::HasMemoryOffset() const {
    return state_.ramBslStart == 0 && state_.currentVersion >= kVersion212;
}

bool BslLink::ErasesOnWrongPassword() const {
    bool fg461x = state_.chipInfo[0] == kF4Family && state_.chipInfo[1] == kFg461xId;
    return state_.romVersion >= kVersion200 || (state_.romVersion != 0 && fg461x);
}

bool BslLink::SendPassword() {
    if (!state_.passwordPending) return true;
    errorCode_ = kNoError;
    bool erasing = ErasesOnWrongPassword();
    // A guess sent to such a loader wipes a programmed chip: only a run that erases anyway may risk it.
    if (erasing && !passwordKnown_ && !runErases_) {
        errorCode_ = kPasswordUnknown;
        return false;
    }
    std::array<uint8_t, kPasswordSize> erased;
    erased.fill(0xFF);
    // Where a wrong guess wipes the chip and the run erases it, the erased chip's password goes first
    // unless one was named: the vectors of the image to program say nothing of what the chip holds, and
    // a blank chip then keeps its calibration data. Any other chip is lost to the erase either way.
    if (erasing && runErases_ && !passwordNamed_) password_ = erased;
    if (!SendCommand(kCmdPassword, kVectorsStart, kPasswordSize, password_.data(), nullptr)) {
        if (errorCode_ != kNak) return false;
        if (erasing) {
            Note("Warning: The loader refused the password and erased the whole chip, %s included.",
                 state_.chipInfo[0] == kF2Family ? "information memory with the calibration data in segment A"
                                                 : "information memory");
        }
        // An erased chip's vectors open it whatever the image said.
        if (SendCommand(kCmdPassword, kVectorsStart, kPasswordSize, erased.data(), nullptr))
            password_ = erased;
    }
    if (errorCode_ != kNoError) {
        if (errorCode_ == kNak) errorCode_ = kPasswordMismatch;
        return false;
    }
    state_.passwordPending = false;
    return true;
}

bool BslLink::ReadChipInfo() {
    errorCode_ = kNoError;
    state_.chipInfo.fill(0xFF);
    if (SendCommand(kCmdRead, kChipInfoAddress, static_cast<uint16_t>(state_.chipInfo.size()), nullptr,
                    state_.chipInfo.data())) {
        state_.currentVersion = state_.romVersion = state_.chipInfo[10] * 256u + state_.chipInfo[11];
    }
    return errorCode_ == kNoError;
}

bool BslLink::ReadVersion() {
    errorCode_ = kNoError;
    std::array<uint8_t, 16> answer;
    answer.fill(0xFF);
    bool answered = SendCommand(kCmdVersion, 0, static_cast<uint16_t>(answer.size()), nullptr, answer.data());
    // Only a refusal says the loader lacks the command; a line fault asks again next time.
    versionAsked_ = answered || errorCode_ == kNak;
    if (!answered) return false;
    state_.chipInfo = answer;
    state_.currentVersion = state_.romVersion = state_.chipInfo[10] * 256u + state_.chipInfo[11];
    versionRead_ = true;
    return true;
}

bool BslLink::PrepareTarget() {
    // The version first: it tells whether a wrong password would erase the chip. Loaders before 1.50
    // refuse the command, and none of them erases on a wrong password.
    if (state_.versionPending && state_.passwordPending && !versionAsked_ && !ReadVersion() &&
        errorCode_ != kNak)
        return false;
    if (!SendPassword()) return false;
    if (state_.versionPending && (versionRead_ || ReadChipInfo())) {
        state_.versionPending = false;
        // Loaders older than 1.60 are replaced by the loadable one when the setting asks for it and the
        // chip can run it (otherwise the ROM loader serves with its limits). There is
        // no patch for loaders up to 1.10 (a self-contained one does not fit the 194 bytes it may take):
        // without the setting the ROM loader serves, as for the versions after 1.10.
        if (state_.currentVersion < kVersion160 && settings_.patchToV150 &&
            LoadableBslFits(state_.chipInfo[0], partRamEnd_))
            InstallRamBsl();
        if (state_.currentVersion >= kVersion150 && settings_.fastBaud) ChangeBaudRate();
        NoteServingLoader();
    }
    errorCode_ = kNoError;
    return true;
}

void BslLink::NoteServingLoader() {
    if (state_.ramBslStart != 0) {
        Note(
            "Note: Our loader %x.%.2x runs in RAM from 0x%.4X and serves the run in place of the ROM loader "
            "%x.%.2x.",
            state_.currentVersion >> 8 & 0xFF, state_.currentVersion & 0xFF, state_.ramBslStart,
            state_.romVersion >> 8 & 0xFF, state_.romVersion & 0xFF);
        return;
    }
    if (state_.currentVersion >= kVersion160) return;
    Note(
        "Note: The ROM loader %x.%.2x serves the run: it has no erase check (the blank check reads the "
        "memory "
        "back) and no speed change (the run stays at 9600 baud).",
        state_.currentVersion >> 8 & 0xFF, state_.currentVersion & 0xFF);
}

bool BslLink::EraseFlash(uint32_t address, uint16_t eraseWord) {
    if (!ReachAddress(address)) return false;
    // The 1.10 ROM loader and our loader in RAM erase one timing-generator pass per command; F1xx/F4xx
    // flash needs 200 ms of them.
    bool repeat =
        eraseWord == kMainEraseWord && (state_.currentVersion <= kVersion110 || state_.ramBslStart != 0);
    int cycles = repeat ? kOldLoaderEraseCycles : 1;
    for (int i = 0; i < cycles; ++i) {
        if (!SendCommand(kCmdErase, static_cast<uint16_t>(address), eraseWord, nullptr, nullptr)) return false;
    }
    return true;
}

bool BslLink::MassErase() {
    int cycles = state_.currentVersion > kVersion110 && state_.ramBslStart == 0 ? 1 : kOldLoaderEraseCycles;
    for (int i = 0; i < cycles; ++i) {
        if (!SendCommand(kCmdMassErase, kMassEraseAddress, kMassEraseWord, nullptr, nullptr)) break;
    }
    if (errorCode_ != kNoError) return false;
    password_.fill(0xFF);
    if (state_.ramBslStart == 0)
        SendCommand(kCmdPassword, kVectorsStart, kPasswordSize, password_.data(), nullptr);
    return true;
}

bool BslLink::CheckErased(uint32_t address, uint32_t length) {
    if (!HasEraseCheck()) return ReadBackErased(address, length);
    while (length > 0) {
        // One check per 64 KB page, each within the length word's reach.
        uint32_t piece = std::min(length, 0x10000 - (address & 0xFFFF));
        if (piece > 0xFFFF) piece = 0x8000;
        if (!ReachAddress(address)) return false;
        if (!SendCommand(kCmdEraseCheck, static_cast<uint16_t>(address), static_cast<uint16_t>(piece), nullptr,
                         nullptr)) {
            // The loader answers a range that is not erased with a negative acknowledge.
            if (errorCode_ == kNak) errorCode_ = kVerification;
            return false;
        }
        address += piece;
        length -= piece;
    }
    return true;
}

// Without the erase check the memory is read back and every byte must be 0xFF.
bool BslLink::ReadBackErased(uint32_t address, uint32_t length) {
    while (length > 0) {
        uint32_t block = std::min<uint32_t>(length, kMaxBlock);
        if (!ReadBlocks(address, readBack_, block)) return false;
        if (std::any_of(readBack_, readBack_ + block, [](uint8_t b) { return b != 0xFF; })) {
            errorCode_ = kVerification;
            return false;
        }
        address += block;
        length -= block;
    }
    return true;
}

bool BslLink::ChangeBaudRate(uint32_t baud) {
    const uint16_t* words = state_.chipInfo[0] == kF4Family   ? kBaudWordsF4
                            : state_.chipInfo[0] == kF2Family ? kBaudWordsF2
                                                              : kBaudWordsF1;
    uint16_t rate = 0;
    while (rate < 2 && kRates[rate] != baud) ++rate;
    if (kRates[rate] != baud) {
        errorCode_ = kUnspecific;
        return false;
    }
    if (!SendCommand(kCmdChangeBaud, words[rate], rate, nullptr, nullptr)) return false;
    clock_->SleepMs(kBaudSettleMs);
    // A full reconfiguration would assert DTR and RTS, which resets the target or drops TEST on a
    // cable that inverts them; only the speed changes.
    return port_->ChangeSpeed(baud);
}

bool BslLink::LoadPc() {
    if (state_.ramBslStart == 0) return false;
    return SendCommand(kCmdLoadPc, static_cast<uint16_t>(state_.ramBslStart), 0, nullptr, nullptr);
}

bool BslLink::InstallRamBsl() {
    state_.ramBslStart = 0;
    errorCode_ = kNoError;
    const uint8_t* image = kLoadableBsl;
    uint32_t size = kLoadableBslSize;
    // Loaders up to 1.30 leave their stack pointer where the loaded code would overwrite it: load PC
    // into the loader's own entry repairs it and locks the loader again. Later loaders set it themselves.
    bool repairStack = state_.romVersion <= kVersion130;
    bool ok = (!repairStack ||
               (SendCommand(kCmdLoadPc, kStackRepairPc, 0, nullptr, nullptr) &&
                SendCommand(kCmdPassword, kVectorsStart, kPasswordSize, password_.data(), nullptr))) &&
              WriteBlocks(kRamBslAddress, image, size) && ReadBlocks(kRamBslAddress, readBack_, size);
    if (ok && std::memcmp(readBack_, image, size) == 0) {
        uint8_t start[2];
        if (SendCommand(kCmdRead, kRamBslAddress, 2, nullptr, start)) {
            state_.ramBslStart = start[0] | start[1] << 8u;
            state_.currentVersion = kVersion150;
        }
        if (state_.ramBslStart != 0 &&
            SendCommand(kCmdPassword, kVectorsStart, kPasswordSize, password_.data(), nullptr) && LoadPc()) {
            errorCode_ = kNoError;
        }
    }
    if (errorCode_ != kNoError) {
        errorCode_ = kPatchFailed;
        return false;
    }
    return true;
}

}  // namespace quarzo
