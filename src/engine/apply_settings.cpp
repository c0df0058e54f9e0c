// Carries the stored settings into the Programmer's options; each adapter takes its own keys.
#include "core/settings_store.h"
#include "engine/programmer.h"

namespace quarzo {

void Programmer::ApplySettings(const SettingsStore& s) {
    includeInfo = s.GetBoolSetting(kSetEraseInfo);
    autoprogram = static_cast<ActionFlags>(s.GetIntSetting(kSetAutoprogram));
    removeGaps = s.GetBoolSetting(kSetRemoveGap);
    autodetectFormat = s.GetBoolSetting(kSetAutodetectFormat);
    deviceIndex = s.GetIntSetting(kSetDeviceIndex);
    for (Adapter* adapter : adapters_) {
        if (adapter) adapter->ApplySettings(s);
    }
    SelectAdapter(s.GetIntSetting(kSetAdapter));
}

}  // namespace quarzo
