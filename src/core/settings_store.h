#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "core/port_counts.h"

namespace quarzo {

class IniFile;

// A setting's value; the text alternative only carries dialog input to be converted.
using SettingValue = std::variant<int, bool, double, std::string>;

struct SettingRecord {
    static constexpr int kSection = 30000;
    int id;
    const char* key;  // the section name for a section header
    SettingValue value;
    const char* description;
};

// Setting ids.
enum SettingId : int {
    kSetSingleInstance = 1,
    kSetSaveWindow = 2,
    kSetWinSize = 3,
    kSetWinSplit = 4,
    kSetAutodetectFormat = 5,
    kSetRemoveGap = 6,
    kSetAdapter = 7,
    kSetEraseInfo = 8,
    kSetAutoprogram = 9,
    kSetDeviceIndex = 10,
    kSetRawPort = 11,
    kSetRawCustomAddress = 12,
    kSetFetPort = 13,
    kSetFetApplyVcc = 14,
    kSetFetTargetVcc = 15,
    kSetBslPort = 16,
    kSetBslPatch = 17,
    kSetBslFastBaud = 18,
    kSetBslKeepPortOpen = 19,
    kSetBslRstInvert = 20,
    kSetBslTstInvert = 21,
    kSetBslRstDelay = 22,
    kSetBslPm = 23,
    kSetBslPasswordFile = 24,
};

// The most recently used files, most recent first.
struct RecentFileList {
    static constexpr int kDefaultMaximum = 12;
    int maximum = kDefaultMaximum;
    std::vector<std::string> files;
};

// The typed settings with their defaults, read from and written to the settings file.
class SettingsStore {
public:
    SettingsStore();

    const SettingRecord* FindSetting(int id) const;
    const std::vector<SettingRecord>& Records() const { return records_; }

    int GetIntSetting(int id) const;
    bool GetBoolSetting(int id) const;
    double GetDoubleSetting(int id) const;
    std::string GetTextSetting(int id) const;
    void SetIntSetting(int id, int value);
    // Converts value to the record's type; a value that does not convert, or lies outside the
    // setting's range, changes nothing.
    bool SetSettingFromVariant(int id, const SettingValue& value);

    bool LoadSettings(const std::string& path);
    bool SaveSettings(const std::string& path) const;
    // The same with a settings file already read, or to be written.
    void TakeFrom(const IniFile& ini);
    void PutInto(IniFile& ini) const;

    // Where the system has no COM ports, the devices that COM1 to COM256 stand for (section "Ports";
    // saving writes only those named through SetPortDevice).
    std::array<std::string, kSerialPortCount> serialPorts;
    // Likewise the parallel-port devices that LPT1 to LPT3 stand for (default /dev/parport0 to 2).
    static constexpr int kParallelPortCount = 3;
    std::array<std::string, kParallelPortCount> parallelPorts;
    // Names the device that key ("COM1" to "COM256", "LPT1" to "LPT3") stands for, to be saved with the
    // settings; false for another key or an empty device.
    bool SetPortDevice(const std::string& key, const std::string& device);

private:
    SettingRecord* Find(int id);
    std::vector<SettingRecord> records_;
    std::vector<std::pair<std::string, std::string>> changedPorts_;  // key and device, in order set
};

// The values a numeric setting may take, both ends included; nothing for a setting without limits.
struct SettingLimits {
    double low;
    double high;
};
std::optional<SettingLimits> SettingRange(int id);
// "1.8 to 3.6" for a setting with limits; empty otherwise.
std::string SettingRangeText(int id);
// True when value (of the setting's type) lies within the setting's limits, or it has none.
bool SettingInRange(int id, const SettingValue& value);

// Text of a value as the settings file holds it: decimal, -1/0, or the locale's decimal number.
std::string SettingText(const SettingValue& value);
// The text converted to the type of like; nothing when it does not convert.
std::optional<SettingValue> ConvertSetting(const SettingValue& like, const SettingValue& value);
// The device COMn stands for (index n - 1) until the settings name another: /dev/ttyS0 to /dev/ttyS7
// for COM1 to COM8; empty (no device) for the ports above.
std::string DefaultSerialDevice(int index);
// Where the system reaches parallel ports through devices: the one LPTn stands for by default (index n - 1).
std::string DefaultParallelDevice(int index);
// Volts to millivolts, truncated toward zero once binary representation error is allowed for.
int VoltsToMillivolts(double volts);

// "WinSize": width in the low 16 bits, height in the high 16 bits.
constexpr int PackWinSize(int width, int height) {
    return static_cast<int>((static_cast<uint32_t>(height) & 0xFFFF) << 16 |
                            (static_cast<uint32_t>(width) & 0xFFFF));
}
constexpr int WinSizeWidth(int packed) {
    return static_cast<int>(static_cast<uint32_t>(packed) & 0xFFFF);
}
constexpr int WinSizeHeight(int packed) {
    return static_cast<int>(static_cast<uint32_t>(packed) >> 16);
}

// The window on a first start, before "WinSize" and "WinSplit" hold what the user left.
inline constexpr int kDefaultWinWidth = 541;
inline constexpr int kDefaultWinHeight = 529;
inline constexpr int kDefaultWinSize = PackWinSize(kDefaultWinWidth, kDefaultWinHeight);
inline constexpr int kDefaultWinSplit = 270;

bool LoadRecentFiles(const std::string& path, RecentFileList& list);
bool SaveRecentFiles(const std::string& path, const RecentFileList& list);

}  // namespace quarzo
