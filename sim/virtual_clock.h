#pragma once

#include <cstdint>
#include <functional>

#include "platform/clock.h"

namespace quarzo::sim {

// Time that passes only when someone sleeps or waits: a 3000 ms time-out takes microseconds of real
// time, and every run is repeatable.
class VirtualClock final : public Clock {
public:
    uint32_t TickMs() override { return static_cast<uint32_t>(NowUs() / 1000); }
    void SleepMs(uint32_t ms) override { Advance(uint64_t{ms} * 1000); }
    uint64_t Microseconds() override { return NowUs(); }
    void DelayUs(uint32_t us) override { Advance(us); }
    uint64_t Nanoseconds() override { return nowNs_; }
    void DelayUntilNs(uint64_t ns) override {
        if (ns > nowNs_) AdvanceNs(ns - nowNs_);
    }

    void Advance(uint64_t us) { AdvanceNs(us * 1000); }
    void AdvanceNs(uint64_t ns) {
        nowNs_ += ns;
        if (onAdvance) onAdvance(NowUs());
    }
    uint64_t NowUs() const { return nowNs_ / 1000; }

    // Called after every step of time (a test raises a stop at a chosen moment with it).
    std::function<void(uint64_t nowUs)> onAdvance;

private:
    uint64_t nowNs_ = 0;
};

}  // namespace quarzo::sim
