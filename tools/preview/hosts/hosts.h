// The hosts built into this copy of the tool.
#ifndef VELVET_TOOLS_PREVIEW_HOSTS_H
#define VELVET_TOOLS_PREVIEW_HOSTS_H

#include <string>
#include <vector>

#include "tools/preview/cli/cli.h"

namespace preview {

std::vector<HostEntry> built_hosts();

// Where the looks are when no flag names them: $VELVET_MAYA_PRESETS and
// $VELVET_MR_LOOKS; else the installed tree around the tool
// (../modules/velvet/presets/attrPresets/velvet and
// ../mentalray/include/krel_velvet_looks.mi); else, in a build tree, the
// staged tree that velvet-preview.build names.
LookFiles default_look_files(const LocateContext& context);

// True when standard error is a terminal (the progress bar is drawn then).
bool stderr_is_terminal();

}  // namespace preview

#endif  // VELVET_TOOLS_PREVIEW_HOSTS_H
