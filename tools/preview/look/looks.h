// Ready-made looks, read from each host's own preset files: Maya attribute
// presets (<look>.mel: startAttrPreset, blendAttr lines, endAttrPreset) and
// mental ray shader blocks (shader "velvet_<look>" "krel_velvet" ( ... ) in
// krel_velvet_looks.mi). The files are the only place a look is written
// down; this reader checks their syntax and keeps every value as written,
// with its file and line, so that a host can check names and types.
#ifndef VELVET_TOOLS_PREVIEW_LOOK_LOOKS_H
#define VELVET_TOOLS_PREVIEW_LOOK_LOOKS_H

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tools/preview/look/params.h"

namespace preview {

// One `blendAttr "name" v...;` or `"name" v...` entry.
struct LookSetting {
  std::string name;
  std::vector<std::string> values;  // as written: numbers, or on/off in .mi
  int line = 0;
};

// One host's version of a look.
struct LookSource {
  std::string file;
  int line = 0;  // where the preset or the shader block starts
  std::vector<LookSetting> settings;
};

struct NamedLook {
  std::string name;  // as listed: words joined by '-' ("crushed-red-velvet")
  std::optional<LookSource> maya, mr;
};

// Where the look files are, and how they were found (for --list-looks).
struct LookFiles {
  std::string maya_presets;  // folder holding <look>.mel
  std::string mr_looks;      // the .mi file of shader blocks
  std::string origin;
};

// The file name of the presets, and the prefix of a look's shader name.
constexpr const char* kMayaPresetNodeType = "velvet";
constexpr const char* kMrLooksFile = "krel_velvet_looks.mi";
constexpr const char* kMrShaderFunction = "krel_velvet";
constexpr const char* kMrShaderPrefix = "velvet_";

// How one host keeps its looks: the extension of a new look's file, whether
// a colour may carry a fourth number (an alpha the shader never reads), the
// writer of a new look's file, and which of a NamedLook's sources it fills.
struct LookFormat {
  const char* what;  // "a Maya preset", for messages
  const char* extension;
  bool colour_alpha;
  std::string (*text)(const std::string& look,
                      const std::vector<std::pair<std::string, ParamValue>>& values);
  std::optional<LookSource> NamedLook::*source;
};

// Maya attribute presets (<look>.mel in a folder) and mental ray shader
// blocks (one .mi file of them).
extern const LookFormat kMayaPresetFormat;
extern const LookFormat kMrBlockFormat;

// Looks are named with '-' between words; files and shader names use '_'
// (Maya's preset names are identifiers). Both spellings name the same look.
std::string look_name(std::string text);

// Parse one preset file's text (`path` only for messages). Errors read
// "path:line: what".
bool parse_maya_preset(const std::string& path, const std::string& text, LookSource& out,
                       std::string& error);

// Parse a .mi file of shader blocks into (look name, source) pairs, in file
// order.
bool parse_mr_looks(const std::string& path, const std::string& text,
                    std::vector<std::pair<std::string, LookSource>>& out, std::string& error);

// Reads every preset in files.maya_presets and every block in files.mr_looks
// (either may be empty: that host then has no looks) and pairs them by name,
// sorted by name. Fails on the first malformed file, or on a look named
// twice for one host.
bool load_looks(const LookFiles& files, std::vector<NamedLook>& out, std::string& error);

// A name a new look may take: a letter, then letters, digits, '-' or '_',
// at most kMaxLookName characters, and no name that Windows keeps for a
// device (con, nul, com1, ...).
constexpr std::size_t kMaxLookName = 64;
bool valid_look_name(const std::string& name);

// A look's values in the hosts' own syntax, one host at a time; the parsers
// above read them back to the same values. Values in the order given; a
// float is written with the fewest digits that read back to its bits.
std::string maya_preset_text(const std::vector<std::pair<std::string, ParamValue>>& values);
std::string mr_block_text(const std::string& look,
                          const std::vector<std::pair<std::string, ParamValue>>& values);

// The file name stem and the shader name of a look ('_' between words).
std::string look_file_stem(const std::string& look);

}  // namespace preview

#endif  // VELVET_TOOLS_PREVIEW_LOOK_LOOKS_H
