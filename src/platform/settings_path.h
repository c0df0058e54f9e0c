#pragma once

#include <string>

namespace quarzo::platform {

// Where the settings file lives; empty when no location can be formed. On Windows "quarzo.ini" beside
// the executable; elsewhere $QUARZO_INI, else $XDG_CONFIG_HOME/quarzo/quarzo.ini, else
// ~/.config/quarzo/quarzo.ini.
std::string SettingsFilePath();
// Creates the folder that will hold path, when it is missing.
bool PrepareFolderFor(const std::string& path);

}  // namespace quarzo::platform
