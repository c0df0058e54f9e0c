// A stand-in for the vendor's FET library: the same fourteen functions with the vendor's names,
// types and calling convention, backed by a simulated device. Built with QUARZO_FAKE_CURRENT it plays
// a library of the current generation: no MSP430_Identify, MSP430_OpenDevice, MSP430_GetFoundDevice
// and MSP430_LoadDeviceDb instead, and that generation's version number. It records every call with its
// arguments and fails on demand, with error numbers and texts of its own. Tests reach its extra
// FakeFet_* functions by loading the same file.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "adapters/fetdll/fet_library.h"
#include "core/device_info.h"
#include "core/device_table.h"
#include "sim/sim_device.h"

#ifdef _WIN32
#define FAKE_EXPORT extern "C" __declspec(dllexport)
#else
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

enum FakeError : int32_t {
    kFirmwareMismatch = 76,
    kNoError = 0,
    kNotInitialized = 70,
    kNotErased = 71,
    kVerifyFailed = 72,
    kSecured = 73,
    kBadEraseType = 74,
    kBadArgument = 75,
};

const char* FixedText(int32_t number) {
    switch (number) {
        case kNoError:
            return "Fake FET: no error";
        case kNotInitialized:
            return "Fake FET: interface not initialized";
        case kNotErased:
            return "Fake FET: memory not erased";
        case kVerifyFailed:
            return "Fake FET: memory does not match";
        case kSecured:
            return "Fake FET: device secured, JTAG is locked";
        case kBadEraseType:
            return "Fake FET: unknown erase type";
        case kBadArgument:
            return "Fake FET: bad argument";
        case kFirmwareMismatch:
            return "Fake FET: the FET's firmware does not match this library; update it with the vendor's "
                   "tool";
        default:
            return nullptr;
    }
}

// The library's state: one target behind one interface, as with the real tool.
struct Fake {
    std::unique_ptr<quarzo::sim::SimDevice> device;
    int hostIndex = 0;  // the host table's record of the same part, for the records handed out
    bool initialized = false;
    bool secured = false;
    bool fillEnds = false;
    bool opened = false;
    int32_t lastError = kNoError;
    std::string log;
    std::map<std::string, int32_t> failures;  // function name -> error number for its next call
    std::string failureText;
};

// The simulated part of that name (MSP430F149 when there is none).
void Choose(Fake& f, const char* name) {
    const quarzo::sim::SimPart* part = quarzo::sim::FindSimPart(name && *name ? name : "MSP430F149");
    if (part == nullptr) part = &quarzo::sim::DefaultSimPart();
    f.device = std::make_unique<quarzo::sim::SimDevice>(*part, 0x0160);
    f.hostIndex = quarzo::FindDeviceByPartName(part->name);
}

Fake& State() {
    static Fake fake;
    if (!fake.device) Choose(fake, std::getenv("QUARZO_FAKE_DEVICE"));
    return fake;
}

void Record(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Record(const char* format, ...) {
    char line[160];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    State().log += line;
    State().log += '\n';
}

// 0, or -1 with the error number set: a failure asked for by a test, or the given one.
int32_t Result(const char* function, int32_t error = kNoError) {
    Fake& f = State();
    auto injected = f.failures.find(function);
    if (injected != f.failures.end()) {
        error = injected->second;
        f.failures.erase(injected);
        f.failureText =
            std::string("Fake FET: ") + function + " refused (error " + std::to_string(error) + ")";
    }
    f.lastError = error;
    return error == kNoError ? 0 : -1;
}

int32_t Ready(const char* function) {
    Fake& f = State();
    if (!f.initialized) return Result(function, kNotInitialized);
    if (f.secured) return Result(function, kSecured);
    return Result(function);
}

}  // namespace

FAKE_EXPORT int32_t QUARZO_FET_CALL MSP430_Initialize(char* port, int32_t* version) {
    Record("MSP430_Initialize(%s)", port ? port : "(null)");
    if (!port || !version) return Result("MSP430_Initialize", kBadArgument);
#ifdef QUARZO_FAKE_CURRENT
    *version = 31501001;
#else
    *version = 20403;
#endif
    int32_t status = Result("MSP430_Initialize");
    State().initialized = status == 0;
    return status;
}

FAKE_EXPORT int32_t QUARZO_FET_CALL MSP430_Close(int32_t vccOff) {
    Record("MSP430_Close(%d)", vccOff);
    State().initialized = State().opened = false;
    return Result("MSP430_Close");
}

#ifdef QUARZO_FAKE_CURRENT
FAKE_EXPORT int32_t QUARZO_FET_CALL MSP430_LoadDeviceDb(const char* file) {
    Record("MSP430_LoadDeviceDb(%s)", file ? file : "(null)");
    return Result("MSP430_LoadDeviceDb");
}

FAKE_EXPORT int32_t QUARZO_FET_CALL MSP430_OpenDevice(const char* device, const char* password,
                                                      int32_t length, int32_t code, int32_t setId) {
    Record("MSP430_OpenDevice(%s, \"%s\", %d, %d, %d)", device ? device : "(null)",
           password ? password : "(null)", length, code, setId);
    if (int32_t status = Ready("MSP430_OpenDevice"); status != 0) return status;
    State().opened = true;
    return 0;
}

// The record of the current generation (DEVICE_T, 184 bytes, packed): its leading fields, and the
// part's own name where the device table groups parts ("MSP430F12x" becomes "MSP430F123").
FAKE_EXPORT int32_t QUARZO_FET_CALL MSP430_GetFoundDevice(char* buffer, int32_t count) {
    Record("MSP430_GetFoundDevice(%d)", count);
    Fake& f = State();
    if (!f.opened) return Result("MSP430_GetFoundDevice", kNotInitialized);
    if (!buffer || count < quarzo::FoundDeviceRecord::kSize)
        return Result("MSP430_GetFoundDevice", kBadArgument);
    using R = quarzo::FoundDeviceRecord;
    int index = f.hostIndex;
    const quarzo::MemoryLayout& m = quarzo::DeviceLayout(index);
    std::memset(buffer, 0, static_cast<size_t>(count));
    auto put16 = [&](size_t at, uint32_t v) {
        buffer[at] = static_cast<char>(v);
        buffer[at + 1] = static_cast<char>(v >> 8);
    };
    std::string name = quarzo::DeviceName(index);
    for (char& c : name) {
        if (c == 'x') c = '3';
    }
    put16(R::kEndian, 0xAA55);
    put16(2, 0x1234);  // the library's own device number, unrelated to the table's index
    std::memcpy(buffer + R::kName, name.c_str(), std::min<size_t>(name.size(), 31));
    put16(R::kMainStart, m.mainStart);
    put16(R::kInfoStart, m.infoStart);
    put16(R::kRamEnd, m.ramEnd);
    put16(R::kHasTestVpp, static_cast<uint32_t>(quarzo::HasTestPin(index)));
    put16(R::kInfoEnd, m.infoEnd);
    put16(R::kMainEnd, m.mainEnd);
    put16(R::kMainEnd + 2, m.mainEnd >> 16);
    return 0;
}
#else
FAKE_EXPORT int32_t QUARZO_FET_CALL MSP430_Identify(char* buffer, int32_t count, int32_t setId) {
    Record("MSP430_Identify(%d, %d)", count, setId);
    if (int32_t status = Ready("MSP430_Identify"); status != 0) return status;
    if (!buffer || count <= 0) return Result("MSP430_Identify", kBadArgument);
    Fake& f = State();
    quarzo::DeviceInfo info;
    quarzo::FillDeviceInfo(f.hostIndex, info);
    // Like the older libraries, the record carries no area ends unless asked to.
    if (!f.fillEnds) {
        info.SetInfoEnd(0);
        info.SetMainEnd(0);
    }
    std::memcpy(buffer, info.bytes, static_cast<size_t>(count < 104 ? count : 104));
    return 0;
}

#endif

FAKE_EXPORT int32_t QUARZO_FET_CALL MSP430_Device(int32_t device, char* buffer, int32_t count) {
    Record("MSP430_Device(%d, %d)", device, count);
    (void)buffer;
    return Result("MSP430_Device", kBadArgument);
}

FAKE_EXPORT int32_t QUARZO_FET_CALL MSP430_Configure(int32_t mode, int32_t value) {
    Record("MSP430_Configure(%d, %d)", mode, value);
    return Ready("MSP430_Configure");
}

FAKE_EXPORT int32_t QUARZO_FET_CALL MSP430_VCC(int32_t voltage) {
    Record("MSP430_VCC(%d)", voltage);
    if (int32_t status = Ready("MSP430_VCC"); status != 0) return status;
    return Result("MSP430_VCC", voltage < 0 || voltage > 3600 ? kBadArgument : kNoError);
}

FAKE_EXPORT int32_t QUARZO_FET_CALL MSP430_Reset(int32_t method, int32_t execute, int32_t releaseJtag) {
    Record("MSP430_Reset(%d, %d, %d)", method, execute, releaseJtag);
    if (int32_t status = Ready("MSP430_Reset"); status != 0) return status;
    State().device->ClearRam();
    return 0;
}

FAKE_EXPORT int32_t QUARZO_FET_CALL MSP430_Erase(int32_t type, int32_t address, int32_t length) {
    Record("MSP430_Erase(%d, 0x%X, %d)", type, address, length);
    if (int32_t status = Ready("MSP430_Erase"); status != 0) return status;
    quarzo::sim::SimDevice& d = *State().device;
    switch (type) {
        case 0:
            d.EraseSegment(static_cast<uint32_t>(address));
            break;
        case 1:
            d.EraseMain();
            break;
        case 2:
            d.MassErase();
            break;
        default:
            return Result("MSP430_Erase", kBadEraseType);
    }
    return 0;
}

FAKE_EXPORT int32_t QUARZO_FET_CALL MSP430_Memory(int32_t address, char* buffer, int32_t count, int32_t rw) {
    Record("MSP430_Memory(0x%X, %d, %d)", address, count, rw);
    if (int32_t status = Ready("MSP430_Memory"); status != 0) return status;
    if (!buffer || count < 0 || address < 0) return Result("MSP430_Memory", kBadArgument);
    quarzo::sim::SimDevice& d = *State().device;
    for (int32_t i = 0; i < count; ++i) {
        uint32_t a = static_cast<uint32_t>(address + i);
        if (rw)
            buffer[i] = static_cast<char>(d.Read(a));
        else
            d.Write(a, static_cast<uint8_t>(buffer[i]));
    }
    return 0;
}

FAKE_EXPORT int32_t QUARZO_FET_CALL MSP430_VerifyMem(int32_t address, int32_t length, char* data) {
    Record("MSP430_VerifyMem(0x%X, %d)", address, length);
    if (int32_t status = Ready("MSP430_VerifyMem"); status != 0) return status;
    if (!data || length < 0 || length > 0x20000) return Result("MSP430_VerifyMem", kBadArgument);
    for (int32_t i = 0; i < length; ++i) {
        if (State().device->Read(static_cast<uint32_t>(address + i)) != static_cast<uint8_t>(data[i])) {
            return Result("MSP430_VerifyMem", kVerifyFailed);
        }
    }
    return 0;
}

FAKE_EXPORT int32_t QUARZO_FET_CALL MSP430_EraseCheck(int32_t address, int32_t length) {
    Record("MSP430_EraseCheck(0x%X, %d)", address, length);
    if (int32_t status = Ready("MSP430_EraseCheck"); status != 0) return status;
    bool erased = State().device->IsErased(static_cast<uint32_t>(address), static_cast<uint32_t>(length));
    return Result("MSP430_EraseCheck", erased ? kNoError : kNotErased);
}

#ifndef QUARZO_FAKE_WITHOUT_SECURE
FAKE_EXPORT int32_t QUARZO_FET_CALL MSP430_Secure() {
    Record("MSP430_Secure()");
    if (int32_t status = Ready("MSP430_Secure"); status != 0) return status;
    State().secured = true;
    return 0;
}
#endif

FAKE_EXPORT int32_t QUARZO_FET_CALL MSP430_Error_Number() {
    return State().lastError;
}

FAKE_EXPORT const char* QUARZO_FET_CALL MSP430_Error_String(int32_t number) {
    const char* text = FixedText(number);
    return text ? text : State().failureText.c_str();
}

// Test controls.

FAKE_EXPORT void FakeFet_Reset(const char* deviceName, int fillEnds) {
    Fake& f = State();
    Choose(f, deviceName);
    f.initialized = f.secured = f.opened = false;
    f.fillEnds = fillEnds != 0;
    f.lastError = kNoError;
    f.log.clear();
    f.failures.clear();
}

FAKE_EXPORT void FakeFet_Fail(const char* function, int32_t number) {
    State().failures[function] = number;
}

FAKE_EXPORT const char* FakeFet_Log() {
    return State().log.c_str();
}

FAKE_EXPORT int FakeFet_Peek(int32_t address) {
    return State().device->Read(static_cast<uint32_t>(address));
}

FAKE_EXPORT void FakeFet_Poke(int32_t address, int value) {
    State().device->Write(static_cast<uint32_t>(address), static_cast<uint8_t>(value));
}

FAKE_EXPORT int FakeFet_IsSecured() {
    return State().secured ? 1 : 0;
}
