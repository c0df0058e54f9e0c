#include "sim/pyrel_device.h"

#include <cstddef>

namespace quarzo::sim {
namespace {

// Pulse widths the device accepts, in microseconds: a single-wire device's own tolerances.
constexpr uint64_t kShortMin = 15;
constexpr uint64_t kShortMax = 150;
constexpr uint64_t kLongMin = 300;
constexpr uint64_t kLongMax = 1500;
constexpr uint64_t kResetMin = 2000;
// How long it pulls the input low to answer a 0, from the start of the read slot.
constexpr uint64_t kAnswerLowUs = 250;
// A wake pulse on bit 6, and the quiet after which a half-received byte is dropped.
constexpr uint64_t kWakeMinUs = 5000;
constexpr uint64_t kQuietUs = 20'000;

constexpr uint8_t kRequestStart = 0x55;
constexpr uint8_t kReplyStart = 0xAA;

uint8_t Checksum(const uint8_t* bytes, size_t count) {
    uint8_t c = 0;
    for (size_t i = 0; i < count; ++i) {
        c ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) {
            if (c & 1) c ^= 0x30;
            c = static_cast<uint8_t>(c >> 1);
        }
    }
    return c;
}

}  // namespace

void PyrelDevice::Lines(bool out, bool wake, bool select, uint64_t us) {
    if (select != select_) {
        select_ = select;
        if (!select) state_ = State::kAsleep;  // deselected, the device sleeps until woken again
    }
    if (wake != wake_) {
        wake_ = wake;
        if (!wake) wakeFellUs_ = us;
        else if (select_ && us - wakeFellUs_ >= kWakeMinUs) state_ = State::kReceive;
    }
    if (out == out_ || !select_ || state_ == State::kAsleep) {
        out_ = out;
        return;
    }
    out_ = out;
    if (!out) {
        if (us - lastEdgeUs_ > kQuietUs && state_ == State::kReceive) {
            bits_ = 0;
            frame_.clear();
        }
        fellUs_ = us;
        lastEdgeUs_ = us;
        // A read slot starts: the answer bit is chosen now and held for the slot.
        slotBit_ = true;
        if (state_ == State::kReply && replyBit_ < reply_.size() * 8)
            slotBit_ = (reply_[replyBit_ / 8] >> (replyBit_ % 8) & 1) != 0;
        // The answer is held for the whole slot, also when it is the reply's last bit.
        return;
    }
    lastEdgeUs_ = us;
    Pulse(us - fellUs_, us);
}

bool PyrelDevice::Input(uint64_t us) const {
    if (!select_ || state_ == State::kAsleep) return true;
    return slotBit_ || us - fellUs_ >= kAnswerLowUs;
}

void PyrelDevice::Pulse(uint64_t width, uint64_t us) {
    if (width >= kResetMin) {
        ++resetPulses;
        state_ = State::kReceive;
        bits_ = 0;
        frame_.clear();
        return;
    }
    bool shortPulse = width >= kShortMin && width <= kShortMax;
    bool longPulse = width >= kLongMin && width <= kLongMax;
    if (!shortPulse && !longPulse) return;  // noise: neither bit
    if (state_ == State::kReply) {
        if (shortPulse) {
            if (++replyBit_ >= reply_.size() * 8) state_ = State::kReceive;
            return;
        }
        state_ = State::kReceive;  // the host writes again: the rest of the reply is dropped
        bits_ = 0;
        frame_.clear();
    }
    Bit(shortPulse);
    if (bits_ == 0 && !frame_.empty()) {
        if (frame_[0] != kRequestStart) {
            frame_.clear();  // not the start of a request: wait for one
            return;
        }
        if (frame_.size() >= 3 && frame_.size() == 4u + frame_[2]) {
            std::vector<uint8_t> frame;
            frame.swap(frame_);
            Request(frame, us);
        }
    }
}

void PyrelDevice::Bit(bool one) {
    byte_ = static_cast<uint8_t>(byte_ >> 1 | (one ? 0x80 : 0));
    if (++bits_ < 8) return;
    bits_ = 0;
    frame_.push_back(byte_);
}

void PyrelDevice::Request(const std::vector<uint8_t>& frame, uint64_t us) {
    if (Checksum(frame.data() + 1, frame.size() - 1) != 0) {
        ++badRequests;
        return;
    }
    uint8_t command = frame[1];
    commands.push_back(command);
    switch (command) {
        case 1: {
            std::vector<uint8_t> data(identification.begin(), identification.end());
            if (faults.longReply) data.resize(9, 0);
            Reply(1, data);
            break;
        }
        case 5:
            Reply(faults.prepareCode, {});
            break;
        case 6:
        case 7:
            if (!faults.boostFails) {
                voltagePin_ = command == 6 ? Pin::kTest : Pin::kTdi;
                voltageUntilUs_ = us + kVoltageHoldUs;
            }
            if (faults.blowUnanswered) return;
            Reply(faults.boostFails ? 2 : 3, {});
            break;
        default:
            Reply(2, {});
    }
}

void PyrelDevice::Reply(uint8_t code, const std::vector<uint8_t>& data) {
    reply_ = {kReplyStart, code, static_cast<uint8_t>(data.size())};
    reply_.insert(reply_.end(), data.begin(), data.end());
    reply_.push_back(Checksum(reply_.data() + 1, reply_.size() - 1));
    if (faults.corruptReply) reply_.back() ^= 0x01;
    replyBit_ = 0;
    state_ = State::kReply;
}

}  // namespace quarzo::sim
