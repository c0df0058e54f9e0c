#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quarzo {

class Clock;

// A serial port with fixed line settings (8 data bits, one stop bit, no flow control), waits polled
// against millisecond deadlines, and DTR and RTS driven as plain levels. It knows nothing of the
// protocol spoken over it.
class SerialPort {
public:
    // Parity codes as Windows numbers them.
    static constexpr uint8_t kParityNone = 0;
    static constexpr uint8_t kParityOdd = 1;
    static constexpr uint8_t kParityEven = 2;
    // Purge flags as Windows numbers them.
    static constexpr uint32_t kAbortTransmit = 1;
    static constexpr uint32_t kAbortReceive = 2;
    static constexpr uint32_t kClearTransmit = 4;
    static constexpr uint32_t kClearReceive = 8;

    virtual ~SerialPort() = default;

    // Closes an open port first; on failure the port stays closed and LastError holds the reason.
    virtual bool Open() = 0;
    // True also when the port was already closed.
    virtual bool Close() = 0;
    virtual bool IsOpen() const = 0;
    // Applies baud rate, parity and the fixed settings to the open port; DTR and RTS end up asserted.
    virtual bool Configure() = 0;
    // Switches the open port to another speed, leaving DTR and RTS as they are.
    virtual bool ChangeSpeed(uint32_t baud) = 0;
    virtual bool Purge(uint32_t flags) = 0;
    // Bytes waiting once count have arrived or the time-out passed; a count of 0 returns at once.
    virtual uint32_t WaitForInput(uint32_t count, uint32_t timeoutMs) = 0;
    // Bytes still queued for sending once the queue is empty or the time-out passed.
    virtual uint32_t WaitForOutputEmpty(uint32_t timeoutMs) = 0;
    // Reads and discards bytes until one equals value.
    virtual bool WaitForByte(uint8_t value, uint32_t timeoutMs) = 0;
    // Exactly count bytes, or none (0) when fewer arrive in time; nothing is consumed then.
    virtual uint32_t Read(uint8_t* buffer, uint32_t count, uint32_t timeoutMs) = 0;
    virtual uint32_t Write(const uint8_t* buffer, uint32_t count) = 0;
    bool WriteByte(uint8_t value) { return Write(&value, 1) == 1; }
    virtual bool SetDtr(bool level) = 0;
    virtual bool SetRts(bool level) = 0;

    // The whole name: a device path such as /dev/serial/by-id/... may be long, and a cut one opens another.
    void SetName(const std::string& name) { name_ = name; }
    const std::string& Name() const { return name_; }
    void SetBaudRate(uint32_t baud) { baudRate_ = baud; }
    uint32_t BaudRate() const { return baudRate_; }
    void SetParity(uint8_t parity) { parity_ = parity; }
    uint8_t Parity() const { return parity_; }
    void SetQueueSize(uint32_t size) { queueSize_ = size; }
    // The system's error code of the last failed Open.
    uint32_t LastError() const { return lastError_; }
    // The last failed Open for a person: the device, the system's reason and what helps, if known.
    const std::string& OpenFailure() const { return openFailure_; }

protected:
    std::string name_;
    uint32_t baudRate_ = 9600;
    uint32_t queueSize_ = 2048;
    uint8_t parity_ = kParityNone;
    uint32_t lastError_ = 0;
    std::string openFailure_;
};

// The operating system's serial port (a COM port on Windows, a tty device elsewhere), timed by clock.
std::unique_ptr<SerialPort> CreateSystemSerialPort(Clock& clock);

// The COM ports present on this machine as port indexes (COMn is n - 1), in ascending order; empty
// where the system has no COM ports of its own.
std::vector<int> PresentSerialPorts();

}  // namespace quarzo
