#include "ui/model/window_model.h"

#include <algorithm>
#include <cstdio>

#include "core/settings_store.h"

namespace quarzo {

const std::vector<CommandRow>& CommandTable() {
    static const std::vector<CommandRow> table = {
        {kCmdAbort, "Abort current operation\nCancel", kActionStop, EnableRule::kWhileBusy},
        {kCmdErase, "Erase device memory\nErase", kActionErase, EnableRule::kWhenIdle},
        {kCmdBlankCheck, "Verify device memory erasure\nBlank check", kActionBlankCheck,
         EnableRule::kWhenIdle},
        {kCmdProgram, "Program device memory\nProgram", kActionProgram, EnableRule::kIdleWithImage},
        {kCmdVerify, "Verify device memory\nVerify", kActionVerify, EnableRule::kIdleWithImage},
        {kCmdRead, "Read device memory\nRead", kActionRead, EnableRule::kWhenIdle},
        {kCmdReset, "Reset target\nReset target", kActionReset, EnableRule::kWhenIdle},
        {kCmdDumpDeviceId, "Dump device identification memory\nDump Device ID", kActionDumpDeviceId,
         EnableRule::kWhenIdle},
        {kCmdDumpRam, "Dump device RAM memory", kActionDumpRam, EnableRule::kWhenIdle},
        {kCmdDumpBsl, "Dump device BSL memory", kActionDumpBsl, EnableRule::kWhenIdle},
        {kCmdAdapterInfo, "Get information about current adapter\nAdapter information", kActionAdapterInfo,
         EnableRule::kWhenIdle},
        {kCmdSecure, "Blow secure fuse\nSecure", kActionBlowFuse, EnableRule::kWhenIdle},
        {kCmdUpdateFirmware, "Update the FET's firmware to the library's version\nUpdate FET firmware",
         kActionUpdateFirmware, EnableRule::kWhenIdle},
        {kCmdAuto, "Autoprogram\nAuto", 0, EnableRule::kIdleWithImage},
        {kCmdOpen, "Open an existing document\nOpen", 0, EnableRule::kWhenIdle},
        {kCmdSave, "Save the active document\nSave", 0, EnableRule::kIdleWithImage},
        {kCmdSetup, "Edit application settings\nSetup", 0, EnableRule::kWhenIdle},
    };
    return table;
}

std::string IdentifiedDeviceText(const DeviceInfo& device) {
    if (device.Name().empty()) return "";
    char text[160];
    std::snprintf(text, sizeof text, "%s: Info 0x%.4X-0x%.4X, Main 0x%.4X-0x%.4X", device.Name().c_str(),
                  device.InfoStart(), device.InfoEnd(), device.MainStart(),
                  static_cast<unsigned>(device.MainEnd()));
    return text;
}

const CommandRow* FindCommand(unsigned id) {
    for (const CommandRow& row : CommandTable()) {
        if (row.id == id) return &row;
    }
    return nullptr;
}

bool IsCommandEnabled(unsigned id, bool busy, bool imageEmpty) {
    const CommandRow* row = FindCommand(id);
    if (!row) return true;
    switch (row->rule) {
        case EnableRule::kWhileBusy:
            return busy;
        case EnableRule::kWhenIdle:
            return !busy;
        case EnableRule::kIdleWithImage:
            return !busy && !imageEmpty;
    }
    return true;
}

std::string WindowTitle(const std::string& fileName, bool modified) {
    size_t slash = fileName.find_last_of("\\/");
    std::string name = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
    return "QUARZO - [" + name + (modified ? "*" : "") + "]";
}

std::string LogLineText(int hour, int minute, int second, const std::string& text) {
    char stamp[16];
    std::snprintf(stamp, sizeof stamp, "%02i:%02i:%02i  ", hour, minute, second);
    return stamp + text + "\n";
}

int LogScrollLines(int lineCount, int firstVisible, int visibleLines) {
    if (visibleLines == 0) return 0;
    return std::max(0, lineCount + 1 - firstVisible - visibleLines);
}

void AddRecentFile(std::vector<std::string>& files, const std::string& path, int maximum) {
    files.erase(std::remove(files.begin(), files.end(), path), files.end());
    files.insert(files.begin(), path);
    if (maximum > 0 && files.size() > static_cast<size_t>(maximum))
        files.resize(static_cast<size_t>(maximum));
}

void RemoveRecentFile(std::vector<std::string>& files, size_t index) {
    if (index < files.size()) files.erase(files.begin() + static_cast<long>(index));
}

std::string RecentMenuText(size_t index, const std::string& path) {
    return "&" + std::to_string(index + 1) + " " + path;
}

std::optional<std::string> DroppedFileToOpen(const std::vector<std::string>& dropped) {
    if (dropped.empty() || dropped.front().empty()) return std::nullopt;
    return dropped.front();
}

bool FitsHandover(const std::string& commandLine) {
    return commandLine.size() < kHandoverTextSize;
}

std::optional<uint32_t> PackProgressRange(int low, int high) {
    auto fits = [](int v) { return v >= 0 && v <= 0xFFFF; };
    if (!fits(low) || !fits(high)) return std::nullopt;
    return static_cast<uint32_t>(high) << 16 | static_cast<uint32_t>(low);
}

void UnpackProgressRange(uint32_t packed, int& low, int& high) {
    low = static_cast<int>(packed & 0xFFFF);
    high = static_cast<int>(packed >> 16);
}

int ScalePixels(int pixels, int dpi) {
    if (dpi <= 0) dpi = kBaseDpi;
    int64_t scaled = static_cast<int64_t>(pixels) * dpi;
    // Rounded to the nearest pixel, halves away from zero, as MulDiv does.
    scaled += scaled >= 0 ? kBaseDpi / 2 : -(kBaseDpi / 2);
    return static_cast<int>(scaled / kBaseDpi);
}

int FirstStartWinSize(int dpi) {
    return PackWinSize(ScalePixels(kDefaultWinWidth, dpi), ScalePixels(kDefaultWinHeight, dpi));
}

SplitLayout LayOutSplit(int areaHeight, int split, int lowerHeight, int dpi) {
    int bar = ScalePixels(kSplitterBar, dpi), minimum = ScalePixels(kMinimumPane, dpi);
    // The lower pane keeps its height; the upper pane takes the change.
    if (lowerHeight >= 0) split = areaHeight - lowerHeight - bar;
    split = std::clamp(split, minimum, std::max(minimum, areaHeight - bar - minimum));
    return {split, areaHeight - split - bar};
}

std::string HandoverText(const char* field) {
    size_t length = 0;
    while (length < kHandoverTextSize && field[length] != '\0') ++length;
    return std::string(field, length);
}

}  // namespace quarzo
