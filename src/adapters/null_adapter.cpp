#include "adapters/null_adapter.h"

#include <cstdio>

namespace quarzo {

int NullAdapter::GetName(char* out) {
    std::snprintf(out, kNameSize, "STUB(NULL)");
    return 0;
}

int NullAdapter::GetInfo(char* out) {
    out[0] = '\0';
    return 0;
}

int NullAdapter::Open() {
    open = true;
    return 0;
}

int NullAdapter::Close() {
    open = false;
    return 0;
}

}  // namespace quarzo
