#include "cli/console_settings.h"

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
    return text;
}

std::string AssignSetting(SettingsStore& settings, const std::string& assignment) {
    size_t equals = assignment.find('=');
    if (equals == std::string::npos) return "\"" + assignment + "\" is not KEY=VALUE";
    std::string key = Trim(assignment.substr(0, equals));
    std::string value = Trim(assignment.substr(equals + 1));
    size_t slash = key.find('/');
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
        return s.section + "/" + s.record->key + ": \"" + value + "\" is not a valid value";
    }
    return "";
}

}  // namespace quarzo
