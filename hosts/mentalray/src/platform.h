// Opening a library and finding its exports: the stand-in renderer's only
// platform-specific code, in platform.cpp.
#ifndef MRHOST_SRC_PLATFORM_H
#define MRHOST_SRC_PLATFORM_H

#include <string>

namespace mrhost::platform {

// Loads the library at `path` with every reference resolved now; null with
// the platform's reason in `error` on failure. `global` also makes its exports answer
// look-ups with a null handle where the platform has such a scope (ELF's
// global scope). Windows has none: a null handle finds the executable's own
// exports, whatever has been loaded.
void* open_library(const std::string& path, bool global, std::string* error);
void* find_symbol(void* library, const char* name);
void close_library(void* library);

// An export as the function type the caller knows it by, or null.
template <class Function>
Function find_function(void* library, const char* name) {
  return reinterpret_cast<Function>(find_symbol(library, name));
}

}  // namespace mrhost::platform

#endif  // MRHOST_SRC_PLATFORM_H
