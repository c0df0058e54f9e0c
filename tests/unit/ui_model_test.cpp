#include <gtest/gtest.h>

#include "core/memory_image.h"
#include "core/settings_store.h"
#include "ui/model/hex_rows.h"
#include "ui/model/settings_pages.h"
#include "ui/model/window_model.h"

namespace quarzo {
namespace {

using Rows = std::vector<uint32_t>;

void Fill(MemoryImage& image, uint32_t from, uint32_t to, uint8_t value = 0x55) {
    for (uint32_t a = from; a <= to; ++a) image.SetByte(a, value);
}

TEST(HexRows, RowsStartAtTheLowestAddressSkipEmptySpansAndShowTheFlags) {
    MemoryImage image;
    EXPECT_TRUE(BuildHexRows(image).empty());
    Fill(image, 0x1001, 0x1003);
    image.SetByte(0x1005, 0x01);
    EXPECT_EQ(BuildHexRows(image), Rows{0x1001});
    HexRow row = FormatHexRow(image, 0x1001);
    EXPECT_EQ(row.address, "1001");
    EXPECT_EQ(row.bytes[2], "55");
    EXPECT_EQ(row.colours[2], ByteColour::kPresent);
    EXPECT_EQ(row.bytes[3], "FF");
    EXPECT_EQ(row.colours[3], ByteColour::kAbsent);
    EXPECT_EQ(row.characters.substr(0, 3), "UUU");
    EXPECT_EQ(row.characters[4], '.');  // a control character

    MemoryImage gap;
    Fill(gap, 0x1000, 0x100F);
    Fill(gap, 0xF000, 0xF00F);
    EXPECT_EQ(BuildHexRows(gap), (Rows{0x1000, 0xF000}));
    // Up to the top of the address space; every row of such an image has five digits.
    Fill(gap, 0xFFFF0, 0xFFFFF);
    EXPECT_EQ(BuildHexRows(gap), (Rows{0x1000, 0xF000, 0xFFFF0}));
    EXPECT_EQ(FormatHexRow(gap, 0x1000).address, "01000");
    EXPECT_EQ(FormatHexRow(gap, 0xFFFF0).address, "FFFF0");

    // The first flag in order decides the colour.
    EXPECT_EQ(ColourOf(EntryAbsent | EntryMismatch), ByteColour::kAbsent);
    EXPECT_EQ(ColourOf(EntryVerified | EntryMismatch), ByteColour::kVerified);
    EXPECT_EQ(ColourOf(EntryMismatch), ByteColour::kMismatch);
}

TEST(HexRows, NextErrorSearchesFromTheGivenRow) {
    MemoryImage image;
    Fill(image, 0x1000, 0x10FF);
    Fill(image, 0xF000, 0xF00F);
    Rows rows = BuildHexRows(image);
    EXPECT_FALSE(NextErrorRow(image, rows, 0).has_value());
    image.ModifyFlags(0xF004, 1, EntryMismatch, 0);
    image.ModifyFlags(0x1020, 1, EntryMismatch, 0);
    // The search starts at the given row.
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
}

TEST(WindowModel, TitleLogLineScrollAndSizes) {
    EXPECT_EQ(WindowTitle("C:\\fw\\blink.txt", false), "QUARZO - [blink.txt]");
    EXPECT_EQ(WindowTitle("/tmp/a.hex", true), "QUARZO - [a.hex*]");
    EXPECT_EQ(WindowTitle("", false), "QUARZO - []");
    EXPECT_EQ(LogLineText(9, 5, 7, "Load failed"), "09:05:07  Load failed\n");
    EXPECT_EQ(LogScrollLines(30, 0, 10), 21);
    EXPECT_EQ(LogScrollLines(5, 0, 10), 0);
    EXPECT_EQ(LogScrollLines(30, 0, 0), 0);

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
    EXPECT_EQ(ScalePixels(14, 0), 14);  // an unknown scale is 100%
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

std::vector<std::string> Names(const std::vector<PropertyItem>& items) {
    std::vector<std::string> names;
    for (const PropertyItem& item : items) names.push_back(item.name);
    return names;
}

PropertyItem& Item(std::vector<PropertyItem>& items, int id) {
    for (PropertyItem& item : items) {
        if (item.id == id) return item;
    }
    std::abort();
}

TEST(SettingsPages, EachAdapterHasItsPageAndTheChecksHoldTheAutoprogramBits) {
    SettingsStore settings;
    const std::pair<int, std::vector<std::string>> pages[] = {
        {0, {"Port", "Custom address"}},
        {1, {"Port", "Apply VCC", "Target VCC"}},
        {2,
         {"Port", "Patch to v1.50", "38400 baud", "Keep port open", "TST invert", "RST invert", "RST delay",
          "Password file"}},
        {3, {}},
    };
    for (const auto& [adapter, names] : pages) EXPECT_EQ(Names(AdapterItems(settings, adapter)), names);
    auto fet = AdapterItems(settings, 1);
    EXPECT_EQ(Item(fet, kSetFetApplyVcc).kind, PropertyKind::kBoolean);
    EXPECT_EQ(Item(fet, kSetFetApplyVcc).choice, 1);
    EXPECT_EQ(Item(fet, kSetFetTargetVcc).text, "3.2");

    auto global = GlobalItems(settings);
    EXPECT_EQ(Names(global), (std::vector<std::string>{"Application", "Single instance", "Save window",
                                                       "Erase INFO", "Autoprogram", "Reload file", "Erase",
                                                       "Blank Check", "Program", "Verify"}));
    EXPECT_EQ(AutoprogramFromItems(global), 30);  // the default: everything but Reload
    EXPECT_EQ(HelpForItem(settings, kSetAutoprogram).description, "Autoprogram operations flow");
    EXPECT_TRUE(HelpForItem(settings, kAutoprogramCheckBase + 8).key.empty());
}

TEST(SettingsPages, StoringConvertsOrLeavesTheValue) {
    SettingsStore settings;
    settings.SetIntSetting(kSetAdapter, 2);
    auto page = AdapterItems(settings, 2);
    Item(page, kSetBslRstDelay).text = "abc";
    Item(page, kSetBslKeepPortOpen).choice = 1;
    Item(page, kSetBslPort).choice = 4;
    auto global = GlobalItems(settings);
    for (PropertyItem& item : global) {
        if (item.kind == PropertyKind::kCheck)
            item.choice = item.id == kAutoprogramCheckBase + 8 || item.id == kAutoprogramCheckBase + 16;
    }
    Item(global, kSetSingleInstance).choice = 0;
    EXPECT_EQ(StoreSettingsPages(settings, global, page), "RST delay: \"abc\" is not a valid value");
    EXPECT_EQ(settings.GetIntSetting(kSetBslRstDelay), 0);
    EXPECT_TRUE(settings.GetBoolSetting(kSetBslKeepPortOpen));
    EXPECT_EQ(settings.GetIntSetting(kSetBslPort), 4);
    EXPECT_EQ(settings.GetIntSetting(kSetAutoprogram), 24);
    EXPECT_FALSE(settings.GetBoolSetting(kSetSingleInstance));

    Item(page, kSetBslRstDelay).text = "25";
    StoreAdapterPage(settings, page, 2);
    EXPECT_EQ(settings.GetIntSetting(kSetBslRstDelay), 25);
    EXPECT_FALSE(StoreItem(settings, page, kSetFetApplyVcc));  // not on this page

    // A page is stored only under its own adapter.
    StoreAdapterPage(settings, page, 1);
    EXPECT_EQ(settings.GetIntSetting(kSetFetPort), 3);  // the default, TIUSB

    // A value no adapter can use is refused with its range; the rest of the page is stored.
    auto fet = AdapterItems(settings, 1);
    Item(fet, kSetFetTargetVcc).text = "5";
    Item(fet, kSetFetApplyVcc).choice = 0;
    EXPECT_EQ(StoreAdapterPage(settings, fet, 1), "Target VCC: \"5\" is not within 1.8 to 3.6");
    EXPECT_DOUBLE_EQ(settings.GetDoubleSetting(kSetFetTargetVcc), 3.2);
    EXPECT_FALSE(settings.GetBoolSetting(kSetFetApplyVcc));
    Item(fet, kSetFetTargetVcc).text = "3.6";
    EXPECT_EQ(StoreAdapterPage(settings, fet, 1), "");
    EXPECT_DOUBLE_EQ(settings.GetDoubleSetting(kSetFetTargetVcc), 3.6);
}

TEST(SettingsPages, PortListsOfferThePortsPresentAndKeepTheStoredOne) {
    SettingsStore settings;
    settings.SetIntSetting(kSetBslPort, 19);  // COM20, which is not plugged in now
    auto page = AdapterItems(settings, 2, {0, 3, 11, 11, 300});
    PropertyItem& port = Item(page, kSetBslPort);
    EXPECT_EQ(port.options, (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7",
                                                      "COM8", "COM12", "COM20"}));
    EXPECT_EQ(port.choice, 9);  // the stored port stays selected
    port.choice = 8;
    ASSERT_TRUE(StoreItem(settings, page, kSetBslPort));
    EXPECT_EQ(settings.GetIntSetting(kSetBslPort), 11);  // COM12 is stored as its port index

    // Nothing present above COM8 and a classic port stored: the list of eight, as before.
    settings.SetIntSetting(kSetBslPort, 2);
    page = AdapterItems(settings, 2);
    EXPECT_EQ(Item(page, kSetBslPort).options.size(), 8u);
    EXPECT_EQ(Item(page, kSetBslPort).choice, 2);
    Item(page, kSetBslPort).choice = 8;  // past the list: nothing stored
    EXPECT_FALSE(StoreItem(settings, page, kSetBslPort));
    EXPECT_EQ(settings.GetIntSetting(kSetBslPort), 2);

    // With a library since 3.0 the FET page offers what that library takes: TIUSB (the default) and the
    // FETs it lists, each stored by its index; without such a list, the fixed four.
    auto fixed = AdapterItems(settings, 1);
    EXPECT_EQ(Item(fixed, kSetFetPort).options, (std::vector<std::string>{"LPT1", "LPT2", "LPT3", "TIUSB"}));
    EXPECT_EQ(Item(fixed, kSetFetPort).choice, 3);
    auto fets = AdapterItems(settings, 1, {}, {{3, "TIUSB"}, {4, "/dev/ttyACM0"}, {5, "/dev/ttyACM1"}});
    EXPECT_EQ(Item(fets, kSetFetPort).options,
              (std::vector<std::string>{"TIUSB", "/dev/ttyACM0", "/dev/ttyACM1"}));
    EXPECT_EQ(Item(fets, kSetFetPort).choice, 0);
    Item(fets, kSetFetPort).choice = 2;
    ASSERT_TRUE(StoreItem(settings, fets, kSetFetPort));
    EXPECT_EQ(settings.GetIntSetting(kSetFetPort), 5);
}

}  // namespace
}  // namespace quarzo
