#pragma once

// The vendor's FET library as this program uses it: fourteen functions, looked up by name. Status
// results and arguments are C longs and buffers char pointers, as the vendor declares them; 32-bit
// Windows builds of the library use the stdcall convention.

#if defined(_WIN32) && !defined(_WIN64)
#define QUARZO_FET_CALL __stdcall
#else
#define QUARZO_FET_CALL
#endif

namespace quarzo {

extern "C" {
using FetInitialize = long(QUARZO_FET_CALL*)(char* port, long* version);
using FetClose = long(QUARZO_FET_CALL*)(long vccOff);
using FetIdentify = long(QUARZO_FET_CALL*)(char* buffer, long count, long setId);
using FetDevice = long(QUARZO_FET_CALL*)(long device, char* buffer, long count);
using FetConfigure = long(QUARZO_FET_CALL*)(long mode, long value);
using FetVcc = long(QUARZO_FET_CALL*)(long voltage);
using FetReset = long(QUARZO_FET_CALL*)(long method, long execute, long releaseJtag);
using FetErase = long(QUARZO_FET_CALL*)(long type, long address, long length);
using FetMemory = long(QUARZO_FET_CALL*)(long address, char* buffer, long count, long rw);
using FetVerifyMem = long(QUARZO_FET_CALL*)(long address, long length, char* data);
using FetEraseCheck = long(QUARZO_FET_CALL*)(long address, long length);
using FetSecure = long(QUARZO_FET_CALL*)();
using FetErrorNumber = long(QUARZO_FET_CALL*)();
using FetErrorString = const char*(QUARZO_FET_CALL*)(long errorNumber);
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
// all fourteen were found.
bool LoadFetLibrary(FetLibrary& table);

}  // namespace quarzo
