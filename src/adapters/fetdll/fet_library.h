#pragma once

// The vendor's FET library as this program uses it: fourteen functions, looked up by name. Every
// integer argument and result is 32 bits wide and buffers are char pointers, as the vendor declares
// them on every platform; 32-bit Windows builds of the library use the stdcall convention.
//
// Libraries of the current generation (since 2012) lack MSP430_Identify and identify the target with
// MSP430_OpenDevice and MSP430_GetFoundDevice instead, describing it in a longer record whose leading
// fields are laid out as below.

#if defined(_WIN32) && !defined(_WIN64)
#define QUARZO_FET_CALL __stdcall
#else
#define QUARZO_FET_CALL
#endif

#include <cstddef>
#include <cstdint>

namespace quarzo {

extern "C" {
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
}

// The entry points in the order they are looked up; each stays null until found.
struct FetLibrary {
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
    // Only in libraries of the current generation, which lack identify.
    FetOpenDevice openDevice = nullptr;
    FetGetFoundDevice getFoundDevice = nullptr;
    FetLoadDeviceDb loadDeviceDb = nullptr;  // optional even there

    bool IsCurrentGeneration() const { return identify == nullptr && openDevice != nullptr; }
};

inline constexpr const char* kFetOpenDeviceName = "MSP430_OpenDevice";
inline constexpr const char* kFetGetFoundDeviceName = "MSP430_GetFoundDevice";
inline constexpr const char* kFetLoadDeviceDbName = "MSP430_LoadDeviceDb";

// The current generation's device record, DEVICE_T: its size and the offsets of the fields used
// (packed, little-endian).
struct FoundDeviceRecord {
    static constexpr int32_t kSize = 184;
    static constexpr size_t kEndian = 0;       // u16, 0xAA55
    static constexpr size_t kName = 4;         // 32 characters
    static constexpr size_t kMainStart = 36;   // u16
    static constexpr size_t kInfoStart = 38;   // u16
    static constexpr size_t kRamEnd = 40;      // u16
    static constexpr size_t kHasTestVpp = 56;  // u16
    static constexpr size_t kInfoEnd = 64;     // u16
    static constexpr size_t kMainEnd = 66;     // u32
};

inline constexpr const char* kFetEntryNames[14] = {
    "MSP430_Initialize", "MSP430_Close",  "MSP430_Identify",     "MSP430_Device",       "MSP430_Configure",
    "MSP430_VCC",        "MSP430_Reset",  "MSP430_Erase",        "MSP430_Memory",       "MSP430_VerifyMem",
    "MSP430_EraseCheck", "MSP430_Secure", "MSP430_Error_Number", "MSP430_Error_String",
};

// The file name the system loads: "MSP430.DLL" on Windows; elsewhere $QUARZO_FETLIB when set, else
// "libmsp430.so".
const char* FetLibraryName();
// Clears the table, then fills it in order, stopping at the first name the library lacks. True when
// all fourteen were found, or all but MSP430_Identify and then the current generation's two.
bool LoadFetLibrary(FetLibrary& table);

}  // namespace quarzo
