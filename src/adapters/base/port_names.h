#pragma once

#include <string>
#include <vector>

#include "adapters/base/adapter.h"

namespace quarzo {

// The port names of each adapter kind, in the order of their stored port index; empty for the null
// adapter. The command line, the adapters' names and the settings dialog all read them here.
inline const std::vector<std::string>& PortNames(AdapterKind kind) {
    static const std::vector<std::string> kRawJtag{"LPT1", "LPT2", "LPT3", "LPTx"};
    static const std::vector<std::string> kFetDll{"LPT1", "LPT2", "LPT3", "TIUSB"};
    static const std::vector<std::string> kBsl{"COM1", "COM2", "COM3", "COM4",
                                               "COM5", "COM6", "COM7", "COM8"};
    static const std::vector<std::string> kNone;
    switch (kind) {
        case kAdapterRawJtag:
            return kRawJtag;
        case kAdapterFetDll:
            return kFetDll;
        case kAdapterBsl:
            return kBsl;
        default:
            return kNone;
    }
}

}  // namespace quarzo
