// The hosts built into this copy of the tool, one entry each: every fact that
// differs from host to host is in its entry and nowhere else. Adding a host
// is adding its backend file, its entry in hosts.cpp (and all_host_entries())
// and its lines in built.cpp.
#ifndef VELVET_TOOLS_PREVIEW_HOSTS_HOSTS_H
#define VELVET_TOOLS_PREVIEW_HOSTS_HOSTS_H

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/preview/hosts/backend.h"
#include "tools/preview/hosts/locate.h"
#include "tools/preview/look/handover.h"
#include "tools/preview/look/looks.h"
#include "tools/preview/look/texture_handover.h"

namespace preview {

// A host the tool can render through.
struct HostEntry {
  std::string flag;       // the name on the command line: --maya, --hosts maya
  std::string file_name;  // output file stem: maya.png
  std::string path_flag;  // flag that overrides the plug-in's path, without "--"
  std::string title;      // what the page calls it: "Maya: velvet node"
  std::string set_help;   // --help's line for --<flag> NAME=VALUE
  // Its looks: the flag naming their file or folder (without "--"), the
  // LookFiles member that holds it, and their format.
  std::string looks_flag;
  std::string looks_arg, looks_help;  // --help's: "DIR", "folder of the Maya presets ..."
  std::string looks_env;              // the variable naming them: "VELVET_MAYA_PRESETS"
  std::string LookFiles::*looks = nullptr;
  const LookFormat* look_format = nullptr;
  // The lobe shape that its plug-in fixes, read from the plug-in's own
  // declaration; nothing when the shape is the plug-in's to be set.
  std::optional<LobeShape> fixed_lobe;
  // A look's values as text the host takes (MEL, a .mi block).
  HandoverWriter handover = nullptr;
  // How to connect an image to one of its inputs (a file node, a texture
  // shader).
  TextureHandoverWriter texture_handover = nullptr;
  // Loads the plug-in (from `path`, or the built one when empty). Null with a
  // message in `error` when that fails.
  std::function<std::unique_ptr<Backend>(const std::string& path, std::string& error)> make;
  // Where the plug-in would be loaded from (for `--hosts` alone); may be
  // empty.
  std::function<Location(const std::string& path)> locate;
  // The host whose plug-in this one shows another way ("maya" for the
  // viewport, which draws the Maya node): it takes that host's settings,
  // plug-in path and looks, and has no flags of its own for them. Empty
  // for a host of its own.
  std::string shows;
};

// The flag under which `h`'s settings, plug-in path and looks are given: its
// own, or that of the host it shows.
inline const std::string& settings_flag(const HostEntry& h) {
  return h.shows.empty() ? h.flag : h.shows;
}

// The built hosts' entries, in the order they are rendered and listed.
std::vector<HostEntry> built_hosts();

// Every host's entry with its facts but without `make` and `locate`, built
// or not: for tests and fakes that stand in for a host under its name.
HostEntry maya_entry();
HostEntry mentalray_entry();
HostEntry viewport_entry();

// Every host's entry, built or not (as above), but for those that show
// another's plug-in: what a look must be written for, whichever hosts are
// loaded.
const std::vector<HostEntry>& all_host_entries();

// The one lobe shape that every host in `hosts` renders for the cross-host
// check: the shape their plug-ins fix. Nothing, with a message in `error`,
// when none fixes one or two fix different ones.
std::optional<LobeShape> shared_lobe_shape(const std::vector<const HostEntry*>& hosts,
                                           std::string& error);

// Where the looks are when no flag names them: $VELVET_MAYA_PRESETS and
// $VELVET_MR_LOOKS; else the installed tree around the tool
// (../modules/velvet/presets/attrPresets/velvet and
// ../mentalray/include/krel_velvet_looks.mi); else, in a build tree, the
// staged tree that velvet-preview.build names.
LookFiles default_look_files(const LocateContext& context);

}  // namespace preview

#endif  // VELVET_TOOLS_PREVIEW_HOSTS_HOSTS_H
