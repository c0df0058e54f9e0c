#pragma once

#include <cstdint>

namespace quarzo {

// Where protocol code gets its time from. Production uses the system's clock; tests use a virtual
// clock, so that time-outs of seconds pass in microseconds and no test ever sleeps.
class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary start; wraps like a 32-bit tick counter.
    virtual uint32_t TickMs() = 0;
    virtual void SleepMs(uint32_t ms) = 0;
    virtual uint64_t Microseconds() = 0;
    // A short wait that must not give up the processor (signal timing).
    virtual void DelayUs(uint32_t us) = 0;
    // The same time base in nanoseconds, for signal timing finer than a microsecond.
    virtual uint64_t Nanoseconds() { return Microseconds() * 1000; }
    // A busy wait until Nanoseconds() reaches the given time.
    virtual void DelayUntilNs(uint64_t ns) {
        while (Nanoseconds() < ns) {
        }
    }
};

// The system's clock. Holds no state, so one instance serves every user.
Clock& SystemClock();

}  // namespace quarzo
