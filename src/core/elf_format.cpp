#include "core/elf_format.h"

#include <algorithm>
#include <vector>

#include "core/file_format.h"

namespace quarzo {

namespace {

constexpr size_t kHeaderSize = 52;
constexpr size_t kSegmentEntrySize = 32;
constexpr uint8_t kClass32 = 1;
constexpr uint8_t kLittleEndian = 1;
constexpr uint16_t kMachineMsp430 = 105;
constexpr uint32_t kLoadSegment = 1;
// Far beyond any MSP430 executable with its debug information; a larger file is not one.
constexpr size_t kMaxFileSize = 64u << 20;

uint16_t Half(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t Word(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

struct Segment {
    uint64_t address;  // physical
    uint64_t offset;
    uint64_t size;  // bytes in the file
};

}  // namespace

bool HasElfMagic(const uint8_t* data, size_t size) {
    return size >= 4 && data[0] == 0x7F && data[1] == 'E' && data[2] == 'L' && data[3] == 'F';
}

int ReadElf(const uint8_t* data, size_t size, MemoryImage& image) {
    if (!HasElfMagic(data, size)) return kFileNotElf;
    if (size < kHeaderSize) return kFileInvalidFormat;
    if (data[4] != kClass32 || data[5] != kLittleEndian || Half(data + 18) != kMachineMsp430)
        return kFileNotElf;
    uint64_t table = Word(data + 28);
    uint64_t entrySize = Half(data + 42);
    uint64_t count = Half(data + 44);
    if (count > 0 && (entrySize < kSegmentEntrySize || table + count * entrySize > size))
        return kFileInvalidFormat;

    std::vector<Segment> segments;
    for (uint64_t i = 0; i < count; ++i) {
        const uint8_t* entry = data + table + i * entrySize;
        Segment s{Word(entry + 12), Word(entry + 4), Word(entry + 16)};
        uint64_t memorySize = Word(entry + 20);
        if (Word(entry) != kLoadSegment || s.size == 0) continue;
        // Past the file's end, more file bytes than memory bytes, or past the 32-bit address space.
        if (s.offset + s.size > size || s.size > memorySize || s.address + s.size > (uint64_t{1} << 32)) {
            return kFileInvalidFormat;
        }
        segments.push_back(s);
    }
    std::sort(segments.begin(), segments.end(),
              [](const Segment& a, const Segment& b) { return a.address < b.address; });
    for (size_t i = 1; i < segments.size(); ++i) {
        if (segments[i - 1].address + segments[i - 1].size > segments[i].address) return kFileInvalidFormat;
    }
    // Checked whole before anything is placed. Bytes beyond the image are counted, not placed.
    for (const Segment& s : segments) {
        uint64_t end = std::min<uint64_t>(s.address + s.size, MemoryImage::kEntryCount);
        for (uint64_t a = s.address; a < end; ++a) image.SetByte(a, data[s.offset + (a - s.address)]);
        uint64_t placed = end > s.address ? end - s.address : 0;
        image.NoteOutside(s.address + placed, s.size - placed);
    }
    return kFileNoError;
}

int ReadElf(SequentialFile& in, MemoryImage& image) {
    std::vector<uint8_t> data;
    uint8_t byte;
    while (in.ReadByte(byte)) {
        if (data.size() == kMaxFileSize) return kFileInvalidFormat;
        data.push_back(byte);
    }
    if (in.Failed()) return kFileIoError;
    return ReadElf(data.data(), data.size(), image);
}

}  // namespace quarzo
