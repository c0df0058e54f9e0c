// The parallel port on Linux: a parport character device through ppdev, the port's I/O addresses
// directly (root or CAP_SYS_RAWIO), or a Unix socket to a virtual cable.
#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#define QUARZO_HAS_PORT_INSTRUCTIONS 1
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/clock.h"
#include "platform/port_io.h"

namespace quarzo::platform {
namespace {

// A virtual cable's message: operation, register offset, value, zero, then the access time in
// microseconds of the client's monotonic clock, little-endian.
constexpr size_t kMessageSize = 12;
// Writes go out at a flush (the adapter flushes before each TCLK burst and each wait) or once this much
// has gathered: more than the longest burst (10600 TCLK pulses of an erase, 254 KB), so that no burst is
// sent in its middle, where a send that waits for a busy far end would hold the burst up.
constexpr size_t kFlushAt = 1024 * 1024;
constexpr int kReplyTimeoutMs = 5000;
constexpr uint64_t kReplySpinUs = 200;

class LinuxPortIo final : public PortIo {
public:
    ~LinuxPortIo() override { CloseDriver(); }

    void Select(uint16_t base, const std::string& path) override {
        if (selected_ && base == base_ && path == path_) return;
        CloseDriver();
        ready_ = false;
        base_ = base;
        path_ = path;
        selected_ = true;
    }

    bool OpenDriver() override {
        failure_.clear();
        ready_ = false;
        if (!selected_) return false;  // nothing chosen yet: the adapter selects before it opens
        CloseDriver();
        ready_ = path_.empty() ? OpenAddresses() : OpenPath();
        return ready_;
    }

    void CloseDriver() override {
        switch (mode_) {
            case Mode::kSocket:
                Flush();
                close(fd_);
                break;
            case Mode::kDevice:
                ioctl(fd_, PPRELEASE);
                close(fd_);
                break;
            case Mode::kAddresses:
#ifdef QUARZO_HAS_PORT_INSTRUCTIONS
                ioperm(base_, 3, 0);
#endif
                break;
            case Mode::kNone:
                break;
        }
        fd_ = -1;
        mode_ = Mode::kNone;
        pending_.clear();
    }

    uint32_t ReadPort(uint16_t port) override {
        if (!ready_) return 0xFF;
        uint8_t offset = static_cast<uint8_t>(port - base_);
        switch (mode_) {
            case Mode::kSocket:
                return SocketRead(offset);
            case Mode::kDevice: {
                unsigned char value = 0xFF;
                unsigned long request = offset == 1 ? PPRSTATUS : offset == 2 ? PPRCONTROL : PPRDATA;
                if (ioctl(fd_, request, &value) != 0) return 0xFF;
                return value;
            }
            case Mode::kAddresses:
#ifdef QUARZO_HAS_PORT_INSTRUCTIONS
                return inb(port);
#endif
            case Mode::kNone:
                break;
        }
        return 0xFF;
    }

    bool WritePort(uint16_t port, uint8_t value) override {
        if (!ready_) return false;
        uint8_t offset = static_cast<uint8_t>(port - base_);
        switch (mode_) {
            case Mode::kSocket:
                Queue('W', offset, value);
                if (pending_.size() >= kFlushAt) Flush();
                return true;
            case Mode::kDevice: {
                unsigned char v = value;
                if (offset == 1) return false;  // the status register is read only
                return ioctl(fd_, offset == 2 ? PPWCONTROL : PPWDATA, &v) == 0;
            }
            case Mode::kAddresses:
#ifdef QUARZO_HAS_PORT_INSTRUCTIONS
                outb(value, port);
                return true;
#endif
            case Mode::kNone:
                break;
        }
        return false;
    }

    void Flush() override {
        if (mode_ != Mode::kSocket || pending_.empty()) return;
        size_t done = 0;
        while (done < pending_.size()) {
            ssize_t n = send(fd_, pending_.data() + done, pending_.size() - done, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                Lost();
                return;
            }
            done += static_cast<size_t>(n);
        }
        pending_.clear();
    }

private:
    enum class Mode { kNone, kSocket, kDevice, kAddresses };

    bool Fail(const std::string& what, int error, const char* hint = "") {
        failure_ = what + ": " + std::strerror(error) + hint;
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
        mode_ = Mode::kNone;
        return false;
    }

    bool OpenPath() {
        struct stat st {};
        if (stat(path_.c_str(), &st) != 0) return Fail(path_, errno);
        if (S_ISSOCK(st.st_mode)) return OpenSocket();
        if (!S_ISCHR(st.st_mode)) {
            failure_ = path_ + ": not a parallel-port device or socket";
            return false;
        }
        fd_ = open(path_.c_str(), O_RDWR | O_CLOEXEC);
        if (fd_ < 0) {
            int error = errno;
            return Fail(path_, error, error == EACCES ? " (the user needs to be in the lp group)" : "");
        }
        if (ioctl(fd_, PPCLAIM) != 0) return Fail(path_ + " (claiming the port)", errno);
        mode_ = Mode::kDevice;
        return true;
    }

    bool OpenSocket() {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (path_.size() >= sizeof(address.sun_path)) return Fail(path_, ENAMETOOLONG);
        std::memcpy(address.sun_path, path_.c_str(), path_.size() + 1);
        fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0) return Fail(path_, errno);
        if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) return Fail(path_, errno);
        mode_ = Mode::kSocket;
        return true;
    }

    bool OpenAddresses() {
        char what[48];
        std::snprintf(what, sizeof(what), "port address 0x%X", base_);
#ifdef QUARZO_HAS_PORT_INSTRUCTIONS
        if (ioperm(base_, 3, 1) != 0) {
            int error = errno;
            return Fail(what, error, error == EPERM ? " (direct port access needs root or CAP_SYS_RAWIO)" : "");
        }
        mode_ = Mode::kAddresses;
        return true;
#else
        return Fail(what, ENOSYS);
#endif
    }

    void Queue(char operation, uint8_t offset, uint8_t value) {
        uint64_t us = SystemClock().Microseconds();
        uint8_t message[kMessageSize] = {static_cast<uint8_t>(operation), offset, value, 0};
        for (int i = 0; i < 8; ++i) message[4 + i] = static_cast<uint8_t>(us >> (8 * i));
        pending_.insert(pending_.end(), message, message + kMessageSize);
    }

    uint32_t SocketRead(uint8_t offset) {
        Queue('R', offset, 0);
        Flush();
        if (!ready_) return 0xFF;
        uint8_t value = 0xFF;
        // The answer of a virtual cable is usually there within microseconds: a short spin saves the
        // wake-up of a blocking wait, then the wait gives the processor away.
        uint64_t spinEnd = SystemClock().Microseconds() + kReplySpinUs;
        do {
            if (recv(fd_, &value, 1, MSG_DONTWAIT) == 1) return value;
        } while (SystemClock().Microseconds() < spinEnd);
        pollfd p{fd_, POLLIN, 0};
        for (;;) {
            int n = poll(&p, 1, kReplyTimeoutMs);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0 || recv(fd_, &value, 1, 0) != 1) {
                Lost();
                return 0xFF;
            }
            return value;
        }
    }

    // The far end went away: like a cable pulled out, every read now gives 0xFF.
    void Lost() {
        close(fd_);
        fd_ = -1;
        mode_ = Mode::kNone;
        ready_ = false;
        pending_.clear();
    }

    Mode mode_ = Mode::kNone;
    int fd_ = -1;
    bool selected_ = false;
    std::string path_;
    std::vector<uint8_t> pending_;
};

}  // namespace

std::unique_ptr<PortIo> MakeParallelPortIo() {
    return std::make_unique<LinuxPortIo>();
}

}  // namespace quarzo::platform
