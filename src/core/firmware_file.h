#pragma once

#include <string>

#include "core/memory_image.h"

namespace quarzo {

// Loads and saves a MemoryImage in one of the three firmware formats, keeping the last error code.
class FirmwareFile {
public:
    explicit FirmwareFile(MemoryImage& image) : image_(image) {}

    // The image's used size after loading; 0 on failure with the error set. A binary file that fails
    // part way keeps what was read and returns its size.
    int Load(const std::string& path, int format);
    // Above 0 on success; 0 or below on failure with the error set. The old file survives a failure.
    int Save(const std::string& path, int format);
    // The last error code, which is then reset to 0.
    int TakeError() {
        int e = error_;
        error_ = 0;
        return e;
    }

private:
    MemoryImage& image_;
    int error_ = 0;
};

}  // namespace quarzo
