#pragma once

#include <array>
#include <memory>
#include <string>

#include "adapters/base/adapter.h"
#include "adapters/jtag/lpt_cable.h"
#include "adapters/jtag/msp430_jtag.h"
#include "adapters/jtag/pyrel_link.h"

namespace quarzo {

// The direct JTAG adapter: an MSP430 on a plain JTAG cable at a PC parallel port, with the fuse-blow
// device on the same cable. It composes the cable, the MSP430's JTAG steps on the cable's pins and the
// device's link, and turns what they report into its error codes and texts.
class RawJtagAdapter : public Adapter {
public:
    static constexpr int kErrorPortAccess = 1;
    static constexpr int kPortPathCount = 3;

    // The system's parallel port and clock.
    RawJtagAdapter();
    // Another way to the cable (the virtual one in tests) and another clock.
    RawJtagAdapter(std::unique_ptr<platform::PortIo> port, Clock& clock);
    ~RawJtagAdapter() override;

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

    void SetCancelFlag(const CancelFlag* flag) override;
    void ApplySettings(const SettingsStore& settings) override;
    void SetPortIndex(int index) override { portIndex_ = index; }
    void SetDevicePath(const std::string& path) override { devicePath_ = path; }
    // The base address LPTx stands for.
    int CustomAddress() const { return customAddress_; }

    // The layers, for tools and tests that drive them one by one.
    LptCable& Cable() { return cable_; }
    Msp430Jtag& Jtag() { return jtag_; }

private:
    bool PreparePort();
    std::string PortName();
    // Sets the error code with its message and the reason after it.
    void Fail(int code, const std::string& reason = "");
    int Failed(JtagError error, int flashCode = 0);
    bool FlashClockReady(int code);

    std::unique_ptr<platform::PortIo> port_;
    LptCable cable_;
    Msp430Jtag jtag_;
    PyrelLink pyrel_;
    // 0 LPT1, 1 LPT2, 2 LPT3, 3 LPTx at customAddress_. Systems that reach the port through a device:
    // the devices LPT1 to LPT3 stand for, and a device or socket named for one run instead.
    int portIndex_ = 0;
    int customAddress_ = 0xC000;
    std::array<std::string, kPortPathCount> portPaths_{"/dev/parport0", "/dev/parport1", "/dev/parport2"};
    std::string devicePath_;
    int errorCode_ = 0;
    int failureCode_ = 0;
    std::string failureText_;
};

}  // namespace quarzo
