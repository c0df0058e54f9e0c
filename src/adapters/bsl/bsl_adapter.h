#pragma once

#include <array>
#include <string>

#include "adapters/base/adapter.h"
#include "adapters/base/port_names.h"
#include "adapters/bsl/bsl_link.h"

namespace quarzo {

// The serial bootstrap-loader adapter: the Adapter operations mapped onto loader commands.
class BslAdapter : public Adapter {
public:
    static constexpr int kPortCount = kSerialPortCount;

    BslAdapter();

    int GetName(char* out) override;
    int GetInfo(char* out) override;
    int GetBlockSize() override { return static_cast<int>(BslLink::kMaxBlock); }
    int Open() override;
    int Close() override;
    int GetErrorCode() override { return static_cast<int>(link.GetErrorCode()); }
    const char* GetErrorText(int code) override;
    int Erase(int type, int address, int length) override;
    int BlankCheck(int address, int length) override;
    int WriteMemory(int address, const uint8_t* data, int length) override;
    int ReadMemory(int address, uint8_t* data, int length) override;
    int VerifyMemory(int address, const uint8_t* data, int length) override;
    int Reset(int method, int execute, int releaseJtag) override;
    int BlowFuse() override;
    bool CanBlowFuse() const override { return false; }  // the loader has no command for it
    void SetCancelFlag(const CancelFlag* flag) override {
        Adapter::SetCancelFlag(flag);
        link.SetCancelFlag(flag);
    }
    void ApplySettings(const SettingsStore& settings) override;
    void SetPortIndex(int index) override { portIndex_ = static_cast<uint32_t>(index); }
    uint32_t PortIndex() const { return portIndex_; }
    void SetDevicePath(const std::string& path) override { devicePath = path; }
    void SetPassword(const std::array<uint8_t, kPasswordSize>& vectors) override {
        link.SetPassword(vectors, false);
    }
    void BeginRun(bool erases) override;

    // The name the port is shown by: "COM1" to "COM256", or the device path given for this run.
    std::string PortName();
    // The name the system opens: "\\.\COMn" on Windows (the form that works above COM9); on POSIX
    // systems the device in portPaths that COMn stands for.
    std::string SystemPortName();

    BslLink link;
    // Devices that COM1..COM256 stand for where the system has no COM ports; empty for none.
    std::array<std::string, kPortCount> portPaths;
    // A device path named for one run; empty to use the port index.
    std::string devicePath;
    // Setting "Password file": a firmware file whose vectors open the chip; empty for none.
    std::string passwordFile;

private:
    void CheckPortIndex();
    int IdentifyFromLoader();
    // Main memory and, when asked, the information segments one by one (never F2xx segment A).
    bool EraseUnlocked(bool withInfo);

    uint32_t portIndex_ = 0;
    std::string unmappedText_;  // why the last open failed: the port's device and the system's reason
    std::string silentText_;    // the last open found no loader answering
};

}  // namespace quarzo
