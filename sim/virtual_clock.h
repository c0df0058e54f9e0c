#pragma once

#include <cstdint>
#include <functional>

#include "platform/clock.h"

namespace quarzo::sim {

// Time that passes only when someone sleeps or waits: a 3000 ms time-out takes microseconds of real
// time, and every run is repeatable.
class VirtualClock final : public Clock {
public:
    uint32_t TickMs() override { return static_cast<uint32_t>(nowUs_ / 1000); }
    void SleepMs(uint32_t ms) override { Advance(uint64_t{ms} * 1000); }
    uint64_t Microseconds() override { return nowUs_; }
    void DelayUs(uint32_t us) override { Advance(us); }

    void Advance(uint64_t us) {
        nowUs_ += us;
        if (onAdvance) onAdvance(nowUs_);
    }
    uint64_t NowUs() const { return nowUs_; }

    // Called after every step of time (a test raises a stop at a chosen moment with it).
    std::function<void(uint64_t nowUs)> onAdvance;

private:
    uint64_t nowUs_ = 0;
};

}  // namespace quarzo::sim
