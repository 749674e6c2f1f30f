#include "tools/preview/hosts/hosts.h"

#include <filesystem>
#include <map>

#include "mentalray/krel_velvet_lobe.h"

namespace preview {

HostEntry maya_entry() {
  HostEntry h;
  h.flag = "maya";
  h.file_name = "maya";
  h.path_flag = "maya-plugin";
  h.title = "Maya: velvet node";
  h.set_help = "set an attribute of the Maya node, e.g. --maya color=0.6,0.1,0.2";
  h.looks_flag = "maya-presets";
  h.looks_arg = "DIR";
  h.looks_help =
      "folder of the Maya presets (default: $VELVET_MAYA_PRESETS,\n"
      "then the installed module's, then the build's)";
  h.looks_env = "VELVET_MAYA_PRESETS";
  h.looks = &LookFiles::maya_presets;
  h.look_format = &kMayaPresetFormat;
  h.handover = mel_handover;
  h.texture_handover = mel_texture_handover;
  return h;
}

HostEntry mentalray_entry() {
  HostEntry h;
  h.flag = "mr";
  h.file_name = "mentalray";
  h.path_flag = "mr-library";
  h.title = "mental ray: krel_velvet shader";
  h.set_help = "set a parameter of the mental ray shader, e.g. --mr specular=0.8";
  h.looks_flag = "mr-looks";
  h.looks_arg = "FILE";
  h.looks_help =
      "the .mi file of looks (default: $VELVET_MR_LOOKS, then\n"
      "the installed one, then the build's)";
  h.looks_env = "VELVET_MR_LOOKS";
  h.looks = &LookFiles::mr_looks;
  h.look_format = &kMrBlockFormat;
  h.handover = mi_handover;
  h.texture_handover = mi_texture_handover;
  h.fixed_lobe = LobeShape{krel_velvet_lobe::kRoughness, krel_velvet_lobe::kBackscatter};
  return h;
}

HostEntry viewport_entry() {
  HostEntry h = maya_entry();
  h.flag = "viewport";
  h.file_name = "viewport";
  h.title = "Maya viewport";
  h.set_help.clear();
  h.shows = "maya";
  return h;
}

const std::vector<HostEntry>& all_host_entries() {
  static const std::vector<HostEntry> kAll = {maya_entry(), mentalray_entry()};
  return kAll;
}

std::optional<LobeShape> shared_lobe_shape(const std::vector<const HostEntry*>& hosts,
                                           std::string& error) {
  std::optional<LobeShape> shape;
  const HostEntry* fixer = nullptr;
  for (const HostEntry* h : hosts) {
    if (!h->fixed_lobe) continue;
    if (shape && (shape->roughness != h->fixed_lobe->roughness ||
                  shape->backscatter != h->fixed_lobe->backscatter)) {
      error = "the " + fixer->flag + " and " + h->flag + " plug-ins fix different lobe shapes";
      return std::nullopt;
    }
    shape = h->fixed_lobe;
    fixer = h;
  }
  if (!shape) error = "no host's plug-in fixes the lobe's shape";
  return shape;
}

LookFiles default_look_files(const LocateContext& context) {
  namespace fs = std::filesystem;
  LookFiles named;
  bool any = false;
  for (const HostEntry& h : all_host_entries()) {
    named.*h.looks = context.environment(h.looks_env).value_or("");
    any = any || !(named.*h.looks).empty();
    named.origin += (named.origin.empty() ? "$" : "/$") + h.looks_env;
  }
  if (any) return named;
  const auto in_tree = [](const fs::path& modules, const fs::path& mentalray) {
    return LookFiles{(modules / "velvet" / "presets" / "attrPresets" / "velvet").string(),
                     (mentalray / "include" / kMrLooksFile).string(), ""};
  };
  if (!context.tool_dir.empty()) {
    const fs::path prefix = fs::path(context.tool_dir).parent_path();
    LookFiles installed = in_tree(prefix / "modules", prefix / "mentalray");
    std::error_code ec;
    if (fs::is_regular_file(installed.mr_looks, ec)) {
      installed.origin = "installed tree " + prefix.string();
      return installed;
    }
  }
  const std::map<std::string, std::string> build = read_build_info(context.tool_dir);
  const auto modules = build.find("maya-module-path");
  const auto shaders = build.find("mr-custom-shader-path");
  if (modules != build.end() && shaders != build.end()) {
    LookFiles staged = in_tree(modules->second, shaders->second);
    staged.origin = std::string("build tree (") + kBuildInfoFile + ")";
    return staged;
  }
  return {"", "", "nowhere"};
}

}  // namespace preview
