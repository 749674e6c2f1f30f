// Everything that differs between Windows and the ELF platforms: opening a
// plug-in library, finding its symbols, and the names modules use (platform,
// plug-in suffix, path-list separator).
#include <mayahost/modules.h>

#include <algorithm>
#include <string>

#include "platform.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#if defined(__GLIBC__)
#include <link.h>
#endif
#endif

namespace mayahost::detail {

#if defined(_WIN32)
void* openLibrary(const std::string& path, std::string* error) {
  // Paths come with either slash; LoadLibrary is promised backslashes only.
  std::string native = path;
  std::replace(native.begin(), native.end(), '/', '\\');
  HMODULE m = LoadLibraryA(native.c_str());
  if (m == nullptr) *error = "LoadLibrary failed with error " + std::to_string(GetLastError());
  return m;
}
void* findSymbol(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}
void closeLibrary(void* library) {
  FreeLibrary(static_cast<HMODULE>(library));
}
#else
void* openLibrary(const std::string& path, std::string* error) {
  // Local binding: a plug-in's names must not stand in for another's.
  void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (h == nullptr) {
    const char* e = dlerror();
    *error = e != nullptr ? e : "dlopen failed";
  }
  return h;
}
// Only the library's own definitions, as GetProcAddress gives: dlsym also
// searches the library's dependencies, where a name such as MApiVersion
// would stand in for one the plug-in lacks.
void* findSymbol(void* library, const char* name) {
  void* const address = dlsym(library, name);
#if defined(__GLIBC__)
  struct link_map* own = nullptr;
  struct link_map* holder = nullptr;
  Dl_info info;
  if (address != nullptr && dlinfo(library, RTLD_DI_LINKMAP, &own) == 0 &&
      dladdr1(address, &info, reinterpret_cast<void**>(&holder), RTLD_DL_LINKMAP) != 0 &&
      holder != own) {
    return nullptr;
  }
#endif
  return address;
}
void closeLibrary(void* library) {
  dlclose(library);
}
#endif

}  // namespace mayahost::detail

namespace mayahost {

std::string HostInfo::currentPlatformName() {
#if defined(_WIN32)
  return "win64";
#elif defined(__APPLE__)
  return "mac";
#else
  return "linux";
#endif
}

const char* pluginSuffix() {
#if defined(_WIN32)
  return ".mll";
#elif defined(__APPLE__)
  return ".bundle";
#else
  return ".so";
#endif
}

char pathListSeparator() {
#if defined(_WIN32)
  return ';';
#else
  return ':';
#endif
}

}  // namespace mayahost
