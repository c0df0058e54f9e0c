#include "core/ti_txt.h"

#include <optional>
#include <string>

#include "core/file_format.h"
#include "core/hex_field.h"

namespace quarzo {

namespace {

constexpr size_t kRowSize = 16;
constexpr size_t kAddressWidth = 1000;
constexpr size_t kGroupWidth = 3;  // two digits and a separator

// Length of the line as C text without its line end (CR LF, LF, or none).
size_t ContentLength(const std::string& line) {
    size_t n = TextLength(line);
    if (n > 0 && line[n - 1] == '\n') {
        --n;
        if (n > 0 && line[n - 1] == '\r') --n;
    }
    return n;
}

}  // namespace

int ReadTiTxt(SequentialFile& in, MemoryImage& image) {
    std::string line;
    std::optional<uint64_t> address;  // never wraps: data past the image is counted there as outside
    while (!in.AtEnd()) {
        if (!in.ReadLine(line)) break;  // a read failure ends the file like its end
        if (!line.empty() && line[0] == 'q') break;
        if (TextLength(line) < 3) continue;
        if (line[0] == '@') {
            uint64_t value;
            if (!ReadHexField(line, 1, kAddressWidth, value)) return kFileInvalidFormat;
            address = value;
            continue;
        }
        if (!address) return kFileInvalidFormat;
        size_t length = ContentLength(line);
        std::string_view text = CText(line);
        for (size_t pos = 0; pos + 1 < length; pos += kGroupWidth) {
            uint32_t value;
            if (!ReadHexFieldOfCText(text, pos, kGroupWidth, value)) return kFileInvalidFormat;
            image.SetByte(*address, static_cast<uint8_t>(value));
            ++*address;
        }
    }
    return kFileNoError;
}

void WriteTiTxt(const MemoryImage& image, SequentialFile& out) {
    ImageRunReader runs(image, image.Lowest(), image.Highest(), kRowSize, true);
    uint32_t start, length;
    uint32_t previousStart = 0, previousLength = 0;
    bool first = true;
    while (runs.Next(start, length)) {
        bool continuesRow = !first && previousLength == kRowSize && start == previousStart + kRowSize;
        if (!continuesRow) {
            out.Put('@');
            out.PutHex(start, start > 0xFFFF ? 5 : 4);
            out.PutText("\r\n");
        }
        // A row at a time: "XX XX ... XX\r\n".
        const uint8_t* data = runs.Data();
        char row[kRowSize * 3 + 1];
        size_t n = 0;
        for (uint32_t i = 0; i < length; ++i) {
            row[n++] = kHexDigits[data[i] >> 4];
            row[n++] = kHexDigits[data[i] & 0xF];
            row[n++] = ' ';
        }
        row[n - 1] = '\r';
        row[n++] = '\n';
        out.Write(row, n);
        first = false;
        previousStart = start;
        previousLength = length;
    }
    out.PutText("q\r\n");
}

}  // namespace quarzo
