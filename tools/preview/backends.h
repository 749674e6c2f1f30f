// The hosts' backends, each built only with its host.
#ifndef VELVET_TOOLS_PREVIEW_BACKENDS_H
#define VELVET_TOOLS_PREVIEW_BACKENDS_H

#include <memory>
#include <string>

#include "tools/preview/backend.h"
#include "tools/preview/locate.h"

namespace preview {

// Find each host's plug-in the way locate.h describes; `path` is the
// flag's value ("" when not given).
Location locate_maya(const std::string& path, const LocateContext& context);
Location locate_mentalray(const std::string& path, const LocateContext& context);

// Load the plug-in at `path` (found by locate_* when empty) into its
// stand-in host. Null with a message in `error` when that fails.
std::unique_ptr<Backend> make_maya_backend(const std::string& path, std::string& error);
std::unique_ptr<Backend> make_mentalray_backend(const std::string& path, std::string& error);

}  // namespace preview

#endif  // VELVET_TOOLS_PREVIEW_BACKENDS_H
