// The hosts this build has: each host's entry with the functions that load
// and locate its plug-in, which exist only when its backend is compiled in.
#include "tools/preview/hosts/hosts.h"
#include "tools/preview/hosts/registry.h"

namespace preview {

namespace {

// The Maya plug-in as this process finds it: the maya and viewport hosts'.
[[maybe_unused]] Location locate_maya_here(const std::string& path) {
  return locate_maya(path, process_locate_context());
}

}  // namespace

std::vector<HostEntry> built_hosts() {
  std::vector<HostEntry> hosts;
#ifdef VELVET_PREVIEW_WITH_MAYA
  hosts.push_back(maya_entry());
  hosts.back().make = make_maya_backend;
  hosts.back().locate = locate_maya_here;
#endif
#ifdef VELVET_PREVIEW_WITH_MENTALRAY
  hosts.push_back(mentalray_entry());
  hosts.back().make = make_mentalray_backend;
  hosts.back().locate = [](const std::string& path) {
    return locate_mentalray(path, process_locate_context());
  };
#endif
#ifdef VELVET_PREVIEW_WITH_VIEWPORT
  // Asked for by name (--hosts ...,viewport), never rendered by default.
  hosts.push_back(viewport_entry());
  hosts.back().make = make_viewport_backend;
  hosts.back().locate = locate_maya_here;
#endif
  return hosts;
}

}  // namespace preview
