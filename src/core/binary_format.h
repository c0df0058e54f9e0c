#pragma once

#include "core/memory_image.h"
#include "core/sequential_file.h"

namespace quarzo {

// Byte i of the file goes to address i; returns a file error code.
int ReadBinary(SequentialFile& in, MemoryImage& image);
// Every address from 0 through the highest present one (nothing for an empty image).
void WriteBinary(const MemoryImage& image, SequentialFile& out);

}  // namespace quarzo
