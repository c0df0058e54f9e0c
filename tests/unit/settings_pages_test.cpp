#include "ui/model/settings_pages.h"

#include <gtest/gtest.h>

namespace quarzo {
namespace {

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
    StoreAdapterPage(settings, page, 3);
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

TEST(SettingsPages, TheLoaderPortListAddsThePortsPresentAndTheStoredOne) {
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
}

// With a library since 3.0 the FET page offers what that library takes: TIUSB (the default) and the FETs
// it lists, each stored by its index; without such a list, the fixed four.
TEST(SettingsPages, TheFetPortListIsTheLibrarys) {
    SettingsStore settings;
    auto fixed = AdapterItems(settings, 1);
    EXPECT_EQ(Item(fixed, kSetFetPort).options, (std::vector<std::string>{"LPT1", "LPT2", "LPT3", "TIUSB"}));
    EXPECT_EQ(Item(fixed, kSetFetPort).choice, 3);
    auto page = AdapterItems(settings, 1, {}, {{3, "TIUSB"}, {4, "/dev/ttyACM0"}, {5, "/dev/ttyACM1"}});
    PropertyItem& port = Item(page, kSetFetPort);
    EXPECT_EQ(port.options, (std::vector<std::string>{"TIUSB", "/dev/ttyACM0", "/dev/ttyACM1"}));
    EXPECT_EQ(port.choice, 0);
    port.choice = 2;
    ASSERT_TRUE(StoreItem(settings, page, kSetFetPort));
    EXPECT_EQ(settings.GetIntSetting(kSetFetPort), 5);
}

}  // namespace
}  // namespace quarzo
