#pragma once

#include <string>

namespace platform {

// Loads a shared library; null (with the loader's reason in *error) on failure.
void* OpenLibrary(const std::string& path, std::string* error);
// Looks up a symbol; null when missing.
void* LibrarySymbol(void* library, const char* name);
void CloseLibrary(void* library);

}  // namespace platform
