#include <gtest/gtest.h>

#include <tuple>

#include "core/file_format.h"
#include "core/firmware_file.h"
#include "support/elf_builder.h"
#include "support/temp_dir.h"

namespace quarzo {
namespace {

using testing::ElfBuilder;
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
    // 1,023 characters make a line; the rest of a longer line is read as a line of its own.
    std::string longLine = "@1000\r\n";
    for (int i = 0; i < 341; ++i) longLine += "AA ";
    longLine += "BB\r\n";
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
        {"@F000\r\n00 11 22\r\nq\r\n", kTxt, 3, kOk, 0xF002, 0x22},
        {"@F000\n00 11 22\nq\n", kTxt, 3, kOk, 0xF002, 0x22},
        {"@F000\r\n00 11 22", kTxt, 3, kOk, 0xF002, 0x22},
        {"@1000\r\n01 02\r\n\r\n@0x1010\r\nAB\r\nq\r\n@2000\r\n55\r\n", kTxt, 0x11, kOk, 0x1010, 0xAB},
        // Blanks, tabs and high bytes are skipped; other characters are taken and ignored.
        {"@2000\r\n\2205A1G2\t33\r\n", kTxt, 3, kOk, 0x2001, 0x12},  // \220: a high byte
        {"00 11\r\n@1000\r\n", kTxt, 0, kBad, 0, 0},
        {"@1000\r\n00    \r\n", kTxt, 0, kBad, 0, 0},  // a group with nothing to take
        {"@   \r\n00\r\n", kTxt, 0, kBad, 0, 0},       // an address line without an address
        {"q\r\n", kTxt, 0, kOk, 0, 0},
        {longLine.c_str(), kTxt, 342, kOk, 0x1000 + 341, 0xBB},
        {"\x01\x02\xFF", kFormatBinary, 3, kOk, 0x0002, 0xFF},
        {"", kFormatBinary, 0, kOk, 0, 0},
        {"#!/bin/sh\n", kFormatElf, 0, kFileNotElf, 0, 0},  // a .out that is a script, not a program
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
         ElfBuilder()
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

TEST_F(FirmwareRead, ElfSegmentsGoToTheirLoadAddressesWithTheirFileBytesOnly) {
    // Code in flash; initialised data that runs in RAM at 0x0200 but is stored after the code; a
    // .bss-like segment with no file bytes; a segment that is not loadable.
    std::string file = ElfBuilder()
                           .Add(0xF000, {0x31, 0x40, 0x00, 0x0A})
                           .Add(0xF004, {0xAA, 0xBB}, 0x0200, 6)
                           .Add(0x0300, {}, 0x0300, 64)
                           .Add(0x1000, {0x99}, 0x1000, 1, 4)
                           .Build();
    ASSERT_EQ(Load(file, kFormatElf), 6);
    EXPECT_EQ(Bytes(0xF000, 6), (std::vector<uint8_t>{0x31, 0x40, 0x00, 0x0A, 0xAA, 0xBB}));
    EXPECT_EQ(image_.Lowest(), 0xF000u);   // nothing at the run address, the .bss or the other segment
    EXPECT_EQ(image_.Highest(), 0xF005u);  // memory size past the file bytes is not loaded
}

TEST_F(FirmwareRead, MalformedElfFilesAreRefusedWholeWithoutReadingPastTheBuffer) {
    std::string good = ElfBuilder().Add(0xF000, {1, 2, 3, 4}).Add(0xF004, {5, 6}).Build();
    // The good file with value written little-endian in that many bytes at offset at.
    auto with = [&](size_t at, uint32_t value, int bytes = 4) {
        std::string f = good;
        for (int i = 0; i < bytes; ++i) f[at + static_cast<size_t>(i)] = static_cast<char>(value >> (8 * i));
        return f;
    };
    const size_t second = 52 + 32;  // the second program header
    const struct {
        const char* what;
        std::string file;
        int error;
    } cases[] = {
        {"not ELF at all", ":00000001FF\r\n", kFileNotElf},
        {"another machine", with(18, 40, 2), kFileNotElf},
        {"64-bit class", with(4, 2, 1), kFileNotElf},
        {"big-endian", with(5, 2, 1), kFileNotElf},
        {"truncated header", good.substr(0, 40), kFileInvalidFormat},
        {"truncated program headers", good.substr(0, 52 + 40), kFileInvalidFormat},
        {"truncated segment data", good.substr(0, good.size() - 1), kFileInvalidFormat},
        {"table offset past the end", with(28, 0xFFFFFFF0), kFileInvalidFormat},
        {"short table entries", with(42, 16, 2), kFileInvalidFormat},
        {"segment offset past the end", with(second + 4, 0xFFFFFFFF), kFileInvalidFormat},
        {"file size past memory size", with(second + 20, 1), kFileInvalidFormat},
        {"overlapping segments", with(second + 12, 0xF003), kFileInvalidFormat},
        {"wrapping segment", with(second + 12, 0xFFFFFFFF), kFileInvalidFormat},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Load(c.file, kFormatElf), 0) << c.what;
        EXPECT_EQ(error_, c.error) << c.what;
        EXPECT_TRUE(image_.IsEmpty()) << c.what;
    }
}

// The file name's own extension, in any case: a leading dot is no extension, nor is a dot in a folder's
// name; the default extension replaces only the file name's.
TEST(FileFormat, TheFileNamesOwnExtensionCounts) {
    for (const char* name : {"image.TSK", "a.dat", "a.Bin"})
        EXPECT_EQ(FormatFromExtension(name), kFormatBinary);
    for (const char* name : {"fw.ELF", "Debug/app.out"}) EXPECT_EQ(FormatFromExtension(name), kFormatElf);
    for (const char* name : {"notes", "file.hexx", "file.", ".hex", "/tmp/old.dir/file"}) {
        EXPECT_EQ(FormatFromExtension(name), kFormatUnknown) << name;
    }
#ifdef _WIN32
    EXPECT_EQ(FormatFromExtension("c:\\old.dir\\file"), kFormatUnknown);
#endif
    const std::tuple<const char*, int, const char*> cases[] = {
        {"dir.v2/firmware.a43", kFormatTiTxt, "dir.v2/firmware.txt"},
        {"dir.v2/firmware", kFormatIntelHex, "dir.v2/firmware.hex"},
        {"dump.xyz", kFormatUnknown, "dump.bin"},
    };
    for (const auto& [given, format, result] : cases) {
        std::string path = given;
        SetDefaultExtension(path, format);
        EXPECT_EQ(path, result);
    }
}

}  // namespace
}  // namespace quarzo
