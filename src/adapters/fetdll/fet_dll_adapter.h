#pragma once

#include <string>

#include "adapters/base/adapter.h"
#include "adapters/fetdll/fet_library.h"

namespace quarzo {

// The adapter that forwards every operation to the vendor's FET library, loaded by name at run time.
class FetDllAdapter : public Adapter {
public:
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

    // "LPT1", "LPT2", "LPT3" or "TIUSB", or the device path given for this run.
    std::string PortName();
    bool IsLibraryLoaded() const { return loaded_; }

    // Configuration: 0 LPT1, 1 LPT2, 2 LPT3, 3 TIUSB; the supply in millivolts.
    unsigned portIndex = 0;
    bool applyVcc = true;
    int targetVcc = 3000;
    // A device path named for one run (the vendor's Linux library takes /dev/ttyACM0); empty for none.
    std::string devicePath;

private:
    // The library's name in messages: the Windows file name there, the one looked for elsewhere.
    static std::string LibraryShownName();
    void Load();
    bool EnsureLoaded();
    int32_t Initialize();
    // The target's description into device: by identify, or by the current generation's calls.
    bool Identify();

    bool loaded_ = false;
    bool deviceDbLoaded_ = false;
    std::string missingText_;
    int32_t version_ = 0;
    FetLibrary lib_;
};

}  // namespace quarzo
