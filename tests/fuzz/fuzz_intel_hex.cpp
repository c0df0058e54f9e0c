#include "core/intel_hex.h"
#include "reader_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    quarzo::fuzz::CheckReader(quarzo::ReadIntelHex, data, size);
    return 0;
}
