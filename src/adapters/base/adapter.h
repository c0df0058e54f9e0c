#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "adapters/base/cancel_flag.h"
#include "core/device_info.h"
#include "core/device_table.h"

namespace quarzo {

// Which adapter a run uses: 0 direct JTAG, 1 FET library, 2 bootstrap loader, anything else the null adapter.
using AdapterKind = int;
inline constexpr AdapterKind kAdapterRawJtag = 0;
inline constexpr AdapterKind kAdapterFetDll = 1;
inline constexpr AdapterKind kAdapterBsl = 2;
inline constexpr AdapterKind kAdapterNull = 3;
inline constexpr int kAdapterKindCount = 4;

class SettingsStore;

// The programming-adapter interface. Operations returning int give 0 on success and nonzero on
// failure; the reason is then read with GetErrorCode and turned into text with GetErrorText.
class Adapter {
public:
    static constexpr size_t kNameSize = 128;
    static constexpr size_t kInfoSize = 256;

    virtual ~Adapter() = default;

    virtual int GetName(char* out) = 0;  // out holds kNameSize bytes
    virtual int GetInfo(char* out) = 0;  // out holds kInfoSize bytes
    virtual int GetBlockSize() = 0;
    virtual bool IsOpen() { return open; }
    virtual int Open() = 0;
    virtual int Close() = 0;
    virtual int GetErrorCode() = 0;
    virtual const char* GetErrorText(int code) = 0;
    virtual int Erase(int type, int address, int length) = 0;
    virtual int BlankCheck(int address, int length) = 0;
    virtual int WriteMemory(int address, const uint8_t* data, int length) = 0;
    virtual int ReadMemory(int address, uint8_t* data, int length) = 0;
    virtual int VerifyMemory(int address, const uint8_t* data, int length) = 0;
    virtual int Reset(int method, int execute, int releaseJtag) = 0;
    virtual int BlowFuse() = 0;
    // False where BlowFuse can never succeed, so that nobody is asked the irreversible question.
    virtual bool CanBlowFuse() const { return true; }

    // The run's cancellation signal; long waits inside the adapter give up when it is raised.
    virtual void SetCancelFlag(const CancelFlag* flag) { cancel_ = flag; }

    // Configuration, so that the engine never needs to know which adapter it drives.
    // Takes the adapter's own keys from the stored settings (and forgets a port named for one run).
    virtual void ApplySettings(const SettingsStore&) {}
    // A port chosen for the runs until the next ApplySettings: its position in the adapter's port
    // names, or a device path standing for the port (the index then stays as it is).
    virtual void SetPortIndex(int) {}
    virtual void SetDevicePath(const std::string&) {}
    // The ports the adapter's driver takes, as (stored port index, name), where they depend on the
    // driver; empty: the adapter's fixed port names.
    using PortChoice = std::pair<int, std::string>;
    virtual std::vector<PortChoice> PortChoices() { return {}; }
    // The target's interrupt vectors 0xFFE0..0xFFFF, for adapters that unlock the target with them.
    static constexpr size_t kPasswordSize = 32;
    virtual void SetPassword(const std::array<uint8_t, kPasswordSize>&) {}
    // Called before each run, ahead of SetPassword: whether the run erases the chip anyway.
    virtual void BeginRun(bool erases) { (void)erases; }
    bool IsCancelled() const { return cancel_ != nullptr && cancel_->IsRaised(); }

    // Whether the open part keeps factory calibration data in information segment A, which is then
    // neither programmed nor blank-checked. The device table knows it for the parts it lists.
    virtual bool KeepsCalibrationSegment() const { return HasCalibrationSegment(device.DeviceIndex()); }
    // Brings the programming tool's own firmware to the version its driver needs, reporting progress
    // in percent; only adapters whose tool carries such firmware do anything.
    virtual int UpdateFirmware(const std::function<void(int percent)>& progress) {
        (void)progress;
        return -1;
    }

    DeviceInfo device;
    bool open = false;
    // Lines for the run's log about what the adapter found or did on its own.
    std::function<void(const std::string&)> onNote;

protected:
    const CancelFlag* cancel_ = nullptr;
};

// One adapter for each kind, indexed by AdapterKind; owned by the front end, which outlives the runs.
using AdapterList = std::array<Adapter*, kAdapterKindCount>;

}  // namespace quarzo
