#include "tools/preview/hosts.h"

#include <cstdlib>
#include <filesystem>

#include "tools/preview/backends.h"

namespace preview {

std::vector<HostEntry> built_hosts() {
  std::vector<HostEntry> hosts;
#ifdef VELVET_PREVIEW_WITH_MAYA
  hosts.push_back({"maya", "maya", "maya-plugin", make_maya_backend});
#endif
#ifdef VELVET_PREVIEW_WITH_MENTALRAY
  hosts.push_back({"mr", "mentalray", "mr-library", make_mentalray_backend});
#endif
  return hosts;
}

LookFiles default_look_files() {
  namespace fs = std::filesystem;
  const char* maya = std::getenv("VELVET_MAYA_PRESETS");
  const char* mr = std::getenv("VELVET_MR_LOOKS");
  if ((maya != nullptr && *maya != '\0') || (mr != nullptr && *mr != '\0')) {
    return {maya != nullptr ? maya : "", mr != nullptr ? mr : "",
            "$VELVET_MAYA_PRESETS/$VELVET_MR_LOOKS"};
  }
  // An installed tool sits in <prefix>/bin or in <prefix> itself.
  const std::string exe = executable_path();
  if (!exe.empty()) {
    std::error_code ec;
    const fs::path dir = fs::path(exe).parent_path();
    for (const fs::path& prefix : {dir.parent_path(), dir}) {
      const fs::path presets = prefix / "modules" / "velvet" / "presets" / "attrPresets" / "velvet";
      const fs::path mi = prefix / "mentalray" / "include" / kMrLooksFile;
      if (fs::is_directory(presets, ec) && fs::is_regular_file(mi, ec)) {
        return {presets.string(), mi.string(), "installed tree " + prefix.string()};
      }
    }
  }
#ifdef VELVET_PREVIEW_SOURCE_DIR
  const fs::path source = VELVET_PREVIEW_SOURCE_DIR;
  return {(source / "maya" / "presets" / "attrPresets" / "velvet").string(),
          (source / "mentalray" / kMrLooksFile).string(), "source tree " + source.string()};
#else
  return {"", "", "nowhere"};
#endif
}

}  // namespace preview
