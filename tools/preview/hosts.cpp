#include "tools/preview/hosts.h"

#include "tools/preview/backends.h"

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

}  // namespace preview
