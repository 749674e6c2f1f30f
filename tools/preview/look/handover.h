// The hand-over writers: a look's values as text that each host takes as it
// is, for an artist to paste into the host. A MEL script that sets the
// selected velvet node (or a new one), and a mental ray shader block. Each
// host's entry (hosts/hosts.h) names its writer; the looks' own files are
// looks.h's.
#ifndef VELVET_TOOLS_PREVIEW_LOOK_HANDOVER_H
#define VELVET_TOOLS_PREVIEW_LOOK_HANDOVER_H

#include <string>
#include <utility>
#include <vector>

#include "tools/preview/look/params.h"

namespace preview {

using NamedValues = std::vector<std::pair<std::string, ParamValue>>;

// A writer: the values, in the order given, as the host's own text.
using HandoverWriter = std::string (*)(const NamedValues& values);

// MEL: setAttr of each value on the selected velvet node, or on a new one.
std::string mel_handover(const NamedValues& values);

// A .mi shader block "velvetLook" of the krel_velvet shader with each value.
std::string mi_handover(const NamedValues& values);

}  // namespace preview

#endif  // VELVET_TOOLS_PREVIEW_LOOK_HANDOVER_H
