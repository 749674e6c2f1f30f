// Act: what each mode does with the loaded hosts. The listing modes print
// and return the exit code; the rendering ones return the images to write.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <sstream>

#include "tools/preview/cli/phases.h"
#include "tools/preview/look/texture_handover.h"
#include "tools/preview/render/compose.h"
#include "tools/preview/render/image_io.h"

namespace preview::cli {

namespace {

// A flag's --help line: the flag and its value's form, then the text from
// the 25th column on.
std::string help_line(const std::string& head, const std::string& text) {
  constexpr std::size_t kColumn = 23;
  std::string line = "  " + head;
  if (head.size() < kColumn) {
    line += std::string(kColumn - head.size(), ' ');
  } else {
    line += "\n" + std::string(kColumn + 2, ' ');
  }
  std::string rest = text;
  for (std::size_t nl; (nl = rest.find('\n')) != std::string::npos; rest.erase(0, nl + 1)) {
    line += rest.substr(0, nl) + "\n" + std::string(kColumn + 2, ' ');
  }
  return line + rest + "\n";
}

// --help: the hosts' lines from their entries, the scene's from its table.
std::string usage(const std::vector<HostEntry>& built) {
  // Flags, plug-ins and looks belong to the hosts of their own; one that
  // shows another's plug-in is only named in --hosts.
  std::vector<HostEntry> hosts;
  std::string host_list, asked, shown;
  for (const HostEntry& h : built) {
    host_list += (host_list.empty() ? "" : ", ") + h.flag;
    if (h.shows.empty()) {
      hosts.push_back(h);
    } else {
      asked += (asked.empty() ? " but " : ", ") + h.flag;
      shown += ";\n" + h.flag + " (" + h.title + ") takes --" + h.shows + "'s settings";
    }
  }
  std::string host_flags, path_flags, looks_what, looks_flags;
  for (std::size_t k = 0; k < hosts.size(); ++k) {
    const std::string sep = k == 0 ? "" : k + 1 == hosts.size() ? " and " : ", ";
    host_flags += (k == 0 ? "--" : sep + "--") + hosts[k].flag;
    path_flags += (k == 0 ? "--" : ", --") + hosts[k].path_flag + " PATH";
    looks_what += sep + hosts[k].look_format->what;
  }
  std::string text =
      "usage: velvet-preview [options]\n"
      "Renders the velvet material through each plug-in, driven by its stand-in host.\n"
      "\n"
      "Material (repeatable; host attribute/parameter names and types, see --list):\n";
  for (const HostEntry& h : hosts) text += help_line("--" + h.flag + " NAME=VALUE", h.set_help);
  if (!hosts.empty()) {
    text += help_line("--" + hosts[0].flag + " NAME=@FILE",
                      "connect a colour to a texture (PNG, or OpenEXR where built),\nlooked up "
                      "at the shape's UVs; any host flag takes it");
  }
  text += help_line("--list", "list each host's parameters and their types, then stop");
  text +=
      "Looks (each look is " + looks_what + ";\n" + host_flags + " settings apply on top of it):\n";
  text += help_line("--look NAME", "start from a look, e.g. --look crushed-red-velvet");
  text += help_line("--list-looks", "list the looks and where each was found, check them, stop");
  std::string files;
  for (const HostEntry& h : hosts) files += ", NAME" + std::string(h.look_format->extension);
  text += help_line("--save-look NAME",
                    "also write the settings as a new look into --out,\none file per host: " +
                        files.substr(files.empty() ? 0 : 2));
  for (const HostEntry& h : hosts)
    text += help_line("--" + h.looks_flag + " " + h.looks_arg, h.looks_help);
  text +=
      "Modes:\n"
      "  --sweep NAME=V1,V2,..  contact sheet: one column per value, one row per host;\n"
      "                         colours and vectors take three numbers per value\n"
      "  --compare              render both hosts with lobe-only settings and one sample\n"
      "                         per light, write the difference image and print the\n"
      "                         largest difference\n"
      "  --serve                serve the live preview page on 127.0.0.1 until interrupted:\n"
      "                         the look is set on the page, not by flags; Save writes\n"
      "                         into --out\n";
  text += help_line("--port N", "the page's port with --serve (default " +
                                    std::to_string(kDefaultPort) + "; 0: any free port)");
  text += "Scene:\n";
  text += help_line("--hosts LIST", "hosts to render, some of " + host_list +
                                        " (default: all built" + asked + ")" + shown);
  text +=
      "  --hosts                (alone, without a list) print where each plug-in is found\n"
      "                         and why, then stop\n";
  text += scene_help();
  text +=
      "Output:\n"
      "  --out DIR              directory for the images (default .)\n"
      "  --threads N            rendering threads (default: all cores)\n";
  if (!hosts.empty()) text += help_line(path_flags, "load another build of a plug-in");
  text +=
      "Plug-ins are found through, in order: the flags above; MAYA_MODULE_PATH and\n"
      "MAYA_PLUG_IN_PATH, MI_LIBRARY_PATH, MI_RAY_INCPATH and MI_CUSTOM_SHADER_PATH;\n"
      "the installed tree around the tool (../modules, ../mentalray); the build tree;\n"
      "the user's Maya modules folder. The variables' lists are separated by ';' on\n"
      "Windows and by ':' elsewhere.\n"
      "  --help                 this text\n"
      "Writes <host>.png (sRGB) and <host>.exr (linear float) per host and preview.png\n"
      "(all hosts, one row each); --sweep writes sheet.png and sheet.exr; --compare also\n"
      "writes difference.png and difference.exr. Exit codes: 0 done, 1 failure, 2 bad input.\n";
  return text;
}

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

std::string absolute(const std::string& file) {
  std::error_code ec;
  const std::filesystem::path p = std::filesystem::absolute(file, ec);
  return ec ? file : p.lexically_normal().generic_string();
}

// How to make each texture connection in the hosts themselves, with the
// files where the hosts find them from any folder.
std::string texture_handover(const std::vector<Host>& hosts, const Settings& settings) {
  std::string text;
  for (std::size_t k = 0; k < hosts.size(); ++k) {
    // A host that shows another's plug-in is connected through that host.
    const bool shown = !hosts[k].entry->shows.empty() &&
                       std::any_of(hosts.begin(), hosts.end(), [&](const Host& h) {
                         return h.entry->flag == hosts[k].entry->shows;
                       });
    if (shown) continue;
    for (const auto& [name, texture] : settings.textures[k]) {
      text += hosts[k].entry->texture_handover(name, absolute(texture->file));
    }
  }
  return text;
}

}  // namespace

int thread_count(const Request& request, const CliEnvironment& env) {
  return request.threads > 0 ? request.threads : std::max(1, env.default_threads);
}

int act_help(const CliEnvironment& env, std::ostream& out) {
  out << usage(env.hosts);
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
      const Location location = h.locate(request.plugin_path(settings_flag(h)));
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

int act_list(const std::vector<Host>& hosts, const CliEnvironment& env, std::ostream& out) {
  for (const Host& h : hosts) {
    if (!h.entry->shows.empty()) continue;
    out << h.entry->flag << " (--" << h.entry->flag << " NAME=VALUE):\n";
    for (const ParamInfo& p : h.backend->parameters()) {
      out << "  " << p.name << "  " << type_text(p.type) << "\n";
    }
  }
  // Named without loading them: they have no parameters of their own.
  for (const HostEntry& h : env.hosts) {
    if (!h.shows.empty()) {
      out << h.flag << " (" << h.title << "): takes --" << h.shows << "'s parameters\n";
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

  // validate() has made sure of two hosts of their own (the viewport shows
  // Maya's node); the difference is symmetric.
  std::vector<std::size_t> own;
  for (std::size_t k = 0; k < hosts.size(); ++k) {
    if (hosts[k].entry->shows.empty()) own.push_back(k);
  }
  Difference diff = difference(cells[own[0]][0], cells[own[1]][0]);
  Image shown = shown_difference(diff);
  std::ostringstream line;
  line << "largest difference: " << diff.largest << " at pixel (" << diff.x << ", " << diff.y
       << "), " << diff.largest_ulps << " ulp (of the value, or of 1/16 below it); "
       << diff.identical * 100.0 << "% of channels identical\n";
  // A host that shows another's plug-in another way (the viewport, in a
  // GPU's arithmetic) is held against that host too.
  for (std::size_t k = 0; k < hosts.size(); ++k) {
    const std::string& of = hosts[k].entry->shows;
    for (std::size_t j = 0; j < hosts.size() && !of.empty(); ++j) {
      if (hosts[j].entry->flag != of) continue;
      const Difference d = difference(cells[j][0], cells[k][0]);
      line << "largest " << of << "-" << hosts[k].entry->flag << " difference: " << d.largest
           << " at pixel (" << d.x << ", " << d.y << ")\n";
    }
  }

  Output output = preview_files(hosts, cells);
  output.files.emplace_back("difference.exr", std::move(diff.image));
  output.files.emplace_back("difference.png", std::move(shown));
  output.summary = line.str();
  return output;
}

}  // namespace preview::cli
