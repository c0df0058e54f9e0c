#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quarzo {

class MemoryImage;

// What the hex view shows, decided without a window: which rows exist, what each row reads and in
// which colour each byte is drawn.
inline constexpr uint32_t kHexRowBytes = 16;

enum class ByteColour { kAbsent, kVerified, kMismatch, kPresent };

struct HexRow {
    std::string address;             // four hex digits; five in an image that reaches 0x10000
    std::vector<std::string> bytes;  // "3F" for each of the 16 bytes
    std::vector<ByteColour> colours;
    std::string characters;  // "." for values below 0x20
};

// Row start addresses: from the lowest address in steps of 16, leaving out spans with nothing present.
// The 1 MB address space gives at most 65,536 rows, so row indexes fit the list box's 16-bit hit test.
std::vector<uint32_t> BuildHexRows(const MemoryImage& image);
HexRow FormatHexRow(const MemoryImage& image, uint32_t address);
// The first flag in the order absent, verified, mismatch decides.
ByteColour ColourOf(uint16_t flags);
// The first row at or after start (wrapping) that holds a mismatch; none when there is none.
std::optional<size_t> NextErrorRow(const MemoryImage& image, const std::vector<uint32_t>& rows, size_t start);

}  // namespace quarzo
