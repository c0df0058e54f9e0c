#pragma once

#include <string>

#include "core/settings_store.h"

namespace quarzo {

// Every setting that has a description, as the settings dialog shows them: "Section/Key = value"
// and the description below it.
std::string SettingsListing(const SettingsStore& settings);

// Applies "KEY=VALUE" with the dialog's conversion rules; KEY is "Section/Key", or a key that only
// one section has (case does not matter). Empty on success, else what is wrong.
std::string AssignSetting(SettingsStore& settings, const std::string& assignment);

}  // namespace quarzo
