#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "sim/jtag_target.h"

namespace quarzo::sim {

// Serves the virtual parallel-port cable on a Unix stream socket. A client sends 12-byte messages:
// 'W' or 'R', the register offset (0 data, 1 status, 2 control), the value written (0 for a read), a
// zero byte, then its monotonic clock in microseconds (8 bytes, little-endian) at the access. A read is
// answered with one byte, a write not at all. One client at a time; a closed connection is an
// unplugged cable.
class LptServer {
public:
    static constexpr size_t kMessageSize = 12;

    LptServer(JtagTarget& target, std::mutex& chipLock) : target_(target), chipLock_(chipLock) {}
    ~LptServer();

    // Listens at path (an old socket file there is replaced); false with a message on stderr.
    bool Create(const std::string& path);
    // Serves until stop is raised.
    void Serve(const std::atomic<bool>& stop);

private:
    void ServeClient(int client, const std::atomic<bool>& stop);
    // Carries out one message; false when its reply cannot be sent.
    bool Handle(int client, const uint8_t* message);

    JtagTarget& target_;
    std::mutex& chipLock_;
    int listener_ = -1;
    std::string path_;
};

}  // namespace quarzo::sim
