// The standard error capture: the descriptor is redirected into a temporary
// file, which text() reads back. The one place that knows how Windows and
// the POSIX platforms make such a file and swap descriptors.
#include <hostkit/stderr_capture.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#define HOSTKIT_DUP _dup
#define HOSTKIT_DUP2 _dup2
#define HOSTKIT_CLOSE _close
#define HOSTKIT_FILENO _fileno
#else
#include <unistd.h>
#define HOSTKIT_DUP dup
#define HOSTKIT_DUP2 dup2
#define HOSTKIT_CLOSE close
#define HOSTKIT_FILENO fileno
#endif

namespace hostkit {

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
  savedFd_ = HOSTKIT_DUP(HOSTKIT_FILENO(stderr));
  if (savedFd_ == -1 || HOSTKIT_DUP2(HOSTKIT_FILENO(f), HOSTKIT_FILENO(stderr)) == -1) {
    error_ = std::string("cannot redirect standard error: ") + std::strerror(errno);
    std::fprintf(stderr, "StderrCapture: %s\n", error_.c_str());
    if (savedFd_ != -1) HOSTKIT_CLOSE(savedFd_);
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
  HOSTKIT_DUP2(savedFd_, HOSTKIT_FILENO(stderr));
  HOSTKIT_CLOSE(savedFd_);
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

}  // namespace hostkit
