// The registry of host backends: how the tool finds and loads each host's
// plug-in. Each host's pair of functions is defined in its backend file
// (maya_backend.cpp, mentalray_backend.cpp), which a build compiles only
// when it has that host; built.cpp lists the ones this build has. Included by
// those files and the tests of them; the rest of the tool sees a host through
// HostEntry (hosts.h) and the interface in backend.h.
#ifndef VELVET_TOOLS_PREVIEW_HOSTS_REGISTRY_H
#define VELVET_TOOLS_PREVIEW_HOSTS_REGISTRY_H

#include <memory>
#include <string>

#include "tools/preview/hosts/backend.h"
#include "tools/preview/hosts/locate.h"

namespace preview {

// Find each host's plug-in the way locate.h describes; `path` is the
// flag's value ("" when not given).
Location locate_maya(const std::string& path, const LocateContext& context);
Location locate_mentalray(const std::string& path, const LocateContext& context);

// Load the plug-in at `path` (found by locate_* when empty) into its
// stand-in host. Null with a message in `error` when that fails.
std::unique_ptr<Backend> make_maya_backend(const std::string& path, std::string& error);
std::unique_ptr<Backend> make_mentalray_backend(const std::string& path, std::string& error);
// The Maya node drawn by Viewport 2.0's fragment graph on Mesa: `path` is the
// Maya plug-in's, found as for the maya host.
std::unique_ptr<Backend> make_viewport_backend(const std::string& path, std::string& error);

}  // namespace preview

#endif  // VELVET_TOOLS_PREVIEW_HOSTS_REGISTRY_H
