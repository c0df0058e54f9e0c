#include <gtest/gtest.h>

#include "core/file_format.h"
#include "core/firmware_file.h"
#include "support/temp_dir.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#endif

namespace quarzo {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

class FirmwareWrite : public ::testing::Test {
protected:
    std::string Save(int format) {
        std::string path = dir_.File("out.file");
        FirmwareFile file(image_);
        EXPECT_EQ(file.Save(path, format), 1);
        EXPECT_EQ(file.TakeError(), kFileNoError);
        return ReadFile(path);
    }
    void Fill(uint32_t from, uint32_t to, uint8_t first) {
        for (uint32_t a = from; a <= to; ++a) image_.SetByte(a, static_cast<uint8_t>(first + (a - from)));
    }

    TempDir dir_;
    MemoryImage image_;
};

TEST_F(FirmwareWrite, EachFormatsTextForItsData) {
    struct Block {
        uint32_t from, to;
        uint8_t first;
    };
    const struct {
        std::vector<Block> blocks;
        int format;
        std::string text;
    } cases[] = {
        // A new address line at every discontinuity; full rows continue without one; five digits above 64K.
        {{{0x1000, 0x1003, 0xA0}, {0x1010, 0x101F, 0x00}},
         kFormatTiTxt,
         "@1000\r\nA0 A1 A2 A3\r\n@1010\r\n00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\r\nq\r\n"},
        {{{0xF000, 0xF01F, 0x00}},
         kFormatTiTxt,
         "@F000\r\n00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\r\n"
         "10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F\r\nq\r\n"},
        {{{0x10000, 0x10001, 0x42}, {0xFFFFE, 0xFFFFF, 0x44}},
         kFormatTiTxt,
         "@10000\r\n42 43\r\n@FFFFE\r\n44 45\r\nq\r\n"},
        // Records of sixteen bytes; above 64K through extended linear address records, also within a run.
        {{{0x1000, 0x1013, 0x00}},
         kFormatIntelHex,
         ":10100000000102030405060708090A0B0C0D0E0F68\r\n:041010001011121396\r\n:00000001FF\r\n"},
        {{{0xFFF8, 0x10007, 0x00}, {0xFFFFE, 0xFFFFF, 0xAA}},
         kFormatIntelHex,
         ":08FFF8000001020304050607E5\r\n:020000040001F9\r\n:0800000008090A0B0C0D0E0F9C\r\n"
         ":02000004000FEB\r\n:02FFFE00AAABAC\r\n:00000001FF\r\n"},
        // Binary from zero through the highest address, absent bytes as 0xFF.
        {{{0x100, 0x100, 0x42}}, kFormatBinary, std::string(0x100, '\xFF') + "\x42"},
        {{}, kFormatBinary, ""},
        {{}, kFormatTiTxt, "q\r\n"},
        {{}, kFormatIntelHex, ":00000001FF\r\n"},
    };
    for (const auto& c : cases) {
        image_.Clear();
        for (const Block& b : c.blocks) Fill(b.from, b.to, b.first);
        EXPECT_EQ(Save(c.format), c.text);
    }
}

TEST_F(FirmwareWrite, TextFilesRoundTripWithAbsentHalvesOfWordsComingBackAsFF) {
    image_.SetByte(0x2001, 0x11);
    Fill(0xE000, 0xE020, 0x30);
    Fill(0xFFF8, 0x10007, 0x00);
    Fill(0xFFFFE, 0xFFFFF, 0xAA);
    for (int format : {kFormatIntelHex, kFormatTiTxt}) {
        Save(format);
        MemoryImage copy;
        FirmwareFile file(copy);
        ASSERT_GT(file.Load(dir_.File("out.file"), format), 0);
        EXPECT_EQ(copy.EntryAt(0x2000), 0x00FF);
        for (uint32_t a = 0x2001; a <= 0xFFFFF; ++a)
            ASSERT_EQ(copy.EntryAt(a), a == 0xE021 ? 0x00FF : image_.EntryAt(a)) << a;
    }
}

// A save that fails says so and leaves the old file, and no temporary file, behind.
TEST_F(FirmwareWrite, AFailedSaveIsReportedAndTheOldFileSurvives) {
    FirmwareFile file(image_);
    image_.SetByte(0, 1);
    EXPECT_EQ(file.Save(dir_.File("no/such/folder/out.hex"), kFormatIntelHex), 0);
    EXPECT_EQ(file.TakeError(), kFileCantOpen);

    // A target that cannot be replaced: a folder in its place.
    std::filesystem::create_directory(dir_.File("taken.hex"));
    WriteFile(dir_.File("taken.hex/keep"), "old");
    EXPECT_EQ(file.Save(dir_.File("taken.hex"), kFormatIntelHex), 0);
    EXPECT_EQ(file.TakeError(), kFileCantOpen);
    EXPECT_EQ(ReadFile(dir_.File("taken.hex/keep")), "old");
    EXPECT_EQ(dir_.EntryCount(), 1u);

#ifndef _WIN32
    // Writes that fail part way: a file size limit for this process while it saves.
    for (uint32_t a = 0; a < 0x1F400; ++a) image_.SetByte(a, static_cast<uint8_t>(a * 7));
    std::string path = dir_.File("firmware");
    WriteFile(path, "previous content");
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit;
    getrlimit(RLIMIT_FSIZE, &limit);
    rlimit small{4096, limit.rlim_max};
    setrlimit(RLIMIT_FSIZE, &small);
    for (auto [format, result] : {std::pair{kFormatBinary, -1}, {kFormatTiTxt, 0}, {kFormatIntelHex, 0}}) {
        EXPECT_EQ(file.Save(path, format), result);
        EXPECT_EQ(file.TakeError(), kFileIoError);
    }
    setrlimit(RLIMIT_FSIZE, &limit);
    EXPECT_EQ(ReadFile(path), "previous content");
    EXPECT_EQ(dir_.EntryCount(), 2u);
#endif
}

}  // namespace
}  // namespace quarzo
