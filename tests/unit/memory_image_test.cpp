#include "core/memory_image.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace quarzo {
namespace {

using Spans = std::vector<std::pair<uint32_t, uint32_t>>;

// The runs a reader gives, and their bytes one after the other in data if asked.
Spans Runs(const MemoryImage& image, uint32_t first, uint32_t last, uint32_t max,
           std::vector<uint8_t>* data = nullptr) {
    ImageRunReader reader(image, first, last, max, true);
    Spans runs;
    uint32_t start, length;
    while (reader.Next(start, length)) {
        runs.emplace_back(start, length);
        if (data) data->insert(data->end(), reader.Data(), reader.Data() + length);
    }
    return runs;
}

void Fill(MemoryImage& image, uint32_t from, uint32_t to, uint8_t value) {
    for (uint32_t a = from; a <= to; ++a) image.SetByte(a, value);
}

TEST(MemoryImage, BoundsFlagsAndBytesPastTheEnd) {
    MemoryImage image;
    image.SetByte(0x2000, 0x11);
    image.ModifyFlags(0x2000, 1, EntryVerified | EntryMismatch, 0);
    EXPECT_EQ(image.FlagsAt(0x2000), EntryVerified | EntryMismatch);
    image.SetByte(0x2000, 0x12);  // a new value clears the marks
    EXPECT_EQ(image.EntryAt(0x2000), 0x0012);
    EXPECT_TRUE(image.IsModified());
    image.SetByte(0xFFFFF, 0xAB);
    EXPECT_EQ(image.ValueAt(0xFFFFF), 0xAB);

    // Past the end nothing is stored, nor wraps to a low address (the readers' test counts these bytes).
    image.SetByte(0x100000, 0xCD);
    image.SetByte(0x123456789, 0xCD);
    EXPECT_EQ(image.Highest(), 0xFFFFFu);
    EXPECT_EQ(image.UsedSize(), 0xFFFFFu - 0x2000 + 1);
    EXPECT_EQ(image.OutsideBytes().count, 2u);
    EXPECT_EQ(image.FlagsAt(0x100000), EntryAbsent);  // read as a cleared entry, not past the pages

    image.SetFileName("firmware.hex");
    image.Clear();
    EXPECT_EQ(image.UsedSize(), 0u);
    EXPECT_EQ(image.Lowest(), 0xFFFFFFFFu);
    EXPECT_EQ(image.EntryAt(0x2000), 0x01FF);
    EXPECT_EQ(image.OutsideBytes().count, 0u);
    EXPECT_FALSE(image.IsModified());
    EXPECT_EQ(image.FileName(), "firmware.hex");  // Clear keeps the name
}

// The mismatch query is the next error's search of the hex view and the failed write's marks.
TEST(MemoryImage, AbsenceQueriesAndFlagsOverRanges) {
    MemoryImage image;
    EXPECT_TRUE(image.AllAbsent(0x100, 0));
    image.SetByte(0x10F, 0);
    EXPECT_FALSE(image.AllAbsent(0x100, 16));
    EXPECT_TRUE(image.AllAbsent(0x100, 15));
    EXPECT_TRUE(image.AllAbsent(0xFFFF0, 0x100));  // reaching past the end does not read past it
    // Queries that span the 4096-entry pages of storage.
    image.SetByte(0x3000, 0);
    EXPECT_FALSE(image.AllAbsent(0x2FF0, 0x20));
    EXPECT_TRUE(image.AllAbsent(0x2F00, 0x100));
    EXPECT_TRUE(image.AllAbsent(0x3001, 0x2000));

    // Flags over a range that reaches past the last entry stop there.
    image.SetByte(0xFFFFE, 0x11);
    image.ModifyFlags(0, 0xFFFFFFFF, EntryVerified, EntryAbsent);
    EXPECT_EQ(image.EntryAt(0), 0x02FF);
    EXPECT_EQ(image.EntryAt(0xFFFFE), 0x0211);
    EXPECT_EQ(image.EntryAt(0xFFFFF), 0x02FF);
    image.ModifyFlags(0xFFFF0, 0xFFFFFFFF, 0, EntryVerified);
    EXPECT_EQ(image.EntryAt(0xFFFFF), 0x00FF);
    EXPECT_EQ(image.EntryAt(0xFFFEF), 0x02FF);
}

TEST(MemoryImage, CompareBlockMarksWithoutClearing) {
    MemoryImage image;
    Fill(image, 0x1000, 0x1003, 0x5A);
    const uint8_t same[4] = {0x5A, 0x5A, 0x5A, 0x5A};
    EXPECT_EQ(image.CompareBlock(0x1000, same, 4), 0u);
    for (uint32_t a = 0x1000; a < 0x1004; ++a) EXPECT_EQ(image.FlagsAt(a), EntryVerified);

    const uint8_t differ[4] = {0x5A, 0x00, 0x5A, 0x01};
    EXPECT_EQ(image.CompareBlock(0x1000, differ, 4), 2u);
    EXPECT_EQ(image.FlagsAt(0x1001), EntryVerified | EntryMismatch);
    EXPECT_EQ(image.FlagsAt(0x1002), EntryVerified);

    // Absent entries compare by their value bits; the top of the image is not overrun.
    const uint8_t ff[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(image.CompareBlock(0xFFFFC, ff, 8), 0u);
    EXPECT_EQ(image.FlagsAt(0xFFFFF), EntryAbsent | EntryVerified);
}

// Runs are whole words, split at absent words and cut at the maximum, inside the image.
TEST(ImageRunReader, RunsOfWholeWords) {
    MemoryImage image;
    Fill(image, 0x1000, 0x1003, 0x11);
    Fill(image, 0x1010, 0x101F, 0x22);
    image.SetByte(0x1021, 0x42);  // a word with one absent byte goes whole, the absent byte as 0xFF
    std::vector<uint8_t> data;
    EXPECT_EQ(Runs(image, image.Lowest(), image.Highest(), 16, &data),
              (Spans{{0x1000, 4}, {0x1010, 16}, {0x1020, 2}}));
    std::vector<uint8_t> expected(4, 0x11);
    expected.insert(expected.end(), 16, 0x22);
    expected.insert(expected.end(), {0xFF, 0x42});
    EXPECT_EQ(data, expected);

    // An even last address gets a run of its own, even after a run that was not full; an odd one keeps
    // the data together.
    MemoryImage odd;
    Fill(odd, 0x1000, 0x1010, 0x33);
    EXPECT_EQ(Runs(odd, 0x1000, 0x1010, 16), (Spans{{0x1000, 16}, {0x1010, 2}}));
    EXPECT_EQ(Runs(odd, 0x1000, 0x1010, 500), (Spans{{0x1000, 16}, {0x1010, 2}}));
    EXPECT_EQ(Runs(odd, 0x1001, 0x1011, 500), (Spans{{0x1000, 18}}));

    MemoryImage top;
    Fill(top, 0xFFC00, 0xFFFFF, 0x44);
    EXPECT_EQ(Runs(top, 0xFFC00, 0x10FFFF, 500), (Spans{{0xFFC00, 500}, {0xFFDF4, 500}, {0xFFFE8, 24}}));
    for (auto [first, size] : Runs(top, 0xFFC00, 0xFFFFF, 15)) EXPECT_LE(size, 14u);  // an odd maximum
    EXPECT_TRUE(Runs(top, 0x2000, 0x1000, 16).empty());
}

// Blocks of 16 from the even lowest address, removed only when every byte is present and the gap value;
// the range is recomputed (the absent bytes of the last block widen it), up to the top of the image.
TEST(RemoveGaps, RemovesWholeBlocksOfTheGapValue) {
    MemoryImage kept;
    Fill(kept, 0x3001, 0x3030, 0x00);  // blocks start at 0x3000, which is absent
    kept.SetByte(0x3025, 0x07);
    kept.ModifyFlags(0x3010, 16, EntryVerified, 0);
    EXPECT_EQ(kept.RemoveGaps(0x00), 16u);  // only the block at 0x3010
    EXPECT_EQ(kept.FlagsAt(0x3001), 0);
    EXPECT_EQ(kept.FlagsAt(0x3011), EntryAbsent);  // removed, verify mark cleared
    EXPECT_EQ(kept.FlagsAt(0x3020), 0);
    EXPECT_EQ(kept.Lowest(), 0x3000u);
    EXPECT_EQ(kept.Highest(), 0x303Fu);

    MemoryImage image;
    Fill(image, 0x4000, 0x403F, 0xFF);
    EXPECT_EQ(image.RemoveGaps(0xFF), 64u);
    EXPECT_EQ(image.UsedSize(), 0u);
    EXPECT_EQ(image.Lowest(), 0xFFFFFFFFu);
    EXPECT_EQ(image.RemoveGaps(0xFF), 0u);

    Fill(image, 0xFFFFA, 0xFFFFF, 0xFF);  // the block from 0xFFFFA would reach 0x100009
    EXPECT_EQ(image.RemoveGaps(0xFF), 6u);
    EXPECT_EQ(image.UsedSize(), 0u);
    Fill(image, 0xFFFFA, 0xFFFFF, 0xFF);
    image.SetByte(0xFFFFF, 0x01);
    EXPECT_EQ(image.RemoveGaps(0xFF), 0u);
    EXPECT_EQ(image.Lowest(), 0xFFFFFu);
    EXPECT_EQ(image.Highest(), 0xFFFFFu);
}

}  // namespace
}  // namespace quarzo
