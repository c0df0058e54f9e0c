#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/serial_port.h"

namespace quarzo {

class CancelFlag;
class Clock;

// How the host drives the line: the pins' wiring and the loader's speed and patch.
struct BslLinkSettings {
    bool patchToV150 = true;  // replace loaders before 1.60 by the loadable one where the chip runs it
    bool fastBaud = true;     // 38400 baud from loader 1.50 on
    bool keepPortOpen = false;
    bool rstInvert = false;
    bool tstInvert = false;
    uint32_t rstDelay = 0;  // ms after each RST release
};

// What the loader serving the run is, learnt since its last start.
struct BslLoaderState {
    bool passwordPending = true;
    bool versionPending = true;
    uint32_t ramBslStart = 0;  // our loader's entry when it serves in RAM
    uint32_t currentVersion = 0;
    uint32_t romVersion = 0;
    std::array<uint8_t, 16> chipInfo = [] {
        std::array<uint8_t, 16> unread;
        unread.fill(0xFF);
        return unread;
    }();
    // The upper address word the loader was last given (command 0x21).
    uint16_t memoryOffset = 0;
};

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
        kPasswordUnknown = 15,
        kAddressRange = 16,
    };

    enum Command : uint8_t {
        kCmdPassword = 0x10,
        kCmdWrite = 0x12,
        kCmdRead = 0x14,
        kCmdErase = 0x16,
        kCmdMassErase = 0x18,
        kCmdLoadPc = 0x1A,
        kCmdEraseCheck = 0x1C,
        kCmdVersion = 0x1E,
        kCmdChangeBaud = 0x20,
        kCmdMemoryOffset = 0x21,
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
    static constexpr uint16_t kMainEraseWord = 0xA504;
    static constexpr uint16_t kSegmentEraseWord = 0xA502;

    explicit BslLink(const BslLinkSettings& settings = {});
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
    // The identification and version through command 0x1E, which loaders from 1.50 answer while locked.
    bool ReadVersion();
    bool PrepareTarget();
    // The address erase (0x16) with the given erase word: 0xA504 at a main-memory address erases main
    // memory only, 0xA502 one segment. Loaders that leave the cumulative erase time to the host get the
    // main-memory erase repeated.
    bool EraseFlash(uint32_t address, uint16_t eraseWord = kMainEraseWord);
    // Every flash cell, information memory included (0x18); works while the loader is locked.
    bool MassErase();
    bool CheckErased(uint32_t address, uint32_t length);
    // 9600, 19200 or 38400 baud, with the clock words of the chip's family.
    bool ChangeBaudRate(uint32_t baud = kFastBaud);
    bool LoadPc();
    bool InstallRamBsl();

    // What the loader serving the run offers.
    bool HasEraseCheck() const;
    bool HasMemoryOffset() const;
    // 2.xx loaders, and FG461x loaders unless BSLKEY says otherwise, erase the chip on a wrong password.
    bool ErasesOnWrongPassword() const;

    // What the last loader start told is forgotten: the next action starts the loader afresh.
    void ForgetLoader();

    // The serial line's settings, kept until the next Configure.
    void Configure(const BslLinkSettings& settings) { settings_ = settings; }
    const BslLinkSettings& Settings() const { return settings_; }
    // Where the loader stands since its last start.
    const BslLoaderState& State() const { return state_; }
    // The last operation's code, without resetting it.
    uint32_t LastError() const { return errorCode_; }
    // An error found above the link (an operation the loader lacks, a loader that never answered),
    // kept as the link's own until it is read.
    void SetError(Error code) { errorCode_ = code; }

    // A run starts: no password yet, and whether it erases the chip anyway (then a loader that erases
    // on a wrong password may be tried).
    void BeginRun(bool erases) {
        runErases_ = erases;
        passwordKnown_ = passwordNamed_ = false;
    }
    void AllowErase() { runErases_ = true; }
    // The target's interrupt vectors 0xFFE0..0xFFFF from the user (the firmware file's); named when
    // they come from the setting "Password file" rather than from the image to program.
    void SetPassword(const std::array<uint8_t, kPasswordSize>& vectors, bool named);
    // The chip's vectors were erased: its password is the erased one now.
    void PasswordErased() { password_.fill(0xFF); }
    const std::array<uint8_t, kPasswordSize>& Password() const { return password_; }
    // The chosen part's last RAM address; 0 when no part is chosen.
    void SetPartRamEnd(uint32_t ramEnd) { partRamEnd_ = ramEnd; }
    // Lines for the run's log: what the loader did or cannot do.
    void SetNoteSink(std::function<void(const std::string&)> onNote) { onNote_ = std::move(onNote); }

private:
    bool ExchangeFrame(uint32_t size);
    bool TransferBlocks(uint8_t command, uint32_t address, uint8_t* buffer, uint32_t count);
    // Points the loader at the 64 KB page of address (command 0x21); refused where it has no such command.
    bool ReachAddress(uint32_t address);
    bool ReadBackErased(uint32_t address, uint32_t length);
    void NoteServingLoader();
    void Note(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    // Waits for count bytes in slices, giving up early when the run is cancelled.
    bool WaitInput(uint32_t count, uint32_t timeoutMs);
    bool ReadAnswer(uint8_t* to, uint32_t count);
    // A pause that ends early when the run is cancelled.
    void Pause(uint32_t ms);
    bool Cancelled() const;
    static uint16_t Checksum(const uint8_t* bytes, uint32_t count);

    BslLinkSettings settings_;
    BslLoaderState state_;
    uint32_t errorCode_ = kNoError;
    std::array<uint8_t, kPasswordSize> password_;  // an erased chip's at first
    bool passwordKnown_ = false;  // the password came from the user rather than being a guess
    bool passwordNamed_ = false;  // it was named as such, not taken from the image to program
    bool runErases_ = false;
    uint32_t partRamEnd_ = 0;
    std::function<void(const std::string&)> onNote_;
    bool versionRead_ = false;   // the 0x1E answer filled the chip info in this loader start
    bool versionAsked_ = false;  // 0x1E was sent in this loader start
    std::unique_ptr<SerialPort> ownPort_;
    SerialPort* port_;
    Clock* clock_;
    const CancelFlag* cancel_ = nullptr;
    uint8_t rx_[261];
    uint8_t tx_[260];
    uint8_t readBack_[512];
};

}  // namespace quarzo
