#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quarzo::sim {

// The fuse-blow add-on device on the parallel-port cable. It hears the host on data bit 7 and tells the
// pulses apart by their widths alone (a single-wire device has no clock of the host's), answers in the
// host's read slots on status bit 4, checks the request's checksum, and on the blow commands holds its
// programming voltage on the target's TEST pin (6) or TDI (7) for a while.
class PyrelDevice {
public:
    enum class Pin { kNone, kTest, kTdi };
    static constexpr uint64_t kVoltageHoldUs = 500'000;

    // Faults on demand.
    struct Faults {
        bool corruptReply = false;   // every reply's checksum is wrong
        bool longReply = false;      // the identification claims 9 data bytes
        uint8_t prepareCode = 3;     // the answer to command 5
        bool boostFails = false;     // commands 6 and 7 answer 2 and give no voltage
        bool blowUnanswered = false; // commands 6 and 7 get no answer (the voltage still comes)
    };

    // The lines as the host drives them: the output (data bit 7), the wake line (data bit 6) and the
    // select line (control bit 1 without the reset bit).
    void Lines(bool out, bool wake, bool select, uint64_t us);
    // The input line the host samples (status bit 4): low only while answering a 0 in a read slot.
    bool Input(uint64_t us) const;
    // The programming voltage and where it is at this moment.
    Pin Voltage(uint64_t us) const { return us < voltageUntilUs_ ? voltagePin_ : Pin::kNone; }

    std::array<uint8_t, 4> identification{0x12, 0x34, 0x65, 0x0A};
    Faults faults;
    // What the device heard: the commands of requests with a good checksum, and the bad ones counted.
    std::vector<uint8_t> commands;
    uint32_t badRequests = 0;
    uint32_t resetPulses = 0;

private:
    enum class State { kAsleep, kReceive, kReply };

    void Pulse(uint64_t widthUs, uint64_t us);
    void Bit(bool one);
    void Request(const std::vector<uint8_t>& frame, uint64_t us);
    void Reply(uint8_t code, const std::vector<uint8_t>& data);

    State state_ = State::kAsleep;
    bool out_ = true;
    bool wake_ = true;
    bool select_ = false;
    uint64_t fellUs_ = 0;
    uint64_t wakeFellUs_ = 0;
    uint64_t lastEdgeUs_ = 0;
    bool slotBit_ = true;
    // Receiving.
    uint8_t byte_ = 0;
    int bits_ = 0;
    std::vector<uint8_t> frame_;
    // Replying.
    std::vector<uint8_t> reply_;
    size_t replyBit_ = 0;
    Pin voltagePin_ = Pin::kNone;
    uint64_t voltageUntilUs_ = 0;
};

}  // namespace quarzo::sim
