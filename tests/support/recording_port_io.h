#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/port_io.h"

namespace quarzo::testing {

// A parallel port that keeps every write, in order, and answers status reads from a script.
class RecordingPortIo final : public platform::PortIo {
public:
    struct Access {
        uint16_t port;
        uint8_t value;
        bool read;
        uint64_t us;  // the clock's time of the access, when a clock is given
    };

    bool OpenDriver() override { return ready_ = reachable; }
    void CloseDriver() override {}
    uint32_t ReadPort(uint16_t port) override {
        if (!ready_) return 0xFF;
        uint8_t value = 0;
        if (!status.empty()) {
            value = status.front();
            status.pop_front();
        }
        accesses.push_back({port, value, true, Now()});
        return value;
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
    // Rising edges of one data bit over the writes to the data register.
    size_t RisingEdges(uint16_t port, uint8_t mask, uint8_t from) const {
        size_t n = 0;
        uint8_t last = from;
        for (uint8_t v : Writes(port)) {
            if ((v & mask) && !(last & mask)) ++n;
            last = v;
        }
        return n;
    }
    // Status answers that put the bits of value on TDO, most significant first.
    void QueueTdo(uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) status.push_back((value >> i & 1) ? 0x20 : 0x00);
    }

    size_t Reads() const {
        return static_cast<size_t>(std::count_if(accesses.begin(), accesses.end(), [](const Access& a) { return a.read; }));
    }

    bool reachable = true;
    Clock* clock = nullptr;
    std::vector<Access> accesses;
    std::deque<uint8_t> status;

private:
    uint64_t Now() const { return clock ? clock->Microseconds() : 0; }
};

}  // namespace quarzo::testing
