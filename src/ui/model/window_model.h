#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/action_flags.h"
#include "core/device_info.h"

namespace quarzo {

// Command ids of the main window.
enum CommandId : unsigned {
    kCmdAuto = 0x800D,
    kCmdErase = 0x800E,
    kCmdBlankCheck = 0x800F,
    kCmdProgram = 0x8010,
    kCmdVerify = 0x8011,
    kCmdRead = 0x8012,
    kCmdReset = 0x8013,
    kCmdAdapterInfo = 0x8014,
    kCmdSecure = 0x8015,
    kCmdDumpDeviceId = 0x8016,
    kCmdDumpRam = 0x8017,
    kCmdAbort = 0x8018,
    kCmdDumpBsl = 0x8019,
    kCmdUpdateFirmware = 0x801A,
    kCmdSetup = 0x8086,
    kCmdClearLog = 0x8088,
    kCmdNextError = 0x808C,
    kCmdCommandLineHelp = 0x8092,
    kCmdOpen = 0xE101,
    kCmdSave = 0xE103,
    kCmdRecentFirst = 0xE110,
    kCmdRecentLast = 0xE11F,
    kCmdCopy = 0xE122,
    kCmdAbout = 0xE140,
    kCmdExit = 0xE141,
};

enum class EnableRule { kWhileBusy, kWhenIdle, kIdleWithImage };

struct CommandRow {
    unsigned id;
    const char* statusText;  // the status bar text, then "\n" and the tooltip
    ActionFlags action;      // what a run starts; 0 for commands that start none
    EnableRule rule;
};

const std::vector<CommandRow>& CommandTable();
const CommandRow* FindCommand(unsigned id);
// Whether a row's command is enabled; commands outside the table always are.
bool IsCommandEnabled(unsigned id, bool busy, bool imageEmpty);

// What the device summary shows for a part the device table does not list but an adapter identified
// (the FET library names parts by its own database): "MSP430G2xx3: Info 0x1000-0x10FF, Main
// 0xC000-0xFFFF"; empty when the adapter named no part.
std::string IdentifiedDeviceText(const DeviceInfo& device);

// "QUARZO - [name*]" with the part of the path after the last separator.
std::string WindowTitle(const std::string& fileName, bool modified);
// "09:05:07  text\n".
std::string LogLineText(int hour, int minute, int second, const std::string& text);
// Lines to scroll so that the last line shows; 0 when nothing needs to move.
int LogScrollLines(int lineCount, int firstVisible, int visibleLines);

// Display scale: everything the window lays out in pixels is given at 96 DPI (100%) and scaled to the
// DPI of the monitor it is on.
inline constexpr int kBaseDpi = 96;
int ScalePixels(int pixels, int dpi);
// The window size of a first start (no size stored yet), packed as "WinSize".
int FirstStartWinSize(int dpi);
// The splitter between the memory view and the log: its position in the panes' area, the lower pane
// keeping its height (when known, else -1) and both panes their minimum.
struct SplitLayout {
    int split;
    int lowerHeight;
};
inline constexpr int kSplitterBar = 5;
inline constexpr int kMinimumPane = 40;
SplitLayout LayOutSplit(int areaHeight, int split, int lowerHeight, int dpi);

// A progress range posted to the window as one 32-bit value: low in the low half, high in the high
// half. Nothing when either end lies outside 0..0xFFFF (memory past 64 KB); such a range travels whole.
std::optional<uint32_t> PackProgressRange(int low, int high);
void UnpackProgressRange(uint32_t packed, int& low, int& high);

// The recent-file list: an added path moves to the top; when full, the oldest drops out.
void AddRecentFile(std::vector<std::string>& files, const std::string& path, int maximum);
void RemoveRecentFile(std::vector<std::string>& files, size_t index);
// "&1 C:\fw\blink.txt".
std::string RecentMenuText(size_t index, const std::string& path);

// Of several files dropped on the window only the first is opened; none when nothing came.
std::optional<std::string> DroppedFileToOpen(const std::vector<std::string>& dropped);

// The shared block's text field: a command line that does not fit is not handed over.
inline constexpr size_t kHandoverTextSize = 260;
bool FitsHandover(const std::string& commandLine);
// The command line a second instance left in the block's text field: up to its NUL, or the whole field
// when it has none.
std::string HandoverText(const char* field);

}  // namespace quarzo
