#pragma once

#include <string>

#include "core/settings_store.h"
#include "engine/command_line.h"

namespace quarzo {

// Every setting that has a description, as the settings dialog shows them: "Section/Key = value"
// and the description below it.
std::string SettingsListing(const SettingsStore& settings);

// Applies "KEY=VALUE" with the dialog's conversion rules; KEY is "Section/Key", or a key that only
// one section has (case does not matter). Empty on success, else what is wrong.
// "Ports/COMn=device" and "Ports/LPTn=device" name the device a port stands for.
std::string AssignSetting(SettingsStore& settings, const std::string& assignment);

// For --save-settings: the adapter and port the command line chose become the stored ones; a device
// path is kept as the port name that stands for it. Empty on success, else why the port is not kept
// (nothing is then changed).
std::string StoreCommandLinePort(SettingsStore& settings, const CommandLinePlan& plan);

}  // namespace quarzo
