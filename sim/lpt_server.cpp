#include "sim/lpt_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace quarzo::sim {
namespace {

constexpr int kSpinTries = 2000;

}  // namespace

LptServer::~LptServer() {
    if (listener_ >= 0) close(listener_);
    if (!path_.empty()) unlink(path_.c_str());
}

bool LptServer::Create(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof(address.sun_path)) {
        std::fprintf(stderr, "quarzo-sim: socket path \"%s\" is empty or too long\n", path.c_str());
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    unlink(path.c_str());
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(listener_, 1) != 0) {
        std::fprintf(stderr, "quarzo-sim: cannot listen at \"%s\": %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    path_ = path;
    return true;
}

void LptServer::Serve(const std::atomic<bool>& stop) {
    while (!stop.load()) {
        pollfd p{listener_, POLLIN, 0};
        int ready = poll(&p, 1, 50);
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        int client = accept(listener_, nullptr, nullptr);
        if (client < 0) continue;
        ServeClient(client, stop);
        close(client);
        std::lock_guard<std::mutex> lock(chipLock_);
        target_.Unplug();
    }
}

void LptServer::ServeClient(int client, const std::atomic<bool>& stop) {
    std::vector<uint8_t> buffer(kMessageSize * 4096);
    size_t held = 0;
    int idle = 0;
    while (!stop.load()) {
        // While the client is busy its next message follows within microseconds: look again at once
        // for a while before a blocking wait.
        ssize_t n = recv(client, buffer.data() + held, buffer.size() - held, MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (++idle < kSpinTries) continue;
            idle = 0;
            pollfd p{client, POLLIN, 0};
            int ready = poll(&p, 1, 50);
            if (ready < 0 && errno != EINTR) return;
            continue;
        }
        if (n <= 0) return;
        idle = 0;
        held += static_cast<size_t>(n);
        size_t whole = held - held % kMessageSize;
        {
            std::lock_guard<std::mutex> lock(chipLock_);
            for (size_t at = 0; at < whole; at += kMessageSize) {
                if (!Handle(client, buffer.data() + at)) return;
            }
        }
        std::memmove(buffer.data(), buffer.data() + whole, held - whole);
        held -= whole;
    }
}

bool LptServer::Handle(int client, const uint8_t* m) {
    uint64_t us = 0;
    for (int i = 0; i < 8; ++i) us |= static_cast<uint64_t>(m[4 + i]) << (8 * i);
    if (m[0] == 'W') {
        target_.WritePort(m[1], m[2], us);
        return true;
    }
    if (m[0] != 'R') return true;  // not an operation: ignored, as a port ignores a bad cycle
    uint8_t value = target_.ReadPort(m[1], us);
    return send(client, &value, 1, MSG_NOSIGNAL) == 1;
}

}  // namespace quarzo::sim
