// The serial port on termios. Waits poll the driver's queue counts with 1 ms sleeps, as the protocol
// code expects; the descriptor is non-blocking so a read never waits for bytes that were not counted.
#include "platform/serial_port.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/clock.h"
#include "platform/posix/line_settings.h"

namespace quarzo {
namespace {

bool SpeedFor(uint32_t baud, speed_t& speed) {
    struct Pair {
        uint32_t baud;
        speed_t speed;
    };
    static const Pair kSpeeds[] = {{1200, B1200},   {2400, B2400},   {4800, B4800},   {9600, B9600},
                                   {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}};
    for (const Pair& p : kSpeeds) {
        if (p.baud == baud) {
            speed = p.speed;
            return true;
        }
    }
    return false;
}

class PosixSerialPort final : public SerialPort {
public:
    explicit PosixSerialPort(Clock& clock) : clock_(clock) {}
    ~PosixSerialPort() override { Close(); }

    bool Open() override {
        Close();
        openFailure_.clear();
        fd_ = ::open(name_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) return FailOpen();
        // No sharing, as on Windows. TIOCEXCL turns away a second opener (EBUSY), but not root; the
        // lock also holds between programs that honour it.
        if (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK) errno = EBUSY;
            return FailOpen();
        }
        if (ioctl(fd_, TIOCEXCL) != 0 && errno != ENOTTY && errno != EINVAL) return FailOpen();
        if (!isatty(fd_)) {
            errno = ENOTTY;
            return FailOpen();
        }
        if (!Configure()) return FailOpen();
        tcflush(fd_, TCIOFLUSH);
        return true;
    }

    bool Close() override {
        if (fd_ < 0) return true;
        int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

    bool IsOpen() const override { return fd_ >= 0; }

    bool Configure() override {
        termios tio{};
        speed_t speed;
        if (fd_ < 0 || tcgetattr(fd_, &tio) != 0 || !SpeedFor(baudRate_, speed)) return false;
        if (!platform::MakeLineSettings(tio, baudRate_, parity_)) return false;
        if (tcsetattr(fd_, TCSANOW, &tio) != 0 && !AppliedWithoutParity(speed)) return false;
        // A pseudo-terminal has no modem lines; the lines are simply not there to assert.
        SetModemLines(TIOCM_DTR | TIOCM_RTS, true);
        return true;
    }

    bool ChangeSpeed(uint32_t baud) override {
        termios tio{};
        speed_t speed;
        if (fd_ < 0 || tcgetattr(fd_, &tio) != 0 || !SpeedFor(baud, speed)) return false;
        cfsetispeed(&tio, speed);
        cfsetospeed(&tio, speed);
        if (tcsetattr(fd_, TCSANOW, &tio) != 0) return false;
        baudRate_ = baud;
        return true;
    }

    bool Purge(uint32_t flags) override {
        if (fd_ < 0) return false;
        bool rx = (flags & (kAbortReceive | kClearReceive)) != 0;
        bool tx = (flags & (kAbortTransmit | kClearTransmit)) != 0;
        if (rx && tx) return tcflush(fd_, TCIOFLUSH) == 0;
        if (rx) return tcflush(fd_, TCIFLUSH) == 0;
        if (tx) return tcflush(fd_, TCOFLUSH) == 0;
        return true;
    }

    uint32_t WaitForInput(uint32_t count, uint32_t timeoutMs) override {
        uint32_t start = clock_.TickMs();
        for (;;) {
            uint32_t waiting = InputCount();
            if (waiting >= count) return waiting;
            if (clock_.TickMs() - start >= timeoutMs) return waiting;
            clock_.SleepMs(1);
        }
    }

    uint32_t WaitForOutputEmpty(uint32_t timeoutMs) override {
        uint32_t start = clock_.TickMs();
        uint32_t queued = OutputCount();
        while (queued != 0 && clock_.TickMs() - start < timeoutMs) queued = OutputCount();
        return queued;
    }

    bool WaitForByte(uint8_t value, uint32_t timeoutMs) override {
        uint32_t start = clock_.TickMs();
        for (;;) {
            uint8_t byte;
            if (InputCount() > 0 && ::read(fd_, &byte, 1) == 1 && byte == value) return true;
            clock_.SleepMs(1);
            if (clock_.TickMs() - start >= timeoutMs) return false;
        }
    }

    uint32_t Read(uint8_t* buffer, uint32_t count, uint32_t timeoutMs) override {
        if (WaitForInput(count, timeoutMs) < count) return 0;
        uint32_t done = 0;
        while (done < count) {
            ssize_t n = ::read(fd_, buffer + done, count - done);
            if (n <= 0) break;
            done += static_cast<uint32_t>(n);
        }
        return done;
    }

    uint32_t Write(const uint8_t* buffer, uint32_t count) override {
        if (fd_ < 0) return 0;
        uint32_t done = 0;
        // The descriptor is non-blocking; a full output queue is waited out briefly instead.
        for (int stalls = 0; done < count && stalls < 1000;) {
            ssize_t n = ::write(fd_, buffer + done, count - done);
            if (n > 0) {
                done += static_cast<uint32_t>(n);
                stalls = 0;
            } else if (n < 0 && errno == EAGAIN) {
                ++stalls;
                clock_.SleepMs(1);
            } else {
                break;
            }
        }
        return done;
    }

    bool SetDtr(bool level) override { return SetModemLines(TIOCM_DTR, level); }
    bool SetRts(bool level) override { return SetModemLines(TIOCM_RTS, level); }

private:
    // A pseudo-terminal keeps no parity bit, and the C library then reports the whole change as
    // invalid although the speed and the raw mode were applied; that is good enough for a pty.
    bool AppliedWithoutParity(speed_t speed) const {
        termios now{};
        return errno == EINVAL && tcgetattr(fd_, &now) == 0 && cfgetospeed(&now) == speed &&
               (now.c_cflag & CSIZE) == CS8 && !(now.c_lflag & ICANON);
    }

    bool FailOpen() {
        int error = errno;
        lastError_ = static_cast<uint32_t>(error);
        openFailure_ = name_ + ": " +
                       (error == EBUSY ? "port in use (another program has it open)" : std::strerror(error));
        if (error == EACCES) openFailure_ += " (the user needs to be in the dialout group)";
        Close();
        return false;
    }

    bool SetModemLines(int lines, bool level) {
        if (fd_ < 0) return false;
        return ioctl(fd_, level ? TIOCMBIS : TIOCMBIC, &lines) == 0;
    }

    // A failed query counts as nothing queued.
    uint32_t InputCount() const {
        int n = 0;
        if (fd_ < 0 || ioctl(fd_, FIONREAD, &n) != 0 || n < 0) return 0;
        return static_cast<uint32_t>(n);
    }
    uint32_t OutputCount() const {
        int n = 0;
        if (fd_ < 0 || ioctl(fd_, TIOCOUTQ, &n) != 0 || n < 0) return 0;
        return static_cast<uint32_t>(n);
    }

    Clock& clock_;
    int fd_ = -1;
};

}  // namespace

std::unique_ptr<SerialPort> CreateSystemSerialPort(Clock& clock) {
    return std::make_unique<PosixSerialPort>(clock);
}

std::vector<int> PresentSerialPorts() {
    return {};  // COMn is only a name from the settings here
}

namespace platform {

bool MakeLineSettings(termios& tio, uint32_t baud, uint8_t parity) {
    speed_t speed;
    if (!SpeedFor(baud, speed)) return false;
    cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS | HUPCL);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    if (parity != SerialPort::kParityNone)
        tio.c_cflag |= PARENB | (parity == SerialPort::kParityOdd ? PARODD : 0);
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | PARMRK | IGNPAR);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    return true;
}

}  // namespace platform

}  // namespace quarzo
