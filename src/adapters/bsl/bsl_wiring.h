#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace quarzo {

class BslAdapter;

// One try of the loader's entry sequence with one way of driving RST (DTR) and TEST (RTS).
struct WiringTrial {
    bool rstInvert;
    bool tstInvert;
    uint32_t rstDelay;
    bool answered;      // the loader synchronised
    bool identified;    // and its identification could be read
    uint8_t family[2];  // the chip's identification bytes
    uint16_t version;   // the loader's version
};

// Cheap USB serial adapters drive DTR and RTS either way round. Tries the four combinations of the
// two inversions (again with a longer reset pulse when none answers) on the adapter's port and reads
// the chip's identification with each that answers. The adapter's own settings are left as they were.
// onTrial, when given, hears of each try as soon as it is over.
std::vector<WiringTrial> TryWirings(BslAdapter& adapter,
                                    const std::function<void(const WiringTrial&)>& onTrial = {});

// The reset pulse of the second round.
inline constexpr uint32_t kLongRstDelayMs = 250;

}  // namespace quarzo
