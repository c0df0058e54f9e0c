// A stand-in for the vendor's FET library: the same fourteen functions with the vendor's names,
// types and calling convention, backed by a simulated device. It records every call with its
// arguments and fails on demand, with error numbers and texts of its own. Tests reach its extra
// FakeFet_* functions by loading the same file.
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

enum FakeError : long {
    kNoError = 0,
    kNotInitialized = 70,
    kNotErased = 71,
    kVerifyFailed = 72,
    kSecured = 73,
    kBadEraseType = 74,
    kBadArgument = 75,
};

const char* FixedText(long number) {
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
        default:
            return nullptr;
    }
}

// The library's state: one target behind one interface, as with the real tool.
struct Fake {
    std::unique_ptr<quarzo::sim::SimDevice> device;
    bool initialized = false;
    bool secured = false;
    bool fillEnds = false;
    long lastError = kNoError;
    std::string log;
    std::map<std::string, long> failures;  // function name -> error number for its next call
    std::string failureText;
};

Fake& State() {
    static Fake fake;
    if (!fake.device) {
        const char* name = std::getenv("QUARZO_FAKE_DEVICE");
        int index = quarzo::FindDeviceByName(name && *name ? name : "MSP430F149");
        fake.device =
            std::make_unique<quarzo::sim::SimDevice>(index ? index : quarzo::kDefaultBslDevice, 0x0160);
    }
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
long Result(const char* function, long error = kNoError) {
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

long Ready(const char* function) {
    Fake& f = State();
    if (!f.initialized) return Result(function, kNotInitialized);
    if (f.secured) return Result(function, kSecured);
    return Result(function);
}

}  // namespace

FAKE_EXPORT long QUARZO_FET_CALL MSP430_Initialize(char* port, long* version) {
    Record("MSP430_Initialize(%s)", port ? port : "(null)");
    if (!port || !version) return Result("MSP430_Initialize", kBadArgument);
    *version = 20403;
    long status = Result("MSP430_Initialize");
    State().initialized = status == 0;
    return status;
}

FAKE_EXPORT long QUARZO_FET_CALL MSP430_Close(long vccOff) {
    Record("MSP430_Close(%ld)", vccOff);
    State().initialized = false;
    return Result("MSP430_Close");
}

FAKE_EXPORT long QUARZO_FET_CALL MSP430_Identify(char* buffer, long count, long setId) {
    Record("MSP430_Identify(%ld, %ld)", count, setId);
    if (long status = Ready("MSP430_Identify"); status != 0) return status;
    if (!buffer || count <= 0) return Result("MSP430_Identify", kBadArgument);
    Fake& f = State();
    quarzo::DeviceInfo info;
    quarzo::FillDeviceInfo(f.device->DeviceIndex(), info);
    // Like the older libraries, the record carries no area ends unless asked to.
    if (!f.fillEnds) {
        info.SetInfoEnd(0);
        info.SetMainEnd(0);
    }
    std::memcpy(buffer, info.bytes, static_cast<size_t>(count < 104 ? count : 104));
    return 0;
}

FAKE_EXPORT long QUARZO_FET_CALL MSP430_Device(long device, char* buffer, long count) {
    Record("MSP430_Device(%ld, %ld)", device, count);
    (void)buffer;
    return Result("MSP430_Device", kBadArgument);
}

FAKE_EXPORT long QUARZO_FET_CALL MSP430_Configure(long mode, long value) {
    Record("MSP430_Configure(%ld, %ld)", mode, value);
    return Ready("MSP430_Configure");
}

FAKE_EXPORT long QUARZO_FET_CALL MSP430_VCC(long voltage) {
    Record("MSP430_VCC(%ld)", voltage);
    if (long status = Ready("MSP430_VCC"); status != 0) return status;
    return Result("MSP430_VCC", voltage < 0 || voltage > 3600 ? kBadArgument : kNoError);
}

FAKE_EXPORT long QUARZO_FET_CALL MSP430_Reset(long method, long execute, long releaseJtag) {
    Record("MSP430_Reset(%ld, %ld, %ld)", method, execute, releaseJtag);
    if (long status = Ready("MSP430_Reset"); status != 0) return status;
    State().device->ClearRam();
    return 0;
}

FAKE_EXPORT long QUARZO_FET_CALL MSP430_Erase(long type, long address, long length) {
    Record("MSP430_Erase(%ld, 0x%lX, %ld)", type, address, length);
    if (long status = Ready("MSP430_Erase"); status != 0) return status;
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

FAKE_EXPORT long QUARZO_FET_CALL MSP430_Memory(long address, char* buffer, long count, long rw) {
    Record("MSP430_Memory(0x%lX, %ld, %ld)", address, count, rw);
    if (long status = Ready("MSP430_Memory"); status != 0) return status;
    if (!buffer || count < 0 || address < 0) return Result("MSP430_Memory", kBadArgument);
    quarzo::sim::SimDevice& d = *State().device;
    for (long i = 0; i < count; ++i) {
        uint32_t a = static_cast<uint32_t>(address + i);
        if (rw)
            buffer[i] = static_cast<char>(d.Read(a));
        else
            d.Write(a, static_cast<uint8_t>(buffer[i]));
    }
    return 0;
}

FAKE_EXPORT long QUARZO_FET_CALL MSP430_VerifyMem(long address, long length, char* data) {
    Record("MSP430_VerifyMem(0x%lX, %ld)", address, length);
    if (long status = Ready("MSP430_VerifyMem"); status != 0) return status;
    if (!data || length < 0 || length > 0x20000) return Result("MSP430_VerifyMem", kBadArgument);
    for (long i = 0; i < length; ++i) {
        if (State().device->Read(static_cast<uint32_t>(address + i)) != static_cast<uint8_t>(data[i])) {
            return Result("MSP430_VerifyMem", kVerifyFailed);
        }
    }
    return 0;
}

FAKE_EXPORT long QUARZO_FET_CALL MSP430_EraseCheck(long address, long length) {
    Record("MSP430_EraseCheck(0x%lX, %ld)", address, length);
    if (long status = Ready("MSP430_EraseCheck"); status != 0) return status;
    bool erased = State().device->IsErased(static_cast<uint32_t>(address), static_cast<uint32_t>(length));
    return Result("MSP430_EraseCheck", erased ? kNoError : kNotErased);
}

#ifndef QUARZO_FAKE_WITHOUT_SECURE
FAKE_EXPORT long QUARZO_FET_CALL MSP430_Secure() {
    Record("MSP430_Secure()");
    if (long status = Ready("MSP430_Secure"); status != 0) return status;
    State().secured = true;
    return 0;
}
#endif

FAKE_EXPORT long QUARZO_FET_CALL MSP430_Error_Number() {
    return State().lastError;
}

FAKE_EXPORT const char* QUARZO_FET_CALL MSP430_Error_String(long number) {
    const char* text = FixedText(number);
    return text ? text : State().failureText.c_str();
}

// Test controls.

FAKE_EXPORT void FakeFet_Reset(const char* deviceName, int fillEnds) {
    Fake& f = State();
    int index = quarzo::FindDeviceByName(deviceName ? deviceName : "MSP430F149");
    f.device = std::make_unique<quarzo::sim::SimDevice>(index ? index : quarzo::kDefaultBslDevice, 0x0160);
    f.initialized = f.secured = false;
    f.fillEnds = fillEnds != 0;
    f.lastError = kNoError;
    f.log.clear();
    f.failures.clear();
}

FAKE_EXPORT void FakeFet_Fail(const char* function, long number) {
    State().failures[function] = number;
}

FAKE_EXPORT const char* FakeFet_Log() {
    return State().log.c_str();
}

FAKE_EXPORT int FakeFet_Peek(long address) {
    return State().device->Read(static_cast<uint32_t>(address));
}

FAKE_EXPORT void FakeFet_Poke(long address, int value) {
    State().device->Write(static_cast<uint32_t>(address), static_cast<uint8_t>(value));
}

FAKE_EXPORT int FakeFet_IsSecured() {
    return State().secured ? 1 : 0;
}
