// The widths of the host's pulses to the fuse-blow device as this machine makes them (busy waits on
// the system's clock, at the run's raised priority), against the nominal values: minimum, median and
// maximum per element over many exchanges.
#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "adapters/jtag/lpt_cable.h"
#include "adapters/jtag/pyrel_link.h"
#include "platform/clock.h"
#include "platform/thread_priority.h"

namespace {

constexpr uint8_t kDeviceLine = 0x80;  // data bit 7

// A port that notes the time of every access and answers nothing (status reads give all ones).
class TimingPortIo final : public quarzo::platform::PortIo {
public:
    struct Access {
        bool read;
        uint8_t value;
        uint64_t us;
    };
    bool OpenDriver() override { return ready_ = true; }
    void CloseDriver() override {}
    uint32_t ReadPort(uint16_t) override {
        log.push_back({true, 0xFF, quarzo::SystemClock().Microseconds()});
        return 0xFF;
    }
    bool WritePort(uint16_t port, uint8_t value) override {
        if (port == base_) log.push_back({false, value, quarzo::SystemClock().Microseconds()});
        return true;
    }
    std::vector<Access> log;
};

void Print(const char* name, unsigned nominal, std::vector<uint64_t> widths) {
    if (widths.empty()) return;
    std::sort(widths.begin(), widths.end());
    std::printf("%-30s %7u %8llu %8llu %8llu %8zu\n", name, nominal, static_cast<unsigned long long>(widths.front()),
                static_cast<unsigned long long>(widths[widths.size() / 2]),
                static_cast<unsigned long long>(widths.back()), widths.size());
}

}  // namespace

int main() {
    bool raised = quarzo::platform::SetCurrentThreadPriority(quarzo::platform::kThreadPriorityTimeCritical);
    TimingPortIo port;
    quarzo::LptCable cable(port, quarzo::SystemClock());
    quarzo::PyrelLink link(cable);
    uint8_t reply[quarzo::PyrelLink::kReplySize];
    constexpr int kExchanges = 100;
    for (int i = 0; i < kExchanges; ++i) link.Exchange(1, nullptr, 0, reply, 1);

    // Low phases on the device line, told apart by their width; a read slot is a short low after
    // which the line is sampled before the next one.
    std::vector<uint64_t> reset, one, zero, slot, slotSample, oneHigh, zeroHigh;
    bool low = false;
    uint64_t fell = 0, rose = 0, width = 0;
    bool sampled = false;
    auto closeHigh = [&](uint64_t next) {
        if (rose == 0) return;
        uint64_t high = next - rose;
        if (width < 330 && !sampled && high < 1000) oneHigh.push_back(high);  // not the gaps before bytes
        if (width >= 330 && width < 2700 && high < 700) zeroHigh.push_back(high);
    };
    for (const auto& a : port.log) {
        if (a.read) {
            if (!low && rose != 0 && !sampled && width < 330) {
                slot.push_back(width);
                slotSample.push_back(a.us - rose);
                sampled = true;
            }
            continue;
        }
        bool level = (a.value & kDeviceLine) != 0;
        if (!level && !low) {
            closeHigh(a.us);
            if (rose != 0 && !sampled && width < 330) one.push_back(width);
            low = true;
            fell = a.us;
        } else if (level && low) {
            low = false;
            rose = a.us;
            width = a.us - fell;
            sampled = false;
            if (width >= 2700) reset.push_back(width);
            else if (width >= 330) zero.push_back(width);
        }
    }
    std::printf("Pulses to the fuse-blow device over %d exchanges (%s priority), microseconds:\n", kExchanges,
                raised ? "raised" : "normal");
    std::printf("%-30s %7s %8s %8s %8s %8s\n", "element", "nominal", "min", "median", "max", "count");
    Print("reset pulse, low", 4800, reset);
    Print("write 1, low", 60, one);
    Print("write 1, high", 640, oneHigh);
    Print("write 0, low", 600, zero);
    Print("write 0, high", 100, zeroHigh);
    Print("read slot, low", 60, slot);
    Print("read slot, release to sample", 90, slotSample);
    return 0;
}
