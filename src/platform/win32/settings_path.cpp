#include "platform/settings_path.h"

#include <windows.h>

namespace quarzo::platform {

std::string SettingsFilePath() {
    char module[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, module, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return "";
    std::string path(module, n);
    size_t slash = path.find_last_of('\\');
    if (slash == std::string::npos) return "";
    return path.substr(0, slash + 1) + "quarzo.ini";
}

bool PrepareFolderFor(const std::string&) {
    return true;
}  // the executable's folder exists

}  // namespace quarzo::platform
