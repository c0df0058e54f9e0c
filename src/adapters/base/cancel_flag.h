#pragma once

#include <atomic>

namespace quarzo {

// Raised when a run is to stop. Unlike the engine's stop event it is not consumed by looking at it, so
// every wait inside an adapter can watch it.
class CancelFlag {
public:
    void Raise() { raised_.store(true); }
    void Reset() { raised_.store(false); }
    bool IsRaised() const { return raised_.load(); }

private:
    std::atomic<bool> raised_{false};
};

}  // namespace quarzo
