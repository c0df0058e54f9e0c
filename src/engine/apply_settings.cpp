// Carries the stored settings into the Programmer and the configuration of the device adapters.
#include "core/settings_store.h"
#include "engine/programmer.h"

namespace quarzo {

void Programmer::ApplySettings(const SettingsStore& s) {
    includeInfo = s.GetBoolSetting(kSetEraseInfo);
    autoprogram = static_cast<ActionFlags>(s.GetIntSetting(kSetAutoprogram));
    removeGaps = s.GetBoolSetting(kSetRemoveGap);
    deviceIndex = s.GetIntSetting(kSetDeviceIndex);
    fetDll_.portIndex = static_cast<unsigned>(s.GetIntSetting(kSetFetPort));
    fetDll_.applyVcc = s.GetBoolSetting(kSetFetApplyVcc);
    fetDll_.targetVcc = VoltsToMillivolts(s.GetDoubleSetting(kSetFetTargetVcc));
    fetDll_.devicePath.clear();
    rawJtag_.portIndex = s.GetIntSetting(kSetRawPort);
    rawJtag_.customAddress = s.GetIntSetting(kSetRawCustomAddress);
    bsl_.link.portIndex = s.GetIntSetting(kSetBslPort);
    bsl_.link.patchToV150 = s.GetBoolSetting(kSetBslPatch);
    bsl_.link.fastBaud = s.GetBoolSetting(kSetBslFastBaud);
    bsl_.link.rstInvert = s.GetBoolSetting(kSetBslRstInvert);
    bsl_.link.tstInvert = s.GetBoolSetting(kSetBslTstInvert);
    bsl_.link.keepPortOpen = s.GetBoolSetting(kSetBslKeepPortOpen);
    bsl_.link.rstDelay = s.GetIntSetting(kSetBslRstDelay);
    bsl_.link.pm = s.GetIntSetting(kSetBslPm);
    for (int i = 0; i < BslAdapter::kPortCount; ++i) bsl_.portPaths[i] = s.serialPorts[i];
    bsl_.devicePath.clear();
    SelectAdapter(s.GetIntSetting(kSetAdapter));
}

}  // namespace quarzo
