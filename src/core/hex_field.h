#pragma once

#include <cstdint>
#include <string_view>

namespace quarzo {

// Reads the hex field of at most width characters at text[pos]: leading control, blank and high-bit
// characters are skipped, then up to width characters are taken; hex digits shift into the value, an
// "x" right after a single leading "0" starts it again, anything else is taken and ignored. The text
// ends at its first NUL. Fails only when nothing is left to take after the skip.
// Length of a line read from a file as C text: up to its first NUL.
size_t TextLength(std::string_view text);

bool ReadHexField(std::string_view text, size_t pos, size_t width, uint32_t& value);
// The same for addresses that must not wrap: a value that would pass the ceiling stays there.
inline constexpr uint64_t kHexFieldCeiling = uint64_t{1} << 40;
bool ReadHexField(std::string_view text, size_t pos, size_t width, uint64_t& value);

// The same for a line already cut at its first NUL (CText), so that a reader cuts each line once.
inline std::string_view CText(std::string_view text) {
    return text.substr(0, TextLength(text));
}
bool ReadHexFieldOfCText(std::string_view text, size_t pos, size_t width, uint32_t& value);

}  // namespace quarzo
