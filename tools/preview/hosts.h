// The hosts built into this copy of the tool.
#ifndef VELVET_TOOLS_PREVIEW_HOSTS_H
#define VELVET_TOOLS_PREVIEW_HOSTS_H

#include <string>
#include <vector>

#include "tools/preview/cli.h"

namespace preview {

std::vector<HostEntry> built_hosts();

// Where the looks are when no flag names them: $VELVET_MAYA_PRESETS and
// $VELVET_MR_LOOKS, else the installed tree around the tool
// (<prefix>/modules/velvet/presets/attrPresets/velvet and
// <prefix>/mentalray/include/krel_velvet_looks.mi), else the source tree of
// a build-tree tool.
LookFiles default_look_files();

// The running program's file, or empty when the system cannot say.
std::string executable_path();

// True when standard error is a terminal (the progress bar is drawn then).
bool stderr_is_terminal();

}  // namespace preview

#endif  // VELVET_TOOLS_PREVIEW_HOSTS_H
