#include <chrono>
#include <thread>

#include "platform/clock.h"

namespace quarzo {
namespace {

class SteadyClock final : public Clock {
public:
    uint32_t TickMs() override { return static_cast<uint32_t>(Microseconds() / 1000); }
    void SleepMs(uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
    uint64_t Microseconds() override {
        using namespace std::chrono;
        return static_cast<uint64_t>(
            duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
    }
    uint64_t Nanoseconds() override {
        using namespace std::chrono;
        return static_cast<uint64_t>(duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count());
    }
    void DelayUs(uint32_t us) override {
        uint64_t end = Microseconds() + us;
        while (Microseconds() < end) {
        }
    }
};

}  // namespace

Clock& SystemClock() {
    static SteadyClock clock;
    return clock;
}

}  // namespace quarzo
