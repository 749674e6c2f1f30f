#include "tools/preview/hosts/locate.h"

#include <filesystem>
#include <fstream>

namespace preview {

const std::string& Location::file(const std::string& role) const {
  static const std::string none;
  for (const auto& [r, path] : files) {
    if (r == role) return path;
  }
  return none;
}

std::map<std::string, std::string> read_build_info(const std::string& tool_dir) {
  std::map<std::string, std::string> info;
  if (tool_dir.empty()) return info;
  std::ifstream in(std::filesystem::path(tool_dir) / kBuildInfoFile);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t eq = line.find('=');
    if (line.empty() || line[0] == '#' || eq == std::string::npos) continue;
    info[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return info;
}

void print_location(std::ostream& out, const std::string& host, const Location& location) {
  if (!location.found) {
    out << host << ": not found: " << location.error << "\n";
    return;
  }
  out << host << ": found through " << location.how << "\n";
  for (const auto& [role, path] : location.files) out << "  " << role << "  " << path << "\n";
}

}  // namespace preview
