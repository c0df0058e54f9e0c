#include "platform/settings_path.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

namespace quarzo::platform {

std::string SettingsFilePath() {
    if (const char* ini = std::getenv("QUARZO_INI"); ini && *ini) return ini;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        return std::string(xdg) + "/quarzo/quarzo.ini";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.config/quarzo/quarzo.ini";
    return "";
}

bool PrepareFolderFor(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        if (mkdir(path.substr(0, slash).c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    return true;
}

}  // namespace quarzo::platform
