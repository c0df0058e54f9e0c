#include <gtest/gtest.h>

#include "core/memory_image.h"
#include "core/settings_store.h"
#include "ui/model/hex_rows.h"
#include "ui/model/window_model.h"

namespace quarzo {
namespace {

using Rows = std::vector<uint32_t>;

void Fill(MemoryImage& image, uint32_t from, uint32_t to, uint8_t value = 0x55) {
    for (uint32_t a = from; a <= to; ++a) image.SetByte(a, value);
}

TEST(HexRows, RowsStartAtTheLowestAddressAndSkipEmptySpans) {
    MemoryImage image;
    EXPECT_TRUE(BuildHexRows(image).empty());
    Fill(image, 0x1001, 0x1003);
    EXPECT_EQ(BuildHexRows(image), Rows{0x1001});
    HexRow row = FormatHexRow(image, 0x1001);
    EXPECT_EQ(row.address, "1001");
    EXPECT_EQ(row.bytes[2], "55");
    EXPECT_EQ(row.colours[2], ByteColour::kPresent);
    EXPECT_EQ(row.bytes[3], "FF");
    EXPECT_EQ(row.colours[3], ByteColour::kAbsent);
    EXPECT_EQ(row.characters.substr(0, 3), "UUU");

    MemoryImage gap;
    Fill(gap, 0x1000, 0x100F);
    Fill(gap, 0xF000, 0xF00F);
    EXPECT_EQ(BuildHexRows(gap), (Rows{0x1000, 0xF000}));
    MemoryImage one;
    one.SetByte(0x12345, 0x01);
    EXPECT_EQ(BuildHexRows(one), Rows{0x12345});
    EXPECT_EQ(FormatHexRow(one, 0x12345).address, "12345");  // five digits above 0xFFFF
    EXPECT_EQ(FormatHexRow(one, 0x12345).characters[0], '.');
    // Up to the top of the address space; every row of such an image has five digits.
    Fill(gap, 0xFFFF0, 0xFFFFF);
    EXPECT_EQ(BuildHexRows(gap), (Rows{0x1000, 0xF000, 0xFFFF0}));
    EXPECT_EQ(FormatHexRow(gap, 0x1000).address, "01000");
    EXPECT_EQ(FormatHexRow(gap, 0xFFFF0).address, "FFFF0");
}

TEST(HexRows, TheFirstFlagInOrderDecidesTheColourAndNextErrorWraps) {
    EXPECT_EQ(ColourOf(EntryAbsent | EntryMismatch), ByteColour::kAbsent);
    EXPECT_EQ(ColourOf(EntryVerified | EntryMismatch), ByteColour::kVerified);
    EXPECT_EQ(ColourOf(EntryMismatch), ByteColour::kMismatch);
    EXPECT_EQ(ColourOf(0), ByteColour::kPresent);

    MemoryImage image;
    Fill(image, 0x1000, 0x10FF);
    Fill(image, 0xF000, 0xF00F);
    Rows rows = BuildHexRows(image);
    EXPECT_FALSE(NextErrorRow(image, rows, 0).has_value());
    image.ModifyFlags(0xF004, 1, EntryMismatch, 0);
    EXPECT_EQ(NextErrorRow(image, rows, 3), std::optional<size_t>(16));
    EXPECT_EQ(NextErrorRow(image, rows, 16),
              std::optional<size_t>(16));  // the search starts at the given row
    image.ModifyFlags(0x1020, 1, EntryMismatch, 0);
    EXPECT_EQ(NextErrorRow(image, rows, 16), std::optional<size_t>(16));
    EXPECT_EQ(NextErrorRow(image, rows, 5), std::optional<size_t>(16));
    EXPECT_EQ(NextErrorRow(image, rows, 0), std::optional<size_t>(2));
    EXPECT_FALSE(NextErrorRow(image, Rows{}, 0).has_value());
}

TEST(WindowModel, EnablingFollowsBusyAndTheImage) {
    for (unsigned id : {kCmdProgram, kCmdVerify, kCmdAuto, kCmdSave}) {
        EXPECT_FALSE(IsCommandEnabled(id, false, true)) << std::hex << id;  // no image
        EXPECT_TRUE(IsCommandEnabled(id, false, false)) << std::hex << id;
    }
    for (unsigned id :
         {kCmdErase, kCmdRead, kCmdDumpRam, kCmdDumpBsl, kCmdDumpDeviceId, kCmdOpen, kCmdSetup}) {
        EXPECT_TRUE(IsCommandEnabled(id, false, true)) << std::hex << id;
        EXPECT_FALSE(IsCommandEnabled(id, true, false)) << std::hex << id;
    }
    EXPECT_FALSE(IsCommandEnabled(kCmdAbort, false, false));
    EXPECT_TRUE(IsCommandEnabled(kCmdAbort, true, true));
    EXPECT_TRUE(IsCommandEnabled(kCmdNextError, true, true));  // outside the table
    EXPECT_EQ(FindCommand(kCmdRead)->action, kActionRead);
}

TEST(WindowModel, TitleLogLineScrollAndSizes) {
    EXPECT_EQ(WindowTitle("C:\\fw\\blink.txt", false), "QUARZO - [blink.txt]");
    EXPECT_EQ(WindowTitle("/tmp/a.hex", true), "QUARZO - [a.hex*]");
    EXPECT_EQ(WindowTitle("", false), "QUARZO - []");
    EXPECT_EQ(LogLineText(9, 5, 7, "Load failed"), "09:05:07  Load failed\n");
    EXPECT_EQ(LogScrollLines(30, 0, 10), 21);
    EXPECT_EQ(LogScrollLines(5, 0, 10), 0);
    EXPECT_EQ(LogScrollLines(30, 0, 0), 0);
    int packed = PackWinSize(541, 529);
    EXPECT_EQ(packed, 34669085);
    EXPECT_EQ(WinSizeWidth(packed), 541);
    EXPECT_EQ(WinSizeHeight(packed), 529);

    // A part the device list lacks, by the name its adapter gave it, with its 20-bit main end whole.
    DeviceInfo device;
    EXPECT_EQ(IdentifiedDeviceText(device), "");
    device.SetName("MSP430F5529");
    device.SetInfoStart(0x1800);
    device.SetInfoEnd(0x19FF);
    device.SetMainStart(0x4400);
    device.SetMainEnd(0x243FF);
    EXPECT_EQ(IdentifiedDeviceText(device), "MSP430F5529: Info 0x1800-0x19FF, Main 0x4400-0x243FF");
}

TEST(WindowModel, LayoutArithmeticAtEveryScale) {
    const struct {
        int dpi;
        int width, height, bar, minimum;
    } scales[] = {
        {96, 541, 529, 5, 40}, {120, 676, 661, 6, 50}, {144, 812, 794, 8, 60}, {192, 1082, 1058, 10, 80}};
    for (const auto& s : scales) {
        EXPECT_EQ(WinSizeWidth(FirstStartWinSize(s.dpi)), s.width) << s.dpi;
        EXPECT_EQ(WinSizeHeight(FirstStartWinSize(s.dpi)), s.height) << s.dpi;
        EXPECT_EQ(ScalePixels(kSplitterBar, s.dpi), s.bar);
        // The lower pane keeps its height; the upper pane takes the change but keeps its minimum.
        SplitLayout kept = LayOutSplit(400, 100, 150, s.dpi);
        EXPECT_EQ(kept.lowerHeight, 150) << s.dpi;
        EXPECT_EQ(kept.split, 400 - 150 - s.bar);
        SplitLayout squeezed = LayOutSplit(400, 100, 390, s.dpi);
        EXPECT_EQ(squeezed.split, s.minimum) << s.dpi;
        EXPECT_EQ(squeezed.split + s.bar + squeezed.lowerHeight, 400);
        SplitLayout fresh = LayOutSplit(400, 1000, -1, s.dpi);
        EXPECT_EQ(fresh.lowerHeight, s.minimum) << s.dpi;
    }
    EXPECT_EQ(FirstStartWinSize(96), kDefaultWinSize);  // 100% exactly as it was
    EXPECT_EQ(ScalePixels(14, 0), 14);                  // an unknown scale is 100%
}

TEST(WindowModel, ProgressRangesPastSixtyFourKilobytesStayWhole) {
    int low, high;
    auto packed = PackProgressRange(0x1100, 0xFFFF);
    ASSERT_TRUE(packed);
    EXPECT_EQ(*packed, 0xFFFF1100u);  // as the window always received it
    UnpackProgressRange(*packed, low, high);
    EXPECT_EQ(low, 0x1100);
    EXPECT_EQ(high, 0xFFFF);
    EXPECT_FALSE(PackProgressRange(0x1100, 0x1FFFF));  // sent whole instead of cut to 0xFFFF
    EXPECT_FALSE(PackProgressRange(-1, 6));
}

TEST(WindowModel, RecentFilesAndHandOver) {
    std::vector<std::string> files;
    for (int i = 0; i < 4; ++i) AddRecentFile(files, "f" + std::to_string(i), 3);
    EXPECT_EQ(files, (std::vector<std::string>{"f3", "f2", "f1"}));
    AddRecentFile(files, "f1", 3);
    EXPECT_EQ(files, (std::vector<std::string>{"f1", "f3", "f2"}));
    RemoveRecentFile(files, 1);
    RemoveRecentFile(files, 9);
    EXPECT_EQ(files, (std::vector<std::string>{"f1", "f2"}));
    EXPECT_EQ(RecentMenuText(0, "C:\\a.txt"), "&1 C:\\a.txt");
    EXPECT_EQ(DroppedFileToOpen({"C:\\a.txt", "C:\\b.hex", "C:\\c.bin"}),
              std::optional<std::string>("C:\\a.txt"));
    EXPECT_FALSE(DroppedFileToOpen({}).has_value());
    EXPECT_TRUE(FitsHandover(std::string(259, 'x')));
    EXPECT_FALSE(FitsHandover(std::string(260, 'x')));
}

}  // namespace
}  // namespace quarzo
