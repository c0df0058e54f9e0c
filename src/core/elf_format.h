#pragma once

#include <cstddef>
#include <cstdint>

#include "core/memory_image.h"
#include "core/sequential_file.h"

namespace quarzo {

// ELF32 little-endian executables for the MSP430, as its compilers write them: every loadable
// segment's file bytes go to its physical (load) address, so initialised data lands where the startup
// code copies it from. Load only. Returns a file error code; on an error the image is left untouched.
int ReadElf(SequentialFile& in, MemoryImage& image);
int ReadElf(const uint8_t* data, size_t size, MemoryImage& image);

// The start of every ELF file.
bool HasElfMagic(const uint8_t* data, size_t size);

}  // namespace quarzo
