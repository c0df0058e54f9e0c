#pragma once

#include "core/memory_image.h"
#include "core/sequential_file.h"

namespace quarzo {

// Reads TI TXT ("@address" lines, rows of hex bytes, "q") into the (already cleared) image; returns a
// file error code.
int ReadTiTxt(SequentialFile& in, MemoryImage& image);
// Writes the image's present data as rows of up to 16 bytes, each discontinuity with its "@" line.
void WriteTiTxt(const MemoryImage& image, SequentialFile& out);

}  // namespace quarzo
