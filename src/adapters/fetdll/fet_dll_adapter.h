#pragma once

#include <string>
#include <vector>

#include "adapters/base/adapter.h"
#include "adapters/fetdll/fet_library.h"

namespace quarzo {

// The adapter that forwards every operation to the vendor's FET library, loaded by name at run time.
class FetDllAdapter : public Adapter {
public:
    // Failures of this adapter's own, told by GetErrorCode in place of a library error number.
    static constexpr int kFirmwareMismatch = -100;
    static constexpr int kLongIntegers = -101;
    static constexpr int kNoFirmwareUpdate = -102;
    // The stored port index of the first FET the library lists; "TIUSB" is index 3.
    static constexpr unsigned kFirstListedFet = 4;

    FetDllAdapter();

    int GetName(char* out) override;
    int GetInfo(char* out) override;
    int GetBlockSize() override { return 256; }
    int Open() override;
    int Close() override;
    int GetErrorCode() override;
    const char* GetErrorText(int code) override;
    int Erase(int type, int address, int length) override;
    int BlankCheck(int address, int length) override;
    int WriteMemory(int address, const uint8_t* data, int length) override;
    int ReadMemory(int address, uint8_t* data, int length) override;
    int VerifyMemory(int address, const uint8_t* data, int length) override;
    int Reset(int method, int execute, int releaseJtag) override;
    int BlowFuse() override;
    void ApplySettings(const SettingsStore& settings) override;
    void SetPortIndex(int index) override { portIndex = static_cast<unsigned>(index); }
    void SetDevicePath(const std::string& path) override { devicePath = path; }
    bool KeepsCalibrationSegment() const override;
    // MSP430_FET_FwUpdate with the library's own firmware image, only ever when asked for.
    int UpdateFirmware(const std::function<void(int percent)>& progress) override;

    // "LPT1", "LPT2", "LPT3", "TIUSB", a FET the library lists, or the device path given for this run.
    std::string PortName();
    // The ports the loaded library takes, as (stored index, name): before 3.0 the three parallel ports
    // and TIUSB; since, TIUSB and the FETs the library finds (a COM port, or on Linux the device).
    std::vector<PortChoice> PortChoices() override;
    bool IsLibraryLoaded() const { return loaded_; }
    bool HasOpenDevice() const { return lib_.HasOpenDevice(); }

    // Configuration: 0 LPT1, 1 LPT2, 2 LPT3, 3 TIUSB, 4 on the FETs the library lists; the supply in
    // millivolts.
    unsigned portIndex = 3;
    bool applyVcc = true;
    int targetVcc = 3000;
    // A device path named for one run (the vendor's Linux library takes /dev/ttyACM0); empty for none.
    std::string devicePath;

private:
    // The library's name in messages: the Windows file name there, the one looked for elsewhere.
    static std::string LibraryShownName();
    void Load();
    bool EnsureLoaded();
    // MSP430_Initialize, then MSP430_LoadDeviceDb where the library has it (it must follow).
    int32_t Initialize();
    // The FET's firmware does not fit the library: the interface is closed again.
    bool FirmwareFits();
    // The target's description into device: from the record of MSP430_OpenDevice where the library
    // has it, else by MSP430_Identify.
    bool Identify();
    void TakeFoundDevice(const char* record);
    // Ends a failed step after a successful MSP430_Initialize: the library's error is kept for
    // GetErrorCode and the interface closed, so that the FET lets the target go.
    void CloseAfterFailure(int ownError = 0);
    std::vector<std::string> ListedFets();
    std::vector<std::string> listedFets_;

    bool loaded_ = false;
    FetLoad loadResult_ = FetLoad::kMissing;
    bool calibrationSegment_ = false;
    bool hasPendingError_ = false;
    int pendingError_ = 0;
    std::string text_;
    int32_t version_ = 0;
    FetLibrary lib_;
};

}  // namespace quarzo
