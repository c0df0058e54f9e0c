#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace quarzo::platform {

// Byte-wide access to the registers of a PC parallel port: data at the base address, status at base + 1,
// control at base + 2. While not ready, reads give 0xFF and writes are dropped.
class PortIo {
public:
    virtual ~PortIo() = default;

    // Where the port is: its base I/O address and, on systems that reach ports through a device or a
    // socket, that path (empty: the address itself). A changed choice closes the port, so that the next
    // OpenDriver reaches the new one.
    virtual void Select(uint16_t base, const std::string& path) {
        base_ = base;
        (void)path;
    }
    // Makes the port reachable; sets and returns Ready().
    virtual bool OpenDriver() = 0;
    virtual void CloseDriver() = 0;
    virtual uint32_t ReadPort(uint16_t port) = 0;
    virtual bool WritePort(uint16_t port, uint8_t value) = 0;
    // Writes a backend holds back reach the port now: called before every wait, so that the far end
    // sees the lines as they stand while the host waits.
    virtual void Flush() {}

    bool Ready() const { return ready_; }
    uint16_t Base() const { return base_; }
    // Why the last OpenDriver failed, in words for the log; empty when the system gives no reason.
    const std::string& FailureReason() const { return failure_; }

protected:
    bool ready_ = false;
    uint16_t base_ = 0x378;
    std::string failure_;
};

// This system's way to the parallel port.
std::unique_ptr<PortIo> MakeParallelPortIo();

}  // namespace quarzo::platform
