#include "adapters/fetdll/fet_dll_adapter.h"

#include <cstdio>

namespace quarzo {

namespace {
constexpr const char* kPortNames[] = {"LPT1", "LPT2", "LPT3", "TIUSB"};
constexpr const char* kLibraryMissing = "msp430.dll not found";
}  // namespace

FetDllAdapter::FetDllAdapter() : UnusableAdapter({0, kLibraryMissing, kLibraryMissing, false}, 256) {}

int FetDllAdapter::GetName(char* out) {
    if (portIndex > 3) portIndex = 0;
    std::snprintf(out, kNameSize, "FET DLL (%s)", kPortNames[portIndex]);
    return 0;
}

}  // namespace quarzo
