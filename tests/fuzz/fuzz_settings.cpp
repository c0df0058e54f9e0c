// Any settings file: read, taken into the store with the dialog's conversions, written back and read
// again, it gives the same values (what one start saves, the next start reads).
#include <cstdlib>

#include "core/ini_file.h"
#include "core/settings_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    quarzo::IniFile ini;
    ini.Parse(data, size);
    quarzo::SettingsStore first;
    first.TakeFrom(ini);
    first.PutInto(ini);
    std::string text = ini.Text();
    quarzo::IniFile again;
    again.Parse(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    quarzo::SettingsStore second;
    second.TakeFrom(again);
    for (const quarzo::SettingRecord& r : first.Records()) {
        if (r.id == quarzo::SettingRecord::kSection) continue;
        const quarzo::SettingRecord* other = second.FindSetting(r.id);
        if (!other || quarzo::SettingText(r.value) != quarzo::SettingText(other->value)) std::abort();
    }
    return 0;
}
