#include "sim/sim_serial_line.h"

#include <algorithm>

namespace quarzo::sim {
namespace {

constexpr uint32_t kLoaderBaudParity = SerialPort::kParityEven;

// What a UART makes of a byte sent at another speed or parity: some other value.
uint8_t Garble(uint8_t byte) {
    return static_cast<uint8_t>(byte ^ 0x55);
}

}  // namespace

SimSerialLine::SimSerialLine(VirtualClock& clock, RomBsl& target) : clock_(clock), target_(target) {}

bool SimSerialLine::Open() {
    Close();
    // A closed port drives neither line; what that means at the pins depends on the wiring, which a
    // test may set after construction.
    rstPin_ = rstWiringInverted;
    testPin_ = tstWiringInverted;
    if (!exists) {
        lastError_ = 2;  // file not found
        return false;
    }
    open_ = true;
    toHost_.clear();
    hostTxFreeUs_ = clock_.NowUs();
    return Configure();
}

bool SimSerialLine::Close() {
    if (!open_) return true;
    open_ = false;
    dtr_ = rts_ = false;
    PinsChanged();
    return !closeFails;
}

bool SimSerialLine::Configure() {
    if (!open_) return false;
    lineBaud_ = baudRate_;
    lineParity_ = parity_;
    dtr_ = rts_ = true;
    PinsChanged();
    return true;
}

bool SimSerialLine::SetDtr(bool level) {
    if (!open_) return false;
    dtr_ = level;
    PinsChanged();
    return true;
}

bool SimSerialLine::SetRts(bool level) {
    if (!open_) return false;
    rts_ = level;
    PinsChanged();
    return true;
}

void SimSerialLine::PinsChanged() {
    bool rst = dtr_ != rstWiringInverted;
    bool test = rts_ != tstWiringInverted;
    if (test != testPin_) {
        pinLog.push_back(test ? "TEST 1" : "TEST 0");
        if (test && !rstPin_) ++testEdgesInReset_;
        testPin_ = test;
    }
    if (rst != rstPin_) {
        pinLog.push_back(rst ? "RST 1" : "RST 0");
        rstPin_ = rst;
        if (!rst) {
            testEdgesInReset_ = 0;
            target_.HoldInReset();
        } else if (testEdgesInReset_ >= 2 && testPin_) {
            // Two TEST pulses while in reset, and RST released while TEST is high.
            target_.Enter();
        } else {
            target_.RunProgram();
        }
    }
}

uint32_t SimSerialLine::Visible() const {
    uint64_t now = clock_.NowUs();
    uint32_t n = 0;
    for (const Arrival& a : toHost_) {
        if (a.atUs > now) break;
        ++n;
    }
    return n;
}

bool SimSerialLine::Purge(uint32_t flags) {
    if (!open_) return false;
    if (flags & (kAbortReceive | kClearReceive)) {
        // Bytes still on the wire are not in the driver's queue yet; they arrive afterwards.
        uint32_t n = Visible();
        toHost_.erase(toHost_.begin(), toHost_.begin() + n);
    }
    return true;
}

uint32_t SimSerialLine::WaitForInput(uint32_t count, uint32_t timeoutMs) {
    uint32_t start = clock_.TickMs();
    for (;;) {
        uint32_t waiting = Visible();
        if (waiting >= count || clock_.TickMs() - start >= timeoutMs) return waiting;
        clock_.SleepMs(1);
    }
}

uint32_t SimSerialLine::WaitForOutputEmpty(uint32_t timeoutMs) {
    uint64_t now = clock_.NowUs();
    if (hostTxFreeUs_ <= now) return 0;
    uint64_t wait = std::min<uint64_t>(hostTxFreeUs_ - now, uint64_t{timeoutMs} * 1000);
    clock_.Advance(wait);
    now = clock_.NowUs();
    if (hostTxFreeUs_ <= now) return 0;
    uint64_t byteTime = ByteTimeUs(lineBaud_);
    return static_cast<uint32_t>((hostTxFreeUs_ - now + byteTime - 1) / byteTime);
}

bool SimSerialLine::WaitForByte(uint8_t value, uint32_t timeoutMs) {
    uint32_t start = clock_.TickMs();
    for (;;) {
        if (Visible() > 0) {
            uint8_t byte = toHost_.front().value;
            toHost_.pop_front();
            if (byte == value) return true;
        }
        clock_.SleepMs(1);
        if (clock_.TickMs() - start >= timeoutMs) return false;
    }
}

uint32_t SimSerialLine::Read(uint8_t* buffer, uint32_t count, uint32_t timeoutMs) {
    if (!open_ || WaitForInput(count, timeoutMs) < count) return 0;
    for (uint32_t i = 0; i < count; ++i) {
        buffer[i] = toHost_.front().value;
        toHost_.pop_front();
    }
    return count;
}

uint32_t SimSerialLine::Write(const uint8_t* buffer, uint32_t count) {
    if (!open_) return 0;
    uint64_t byteTime = ByteTimeUs(lineBaud_);
    for (uint32_t i = 0; i < count; ++i) {
        hostBytes.push_back(buffer[i]);
        hostTxFreeUs_ = std::max(hostTxFreeUs_, clock_.NowUs()) + byteTime;
        Deliver(buffer[i], hostTxFreeUs_);
    }
    return count;
}

void SimSerialLine::Deliver(uint8_t byte, uint64_t atUs) {
    if (silent_) return;
    if (dropSkip_ > 0) {
        --dropSkip_;
    } else if (dropHostBytes_ > 0) {
        --dropHostBytes_;
        return;
    }
    // A target that reads the line bit by bit (code in RAM) has no speed of its own to mismatch.
    uint32_t targetBaud = target_.Baud();
    if (targetBaud != 0 && (lineBaud_ != targetBaud || lineParity_ != kLoaderBaudParity)) byte = Garble(byte);
    uint32_t answerBaud = targetBaud != 0 ? targetBaud : lineBaud_;
    RomBsl::Reply reply = target_.Receive(byte, static_cast<double>(atUs), lineBaud_);
    if (!reply.bytes.empty()) Answer(std::move(reply), atUs, answerBaud);
}

void SimSerialLine::Answer(RomBsl::Reply reply, uint64_t readyUs, uint32_t baud) {
    std::vector<uint8_t>& bytes = reply.bytes;
    if (reply.toFrame && muteFrames_) return;
    if (reply.toFrame && replaceAnswer_ >= 0) {
        bytes = {static_cast<uint8_t>(replaceAnswer_)};
        replaceAnswer_ = -1;
    }
    if (bytes.size() > 1) {
        if (corruptOffset_ >= 0 && static_cast<size_t>(corruptOffset_) < bytes.size()) {
            bytes[static_cast<size_t>(corruptOffset_)] ^= 0x01;
            corruptOffset_ = -1;
        }
        if (truncateKeep_ >= 0) {
            bytes.resize(std::min(bytes.size(), static_cast<size_t>(truncateKeep_)));
            truncateKeep_ = -1;
        }
    }
    uint64_t byteTime = ByteTimeUs(baud);
    uint64_t t = std::max(readyUs + reply.busyUs, targetTxFreeUs_);
    for (uint8_t b : bytes) {
        t += byteTime;
        if (baud != lineBaud_ || lineParity_ != kLoaderBaudParity) b = Garble(b);
        toHost_.push_back({t, b});
    }
    targetTxFreeUs_ = t;
}

}  // namespace quarzo::sim
