#include "core/hex_field.h"

#include <array>

namespace quarzo {

namespace {

// What each byte is to a field: a digit's value, or one of these.
constexpr uint8_t kSkipped = 16;  // blanks, control characters and bytes above 0x7F
constexpr uint8_t kOther = 17;    // taken and ignored

constexpr std::array<uint8_t, 256> MakeClasses() {
    std::array<uint8_t, 256> classes{};
    for (int c = 0; c < 256; ++c) {
        classes[c] = (c >= 0x01 && c <= 0x20) || c >= 0x80 ? kSkipped : kOther;
    }
    for (int d = 0; d < 10; ++d) classes['0' + d] = static_cast<uint8_t>(d);
    for (int d = 0; d < 6; ++d) {
        classes['a' + d] = static_cast<uint8_t>(10 + d);
        classes['A' + d] = static_cast<uint8_t>(10 + d);
    }
    return classes;
}

constexpr std::array<uint8_t, 256> kClasses = MakeClasses();

uint8_t ClassOf(char c) {
    return kClasses[static_cast<unsigned char>(c)];
}

}  // namespace

size_t TextLength(std::string_view text) {
    auto nul = text.find('\0');
    return nul == std::string_view::npos ? text.size() : nul;
}

namespace {

// Digits beyond what T holds shift the high ones out, unless a ceiling (other than 0) stops the value
// there.
template <typename T, T kCeiling>
bool ReadField(std::string_view text, size_t pos, size_t width, T& value) {
    while (pos < text.size() && ClassOf(text[pos]) == kSkipped) ++pos;
    if (pos >= text.size()) return false;
    value = 0;
    for (size_t taken = 0; taken < width && pos < text.size(); ++taken, ++pos) {
        char c = text[pos];
        uint8_t d = ClassOf(c);
        if (d < 16) {
            if constexpr (kCeiling != 0) {
                if (value > (kCeiling >> 4)) {
                    value = kCeiling;
                    continue;
                }
            }
            value = static_cast<T>((value << 4) | d);
        } else if ((c == 'x' || c == 'X') && taken == 1 && text[pos - 1] == '0') {
            value = 0;
        }
    }
    return true;
}

}  // namespace

bool ReadHexField(std::string_view text, size_t pos, size_t width, uint32_t& value) {
    return ReadHexFieldOfCText(CText(text), pos, width, value);
}

bool ReadHexField(std::string_view text, size_t pos, size_t width, uint64_t& value) {
    return ReadField<uint64_t, kHexFieldCeiling>(CText(text), pos, width, value);
}

bool ReadHexFieldOfCText(std::string_view text, size_t pos, size_t width, uint32_t& value) {
    return ReadField<uint32_t, 0>(text, pos, width, value);
}

}  // namespace quarzo
