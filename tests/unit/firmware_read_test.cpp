#include <gtest/gtest.h>

#include "core/file_format.h"
#include "core/firmware_file.h"
#include "support/elf_builder.h"
#include "support/temp_dir.h"

namespace quarzo {
namespace {

using testing::TempDir;
using testing::WriteFile;

class FirmwareRead : public ::testing::Test {
protected:
    // Loads content from a real file; returns the result and leaves the error in error_.
    int Load(const std::string& content, int format, const std::string& name = "in.file") {
        std::string path = dir_.File(name);
        WriteFile(path, content);
        FirmwareFile file(image_);
        int result = file.Load(path, format);
        error_ = file.TakeError();
        EXPECT_EQ(file.TakeError(), 0);  // taking the error resets it
        return result;
    }
    std::vector<uint8_t> Bytes(uint32_t from, uint32_t count) {
        std::vector<uint8_t> v;
        for (uint32_t a = from; a < from + count; ++a) v.push_back(image_.ValueAt(a));
        return v;
    }

    TempDir dir_;
    MemoryImage image_;
    int error_ = -1;
};

TEST_F(FirmwareRead, IntelHexDataRecord) {
    EXPECT_EQ(Load(":0400000001020304F2\r\n:00000001FF\r\n", kFormatIntelHex), 4);
    EXPECT_EQ(error_, kFileNoError);
    EXPECT_EQ(Bytes(0, 4), (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(image_.UsedSize(), 4u);

    // Without an end record, end of file after a good line is fine; so is LF only or no line end.
    EXPECT_EQ(Load(":0400000001020304F2\n", kFormatIntelHex), 4);
    EXPECT_EQ(Load(":0400000001020304F2", kFormatIntelHex), 4);
}

TEST_F(FirmwareRead, IntelHexErrors) {
    EXPECT_EQ(Load(":0400000001020304F3\r\n", kFormatIntelHex), 0);
    EXPECT_EQ(error_, kFileBadChecksum);
    EXPECT_EQ(Load("0400000001020304F2\r\n", kFormatIntelHex), 0);
    EXPECT_EQ(error_, kFileInvalidFormat);
    EXPECT_EQ(Load(":0400000001020304\r\n", kFormatIntelHex), 0);  // too short for its count
    EXPECT_EQ(error_, kFileInvalidFormat);
    EXPECT_EQ(Load("", kFormatIntelHex), 0);
    EXPECT_EQ(error_, kFileInvalidFormat);
    EXPECT_EQ(Load(":0400000001020304F2\r\n\r\n", kFormatIntelHex), 0);  // empty last line, no end record
    EXPECT_EQ(error_, kFileInvalidFormat);
    EXPECT_EQ(Load(":", kFormatIntelHex), 0);
    EXPECT_EQ(error_, kFileInvalidFormat);
    // Only the end record: no data, no error.
    EXPECT_EQ(Load(":00000001FF\r\n", kFormatIntelHex), 0);
    EXPECT_EQ(error_, kFileNoError);
    // A missing file.
    FirmwareFile file(image_);
    EXPECT_EQ(file.Load(dir_.File("missing.hex"), kFormatIntelHex), 0);
    EXPECT_EQ(file.TakeError(), kFileCantOpen);
}

TEST_F(FirmwareRead, IntelHexStopsAtTheEndRecordAndKeepsCrOfCrLfLines) {
    EXPECT_EQ(Load(":01001000559A\r\n:00000001FF\r\n:01002000449B\r\ngarbage\r\n", kFormatIntelHex), 1);
    EXPECT_EQ(image_.ValueAt(0x10), 0x55);
    EXPECT_EQ(image_.FlagsAt(0x20), EntryAbsent);
    // A field that fails mid-data: the checksum is taken where the data stopped.
    EXPECT_EQ(Load(":02000000      \r\n", kFormatIntelHex), 0);
    EXPECT_EQ(error_, kFileInvalidFormat);
}

TEST_F(FirmwareRead, IntelHexDataCountsOnPastFFFFWithinARecord) {
    EXPECT_EQ(Load(":04FFFE00A1A2A3A475\r\n:00000001FF\r\n", kFormatIntelHex), 4);
    EXPECT_EQ(Bytes(0xFFFE, 4), (std::vector<uint8_t>{0xA1, 0xA2, 0xA3, 0xA4}));
}

TEST_F(FirmwareRead, IntelHexAppliesExtendedAddressRecords) {
    // Extended linear address 0x0001: the data lands at 0x10010, not 0x0010.
    EXPECT_EQ(Load(":020000040001F9\r\n:01001000559A\r\n:00000001FF\r\n", kFormatIntelHex), 1);
    EXPECT_EQ(image_.Lowest(), 0x10010u);
    EXPECT_EQ(image_.ValueAt(0x10010), 0x55);
    // Extended segment address 0x1000 gives base 0x10000.
    EXPECT_EQ(Load(":020000021000EC\r\n:01002000449B\r\n:00000001FF\r\n", kFormatIntelHex), 1);
    EXPECT_EQ(image_.Lowest(), 0x10020u);
    // A linear address of zero keeps data below 64 KB where it is.
    EXPECT_EQ(Load(":020000040000FA\r\n:01001000559A\r\n", kFormatIntelHex), 1);
    EXPECT_EQ(image_.Lowest(), 0x10u);
    // Data far above the image is counted, without wrapping around to low addresses.
    EXPECT_EQ(Load(":02000004FFFFFC\r\n:02FFFF001122CD\r\n:01001000559A\r\n", kFormatIntelHex), 0);
    EXPECT_EQ(error_, kFileNoError);
    EXPECT_EQ(image_.UsedSize(), 0u);
    EXPECT_EQ(image_.OutsideBytes().count, 3u);
    EXPECT_EQ(image_.OutsideBytes().last, 0x100000000u);
}

// Every reader places data up to 0xFFFFF and counts what lies beyond, with where it lay.
TEST_F(FirmwareRead, DataUpToTheTopOfTheAddressSpaceIsPlacedAndBeyondItCounted) {
    const struct {
        int format;
        std::string content;
        uint64_t outside, lastOutside;
    } cases[] = {
        {kFormatIntelHex,
         ":020000022430A8\r\n:020000001122CB\r\n:02000004000FEB\r\n:04FFFE00AABBCCDDF1\r\n"
         ":02000004FFFFFC\r\n:01001000EE01\r\n:00000001FF\r\n",
         3, 0xFFFF0010},
        {kFormatTiTxt, "@24300\n11 22\n@FFFFE\nAA BB CC DD\n@FFFF0010\nEE\nq\n", 3, 0xFFFF0010},
        {kFormatElf,
         testing::ElfBuilder()
             .Add(0x24300, {0x11, 0x22})
             .Add(0xFFFFE, {0xAA, 0xBB, 0xCC, 0xDD})
             .Add(0xFFFF0010, {0xEE})
             .Build(),
         3, 0xFFFF0010},
        {kFormatBinary,
         [] {
             std::string b(0x100000 + 100, '\xFF');
             b.replace(0x24300, 2, "\x11\x22");
             b.replace(0xFFFFE, 2, "\xAA\xBB");
             return b;
         }(),
         100, 0x100063},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(FormatName(c.format));
        EXPECT_GT(Load(c.content, c.format), 0);
        EXPECT_EQ(error_, kFileNoError);
        EXPECT_EQ(Bytes(0x24300, 2), (std::vector<uint8_t>{0x11, 0x22}));
        EXPECT_EQ(Bytes(0xFFFFE, 2), (std::vector<uint8_t>{0xAA, 0xBB}));
        EXPECT_EQ(image_.Highest(), 0xFFFFFu);
        EXPECT_EQ(image_.OutsideBytes().count, c.outside);
        EXPECT_EQ(image_.OutsideBytes().first, 0x100000u);
        EXPECT_EQ(image_.OutsideBytes().last, c.lastOutside);
    }
}

TEST_F(FirmwareRead, TiTxtLineEndings) {
    for (const char* text : {"@F000\r\n00 11 22\r\nq\r\n", "@F000\n00 11 22\nq\n", "@F000\r\n00 11 22",
                             "@F000\r\n00 11 22 \r\nq\r\n"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(Load(text, kFormatTiTxt), 3);
        EXPECT_EQ(image_.Lowest(), 0xF000u);
        EXPECT_EQ(Bytes(0xF000, 3), (std::vector<uint8_t>{0x00, 0x11, 0x22}));
    }
}

TEST_F(FirmwareRead, TiTxtAddressesQAndShortLines) {
    EXPECT_EQ(Load("@1000\r\n01 02\r\n\r\n@0x1010\r\nAB\r\nq\r\n@2000\r\n55\r\n", kFormatTiTxt), 0x11);
    EXPECT_EQ(image_.ValueAt(0x1010), 0xAB);
    EXPECT_EQ(image_.FlagsAt(0x2000), EntryAbsent);
    EXPECT_EQ(Load("@10000\r\n5A\r\n", kFormatTiTxt), 1);  // addresses above 16 bits
    EXPECT_EQ(image_.Lowest(), 0x10000u);
    // An address too long for 32 bits does not wrap to a low one: its data is counted outside.
    EXPECT_EQ(Load("@1000000010\r\n5A\r\n", kFormatTiTxt), 0);
    EXPECT_EQ(image_.OutsideBytes().first, 0x1000000010u);
}

TEST_F(FirmwareRead, TiTxtErrors) {
    EXPECT_EQ(Load("00 11\r\n@1000\r\n", kFormatTiTxt), 0);
    EXPECT_EQ(error_, kFileInvalidFormat);
    EXPECT_EQ(Load("@1000\r\n00    \r\n", kFormatTiTxt), 0);  // a group with nothing to take
    EXPECT_EQ(error_, kFileInvalidFormat);
    EXPECT_EQ(Load("@   \r\n00\r\n", kFormatTiTxt), 0);  // an address line without an address
    EXPECT_EQ(error_, kFileInvalidFormat);
    EXPECT_EQ(Load("q\r\n", kFormatTiTxt), 0);
    EXPECT_EQ(error_, kFileNoError);
}

TEST_F(FirmwareRead, LongLinesContinueAsTheNextLine) {
    // 1,023 characters make a line; the rest of a longer line is read as a line of its own.
    std::string row = "@1000\r\n";
    for (int i = 0; i < 341; ++i) row += "AA ";  // 1,023 characters
    row += "BB\r\n";
    EXPECT_EQ(Load(row, kFormatTiTxt), 342);
    EXPECT_EQ(image_.ValueAt(0x1000 + 341), 0xBB);
}

TEST_F(FirmwareRead, BinaryStartsAtZero) {
    EXPECT_EQ(Load(std::string("\x01\x02\xFF", 3), kFormatBinary), 3);
    EXPECT_EQ(Bytes(0, 3), (std::vector<uint8_t>{1, 2, 0xFF}));
    EXPECT_EQ(image_.FlagsAt(2), 0);
    EXPECT_EQ(Load("", kFormatBinary), 0);
    EXPECT_EQ(error_, kFileNoError);
}

}  // namespace
}  // namespace quarzo
