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
constexpr uint16_t kEraseWord = 0xA504;
// The clock words D2:D1 for 38400 baud per family (DCOCTL and BCSCTL1, on F4xx SCFI0 and SCFI1).
constexpr uint16_t kBaudWordF1 = 0x87E0;
constexpr uint16_t kBaudWordF2 = 0x8C80;
constexpr uint16_t kBaudWordF4 = 0xC800;
constexpr uint8_t kF2Family = 0xF2;
constexpr uint8_t kF4Family = 0xF4;
constexpr uint32_t kVersion110 = 0x0110;
constexpr uint32_t kVersion150 = 0x0150;
constexpr uint32_t kVersion160 = 0x0160;
// Loaders up to 1.10 need the erase repeated to reach the total erase time.
constexpr int kOldLoaderEraseCycles = 20;
constexpr uint32_t kBaudSettleMs = 10;

}  // namespace

bool BslLink::SendPassword() {
    if (!passwordPending) return true;
    errorCode = kNoError;
    if (!SendCommand(kCmdPassword, kVectorsStart, kPasswordSize, password.data(), nullptr)) {
        // An erased chip's vectors open it whatever the image said.
        std::array<uint8_t, kPasswordSize> erased;
        erased.fill(0xFF);
        if (SendCommand(kCmdPassword, kVectorsStart, kPasswordSize, erased.data(), nullptr))
            password = erased;
    }
    if (errorCode != kNoError) {
        if (errorCode == kNak) errorCode = kPasswordMismatch;
        return false;
    }
    passwordPending = false;
    return true;
}

bool BslLink::ReadChipInfo() {
    errorCode = kNoError;
    chipInfo.fill(0xFF);
    if (SendCommand(kCmdRead, kChipInfoAddress, static_cast<uint16_t>(chipInfo.size()), nullptr,
                    chipInfo.data())) {
        currentVersion = romVersion = chipInfo[10] * 256u + chipInfo[11];
    }
    return errorCode == kNoError;
}

bool BslLink::PrepareTarget() {
    if (!SendPassword()) return false;
    if (versionPending && ReadChipInfo()) {
        versionPending = false;
        // Loaders older than 1.60 are replaced by the loadable one when the setting asks for it and the
        // chip can run it (otherwise the ROM loader serves with its limits). There is
        // no patch for loaders up to 1.10 (a self-contained one does not fit the 194 bytes it may take):
        // without the setting the ROM loader serves, as for the versions after 1.10.
        if (currentVersion < kVersion160 && patchToV150 && LoadableBslFits(chipInfo[0], partRamEnd)) InstallRamBsl();
        if (currentVersion >= kVersion150 && fastBaud) ChangeBaudRate();
    }
    return true;
}

bool BslLink::EraseFlash(bool mass, uint16_t address) {
    if (!mass) return SendCommand(kCmdErase, address, kEraseWord, nullptr, nullptr);
    // Our RAM loader erases one timing-generator pass per command, as the 1.10 ROM loader does, and the
    // flash of the chips it serves needs 200 ms of them: it gets the 1.10 loader's repeats.
    int cycles = currentVersion > kVersion110 && ramBslStart == 0 ? 1 : kOldLoaderEraseCycles;
    for (int i = 0; i < cycles; ++i) {
        if (!SendCommand(kCmdMassErase, kMassEraseAddress, kMassEraseWord, nullptr, nullptr)) break;
    }
    if (errorCode != kNoError) return false;
    password.fill(0xFF);
    if (ramBslStart == 0) SendCommand(kCmdPassword, kVectorsStart, kPasswordSize, password.data(), nullptr);
    return true;
}

bool BslLink::CheckErased(uint16_t address, uint16_t length) {
    if (currentVersion <= kVersion110) {
        errorCode = kOldVersion;
        return false;
    }
    if (SendCommand(kCmdEraseCheck, address, length, nullptr, nullptr)) return true;
    // The loader answers a range that is not erased with a negative acknowledge.
    if (errorCode == kNak) errorCode = kVerification;
    return false;
}

bool BslLink::ChangeBaudRate() {
    uint16_t word = chipInfo[0] == kF4Family ? kBaudWordF4 : chipInfo[0] == kF2Family ? kBaudWordF2 : kBaudWordF1;
    if (!SendCommand(kCmdChangeBaud, word, 2, nullptr, nullptr)) return false;
    clock_->SleepMs(kBaudSettleMs);
    // A full reconfiguration would assert DTR and RTS, which resets the target or drops TEST on a
    // cable that inverts them; only the speed changes.
    return port_->ChangeSpeed(kFastBaud);
}

bool BslLink::LoadPc() {
    if (ramBslStart == 0) return false;
    return SendCommand(kCmdLoadPc, static_cast<uint16_t>(ramBslStart), 0, nullptr, nullptr);
}

bool BslLink::InstallRamBsl() {
    ramBslStart = 0;
    errorCode = kNoError;
    const uint8_t* image = kLoadableBsl;
    uint32_t size = kLoadableBslSize;
    // Load PC into the loader's own entry repairs its stack pointer and locks it again.
    bool ok = SendCommand(kCmdLoadPc, kStackRepairPc, 0, nullptr, nullptr) &&
              SendCommand(kCmdPassword, kVectorsStart, kPasswordSize, password.data(), nullptr) &&
              WriteBlocks(kRamBslAddress, image, size) && ReadBlocks(kRamBslAddress, readBack_, size);
    if (ok && std::memcmp(readBack_, image, size) == 0) {
        uint8_t start[2];
        if (SendCommand(kCmdRead, kRamBslAddress, 2, nullptr, start)) {
            ramBslStart = start[0] | start[1] << 8u;
            currentVersion = kVersion150;
        }
        if (ramBslStart != 0 &&
            SendCommand(kCmdPassword, kVectorsStart, kPasswordSize, password.data(), nullptr) && LoadPc()) {
            errorCode = kNoError;
        }
    }
    if (errorCode != kNoError) {
        errorCode = kPatchFailed;
        return false;
    }
    return true;
}

}  // namespace quarzo
