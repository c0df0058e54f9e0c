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

uint16_t Field16(const char* record, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(record[at]) | static_cast<uint8_t>(record[at + 1])
                                                                        << 8);
}

// The library takes buffers as char*, also for data it only reads.
char* Buffer(const uint8_t* data) {
    return reinterpret_cast<char*>(const_cast<uint8_t*>(data));
}

}  // namespace

FetDllAdapter::FetDllAdapter() {
    Load();
}

void FetDllAdapter::Load() {
    loaded_ = LoadFetLibrary(lib_);
    deviceDbLoaded_ = false;
}

bool FetDllAdapter::EnsureLoaded() {
    if (!loaded_) Load();
    return loaded_;
}

void FetDllAdapter::ApplySettings(const SettingsStore& s) {
    portIndex = static_cast<unsigned>(s.GetIntSetting(kSetFetPort));
    applyVcc = s.GetBoolSetting(kSetFetApplyVcc);
    targetVcc = VoltsToMillivolts(s.GetDoubleSetting(kSetFetTargetVcc));
    devicePath.clear();
}

std::string FetDllAdapter::PortName() {
    const auto& names = PortNames(kAdapterFetDll);
    if (portIndex >= names.size()) portIndex = 0;
    return devicePath.empty() ? names[portIndex] : devicePath;
}

int32_t FetDllAdapter::Initialize() {
    // The current generation reads its device database (from its own files when given none) before
    // its first use; not at start-up, where most runs never need the library.
    if (lib_.loadDeviceDb && !deviceDbLoaded_) {
        lib_.loadDeviceDb(nullptr);
        deviceDbLoaded_ = true;
    }
    std::string port = PortName();
    std::vector<char> name(port.begin(), port.end());
    name.push_back('\0');
    return lib_.initialize(name.data(), &version_);
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
    if (Initialize() != 0) return -1;
    std::snprintf(out, kInfoSize, "%s V%ld", LibraryShownName().c_str(), static_cast<long>(version_));
    return 0;
}

int FetDllAdapter::Open() {
    if (!EnsureLoaded()) {
        open = false;
        return -1;
    }
    bool ok = Initialize() == 0 && (!applyVcc || lib_.vcc(targetVcc) == 0) && Identify() &&
              lib_.configure(0, 1) == 0;
    if (!ok) {
        open = false;
        return -1;
    }
    // Older libraries leave the ends out: a 128-byte information area when it starts off a 256-byte
    // boundary, else 256 bytes; main memory up to the top of the 16-bit space.
    if (device.InfoEnd() == 0) {
        uint16_t start = device.InfoStart();
        device.SetInfoEnd(static_cast<uint16_t>(start + ((start & 0xFF) != 0 ? 0x7F : 0xFF)));
    }
    if (device.MainEnd() == 0) device.SetMainEnd(0xFFFF);
    open = true;
    return 0;
}

bool FetDllAdapter::Identify() {
    if (!lib_.IsCurrentGeneration())
        return lib_.identify(reinterpret_cast<char*>(device.bytes), kIdentifySize, 0) == 0;
    // The current generation: open whatever device is there, then read its description.
    if (lib_.openDevice("DEVICE_UNKNOWN", "", 0, 0, 0) != 0) return false;
    char record[FoundDeviceRecord::kSize] = {};
    if (lib_.getFoundDevice(record, FoundDeviceRecord::kSize) != 0) return false;
    using R = FoundDeviceRecord;
    char name[DeviceInfo::kNameSize + 1] = {};
    std::memcpy(name, record + R::kName, DeviceInfo::kNameSize);
    device.SetSignature(Field16(record, R::kEndian));
    device.SetDeviceIndex(static_cast<uint16_t>(FindDeviceByPartName(name)));
    device.SetName(name);
    device.SetMainStart(Field16(record, R::kMainStart));
    device.SetInfoStart(Field16(record, R::kInfoStart));
    device.SetRamEnd(Field16(record, R::kRamEnd));
    device.SetTestPin(Field16(record, R::kHasTestVpp));
    device.SetInfoEnd(Field16(record, R::kInfoEnd));
    device.SetMainEnd(Field16(record, R::kMainEnd) | static_cast<uint32_t>(Field16(record, R::kMainEnd + 2))
                                                         << 16);
    return true;
}

int FetDllAdapter::Close() {
    if (!open) return 0;
    if (lib_.reset) lib_.reset(7, 1, 1);
    int32_t status = lib_.close ? lib_.close(0) : -1;
    open = false;
    return static_cast<int>(status);
}

int FetDllAdapter::GetErrorCode() {
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
    if (!lib_.errorString) {
        missingText_ = LibraryShownName() + " not found";
        return missingText_.c_str();
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
