// Any input to any file reader (the first byte picks the reader), well-formed or not: a known error
// code, bounds that enclose every present byte, and bytes that could not be placed counted only beyond
// the image.
#include <cstdlib>

#include "core/elf_format.h"
#include "core/file_format.h"
#include "core/intel_hex.h"
#include "core/memory_image.h"
#include "core/sequential_file.h"
#include "core/ti_txt.h"

using namespace quarzo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using Reader = int (*)(SequentialFile&, MemoryImage&);
    const Reader readers[] = {ReadIntelHex, ReadTiTxt, ReadElf};
    if (size == 0) return 0;
    static MemoryImage image;
    image.Clear();
    SequentialFile in;
    in.OpenMemory(data + 1, size - 1);
    int error = readers[data[0] % 3](in, image);
    if (error < kFileNoError || error > kFileNotElf) std::abort();
    const ByteSpan& outside = image.OutsideBytes();
    if (outside.count > 0 && (outside.first < MemoryImage::kEntryCount || outside.first > outside.last))
        std::abort();
    if (image.IsEmpty()) {
        if (image.UsedSize() != 0) std::abort();
        return 0;
    }
    if (image.FlagsAt(image.Lowest()) & EntryAbsent) std::abort();
    if (image.FlagsAt(image.Highest()) & EntryAbsent) std::abort();
    if (image.Highest() >= MemoryImage::kEntryCount) std::abort();
    return 0;
}
