// Where the tool finds each plug-in, and how it says so. Each host looks in
// this order and takes the first place that has its plug-in:
//   1. the flag (--maya-plugin, --mr-library);
//   2. the host's own environment variables (MAYA_MODULE_PATH and
//      MAYA_PLUG_IN_PATH; MI_LIBRARY_PATH, MI_RAY_INCPATH and
//      MI_CUSTOM_SHADER_PATH);
//   3. the installed tree around the tool: ../modules, ../mentalray;
//   4. in a build tree, the build's outputs as listed in the file
//      velvet-preview.build that the build writes beside the program.
#ifndef VELVET_TOOLS_PREVIEW_HOSTS_LOCATE_H
#define VELVET_TOOLS_PREVIEW_HOSTS_LOCATE_H

#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace preview {

struct Location {
  bool found = false;
  std::string error;  // why not, when not found
  std::string how;    // which of the places above, in words
  // What was found, in the order shown: ("plug-in", path), ("declaration",
  // path), ("host module", path).
  std::vector<std::pair<std::string, std::string>> files;

  const std::string& file(const std::string& role) const;  // "" when absent
};

using Environment = std::function<std::optional<std::string>(const std::string& name)>;

struct LocateContext {
  Environment environment;
  std::string tool_dir;  // folder of the running program
};

// The process's environment and the running program's folder.
LocateContext process_locate_context();

// The build's description beside the program: its key=value lines, empty
// when there is none.
constexpr const char* kBuildInfoFile = "velvet-preview.build";
std::map<std::string, std::string> read_build_info(const std::string& tool_dir);

// "maya: found through ...\n  plug-in  /path\n" or "maya: not found: ...".
void print_location(std::ostream& out, const std::string& host, const Location& location);

}  // namespace preview

#endif  // VELVET_TOOLS_PREVIEW_HOSTS_LOCATE_H
