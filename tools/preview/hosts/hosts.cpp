#include "tools/preview/hosts/hosts.h"

#include <filesystem>
#include <map>

#include "tools/preview/hosts/registry.h"

namespace preview {

std::vector<HostEntry> built_hosts() {
  std::vector<HostEntry> hosts;
#ifdef VELVET_PREVIEW_WITH_MAYA
  hosts.push_back({"maya", "maya", "maya-plugin", make_maya_backend, [](const std::string& path) {
                     return locate_maya(path, process_locate_context());
                   }});
#endif
#ifdef VELVET_PREVIEW_WITH_MENTALRAY
  hosts.push_back(
      {"mr", "mentalray", "mr-library", make_mentalray_backend,
       [](const std::string& path) { return locate_mentalray(path, process_locate_context()); }});
#endif
  return hosts;
}

LookFiles default_look_files(const LocateContext& context) {
  namespace fs = std::filesystem;
  const std::string maya = context.environment("VELVET_MAYA_PRESETS").value_or("");
  const std::string mr = context.environment("VELVET_MR_LOOKS").value_or("");
  if (!maya.empty() || !mr.empty()) return {maya, mr, "$VELVET_MAYA_PRESETS/$VELVET_MR_LOOKS"};
  const auto in_tree = [](const fs::path& modules, const fs::path& mentalray) {
    return LookFiles{(modules / "velvet" / "presets" / "attrPresets" / "velvet").string(),
                     (mentalray / "include" / kMrLooksFile).string(), ""};
  };
  if (!context.tool_dir.empty()) {
    const fs::path prefix = fs::path(context.tool_dir).parent_path();
    LookFiles installed = in_tree(prefix / "modules", prefix / "mentalray");
    std::error_code ec;
    if (fs::is_regular_file(installed.mr_looks, ec)) {
      installed.origin = "installed tree " + prefix.string();
      return installed;
    }
  }
  const std::map<std::string, std::string> build = read_build_info(context.tool_dir);
  const auto modules = build.find("maya-module-path");
  const auto shaders = build.find("mr-custom-shader-path");
  if (modules != build.end() && shaders != build.end()) {
    LookFiles staged = in_tree(modules->second, shaders->second);
    staged.origin = std::string("build tree (") + kBuildInfoFile + ")";
    return staged;
  }
  return {"", "", "nowhere"};
}

}  // namespace preview
