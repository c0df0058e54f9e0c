#include "core/settings_store.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace quarzo {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

class SettingsFile : public ::testing::Test {
protected:
    void Load(const std::string& text) {
        WriteFile(path_, text);
        ASSERT_TRUE(store_.LoadSettings(path_));
    }

    TempDir dir_;
    std::string path_ = dir_.File("quarzo.ini");
    SettingsStore store_;
};

// The defaults themselves are checked where they are written out, below; the conversions the settings
// pages and the console's --set make, with theirs.
TEST(SettingsStore, ValuesKeepToTheRecordsTypeOrAreLeftUnchanged) {
    SettingsStore s;
    EXPECT_EQ(s.GetIntSetting(kSetSaveWindow), 0);  // a boolean read as integer
    EXPECT_FALSE(s.GetBoolSetting(999));
    EXPECT_DOUBLE_EQ(s.GetDoubleSetting(kSetAutoprogram), 0.0);
    s.SetIntSetting(kSetSaveWindow, 0);  // not an integer: nothing happens
    EXPECT_TRUE(s.GetBoolSetting(kSetSaveWindow));
    EXPECT_FALSE(s.SetSettingFromVariant(kSetFetTargetVcc, std::string("3.3V")));
    EXPECT_DOUBLE_EQ(s.GetDoubleSetting(kSetFetTargetVcc), 3.2);
    EXPECT_FALSE(s.SetSettingFromVariant(kSetWinSplit, std::string("99999999999")));
    // 2.95 is 2.9499... in binary: the user's value, not the float's, is truncated to millivolts.
    for (auto [volts, millivolts] : {std::pair{2.95, 2950}, {3.3, 3300}, {1.001, 1001}, {2.9995, 2999}}) {
        EXPECT_EQ(VoltsToMillivolts(volts), millivolts) << volts;
    }
}

TEST_F(SettingsFile, SaveWithoutAFileWritesEveryKey) {
    std::string path = dir_.File("sub/quarzo.ini");
    ASSERT_TRUE(store_.SaveSettings(path));
    EXPECT_EQ(
        ReadFile(path),
        "[Application]\r\nSingle instance=-1\r\nSave window=-1\r\nWinSize=34669085\r\nWinSplit=270\r\n"
        "Erase INFO=-1\r\nAdapter=0\r\nAutoprogram=30\r\nDevice index=0\r\nAutodetect format=-1\r\n"
        "Remove gap=-1\r\n[IF_RAW]\r\nPort=0\r\nCustom address=49152\r\n[IF_FET]\r\nPort=3\r\n"
        "Apply VCC=-1\r\nTarget VCC=3.2\r\n[IF_BSL]\r\nPort=0\r\nPatch to v1.50=-1\r\n38400 baud=-1\r\n"
        "Keep port open=0\r\nPM=0\r\nTST invert=0\r\nRST invert=0\r\nRST delay=0\r\nPassword file=\r\n");
}

// The serial ports' devices come from their own section, and are written back there.
TEST_F(SettingsFile, LoadReadsSectionsCaseInsensitivelyAndKeepsDefaultsForBadValues) {
    Load(
        "[ports]\r\ncom2=/dev/ttyUSB0\r\nCOM3=\r\nCOM12=/dev/ttyACM0\r\nCOM256=/dev/ttyUSB9\r\n"
        "; my settings\r\n[application]\r\n  single INSTANCE = 0 \r\nSave window=abc\r\n"
        "[IF_RAW]\r\nRST delay=25\r\nPort=3\r\n[IF_BSL]\r\nrst delay=25\r\n"
        "[IF_FET]\r\nTarget VCC=2.95\r\nApply VCC=False\r\n");
    EXPECT_FALSE(store_.GetBoolSetting(kSetSingleInstance));
    EXPECT_TRUE(store_.GetBoolSetting(kSetSaveWindow));
    EXPECT_EQ(store_.GetIntSetting(kSetBslRstDelay), 25);
    EXPECT_EQ(store_.GetIntSetting(kSetRawPort), 3);
    EXPECT_EQ(store_.GetIntSetting(kSetBslPort), 0);
    EXPECT_DOUBLE_EQ(store_.GetDoubleSetting(kSetFetTargetVcc), 2.95);
    EXPECT_FALSE(store_.GetBoolSetting(kSetFetApplyVcc));
    EXPECT_EQ(store_.serialPorts[1], "/dev/ttyUSB0");
    EXPECT_EQ(store_.serialPorts[2], "/dev/ttyS2");  // an empty value keeps the default
    EXPECT_EQ(store_.serialPorts[8], "");            // above COM8 there is no default
    EXPECT_EQ(store_.serialPorts[11], "/dev/ttyACM0");
    EXPECT_EQ(store_.serialPorts[255], "/dev/ttyUSB9");
    ASSERT_TRUE(store_.SaveSettings(path_));
    EXPECT_EQ(ReadFile(path_).rfind("[ports]\r\ncom2=/dev/ttyUSB0\r\nCOM3=\r\n", 0), 0u);
}

TEST_F(SettingsFile, SaveKeepsOtherSectionsCommentsAndSpacing) {
    Load(
        "; keep me\r\n[Mine]\r\nx = 1\r\n\r\n[IF_BSL]\r\n  RST delay = 7\r\n; "
        "note\r\n\r\n[Other]\r\ny=2\r\n");
    store_.SetIntSetting(kSetBslRstDelay, 9);
    ASSERT_TRUE(store_.SaveSettings(path_));
    std::string text = ReadFile(path_);
    EXPECT_EQ(text.rfind("; keep me\r\n[Mine]\r\nx = 1\r\n\r\n[IF_BSL]\r\nRST delay=9\r\n; note\r\n", 0), 0u)
        << text;
    EXPECT_NE(text.find("; note\r\nPort=0\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("RST invert=0\r\nPassword file=\r\n\r\n[Other]\r\ny=2\r\n"), std::string::npos)
        << text;
    EXPECT_EQ(dir_.EntryCount(), 1u);  // no temporary file left behind
}

// The count is clamped and gaps are skipped; a save replaces only the list's own section.
TEST_F(SettingsFile, RecentFiles) {
    const std::string section = "[Recent Document List]\r\nDocumentCount=";
    RecentFileList list;
    WriteFile(path_, section + "40\r\nDocument3=c.hex\r\nDocument1=a.txt\r\n");
    ASSERT_TRUE(LoadRecentFiles(path_, list));
    EXPECT_EQ(list.maximum, 16);
    EXPECT_EQ(list.files, (std::vector<std::string>{"a.txt", "c.hex"}));
    WriteFile(path_, section + "1\r\n");
    ASSERT_TRUE(LoadRecentFiles(path_, list));
    EXPECT_EQ(list.maximum, 2);
    RecentFileList fresh;
    WriteFile(path_, section + "many\r\nDocument1=x\r\n");
    ASSERT_TRUE(LoadRecentFiles(path_, fresh));
    EXPECT_EQ(fresh.maximum, 12);
    EXPECT_TRUE(fresh.files.empty());

    WriteFile(path_, section + "12\r\nDocument1=old\r\nDocument2=older\r\n[IF_BSL]\r\nPort=2\r\n");
    fresh.files = {"new.hex", "old"};
    ASSERT_TRUE(SaveRecentFiles(path_, fresh));
    EXPECT_EQ(ReadFile(path_),
              section + "12\r\nDocument2=old\r\nDocument1=new.hex\r\n[IF_BSL]\r\nPort=2\r\n");
}

}  // namespace
}  // namespace quarzo
