#include "platform/dynlib.h"

#include <dlfcn.h>

namespace platform {

void* OpenLibrary(const std::string& path, std::string* error) {
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle && error) {
        const char* why = ::dlerror();
        *error = why ? why : "unknown error";
    }
    return handle;
}

void* LibrarySymbol(void* library, const char* name) {
    return library ? ::dlsym(library, name) : nullptr;
}

void CloseLibrary(void* library) {
    if (library)
        ::dlclose(library);
}

}  // namespace platform
