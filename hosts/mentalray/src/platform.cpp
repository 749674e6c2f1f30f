#include "platform.h"

#if defined(_WIN32)

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <cstring>

namespace mrhost::platform {

void* open_library(const std::string& path, bool /*global*/, std::string* error) {
  // Paths come with either slash; LoadLibrary is promised backslashes only.
  std::string native = path;
  std::replace(native.begin(), native.end(), '/', '\\');
  const HMODULE module = LoadLibraryA(native.c_str());
  if (!module && error) {
    const DWORD code = GetLastError();
    char text[256] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                   text, sizeof text, nullptr);
    std::string reason(text);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) reason.pop_back();
    *error = "error " + std::to_string(code) + (reason.empty() ? "" : " (" + reason + ")");
  }
  return module;
}

void* find_symbol(void* library, const char* name) {
  const FARPROC address = GetProcAddress(static_cast<HMODULE>(library), name);
  void* result;
  std::memcpy(&result, &address, sizeof result);
  return result;
}

void close_library(void* library) {
  FreeLibrary(static_cast<HMODULE>(library));
}

}  // namespace mrhost::platform

#else

#include <dlfcn.h>

namespace mrhost::platform {

void* open_library(const std::string& path, bool global, std::string* error) {
  void* const library = dlopen(path.c_str(), RTLD_NOW | (global ? RTLD_GLOBAL : RTLD_LOCAL));
  if (!library && error) {
    const char* reason = dlerror();
    *error = reason ? reason : "dlopen failed";
  }
  return library;
}

void* find_symbol(void* library, const char* name) {
  return dlsym(library, name);
}

void close_library(void* library) {
  dlclose(library);
}

}  // namespace mrhost::platform

#endif
