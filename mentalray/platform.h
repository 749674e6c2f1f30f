// The platform-specific part of the library: how its entry points are
// exported and how a host function is found by name in a loaded module.
// Everything that differs between Windows and POSIX lives here and in
// platform.cpp.
#ifndef KREL_VELVET_PLATFORM_H
#define KREL_VELVET_PLATFORM_H

#ifdef _WIN32
#define KREL_EXPORT extern "C" __declspec(dllexport)
#else
#define KREL_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace krel {

// Address of the function `name` exported by `module`, or null. On failure
// `*error` receives the platform's error code for the failed look-up.
void* find_host_function(void* module, const char* name, int* error);

}  // namespace krel

#endif  // KREL_VELVET_PLATFORM_H
