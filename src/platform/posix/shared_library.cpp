#include "platform/shared_library.h"

#include <dlfcn.h>

namespace quarzo {

void* LoadSharedLibrary(const std::string& name) {
    return dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* FindLibrarySymbol(void* library, const char* name) {
    return library ? dlsym(library, name) : nullptr;
}

}  // namespace quarzo
