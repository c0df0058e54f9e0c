#include "sim/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/clock.h"

namespace quarzo::sim {

PtyServer::~PtyServer() {
    if (master_ >= 0) close(master_);
}

bool PtyServer::Create() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        std::fprintf(stderr, "quarzo-sim: cannot create a pseudo-terminal: %s\n", std::strerror(errno));
        return false;
    }
    path_ = ptsname(master_);
    ResetLine();
    target_.Enter();
    return true;
}

// Raw at 9600 baud, as a fresh serial line: nothing is echoed or translated before the host configures
// it, and no setting a previous host left behind stands in the next one's way.
void PtyServer::ResetLine() {
    int slave = open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave < 0) return;
    termios tio{};
    if (tcgetattr(slave, &tio) == 0) {
        cfmakeraw(&tio);
        tio.c_cflag &= ~static_cast<tcflag_t>(HUPCL | CRTSCTS | PARENB | PARODD);
        tio.c_cflag |= CLOCAL | CREAD;
        cfsetispeed(&tio, B9600);
        cfsetospeed(&tio, B9600);
        tcsetattr(slave, TCSANOW, &tio);
    }
    close(slave);
}

uint32_t PtyServer::LineBaud() const {
    // The host's settings live on its side of the pty.
    termios tio{};
    int slave = open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave < 0) return 0;
    bool known = tcgetattr(slave, &tio) == 0;
    close(slave);
    if (!known) return 0;
    switch (cfgetispeed(&tio)) {
        case B19200:
            return 19200;
        case B38400:
            return 38400;
        case B9600:
            return 9600;
        default:
            return 0;  // the loader's own speed
    }
}

void PtyServer::SleepUntil(uint64_t us) {
    Clock& clock = SystemClock();
    uint64_t now = clock.Microseconds();
    if (us > now) usleep(static_cast<useconds_t>(us - now));
}

void PtyServer::Handle(uint8_t byte) {
    Clock& clock = SystemClock();
    if (pace_) {
        wireUs_ = std::max(clock.Microseconds(), wireUs_ + ByteTimeUs());
        SleepUntil(wireUs_);
    }
    uint64_t answerByteUs = ByteTimeUs();
    // Code running in the chip's RAM reads the line at the host's speed, which a pty keeps in its
    // settings. A pty has no timing: the host's bytes follow one another as on a wire, however late
    // this server gets to them.
    uint32_t baud = lineBaud_;
    RomBsl::Reply reply;
    if (chipLock_) {
        std::lock_guard<std::mutex> lock(*chipLock_);
        reply = target_.Receive(byte, 0, baud);
    } else {
        reply = target_.Receive(byte, 0, baud);
    }
    if (reply.bytes.empty()) return;
    if (pace_) {
        uint64_t t = clock.Microseconds() + reply.busyUs;
        for (uint8_t b : reply.bytes) {
            t += answerByteUs;
            SleepUntil(t);
            if (write(master_, &b, 1) != 1) return;
        }
    } else if (write(master_, reply.bytes.data(), reply.bytes.size()) < 0) {
        return;
    }
}

void PtyServer::Serve(const std::atomic<bool>& stop) {
    std::vector<uint8_t> buffer(4096);
    while (!stop.load()) {
        pollfd p{master_, POLLIN, 0};
        int ready = poll(&p, 1, 50);
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        if (p.revents & POLLIN) {
            ssize_t n = read(master_, buffer.data(), buffer.size());
            if (n > 0) {
                connected_ = true;
                lineBaud_ = LineBaud();
                for (ssize_t i = 0; i < n && !stop.load(); ++i) Handle(buffer[static_cast<size_t>(i)]);
                continue;
            }
        }
        // No host has the line open: make it fresh for the next one, then wait for it. The entry
        // sequence cannot be seen here, so the next host finds the loader again whatever ran before.
        if (connected_) {
            ResetLine();
            target_.Enter();
        }
        connected_ = false;
        usleep(20000);
    }
}

}  // namespace quarzo::sim
