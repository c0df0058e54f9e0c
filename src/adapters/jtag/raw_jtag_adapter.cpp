#include "adapters/jtag/raw_jtag_adapter.h"

#include <cstdio>

#include "adapters/base/port_names.h"
#include "core/settings_store.h"

namespace quarzo {

RawJtagAdapter::RawJtagAdapter()
    : UnusableAdapter(
          {kErrorPortAccess, "Could not initialize direct port access interface", "No error", true}, 256) {}

void RawJtagAdapter::ApplySettings(const SettingsStore& s) {
    portIndex = s.GetIntSetting(kSetRawPort);
    customAddress = s.GetIntSetting(kSetRawCustomAddress);
}

int RawJtagAdapter::GetName(char* out) {
    const auto& names = PortNames(kAdapterRawJtag);
    if (portIndex < 0 || portIndex >= static_cast<int>(names.size())) portIndex = 0;
    std::snprintf(out, kNameSize, "FET RAW (%s)", names[static_cast<size_t>(portIndex)].c_str());
    return 0;
}

}  // namespace quarzo
