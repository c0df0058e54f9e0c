#pragma once

#include "platform/port_io.h"
#include "sim/jtag_target.h"
#include "sim/virtual_clock.h"

namespace quarzo::sim {

// A parallel port with the virtual chip on its cable, in the same process and in virtual time: every
// access takes accessUs of the clock, as a real port's bus cycle does.
class SimPortIo final : public platform::PortIo {
public:
    SimPortIo(JtagTarget& target, VirtualClock& clock) : target_(target), clock_(clock) {}

    bool OpenDriver() override {
        ready_ = reachable;
        failure_ = reachable ? "" : "no port here";
        return ready_;
    }
    void CloseDriver() override {}
    uint32_t ReadPort(uint16_t port) override {
        if (!ready_) return 0xFF;
        clock_.Advance(accessUs);
        return target_.ReadPort(static_cast<uint8_t>(port - base_), clock_.NowUs());
    }
    bool WritePort(uint16_t port, uint8_t value) override {
        if (!ready_) return false;
        clock_.Advance(accessUs);
        target_.WritePort(static_cast<uint8_t>(port - base_), value, clock_.NowUs());
        return true;
    }

    // A port that cannot be reached (any more): the next open fails.
    void SetReachable(bool r) {
        reachable = r;
        if (!r) ready_ = false;
    }

    bool reachable = true;
    uint32_t accessUs = 1;

private:
    JtagTarget& target_;
    VirtualClock& clock_;
};

}  // namespace quarzo::sim
