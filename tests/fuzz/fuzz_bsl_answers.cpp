// Whatever a line answers, the loader's host side ends every operation with success or an error code
// of its table, within the time-outs, without reading past anything. The fuzz input is what the
// "target" sends: each byte the host waits for is the next input byte; when the input runs out the line
// falls silent.
#include <cstdlib>
#include <cstring>
#include <functional>

#include "adapters/bsl/bsl_link.h"
#include "platform/serial_port.h"
#include "sim/virtual_clock.h"

namespace {

class ScriptedPort final : public quarzo::SerialPort {
public:
    ScriptedPort(const uint8_t* data, size_t size, quarzo::sim::VirtualClock& clock)
        : data_(data), size_(size), clock_(clock) {}

    bool Open() override { return open_ = true; }
    bool Close() override {
        open_ = false;
        return true;
    }
    bool IsOpen() const override { return open_; }
    bool Configure() override { return true; }
    bool ChangeSpeed(uint32_t baud) override {
        baudRate_ = baud;
        return true;
    }
    bool Purge(uint32_t) override { return true; }
    uint32_t WaitForInput(uint32_t count, uint32_t timeoutMs) override {
        if (Left() < count) clock_.Advance(uint64_t{timeoutMs} * 1000);
        return static_cast<uint32_t>(Left());
    }
    uint32_t WaitForOutputEmpty(uint32_t) override { return 0; }
    bool WaitForByte(uint8_t value, uint32_t timeoutMs) override {
        while (Left() > 0)
            if (data_[at_++] == value) return true;
        clock_.Advance(uint64_t{timeoutMs} * 1000);
        return false;
    }
    uint32_t Read(uint8_t* buffer, uint32_t count, uint32_t timeoutMs) override {
        if (Left() < count) {
            clock_.Advance(uint64_t{timeoutMs} * 1000);
            return 0;
        }
        std::memcpy(buffer, data_ + at_, count);
        at_ += count;
        return count;
    }
    uint32_t Write(const uint8_t*, uint32_t count) override { return count; }
    bool SetDtr(bool) override { return true; }
    bool SetRts(bool) override { return true; }

private:
    size_t Left() const { return size_ - at_; }

    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
    bool open_ = false;
    quarzo::sim::VirtualClock& clock_;
};

// Generous bounds: ten sync tries, the header wait and the frame wait, for each frame an operation sends.
constexpr uint64_t kFrameBoundUs = (10 * 100 + 6 * 500 + 500 + 500 + 100) * 1000ull;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    quarzo::sim::VirtualClock clock;
    ScriptedPort port(data + 1, size - 1, clock);
    quarzo::BslLink link;
    link.UsePort(&port, &clock);
    if (!link.OpenLink("COM1")) std::abort();
    uint8_t buffer[600];
    std::memset(buffer, 0x5A, sizeof buffer);
    // Each operation with the frames it sends at most.
    const struct {
        uint64_t frames;
        std::function<bool()> run;
    } operations[] = {
        {2, [&] { return link.SendPassword(); }},
        {3, [&] { return link.ReadBlocks(0x1100, buffer, 600); }},
        {3, [&] { return link.WriteBlocks(0x1100, buffer, 600); }},
        {21, [&] { return link.MassErase(); }},
        {40, [&] { return link.PrepareTarget(); }},
        // The erase check where the loader's fuzzed identification offers it.
        {3,
         [&] { return link.ReadChipInfo() && (!link.HasEraseCheck() || link.CheckErased(0x1100, 0xEF00)); }},
    };
    const auto& operation = operations[data[0] % 6];
    bool ok = operation.run();
    uint32_t code = link.GetErrorCode();
    // A failure always carries its reason. (Preparing tolerates an unreadable version, which is asked
    // again later, so success may leave that step's code behind.)
    if (!ok && code == quarzo::BslLink::kNoError) std::abort();
    if (code > quarzo::BslLink::kAddressRange) std::abort();
    if (clock.NowUs() > operation.frames * kFrameBoundUs + 2'000'000) std::abort();
    return 0;
}
