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

bool PrepareFolderFor(const std::string& path) {
    // Each missing folder on the way is created, from the outermost in.
    for (size_t at = path.find_first_of("\\/", 3); at != std::string::npos;
         at = path.find_first_of("\\/", at + 1)) {
        std::string folder = path.substr(0, at);
        if (GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES &&
            !CreateDirectoryA(folder.c_str(), nullptr)) {
            return false;
        }
    }
    return true;
}

}  // namespace quarzo::platform
