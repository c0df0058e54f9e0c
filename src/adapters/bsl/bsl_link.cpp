// The bootstrap loader's pins, frames and answers.
#include "adapters/bsl/bsl_link.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "adapters/base/cancel_flag.h"
#include "platform/clock.h"

namespace quarzo {
namespace {

constexpr uint32_t kQueueSize = 512;
constexpr uint32_t kEntryPauseMs = 250;
constexpr int kSyncAttempts = 10;
constexpr uint32_t kSyncTimeoutMs = 100;
// Long waits are cut into slices so that a cancelled run does not sit out a whole time-out.
constexpr uint32_t kWaitSliceMs = 20;
constexpr uint32_t kAnswerTimeoutMs = 500;
// The wait for an answer's first byte, in answer time-outs.
constexpr uint32_t kHeaderFactor = 6;

const char* const kErrorTexts[] = {
    "No Error",
    "Unspecific error",
    "Could not open port",
    "Synchronization error",
    "Timeout while receiving header",
    "Timeout while receiving frame",
    "Bad frame checksum",
    "NAK received",
    "Command failed, is not defined or is not allowed",
    "Could not close port",
    "This function not implemented",
    "Could not patch BSL",
    "Old BSL version (<=1.10). Require patch",
    "Protected function. Password not match",
    "Verification error",
    ("Password needed: this loader erases the whole chip, calibration data included, on a wrong password. Give "
     "the firmware file that is in the chip (its interrupt vectors are the password), or name it in the "
     "setting IF_BSL/Password file, or erase the chip"),
    "Address above 0xFFFF: this loader has no memory offset command (loaders 2.12 and later have it)",
};

}  // namespace

BslLink::BslLink(const BslLinkSettings& settings)
    : settings_(settings),
      ownPort_(CreateSystemSerialPort(SystemClock())),
      port_(ownPort_.get()),
      clock_(&SystemClock()) {
    password_.fill(0xFF);
}

BslLink::~BslLink() {
    ClosePortQuietly();
}

void BslLink::UsePort(SerialPort* port, Clock* clock) {
    ClosePortQuietly();
    port_ = port ? port : ownPort_.get();
    clock_ = clock ? clock : &SystemClock();
}

bool BslLink::Cancelled() const {
    return cancel_ != nullptr && cancel_->IsRaised();
}

void BslLink::Pause(uint32_t ms) {
    while (ms > 0 && !Cancelled()) {
        uint32_t slice = std::min(ms, kWaitSliceMs);
        clock_->SleepMs(slice);
        ms -= slice;
    }
}

bool BslLink::WaitInput(uint32_t count, uint32_t timeoutMs) {
    uint32_t start = clock_->TickMs();
    for (;;) {
        uint32_t spent = clock_->TickMs() - start;
        uint32_t slice = std::min(kWaitSliceMs, timeoutMs > spent ? timeoutMs - spent : 0);
        if (port_->WaitForInput(count, slice) >= count) return true;
        if (Cancelled() || clock_->TickMs() - start >= timeoutMs) return false;
    }
}

bool BslLink::ReadAnswer(uint8_t* to, uint32_t count) {
    return port_->Read(to, count, kAnswerTimeoutMs) == count;
}

bool BslLink::OpenLink(const std::string& portName) {
    port_->SetName(portName);
    port_->SetBaudRate(kSlowBaud);
    port_->SetParity(SerialPort::kParityEven);
    port_->SetQueueSize(kQueueSize);
    if (!port_->Open()) {
        errorCode_ = kOpenPort;
        return false;
    }
    errorCode_ = kNoError;
    return true;
}

void BslLink::ClosePortQuietly() {
    if (port_ != nullptr && port_->IsOpen()) port_->Close();
}

bool BslLink::CloseLink() {
    if (port_->IsOpen()) {
        port_->WaitForOutputEmpty(kAnswerTimeoutMs);
        ResetTarget(false);
        if (!settings_.keepPortOpen && !port_->Close()) {
            errorCode_ = kClosePort;
            return false;
        }
    }
    errorCode_ = kNoError;
    return true;
}

void BslLink::SetRst(bool level) {
    if (settings_.rstInvert) level = !level;
    port_->SetDtr(level);
    if (!level && settings_.rstDelay != 0) Pause(settings_.rstDelay);
}

void BslLink::SetTst(bool level) {
    if (settings_.tstInvert) level = !level;
    port_->SetRts(level);
}

bool BslLink::ResetTarget(bool invoke) {
    SetRst(true);
    SetTst(true);
    Pause(kEntryPauseMs);
    SetRst(false);
    if (invoke) {
        // Two rising TEST edges while RST is low, then RST rises with TEST high: the loader starts.
        SetTst(true);
        SetTst(false);
        SetTst(true);
        SetTst(false);
        SetRst(true);
        SetTst(true);
    } else {
        SetRst(true);
    }
    Pause(kEntryPauseMs);
    bool purged = port_->Purge(SerialPort::kClearTransmit | SerialPort::kClearReceive);
    // A restarted loader listens at its first speed again.
    if (port_->IsOpen() && port_->BaudRate() != kSlowBaud) port_->ChangeSpeed(kSlowBaud);
    ForgetLoader();
    return purged;
}

void BslLink::ForgetLoader() {
    BslLoaderState fresh;
    fresh.chipInfo = state_.chipInfo;  // what the last start told, until it is read again
    state_ = fresh;
    versionRead_ = versionAsked_ = false;
}

void BslLink::SetPassword(const std::array<uint8_t, kPasswordSize>& vectors, bool named) {
    password_ = vectors;
    passwordKnown_ = true;
    if (named) passwordNamed_ = true;
}

bool BslLink::Synchronize() {
    for (int attempt = 0; attempt < kSyncAttempts && !Cancelled(); ++attempt) {
        port_->Purge(SerialPort::kClearReceive);
        port_->WriteByte(kHeader);
        if (port_->WaitForByte(kAck, kSyncTimeoutMs)) return true;
    }
    return false;
}

uint16_t BslLink::Checksum(const uint8_t* bytes, uint32_t count) {
    uint16_t sum = 0;
    for (uint32_t i = 0; i + 1 < count; i += 2) sum ^= static_cast<uint16_t>(bytes[i] | bytes[i + 1] << 8);
    return static_cast<uint16_t>(~sum);
}

bool BslLink::SendCommand(uint8_t command, uint16_t address, uint16_t length, const uint8_t* data,
                          uint8_t* answer) {
    std::memset(tx_, 0xFF, sizeof tx_);
    bool carriesData = command == kCmdPassword || command == kCmdWrite;
    uint32_t n = carriesData ? 4u + length : 4u;
    if (n > 255 || n + 6 > sizeof tx_) {
        errorCode_ = kUnspecific;
        return false;
    }
    tx_[0] = kHeader;
    tx_[1] = command;
    tx_[2] = static_cast<uint8_t>(n);
    tx_[3] = static_cast<uint8_t>(n);
    tx_[4] = static_cast<uint8_t>(address);
    tx_[5] = static_cast<uint8_t>(address >> 8);
    tx_[6] = static_cast<uint8_t>(length);
    tx_[7] = static_cast<uint8_t>(length >> 8);
    if (carriesData && data != nullptr) std::memcpy(tx_ + 8, data, length);
    uint16_t sum = Checksum(tx_, n + 4);
    tx_[n + 4] = static_cast<uint8_t>(sum);
    tx_[n + 5] = static_cast<uint8_t>(sum >> 8);

    if (!Synchronize()) {
        errorCode_ = kSync;
        return false;
    }
    bool dataFrame = ExchangeFrame(n + 6);
    if (errorCode_ == kNoError && answer != nullptr && dataFrame) {
        std::memcpy(answer, rx_ + 4, std::min<uint32_t>(rx_[2], length));
    }
    return errorCode_ == kNoError;
}

// Sends the frame and takes the answer apart; true when a data frame arrived.
bool BslLink::ExchangeFrame(uint32_t size) {
    port_->Purge(SerialPort::kClearTransmit | SerialPort::kClearReceive);
    for (uint32_t i = 0; i < size; ++i) {
        port_->WriteByte(tx_[i]);
        // The loader answers a bad frame early; the rest of it is not wanted then.
        if (port_->WaitForInput(0, 0) > 0) break;
    }
    if (!WaitInput(1, kHeaderFactor * kAnswerTimeoutMs) || !ReadAnswer(rx_, 1)) {
        errorCode_ = kHeaderTimeout;
        return false;
    }
    switch (rx_[0]) {
        case kAck:
            errorCode_ = kNoError;
            return false;
        case kNakByte:
            errorCode_ = kNak;
            return false;
        case kFailedByte:
            errorCode_ = kCommandFailed;
            return false;
        case kHeader:
            break;
        default:
            // An answer the loader never gives: not a success, whatever came before.
            errorCode_ = kUnspecific;
            return false;
    }
    if (!WaitInput(3, kAnswerTimeoutMs) || !ReadAnswer(rx_ + 1, 3)) {
        errorCode_ = kFrameTimeout;
        return false;
    }
    if (rx_[2] != rx_[3]) {
        errorCode_ = kBadChecksum;
        return false;
    }
    uint32_t dataLength = rx_[2];
    if (!WaitInput(dataLength + 2, kAnswerTimeoutMs) || !ReadAnswer(rx_ + 4, dataLength + 2)) {
        errorCode_ = kFrameTimeout;
        return false;
    }
    uint16_t sum = Checksum(rx_, dataLength + 4);
    bool match = rx_[dataLength + 4] == static_cast<uint8_t>(sum) &&
                 rx_[dataLength + 5] == static_cast<uint8_t>(sum >> 8);
    errorCode_ = match ? kNoError : kBadChecksum;
    return true;
}

// Moves count bytes in commands of at most 250, stopping at the first that fails. A block never
// crosses a 64 KB page: the frame carries the address's low word only.
bool BslLink::TransferBlocks(uint8_t command, uint32_t address, uint8_t* buffer, uint32_t count) {
    // Refused before the first block: nothing is half written.
    if (count > 0 && (address + count - 1) >> 16 != state_.memoryOffset && !HasMemoryOffset()) {
        errorCode_ = kAddressRange;
        return false;
    }
    while (count > 0) {
        uint32_t block = std::min({kMaxBlock, count, 0x10000 - (address & 0xFFFF)});
        bool writing = command == kCmdWrite;
        if (!ReachAddress(address) ||
            !SendCommand(command, static_cast<uint16_t>(address), static_cast<uint16_t>(block),
                         writing ? buffer : nullptr, writing ? nullptr : buffer)) {
            return false;
        }
        address += block;
        buffer += block;
        count -= block;
    }
    return true;
}

bool BslLink::ReachAddress(uint32_t address) {
    uint16_t page = static_cast<uint16_t>(address >> 16);
    if (page == state_.memoryOffset) return true;
    if (!HasMemoryOffset()) {
        errorCode_ = kAddressRange;
        return false;
    }
    if (!SendCommand(kCmdMemoryOffset, 0, page, nullptr, nullptr)) return false;
    state_.memoryOffset = page;
    return true;
}

void BslLink::Note(const char* format, ...) {
    if (!onNote_) return;
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    onNote_(text);
}

bool BslLink::ReadBlocks(uint32_t address, uint8_t* destination, uint32_t count) {
    return TransferBlocks(kCmdRead, address, destination, count);
}

bool BslLink::WriteBlocks(uint32_t address, const uint8_t* source, uint32_t count) {
    // A write only reads from the buffer.
    return TransferBlocks(kCmdWrite, address, const_cast<uint8_t*>(source), count);
}

uint32_t BslLink::GetErrorCode() {
    uint32_t code = errorCode_;
    errorCode_ = kNoError;
    return code;
}

const char* BslLink::GetErrorText(uint32_t code) {
    if (code >= sizeof kErrorTexts / sizeof kErrorTexts[0]) return "Invalid error number";
    return kErrorTexts[code];
}

}  // namespace quarzo
