#include "adapters/bsl/bsl_adapter.h"

#include <cstdio>

namespace quarzo {

BslAdapter::BslAdapter() : UnusableAdapter({kErrorOpenPort, "Could not open port", "No Error", true}, 250) {
    password.fill(0xFF);
}

int BslAdapter::GetName(char* out) {
    if (portIndex < 0 || portIndex >= kPortCount) portIndex = 0;
    std::snprintf(out, kNameSize, "BSL(COM%d)", portIndex + 1);
    return 0;
}

}  // namespace quarzo
