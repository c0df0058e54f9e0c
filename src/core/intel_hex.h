#pragma once

#include "core/memory_image.h"
#include "core/sequential_file.h"

namespace quarzo {

// Reads Intel HEX records into the (already cleared) image; returns a file error code.
int ReadIntelHex(SequentialFile& in, MemoryImage& image);
// Writes the image's present data as 16-byte data records, with extended linear address records
// for data above 0xFFFF, and the end record.
void WriteIntelHex(const MemoryImage& image, SequentialFile& out);

}  // namespace quarzo
