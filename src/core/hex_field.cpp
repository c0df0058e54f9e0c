#include "core/hex_field.h"

namespace quarzo {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool Skipped(char c) {
    auto u = static_cast<unsigned char>(c);
    return (u >= 0x01 && u <= 0x20) || u >= 0x80;
}

}  // namespace

size_t TextLength(std::string_view text) {
    auto nul = text.find('\0');
    return nul == std::string_view::npos ? text.size() : nul;
}

bool ReadHexField(std::string_view text, size_t pos, size_t width, uint32_t& value) {
    text = text.substr(0, TextLength(text));
    while (pos < text.size() && Skipped(text[pos])) ++pos;
    if (pos >= text.size()) return false;
    value = 0;
    for (size_t taken = 0; taken < width && pos < text.size(); ++taken, ++pos) {
        char c = text[pos];
        if ((c == 'x' || c == 'X') && taken == 1 && text[pos - 1] == '0') {
            value = 0;
        } else if (int d = HexDigit(c); d >= 0) {
            value = (value << 4) | static_cast<uint32_t>(d);
        }
    }
    return true;
}

}  // namespace quarzo
