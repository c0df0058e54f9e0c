#include "core/file_format.h"

#include <gtest/gtest.h>

#include <array>
#include <tuple>

#include "core/hex_field.h"

namespace quarzo {
namespace {

TEST(FileFormat, FormatFromExtension) {
    for (const char* name : {"firmware.A43", "dir/app.hex"})
        EXPECT_EQ(FormatFromExtension(name), kFormatIntelHex);
    for (const char* name : {"image.TSK", "a.dat", "a.Bin"})
        EXPECT_EQ(FormatFromExtension(name), kFormatBinary);
    EXPECT_EQ(FormatFromExtension("out.txt"), kFormatTiTxt);
    // A leading dot is no extension, nor is a dot in a folder's name.
    for (const char* name : {"notes", "file.hexx", "file.", ".hex", "/tmp/old.dir/file"}) {
        EXPECT_EQ(FormatFromExtension(name), kFormatUnknown) << name;
    }
#ifdef _WIN32
    EXPECT_EQ(FormatFromExtension("c:\\old.dir\\file"), kFormatUnknown);
#endif
}

TEST(FileFormat, TheDefaultExtensionReplacesOnlyTheFileNames) {
    const std::array<std::tuple<const char*, int, const char*>, 3> cases = {{
        {"dir.v2/firmware.a43", kFormatTiTxt, "dir.v2/firmware.txt"},
        {"dir.v2/firmware", kFormatIntelHex, "dir.v2/firmware.hex"},
        {"dump.xyz", kFormatUnknown, "dump.bin"},
    }};
    for (const auto& [given, format, result] : cases) {
        std::string path = given;
        SetDefaultExtension(path, format);
        EXPECT_EQ(path, result);
    }
}

TEST(HexField, SkipsTakesAndRestarts) {
    const std::tuple<std::string_view, size_t, uint32_t> read[] = {
        {"1F", 2, 0x1F},      {"  \x90\tab12", 2, 0xAB},  // blanks, tabs and high bytes are skipped
        {"0x1F", 1000, 0x1F}, {"10x2", 4, 0x102},         // 0x only right after a single leading 0
        {"1G2", 3, 0x12},                                 // other characters are taken and ignored
        {"22\r", 3, 0x22},    {"A", 2, 0xA},              // fewer characters than the width
    };
    for (const auto& [text, width, value] : read) {
        uint32_t v = 0;
        EXPECT_TRUE(ReadHexField(text, 0, width, v)) << text;
        EXPECT_EQ(v, value) << text;
    }
    uint32_t v = 0;
    EXPECT_FALSE(ReadHexField("   ", 0, 2, v));
    EXPECT_FALSE(ReadHexField("AB", 2, 2, v));
    EXPECT_FALSE(ReadHexField(std::string_view("\0AB", 3), 0, 2, v));  // text ends at NUL
}

}  // namespace
}  // namespace quarzo
