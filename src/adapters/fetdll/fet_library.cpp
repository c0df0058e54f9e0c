#include "adapters/fetdll/fet_library.h"

#include <cstdlib>

#include "platform/shared_library.h"

namespace quarzo {

const char* FetLibraryName() {
#ifdef _WIN32
    return "MSP430.DLL";
#else
    const char* path = std::getenv("QUARZO_FETLIB");
    return path && *path ? path : "libmsp430.so";
#endif
}

namespace {

// Looks up the next name of the list into slot.
template <typename Function>
bool Resolve(void* library, int& next, Function& slot) {
    void* entry = FindLibrarySymbol(library, kFetEntryNames[next++]);
    if (!entry) return false;
    slot = reinterpret_cast<Function>(entry);
    return true;
}

}  // namespace

bool LoadFetLibrary(FetLibrary& t) {
    t = FetLibrary{};
    void* library = LoadSharedLibrary(FetLibraryName());
    if (!library) return false;
    int next = 0;
    return Resolve(library, next, t.initialize) && Resolve(library, next, t.close) &&
           Resolve(library, next, t.identify) && Resolve(library, next, t.device) &&
           Resolve(library, next, t.configure) && Resolve(library, next, t.vcc) &&
           Resolve(library, next, t.reset) && Resolve(library, next, t.erase) &&
           Resolve(library, next, t.memory) && Resolve(library, next, t.verifyMem) &&
           Resolve(library, next, t.eraseCheck) && Resolve(library, next, t.secure) &&
           Resolve(library, next, t.errorNumber) && Resolve(library, next, t.errorString);
}

}  // namespace quarzo
