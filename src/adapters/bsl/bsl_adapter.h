#pragma once

#include <array>
#include <cstdint>

#include "engine/unusable_adapter.h"

namespace quarzo {

// The serial bootstrap-loader adapter. Until the serial link is in place it cannot reach a port.
class BslAdapter : public UnusableAdapter {
public:
    static constexpr int kPortCount = 8;
    static constexpr int kErrorOpenPort = 2;

    BslAdapter();
    int GetName(char* out) override;

    // Configuration, written from the settings and the command line.
    int portIndex = 0;
    bool patchToV150 = true;
    bool fastBaud = true;
    bool keepPortOpen = false;
    bool rstInvert = false;
    bool tstInvert = false;
    int rstDelay = 0;
    int pm = 0;
    // The target's interrupt vectors, sent to unlock the loader; those of an erased chip at first.
    std::array<uint8_t, 32> password;
};

}  // namespace quarzo
