#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/serial_port.h"

namespace quarzo {

class CancelFlag;
class Clock;

// The host side of the MSP430 ROM bootstrap loader: the pins that start it (RST on DTR, TEST on RTS),
// the synchronisation, the command frames with their checksum, the answers and time-outs, and the
// command-level procedures built on them. Every failure leaves a small error code with a fixed text.
class BslLink {
public:
    enum Error : uint32_t {
        kNoError = 0,
        kUnspecific = 1,
        kOpenPort = 2,
        kSync = 3,
        kHeaderTimeout = 4,
        kFrameTimeout = 5,
        kBadChecksum = 6,
        kNak = 7,
        kCommandFailed = 8,
        kClosePort = 9,
        kNotImplemented = 10,
        kPatchFailed = 11,
        kOldVersion = 12,
        kPasswordMismatch = 13,
        kVerification = 14,
    };

    enum Command : uint8_t {
        kCmdPassword = 0x10,
        kCmdWrite = 0x12,
        kCmdRead = 0x14,
        kCmdErase = 0x16,
        kCmdMassErase = 0x18,
        kCmdLoadPc = 0x1A,
        kCmdEraseCheck = 0x1C,
        kCmdChangeBaud = 0x20,
    };

    static constexpr uint8_t kHeader = 0x80;
    static constexpr uint8_t kAck = 0x90;
    static constexpr uint8_t kNakByte = 0xA0;
    static constexpr uint8_t kFailedByte = 0x70;
    static constexpr uint32_t kMaxBlock = 250;
    static constexpr uint32_t kSlowBaud = 9600;
    static constexpr uint32_t kFastBaud = 38400;
    static constexpr uint16_t kVectorsStart = 0xFFE0;
    static constexpr size_t kPasswordSize = 32;
    static constexpr uint16_t kChipInfoAddress = 0x0FF0;
    static constexpr uint16_t kRamBslAddress = 0x0220;
    static constexpr uint16_t kStackRepairPc = 0x0C22;

    BslLink();
    ~BslLink();
    BslLink(const BslLink&) = delete;
    BslLink& operator=(const BslLink&) = delete;

    // Replaces the system's serial port and clock (the simulated line in tests). The port is owned
    // by the caller and must outlive the link.
    void UsePort(SerialPort* port, Clock* clock);
    void SetCancelFlag(const CancelFlag* flag) { cancel_ = flag; }
    SerialPort& Port() { return *port_; }

    bool OpenLink(const std::string& portName);
    bool CloseLink();
    // Closes the port without resetting the target.
    void ClosePortQuietly();
    void SetRst(bool level);
    void SetTst(bool level);
    bool ResetTarget(bool invoke);
    bool Synchronize();
    // answer receives at most length bytes of a data frame's data.
    bool SendCommand(uint8_t command, uint16_t address, uint16_t length, const uint8_t* data,
                     uint8_t* answer);
    bool ReadBlocks(uint32_t address, uint8_t* destination, uint32_t count);
    bool WriteBlocks(uint32_t address, const uint8_t* source, uint32_t count);
    // The stored code, which is reset to 0 by reading it.
    uint32_t GetErrorCode();
    static const char* GetErrorText(uint32_t code);

    bool SendPassword();
    bool ReadChipInfo();
    bool PrepareTarget();
    bool EraseFlash(bool mass, uint16_t address);
    bool CheckErased(uint16_t address, uint16_t length);
    bool ChangeBaudRate();
    bool LoadPc();
    bool InstallRamBsl();

    // Settings.
    uint32_t portIndex = 0;
    bool patchToV150 = true;
    bool keepPortOpen = false;
    bool rstInvert = false;
    bool tstInvert = false;
    bool fastBaud = true;
    uint32_t rstDelay = 0;
    // The chosen part's last RAM address; 0 when no part is chosen.
    uint32_t partRamEnd = 0;
    // The target's interrupt vectors 0xFFE0..0xFFFF; an erased chip's at first.
    std::array<uint8_t, kPasswordSize> password;

    // Loader state.
    bool passwordPending = true;
    bool versionPending = true;
    uint32_t ramBslStart = 0;
    uint32_t currentVersion = 0;
    uint32_t romVersion = 0;
    std::array<uint8_t, 16> chipInfo;

    uint32_t answerTimeout = 500;
    uint32_t headerFactor = 6;
    uint32_t errorCode = kNoError;

private:
    bool ExchangeFrame(uint32_t size);
    bool TransferBlocks(uint8_t command, uint32_t address, uint8_t* buffer, uint32_t count);
    // Waits for count bytes in slices, giving up early when the run is cancelled.
    bool WaitInput(uint32_t count, uint32_t timeoutMs);
    bool ReadAnswer(uint8_t* to, uint32_t count);
    // A pause that ends early when the run is cancelled.
    void Pause(uint32_t ms);
    bool Cancelled() const;
    static uint16_t Checksum(const uint8_t* bytes, uint32_t count);

    std::unique_ptr<SerialPort> ownPort_;
    SerialPort* port_;
    Clock* clock_;
    const CancelFlag* cancel_ = nullptr;
    uint8_t rx_[261];
    uint8_t tx_[260];
    uint8_t readBack_[512];
};

}  // namespace quarzo
