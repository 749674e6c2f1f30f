// The platform layer (platform.cpp): the one place that opens, searches and
// closes libraries, with dlopen or LoadLibrary.
#ifndef MAYAHOST_SRC_PLATFORM_H
#define MAYAHOST_SRC_PLATFORM_H

#include <string>

namespace mayahost::detail {

// The library at `path`, or null with the loader's reason in `error`.
void* openLibrary(const std::string& path, std::string* error);
// A symbol the library itself defines (not one of its dependencies), or null.
void* findSymbol(void* library, const char* name);
void closeLibrary(void* library);

}  // namespace mayahost::detail

#endif  // MAYAHOST_SRC_PLATFORM_H
