#include "adapters/fetdll/fet_library.h"

#include <cstdlib>

#include "platform/shared_library.h"

namespace quarzo {

const char* FetLibraryName() {
    const char* path = std::getenv("QUARZO_FETLIB");
    if (path && *path) return path;
#ifdef _WIN32
    return "MSP430.DLL";
#else
    return "libmsp430.so";
#endif
}

namespace {

template <typename Function>
bool ResolveName(void* library, const char* name, Function& slot) {
    void* entry = FindLibrarySymbol(library, name);
    if (!entry) return false;
    slot = reinterpret_cast<Function>(entry);
    return true;
}

// Looks up the next name of the list into slot.
template <typename Function>
bool Resolve(void* library, int& next, Function& slot) {
    return ResolveName(library, kFetEntryNames[next++], slot);
}

}  // namespace

FetLoad LoadFetLibrary(FetLibrary& t) {
    t = FetLibrary{};
    void* library = LoadSharedLibrary(FetLibraryName());
    if (!library) return FetLoad::kMissing;
    // Where long is wider than 32 bits, a build without the mark of 32-bit integers would read and
    // write the wrong widths through every pointer.
    if (sizeof(long) > sizeof(int32_t) && !FindLibrarySymbol(library, kFetInt32MarkName))
        return FetLoad::kLongIntegers;
    int next = 0;
    bool upToIdentify = Resolve(library, next, t.initialize) && Resolve(library, next, t.close);
    if (!upToIdentify) return FetLoad::kMissing;
    // Without identify the library may be of the current generation; the rest must be there anyway.
    bool hasIdentify = Resolve(library, next, t.identify);
    bool rest = Resolve(library, next, t.device) && Resolve(library, next, t.configure) &&
                Resolve(library, next, t.vcc) && Resolve(library, next, t.reset) &&
                Resolve(library, next, t.erase) && Resolve(library, next, t.memory) &&
                Resolve(library, next, t.verifyMem) && Resolve(library, next, t.eraseCheck) &&
                Resolve(library, next, t.secure) && Resolve(library, next, t.errorNumber) &&
                Resolve(library, next, t.errorString);
    if (!rest) return FetLoad::kMissing;
    bool hasOpenDevice = ResolveName(library, kFetOpenDeviceName, t.openDevice) &&
                         ResolveName(library, kFetGetFoundDeviceName, t.getFoundDevice);
    if (!hasOpenDevice) t.openDevice = nullptr;
    if (!hasIdentify && !hasOpenDevice) return FetLoad::kMissing;
    ResolveName(library, kFetLoadDeviceDbName, t.loadDeviceDb);
    ResolveName(library, kFetFwUpdateName, t.fwUpdate);
    if (!ResolveName(library, kFetNumberOfUsbIfsName, t.numberOfUsbIfs) ||
        !ResolveName(library, kFetNameOfUsbIfName, t.nameOfUsbIf)) {
        t.numberOfUsbIfs = nullptr;
        t.nameOfUsbIf = nullptr;
    }
    return FetLoad::kLoaded;
}

}  // namespace quarzo
