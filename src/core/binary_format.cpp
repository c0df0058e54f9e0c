#include "core/binary_format.h"

#include "core/file_format.h"

namespace quarzo {

int ReadBinary(SequentialFile& in, MemoryImage& image) {
    uint8_t byte;
    // Bytes past the image's end would be dropped anyway, so reading stops there.
    for (uint32_t address = 0; address < MemoryImage::kEntryCount && in.ReadByte(byte); ++address) {
        image.SetByte(address, byte);
    }
    return in.Failed() ? kFileIoError : kFileNoError;
}

void WriteBinary(const MemoryImage& image, SequentialFile& out) {
    if (image.IsEmpty()) return;
    for (uint32_t address = 0; address <= image.Highest(); ++address)
        out.Put(static_cast<char>(image.ValueAt(address)));
}

}  // namespace quarzo
