#include "platform/file_system.h"

#include <windows.h>

#include "platform/process_id.h"

namespace quarzo::platform {

unsigned long CurrentProcessId() {
    return GetCurrentProcessId();
}

bool MoveFileOver(const std::string& source, const std::string& target) {
    return MoveFileExA(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) !=
           0;
}

bool RemoveFile(const std::string& path) {
    return DeleteFileA(path.c_str()) != 0;
}

}  // namespace quarzo::platform
