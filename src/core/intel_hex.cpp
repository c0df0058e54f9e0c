#include "core/intel_hex.h"

#include <algorithm>
#include <string>

#include "core/file_format.h"
#include "core/hex_field.h"

namespace quarzo {

namespace {

enum RecordType : uint32_t {
    kData = 0,
    kEndOfFile = 1,
    kExtendedSegmentAddress = 2,
    kExtendedLinearAddress = 4,
};

constexpr size_t kRecordSize = 16;

void DropOneLineEnd(std::string& line) {
    if (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
}

}  // namespace

int ReadIntelHex(SequentialFile& in, MemoryImage& image) {
    std::string line;
    bool lastLineGood = false;
    uint64_t base = 0;  // from extended address records
    uint8_t data[255];
    while (!in.AtEnd()) {
        if (!in.ReadLine(line)) return kFileIoError;
        DropOneLineEnd(line);
        lastLineGood = false;
        uint32_t count, address, type;
        if (line.empty() || line[0] != ':') return kFileInvalidFormat;
        std::string_view text = CText(line);
        if (!ReadHexFieldOfCText(text, 1, 2, count)) return kFileInvalidFormat;
        if (text.size() < 11 + 2 * count) return kFileInvalidFormat;
        if (!ReadHexFieldOfCText(text, 3, 4, address) || !ReadHexFieldOfCText(text, 7, 2, type))
            return kFileInvalidFormat;

        uint32_t n = 0;
        uint32_t value;
        while (n < count && ReadHexFieldOfCText(text, 9 + 2 * n, 2, value))
            data[n++] = static_cast<uint8_t>(value);
        uint32_t checksum;
        if (!ReadHexFieldOfCText(text, 9 + 2 * n, 2, checksum)) return kFileInvalidFormat;
        uint32_t sum = count + (address >> 8) + (address & 0xFF) + type + checksum;
        for (uint32_t i = 0; i < n; ++i) sum += data[i];
        if ((sum & 0xFF) != 0) return kFileBadChecksum;
        lastLineGood = true;

        if (type == kData) {
            for (uint32_t i = 0; i < n; ++i) image.SetByte(base + address + i, data[i]);
        } else if (type == kEndOfFile) {
            return kFileNoError;
        } else if (n == 2 && type == kExtendedLinearAddress) {
            base = static_cast<uint64_t>((data[0] << 8) | data[1]) << 16;
        } else if (n == 2 && type == kExtendedSegmentAddress) {
            base = static_cast<uint64_t>((data[0] << 8) | data[1]) << 4;
        }
    }
    return lastLineGood ? kFileNoError : kFileInvalidFormat;
}

namespace {

void WriteRecord(SequentialFile& out, uint32_t type, uint32_t address, const uint8_t* data, uint32_t length) {
    uint32_t sum = length + (address >> 8) + (address & 0xFF) + type;
    out.Put(':');
    out.PutHexByte(static_cast<uint8_t>(length));
    out.PutHex(address & 0xFFFF, 4);
    out.PutHexByte(static_cast<uint8_t>(type));
    for (uint32_t i = 0; i < length; ++i) {
        out.PutHexByte(data[i]);
        sum += data[i];
    }
    out.PutHexByte(static_cast<uint8_t>(-sum));
    out.PutText("\r\n");
}

}  // namespace

void WriteIntelHex(const MemoryImage& image, SequentialFile& out) {
    ImageRunReader runs(image, image.Lowest(), image.Highest(), kRecordSize, true);
    uint32_t start, length;
    uint32_t page = 0;  // upper 16 address bits in force
    while (runs.Next(start, length)) {
        const uint8_t* data = runs.Data();
        while (length > 0) {
            // A record never crosses a 64 KB page: the part beyond goes into the next record.
            uint32_t inPage = std::min(length, 0x10000 - (start & 0xFFFF));
            if ((start >> 16) != page) {
                page = start >> 16;
                const uint8_t upper[2] = {static_cast<uint8_t>(page >> 8), static_cast<uint8_t>(page)};
                WriteRecord(out, kExtendedLinearAddress, 0, upper, 2);
            }
            WriteRecord(out, kData, start, data, inPage);
            start += inPage;
            data += inPage;
            length -= inPage;
        }
    }
    out.PutText(":00000001FF\r\n");
}

}  // namespace quarzo
