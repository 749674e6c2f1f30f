#include "tools/preview/look/texture_handover.h"

#include <cctype>
#include <filesystem>

namespace preview {

namespace {

// Inside a double-quoted MEL or .mi string.
std::string quoted(const std::string& text) {
  std::string q = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') q += '\\';
    q += c;
  }
  return q + "\"";
}

bool is_exr(const std::string& file) {
  std::string ext = std::filesystem::path(file).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".exr";
}

}  // namespace

std::string texture_node_name(const std::string& file) {
  std::string name = std::filesystem::path(file).stem().string();
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') c = '_';
  }
  if (name.empty() || !std::isalpha(static_cast<unsigned char>(name[0]))) name = "tex_" + name;
  return name;
}

std::string mel_file_texture(const std::string& attribute, const std::string& file) {
  const std::string name = texture_node_name(file);
  return "string $sel[] = `ls -selection -type velvet`;\n"
         "string $node;\n"
         "if (size($sel) > 0) $node = $sel[0];\n"
         "else $node = `shadingNode -asShader velvet`;\n"
         "string $file = `shadingNode -asTexture file -name \"" +
         name +
         "\"`;\n"
         "string $place = `shadingNode -asUtility place2dTexture`;\n"
         "connectAttr -f ($place + \".outUV\") ($file + \".uvCoord\");\n"
         "connectAttr -f ($place + \".outUvFilterSize\") ($file + \".uvFilterSize\");\n"
         "setAttr -type \"string\" ($file + \".fileTextureName\") " +
         quoted(file) +
         ";\n"
         "setAttr -type \"string\" ($file + \".colorSpace\") " +
         (is_exr(file) ? "\"Raw\"" : "\"sRGB\"") +
         ";\n"
         "connectAttr -f ($file + \".outColor\") ($node + \"." +
         attribute + "\");\n";
}

std::string mi_texture_shader(const std::string& parameter, const std::string& file) {
  const std::string name = texture_node_name(file);
  return std::string(is_exr(file)
                         ? ""
                         : "# an sRGB file: linearise it as the scene's colour management does\n") +
         "color texture \"" + name + "_tex\" " + quoted(file) +
         "\n"
         "shader \"" +
         name +
         "_uv\" \"mib_texture_vector\" (\"select\" 0)\n"
         "shader \"" +
         name + "_repeat\" \"mib_texture_remap\" (\"input\" = \"" + name +
         "_uv\", \"repeat\" 1 1 1)\n"
         "shader \"" +
         name + "\" \"mib_texture_lookup\" (\"tex\" \"" + name + "_tex\", \"coord\" = \"" + name +
         "_repeat\")\n"
         "# and in the krel_velvet shader block:\n"
         "#     \"" +
         parameter + "\" = \"" + name + "\"\n";
}

std::string mel_texture_handover(const std::string& attribute, const std::string& file) {
  return "In Maya, with the velvet node selected, connect " + attribute +
         " to the texture in the Script Editor:\n" + mel_file_texture(attribute, file);
}

std::string mi_texture_handover(const std::string& parameter, const std::string& file) {
  return "In a mental ray scene, connect " + parameter + " to the texture:\n" +
         mi_texture_shader(parameter, file);
}

}  // namespace preview
