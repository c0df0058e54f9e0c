#pragma once

#include "adapters/base/unusable_adapter.h"

namespace quarzo {

// The direct parallel-port JTAG adapter. Until port access is in place it cannot reach a cable.
class RawJtagAdapter : public UnusableAdapter {
public:
    static constexpr int kErrorPortAccess = 1;

    RawJtagAdapter();
    int GetName(char* out) override;
    void ApplySettings(const SettingsStore& settings) override;
    void SetPortIndex(int index) override { portIndex = index; }

    // Configuration: 0 LPT1, 1 LPT2, 2 LPT3, 3 LPTx at customAddress.
    int portIndex = 0;
    int customAddress = 0;
};

}  // namespace quarzo
