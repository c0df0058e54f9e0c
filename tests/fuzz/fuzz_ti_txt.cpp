#include "core/ti_txt.h"
#include "reader_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    quarzo::fuzz::CheckReader(quarzo::ReadTiTxt, data, size);
    return 0;
}
