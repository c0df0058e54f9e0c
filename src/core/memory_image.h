#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quarzo {

// Flag bits beside the value byte of every image entry.
inline constexpr uint16_t EntryAbsent = 0x0100;
inline constexpr uint16_t EntryVerified = 0x0200;
inline constexpr uint16_t EntryMismatch = 0x0400;
inline constexpr uint16_t kEntryFlagMask = EntryAbsent | EntryVerified | EntryMismatch;

// Some bytes: how many, and the lowest and highest of their addresses (count 0: none).
struct ByteSpan {
    uint64_t count = 0;
    uint64_t first = 0;
    uint64_t last = 0;
};

// The addresses first..last.
struct AddressRange {
    uint32_t first;
    uint32_t last;
};

// Host copy of the target's address space: one 16-bit entry (value and flags) per byte address. The
// entries live in pages allocated on first write, so that a small firmware in the 1 MB space costs
// little to hold and to clear; a page never written reads as cleared entries.
class MemoryImage {
public:
    static constexpr uint32_t kEntryCount = 0x100000;  // byte addresses 0x00000..0xFFFFF (CPUX)
    static constexpr uint32_t kNoLowest = 0xFFFFFFFF;
    static constexpr size_t kMaxFileName = 259;

    void Clear();
    // An address past the image's end is not stored but counted in OutsideBytes, so that a load can
    // say what it could not place.
    void SetByte(uint64_t address, uint8_t value) {
        // Loads place every byte through here: a byte on a page that exists is stored inline.
        Page* page = address < kEntryCount ? pages_[address >> kPageBits].get() : nullptr;
        if (!page) return SetByteOnNewPage(address, value);
        auto a = static_cast<uint32_t>(address);
        (*page)[a & kPageMask] = value;
        if (a < lowest_) lowest_ = a;
        if (a > highest_) highest_ = a;
        modified_ = 1;
    }
    void NoteOutside(uint64_t first, uint64_t count);
    const ByteSpan& OutsideBytes() const { return outside_; }
    // The present bytes within [first, last]: their count and ends, and the runs of them in ascending
    // order (pages never written are skipped whole).
    ByteSpan PresentBytes(uint32_t first, uint32_t last) const;
    std::vector<AddressRange> PresentRuns(uint32_t first, uint32_t last) const;
    uint32_t UsedSize() const;
    uint8_t ValueAt(uint32_t address) const;
    uint16_t FlagsAt(uint32_t address) const;
    bool AllAbsent(uint32_t address, uint32_t count) const;
    bool HasMismatch(uint32_t address, uint32_t count) const;
    void ModifyFlags(uint32_t start, uint32_t count, uint16_t setMask, uint16_t clearMask);
    uint32_t CompareBlock(uint32_t start, const uint8_t* block, uint32_t length);
    uint32_t RemoveGaps(uint8_t gapValue);

    uint32_t Lowest() const { return lowest_; }
    uint32_t Highest() const { return highest_; }
    bool IsEmpty() const { return lowest_ > highest_; }
    uint16_t EntryAt(uint32_t address) const {
        if (address >= kEntryCount) return kClearedEntry;
        const Page* page = pages_[address >> kPageBits].get();
        return page ? (*page)[address & kPageMask] : kClearedEntry;
    }

    const std::string& FileName() const { return fileName_; }
    void SetFileName(const std::string& name) { fileName_ = name.substr(0, kMaxFileName); }
    bool IsModified() const { return modified_ != 0; }
    void SetModified(bool modified) { modified_ = modified ? 1 : 0; }

private:
    static constexpr uint16_t kClearedEntry = EntryAbsent | 0xFF;
    static constexpr uint32_t kPageBits = 12;  // 4096 entries, 8 KB
    static constexpr uint32_t kPageSize = 1u << kPageBits;
    static constexpr uint32_t kPageMask = kPageSize - 1;
    using Page = std::array<uint16_t, kPageSize>;

    // Number of entries from address that exist, at most count.
    static uint32_t Clamp(uint32_t address, uint32_t count);
    Page& PageFor(uint32_t address);
    void SetByteOnNewPage(uint64_t address, uint8_t value);
    // Calls visit(page index, offset in page, n) for each page that [address, address + count)
    // touches within the image; false from visit stops the walk, and is then the result.
    template <typename Visit>
    static bool ForEachPiece(uint32_t address, uint32_t count, Visit visit);

    std::string fileName_;
    uint8_t modified_ = 0;
    std::array<std::unique_ptr<Page>, kEntryCount / kPageSize> pages_;
    uint32_t lowest_ = kNoLowest;
    uint32_t highest_ = 0;
    ByteSpan outside_;
};

// The address ranges [first, last] whose bytes carry the mismatch mark, in ascending order.
std::vector<AddressRange> MismatchRanges(const MemoryImage& image);

// Cursor over the present data of an image in runs of whole 16-bit words.
class ImageRunReader {
public:
    ImageRunReader(const MemoryImage& image, uint32_t first, uint32_t last, uint32_t maxRunLength,
                   bool copyValues);

    // The next run of present words; the buffer then holds its values when copying.
    bool Next(uint32_t& runStart, uint32_t& runLength);
    const uint8_t* Data() const { return buffer_.data(); }
    uint8_t* Data() { return buffer_.data(); }

private:
    const MemoryImage& image_;
    uint32_t cursor_;
    uint32_t last_;
    uint32_t maxRun_;
    bool copy_;
    std::vector<uint8_t> buffer_;
};

}  // namespace quarzo
