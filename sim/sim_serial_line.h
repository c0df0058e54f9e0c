#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/serial_port.h"
#include "sim/rom_bsl.h"
#include "sim/virtual_clock.h"

namespace quarzo::sim {

// A serial cable to a simulated target, as the host's SerialPort sees it. DTR drives RST and RTS the
// TEST pin through the adapter's wiring; the target enters its loader only on the right waveform.
// Every byte takes its time on the wire at the sender's speed; a byte sent at another speed or
// parity than the receiver's arrives garbled. Faults are injected on demand.
class SimSerialLine final : public SerialPort {
public:
    SimSerialLine(VirtualClock& clock, RomBsl& target);

    // The adapter's wiring: the usual TI adapter inverts TEST (RTS asserted pulls TEST low).
    bool rstWiringInverted = false;
    bool tstWiringInverted = true;
    // Whether the port exists (Open fails with "file not found" otherwise) and whether closing fails.
    bool exists = true;
    bool closeFails = false;

    // Faults.
    // The host's bytes after the next skip ones are lost, count of them.
    void DropHostBytes(uint32_t count, uint32_t skip = 0) {
        dropHostBytes_ = count;
        dropSkip_ = skip;
    }
    // The answer to the next command frame becomes this one byte.
    void ReplaceNextAnswer(uint8_t code) { replaceAnswer_ = code; }
    // Flips the low bit of the byte at offset in the next data frame.
    void CorruptNextDataFrame(uint32_t offset) { corruptOffset_ = static_cast<int>(offset); }
    // Only the first keep bytes of the next data frame arrive.
    void TruncateNextDataFrame(uint32_t keep) { truncateKeep_ = static_cast<int>(keep); }
    // The target answers the sync byte but never a command frame.
    void MuteFrameAnswers(bool mute) { muteFrames_ = mute; }
    // The target hears nothing and answers nothing.
    void SetSilent(bool silent) { silent_ = silent; }

    // What crossed the wire from the host, and the pin changes as "RST 0", "TEST 1".
    std::vector<uint8_t> hostBytes;
    std::vector<std::string> pinLog;
    uint32_t hostBaud() const { return lineBaud_; }

    bool Open() override;
    bool Close() override;
    bool IsOpen() const override { return open_; }
    bool Configure() override;
    bool ChangeSpeed(uint32_t baud) override {
        if (!open_) return false;
        baudRate_ = lineBaud_ = baud;
        return true;
    }
    bool Purge(uint32_t flags) override;
    uint32_t WaitForInput(uint32_t count, uint32_t timeoutMs) override;
    uint32_t WaitForOutputEmpty(uint32_t timeoutMs) override;
    bool WaitForByte(uint8_t value, uint32_t timeoutMs) override;
    uint32_t Read(uint8_t* buffer, uint32_t count, uint32_t timeoutMs) override;
    uint32_t Write(const uint8_t* buffer, uint32_t count) override;
    bool SetDtr(bool level) override;
    bool SetRts(bool level) override;

private:
    struct Arrival {
        uint64_t atUs;
        uint8_t value;
    };

    uint64_t ByteTimeUs(uint32_t baud) const { return 11'000'000ull / baud; }
    uint32_t Visible() const;
    void Deliver(uint8_t byte, uint64_t atUs);
    void Answer(RomBsl::Reply reply, uint64_t readyUs, uint32_t baud);
    void PinsChanged();

    VirtualClock& clock_;
    RomBsl& target_;
    bool open_ = false;
    uint32_t lineBaud_ = 9600;
    uint8_t lineParity_ = kParityNone;
    bool dtr_ = false;
    bool rts_ = false;
    bool rstPin_ = false;
    bool testPin_ = false;
    int testEdgesInReset_ = 0;
    uint64_t hostTxFreeUs_ = 0;
    uint64_t targetTxFreeUs_ = 0;
    std::deque<Arrival> toHost_;

    uint32_t dropHostBytes_ = 0;
    uint32_t dropSkip_ = 0;
    int replaceAnswer_ = -1;
    int corruptOffset_ = -1;
    int truncateKeep_ = -1;
    bool silent_ = false;
    bool muteFrames_ = false;
};

}  // namespace quarzo::sim
