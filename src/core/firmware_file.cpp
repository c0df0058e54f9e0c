#include "core/firmware_file.h"

#include "core/binary_format.h"
#include "core/elf_format.h"
#include "core/file_format.h"
#include "core/intel_hex.h"
#include "core/sequential_file.h"
#include "core/ti_txt.h"

namespace quarzo {

int FirmwareFile::Load(const std::string& path, int format) {
    SequentialFile in;
    if (!in.OpenRead(path)) {
        error_ = kFileCantOpen;
        return 0;
    }
    image_.Clear();
    switch (format) {
        case kFormatIntelHex:
            error_ = ReadIntelHex(in, image_);
            break;
        case kFormatTiTxt:
            error_ = ReadTiTxt(in, image_);
            break;
        case kFormatElf:
            error_ = ReadElf(in, image_);
            break;
        default:
            error_ = ReadBinary(in, image_);
            return static_cast<int>(image_.UsedSize());
    }
    return error_ == kFileNoError ? static_cast<int>(image_.UsedSize()) : 0;
}

int FirmwareFile::Save(const std::string& path, int format) {
    SequentialFile out;
    if (!out.OpenWrite(path)) {
        error_ = kFileCantOpen;
        return 0;
    }
    switch (format) {
        case kFormatIntelHex:
            WriteIntelHex(image_, out);
            break;
        case kFormatTiTxt:
            WriteTiTxt(image_, out);
            break;
        default:
            WriteBinary(image_, out);
            break;
    }
    if (out.Commit()) return 1;
    // A write that failed is an I/O error; a target that could not be replaced is one we could not open.
    error_ = out.Failed() ? kFileIoError : kFileCantOpen;
    bool binary = format != kFormatIntelHex && format != kFormatTiTxt;
    return binary && error_ == kFileIoError ? -1 : 0;
}

}  // namespace quarzo
