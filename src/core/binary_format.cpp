#include "core/binary_format.h"

#include "core/file_format.h"

namespace quarzo {

int ReadBinary(SequentialFile& in, MemoryImage& image) {
    uint8_t byte;
    uint32_t address = 0;
    for (; address < MemoryImage::kEntryCount && in.ReadByte(byte); ++address) image.SetByte(address, byte);
    // The rest of the file cannot be placed: it is counted without being read.
    if (!in.Failed() && in.Size() > address) image.NoteOutside(address, in.Size() - address);
    return in.Failed() ? kFileIoError : kFileNoError;
}

void WriteBinary(const MemoryImage& image, SequentialFile& out) {
    if (image.IsEmpty()) return;
    for (uint32_t address = 0; address <= image.Highest(); ++address)
        out.Put(static_cast<char>(image.ValueAt(address)));
}

}  // namespace quarzo
