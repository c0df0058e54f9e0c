#include "adapters/bsl/bsl_adapter.h"

#include <cstdio>

#include "core/device_table.h"
#include "core/file_format.h"
#include "core/firmware_file.h"
#include "core/memory_image.h"
#include "core/settings_store.h"

namespace quarzo {

namespace {

constexpr int kEraseAtAddress = 0;
constexpr int kEraseMain = 1;
constexpr uint32_t kF2InfoSegment = 64;
constexpr uint32_t kInfoSegment = 128;

}  // namespace

BslAdapter::BslAdapter() {
    for (int i = 0; i < kPortCount; ++i) portPaths[i] = DefaultSerialDevice(i);
    link.SetNoteSink([this](const std::string& line) {
        if (onNote) onNote(line);
    });
}

void BslAdapter::ApplySettings(const SettingsStore& s) {
    portIndex_ = static_cast<uint32_t>(s.GetIntSetting(kSetBslPort));
    BslLinkSettings line;
    line.patchToV150 = s.GetBoolSetting(kSetBslPatch);
    line.fastBaud = s.GetBoolSetting(kSetBslFastBaud);
    line.rstInvert = s.GetBoolSetting(kSetBslRstInvert);
    line.tstInvert = s.GetBoolSetting(kSetBslTstInvert);
    line.keepPortOpen = s.GetBoolSetting(kSetBslKeepPortOpen);
    line.rstDelay = static_cast<uint32_t>(s.GetIntSetting(kSetBslRstDelay));
    link.Configure(line);
    for (int i = 0; i < kPortCount; ++i) portPaths[i] = s.serialPorts[i];
    passwordFile = s.GetTextSetting(kSetBslPasswordFile);
    devicePath.clear();
}

void BslAdapter::BeginRun(bool erases) {
    link.BeginRun(erases);
    if (passwordFile.empty()) return;
    MemoryImage image;
    int format = FormatFromExtension(passwordFile);
    if (format == kFormatUnknown || FirmwareFile(image).Load(passwordFile, format) <= 0 || image.Lowest() > BslLink::kVectorsStart ||
        image.Highest() < 0xFFFF) {
        if (onNote) onNote("Warning: The password file \"" + passwordFile + "\" gives no interrupt vectors.");
        return;
    }
    std::array<uint8_t, kPasswordSize> vectors;
    for (uint32_t i = 0; i < vectors.size(); ++i) vectors[i] = image.ValueAt(BslLink::kVectorsStart + i);
    link.SetPassword(vectors, true);
}

void BslAdapter::CheckPortIndex() {
    if (portIndex_ >= static_cast<uint32_t>(kPortCount)) portIndex_ = 0;
}

std::string BslAdapter::PortName() {
    CheckPortIndex();
    if (!devicePath.empty()) return devicePath;
    return "COM" + std::to_string(portIndex_ + 1);
}

std::string BslAdapter::SystemPortName() {
    CheckPortIndex();
    if (!devicePath.empty()) return devicePath;
#ifdef _WIN32
    return "\\\\.\\" + PortName();
#else
    return portPaths[portIndex_];
#endif
}

const char* BslAdapter::GetErrorText(int code) {
    if (code == BslLink::kOpenPort && !unmappedText_.empty()) return unmappedText_.c_str();
    if (code == BslLink::kSync && !silentText_.empty()) return silentText_.c_str();
    if (code == BslLink::kPasswordMismatch) {
        return "Protected function. Password not match: the chip opens with the firmware file it holds "
               "(its interrupt vectors are the password), or after an erase";
    }
    return BslLink::GetErrorText(static_cast<uint32_t>(code));
}

int BslAdapter::GetName(char* out) {
    std::snprintf(out, kNameSize, "BSL(%s)", PortName().c_str());
    return 0;
}

int BslAdapter::GetInfo(char* out) {
    out[0] = '\0';
    Open();
    // A locked loader that told its version is described all the same.
    const BslLoaderState& loader = link.State();
    if (!link.PrepareTarget() && loader.romVersion == 0) return -1;
    // The minor byte in two digits: 2.02 is not 2.2.
    int n = std::snprintf(out, kInfoSize, "Device family %.2X%.2X; BSL v%x.%.2x", loader.chipInfo[0],
                          loader.chipInfo[1], loader.romVersion >> 8 & 0xFF, loader.romVersion & 0xFF);
    if (loader.currentVersion != loader.romVersion && n > 0 && static_cast<size_t>(n) < kInfoSize) {
        std::snprintf(out + n, kInfoSize - static_cast<size_t>(n), " patched to v%x.%.2x.",
                      loader.currentVersion >> 8 & 0xFF, loader.currentVersion & 0xFF);
    }
    return 0;
}

int BslAdapter::Open() {
    open = false;
    std::string port = SystemPortName();
    unmappedText_ = port.empty() ? "Could not open port (" + PortName() +
                                       " has no device in the section [Ports] of the settings file)"
                                 : "";
    silentText_.clear();
    if (!link.OpenLink(port)) {
        const std::string& reason = link.Port().OpenFailure();
        if (unmappedText_.empty() && !reason.empty()) unmappedText_ = "Could not open port " + reason;
        return -1;
    }
    link.ResetTarget(true);
    int index = device.DeviceIndex();
    link.SetPartRamEnd(index != 0 ? DeviceLayout(index).ramEnd : 0);
    if (index == 0) {
        index = IdentifyFromLoader();
        bool silent = index == 0 && link.GetErrorCode() == BslLink::kSync;
        if (silent) {
            // A loader that starts late now and then gets the entry sequence once more.
            link.ResetTarget(true);
            index = IdentifyFromLoader();
            silent = index == 0 && link.GetErrorCode() == BslLink::kSync;
        }
        if (silent) {
            // Nothing answered at all: going on would only make the next action fail less clearly.
            silentText_ = "No answer from the loader on " + PortName() +
                          ": check the wiring and the supply, or try --detect";
            link.SetError(BslLink::kSync);
            return -1;
        }
    }
    if (index != 0) {
        FillDeviceInfo(index, device);
    } else {
        FillDeviceInfo(kDefaultBslDevice, device);
        device.SetName("DEFAULT");
    }
    open = true;
    return 0;
}

int BslAdapter::IdentifyFromLoader() {
    // No part chosen: the identification bytes tell the layout. Loaders from 1.50 give them while locked;
    // a locked older loader leaves the default, and the operations that follow report what is wrong;
    // the error code says which it was.
    // A loader that erases the chip on a wrong password gets none yet: the run may still be refused.
    const uint8_t* id = link.State().chipInfo.data();
    if (link.ReadVersion() && link.ErasesOnWrongPassword()) return IdentifyDevice(id);
    if (link.PrepareTarget()) return IdentifyDevice(id);
    if (link.State().romVersion == 0) return 0;
    link.SetError(BslLink::kNoError);  // identified all the same: nothing for the next report
    return IdentifyDevice(id);
}

int BslAdapter::Close() {
    open = false;
    return link.CloseLink() ? 0 : -1;
}

int BslAdapter::Erase(int type, int address, int) {
    if (type == kEraseAtAddress) return link.EraseFlash(static_cast<uint32_t>(address)) ? 0 : -1;
    // The erase is what the user asked for: a loader that erases on a wrong password may be tried.
    link.AllowErase();
    if (link.PrepareTarget()) return EraseUnlocked(type != kEraseMain) ? 0 : -1;
    if (link.LastError() != BslLink::kPasswordMismatch) return -1;
    // Locked, and the password refused: only the mass erase, which takes information memory as well,
    // opens the chip.
    if (!link.MassErase()) return -1;
    if (onNote) onNote("Warning: The chip is locked by another password: it was mass-erased, information memory included.");
    return 0;
}

bool BslAdapter::EraseUnlocked(bool withInfo) {
    // Main memory alone (the erase-main form): whatever LOCKA says, information memory stays.
    if (!link.EraseFlash(device.MainStart(), BslLink::kMainEraseWord)) return false;
    link.PasswordErased();
    if (!withInfo) return true;
    bool calibration = HasCalibrationSegment(device.DeviceIndex()) || link.State().chipInfo[0] == 0xF2;
    uint32_t segment = calibration ? kF2InfoSegment : kInfoSegment;
    for (uint32_t a = device.InfoStart(); a + segment - 1 <= device.InfoEnd(); a += segment) {
        if (calibration && a >= kSegmentAStart && a <= kSegmentAEnd) continue;  // the factory's calibration
        if (!link.EraseFlash(a, BslLink::kSegmentEraseWord)) return false;
    }
    return true;
}

int BslAdapter::BlankCheck(int address, int length) {
    if (!link.PrepareTarget()) return -1;
    return link.CheckErased(static_cast<uint32_t>(address), static_cast<uint32_t>(length)) ? 0 : -1;
}

int BslAdapter::WriteMemory(int address, const uint8_t* data, int length) {
    if (!link.PrepareTarget()) return -1;
    return link.WriteBlocks(static_cast<uint32_t>(address), data, static_cast<uint32_t>(length)) ? 0 : -1;
}

int BslAdapter::ReadMemory(int address, uint8_t* data, int length) {
    if (!link.PrepareTarget()) return -1;
    return link.ReadBlocks(static_cast<uint32_t>(address), data, static_cast<uint32_t>(length)) ? 0 : -1;
}

int BslAdapter::VerifyMemory(int, const uint8_t*, int) {
    link.SetError(BslLink::kNotImplemented);
    return -1;
}

int BslAdapter::Reset(int, int, int releaseJtag) {
    link.ResetTarget(releaseJtag == 0);
    return 0;
}

int BslAdapter::BlowFuse() {
    link.SetError(BslLink::kNotImplemented);
    return -1;
}

}  // namespace quarzo
