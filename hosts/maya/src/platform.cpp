// Everything that differs between Windows and the ELF platforms: opening a
// plug-in library, finding its symbols, redirecting standard error, and the
// names modules use (platform, plug-in suffix, path-list separator).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include <mayahost/modules.h>

#include "internal.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#define VELVET_DUP _dup
#define VELVET_DUP2 _dup2
#define VELVET_CLOSE _close
#define VELVET_FILENO _fileno
#else
#include <dlfcn.h>
#include <unistd.h>
#if defined(__GLIBC__)
#include <link.h>
#endif
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

namespace {

// A new, empty, unnamed-to-others file for the captured text, deleted when
// closed; null with the reason in `error` when none can be made.
#if defined(_WIN32)
std::FILE* captureFile(std::string* error) {
  // Not std::tmpfile(): Microsoft's runtime makes that file in the root of
  // the drive, where an ordinary user may not write.
  char folder[MAX_PATH + 1];
  const DWORD length = GetTempPathA(sizeof folder, folder);
  if (length == 0 || length > sizeof folder) {
    *error = "GetTempPath failed with error " + std::to_string(GetLastError());
    return nullptr;
  }
  char name[MAX_PATH];
  if (GetTempFileNameA(folder, "err", 0, name) == 0) {
    *error = std::string("GetTempFileName failed in ") + folder + " with error " +
             std::to_string(GetLastError());
    return nullptr;
  }
  const HANDLE handle = CreateFileA(
      name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    *error = std::string("cannot open ") + name + ": error " + std::to_string(GetLastError());
    DeleteFileA(name);
    return nullptr;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDWR | _O_BINARY);
  if (fd == -1) {
    *error = std::string("cannot give ") + name + " a descriptor";
    CloseHandle(handle);
    return nullptr;
  }
  std::FILE* const f = _fdopen(fd, "w+b");
  if (f == nullptr) {
    *error = std::string("cannot open a stream on ") + name;
    _close(fd);
  }
  return f;
}
#else
std::FILE* captureFile(std::string* error) {
  std::FILE* const f = std::tmpfile();
  if (f == nullptr) *error = std::string("tmpfile failed: ") + std::strerror(errno);
  return f;
}
#endif

}  // namespace

StderrCapture::StderrCapture() {
  std::cerr.flush();
  std::fflush(stderr);
  std::FILE* const f = captureFile(&error_);
  if (f == nullptr) {
    // Said where it will be seen, as well as by text().
    std::fprintf(stderr, "StderrCapture: standard error is not captured: %s\n", error_.c_str());
    return;
  }
  savedFd_ = VELVET_DUP(VELVET_FILENO(stderr));
  if (savedFd_ == -1 || VELVET_DUP2(VELVET_FILENO(f), VELVET_FILENO(stderr)) == -1) {
    error_ = std::string("cannot redirect standard error: ") + std::strerror(errno);
    std::fprintf(stderr, "StderrCapture: %s\n", error_.c_str());
    if (savedFd_ != -1) VELVET_CLOSE(savedFd_);
    savedFd_ = -1;
    std::fclose(f);
    return;
  }
  file_ = f;
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
  if (file_ == nullptr) return "[standard error not captured: " + error_ + "]";
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
