#include <gtest/gtest.h>

#include "core/elf_format.h"
#include "core/file_format.h"
#include "core/firmware_file.h"
#include "support/elf_builder.h"
#include "support/temp_dir.h"

namespace quarzo {
namespace {

using testing::ElfBuilder;

struct Read {
    int error;
    MemoryImage image;
};

Read ReadBytes(const std::string& file) {
    Read r;
    r.image.SetByte(0x0200, 0x77);  // an error must leave what was there
    r.error = ReadElf(reinterpret_cast<const uint8_t*>(file.data()), file.size(), r.image);
    return r;
}

TEST(ElfRead, SegmentsGoToTheirLoadAddressesWithTheirFileBytesOnly) {
    // Code in flash; initialised data that runs in RAM at 0x0200 but is stored after the code; a
    // .bss-like segment with no file bytes; a segment that is not loadable.
    std::string file = ElfBuilder()
                           .Add(0xF000, {0x31, 0x40, 0x00, 0x0A})
                           .Add(0xF004, {0xAA, 0xBB}, 0x0200, 6)
                           .Add(0x0300, {}, 0x0300, 64)
                           .Add(0x1000, {0x99}, 0x1000, 1, 4)
                           .Build();
    Read r = ReadBytes(file);
    ASSERT_EQ(r.error, kFileNoError);
    EXPECT_EQ(r.image.ValueAt(0xF000), 0x31);
    EXPECT_EQ(r.image.ValueAt(0xF004), 0xAA);
    EXPECT_EQ(r.image.ValueAt(0xF005), 0xBB);
    EXPECT_EQ(r.image.FlagsAt(0xF006), EntryAbsent);  // memory size past the file bytes is not loaded
    EXPECT_EQ(r.image.ValueAt(0x0200), 0x77);         // nothing at the run address
    EXPECT_EQ(r.image.FlagsAt(0x0300), EntryAbsent);
    EXPECT_EQ(r.image.FlagsAt(0x1000), EntryAbsent);
    EXPECT_EQ(r.image.Highest(), 0xF005u);
}

TEST(ElfRead, MalformedFilesAreRefusedWholeWithoutReadingPastTheBuffer) {
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
        {"another machine", ElfBuilder().Add(0, {1}).Build(40), kFileNotElf},
        {"64-bit class", ElfBuilder().Add(0, {1}).Build(105, 2), kFileNotElf},
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
        Read r = ReadBytes(c.file);
        EXPECT_EQ(r.error, c.error) << c.what;
        EXPECT_EQ(r.image.Lowest(), 0x0200u) << c.what;
        EXPECT_EQ(r.image.Highest(), 0x0200u) << c.what;
    }
}

TEST(ElfRead, ExtensionsMagicAndTheFileError) {
    EXPECT_EQ(FormatFromExtension("fw.ELF"), kFormatElf);
    EXPECT_EQ(FormatFromExtension("Debug/app.out"), kFormatElf);
    EXPECT_EQ(SaveFormatFromExtension("fw.elf"), kFormatUnknown);  // never written
    EXPECT_STREQ(ErrorText(kFileNotElf), "Not an MSP430 ELF file");

    testing::TempDir dir;
    MemoryImage image;
    FirmwareFile file(image);
    testing::WriteFile(dir.File("a.out"), ElfBuilder().Add(0xE000, {0x12, 0x34}).Build());
    EXPECT_EQ(file.Load(dir.File("a.out"), kFormatElf), 2);
    testing::WriteFile(dir.File("b.out"), "#!/bin/sh\n");  // a .out that is a script, not a program
    EXPECT_EQ(file.Load(dir.File("b.out"), kFormatElf), 0);
    EXPECT_EQ(file.TakeError(), kFileNotElf);
}

}  // namespace
}  // namespace quarzo
