// A stand-in for the vendor's FET library (MSP430.DLL, libmsp430.so): the vendor's function names,
// types and calling convention, backed by a target of its own. It behaves as the vendor's public
// header (MSP430.h, MSP430_FET.h) and its open-source debug stack (DLL430_capi.cpp,
// DLL430_OldApiV3.cpp) do at the points a host depends on: ports, configuration modes, the version
// that asks for a firmware update, the device database and its order, the device record and its
// family names, the locked information segment A. Built as one of these generations:
//   (default)            before 3.0: MSP430_Identify with the unpacked record; any port name
//   QUARZO_FAKE_BOTH     3.0 to 3.2.4: MSP430_Identify writing the packed record, and MSP430_OpenDevice
//   QUARZO_FAKE_CURRENT  3.9 to 3.13: MSP430_OpenDevice only, MSP430_LoadDeviceDb, no parallel ports
//   QUARZO_FAKE_LONG     the current one declared with long integers, without MSP430_HIL_MEMAP, as the
//                        builds before 3.5 were
// It records every call with its arguments and fails on demand. Tests reach its FakeFet_* functions by
// loading the same file.
#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#ifndef _WIN32
#include <climits>
#endif

#include "sim/fake_fet_target.h"

#ifdef _WIN32
#define FAKE_EXPORT extern "C" __declspec(dllexport)
#else
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#endif
// The vendor's WINAPI: stdcall on 32-bit Windows, the platform's convention elsewhere.
#if defined(_WIN32) && !defined(_WIN64)
#define FAKE_CALL __stdcall
#else
#define FAKE_CALL
#endif

#if defined(QUARZO_FAKE_LONG)
#define QUARZO_FAKE_CURRENT
using FakeInt = long;  // STATUS_T and LONG of MSP430.h before 3.5
#else
using FakeInt = int32_t;                // since 3.5
#endif
#if defined(QUARZO_FAKE_CURRENT) || defined(QUARZO_FAKE_BOTH)
#define QUARZO_FAKE_V3
#endif

namespace {

using fakefet::DefaultPart;
using fakefet::FindPart;
using fakefet::kMainSegmentSize;
using fakefet::Part;
using fakefet::PartNumber;
using fakefet::Target;

// ERROR_CODE of MSP430.h (3.15), by position in its ERROR_DEFINITIONS.
enum ErrorCode : int32_t {
    NO_ERR = 0,
    PARAMETER_ERR = 3,
    NO_DEVICE_ERR = 4,
    VCC_ERR = 10,
    ERASE_ERR = 14,
    VERIFY_ERR = 28,
    FUSE_BLOWN_ERR = 30,
    INTERFACE_SUPPORT_ERR = 34,
    USB_FET_NOT_FOUND_ERR = 57,
    USB_FET_BUSY_ERR = 58,
    INTERNAL_ERR = 68,
    NO_LPT_SUPPORT = 91,
    DEVICE_DB_ERR = 98,
};

const char* VendorText(int32_t number) {
    switch (number) {
        case NO_ERR:
            return "No error";
        case PARAMETER_ERR:
            return "Invalid parameter(s)";
        case NO_DEVICE_ERR:
            return "Could not find device (or device not supported)";
        case VCC_ERR:
            return "Could not set device Vcc";
        case ERASE_ERR:
            return "Could not erase device memory";
        case VERIFY_ERR:
            return "Verification error";
        case FUSE_BLOWN_ERR:
            return "The Debug Interface to the device has been secured";
        case INTERFACE_SUPPORT_ERR:
            return "Not supported by selected Interface or Interface is not initialized";
        case USB_FET_NOT_FOUND_ERR:
            return "Could not find MSP-FET430UIF on specified COM port";
        case USB_FET_BUSY_ERR:
            return "MSP-FET430UIF is already in use";
        case INTERNAL_ERR:
            return "Internal error";
        case NO_LPT_SUPPORT:
            return "Parallel port FET (MSP-FETP430IF) is no longer supported.";
        case DEVICE_DB_ERR:
            return "Device database not loaded.";
        default:
            return nullptr;
    }
}

// CONFIG_MODE of MSP430.h.
constexpr int32_t kVerificationMode = 0;
constexpr int32_t kEmulationMode = 1;
constexpr int32_t kLockedFlashAccess = 5;
constexpr int32_t kInterfaceMode = 8;
constexpr int32_t kRamPreserveMode = 10;
constexpr int32_t kUnlockBslMode = 11;
// ERASE_TYPE of MSP430.h.
constexpr int32_t kEraseSegment = 0;
constexpr int32_t kEraseMain = 1;
constexpr int32_t kEraseAll = 2;
// UPDATE_STATUS_MESSAGES of MSP430_FET.h.
constexpr uint32_t kBlInit = 0, kBlEraseFirmware = 2, kBlProgramFirmware = 3, kBlDataBlockProgrammed = 4,
                   kBlExit = 5, kBlUpdateDone = 6;

// The version MSP430_Initialize writes: major * 10000000 + minor * 100000 + patch * 1000 + build.
#if defined(QUARZO_FAKE_CURRENT)
constexpr int32_t kVersion = 31300001;  // 3.13.0.1
#elif defined(QUARZO_FAKE_BOTH)
constexpr int32_t kVersion = 30204000;  // 3.2.4.0
#else
constexpr int32_t kVersion = 20403;  // the older numbering
#endif

// The packed DEVICE_T of MSP430.h since 3.0 (112 bytes to 3.4, 184 since): offsets of its fields.
namespace packed {
constexpr size_t kEndian = 0, kId = 2, kString = 4, kMainStart = 36, kInfoStart = 38, kRamEnd = 40,
                 kVccMin = 52, kVccMax = 54, kHasTestVpp = 56, kRamStart = 58, kInfoEnd = 64, kMainEnd = 66,
                 kHasFram = 106, kMainSegment = 108, kStructSize = 112, kInfo32Start = 116, kInfo32End = 120,
                 kRam32Start = 124, kRam32End = 128, kMain32Start = 140, kMain32End = 144;
#ifdef QUARZO_FAKE_CURRENT
constexpr size_t kSize = 184;
#else
constexpr size_t kSize = 112;
#endif
}  // namespace packed
// Before 3.0 the record was not packed: the 32-bit main end sits on a 4-byte boundary after the
// information end.
namespace unpacked {
constexpr size_t kInfoEnd = 64, kMainEnd = 68, kSize = 104;
}

struct Fet {
    std::string name;
    bool busy = false;
    int32_t firmwareVersion = 0;  // 0 current, else what MSP430_Initialize writes (-1, -3)
};

// The library's state: one target behind one interface, as with the real tool.
struct Fake {
    Target target;
    std::vector<Fet> fets;
    bool instance = false;  // created by MSP430_Initialize (DLL430_capi.cpp, createInstance)
    bool databaseLoaded = false;
    bool initialized = false;  // the interface (the vendor's FET handle)
    bool opened = false;       // a device identified (the vendor's single device)
    bool secured = false;
    bool fillEnds = false;
    int32_t errorNumber = NO_ERR;
    std::string log;
    std::map<std::string, int32_t> failures;  // function name -> error number for its next call
    int32_t injectedNumber = -1;
    std::string injectedText;
    std::vector<std::string> listedNames;  // kept for MSP430_GetNameOfUsbIf's pointers
};

std::vector<Fet> DefaultFets() {
#ifdef _WIN32
    return {Fet{"COM7", false, 0}};
#else
    return {Fet{"ttyACM0", false, 0}};
#endif
}

Fake& State() {
    static Fake fake = [] {
        Fake f;
        if (const Part* p = FindPart(std::getenv("QUARZO_FAKE_DEVICE"))) f.target.Choose(*p);
        f.fets = DefaultFets();
        return f;
    }();
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

// STATUS_OK, or STATUS_ERROR with the error number set: a failure asked for by a test, or the given
// one. As in the vendor's code, a success leaves the last error number as it was.
int32_t Result(const char* function, int32_t error = NO_ERR) {
    Fake& f = State();
    auto injected = f.failures.find(function);
    if (injected != f.failures.end()) {
        error = injected->second;
        f.failures.erase(injected);
        f.injectedNumber = error;
        f.injectedText =
            std::string("Fake FET: ") + function + " refused (error " + std::to_string(error) + ")";
    }
    if (error == NO_ERR) return 0;
    f.errorNumber = error;
    return -1;
}

// The checks before a memory operation: a device must be open (NO_DEVICE_ERR) and answer (a secured
// one does not).
int32_t DeviceReady(const char* function) {
    Fake& f = State();
#ifdef QUARZO_FAKE_V3
    if (!f.opened) return Result(function, NO_DEVICE_ERR);
#else
    if (!f.initialized) return Result(function, NO_DEVICE_ERR);
#endif
    if (f.secured) return Result(function, FUSE_BLOWN_ERR);
    return Result(function);
}

#ifdef QUARZO_FAKE_V3
// The port MSP430_Initialize opens: "TIUSB" or "USB" the first free FET, else the FET of that name; on
// Linux also a path to the FET's device, by the name of the file it resolves to.
Fet* FindFet(const std::string& port, int32_t& error) {
    Fake& f = State();
    if (port == "TIUSB" || port == "USB") {
        for (Fet& fet : f.fets) {
            if (!fet.busy) return &fet;
        }
        error = USB_FET_NOT_FOUND_ERR;
        return nullptr;
    }
    std::string name = port;
#ifndef _WIN32
    if (!port.empty() && port[0] == '/') {
        char resolved[PATH_MAX];
        name.clear();
        if (realpath(port.c_str(), resolved)) {
            name = resolved;
            name = name.substr(name.rfind('/') + 1);
        }
    }
#endif
    for (Fet& fet : f.fets) {
        if (fet.name == name) {
            if (fet.busy) {
                error = USB_FET_BUSY_ERR;
                return nullptr;
            }
            return &fet;
        }
    }
    error = USB_FET_NOT_FOUND_ERR;
    return nullptr;
}
#endif

Fet* gFet = nullptr;  // the FET of the open interface

void CloseInterface() {
    Fake& f = State();
    f.initialized = f.opened = false;
    gFet = nullptr;
}

void PutU16(char* record, size_t at, uint32_t v) {
    record[at] = static_cast<char>(v);
    record[at + 1] = static_cast<char>(v >> 8);
}
void PutU32(char* record, size_t at, uint32_t v) {
    PutU16(record, at, v);
    PutU16(record, at + 2, v >> 16);
}

// The record as MSP430_Device fills it (DLL430_OldApiV3.cpp), for the fields this library has.
void FillPackedRecord(char* record) {
    using namespace packed;
    const Part& p = State().target.Chip();
    std::memset(record, 0, kSize);
    PutU16(record, kEndian, 0xAA55);
    PutU16(record, kId, PartNumber(p));
    std::memcpy(record + kString, p.description, std::min<size_t>(std::strlen(p.description), 31));
    PutU16(record, kMainStart, p.mainStart);
    PutU16(record, kInfoStart, p.infoStart);
    PutU16(record, kRamEnd, p.ramEnd);
    PutU16(record, kVccMin, 1800);
    PutU16(record, kVccMax, 3600);
    PutU16(record, kHasTestVpp, p.testPin ? 1 : 0);
    PutU16(record, kRamStart, p.ramStart);
    PutU16(record, kInfoEnd, p.infoEnd);
    PutU32(record, kMainEnd, p.mainEnd);
    PutU16(record, kHasFram, p.fram ? 1 : 0);
    PutU16(record, kMainSegment, p.fram ? 0 : kMainSegmentSize);
    if (kSize > kStructSize) {
        PutU32(record, kStructSize, static_cast<uint32_t>(kSize));
        PutU32(record, kInfo32Start, p.infoStart);
        PutU32(record, kInfo32End, p.infoEnd);
        PutU32(record, kRam32Start, p.ramStart);
        PutU32(record, kRam32End, p.ramEnd);
        PutU32(record, kMain32Start, p.mainStart);
        PutU32(record, kMain32End, p.mainEnd);
    }
}

}  // namespace

FAKE_EXPORT FakeInt FAKE_CALL MSP430_Initialize(const char* port, FakeInt* version) {
    Record("MSP430_Initialize(%s)", port ? port : "(null)");
    Fake& f = State();
    f.instance = true;
    if (!port || !version) return -1;
#ifdef QUARZO_FAKE_V3
    CloseInterface();  // an interface still open is closed first
#endif
#ifdef QUARZO_FAKE_CURRENT
    // DLL430_capi.cpp: "test port for 'LPT'".
    if (*port == '1' || *port == '2' || *port == '3' || std::strncmp(port, "LPT", 3) == 0)
        return Result("MSP430_Initialize", NO_LPT_SUPPORT);
#endif
    int32_t status = Result("MSP430_Initialize");
    if (status != 0) return status;
#ifdef QUARZO_FAKE_V3
    int32_t error = NO_ERR;
    gFet = FindFet(port, error);
    if (!gFet) return Result("MSP430_Initialize", error);
    // -1 (or -3): the FET's firmware does not match the library and must be updated.
    *version = gFet->firmwareVersion != 0 ? gFet->firmwareVersion : kVersion;
#else
    *version = kVersion;
#endif
    f.initialized = true;
    f.errorNumber = NO_ERR;
    return 0;
}

FAKE_EXPORT FakeInt FAKE_CALL MSP430_Close(FakeInt vccOff) {
    Record("MSP430_Close(%ld)", static_cast<long>(vccOff));
    CloseInterface();
    return Result("MSP430_Close");
}

#ifdef QUARZO_FAKE_V3
#ifdef QUARZO_FAKE_CURRENT
// Without the library's instance nothing is loaded, and that is no error (DLL430_capi.cpp); the
// instance of 3.9 to 3.13 starts with an empty database.
FAKE_EXPORT FakeInt FAKE_CALL MSP430_LoadDeviceDb(const char* file) {
    Record("MSP430_LoadDeviceDb(%s)", file ? file : "(null)");
    Fake& f = State();
    if (!f.instance) return 0;
    int32_t status = Result("MSP430_LoadDeviceDb");
    if (status == 0) f.databaseLoaded = true;
    return status;
}
#endif

FAKE_EXPORT FakeInt FAKE_CALL MSP430_OpenDevice(const char* device, const char* password, FakeInt length,
                                                FakeInt code, FakeInt setId) {
    Record("MSP430_OpenDevice(%s, \"%s\", %ld, %ld, %ld)", device ? device : "(null)",
           password ? password : "(null)", static_cast<long>(length), static_cast<long>(code),
           static_cast<long>(setId));
    Fake& f = State();
    if (!f.instance) return 0;
#ifdef QUARZO_FAKE_CURRENT
    if (!f.databaseLoaded) return Result("MSP430_OpenDevice", DEVICE_DB_ERR);
#endif
    if (!f.initialized) return Result("MSP430_OpenDevice", INTERNAL_ERR);
    if (f.secured) return Result("MSP430_OpenDevice", FUSE_BLOWN_ERR);
    int32_t status = Result("MSP430_OpenDevice");
    f.opened = status == 0;
    return status;
}

FAKE_EXPORT FakeInt FAKE_CALL MSP430_GetFoundDevice(char* buffer, FakeInt count) {
    Record("MSP430_GetFoundDevice(%ld)", static_cast<long>(count));
    Fake& f = State();
    if (!f.instance) return 0;
    if (!buffer || count < 0) return Result("MSP430_GetFoundDevice", PARAMETER_ERR);
    char record[packed::kSize];
    FillPackedRecord(record);
    if (!f.opened) std::memset(record + packed::kString, 0, 32);
    std::memcpy(buffer, record, std::min<size_t>(packed::kSize, static_cast<size_t>(count)));
    return Result("MSP430_GetFoundDevice");
}

FAKE_EXPORT FakeInt FAKE_CALL MSP430_FET_FwUpdate(const char* file,
                                                  void (*callback)(uint32_t, uint32_t, uint32_t, int32_t),
                                                  FakeInt clientHandle) {
    Record("MSP430_FET_FwUpdate(%s)", file ? file : "(null)");
    Fake& f = State();
    if (!f.initialized || !gFet) return Result("MSP430_FET_FwUpdate", INTERFACE_SUPPORT_ERR);
    int32_t status = Result("MSP430_FET_FwUpdate");
    if (status != 0) return status;
    auto notify = [&](uint32_t message, uint32_t percent) {
        if (callback) callback(message, percent, 0, static_cast<int32_t>(clientHandle));
    };
    notify(kBlInit, 0);
    notify(kBlEraseFirmware, 0);
    notify(kBlProgramFirmware, 0);
    for (uint32_t percent = 0; percent <= 100; percent += 25) notify(kBlDataBlockProgrammed, percent);
    notify(kBlUpdateDone, 0);
    notify(kBlExit, 0);
    gFet->firmwareVersion = 0;
    return 0;
}

// The FETs on USB; asking closes any open interface first (DLL430_OldApiV3.cpp, GetNumberOfUsbIfs).
FAKE_EXPORT FakeInt FAKE_CALL MSP430_GetNumberOfUsbIfs(FakeInt* number) {
    Record("MSP430_GetNumberOfUsbIfs()");
    Fake& f = State();
    f.instance = true;
    CloseInterface();
    if (!number) return Result("MSP430_GetNumberOfUsbIfs", PARAMETER_ERR);
    *number = static_cast<FakeInt>(f.fets.size());
    f.listedNames.clear();
    for (const Fet& fet : f.fets) f.listedNames.push_back(fet.name);
    return Result("MSP430_GetNumberOfUsbIfs");
}

FAKE_EXPORT FakeInt FAKE_CALL MSP430_GetNameOfUsbIf(FakeInt index, char** name, FakeInt* status) {
    Fake& f = State();
    if (index < 0 || static_cast<size_t>(index) >= f.listedNames.size() || !name || !status)
        return Result("MSP430_GetNameOfUsbIf", USB_FET_NOT_FOUND_ERR);
    *name = &f.listedNames[static_cast<size_t>(index)][0];
    *status = f.fets[static_cast<size_t>(index)].busy ? 1 : 0;
    return 0;
}
#endif

#ifndef QUARZO_FAKE_CURRENT
FAKE_EXPORT FakeInt FAKE_CALL MSP430_Identify(char* buffer, FakeInt count, FakeInt setId) {
    Record("MSP430_Identify(%ld, %ld)", static_cast<long>(count), static_cast<long>(setId));
    Fake& f = State();
    if (!f.initialized) return Result("MSP430_Identify", INTERFACE_SUPPORT_ERR);
    if (f.secured) return Result("MSP430_Identify", FUSE_BLOWN_ERR);
    if (!buffer || count <= 0) return Result("MSP430_Identify", PARAMETER_ERR);
    int32_t status = Result("MSP430_Identify");
    if (status != 0) return status;
    char record[packed::kSize];
    FillPackedRecord(record);
#ifdef QUARZO_FAKE_BOTH
    size_t size = packed::kSize;
#else
    // The unpacked record; like the older libraries, it carries no area ends unless asked to.
    size_t size = unpacked::kSize;
    std::memset(record + unpacked::kInfoEnd, 0, 8);
    if (f.fillEnds) {
        PutU16(record, unpacked::kInfoEnd, f.target.Chip().infoEnd);
        PutU32(record, unpacked::kMainEnd, f.target.Chip().mainEnd);
    }
#endif
    std::memcpy(buffer, record, std::min(size, static_cast<size_t>(count)));
    f.opened = true;
    return 0;
}
#endif

FAKE_EXPORT FakeInt FAKE_CALL MSP430_Device(FakeInt device, char* buffer, FakeInt count) {
    Record("MSP430_Device(%ld, %ld)", static_cast<long>(device), static_cast<long>(count));
    (void)buffer;
    return Result("MSP430_Device", PARAMETER_ERR);
}

// The modes each generation handles (DLL430_OldApiV3.cpp, Configure): since 3.0 the verification
// mode is gone, and any mode not handled is PARAMETER_ERR.
FAKE_EXPORT FakeInt FAKE_CALL MSP430_Configure(FakeInt mode, FakeInt value) {
    Record("MSP430_Configure(%ld, %ld)", static_cast<long>(mode), static_cast<long>(value));
    Fake& f = State();
    if (!f.instance) return -1;
    if (!f.initialized) return Result("MSP430_Configure", INTERFACE_SUPPORT_ERR);
    switch (mode) {
#ifndef QUARZO_FAKE_V3
        case kVerificationMode:
#endif
        case kEmulationMode:
        case kInterfaceMode:
        case kRamPreserveMode:
        case kUnlockBslMode:
            return Result("MSP430_Configure");
        case kLockedFlashAccess:
            if (!f.opened) return -1;
            f.target.SetSegmentALocked(value != 1);
            return Result("MSP430_Configure");
        default:
            return Result("MSP430_Configure", PARAMETER_ERR);
    }
}

FAKE_EXPORT FakeInt FAKE_CALL MSP430_VCC(FakeInt voltage) {
    Record("MSP430_VCC(%ld)", static_cast<long>(voltage));
    if (!State().initialized) return Result("MSP430_VCC", INTERNAL_ERR);
    bool valid = voltage == 0 || (voltage >= 1800 && voltage <= 3600);
    return Result("MSP430_VCC", valid ? NO_ERR : PARAMETER_ERR);
}

FAKE_EXPORT FakeInt FAKE_CALL MSP430_Reset(FakeInt method, FakeInt execute, FakeInt releaseJtag) {
    Record("MSP430_Reset(%ld, %ld, %ld)", static_cast<long>(method), static_cast<long>(execute),
           static_cast<long>(releaseJtag));
    if (method == 0) return Result("MSP430_Reset", PARAMETER_ERR);
    return DeviceReady("MSP430_Reset");
}

FAKE_EXPORT FakeInt FAKE_CALL MSP430_Erase(FakeInt type, FakeInt address, FakeInt length) {
    Record("MSP430_Erase(%ld, 0x%lX, %ld)", static_cast<long>(type), static_cast<unsigned long>(address),
           static_cast<long>(length));
    if (int32_t status = DeviceReady("MSP430_Erase"); status != 0) return status;
    Target& t = State().target;
    switch (type) {
        case kEraseSegment:
            if (!t.EraseSegment(static_cast<uint32_t>(address))) return Result("MSP430_Erase", ERASE_ERR);
            break;
        case kEraseMain:
            t.EraseMain();
            break;
        case kEraseAll:
            // Information memory without a locked segment A (MSP430.h, MSP430_Erase, note 5).
            t.EraseAll();
            break;
        default:
            return Result("MSP430_Erase", PARAMETER_ERR);
    }
    return 0;
}

FAKE_EXPORT FakeInt FAKE_CALL MSP430_Memory(FakeInt address, char* buffer, FakeInt count, FakeInt rw) {
    Record("MSP430_Memory(0x%lX, %ld, %ld)", static_cast<unsigned long>(address), static_cast<long>(count),
           static_cast<long>(rw));
    if (int32_t status = DeviceReady("MSP430_Memory"); status != 0) return status;
    if (!buffer || count < 0 || address < 0 || rw < 0 || rw > 1)
        return Result("MSP430_Memory", PARAMETER_ERR);
    for (FakeInt i = 0; i < count; ++i) {
        uint32_t a = static_cast<uint32_t>(address + i);
        if (rw)
            buffer[i] = static_cast<char>(State().target.Read(a));
        else
            State().target.Write(a, static_cast<uint8_t>(buffer[i]));
    }
    return 0;
}

FAKE_EXPORT FakeInt FAKE_CALL MSP430_VerifyMem(FakeInt address, FakeInt length, const char* data) {
    Record("MSP430_VerifyMem(0x%lX, %ld)", static_cast<unsigned long>(address), static_cast<long>(length));
    if (int32_t status = DeviceReady("MSP430_VerifyMem"); status != 0) return status;
    if (!data || length < 0) return Result("MSP430_VerifyMem", PARAMETER_ERR);
    for (FakeInt i = 0; i < length; ++i) {
        if (State().target.Read(static_cast<uint32_t>(address + i)) != static_cast<uint8_t>(data[i]))
            return Result("MSP430_VerifyMem", VERIFY_ERR);
    }
    return 0;
}

FAKE_EXPORT FakeInt FAKE_CALL MSP430_EraseCheck(FakeInt address, FakeInt length) {
    Record("MSP430_EraseCheck(0x%lX, %ld)", static_cast<unsigned long>(address), static_cast<long>(length));
    if (int32_t status = DeviceReady("MSP430_EraseCheck"); status != 0) return status;
    for (FakeInt i = 0; i < length; ++i) {
        if (State().target.Read(static_cast<uint32_t>(address + i)) != 0xFF)
            return Result("MSP430_EraseCheck", VERIFY_ERR);
    }
    return 0;
}

#ifndef QUARZO_FAKE_WITHOUT_SECURE
FAKE_EXPORT FakeInt FAKE_CALL MSP430_Secure() {
    Record("MSP430_Secure()");
    if (int32_t status = DeviceReady("MSP430_Secure"); status != 0) return status;
    State().secured = true;
    return 0;
}
#endif

// Read once: the number is NO_ERR again afterwards.
FAKE_EXPORT FakeInt FAKE_CALL MSP430_Error_Number() {
    Fake& f = State();
    if (!f.instance) return 0;
    int32_t number = f.errorNumber;
    f.errorNumber = NO_ERR;
    return number;
}

FAKE_EXPORT const char* FAKE_CALL MSP430_Error_String(FakeInt number) {
    Fake& f = State();
    if (!f.instance) return "MSP DebugStack not initialized";
    if (number == f.injectedNumber) return f.injectedText.c_str();
    const char* text = VendorText(static_cast<int32_t>(number));
    return text ? text : "Invalid error number";
}

#ifndef QUARZO_FAKE_LONG
// Exported only by the builds with 32-bit integers (MSP430_HIL.h since 3.5); never called here.
FAKE_EXPORT FakeInt FAKE_CALL MSP430_HIL_MEMAP(uint8_t, uint32_t, uint32_t*, uint16_t) {
    return -1;
}
#endif

// Test controls.

// A fresh library (no instance, no database) and a fresh target: the named part with erased flash
// and factory data in segment A, one free FET with current firmware.
FAKE_EXPORT void FakeFet_Reset(const char* partName, int fillEnds) {
    Fake& f = State();
    const Part* p = FindPart(partName ? partName : "MSP430F149");
    f.target.Choose(p ? *p : DefaultPart());
    f.fets = DefaultFets();
    gFet = nullptr;
    f.instance = f.databaseLoaded = f.initialized = f.opened = f.secured = false;
    f.fillEnds = fillEnds != 0;
    f.errorNumber = NO_ERR;
    f.log.clear();
    f.failures.clear();
    f.injectedNumber = -1;
}

FAKE_EXPORT void FakeFet_Fail(const char* function, int32_t number) {
    State().failures[function] = number;
}

// The FETs present, by name; version is what MSP430_Initialize writes for the first (0: current).
FAKE_EXPORT void FakeFet_SetFets(const char* names, int firstBusy, int32_t version) {
    Fake& f = State();
    f.fets.clear();
    gFet = nullptr;
    std::string list = names ? names : "";
    for (size_t start = 0; start <= list.size();) {
        size_t end = list.find(',', start);
        if (end == std::string::npos) end = list.size();
        if (end > start) f.fets.push_back(Fet{list.substr(start, end - start), false, 0});
        start = end + 1;
    }
    if (!f.fets.empty()) {
        f.fets[0].busy = firstBusy != 0;
        f.fets[0].firmwareVersion = version;
    }
}

FAKE_EXPORT void FakeFet_SetFirmware(int32_t version) {
    for (Fet& fet : State().fets) fet.firmwareVersion = version;
}

FAKE_EXPORT const char* FakeFet_Log() {
    return State().log.c_str();
}

FAKE_EXPORT int FakeFet_Peek(int32_t address) {
    return State().target.Read(static_cast<uint32_t>(address));
}

FAKE_EXPORT void FakeFet_Poke(int32_t address, int value) {
    State().target.Store(static_cast<uint32_t>(address), static_cast<uint8_t>(value));
}

FAKE_EXPORT int FakeFet_IsSecured() {
    return State().secured ? 1 : 0;
}

FAKE_EXPORT int FakeFet_IsOpen() {
    return State().initialized ? 1 : 0;
}
