#include "command_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    quarzo::fuzz::CheckCommandLine(std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}
