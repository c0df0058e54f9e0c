// What a person sees of quarzo.exe, checked through window messages under Wine.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "core/settings_store.h"
#include "quarzo_version.h"
#include "support/elf_builder.h"
#include "ui/drag_files.h"
#include "ui/model/window_model.h"
#include "ui/window_probe.h"

namespace quarzo::ui_test {
namespace {

const char kNullAdapter[] = "[Application]\r\nSingle instance=0\r\nAdapter=3\r\n";

class Ui : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = TempFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        WriteText(File("quarzo.ini"), kNullAdapter);
        WriteText(File("blink.txt"), ReadText(QUARZO_SOURCE_DIR "/examples/blink.txt"));
    }
    std::string File(const std::string& name) const { return folder_ + "\\" + name; }
    void Shot(const std::string& name) {
        const char* folder = std::getenv("QUARZO_SCREENSHOTS");
        if (folder && *folder) SaveScreenshot(std::string(folder) + "\\" + name + ".bmp");
    }

    std::string folder_;
};

// Drags files from outside onto the middle of the hex view; the drop effect.
DWORD DropOnHexView(HWND frame, const std::vector<std::string>& files) {
    Settle(frame);
    RECT list;
    GetWindowRect(HexList(frame), &list);
    POINT middle{(list.left + list.right) / 2, (list.top + list.bottom) / 2};
    return DragFilesOnto(files, middle);
}

TEST_F(Ui, AFileOnTheCommandLineLoadsAndRunsNothing) {
    QuarzoProcess quarzo(folder_, "blink.txt");
    HWND frame = quarzo.Window();
    ASSERT_NE(frame, nullptr);
    ASSERT_TRUE(WaitForLog(frame, "Load 61184 bytes."));
    EXPECT_TRUE(WaitForTitle(frame, "QUARZO - [blink.txt]")) << TitleOf(frame);
    EXPECT_EQ(LogText(frame).find("Initialize..."), std::string::npos);
    EXPECT_EQ(SendMessageA(HexList(frame), LB_GETCOUNT, 0, 0), 4);  // 1100, 1110, FFE0, FFF0
    Settle(frame);
    EXPECT_TRUE(ButtonEnabled(frame, kCmdProgram));
    EXPECT_TRUE(ButtonEnabled(frame, kCmdAuto));
    EXPECT_FALSE(ButtonEnabled(frame, kCmdAbort));
    Shot("main-window-after-load");
}

TEST_F(Ui, AnEmptyImageDisablesWhatNeedsOne) {
    QuarzoProcess quarzo(folder_, "");
    HWND frame = quarzo.Window();
    ASSERT_NE(frame, nullptr);
    Settle(frame);
    EXPECT_EQ(TitleOf(frame), "QUARZO - []");
    // Wine keeps menus inside their process, so the toolbar, which follows the same table in the same
    // idle pass, is what is read here.
    for (unsigned id : {kCmdProgram, kCmdVerify, kCmdAuto, kCmdSave}) {
        EXPECT_FALSE(ButtonEnabled(frame, id)) << std::hex << id;
    }
    for (unsigned id : {kCmdErase, kCmdRead, kCmdBlankCheck, kCmdReset, kCmdOpen, kCmdSetup}) {
        EXPECT_TRUE(ButtonEnabled(frame, id)) << std::hex << id;
    }
    EXPECT_FALSE(ButtonEnabled(frame, kCmdAbort));
    EXPECT_EQ(SendMessageA(HexList(frame), LB_GETCOUNT, 0, 0), 0);
}

TEST_F(Ui, DroppingThreeFilesOpensTheFirst) {
    WriteText(File("second.hex"), ":0400000001020304F2\r\n:00000001FF\r\n");
    WriteText(File("third.bin"), "abc");
    QuarzoProcess quarzo(folder_, "");
    HWND frame = quarzo.Window();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(DropOnHexView(frame, {File("blink.txt"), File("second.hex"), File("third.bin")}),
              static_cast<DWORD>(DROPEFFECT_COPY));
    EXPECT_TRUE(WaitForTitle(frame, "QUARZO - [blink.txt]")) << TitleOf(frame);
    EXPECT_TRUE(WaitForLog(frame, "Loading TI TXT file"));
    EXPECT_EQ(LogText(frame).find("second.hex"), std::string::npos);
    EXPECT_EQ(LogText(frame).find("third.bin"), std::string::npos);
}

TEST_F(Ui, ADroppedElfFileLoadsAtItsLoadAddresses) {
    // One segment of two rows at 0xE000, built as a compiler would lay out an ELF executable, and a row
    // at the top of the 1 MB address space, which the view shows with five-digit addresses.
    std::string elf = testing::ElfBuilder()
                          .Add(0xE000, std::vector<uint8_t>(32, 0x3C))
                          .Add(0xFFFF0, std::vector<uint8_t>(16, 0x41))
                          .Build();
    WriteText(File("firmware.elf"), elf);
    QuarzoProcess quarzo(folder_, "");
    HWND frame = quarzo.Window();
    ASSERT_NE(frame, nullptr);
    DropOnHexView(frame, {File("firmware.elf")});
    EXPECT_TRUE(WaitForTitle(frame, "QUARZO - [firmware.elf]")) << TitleOf(frame);
    EXPECT_TRUE(WaitForLog(frame, "Load 991232 bytes."));
    EXPECT_EQ(SendMessageA(HexList(frame), LB_GETCOUNT, 0, 0), 3);
    Settle(frame);
    Shot("hex-view-up-to-the-top-of-the-address-space");
}

TEST_F(Ui, ACommandLineRunWithTheNullAdapterLogsEveryStep) {
    QuarzoProcess quarzo(folder_, "+ebpv blink.txt -pi");
    HWND frame = quarzo.Window();
    ASSERT_NE(frame, nullptr);
    ASSERT_TRUE(WaitForLog(frame, "Verify complete."));
    std::string log = LogText(frame);
    size_t at = 0;
    for (const char* line :
         {"Command line: +ebpv blink.txt -pi", "Loading TI TXT file \"blink.txt\"...", "Initialize...",
          "Erasing flash memory...", "Erase complete.", "Blank check device memory...",
          "Blank check complete.", "Programming the device memory...", "Program complete.",
          "Verifying device memory programming...", "Verify complete."}) {
        size_t found = log.find(line, at);
        ASSERT_NE(found, std::string::npos) << line << "\n" << log;
        at = found;
    }
    Settle(frame);
    EXPECT_TRUE(ButtonEnabled(frame, kCmdRead));
    EXPECT_EQ(TitleOf(frame), "QUARZO - [blink.txt]");
}

TEST_F(Ui, SingleInstanceHandsTheCommandLineToTheRunningWindow) {
    WriteText(File("quarzo.ini"), "[Application]\r\nSingle instance=-1\r\nAdapter=3\r\n");
    QuarzoProcess first(folder_, "");
    HWND frame = first.Window();
    ASSERT_NE(frame, nullptr);
    Settle(frame);
    QuarzoProcess second(folder_, "+e");
    EXPECT_EQ(second.WaitForExit(10000), 0);
    EXPECT_TRUE(WaitForLog(frame, "Command line: +e"));
    EXPECT_TRUE(WaitForLog(frame, "Erase complete."));
    EXPECT_EQ(MainWindows().size(), 1u);

    // A command line too long for the shared block is not cut short: that start runs its own window.
    QuarzoProcess third(folder_, "+r " + std::string(300, 'x'));
    HWND own = third.Window();
    EXPECT_NE(own, nullptr);
    EXPECT_NE(own, frame);
}

TEST_F(Ui, WithoutSingleInstanceBothWindowsRun) {
    QuarzoProcess first(folder_, "");
    ASSERT_NE(first.Window(), nullptr);
    QuarzoProcess second(folder_, "+e");
    HWND frame = second.Window();
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(WaitForLog(frame, "Erase complete."));
    EXPECT_EQ(MainWindows().size(), 2u);
}

TEST_F(Ui, ClosingExitsWithOneAndWritesTheSettings) {
    QuarzoProcess quarzo(folder_, "");
    HWND frame = quarzo.Window();
    ASSERT_NE(frame, nullptr);
    Settle(frame);
    PostMessageA(frame, WM_CLOSE, 0, 0);
    EXPECT_EQ(quarzo.WaitForExit(10000), 1);
    std::string ini = ReadText(File("quarzo.ini"));
    EXPECT_NE(ini.find("WinSize="), std::string::npos) << ini;
    EXPECT_NE(ini.find("Device index=0"), std::string::npos) << ini;
    EXPECT_NE(ini.find("[IF_BSL]"), std::string::npos) << ini;
}

TEST_F(Ui, TheSettingsDialogStoresWhatTheUserEdits) {
    WriteText(File("quarzo.ini"), "[Application]\r\nSingle instance=0\r\nAdapter=2\r\n");
    QuarzoProcess quarzo(folder_, "");
    HWND frame = quarzo.Window();
    ASSERT_NE(frame, nullptr);
    HWND dialog = OpenDialogFrom(frame, kCmdSetup, "Settings");
    ASSERT_NE(dialog, nullptr);
    HWND page = GetDlgItem(dialog, 1019), global = GetDlgItem(dialog, 1020),
         adapter = GetDlgItem(dialog, 1021);
    EXPECT_EQ(ListStrings(page),
              (std::vector<std::string>{"Port", "Patch to v1.50", "38400 baud", "Keep port open",
                                        "TST invert", "RST invert", "RST delay", "Password file"}));
    EXPECT_EQ(SendMessageA(adapter, CB_GETCURSEL, 0, 0), 2);
    Shot("settings-dialog");

    EXPECT_TRUE(EditProperty(page, 6, "40"));   // RST delay (a value out of range is refused: settings_pages_test)
    EXPECT_TRUE(ChooseProperty(page, 3, 1));    // Keep port open: True
    ToggleProperty(global, 6);                  // Erase off
    ToggleProperty(global, 7);                  // Blank Check off: Program and Verify stay
    // To the FET library's page and back: the BSL values edited so far are kept.
    SendMessageA(adapter, CB_SETCURSEL, 1, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(1021, CBN_SELCHANGE), reinterpret_cast<LPARAM>(adapter));
    EXPECT_EQ(ListStrings(page), (std::vector<std::string>{"Port", "Apply VCC", "Target VCC"}));
    SendMessageA(adapter, CB_SETCURSEL, 2, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(1021, CBN_SELCHANGE), reinterpret_cast<LPARAM>(adapter));
    EXPECT_EQ(SendMessageA(page, LB_GETCOUNT, 0, 0), 8);
    ASSERT_TRUE(PressAndWaitGone(dialog, IDOK));
    std::string ini = ReadText(File("quarzo.ini"));
    EXPECT_NE(ini.find("RST delay=40\r\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Keep port open=-1\r\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Autoprogram=24\r\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Adapter=2\r\n"), std::string::npos) << ini;

    dialog = OpenDialogFrom(frame, kCmdSetup, "Settings");
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(EditProperty(GetDlgItem(dialog, 1019), 6, "25"));
    ASSERT_TRUE(PressAndWaitGone(dialog, IDOK));
    EXPECT_NE(ReadText(File("quarzo.ini")).find("RST delay=25\r\n"), std::string::npos);
}

TEST_F(Ui, WithTheNullAdapterTheSettingsShowNoAdapterPage) {
    QuarzoProcess quarzo(folder_, "");
    HWND frame = quarzo.Window();
    ASSERT_NE(frame, nullptr);
    HWND dialog = OpenDialogFrom(frame, kCmdSetup, "Settings");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(SendDlgItemMessageA(dialog, 1021, CB_GETCURSEL, 0, 0), CB_ERR);
    EXPECT_EQ(SendDlgItemMessageA(dialog, 1019, LB_GETCOUNT, 0, 0), 0);
    ASSERT_TRUE(PressAndWaitGone(dialog, IDOK));
    EXPECT_NE(ReadText(File("quarzo.ini")).find("Adapter=3\r\n"), std::string::npos);
}

TEST_F(Ui, TheAboutBoxShowsTheVersionAndItsLinks) {
    QuarzoProcess quarzo(folder_, "");
    HWND frame = quarzo.Window();
    ASSERT_NE(frame, nullptr);
    HWND about = OpenDialogFrom(frame, kCmdAbout, "About");
    ASSERT_NE(about, nullptr);
    char text[128] = "";
    GetDlgItemTextA(about, 1042, text, sizeof text);
    EXPECT_STREQ(text, "version " QUARZO_VERSION_TEXT);
    auto atom =
        static_cast<ATOM>(reinterpret_cast<uintptr_t>(GetPropA(GetDlgItem(about, 1040), "QuarzoLinkTarget")));
    char target[256] = "";
    GlobalGetAtomNameA(atom, target, sizeof target);
    std::string mail = target;
    EXPECT_EQ(mail.rfind("mailto:", 0), 0u) << mail;
    EXPECT_EQ(mail.substr(mail.rfind('=') + 1), "QUARZO_" QUARZO_VERSION_TEXT) << mail;
    Shot("about-box");
    EXPECT_TRUE(PressAndWaitGone(about, IDOK));
}

// Needs quarzo-sim's pseudo-terminal mapped to COM1 in the Wine prefix (scripts/wine-tests.sh).
TEST_F(Ui, TheSerialLoaderForRealAndMismatchRowsInRed) {
    if (!std::getenv("QUARZO_UI_COM1")) GTEST_SKIP() << "no simulated target on COM1";
    {
        QuarzoProcess quarzo(folder_, "+ebpv blink.txt -BSL=COM1");
        HWND frame = quarzo.Window();
        ASSERT_NE(frame, nullptr);
        ASSERT_TRUE(WaitForLog(frame, "Verify complete.", 60000)) << LogText(frame);
        // The window lets the port go when it closes; the next start needs it.
        PostMessageA(frame, WM_CLOSE, 0, 0);
        EXPECT_EQ(quarzo.WaitForExit(15000), 1);
    }

    // A different program verified against the chip: one byte differs in the row at 0x1110, and a block
    // of erased bytes at 0x8000 matches. Rows: 1100, 1110, 8000 to 83F0, FFE0, FFF0.
    std::string other = ReadText(File("blink.txt"));
    other.replace(other.find("21 00 3F"), 8, "21 00 3E");
    std::string erased = "@8000\r\n";
    for (int line = 0; line < 64; ++line) {
        for (int i = 0; i < 16; ++i) erased += i ? " FF" : "FF";
        erased += "\r\n";
    }
    other.insert(other.find("@FFE0"), erased);
    WriteText(File("other.txt"), other);
    QuarzoProcess verify(folder_, "+v other.txt -BSL=COM1");
    HWND frame = verify.Window();
    ASSERT_NE(frame, nullptr);
    ASSERT_TRUE(WaitForLog(frame, "Verify failed. Found 1 errors", 60000)) << LogText(frame);
    Settle(frame);
    HWND list = HexList(frame);
    ASSERT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 68);
    // From the middle of the list the search runs to the end, wraps, and finds the row at 0x1110.
    SendMessageA(list, LB_SETTOPINDEX, 20, 0);
    SendMessageA(HexDialog(frame), WM_COMMAND, kCmdNextError, 0);
    EXPECT_EQ(SendMessageA(list, LB_GETTOPINDEX, 0, 0), 1);
    SendMessageA(HexDialog(frame), WM_COMMAND, kCmdNextError, 0);
    EXPECT_EQ(SendMessageA(list, LB_GETTOPINDEX, 0, 0), 1);
    SendMessageA(list, LB_SETTOPINDEX, 0, 0);
    Settle(frame);
    Shot("main-window-after-verify-with-marks");
}

// Needs quarzo-sim's pseudo-terminal mapped to COM12 as well (scripts/wine-tests.sh): ports above
// COM9 open only under their device name "\\.\COMn".
TEST_F(Ui, APortAboveCom8ProgramsAndIsOfferedInTheSettings) {
    if (!std::getenv("QUARZO_UI_COM1")) GTEST_SKIP() << "no simulated target on COM12";
    {
        QuarzoProcess quarzo(folder_, "+ebpv blink.txt -BSL=COM12");
        HWND frame = quarzo.Window();
        ASSERT_NE(frame, nullptr);
        ASSERT_TRUE(WaitForLog(frame, "Verify complete.", 60000)) << LogText(frame);
        PostMessageA(frame, WM_CLOSE, 0, 0);
        EXPECT_EQ(quarzo.WaitForExit(15000), 1);
    }
    QuarzoProcess quarzo(folder_, "");
    HWND frame = quarzo.Window();
    ASSERT_NE(frame, nullptr);
    HWND dialog = OpenDialogFrom(frame, kCmdSetup, "Settings");
    ASSERT_NE(dialog, nullptr);
    HWND page = GetDlgItem(dialog, 1019), adapter = GetDlgItem(dialog, 1021);
    SendMessageA(adapter, CB_SETCURSEL, 2, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(1021, CBN_SELCHANGE), reinterpret_cast<LPARAM>(adapter));
    // COM1 to COM8, then the ports the system has above them: COM12 is the ninth choice.
    EXPECT_TRUE(ChooseProperty(page, 0, 8));
    ASSERT_TRUE(PressAndWaitGone(dialog, IDOK));
    std::string ini = ReadText(File("quarzo.ini"));
    EXPECT_NE(ini.find("[IF_BSL]\r\nPort=11\r\n"), std::string::npos) << ini;
}

// The window at the display scale Wine runs with (QUARZO_UI_DPI, set by scripts/wine-tests.sh): a first
// start opens at the default scaled, the memory view's text and the toolbar grow, nothing overlaps.
TEST_F(Ui, TheWindowFollowsTheDisplayScale) {
    const char* setting = std::getenv("QUARZO_UI_DPI");
    int dpi = setting && *setting ? std::atoi(setting) : kBaseDpi;
    QuarzoProcess quarzo(folder_, "blink.txt");
    HWND frame = quarzo.Window();
    ASSERT_NE(frame, nullptr);
    ASSERT_TRUE(WaitForTitle(frame, "QUARZO - [blink.txt]"));
    Settle(frame);
    RECT window;
    GetWindowRect(frame, &window);
    EXPECT_EQ(window.right - window.left, ScalePixels(kDefaultWinWidth, dpi));
    EXPECT_EQ(window.bottom - window.top, ScalePixels(kDefaultWinHeight, dpi));

    auto textHeight =
        static_cast<int>(reinterpret_cast<intptr_t>(GetPropA(HexList(frame), "QuarzoTextHeight")));
    EXPECT_GE(textHeight, ScalePixels(14, dpi) - 1);
    EXPECT_LE(textHeight, ScalePixels(17, dpi));
    int rowHeight = static_cast<int>(SendMessageA(HexList(frame), LB_GETITEMHEIGHT, 0, 0));
    EXPECT_GE(rowHeight, ScalePixels(13, dpi) - 1);
    DWORD button = static_cast<DWORD>(SendMessageA(Toolbar(frame), TB_GETBUTTONSIZE, 0, 0));
    EXPECT_GE(static_cast<int>(LOWORD(button)), ScalePixels(24, dpi));
    EXPECT_GE(static_cast<int>(HIWORD(button)), ScalePixels(24, dpi));

    // Every visible control of the window, pairwise: no two overlap.
    std::vector<HWND> controls{Toolbar(frame), StatusBar(frame), HexList(frame)};
    HWND logPane = nullptr;  // the one pane left: the device list, its summary and the log
    for (HWND child = GetWindow(frame, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        bool known = child == HexDialog(frame) || child == Toolbar(frame) || child == StatusBar(frame);
        if (!known && IsWindowVisible(child)) logPane = child;
    }
    ASSERT_NE(logPane, nullptr);
    for (HWND child = GetWindow(logPane, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (IsWindowVisible(child)) controls.push_back(child);
    }
    ASSERT_GE(controls.size(), 6u);  // toolbar, status bar, memory view, device list, summary, log
    for (size_t i = 0; i < controls.size(); ++i) {
        for (size_t k = i + 1; k < controls.size(); ++k) {
            RECT a, b, both;
            GetWindowRect(controls[i], &a);
            GetWindowRect(controls[k], &b);
            EXPECT_FALSE(IntersectRect(&both, &a, &b)) << "controls " << i << " and " << k << " overlap";
        }
    }
    Shot("main-window");
}

}  // namespace
}  // namespace quarzo::ui_test
