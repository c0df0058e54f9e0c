#include <atomic>
#include <chrono>
#include <cstdio>

#include "platform/file_system.h"
#include "platform/process_id.h"

namespace quarzo::platform {

std::string TemporaryPathBeside(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    auto ticks = static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".~%lx.%x.%x.tmp", CurrentProcessId(), counter++, ticks & 0xFFFFu);
    return path + suffix;
}

}  // namespace quarzo::platform
