#include "platform.h"

#include <cstring>

#ifdef _WIN32

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

// The library keeps no per-thread data, so the loader need not call in for
// every thread the renderer starts.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  return TRUE;
}

void* krel::find_host_function(void* module, const char* name, int* error) {
  const FARPROC function = GetProcAddress(static_cast<HMODULE>(module), name);
  if (!function) {
    *error = static_cast<int>(GetLastError());
    return nullptr;
  }
  void* address;
  std::memcpy(&address, &function, sizeof address);
  return address;
}

#else

#include <dlfcn.h>

void* krel::find_host_function(void* module, const char* name, int* error) {
  void* const address = dlsym(module, name);
  // dlsym has no numeric error code (dlerror gives only text, and errno is
  // not defined after it). Report -1: it cannot be mistaken for a code of
  // the platform, and 0 would read as "no error".
  if (!address) *error = -1;
  return address;
}

#endif
