#include "adapters/jtag/raw_jtag_adapter.h"

#include <cstdio>

namespace quarzo {

namespace {
constexpr const char* kPortNames[] = {"LPT1", "LPT2", "LPT3", "LPTx"};
}

RawJtagAdapter::RawJtagAdapter()
    : UnusableAdapter(
          {kErrorPortAccess, "Could not initialize direct port access interface", "No error", true}, 256) {}

int RawJtagAdapter::GetName(char* out) {
    if (portIndex < 0 || portIndex > 3) portIndex = 0;
    std::snprintf(out, kNameSize, "FET RAW (%s)", kPortNames[portIndex]);
    return 0;
}

}  // namespace quarzo
