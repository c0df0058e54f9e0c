#pragma once

#include <string>

namespace quarzo {

// Loads a shared library for the rest of the process (it is never unloaded); null when it cannot.
void* LoadSharedLibrary(const std::string& name);
// The address of an exported function; null when the library does not export that name.
void* FindLibrarySymbol(void* library, const char* name);

}  // namespace quarzo
