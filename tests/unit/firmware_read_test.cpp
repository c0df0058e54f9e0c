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
    int Load(const std::string& content, int format) {
        std::string path = dir_.File("in.file");
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

// Each file's result and error, and a byte it must have placed where it belongs.
TEST_F(FirmwareRead, ResultsErrorsAndPlacement) {
    constexpr int kHex = kFormatIntelHex, kTxt = kFormatTiTxt, kOk = kFileNoError, kBad = kFileInvalidFormat;
    const struct {
        const char* content;
        int format, result, error;
        uint32_t at;
        uint8_t value;
    } cases[] = {
        {":0400000001020304F2\r\n:00000001FF\r\n", kHex, 4, kOk, 0x0003, 0x04},
        // Without an end record, end of file after a good line is fine; so is LF only or no line end.
        {":0400000001020304F2\n", kHex, 4, kOk, 0x0000, 0x01},
        {":0400000001020304F2", kHex, 4, kOk, 0x0002, 0x03},
        {":0400000001020304F3\r\n", kHex, 0, kFileBadChecksum, 0, 0},
        {"0400000001020304F2\r\n", kHex, 0, kBad, 0, 0},
        {":0400000001020304\r\n", kHex, 0, kBad, 0, 0},  // too short for its count
        {"", kHex, 0, kBad, 0, 0},
        {":0400000001020304F2\r\n\r\n", kHex, 0, kBad, 0, 0},  // an empty last line and no end record
        {":", kHex, 0, kBad, 0, 0},
        {":02000000      \r\n", kHex, 0, kBad, 0, 0},  // a field that fails mid-data
        {":00000001FF\r\n", kHex, 0, kOk, 0, 0},       // only the end record: no data, no error
        // Nothing after the end record is read.
        {":01001000559A\r\n:00000001FF\r\n:01002000449B\r\ngarbage\r\n", kHex, 1, kOk, 0x0010, 0x55},
        {":04FFFE00A1A2A3A475\r\n:00000001FF\r\n", kHex, 4, kOk, 0x10001, 0xA4},  // on past 0xFFFF
        // Extended linear address 0x0001, extended segment address 0x1000 (base 0x10000), linear 0.
        {":020000040001F9\r\n:01001000559A\r\n:00000001FF\r\n", kHex, 1, kOk, 0x10010, 0x55},
        {":020000021000EC\r\n:01002000449B\r\n:00000001FF\r\n", kHex, 1, kOk, 0x10020, 0x44},
        {":020000040000FA\r\n:01001000559A\r\n", kHex, 1, kOk, 0x0010, 0x55},
        {"@F000\r\n00 11 22\r\nq\r\n", kTxt, 3, kOk, 0xF002, 0x22},
        {"@F000\n00 11 22\nq\n", kTxt, 3, kOk, 0xF002, 0x22},
        {"@F000\r\n00 11 22", kTxt, 3, kOk, 0xF002, 0x22},
        {"@F000\r\n00 11 22 \r\nq\r\n", kTxt, 3, kOk, 0xF002, 0x22},
        {"@1000\r\n01 02\r\n\r\n@0x1010\r\nAB\r\nq\r\n@2000\r\n55\r\n", kTxt, 0x11, kOk, 0x1010, 0xAB},
        {"@10000\r\n5A\r\n", kTxt, 1, kOk, 0x10000, 0x5A},
        {"00 11\r\n@1000\r\n", kTxt, 0, kBad, 0, 0},
        {"@1000\r\n00    \r\n", kTxt, 0, kBad, 0, 0},  // a group with nothing to take
        {"@   \r\n00\r\n", kTxt, 0, kBad, 0, 0},       // an address line without an address
        {"q\r\n", kTxt, 0, kOk, 0, 0},
        {"\x01\x02\xFF", kFormatBinary, 3, kOk, 0x0002, 0xFF},
        {"", kFormatBinary, 0, kOk, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        EXPECT_EQ(Load(c.content, c.format), c.result);
        EXPECT_EQ(error_, c.error);
        if (c.result > 0) {
            EXPECT_EQ(image_.EntryAt(c.at), c.value);  // present, with its value
        }
    }
    FirmwareFile file(image_);
    EXPECT_EQ(file.Load(dir_.File("missing.hex"), kFormatIntelHex), 0);
    EXPECT_EQ(file.TakeError(), kFileCantOpen);
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
        // Data far above the image, crossing 32 bits within a record, without wrapping to low addresses.
        {kFormatIntelHex,
         ":020000022430A8\r\n:020000001122CB\r\n:02000004000FEB\r\n:04FFFE00AABBCCDDF1\r\n"
         ":02000004FFFFFC\r\n:02FFFF001122CD\r\n:01001000559A\r\n",
         5, 0x100000000},
        {kFormatTiTxt, "@24300\n11 22\n@FFFFE\nAA BB CC DD\n@FFFF0010\nEE\nq\n", 3, 0xFFFF0010},
        {kFormatTiTxt, "@24300\n11 22\n@FFFFE\nAA BB CC DD\n@1000000010\nEE\nq\n", 3, 0x1000000010},
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
        SCOPED_TRACE(c.content.substr(0, 200));
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

TEST_F(FirmwareRead, LongLinesContinueAsTheNextLine) {
    // 1,023 characters make a line; the rest of a longer line is read as a line of its own.
    std::string row = "@1000\r\n";
    for (int i = 0; i < 341; ++i) row += "AA ";  // 1,023 characters
    row += "BB\r\n";
    EXPECT_EQ(Load(row, kFormatTiTxt), 342);
    EXPECT_EQ(image_.ValueAt(0x1000 + 341), 0xBB);
}

}  // namespace
}  // namespace quarzo
