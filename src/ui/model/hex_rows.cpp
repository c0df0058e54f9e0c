#include "ui/model/hex_rows.h"

#include <cstdio>

#include "core/memory_image.h"

namespace quarzo {

static_assert(MemoryImage::kEntryCount / kHexRowBytes <= 0x10000, "a row index must fit 16 bits");

std::vector<uint32_t> BuildHexRows(const MemoryImage& image) {
    std::vector<uint32_t> rows;
    if (image.IsEmpty()) return rows;
    for (uint32_t a = image.Lowest(); a <= image.Highest(); a += kHexRowBytes) {
        if (!image.AllAbsent(a, kHexRowBytes)) rows.push_back(a);
    }
    return rows;
}

ByteColour ColourOf(uint16_t flags) {
    if (flags & EntryAbsent) return ByteColour::kAbsent;
    if (flags & EntryVerified) return ByteColour::kVerified;
    if (flags & EntryMismatch) return ByteColour::kMismatch;
    return ByteColour::kPresent;
}

HexRow FormatHexRow(const MemoryImage& image, uint32_t address) {
    HexRow row;
    char text[8];
    // One width for every row of an image, so that the columns line up.
    bool wide = address > 0xFFFF || (!image.IsEmpty() && image.Highest() > 0xFFFF);
    std::snprintf(text, sizeof text, wide ? "%05X" : "%04X", static_cast<unsigned>(address));
    row.address = text;
    for (uint32_t i = 0; i < kHexRowBytes; ++i) {
        uint8_t value = image.ValueAt(address + i);
        std::snprintf(text, sizeof text, "%02X", value);
        row.bytes.push_back(text);
        row.colours.push_back(ColourOf(image.FlagsAt(address + i)));
        row.characters += value < 0x20 ? '.' : static_cast<char>(value);
    }
    return row;
}

std::optional<size_t> NextErrorRow(const MemoryImage& image, const std::vector<uint32_t>& rows,
                                   size_t start) {
    if (rows.empty()) return std::nullopt;
    for (size_t n = 0; n <= rows.size(); ++n) {
        size_t row = (start + n) % rows.size();
        if (image.HasMismatch(rows[row], kHexRowBytes)) return row;
    }
    return std::nullopt;
}

}  // namespace quarzo
