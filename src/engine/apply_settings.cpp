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
    rawJtag_.portIndex = s.GetIntSetting(kSetRawPort);
    rawJtag_.customAddress = s.GetIntSetting(kSetRawCustomAddress);
    bsl_.portIndex = s.GetIntSetting(kSetBslPort);
    bsl_.patchToV150 = s.GetBoolSetting(kSetBslPatch);
    bsl_.fastBaud = s.GetBoolSetting(kSetBslFastBaud);
    bsl_.rstInvert = s.GetBoolSetting(kSetBslRstInvert);
    bsl_.tstInvert = s.GetBoolSetting(kSetBslTstInvert);
    bsl_.keepPortOpen = s.GetBoolSetting(kSetBslKeepPortOpen);
    bsl_.rstDelay = s.GetIntSetting(kSetBslRstDelay);
    bsl_.pm = s.GetIntSetting(kSetBslPm);
    SelectAdapter(s.GetIntSetting(kSetAdapter));
}

}  // namespace quarzo
