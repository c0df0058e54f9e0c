#include "core/elf_format.h"
#include "reader_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    quarzo::fuzz::CheckReader(
        [](quarzo::SequentialFile& in, quarzo::MemoryImage& image) { return quarzo::ReadElf(in, image); },
        data, size);
    return 0;
}
