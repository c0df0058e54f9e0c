#pragma once

// The vendor's FET library as this program uses it, looked up by name. Every integer argument and
// result is 32 bits wide and buffers are char pointers, as the vendor declares them since version 3.5;
// 32-bit Windows builds of the library use the stdcall convention.
//
// Three generations are told apart by their exports: before 3.0 the target is identified with
// MSP430_Identify alone; 3.0 to 3.2.4 export both MSP430_Identify and MSP430_OpenDevice (whose packed
// record differs from the older one); later libraries have only MSP430_OpenDevice and
// MSP430_GetFoundDevice. Builds before 3.5 declared their integers as long, which on 64-bit Linux is
// 64 bits wide; only the builds with 32-bit integers export MSP430_HIL_MEMAP.

#if defined(_WIN32) && !defined(_WIN64)
#define QUARZO_FET_CALL __stdcall
#else
#define QUARZO_FET_CALL
#endif

#include <cstddef>
#include <cstdint>

namespace quarzo {

extern "C" {
// The firmware update's progress messages; no stdcall, as the vendor declares it.
using FetNotify = void (*)(uint32_t message, uint32_t wParam, uint32_t lParam, int32_t clientHandle);

using FetInitialize = int32_t(QUARZO_FET_CALL*)(char* port, int32_t* version);
using FetClose = int32_t(QUARZO_FET_CALL*)(int32_t vccOff);
using FetIdentify = int32_t(QUARZO_FET_CALL*)(char* buffer, int32_t count, int32_t setId);
using FetDevice = int32_t(QUARZO_FET_CALL*)(int32_t device, char* buffer, int32_t count);
using FetConfigure = int32_t(QUARZO_FET_CALL*)(int32_t mode, int32_t value);
using FetVcc = int32_t(QUARZO_FET_CALL*)(int32_t voltage);
using FetReset = int32_t(QUARZO_FET_CALL*)(int32_t method, int32_t execute, int32_t releaseJtag);
using FetErase = int32_t(QUARZO_FET_CALL*)(int32_t type, int32_t address, int32_t length);
using FetMemory = int32_t(QUARZO_FET_CALL*)(int32_t address, char* buffer, int32_t count, int32_t rw);
using FetVerifyMem = int32_t(QUARZO_FET_CALL*)(int32_t address, int32_t length, char* data);
using FetEraseCheck = int32_t(QUARZO_FET_CALL*)(int32_t address, int32_t length);
using FetSecure = int32_t(QUARZO_FET_CALL*)();
using FetErrorNumber = int32_t(QUARZO_FET_CALL*)();
using FetErrorString = const char*(QUARZO_FET_CALL*)(int32_t errorNumber);
using FetOpenDevice = int32_t(QUARZO_FET_CALL*)(const char* device, const char* password,
                                                int32_t passwordLength, int32_t deviceCode, int32_t setId);
using FetGetFoundDevice = int32_t(QUARZO_FET_CALL*)(char* buffer, int32_t count);
using FetLoadDeviceDb = int32_t(QUARZO_FET_CALL*)(const char* file);
using FetFwUpdate = int32_t(QUARZO_FET_CALL*)(const char* file, FetNotify callback, int32_t clientHandle);
using FetNumberOfUsbIfs = int32_t(QUARZO_FET_CALL*)(int32_t* number);
using FetNameOfUsbIf = int32_t(QUARZO_FET_CALL*)(int32_t index, char** name, int32_t* status);
}

// The entry points; each stays null until found.
struct FetLibrary {
    // The fourteen of every generation but the current one (which lacks identify), in lookup order.
    FetInitialize initialize = nullptr;
    FetClose close = nullptr;
    FetIdentify identify = nullptr;
    FetDevice device = nullptr;
    FetConfigure configure = nullptr;
    FetVcc vcc = nullptr;
    FetReset reset = nullptr;
    FetErase erase = nullptr;
    FetMemory memory = nullptr;
    FetVerifyMem verifyMem = nullptr;
    FetEraseCheck eraseCheck = nullptr;
    FetSecure secure = nullptr;
    FetErrorNumber errorNumber = nullptr;
    FetErrorString errorString = nullptr;
    // Since 3.0.
    FetOpenDevice openDevice = nullptr;
    FetGetFoundDevice getFoundDevice = nullptr;
    // Optional: the device database (3.9 on), the firmware update, the list of present FETs.
    FetLoadDeviceDb loadDeviceDb = nullptr;
    FetFwUpdate fwUpdate = nullptr;
    FetNumberOfUsbIfs numberOfUsbIfs = nullptr;
    FetNameOfUsbIf nameOfUsbIf = nullptr;

    bool HasOpenDevice() const { return openDevice != nullptr && getFoundDevice != nullptr; }
    // Libraries before 3.0: they identify with MSP430_Identify and know the verification mode.
    bool IsIdentifyGeneration() const { return !HasOpenDevice(); }
};

inline constexpr const char* kFetOpenDeviceName = "MSP430_OpenDevice";
inline constexpr const char* kFetGetFoundDeviceName = "MSP430_GetFoundDevice";
inline constexpr const char* kFetLoadDeviceDbName = "MSP430_LoadDeviceDb";
inline constexpr const char* kFetFwUpdateName = "MSP430_FET_FwUpdate";
inline constexpr const char* kFetNumberOfUsbIfsName = "MSP430_GetNumberOfUsbIfs";
inline constexpr const char* kFetNameOfUsbIfName = "MSP430_GetNameOfUsbIf";
// Exported only by the builds whose integers are 32 bits wide.
inline constexpr const char* kFetInt32MarkName = "MSP430_HIL_MEMAP";

// MSP430_Configure's mode for verifying written flash: handled only before 3.0.
inline constexpr int32_t kFetVerificationMode = 0;

// The device record of MSP430_GetFoundDevice, DEVICE_T (packed, little-endian; 112 bytes before 3.5,
// 184 since): its size and the offsets of the fields used.
struct FoundDeviceRecord {
    static constexpr int32_t kSize = 184;
    static constexpr size_t kEndian = 0;       // u16, 0xAA55
    static constexpr size_t kName = 4;         // 32 characters
    static constexpr size_t kMainStart = 36;   // u16
    static constexpr size_t kInfoStart = 38;   // u16
    static constexpr size_t kRamEnd = 40;      // u16
    static constexpr size_t kHasTestVpp = 56;  // u16
    static constexpr size_t kInfoEnd = 64;     // u16
    static constexpr size_t kMainEnd = 66;     // u32, 20-bit on the larger parts
};

inline constexpr const char* kFetEntryNames[14] = {
    "MSP430_Initialize", "MSP430_Close",  "MSP430_Identify",     "MSP430_Device",       "MSP430_Configure",
    "MSP430_VCC",        "MSP430_Reset",  "MSP430_Erase",        "MSP430_Memory",       "MSP430_VerifyMem",
    "MSP430_EraseCheck", "MSP430_Secure", "MSP430_Error_Number", "MSP430_Error_String",
};

enum class FetLoad {
    kLoaded,
    kMissing,       // no library, or one without a required entry point
    kLongIntegers,  // a 64-bit build that declares its integers as long: not called
};

// The file name the system loads: $QUARZO_FETLIB when set, else "MSP430.DLL" on Windows and
// "libmsp430.so" elsewhere.
const char* FetLibraryName();
// Clears the table, then fills it in order, stopping at the first name the library lacks. Loaded when
// all fourteen were found, or all but MSP430_Identify and then MSP430_OpenDevice and
// MSP430_GetFoundDevice. A library whose integers are wider than 32 bits leaves the table empty.
FetLoad LoadFetLibrary(FetLibrary& table);

}  // namespace quarzo
