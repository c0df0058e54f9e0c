#pragma once

#include "engine/unusable_adapter.h"

namespace quarzo {

// The adapter that forwards to the vendor's FET library. Until the library is loaded it is missing.
class FetDllAdapter : public UnusableAdapter {
public:
    FetDllAdapter();
    int GetName(char* out) override;

    // Configuration: 0 LPT1, 1 LPT2, 2 LPT3, 3 TIUSB; the supply in millivolts.
    unsigned portIndex = 0;
    bool applyVcc = true;
    int targetVcc = 3000;
};

}  // namespace quarzo
