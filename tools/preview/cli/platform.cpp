// The tool's only platform-specific code; see platform.h.
#include <cstdlib>
#include <filesystem>

#include "tools/preview/cli/platform.h"
#include "tools/preview/hosts/locate.h"

#ifdef _WIN32
#include <io.h>
#include <stdio.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace preview {

bool stderr_is_terminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(STDERR_FILENO) != 0;
#endif
}

namespace {

// The running program's own file, or "" when the platform will not say.
std::filesystem::path executable_path() {
#ifdef _WIN32
  wchar_t buffer[32768];
  const DWORD n = GetModuleFileNameW(nullptr, buffer, sizeof buffer / sizeof buffer[0]);
  if (n == 0 || n >= sizeof buffer / sizeof buffer[0]) return {};
  return std::filesystem::path(std::wstring(buffer, n));
#else
  std::error_code ec;
  std::filesystem::path p = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : p;
#endif
}

}  // namespace

LocateContext process_locate_context() {
  LocateContext c;
  c.environment = [](const std::string& name) -> std::optional<std::string> {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
  };
  const std::filesystem::path exe = executable_path();
  if (!exe.empty()) c.tool_dir = exe.parent_path().generic_string();
  return c;
}

}  // namespace preview
