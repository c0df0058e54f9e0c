#pragma once

#include <cstddef>
#include <cstdint>

#include "adapters/jtag/lpt_cable.h"

namespace quarzo {

// The fuse-blow add-on device on the JTAG cable: a slow single-wire link with framed, checksummed
// commands (request: start, command, length, data, checksum; reply: start, code, length, at most 8
// data bytes, checksum).
class PyrelLink {
public:
    enum class Result { kDone, kNotFound, kRefused };
    static constexpr int kMaxData = 8;
    static constexpr size_t kReplySize = 3 + kMaxData + 1;
    static constexpr uint8_t kPrepareNoTestPin = 5;
    static constexpr uint8_t kBlowOnTest = 6;
    static constexpr uint8_t kBlowOnTdi = 7;

    explicit PyrelLink(LptCable& cable) : cable_(cable) {}

    static uint8_t Checksum(const uint8_t* bytes, size_t count);
    // A request and its reply, three tries (the last after a reset pulse); false when none came whole.
    bool Exchange(uint8_t command, const uint8_t* data, size_t length, uint8_t* reply, uint32_t waitMs);
    // A command without data answered with "done" (kDone), with another code (kRefused), or not at all.
    Result Command(uint8_t command, uint32_t waitMs);
    void Wake();
    // Writes the device's identification line into out (size bytes) when out is given.
    bool Detect(char* out, size_t size);
    // The cable's lines set for the device, and given back.
    void Begin();
    void End();

private:
    void ResetPulse();
    void WriteBit(bool one);
    bool ReadBit();
    void WriteByte(uint8_t byte);
    uint8_t ReadByte();

    LptCable& cable_;
};

}  // namespace quarzo
