#include "adapters/fetdll/fet_dll_adapter.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "adapters/base/port_names.h"
#include "core/device_table.h"
#include "core/settings_store.h"

namespace quarzo {
namespace {

constexpr int32_t kIdentifySize = DeviceInfo::kIdentifySize;
// Where the user asks for the firmware update: the window's menu, or the console's option.
#ifdef _WIN32
constexpr const char* kUpdateHow = "the menu Tools, Update FET firmware";
#else
constexpr const char* kUpdateHow = "\"quarzo --update-fet\"";
#endif
// MSP430_FET_FwUpdate's messages that carry progress.
constexpr uint32_t kBlockProgrammed = 4;  // wParam: percent done
constexpr uint32_t kUpdateDone = 6;

uint16_t Field16(const char* record, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(record[at]) | static_cast<uint8_t>(record[at + 1])
                                                                        << 8);
}

// The library takes buffers as char*, also for data it only reads.
char* Buffer(const uint8_t* data) {
    return reinterpret_cast<char*>(const_cast<uint8_t*>(data));
}

// The F2xx and G2xx families (and the AFE2xx, built on them) keep the factory's calibration data in
// information segment A. The library names them by part ("MSP430F2274", "MSP430G2553") or by family
// description ("MSP430G2xx3", "F20x2_G2x2x_G2x3x").
bool IsF2xxFamily(std::string name) {
    if (name.compare(0, 6, "MSP430") == 0) name.erase(0, 6);
    return name.compare(0, 2, "F2") == 0 || name.compare(0, 2, "G2") == 0 || name.compare(0, 4, "AFE2") == 0;
}

// The progress receiver of the one update that may run at a time; the library's client handle is
// 32 bits wide, too narrow for a pointer.
const std::function<void(int)>* gUpdateProgress = nullptr;

void UpdateNotify(uint32_t message, uint32_t wParam, uint32_t, int32_t) {
    if (!gUpdateProgress || !*gUpdateProgress) return;
    if (message == kBlockProgrammed) (*gUpdateProgress)(static_cast<int>(wParam > 100 ? 100 : wParam));
    if (message == kUpdateDone) (*gUpdateProgress)(100);
}

}  // namespace

FetDllAdapter::FetDllAdapter() {
    Load();
}

void FetDllAdapter::Load() {
    loadResult_ = LoadFetLibrary(lib_);
    loaded_ = loadResult_ == FetLoad::kLoaded;
}

bool FetDllAdapter::EnsureLoaded() {
    hasPendingError_ = false;
    if (!loaded_) Load();
    if (loadResult_ == FetLoad::kLongIntegers) {
        hasPendingError_ = true;
        pendingError_ = kLongIntegers;
    }
    return loaded_;
}

void FetDllAdapter::ApplySettings(const SettingsStore& s) {
    portIndex = static_cast<unsigned>(s.GetIntSetting(kSetFetPort));
    applyVcc = s.GetBoolSetting(kSetFetApplyVcc);
    targetVcc = VoltsToMillivolts(s.GetDoubleSetting(kSetFetTargetVcc));
    devicePath.clear();
}

std::vector<std::string> FetDllAdapter::ListedFets() {
    std::vector<std::string> fets;
    int32_t count = 0;
    if (!loaded_ || !lib_.numberOfUsbIfs || lib_.numberOfUsbIfs(&count) != 0) return fets;
    for (int32_t i = 0; i < count; ++i) {
        char* name = nullptr;
        int32_t status = 0;
        if (lib_.nameOfUsbIf(i, &name, &status) != 0 || !name || !*name) continue;
        fets.emplace_back(name);
    }
    return fets;
}

std::vector<Adapter::PortChoice> FetDllAdapter::PortChoices() {
    const auto& names = PortNames(kAdapterFetDll);
    std::vector<PortChoice> choices;
    EnsureLoaded();
    if (!loaded_ || lib_.IsIdentifyGeneration()) {
        for (size_t i = 0; i < names.size(); ++i) choices.emplace_back(static_cast<int>(i), names[i]);
        return choices;
    }
    // Libraries since 3.0 drive no parallel-port FET.
    choices.emplace_back(kFirstListedFet - 1, names[kFirstListedFet - 1]);
    listedFets_ = ListedFets();
    for (size_t i = 0; i < listedFets_.size(); ++i) {
#ifdef _WIN32
        std::string shown = listedFets_[i];
#else
        // The library names the device by its file; the user knows it by its path.
        std::string shown = listedFets_[i][0] == '/' ? listedFets_[i] : "/dev/" + listedFets_[i];
#endif
        choices.emplace_back(static_cast<int>(kFirstListedFet + i), shown);
    }
    return choices;
}

std::string FetDllAdapter::PortName() {
    if (!devicePath.empty()) return devicePath;
    const auto& names = PortNames(kAdapterFetDll);
    if (portIndex >= kFirstListedFet) {
        // A FET the library listed when last asked (asking closes the library's interface).
        size_t at = portIndex - kFirstListedFet;
        return at < listedFets_.size() ? listedFets_[at] : names[kFirstListedFet - 1];
    }
    return names[portIndex];
}

int32_t FetDllAdapter::Initialize() {
    if (portIndex >= kFirstListedFet && devicePath.empty()) listedFets_ = ListedFets();
    std::string port = PortName();
    std::vector<char> name(port.begin(), port.end());
    name.push_back('\0');
    int32_t status = lib_.initialize(name.data(), &version_);
    // The device database is read once the library has its instance (libraries 3.9 to 3.13 ignore it
    // before, and then know no part).
    if (status == 0 && lib_.loadDeviceDb && lib_.loadDeviceDb(nullptr) != 0) {
        CloseAfterFailure();
        return -1;
    }
    return status;
}

bool FetDllAdapter::FirmwareFits() {
    // -1 and -3: the firmware must be updated (-3: a major update); -2: the FET waits in its loader.
    if (version_ >= 0) return true;
    CloseAfterFailure(kFirmwareMismatch);
    return false;
}

void FetDllAdapter::CloseAfterFailure(int ownError) {
    pendingError_ = ownError != 0 ? ownError : static_cast<int>(lib_.errorNumber());
    hasPendingError_ = true;
    lib_.close(0);
    open = false;
}

int FetDllAdapter::GetName(char* out) {
    std::snprintf(out, kNameSize, "FET DLL (%s)", PortName().c_str());
    return 0;
}

int FetDllAdapter::GetInfo(char* out) {
    out[0] = '\0';
    if (!EnsureLoaded()) {
        open = false;
        return -1;
    }
    if (Initialize() != 0 || !FirmwareFits()) return -1;
    std::snprintf(out, kInfoSize, "%s V%ld", LibraryShownName().c_str(), static_cast<long>(version_));
    return 0;
}

int FetDllAdapter::Open() {
    open = false;
    calibrationSegment_ = false;
    if (!EnsureLoaded()) return -1;
    if (Initialize() != 0 || !FirmwareFits()) return -1;
    // Only libraries before 3.0 know the verification mode; later ones answer PARAMETER_ERR.
    bool ok = (!applyVcc || lib_.vcc(targetVcc) == 0) && Identify() &&
              (!lib_.IsIdentifyGeneration() || lib_.configure(kFetVerificationMode, 1) == 0);
    if (!ok) {
        CloseAfterFailure();
        return -1;
    }
    // Older libraries leave the ends out: a 128-byte information area when it starts off a 256-byte
    // boundary, else 256 bytes; main memory up to the top of the 16-bit space.
    if (device.InfoEnd() == 0) {
        uint16_t start = device.InfoStart();
        device.SetInfoEnd(static_cast<uint16_t>(start + ((start & 0xFF) != 0 ? 0x7F : 0xFF)));
    }
    if (device.MainEnd() == 0) device.SetMainEnd(0xFFFF);
    // Segment A is 0x10C0-0x10FF of the 256-byte information memory at 0x1000, known by the family
    // whatever name the library gives the part. The library keeps it locked unless told otherwise
    // (LOCKED_FLASH_ACCESS), which this program never does.
    calibrationSegment_ =
        (lib_.IsIdentifyGeneration() && HasCalibrationSegment(device.DeviceIndex())) ||
        (IsF2xxFamily(device.Name()) && device.InfoStart() == 0x1000 && device.InfoEnd() == 0x10FF);
    open = true;
    return 0;
}

bool FetDllAdapter::Identify() {
    if (!lib_.HasOpenDevice()) {
        if (lib_.identify(reinterpret_cast<char*>(device.bytes), kIdentifySize, 0) != 0) return false;
        // The number in the record is the library's own; the table knows the part by its name.
        device.SetDeviceIndex(static_cast<uint16_t>(FindDeviceByPartName(device.Name())));
        return true;
    }
    // Open whatever device is there, then read its description. (Libraries 3.0 to 3.2.4 also have
    // identify, but it writes the packed record, whose main end is not where the older one had it.)
    if (lib_.openDevice("DEVICE_UNKNOWN", "", 0, 0, 0) != 0) return false;
    char record[FoundDeviceRecord::kSize] = {};
    if (lib_.getFoundDevice(record, FoundDeviceRecord::kSize) != 0) return false;
    TakeFoundDevice(record);
    return true;
}

void FetDllAdapter::TakeFoundDevice(const char* record) {
    using R = FoundDeviceRecord;
    char name[DeviceInfo::kNameSize + 1] = {};
    std::memcpy(name, record + R::kName, DeviceInfo::kNameSize);
    device = DeviceInfo{};
    device.SetSignature(Field16(record, R::kEndian));
    // The library's name, which the device table lists only for some parts; the layout is the record's.
    device.SetDeviceIndex(static_cast<uint16_t>(FindDeviceByPartName(name)));
    device.SetName(name);
    device.SetMainStart(Field16(record, R::kMainStart));
    device.SetInfoStart(Field16(record, R::kInfoStart));
    device.SetRamEnd(Field16(record, R::kRamEnd));
    device.SetTestPin(Field16(record, R::kHasTestVpp));
    device.SetInfoEnd(Field16(record, R::kInfoEnd));
    device.SetMainEnd(Field16(record, R::kMainEnd) | static_cast<uint32_t>(Field16(record, R::kMainEnd + 2))
                                                         << 16);
}

bool FetDllAdapter::KeepsCalibrationSegment() const {
    return calibrationSegment_;
}

int FetDllAdapter::UpdateFirmware(const std::function<void(int percent)>& progress) {
    open = false;
    if (!EnsureLoaded()) return -1;
    if (!lib_.fwUpdate) {
        hasPendingError_ = true;
        pendingError_ = kNoFirmwareUpdate;
        return -1;
    }
    if (portIndex >= kFirstListedFet && devicePath.empty()) listedFets_ = ListedFets();
    std::string port = PortName();
    std::vector<char> name(port.begin(), port.end());
    name.push_back('\0');
    // The firmware is updated through an initialized interface, whatever version it reports.
    if (lib_.initialize(name.data(), &version_) != 0) return -1;
    gUpdateProgress = &progress;
    int32_t status = lib_.fwUpdate(nullptr, UpdateNotify, 0);
    gUpdateProgress = nullptr;
    if (status != 0) {
        CloseAfterFailure();
        return -1;
    }
    lib_.close(0);
    // The FET restarts with the new firmware: it must now report the library's version.
    if (Initialize() != 0 || !FirmwareFits()) return -1;
    lib_.close(0);
    return 0;
}

int FetDllAdapter::Close() {
    if (!open) return 0;
    if (lib_.reset) lib_.reset(7, 1, 1);
    int32_t status = lib_.close ? lib_.close(0) : -1;
    open = false;
    return static_cast<int>(status);
}

int FetDllAdapter::GetErrorCode() {
    if (hasPendingError_) {
        hasPendingError_ = false;
        return pendingError_;
    }
    return lib_.errorNumber ? static_cast<int>(lib_.errorNumber()) : 0;
}

std::string FetDllAdapter::LibraryShownName() {
#ifdef _WIN32
    return "msp430.dll";
#else
    return FetLibraryName();  // what this system looks for, so the user knows what to install
#endif
}

const char* FetDllAdapter::GetErrorText(int code) {
    switch (code) {
        case kFirmwareMismatch:
            text_ = "The FET's firmware does not match " + LibraryShownName() + " (it reports version " +
                    std::to_string(version_) + "): update it with " + kUpdateHow;
            return text_.c_str();
        case kLongIntegers:
            text_ = LibraryShownName() +
                    " is a 64-bit build with long integers (a version before 3.5), which this program "
                    "cannot call: install version 3.5 or later";
            return text_.c_str();
        case kNoFirmwareUpdate:
            text_ = LibraryShownName() + " has no firmware update (MSP430_FET_FwUpdate)";
            return text_.c_str();
        default:
            break;
    }
    if (!lib_.errorString) {
        text_ = LibraryShownName() + " not found";
        return text_.c_str();
    }
    const char* text = lib_.errorString(code);
    return text ? text : "";
}

int FetDllAdapter::Erase(int type, int address, int length) {
    return lib_.erase ? static_cast<int>(lib_.erase(type, address, length)) : -1;
}

int FetDllAdapter::BlankCheck(int address, int length) {
    return lib_.eraseCheck ? static_cast<int>(lib_.eraseCheck(address, length)) : -1;
}

int FetDllAdapter::WriteMemory(int address, const uint8_t* data, int length) {
    return lib_.memory ? static_cast<int>(lib_.memory(address, Buffer(data), length, 0)) : -1;
}

int FetDllAdapter::ReadMemory(int address, uint8_t* data, int length) {
    return lib_.memory ? static_cast<int>(lib_.memory(address, reinterpret_cast<char*>(data), length, 1))
                       : -1;
}

int FetDllAdapter::VerifyMemory(int address, const uint8_t* data, int length) {
    return lib_.verifyMem ? static_cast<int>(lib_.verifyMem(address, length, Buffer(data))) : -1;
}

int FetDllAdapter::Reset(int, int, int) {
    // The target is reset when the adapter is closed.
    return 0;
}

int FetDllAdapter::BlowFuse() {
    return lib_.secure ? static_cast<int>(lib_.secure()) : -1;
}

}  // namespace quarzo
