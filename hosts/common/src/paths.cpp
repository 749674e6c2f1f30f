#include <hostkit/paths.h>

#include <algorithm>
#include <filesystem>

namespace hostkit {

std::string normal_path(const std::string& path) {
  if (path.empty()) return path;
#if defined(_WIN32)
  std::string s = path;
  std::replace(s.begin(), s.end(), '\\', '/');
  if (s.size() > 2 && s[0] == '/' && s[1] == '/' && s[2] != '/') {
    // "//server/share" is the root; only what follows is normalised.
    const std::size_t server_end = s.find('/', 2);
    const std::size_t root_end =
        server_end == std::string::npos ? std::string::npos : s.find('/', server_end + 1);
    if (root_end == std::string::npos) return s;
    const std::string rest =
        std::filesystem::path(s.substr(root_end)).lexically_normal().generic_string();
    return s.substr(0, root_end) + (rest == "/" ? "" : rest);
  }
  return std::filesystem::path(s).lexically_normal().generic_string();
#else
  return std::filesystem::path(path).lexically_normal().generic_string();
#endif
}

std::string join_path(const std::string& folder, const std::string& name) {
  if (folder.empty()) return normal_path(name);
  return normal_path(folder + "/" + name);
}

}  // namespace hostkit
