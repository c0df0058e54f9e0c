#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/clock.h"
#include "platform/port_io.h"

namespace quarzo::testing {

// A parallel port that keeps every access, in order; status reads answer 0.
class RecordingPortIo final : public platform::PortIo {
public:
    struct Access {
        uint16_t port;
        uint8_t value;
        bool read;
        uint64_t us;  // the clock's time of the access, when a clock is given
    };

    bool OpenDriver() override { return ready_ = true; }
    void CloseDriver() override {}
    uint32_t ReadPort(uint16_t port) override {
        if (!ready_) return 0xFF;
        accesses.push_back({port, 0, true, Now()});
        return 0;
    }
    bool WritePort(uint16_t port, uint8_t value) override {
        if (!ready_) return false;
        accesses.push_back({port, value, false, Now()});
        return true;
    }

    // The values written to one register, in order.
    std::vector<uint8_t> Writes(uint16_t port) const {
        std::vector<uint8_t> out;
        for (const Access& a : accesses) {
            if (!a.read && a.port == port) out.push_back(a.value);
        }
        return out;
    }
    size_t Reads() const {
        return static_cast<size_t>(
            std::count_if(accesses.begin(), accesses.end(), [](const Access& a) { return a.read; }));
    }

    Clock* clock = nullptr;
    std::vector<Access> accesses;

private:
    uint64_t Now() const { return clock ? clock->Microseconds() : 0; }
};

}  // namespace quarzo::testing
