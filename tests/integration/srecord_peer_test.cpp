// Sparse random images travel through srec_cat in both directions and must arrive byte for byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <random>

#include "core/file_format.h"
#include "core/firmware_file.h"
#include "support/temp_dir.h"

namespace quarzo {
namespace {

using testing::TempDir;
using ByteMap = std::map<uint32_t, uint8_t>;

// Blocks of random bytes at random places in the 1 MB address space. With wholeWords every block starts
// at an even address and has an even length, as the writers put out whole words. Seed 0 gives the
// blocks of a large current part: flash at 0x24300 and at the very top of the space.
ByteMap RandomImage(unsigned seed, bool wholeWords) {
    std::mt19937 rng(seed);
    ByteMap bytes;
    if (seed == 0) {
        for (uint32_t a : {0x24300u, 0xFFF00u}) {
            for (uint32_t i = 0; i < 0x100; ++i) bytes[a + i] = static_cast<uint8_t>(rng());
        }
        return bytes;
    }
    int blocks = 1 + static_cast<int>(rng() % 40);
    for (int b = 0; b < blocks; ++b) {
        uint32_t length = 1 + rng() % 300;
        uint32_t start = rng() % (MemoryImage::kEntryCount - length);
        if (wholeWords) {
            start &= ~1u;
            length = (length + 1) & ~1u;
        }
        for (uint32_t a = start; a < start + length && a < MemoryImage::kEntryCount; ++a) {
            bytes[a] = static_cast<uint8_t>(rng());
        }
    }
    return bytes;
}

// srec_cat's input for the image: each run of its bytes a binary file of its own at its address, data that
// no writer of ours has touched.
std::string SrecordInput(const ByteMap& bytes, const TempDir& dir) {
    std::string input;
    for (auto it = bytes.begin(); it != bytes.end();) {
        uint32_t start = it->first;
        std::string run;
        while (it != bytes.end() && it->first == start + run.size()) run += static_cast<char>((it++)->second);
        std::string file = dir.File(std::to_string(start) + ".bin");
        testing::WriteFile(file, run);
        input += " " + file + " -binary -offset " + std::to_string(start);
    }
    return " '(' " + input + " ')'";
}

void ExpectImageHolds(const MemoryImage& image, const ByteMap& bytes) {
    for (uint32_t a = 0; a < MemoryImage::kEntryCount; ++a) {
        auto it = bytes.find(a);
        if (it == bytes.end()) {
            ASSERT_EQ(image.FlagsAt(a), EntryAbsent) << "unexpected byte at " << a;
        } else {
            ASSERT_EQ(image.EntryAt(a), it->second) << "at " << a;
        }
    }
}

// The two text formats both programs write, with srec_cat's option for each.
const struct {
    int format;
    const char* name;
    const char* option;
} kFormats[] = {{kFormatIntelHex, "file.hex", "-intel"}, {kFormatTiTxt, "file.txt", "-ti-txt"}};

class SrecordPeer : public ::testing::TestWithParam<unsigned> {
protected:
    TempDir dir_;
};

// srec_cat's files load to the same bytes; ours read back in srec_cmp as the same image. Ours are written
// from whole words, as the writers put them out.
TEST_P(SrecordPeer, ImagesCrossInBothDirections) {
    for (bool ours : {false, true}) {
        ByteMap bytes = RandomImage(GetParam(), ours);
        std::string input = SrecordInput(bytes, dir_);
        MemoryImage image;
        for (auto [a, v] : bytes) image.SetByte(a, v);
        for (const auto& c : kFormats) {
            SCOPED_TRACE(std::string(c.option) + (ours ? " ours" : " srec_cat's"));
            std::string path = dir_.File(c.name);
            if (ours) {
                ASSERT_EQ(FirmwareFile(image).Save(path, c.format), 1);
                EXPECT_EQ(std::system((std::string(SREC_CMP) + " " + path + " " + c.option + input).c_str()),
                          0);
                continue;
            }
            std::string convert = std::string(SREC_CAT) + input + " -o " + path + " " + c.option;
            ASSERT_EQ(std::system(convert.c_str()), 0);
            MemoryImage loaded;
            FirmwareFile file(loaded);
            EXPECT_EQ(file.Load(path, c.format),
                      static_cast<int>(bytes.rbegin()->first - bytes.begin()->first + 1));
            EXPECT_EQ(file.TakeError(), kFileNoError);
            ExpectImageHolds(loaded, bytes);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(RandomImages, SrecordPeer, ::testing::Range(0u, 9u));

}  // namespace
}  // namespace quarzo
