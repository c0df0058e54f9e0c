#pragma once

// What must hold after any input, well-formed or not: a known error code, bounds that enclose every
// present byte, and bytes that could not be placed counted only beyond the image.
#include <cstdlib>

#include "core/file_format.h"
#include "core/memory_image.h"
#include "core/sequential_file.h"

namespace quarzo::fuzz {

template <typename Reader>
void CheckReader(Reader read, const uint8_t* data, size_t size) {
    static MemoryImage image;
    image.Clear();
    SequentialFile in;
    in.OpenMemory(data, size);
    int error = read(in, image);
    if (error < kFileNoError || error > kFileNotElf) std::abort();
    const ByteSpan& outside = image.OutsideBytes();
    if (outside.count > 0 && (outside.first < MemoryImage::kEntryCount || outside.first > outside.last))
        std::abort();
    if (image.IsEmpty()) {
        if (image.UsedSize() != 0) std::abort();
        return;
    }
    if (image.FlagsAt(image.Lowest()) & EntryAbsent) std::abort();
    if (image.FlagsAt(image.Highest()) & EntryAbsent) std::abort();
    if (image.Highest() >= MemoryImage::kEntryCount) std::abort();
}

}  // namespace quarzo::fuzz
