#pragma once

#include <string>
#include <vector>

#include "adapters/base/adapter.h"
#include "core/port_counts.h"

namespace quarzo {

// The ports every system is offered, present or not.
inline constexpr int kClassicSerialPorts = 8;

// "COMn" for the port index n - 1.
inline std::string SerialPortName(int index) {
    return "COM" + std::to_string(index + 1);
}

// The port names of each adapter kind, in the order of their stored port index; empty for the null
// adapter. The command line, the adapters' names and the settings dialog all read them here.
inline const std::vector<std::string>& PortNames(AdapterKind kind) {
    static const std::vector<std::string> kRawJtag{"LPT1", "LPT2", "LPT3", "LPTx"};
    static const std::vector<std::string> kFetDll{"LPT1", "LPT2", "LPT3", "TIUSB"};
    static const std::vector<std::string> kBsl = [] {
        std::vector<std::string> names;
        for (int i = 0; i < kSerialPortCount; ++i) names.push_back(SerialPortName(i));
        return names;
    }();
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
