// The hosts built into this copy of the tool.
#ifndef VELVET_TOOLS_PREVIEW_HOSTS_H
#define VELVET_TOOLS_PREVIEW_HOSTS_H

#include <vector>

#include "tools/preview/cli.h"

namespace preview {

std::vector<HostEntry> built_hosts();

// True when standard error is a terminal (the progress bar is drawn then).
bool stderr_is_terminal();

}  // namespace preview

#endif  // VELVET_TOOLS_PREVIEW_HOSTS_H
