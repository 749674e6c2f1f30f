// Act: what each mode does with the loaded hosts. The listing modes print
// and return the exit code; the rendering ones return the images to write.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <sstream>

#include "tools/preview/cli/phases.h"
#include "tools/preview/look/texture_handover.h"
#include "tools/preview/render/compose.h"
#include "tools/preview/render/image_io.h"

namespace preview::cli {

namespace {

const char* const kUsage =
    "usage: velvet-preview [options]\n"
    "Renders the velvet material through each plug-in, driven by its stand-in host.\n"
    "\n"
    "Material (repeatable; host attribute/parameter names and types, see --list):\n"
    "  --maya NAME=VALUE      set an attribute of the Maya node, e.g. --maya color=0.6,0.1,0.2\n"
    "  --mr NAME=VALUE        set a parameter of the mental ray shader, e.g. --mr specular=0.8\n"
    "  --maya NAME=@FILE, --mr NAME=@FILE\n"
    "                         connect a colour to a texture (PNG, or OpenEXR where built),\n"
    "                         looked up at the shape's UVs, e.g. --maya color=@fabric.png\n"
    "  --list                 list each host's parameters and their types, then stop\n"
    "Looks (each look is a Maya preset <look>.mel and a shader block \"velvet_<look>\"\n"
    "in krel_velvet_looks.mi; --maya and --mr settings apply on top of it):\n"
    "  --look NAME            start from a look, e.g. --look crushed-red-velvet\n"
    "  --list-looks           list the looks and where each was found, check them, stop\n"
    "  --save-look NAME       also write the settings as a new look into --out:\n"
    "                         NAME.mel (a Maya preset) and NAME.mi (a shader block)\n"
    "  --maya-presets DIR     folder of the Maya presets (default: $VELVET_MAYA_PRESETS,\n"
    "                         then the installed module's, then the build's)\n"
    "  --mr-looks FILE        the .mi file of looks (default: $VELVET_MR_LOOKS, then\n"
    "                         the installed one, then the build's)\n"
    "Modes:\n"
    "  --sweep NAME=V1,V2,..  contact sheet: one column per value, one row per host;\n"
    "                         colours and vectors take three numbers per value\n"
    "  --compare              render both hosts with lobe-only settings and one sample\n"
    "                         per light, write the difference image and print the\n"
    "                         largest difference\n"
    "Scene:\n"
    "  --hosts LIST           hosts to render: maya, mr or maya,mr (default: all built)\n"
    "  --hosts                (alone, without a list) print where each plug-in is found\n"
    "                         and why, then stop\n"
    "  --size WxH             size of one host's image (default 640x320)\n"
    "  --aa N                 N x N samples per pixel (default 2)\n"
    "  --shapes LIST          sphere, torus or sphere,torus (default both), or one of\n"
    "                         plane, cloth (a curtain in folds) and cushion\n"
    "  --mesh FILE            show a Wavefront OBJ mesh instead (smooth normals where it\n"
    "                         has none; at most 64 MiB and 2,000,000 triangles)\n"
    "  --fov DEGREES          vertical field of view (default 30)\n"
    "  --distance D           camera distance to the shapes (default 7; other shapes\n"
    "                         and meshes are framed from their bounds unless given)\n"
    "  --turntable DEGREES    turn the shapes about the vertical axis (default 0)\n"
    "  --key I, --fill I, --rim I\n"
    "                         light intensities, 0 turns a light off (default 1, 0.4, 1)\n"
    "  --key-azimuth DEGREES, --key-elevation DEGREES\n"
    "  --rim-azimuth DEGREES, --rim-elevation DEGREES\n"
    "                         where the key and rim light stand: about the vertical from\n"
    "                         the camera's side (positive to the right), and above the\n"
    "                         horizon (default key -38.7, 32; rim 166, 29.5)\n"
    "  --area-samples N       samples of the key area light (default 8)\n"
    "  --irradiance R,G,B     irradiance the mental ray renderer reports everywhere,\n"
    "                         seen when the shader's useIrradiance is on (default 0,0,0)\n"
    "Output:\n"
    "  --out DIR              directory for the images (default .)\n"
    "  --threads N            rendering threads (default: all cores)\n"
    "  --maya-plugin PATH, --mr-library PATH\n"
    "                         load another build of a plug-in\n"
    "Plug-ins are found through, in order: the flags above; MAYA_MODULE_PATH and\n"
    "MAYA_PLUG_IN_PATH, MI_LIBRARY_PATH, MI_RAY_INCPATH and MI_CUSTOM_SHADER_PATH;\n"
    "the installed tree around the tool (../modules, ../mentalray); the build tree.\n"
    "  --help                 this text\n"
    "Writes <host>.png (sRGB) and <host>.exr (linear float) per host and preview.png\n"
    "(all hosts, one row each); --sweep writes sheet.png and sheet.exr; --compare also\n"
    "writes difference.png and difference.exr. Exit codes: 0 done, 1 failure, 2 bad input.\n";

void apply(Host& host, const std::string& name, const ParamValue& v) {
  const std::string error = host.backend->set_parameter(name, v);
  if (!error.empty()) throw Failure{host.entry->flag + ": " + name + ": " + error};
}

// Sets each host's values and the rig's `lights`, makes the output folder,
// then renders every host once per column into cells[host][column];
// `before_cell` sets what changes from one column to the next. One progress
// bar covers every cell.
std::vector<std::vector<Image>> render_cells(
    const Request& request, const CliEnvironment& env, std::vector<Host>& hosts,
    const Settings& settings, const Scene& scene, const std::vector<Light>& lights,
    std::size_t columns,
    const std::function<void(std::size_t host, std::size_t column)>& before_cell) {
  for (std::size_t k = 0; k < hosts.size(); ++k) {
    for (const auto& [name, v] : settings.values[k]) apply(hosts[k], name, v);
    for (const auto& [name, texture] : settings.textures[k]) {
      const std::string error = hosts[k].backend->connect_texture(name, texture);
      if (!error.empty()) throw Failure{hosts[k].entry->flag + ": " + name + ": " + error};
    }
    hosts[k].backend->set_lights(lights);
    hosts[k].backend->set_irradiance(request.scene.irradiance);
  }

  make_out_dir(request.out_dir);

  const int threads = thread_count(request, env);
  Progress progress(env.err_is_terminal ? env.err : nullptr,
                    render_units(scene) * static_cast<std::int64_t>(hosts.size() * columns));
  std::vector<std::vector<Image>> cells(hosts.size(), std::vector<Image>(columns));
  for (std::size_t k = 0; k < hosts.size(); ++k) {
    for (std::size_t c = 0; c < columns; ++c) {
      if (before_cell) before_cell(k, c);
      std::string error;
      if (!render(scene, *hosts[k].backend, threads, cells[k][c], &progress, error)) {
        progress.finish();
        throw Failure{hosts[k].entry->flag + ": " + error};
      }
    }
  }
  progress.finish();
  return cells;
}

std::vector<std::string> row_captions(const std::vector<Host>& hosts) {
  std::vector<std::string> captions;
  for (const Host& h : hosts) captions.push_back(h.entry->file_name);
  return captions;
}

// The overview (a row per host) and each host's own image.
Output preview_files(const std::vector<Host>& hosts, std::vector<std::vector<Image>>& cells) {
  Output output;
  output.files.emplace_back("preview.png", contact_sheet(cells, {}, row_captions(hosts), 6));
  for (std::size_t k = 0; k < hosts.size(); ++k) {
    output.files.emplace_back(hosts[k].entry->file_name + ".png", cells[k][0]);
    output.files.emplace_back(hosts[k].entry->file_name + ".exr", std::move(cells[k][0]));
  }
  return output;
}

// How to make each texture connection in the hosts themselves.
std::string texture_handover(const std::vector<Host>& hosts, const Settings& settings) {
  std::string text;
  for (std::size_t k = 0; k < hosts.size(); ++k) {
    for (const auto& [name, texture] : settings.textures[k]) {
      const bool maya = hosts[k].entry->flag == "maya";
      text += maya ? "In Maya, with the velvet node selected, connect " + name +
                         " to the texture in the Script Editor:\n" +
                         mel_file_texture(name, texture->file)
                   : "In a mental ray scene, connect " + name + " to the texture:\n" +
                         mi_texture_shader(name, texture->file);
    }
  }
  return text;
}

}  // namespace

int thread_count(const Request& request, const CliEnvironment& env) {
  return request.threads > 0 ? request.threads : std::max(1, env.default_threads);
}

int act_help(std::ostream& out) {
  out << kUsage;
  if (!exr_available()) out << "This build has no OpenEXR: it writes no .exr files.\n";
  return kExitOk;
}

int act_where(const Request& request, const CliEnvironment& env, std::ostream& out) {
  bool all = true;
  for (const std::string& flag : request.hosts) {
    for (const HostEntry& h : env.hosts) {
      if (h.flag != flag) continue;
      if (!h.locate) {
        out << flag << ": no locator\n";
        continue;
      }
      const Location location = h.locate(request.plugin_path(flag));
      print_location(out, flag, location);
      all = all && location.found;
    }
  }
  return all ? kExitOk : kExitFailure;
}

int act_list_looks(const LookFiles& files, const std::vector<NamedLook>& looks, std::ostream& out) {
  out << "looks (" << files.origin << "):\n";
  for (const NamedLook& look : looks) {
    out << "  " << look.name << "\n    maya: " << where(*look.maya)
        << "\n    mr:   " << where(*look.mr) << "\n";
  }
  return kExitOk;
}

int act_serve(const Request& request, const CliEnvironment& env, std::vector<Host>& hosts) {
  ServeOptions serve;
  serve.port = request.port.value_or(kDefaultPort);
  serve.out_dir = request.out_dir;
  serve.threads = thread_count(request, env);
  serve.looks = look_files(request, env);
  return env.serve(hosts, serve, *env.out, *env.err);
}

int act_list(const std::vector<Host>& hosts, std::ostream& out) {
  for (const Host& h : hosts) {
    out << h.entry->flag << " (--" << h.entry->flag << " NAME=VALUE):\n";
    for (const ParamInfo& p : h.backend->parameters()) {
      out << "  " << p.name << "  " << type_text(p.type) << "\n";
    }
  }
  return kExitOk;
}

Output act_render(const Request& request, const CliEnvironment& env, std::vector<Host>& hosts,
                  const Settings& settings) {
  const Scene scene(request.scene, settings.mesh);
  std::vector<std::vector<Image>> cells =
      render_cells(request, env, hosts, settings, scene, scene.lights(), 1, nullptr);
  Output output = preview_files(hosts, cells);
  output.summary = texture_handover(hosts, settings);
  return output;
}

Output act_sweep(const Request& request, const CliEnvironment& env, std::vector<Host>& hosts,
                 const Settings& settings) {
  const Scene scene(request.scene, settings.mesh);
  const std::string& name = request.sweep->first;
  std::vector<std::vector<Image>> cells = render_cells(
      request, env, hosts, settings, scene, scene.lights(), settings.sweep_texts.size(),
      [&](std::size_t k, std::size_t c) { apply(hosts[k], name, settings.sweep[k][c]); });
  std::vector<std::string> captions;
  // name=value, or the value alone where that would not fit over a column
  // (12 pixels a character).
  for (const std::string& text : settings.sweep_texts) {
    const std::string full = name + "=" + text;
    captions.push_back(static_cast<int>(full.size()) * 12 <= scene.width() ? full : text);
  }
  Output output;
  Image sheet = contact_sheet(cells, captions, row_captions(hosts), 6);
  output.files.emplace_back("sheet.png", sheet);
  output.files.emplace_back("sheet.exr", std::move(sheet));
  return output;
}

Output act_compare(const Request& request, const CliEnvironment& env, std::vector<Host>& hosts,
                   const Settings& settings) {
  // One sample per light and no diffuse light: nothing but the lobe, which
  // both hosts evaluate alike.
  SceneOptions options = request.scene;
  options.area_samples = 1;
  const Scene scene(options, settings.mesh);
  std::vector<Light> lights = scene.lights();
  for (Light& l : lights) l.diffuse = false;
  std::vector<std::vector<Image>> cells =
      render_cells(request, env, hosts, settings, scene, lights, 1, nullptr);

  std::size_t maya = 0, mr = 0;
  for (std::size_t k = 0; k < hosts.size(); ++k) {
    if (hosts[k].entry->flag == "maya") maya = k;
    if (hosts[k].entry->flag == "mr") mr = k;
  }
  Difference diff = difference(cells[maya][0], cells[mr][0]);
  Image shown = shown_difference(diff);
  std::ostringstream line;
  line << "largest difference: " << diff.largest << " at pixel (" << diff.x << ", " << diff.y
       << "), " << diff.largest_ulps << " ulp (of the value, or of 1/16 below it); "
       << diff.identical * 100.0 << "% of channels identical\n";

  Output output = preview_files(hosts, cells);
  output.files.emplace_back("difference.exr", std::move(diff.image));
  output.files.emplace_back("difference.png", std::move(shown));
  output.summary = line.str();
  return output;
}

}  // namespace preview::cli
