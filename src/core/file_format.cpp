#include "core/file_format.h"

#include <cctype>
#include <fstream>

#include "core/text_util.h"

namespace quarzo {

namespace {

#ifdef _WIN32
constexpr const char* kSeparators = "\\/";
#else
constexpr const char* kSeparators = "/";
#endif

}  // namespace

std::string::size_type ExtensionDot(const std::string& path) {
    auto dot = path.find_last_of('.');
    if (dot == std::string::npos || dot == 0) return std::string::npos;
    auto sep = path.find_last_of(kSeparators);
    if (sep != std::string::npos && sep > dot) return std::string::npos;
    return dot;
}

int FormatFromExtension(const std::string& path) {
    auto dot = ExtensionDot(path);
    if (dot == std::string::npos) return kFormatUnknown;
    std::string ext = path.substr(dot + 1);
    if (EqualsNoCase(ext, "hex") || EqualsNoCase(ext, "a43")) return kFormatIntelHex;
    if (EqualsNoCase(ext, "txt")) return kFormatTiTxt;
    if (EqualsNoCase(ext, "bin") || EqualsNoCase(ext, "tsk") || EqualsNoCase(ext, "dat"))
        return kFormatBinary;
    if (EqualsNoCase(ext, "elf") || EqualsNoCase(ext, "out")) return kFormatElf;
    return kFormatUnknown;
}

int SaveFormatFromExtension(const std::string& path) {
    int format = FormatFromExtension(path);
    return format == kFormatElf ? kFormatUnknown : format;
}

const char* SaveExtensionList() {
    return ".hex, .a43, .txt, .bin, .tsk, .dat";
}

namespace {

bool IsHexDigit(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

// At least two hex digits from at, up to the line's end or a blank.
bool HexDigitsFollow(const std::string& text, size_t at) {
    size_t n = 0;
    while (at + n < text.size() && IsHexDigit(text[at + n])) ++n;
    bool ended = at + n == text.size() || std::isspace(static_cast<unsigned char>(text[at + n]));
    return n >= 2 && ended;
}

}  // namespace

int FormatFromContent(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char head[256];
    in.read(head, sizeof head);
    std::string text(head, static_cast<size_t>(in.gcount()));
    constexpr char kElfMagic[] = {0x7F, 'E', 'L', 'F'};
    if (text.compare(0, sizeof kElfMagic, kElfMagic, sizeof kElfMagic) == 0) return kFormatElf;
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return kFormatUnknown;
    // The first record must be whole within the bytes read; a binary file rarely starts so.
    if (text[first] == ':' && HexDigitsFollow(text, first + 1)) return kFormatIntelHex;
    if (text[first] == '@' && HexDigitsFollow(text, first + 1)) return kFormatTiTxt;
    if ((text[first] == 'q' || text[first] == 'Q') &&
        (first + 1 == text.size() || std::isspace(static_cast<unsigned char>(text[first + 1]))))
        return kFormatTiTxt;
    return kFormatUnknown;
}

const char* FormatName(int format) {
    switch (format) {
        case kFormatIntelHex:
            return "Intel HEX";
        case kFormatTiTxt:
            return "TI TXT";
        case kFormatElf:
            return "ELF";
        default:
            return "Binary";
    }
}

const char* SaveExtension(int format) {
    switch (format) {
        case kFormatIntelHex:
            return "hex";
        case kFormatTiTxt:
            return "txt";
        default:
            return "bin";
    }
}

void SetDefaultExtension(std::string& path, int format) {
    auto dot = ExtensionDot(path);
    if (dot != std::string::npos) path.erase(dot);
    path += '.';
    path += SaveExtension(format);
}

const char* ErrorText(int error) {
    switch (error) {
        case kFileInvalidFormat:
            return "Invalid format";
        case kFileIoError:
            return "I\\O Error";
        case kFileCantOpen:
            return "Can't open file";
        case kFileBadChecksum:
            return "Bad checksum";
        case kFileNotElf:
            return "Not an MSP430 ELF file";
        default:
            return "No error";
    }
}

}  // namespace quarzo
