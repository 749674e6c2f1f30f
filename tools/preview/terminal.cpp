// The tool's only platform-specific code.
#include "tools/preview/hosts.h"

#ifdef _WIN32
#include <io.h>
#include <stdio.h>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <filesystem>
#include <system_error>

namespace preview {

bool stderr_is_terminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(STDERR_FILENO) != 0;
#endif
}

std::string executable_path() {
#ifdef _WIN32
  wchar_t buffer[32768];
  const DWORD n = GetModuleFileNameW(nullptr, buffer, 32768);
  if (n == 0 || n >= 32768) return "";
  return std::filesystem::path(std::wstring(buffer, n)).string();
#else
  std::error_code ec;
  const std::filesystem::path p = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : p.string();
#endif
}

}  // namespace preview
