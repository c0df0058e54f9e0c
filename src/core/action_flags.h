#pragma once

#include <cstdint>

namespace quarzo {

// Requested actions of a run. The run takes them in its own order, not in bit order.
using ActionFlags = uint32_t;
inline constexpr ActionFlags kActionReload = 0x00000001;
inline constexpr ActionFlags kActionErase = 0x00000002;
inline constexpr ActionFlags kActionBlankCheck = 0x00000004;
inline constexpr ActionFlags kActionProgram = 0x00000008;
inline constexpr ActionFlags kActionVerify = 0x00000010;
inline constexpr ActionFlags kActionRead = 0x00000020;
inline constexpr ActionFlags kActionReset = 0x00000040;
inline constexpr ActionFlags kActionDumpRam = 0x00000080;
inline constexpr ActionFlags kActionDumpBsl = 0x00000100;
inline constexpr ActionFlags kActionDumpDeviceId = 0x00000200;
inline constexpr ActionFlags kActionAdapterInfo = 0x00000400;
inline constexpr ActionFlags kActionBlowFuse = 0x00000800;
inline constexpr ActionFlags kActionStop = 0x00001000;
// Only ever on the user's explicit request: rewrites the programming tool's own firmware.
inline constexpr ActionFlags kActionUpdateFirmware = 0x00002000;
inline constexpr ActionFlags kActionParseCommandLine = 0x80000000;
inline constexpr ActionFlags kDefaultAutoprogram =
    kActionErase | kActionBlankCheck | kActionProgram | kActionVerify;

// The stage at which a run ended; also the worker's exit code.
using RunResult = int;
inline constexpr RunResult kRunComplete = 0;
inline constexpr RunResult kRunCommandLineRejected = 1;
inline constexpr RunResult kRunNoAdapter = 2;
inline constexpr RunResult kRunReloadFailed = 3;
inline constexpr RunResult kRunActionFailed = 4;
inline constexpr RunResult kRunTerminated = 100;

}  // namespace quarzo
