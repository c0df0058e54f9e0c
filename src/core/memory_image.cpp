#include "core/memory_image.h"

#include <algorithm>
#include <cstring>

namespace quarzo {

void MemoryImage::Clear() {
    for (auto& page : pages_) page.reset();
    lowest_ = kNoLowest;
    highest_ = 0;
    modified_ = 0;
    outside_ = {};
}

MemoryImage::Page& MemoryImage::PageFor(uint32_t address) {
    std::unique_ptr<Page>& page = pages_[address >> kPageBits];
    if (!page) {
        page = std::make_unique<Page>();
        page->fill(kClearedEntry);
    }
    return *page;
}

void MemoryImage::SetByteOnNewPage(uint64_t address, uint8_t value) {
    if (address >= kEntryCount) {
        NoteOutside(address, 1);
        return;
    }
    PageFor(static_cast<uint32_t>(address));
    SetByte(address, value);
}

void MemoryImage::NoteOutside(uint64_t first, uint64_t count) {
    if (count == 0) return;
    uint64_t last = first + (count - 1);
    outside_.first = outside_.count == 0 ? first : std::min(outside_.first, first);
    outside_.last = outside_.count == 0 ? last : std::max(outside_.last, last);
    outside_.count += count;
}

template <typename Visit>
bool MemoryImage::ForEachPiece(uint32_t address, uint32_t count, Visit visit) {
    for (uint32_t n = Clamp(address, count); n > 0;) {
        uint32_t offset = address & kPageMask;
        uint32_t piece = std::min(n, kPageSize - offset);
        if (!visit(address >> kPageBits, offset, piece)) return false;
        address += piece;
        n -= piece;
    }
    return true;
}

namespace {

// The first index from i below end whose entry is absent (or present, when absent is false); end when
// there is none. Four entries are tested at a time.
uint32_t NextEntry(const uint16_t* entries, uint32_t i, uint32_t end, bool absent) {
    constexpr uint64_t kAbsentBits = EntryAbsent * 0x0001000100010001ull;
    for (uint64_t four; i + 4 <= end; i += 4) {
        std::memcpy(&four, entries + i, sizeof four);
        if ((four & kAbsentBits) != (absent ? 0 : kAbsentBits)) break;
    }
    while (i < end && ((entries[i] & EntryAbsent) != 0) != absent) ++i;
    return i;
}

}  // namespace

std::vector<AddressRange> MemoryImage::PresentRuns(uint32_t first, uint32_t last) const {
    std::vector<AddressRange> runs;
    last = std::min(last, kEntryCount - 1);
    if (last < first) return runs;
    ForEachPiece(first, last - first + 1, [&](uint32_t index, uint32_t offset, uint32_t n) {
        const Page* page = pages_[index].get();
        if (!page) return true;
        uint32_t base = index << kPageBits;
        for (uint32_t i = offset, end = offset + n; (i = NextEntry(page->data(), i, end, false)) < end;) {
            uint32_t stop = NextEntry(page->data(), i, end, true);
            // A run that goes on from the page before continues it.
            if (!runs.empty() && runs.back().last + 1 == base + i) {
                runs.back().last = base + stop - 1;
            } else {
                runs.push_back({base + i, base + stop - 1});
            }
            i = stop;
        }
        return true;
    });
    return runs;
}

ByteSpan MemoryImage::PresentBytes(uint32_t first, uint32_t last) const {
    ByteSpan span;
    std::vector<AddressRange> runs = PresentRuns(first, last);
    for (const AddressRange& run : runs) span.count += run.last - run.first + 1;
    if (!runs.empty()) {
        span.first = runs.front().first;
        span.last = runs.back().last;
    }
    return span;
}

uint32_t MemoryImage::UsedSize() const {
    return IsEmpty() ? 0 : highest_ - lowest_ + 1;
}

uint8_t MemoryImage::ValueAt(uint32_t address) const {
    return static_cast<uint8_t>(EntryAt(address) & 0xFF);
}

uint16_t MemoryImage::FlagsAt(uint32_t address) const {
    return EntryAt(address) & kEntryFlagMask;
}

uint32_t MemoryImage::Clamp(uint32_t address, uint32_t count) {
    if (address >= kEntryCount) return 0;
    return std::min(count, kEntryCount - address);
}

bool MemoryImage::AllAbsent(uint32_t address, uint32_t count) const {
    // Entries beyond the image, and pages never written, hold nothing.
    return ForEachPiece(address, count, [this](uint32_t index, uint32_t offset, uint32_t n) {
        const Page* page = pages_[index].get();
        for (uint32_t i = 0; page && i < n; ++i) {
            if (!((*page)[offset + i] & EntryAbsent)) return false;
        }
        return true;
    });
}

bool MemoryImage::HasMismatch(uint32_t address, uint32_t count) const {
    return !ForEachPiece(address, count, [this](uint32_t index, uint32_t offset, uint32_t n) {
        const Page* page = pages_[index].get();
        for (uint32_t i = 0; page && i < n; ++i) {
            if ((*page)[offset + i] & EntryMismatch) return false;
        }
        return true;
    });
}

void MemoryImage::ModifyFlags(uint32_t start, uint32_t count, uint16_t setMask, uint16_t clearMask) {
    auto apply = [&](uint16_t e) { return static_cast<uint16_t>((e | setMask) & ~clearMask); };
    // A page never written stays so when the change leaves a cleared entry as it is.
    bool touchesCleared = apply(kClearedEntry) != kClearedEntry;
    ForEachPiece(start, count, [&](uint32_t index, uint32_t offset, uint32_t n) {
        if (pages_[index] || touchesCleared) {
            Page& entries = PageFor(index << kPageBits);
            for (uint32_t i = 0; i < n; ++i) entries[offset + i] = apply(entries[offset + i]);
        }
        return true;
    });
}

uint32_t MemoryImage::CompareBlock(uint32_t start, const uint8_t* block, uint32_t length) {
    uint32_t n = Clamp(start, length);
    uint32_t mismatches = 0;
    for (uint32_t i = 0; i < n; ++i) {
        uint16_t& e = PageFor(start + i)[(start + i) & kPageMask];
        if ((e & 0xFF) != block[i]) {
            e |= EntryMismatch;
            ++mismatches;
        } else {
            e |= EntryVerified;
        }
    }
    return mismatches;
}

uint32_t MemoryImage::RemoveGaps(uint8_t gapValue) {
    constexpr uint32_t kBlock = 16;
    uint32_t newLowest = kNoLowest;
    uint32_t newHighest = 0;
    uint32_t removed = 0;
    // A block at the very top may reach past the last entry: only the entries that exist are examined,
    // and such a partial block is removed when all of them are gap bytes.
    for (uint32_t block = lowest_ & ~1u; !IsEmpty() && block <= highest_; block += kBlock) {
        uint32_t n = Clamp(block, kBlock);
        bool needed = false;
        for (uint32_t i = 0; i < n; ++i) {
            uint16_t e = EntryAt(block + i);
            if ((e & EntryAbsent) || (e & 0xFF) != gapValue) {
                needed = true;
                newLowest = std::min(newLowest, block + i);
                newHighest = std::max(newHighest, block + i);
            }
        }
        if (!needed) {
            ModifyFlags(block, n, EntryAbsent, EntryVerified | EntryMismatch);
            removed += n;
        }
    }
    lowest_ = newLowest;
    highest_ = newHighest;
    return removed;
}

ImageRunReader::ImageRunReader(const MemoryImage& image, uint32_t first, uint32_t last, uint32_t maxRunLength,
                               bool copyValues)
    : image_(image),
      cursor_(first),
      last_(std::min(last, MemoryImage::kEntryCount - 1)),
      // Runs are whole words, so an odd maximum is taken down to the even number below it.
      maxRun_(std::max<uint32_t>(2, maxRunLength & ~1u)),
      copy_(copyValues),
      buffer_(maxRun_, 0xFF) {}

bool ImageRunReader::Next(uint32_t& runStart, uint32_t& runLength) {
    if (cursor_ & 1) --cursor_;
    runStart = cursor_;
    runLength = 0;
    while (cursor_ <= last_) {
        bool done = false;
        if (image_.AllAbsent(cursor_, 2)) {
            done = true;
        } else {
            if (runLength == 0) runStart = cursor_;
            if (copy_) {
                buffer_[runLength] = image_.ValueAt(cursor_);
                buffer_[runLength + 1] = image_.ValueAt(cursor_ + 1);
            }
            runLength += 2;
            done = runLength >= maxRun_;
        }
        cursor_ += 2;
        if (cursor_ >= last_) done = true;
        if (done && runLength > 0) return true;
    }
    return false;
}

std::vector<AddressRange> MismatchRanges(const MemoryImage& image) {
    std::vector<AddressRange> ranges;
    if (image.IsEmpty()) return ranges;
    for (uint32_t a = image.Lowest(); a <= image.Highest(); ++a) {
        if (!(image.FlagsAt(a) & EntryMismatch)) continue;
        if (!ranges.empty() && ranges.back().last + 1 == a) {
            ranges.back().last = a;
        } else {
            ranges.push_back({a, a});
        }
    }
    return ranges;
}

}  // namespace quarzo
