#include "core/file_format.h"

#include <gtest/gtest.h>

#include "core/hex_field.h"

namespace quarzo {
namespace {

TEST(FileFormat, FormatFromExtension) {
    EXPECT_EQ(FormatFromExtension("firmware.A43"), kFormatIntelHex);
    EXPECT_EQ(FormatFromExtension("dir/app.hex"), kFormatIntelHex);
    EXPECT_EQ(FormatFromExtension("image.TSK"), kFormatBinary);
    EXPECT_EQ(FormatFromExtension("a.dat"), kFormatBinary);
    EXPECT_EQ(FormatFromExtension("a.Bin"), kFormatBinary);
    EXPECT_EQ(FormatFromExtension("out.txt"), kFormatTiTxt);
    EXPECT_EQ(FormatFromExtension("notes"), kFormatUnknown);
    EXPECT_EQ(FormatFromExtension("file.hexx"), kFormatUnknown);
    EXPECT_EQ(FormatFromExtension("file."), kFormatUnknown);
    EXPECT_EQ(FormatFromExtension(".hex"), kFormatUnknown);  // a leading dot is no extension
    EXPECT_EQ(FormatFromExtension("/tmp/old.dir/file"), kFormatUnknown);
#ifdef _WIN32
    EXPECT_EQ(FormatFromExtension("c:\\old.dir\\file"), kFormatUnknown);
#endif
}

TEST(FileFormat, NamesAndExtensions) {
    EXPECT_STREQ(FormatName(0), "Binary");
    EXPECT_STREQ(FormatName(1), "Intel HEX");
    EXPECT_STREQ(FormatName(2), "TI TXT");
    EXPECT_STREQ(FormatName(-1), "Binary");
    EXPECT_STREQ(FormatName(7), "Binary");

    std::string path = "dir.v2/firmware.a43";
    SetDefaultExtension(path, kFormatTiTxt);
    EXPECT_EQ(path, "dir.v2/firmware.txt");
    path = "dir.v2/firmware";
    SetDefaultExtension(path, kFormatIntelHex);
    EXPECT_EQ(path, "dir.v2/firmware.hex");
    path = "dump.xyz";
    SetDefaultExtension(path, kFormatUnknown);
    EXPECT_EQ(path, "dump.bin");
}

TEST(FileFormat, ErrorTextsOutsideTheTable) {
    // The texts themselves reach the log in the load and save tests.
    EXPECT_STREQ(ErrorText(1), "Invalid format");
    EXPECT_STREQ(ErrorText(2), "I\\O Error");
    EXPECT_STREQ(ErrorText(6), "No error");
    EXPECT_STREQ(ErrorText(-1), "No error");
}

TEST(HexField, SkipsTakesAndRestarts) {
    uint32_t v = 0;
    EXPECT_TRUE(ReadHexField("1F", 0, 2, v));
    EXPECT_EQ(v, 0x1Fu);
    EXPECT_TRUE(ReadHexField("  \x90\tab12", 0, 2, v));  // blanks, tabs and high bytes are skipped
    EXPECT_EQ(v, 0xABu);
    EXPECT_TRUE(ReadHexField("0x1F", 0, 1000, v));
    EXPECT_EQ(v, 0x1Fu);
    EXPECT_TRUE(ReadHexField("10x2", 0, 4, v));  // only right after a single leading 0
    EXPECT_EQ(v, 0x102u);
    EXPECT_TRUE(ReadHexField("1G2", 0, 3, v));  // other characters are taken and ignored
    EXPECT_EQ(v, 0x12u);
    EXPECT_TRUE(ReadHexField("22\r", 0, 3, v));
    EXPECT_EQ(v, 0x22u);
    EXPECT_FALSE(ReadHexField("   ", 0, 2, v));
    EXPECT_FALSE(ReadHexField("AB", 2, 2, v));
    EXPECT_FALSE(ReadHexField(std::string_view("\0AB", 3), 0, 2, v));  // text ends at NUL
    EXPECT_TRUE(ReadHexField("A", 0, 2, v));                           // fewer characters than the width
    EXPECT_EQ(v, 0xAu);
}

}  // namespace
}  // namespace quarzo
