// Everything that differs between Windows and the ELF platforms: opening a
// plug-in library, finding its symbols, redirecting standard error, and the
// names modules use (platform, plug-in suffix, path-list separator).
#include <cstdio>
#include <iostream>
#include <string>

#include <mayahost/modules.h>

#include "internal.h"

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#define VELVET_DUP _dup
#define VELVET_DUP2 _dup2
#define VELVET_CLOSE _close
#define VELVET_FILENO _fileno
#else
#include <dlfcn.h>
#include <unistd.h>
#define VELVET_DUP dup
#define VELVET_DUP2 dup2
#define VELVET_CLOSE close
#define VELVET_FILENO fileno
#endif

namespace mayahost::detail {

#if defined(_WIN32)
void* openLibrary(const std::string& path, std::string* error) {
  HMODULE m = LoadLibraryA(path.c_str());
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
void* findSymbol(void* library, const char* name) {
  return dlsym(library, name);
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

StderrCapture::StderrCapture() {
  std::cerr.flush();
  std::fflush(stderr);
  std::FILE* f = std::tmpfile();
  if (f == nullptr) return;
  file_ = f;
  savedFd_ = VELVET_DUP(VELVET_FILENO(stderr));
  VELVET_DUP2(VELVET_FILENO(f), VELVET_FILENO(stderr));
}

StderrCapture::~StderrCapture() {
  if (file_ == nullptr) return;
  std::cerr.flush();
  std::fflush(stderr);
  VELVET_DUP2(savedFd_, VELVET_FILENO(stderr));
  VELVET_CLOSE(savedFd_);
  std::fclose(static_cast<std::FILE*>(file_));
}

std::string StderrCapture::text() const {
  if (file_ == nullptr) return std::string();
  std::cerr.flush();
  std::fflush(stderr);
  auto* f = static_cast<std::FILE*>(file_);
  std::string out;
  std::rewind(f);
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
  std::fseek(f, 0, SEEK_END);
  return out;
}

}  // namespace mayahost
