#include "platform/file_system.h"

#include <unistd.h>

#include <cstdio>

#include "platform/process_id.h"

namespace quarzo::platform {

unsigned long CurrentProcessId() {
    return static_cast<unsigned long>(getpid());
}

bool MoveFileOver(const std::string& source, const std::string& target) {
    return std::rename(source.c_str(), target.c_str()) == 0;
}

bool RemoveFile(const std::string& path) {
    return unlink(path.c_str()) == 0;
}

}  // namespace quarzo::platform
