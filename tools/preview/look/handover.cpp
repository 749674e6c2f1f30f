#include "tools/preview/look/handover.h"

#include "tools/preview/look/looks.h"

namespace preview {

std::string mel_handover(const NamedValues& values) {
  std::string text = std::string(
                         "// velvet-preview look: sets the selected velvet node, or a new one\n"
                         "string $sel[] = `ls -selection -type ") +
                     kMayaPresetNodeType +
                     "`;\n"
                     "string $node;\n"
                     "if (size($sel) > 0) $node = $sel[0];\n"
                     "else $node = `shadingNode -asShader " +
                     kMayaPresetNodeType + "`;\n";
  for (const auto& [name, value] : values) {
    text += "setAttr ($node + \"." + name + "\") " + format_spaced(value, false) + ";\n";
  }
  return text;
}

std::string mi_handover(const NamedValues& values) {
  std::string text = std::string(
                         "# velvet-preview look; list your lights in \"light\" [\"name\", ...]\n"
                         "shader \"velvetLook\"\n"
                         "    \"") +
                     kMrShaderFunction + "\" (\n";
  bool first = true;
  for (const auto& [name, value] : values) {
    text +=
        std::string(first ? "" : ",\n") + "        \"" + name + "\" " + format_spaced(value, true);
    first = false;
  }
  return text + "\n    )\n";
}

}  // namespace preview
