#include "core/settings_store.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/action_flags.h"
#include "core/ini_file.h"
#include "core/text_util.h"
#include "platform/settings_path.h"

namespace quarzo {

namespace {

constexpr const char* kRecentSection = "Recent Document List";
constexpr const char* kPortsSection = "Ports";

std::vector<SettingRecord> DefaultRecords() {
    constexpr int S = SettingRecord::kSection;
    return {
        {S, "Application", 0, ""},
        {kSetSingleInstance, "Single instance", true, "Single instance of application"},
        {kSetSaveWindow, "Save window", true, "Restore window size"},
        {kSetWinSize, "WinSize", kDefaultWinSize, ""},
        {kSetWinSplit, "WinSplit", kDefaultWinSplit, ""},
        {kSetEraseInfo, "Erase INFO", true, "Allow to modify device INFO memory"},
        {kSetAdapter, "Adapter", 0, "Selected adapter"},
        {kSetAutoprogram, "Autoprogram", static_cast<int>(kDefaultAutoprogram),
         "Autoprogram operations flow"},
        {kSetDeviceIndex, "Device index", 0, ""},
        {kSetAutodetectFormat, "Autodetect format", true,
         "Recognise ELF, Intel HEX and TI TXT files by their content when the extension is unknown"},
        {kSetRemoveGap, "Remove gap", true, "Remove gap bytes from file when saving"},
        {S, "IF_RAW", 0, ""},
        {kSetRawPort, "Port", 0,
         "Adapter port. Base address: LPT1 - 0x378, LPT2 - 0x278, LPT3 - 0x3BC\nSelect LPTx to specify other "
         "address"},
        {kSetRawCustomAddress, "Custom address", 49152, "Custom LPT port base for LPTx. Input is decimal"},
        {S, "IF_FET", 0, ""},
        {kSetFetPort, "Port", 3, "Adapter port. LPT, TIUSB, or from 4 on a FET the library lists"},
        {kSetFetApplyVcc, "Apply VCC", true, "Apply VCC to target"},
        {kSetFetTargetVcc, "Target VCC", 3.2, "Target VCC in volt"},
        {S, "IF_BSL", 0, ""},
        {kSetBslPort, "Port", 0, "Serial port to communicate"},
        {kSetBslPatch, "Patch to v1.50", true,
         "Loadable version of BSL.  All features of BSL V1.60 are supported.\nRequire 512b of RAM memory"},
        {kSetBslFastBaud, "38400 baud", true,
         "Implemented on BSL V1.60 or higher or available in the loadable version"},
        {kSetBslKeepPortOpen, "Keep port open", false,
         "Do not close port after operation. Leave target running"},
        {kSetBslPm, "PM", 0, ""},
        {kSetBslTstInvert, "TST invert", false, "Invert RTS(TST) signal for adapter hardware"},
        {kSetBslRstInvert, "RST invert", false, "Invert DTR(RST) signal for adapter hardware"},
        {kSetBslRstDelay, "RST delay", 0, "Additional reset pulse delay in milliseconds"},
        {kSetBslPasswordFile, "Password file", std::string(),
         "Firmware file that is in the chip: its interrupt vectors are the password that opens it"},
    };
}

std::optional<int> ParseInt(const std::string& text) {
    std::string t = Trim(text);
    if (t.empty()) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(t.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE || v < INT_MIN || v > INT_MAX) return std::nullopt;
    return static_cast<int>(v);
}

std::optional<double> ParseDouble(const std::string& text) {
    std::string t = Trim(text);
    if (t.empty()) return std::nullopt;
    char* end = nullptr;
    double v = std::strtod(t.c_str(), &end);  // the current locale's decimal point
    if (*end != '\0' || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::optional<bool> ParseBool(const std::string& text) {
    std::string t = Trim(text);
    if (EqualsNoCase(t, "true")) return true;
    if (EqualsNoCase(t, "false")) return false;
    if (auto d = ParseDouble(t)) return *d != 0.0;
    return std::nullopt;
}

struct RangeEntry {
    int id;
    SettingLimits limits;
};

// Port indexes follow the port names (the FET library's from 4 on: up to 32 FETs it lists); the supply
// is what an MSP430 runs on.
const RangeEntry kRanges[] = {
    {kSetRawPort, {0, 3}},
    {kSetRawCustomAddress, {1, 0xFFFF}},
    {kSetFetPort, {0, 35}},
    {kSetFetTargetVcc, {1.8, 3.6}},
    {kSetBslPort, {0, kSerialPortCount - 1}},
    {kSetBslRstDelay, {0, 10000}},
};

double AsNumber(const SettingValue& value) {
    if (auto i = std::get_if<int>(&value)) return *i;
    if (auto d = std::get_if<double>(&value)) return *d;
    return 0;
}

// "COM" or "LPT" and the number of a [Ports] key, or nothing.
std::optional<std::pair<std::string, int>> PortKey(const std::string& key) {
    if (key.size() < 4) return std::nullopt;
    std::string prefix = key.substr(0, 3);
    auto number = ParseInt(key.substr(3));
    if (!number || key.substr(3) != std::to_string(*number)) return std::nullopt;
    if (EqualsNoCase(prefix, "COM") && *number >= 1 && *number <= kSerialPortCount)
        return std::make_pair(std::string("COM"), *number);
    if (EqualsNoCase(prefix, "LPT") && *number >= 1 && *number <= SettingsStore::kParallelPortCount)
        return std::make_pair(std::string("LPT"), *number);
    return std::nullopt;
}

}  // namespace

std::optional<SettingLimits> SettingRange(int id) {
    for (const RangeEntry& r : kRanges) {
        if (r.id == id) return r.limits;
    }
    return std::nullopt;
}

std::string SettingRangeText(int id) {
    auto range = SettingRange(id);
    if (!range) return "";
    char text[64];
    std::snprintf(text, sizeof text, "%g to %g", range->low, range->high);
    return text;
}

bool SettingInRange(int id, const SettingValue& value) {
    auto range = SettingRange(id);
    if (!range || std::holds_alternative<bool>(value) || std::holds_alternative<std::string>(value))
        return true;
    double v = AsNumber(value);
    return v >= range->low && v <= range->high;
}

std::string SettingText(const SettingValue& value) {
    if (auto i = std::get_if<int>(&value)) return std::to_string(*i);
    if (auto b = std::get_if<bool>(&value)) return *b ? "-1" : "0";
    if (auto d = std::get_if<double>(&value)) {
        char text[64];
        std::snprintf(text, sizeof text, "%.15g", *d);
        return text;
    }
    return std::get<std::string>(value);
}

std::optional<SettingValue> ConvertSetting(const SettingValue& like, const SettingValue& value) {
    std::string text = SettingText(value);
    if (std::holds_alternative<int>(like)) {
        if (auto d = std::get_if<double>(&value)) {
            if (!(std::fabs(*d) < 2147483647.0)) return std::nullopt;
            return static_cast<int>(std::lround(*d));
        }
        if (auto i = ParseInt(text)) return *i;
        return std::nullopt;
    }
    if (std::holds_alternative<bool>(like)) {
        if (auto b = ParseBool(text)) return *b;
        return std::nullopt;
    }
    if (std::holds_alternative<double>(like)) {
        if (auto d = ParseDouble(text)) return *d;
        return std::nullopt;
    }
    return text;
}

std::string DefaultSerialDevice(int index) {
    return index >= 0 && index < 8 ? "/dev/ttyS" + std::to_string(index) : "";
}

std::string DefaultParallelDevice(int index) {
    return "/dev/parport" + std::to_string(index);
}

int VoltsToMillivolts(double volts) {
    double mv = volts * 1000.0;
    // 2.95 is stored as 2.9499999999999997...: a nudge far above the representation error and far
    // below a millivolt makes it 2950, as the user wrote it.
    constexpr double kSlack = 1e-6;
    mv = mv >= 0 ? std::floor(mv + kSlack) : std::ceil(mv - kSlack);
    return static_cast<int>(std::clamp(mv, -2147483647.0, 2147483647.0));
}

SettingsStore::SettingsStore() : records_(DefaultRecords()) {
    for (int i = 0; i < kSerialPortCount; ++i) serialPorts[i] = DefaultSerialDevice(i);
    for (int i = 0; i < kParallelPortCount; ++i) parallelPorts[i] = DefaultParallelDevice(i);
}

const SettingRecord* SettingsStore::FindSetting(int id) const {
    for (const SettingRecord& r : records_) {
        if (r.id == id && id != SettingRecord::kSection) return &r;
    }
    return nullptr;
}

SettingRecord* SettingsStore::Find(int id) {
    return const_cast<SettingRecord*>(FindSetting(id));
}

int SettingsStore::GetIntSetting(int id) const {
    const SettingRecord* r = FindSetting(id);
    auto v = r ? std::get_if<int>(&r->value) : nullptr;
    return v ? *v : 0;
}

bool SettingsStore::GetBoolSetting(int id) const {
    const SettingRecord* r = FindSetting(id);
    auto v = r ? std::get_if<bool>(&r->value) : nullptr;
    return v ? *v : false;
}

std::string SettingsStore::GetTextSetting(int id) const {
    const SettingRecord* r = FindSetting(id);
    auto v = r ? std::get_if<std::string>(&r->value) : nullptr;
    return v ? *v : std::string();
}

double SettingsStore::GetDoubleSetting(int id) const {
    const SettingRecord* r = FindSetting(id);
    auto v = r ? std::get_if<double>(&r->value) : nullptr;
    return v ? *v : 0.0;
}

void SettingsStore::SetIntSetting(int id, int value) {
    SettingRecord* r = Find(id);
    if (r && std::holds_alternative<int>(r->value)) r->value = value;
}

bool SettingsStore::SetSettingFromVariant(int id, const SettingValue& value) {
    SettingRecord* r = Find(id);
    if (!r) return false;
    auto converted = ConvertSetting(r->value, value);
    if (!converted || !SettingInRange(id, *converted)) return false;
    r->value = *converted;
    return true;
}

bool SettingsStore::SetPortDevice(const std::string& key, const std::string& device) {
    auto port = PortKey(key);
    if (!port || device.empty()) return false;
    std::string* devices = port->first == "COM" ? serialPorts.data() : parallelPorts.data();
    devices[port->second - 1] = device;
    changedPorts_.emplace_back(port->first + std::to_string(port->second), device);
    return true;
}

bool SettingsStore::LoadSettings(const std::string& path) {
    if (path.empty()) return false;
    IniFile ini;
    ini.Load(path);
    TakeFrom(ini);
    return true;
}

void SettingsStore::TakeFrom(const IniFile& ini) {
    std::string section;
    for (SettingRecord& r : records_) {
        if (r.id == SettingRecord::kSection) {
            section = r.key;
            continue;
        }
        auto text = ini.Get(section, r.key);
        if (!text || text->empty()) continue;
        // A value outside its range, written by hand, leaves the default.
        if (auto v = ConvertSetting(r.value, *text); v && SettingInRange(r.id, *v)) r.value = *v;
    }
    // One pass over the section; of keys written twice the first counts, as for every other key.
    auto entries = ini.Entries(kPortsSection);
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        const auto& [key, device] = *it;
        auto port = PortKey(key);
        if (!port || device.empty()) continue;
        (port->first == "COM" ? serialPorts.data() : parallelPorts.data())[port->second - 1] = device;
    }
}

void SettingsStore::PutInto(IniFile& ini) const {
    std::string section;
    for (const SettingRecord& r : records_) {
        if (r.id == SettingRecord::kSection) {
            section = r.key;
            continue;
        }
        ini.Set(section, r.key, SettingText(r.value));
    }
    for (const auto& [key, device] : changedPorts_) ini.Set(kPortsSection, key, device);
}

bool SettingsStore::SaveSettings(const std::string& path) const {
    if (path.empty()) return false;
    IniFile ini;
    if (!ini.Load(path)) return false;
    PutInto(ini);
    return platform::PrepareFolderFor(path) && ini.Save(path);
}

bool LoadRecentFiles(const std::string& path, RecentFileList& list) {
    IniFile ini;
    if (path.empty() || !ini.Load(path)) return false;
    auto count = ini.Get(kRecentSection, "DocumentCount");
    std::optional<int> maximum = count ? ParseInt(*count) : std::nullopt;
    if (!maximum) return true;
    list.maximum = std::clamp(*maximum, 2, 16);
    list.files.clear();
    for (int i = list.maximum; i >= 1; --i) {
        auto file = ini.Get(kRecentSection, "Document" + std::to_string(i));
        if (file && !file->empty()) list.files.insert(list.files.begin(), *file);
    }
    return true;
}

bool SaveRecentFiles(const std::string& path, const RecentFileList& list) {
    IniFile ini;
    if (path.empty() || !ini.Load(path)) return false;
    std::vector<std::string> body{"DocumentCount=" + std::to_string(list.maximum)};
    // Written from the oldest to the most recent, the order in which the keys have always stood.
    int count = std::min(static_cast<int>(list.files.size()), list.maximum);
    for (int i = count; i >= 1; --i) {
        body.push_back("Document" + std::to_string(i) + "=" +
                       list.files[i - 1].substr(0, IniFile::kMaxValue));
    }
    ini.ReplaceSection(kRecentSection, body);
    return ini.Save(path);
}

}  // namespace quarzo
