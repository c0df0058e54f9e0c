#include "cli/console_settings.h"

#include <algorithm>
#include <vector>

#include "core/text_util.h"

namespace quarzo {

namespace {

struct NamedSetting {
    std::string section;
    const SettingRecord* record;
};

std::vector<NamedSetting> Named(const SettingsStore& settings) {
    std::vector<NamedSetting> all;
    std::string section;
    for (const SettingRecord& r : settings.Records()) {
        if (r.id == SettingRecord::kSection) {
            section = r.key;
        } else {
            all.push_back({section, &r});
        }
    }
    return all;
}

}  // namespace

std::string SettingsListing(const SettingsStore& settings) {
    std::string text;
    for (const NamedSetting& s : Named(settings)) {
        if (!s.record->description || !*s.record->description) continue;
        text += s.section + "/" + s.record->key + " = " + SettingText(s.record->value) + "\n";
        std::string description = s.record->description;
        for (size_t start = 0; start <= description.size();) {
            size_t end = description.find('\n', start);
            if (end == std::string::npos) end = description.size();
            text += "    " + description.substr(start, end - start) + "\n";
            start = end + 1;
        }
    }
    for (int i = 0; i < kSerialPortCount; ++i) {
        if (!settings.serialPorts[i].empty())
            text += "Ports/COM" + std::to_string(i + 1) + " = " + settings.serialPorts[i] + "\n";
    }
    for (int i = 0; i < SettingsStore::kParallelPortCount; ++i)
        text += "Ports/LPT" + std::to_string(i + 1) + " = " + settings.parallelPorts[i] + "\n";
    text += "    The devices -BSL=COMn and -RAW=LPTn stand for; COM9 to COM256 only when set\n";
    return text;
}

std::string AssignSetting(SettingsStore& settings, const std::string& assignment) {
    size_t equals = assignment.find('=');
    if (equals == std::string::npos) return "\"" + assignment + "\" is not KEY=VALUE";
    std::string key = Trim(assignment.substr(0, equals));
    std::string value = Trim(assignment.substr(equals + 1));
    size_t slash = key.find('/');
    if (slash != std::string::npos && EqualsNoCase(key.substr(0, slash), "Ports")) {
        if (settings.SetPortDevice(key.substr(slash + 1), value)) return "";
        return "\"" + key +
               "\": the ports are Ports/COM1 to Ports/COM256 and Ports/LPT1 to Ports/LPT3, "
               "each set to a device";
    }
    std::vector<NamedSetting> found;
    for (const NamedSetting& s : Named(settings)) {
        bool sectionMatches = slash == std::string::npos || EqualsNoCase(s.section, key.substr(0, slash));
        std::string name = slash == std::string::npos ? key : key.substr(slash + 1);
        if (sectionMatches && EqualsNoCase(s.record->key, name)) found.push_back(s);
    }
    if (found.empty()) return "no setting \"" + key + "\" (--settings lists them)";
    if (found.size() > 1) {
        std::string sections;
        for (const NamedSetting& s : found)
            sections += (sections.empty() ? "" : ", ") + s.section + "/" + key;
        return "\"" + key + "\" is in several sections: " + sections;
    }
    const NamedSetting& s = found.front();
    if (!settings.SetSettingFromVariant(s.record->id, value)) {
        auto converted = ConvertSetting(s.record->value, value);
        std::string range = SettingRangeText(s.record->id);
        return s.section + "/" + s.record->key + ": \"" + value + "\" is not " +
               (converted && !range.empty() ? "within " + range : "a valid value");
    }
    return "";
}

std::string StoreCommandLinePort(SettingsStore& settings, const CommandLinePlan& plan) {
    if (!plan.adapter) return "";
    const AdapterKind kind = *plan.adapter;
    const int portSetting = kind == kAdapterRawJtag  ? kSetRawPort
                            : kind == kAdapterFetDll ? kSetFetPort
                                                     : kSetBslPort;
    int index = plan.portIndex;
    if (!plan.devicePath.empty()) {
        // A device path is kept as the COMn or LPTn that stands for it: one that already does, else
        // (for the loader) the first COMn that stands for nothing yet.
        index = -1;
        if (kind == kAdapterBsl) {
            auto& ports = settings.serialPorts;
            auto at = std::find(ports.begin(), ports.end(), plan.devicePath);
            if (at == ports.end()) at = std::find(ports.begin(), ports.end(), std::string());
            if (at != ports.end()) index = static_cast<int>(at - ports.begin());
            if (at != ports.end() && at->empty())
                settings.SetPortDevice("COM" + std::to_string(index + 1), plan.devicePath);
        } else if (kind == kAdapterRawJtag) {
            auto& ports = settings.parallelPorts;
            auto at = std::find(ports.begin(), ports.end(), plan.devicePath);
            if (at != ports.end())
                index = static_cast<int>(at - ports.begin());
            else
                return "the port " + plan.devicePath +
                       " is not kept: name it in [Ports] first (--set Ports/LPT1=" + plan.devicePath + ")";
        }
        if (index < 0) return "the port " + plan.devicePath + " is not kept: the settings name no such port";
    }
    settings.SetSettingFromVariant(kSetAdapter, kind);
    settings.SetSettingFromVariant(portSetting, index);
    return "";
}

}  // namespace quarzo
