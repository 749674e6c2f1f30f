// Validate: the command line's flags into a checked request, and the values
// it sets into checked values once the hosts are loaded. Nothing here renders
// or writes.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <sstream>

#include "tools/preview/cli/phases.h"
#include "tools/preview/render/obj.h"

namespace preview::cli {

namespace {

std::vector<std::string> split_list(const std::string& text) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  std::string part;
  while (std::getline(in, part, ',')) parts.push_back(part);
  return parts;
}

bool to_int(const std::string& text, int& out) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, out);
  return !text.empty() && ec == std::errc() && ptr == end;
}

bool to_double(const std::string& text, double& out) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, out);
  return !text.empty() && ec == std::errc() && ptr == end && std::isfinite(out);
}

int int_in(const std::string& flag, const std::string& text, int lo, int hi) {
  int v = 0;
  if (!to_int(text, v) || v < lo || v > hi) {
    throw UsageError{"--" + flag + " takes an integer from " + std::to_string(lo) + " to " +
                     std::to_string(hi) + ", not '" + text + "'"};
  }
  return v;
}

double double_in(const std::string& flag, const std::string& text, double lo, double hi) {
  double v = 0.0;
  if (!to_double(text, v) || v < lo || v > hi) {
    std::ostringstream msg;
    msg << "--" << flag << " takes a number from " << lo << " to " << hi << ", not '" << text
        << "'";
    throw UsageError{msg.str()};
  }
  return v;
}

std::pair<std::string, std::string> name_value(const std::string& flag, const std::string& text) {
  const std::size_t eq = text.find('=');
  if (eq == std::string::npos || eq == 0) {
    throw UsageError{"--" + flag + " takes NAME=VALUE, not '" + text + "'"};
  }
  return {text.substr(0, eq), text.substr(eq + 1)};
}

// --shapes: sphere and torus alone or together, or one other shape.
void set_shapes(SceneOptions& scene, const std::string& text) {
  const char* const kUsage =
      "--shapes takes sphere, torus or sphere,torus, or one of plane, cloth and cushion, not '";
  bool sphere = false, torus = false, plane = false, cloth = false, cushion = false;
  int others = 0;
  for (const std::string& s : split_list(text)) {
    if (s == "sphere") {
      sphere = true;
    } else if (s == "torus") {
      torus = true;
    } else if (s == "plane" || s == "cloth" || s == "cushion") {
      (s == "plane" ? plane : s == "cloth" ? cloth : cushion) = true;
      ++others;
    } else {
      throw UsageError{kUsage + text + "'"};
    }
  }
  if (!sphere && !torus && others == 0) throw UsageError{"--shapes needs a shape"};
  if (others > 1 || (others == 1 && (sphere || torus))) throw UsageError{kUsage + text + "'"};
  scene.sphere = sphere;
  scene.torus = torus;
  scene.plane = plane;
  scene.cloth = cloth;
  scene.cushion = cushion;
}

std::string known_names(const Backend& backend) {
  std::string names;
  for (const ParamInfo& p : backend.parameters()) names += (names.empty() ? "" : ", ") + p.name;
  return names;
}

}  // namespace

const std::vector<std::pair<std::string, std::string>>& Request::params_of(
    const std::string& flag) const {
  static const std::vector<std::pair<std::string, std::string>> kNone;
  const auto found = params.find(flag);
  return found == params.end() ? kNone : found->second;
}

std::string Request::plugin_path(const std::string& flag) const {
  const auto found = plugin_paths.find(flag);
  return found == plugin_paths.end() ? std::string() : found->second;
}

Request parse_flags(const std::vector<std::string>& args, const CliEnvironment& env) {
  Request o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
      throw UsageError{"unexpected argument '" + arg + "'"};
    }
    std::string flag = arg.substr(2);
    std::optional<std::string> attached;
    if (const std::size_t eq = flag.find('='); eq != std::string::npos) {
      attached = flag.substr(eq + 1);
      flag.resize(eq);
    }
    const auto no_value = [&] {
      if (attached) throw UsageError{"--" + flag + " takes no value"};
    };
    const auto value = [&]() -> std::string {
      if (attached) return *attached;
      if (i + 1 >= args.size()) throw UsageError{"--" + flag + " needs a value"};
      return args[++i];
    };

    if (flag == "help") {
      no_value();
      o.help = true;
    } else if (flag == "serve") {
      no_value();
      o.serve = true;
    } else if (flag == "port") {
      o.port = int_in(flag, value(), 0, 65535);
    } else if (flag == "list") {
      no_value();
      o.list = true;
    } else if (flag == "compare") {
      no_value();
      o.compare = true;
    } else if (flag == "list-looks") {
      no_value();
      o.list_looks = true;
    } else if (flag == "look") {
      if (o.look) throw UsageError{"--look may be given once"};
      o.look_flag = arg;
      o.look = value();
    } else if (flag == "save-look") {
      if (o.save_look) throw UsageError{"--save-look may be given once"};
      o.look_flag = arg;
      o.save_look = value();
      if (!valid_look_name(*o.save_look)) {
        throw UsageError{
            "--save-look takes a name of letters, digits, '-' and '_' that starts "
            "with a letter, not '" +
            *o.save_look + "'"};
      }
    } else if (flag == "maya-presets") {
      o.maya_presets = value();
    } else if (flag == "mr-looks") {
      o.mr_looks = value();
    } else if (flag == "sweep") {
      if (o.sweep) throw UsageError{"--sweep may be given once"};
      o.sweep = name_value(flag, value());
    } else if (flag == "size") {
      o.look_flag = arg;
      const std::string v = value();
      const std::size_t x = v.find('x');
      if (x == std::string::npos) throw UsageError{"--size takes WIDTHxHEIGHT, not '" + v + "'"};
      o.scene.width = int_in(flag, v.substr(0, x), 1, 8192);
      o.scene.height = int_in(flag, v.substr(x + 1), 1, 8192);
    } else if (flag == "aa") {
      o.look_flag = arg;
      o.scene.aa = int_in(flag, value(), 1, 16);
    } else if (flag == "threads") {
      o.threads = int_in(flag, value(), 1, 1024);
    } else if (flag == "out") {
      o.out_dir = value();
      if (o.out_dir.empty()) throw UsageError{"--out needs a directory"};
    } else if (flag == "fov") {
      o.look_flag = arg;
      o.scene.fov = double_in(flag, value(), 1.0, 170.0);
      o.scene.fov_set = true;
    } else if (flag == "distance") {
      o.look_flag = arg;
      o.scene.distance = double_in(flag, value(), 3.0, 1000.0);
      o.scene.distance_set = true;
    } else if (flag == "key-azimuth" || flag == "rim-azimuth") {
      o.look_flag = arg;
      (flag[0] == 'k' ? o.scene.key_azimuth : o.scene.rim_azimuth) =
          double_in(flag, value(), -360.0, 360.0);
    } else if (flag == "key-elevation" || flag == "rim-elevation") {
      o.look_flag = arg;
      (flag[0] == 'k' ? o.scene.key_elevation : o.scene.rim_elevation) =
          double_in(flag, value(), -89.0, 89.0);
    } else if (flag == "turntable") {
      o.look_flag = arg;
      o.scene.turntable = double_in(flag, value(), -360.0, 360.0);
    } else if (flag == "mesh") {
      o.look_flag = arg;
      o.scene.mesh = value();
      if (o.scene.mesh.empty()) throw UsageError{"--mesh needs an OBJ file"};
    } else if (flag == "key") {
      o.look_flag = arg;
      o.scene.key = static_cast<float>(double_in(flag, value(), 0.0, 1000.0));
    } else if (flag == "fill") {
      o.look_flag = arg;
      o.scene.fill = static_cast<float>(double_in(flag, value(), 0.0, 1000.0));
    } else if (flag == "rim") {
      o.look_flag = arg;
      o.scene.rim = static_cast<float>(double_in(flag, value(), 0.0, 1000.0));
    } else if (flag == "area-samples") {
      o.look_flag = arg;
      o.scene.area_samples = int_in(flag, value(), 1, 1024);
    } else if (flag == "irradiance") {
      const std::string v = value();
      ParamValue c;
      std::string error;
      if (!parse_value({"--irradiance", ParamType::Color}, v, c, error) || c.v[0] < 0.0f ||
          c.v[1] < 0.0f || c.v[2] < 0.0f) {
        throw UsageError{"--irradiance takes three numbers of 0 or more, not '" + v + "'"};
      }
      o.scene.irradiance = {c.v[0], c.v[1], c.v[2]};
    } else if (flag == "shapes") {
      o.look_flag = arg;
      set_shapes(o.scene, value());
    } else if (flag == "hosts" && !attached &&
               (i + 1 >= args.size() || args[i + 1].compare(0, 2, "--") == 0)) {
      o.where = true;
    } else if (flag == "hosts") {
      const std::string v = value();
      o.hosts.clear();
      for (const std::string& h : split_list(v)) {
        const bool known = std::any_of(env.hosts.begin(), env.hosts.end(),
                                       [&](const HostEntry& e) { return e.flag == h; });
        if (!known) throw UsageError{"--hosts: unknown or unbuilt host '" + h + "'"};
        if (std::find(o.hosts.begin(), o.hosts.end(), h) == o.hosts.end()) o.hosts.push_back(h);
      }
      if (o.hosts.empty()) throw UsageError{"--hosts needs a host"};
    } else {
      bool matched = false;
      for (const HostEntry& h : env.hosts) {
        if (flag == h.flag) {
          o.params[h.flag].push_back(name_value(flag, value()));
          o.look_flag = "--" + flag;
          matched = true;
        } else if (flag == h.path_flag) {
          o.plugin_paths[h.flag] = value();
          matched = true;
        }
        if (matched) break;
      }
      if (!matched) throw UsageError{"unknown flag '--" + flag + "'"};
    }
  }
  if (o.compare && o.sweep) throw UsageError{"--compare and --sweep cannot be combined"};
  if (o.compare && o.look) throw UsageError{"--compare and --look cannot be combined"};
  if (o.save_look && (o.compare || o.sweep)) {
    throw UsageError{"--save-look cannot be combined with --compare or --sweep"};
  }
  if (o.port && !o.serve) throw UsageError{"--port needs --serve"};
  if (!o.scene.mesh.empty() &&
      (o.scene.plane || o.scene.cloth || o.scene.cushion || !o.scene.sphere || !o.scene.torus)) {
    // --shapes was given too: which of the two was meant is unclear.
    throw UsageError{"--mesh shows the mesh alone; it cannot be combined with --shapes"};
  }
  if (o.serve) {
    if (o.list || o.compare || o.sweep || o.where || o.list_looks) {
      throw UsageError{
          "--serve cannot be combined with --list, --list-looks, --compare, --sweep or --hosts "
          "alone"};
    }
    if (!o.look_flag.empty()) {
      throw UsageError{"--serve takes the look from the page, not from " + o.look_flag};
    }
  }
  return o;
}

Request validate(const std::vector<std::string>& args, const CliEnvironment& env) {
  Request o = parse_flags(args, env);
  if (o.help) return o;
  if (o.hosts.empty()) {
    for (const HostEntry& h : env.hosts) o.hosts.push_back(h.flag);
  }
  if (o.hosts.empty()) throw Failure{"no host was built into this tool"};
  if (o.serve && !env.serve) {
    throw Failure{
        "--serve is not built into this copy of the tool: it needs cpp-httplib and "
        "nlohmann-json (Debian packages libcpp-httplib-dev and nlohmann-json3-dev); install "
        "them and rebuild"};
  }
  for (const auto& [flag, list] : o.params) {
    if (std::find(o.hosts.begin(), o.hosts.end(), flag) == o.hosts.end()) {
      throw UsageError{"--" + flag + " given, but " + flag + " is not among the hosts"};
    }
  }
  if (o.compare || o.save_look) {
    for (const char* needed : {"maya", "mr"}) {
      if (std::find(o.hosts.begin(), o.hosts.end(), needed) == o.hosts.end()) {
        throw UsageError{std::string(o.compare ? "--compare" : "--save-look") +
                         " needs both hosts; " + needed + " is missing"};
      }
    }
  }
  return o;
}

ParamValue checked_value(const Host& host, const std::string& name, const std::string& text) {
  const ParamInfo* info = find_param(host.backend->parameters(), name);
  if (info == nullptr) {
    throw UsageError{"unknown " + host.entry->flag + " parameter '" + name +
                     "' (known: " + known_names(*host.backend) + ")"};
  }
  ParamValue v;
  std::string error;
  if (!parse_value(*info, text, v, error)) throw UsageError{host.entry->flag + ": " + error};
  return v;
}

std::vector<std::pair<std::string, ParamValue>> look_values(const Host& host,
                                                            const LookSource& source) {
  std::vector<std::pair<std::string, ParamValue>> values;
  for (const LookSetting& s : source.settings) {
    const std::string where = source.file + ":" + std::to_string(s.line) + ": ";
    const ParamInfo* info = find_param(host.backend->parameters(), s.name);
    if (info == nullptr) {
      throw UsageError{where + "unknown " + host.entry->flag + " parameter '" + s.name +
                       "' (known: " + known_names(*host.backend) + ")"};
    }
    std::vector<std::string> texts = s.values;
    // .mi colours may carry an alpha, which the shader never reads.
    if (info->type == ParamType::Color && texts.size() == 4 && host.entry->flag == "mr") {
      ParamValue alpha;
      std::string error;
      if (!parse_value({s.name + " (alpha)", ParamType::Float}, texts.back(), alpha, error)) {
        throw UsageError{where + error};
      }
      texts.pop_back();
    }
    std::string text;
    for (const std::string& t : texts) text += (text.empty() ? "" : ",") + t;
    ParamValue v;
    std::string error;
    if (!parse_value(*info, text, v, error)) throw UsageError{where + error};
    values.emplace_back(s.name, v);
  }
  return values;
}

Settings checked_settings(const Request& request, const std::vector<Host>& hosts,
                          const std::vector<NamedLook>& looks) {
  // The look is the same for every host: found once, before any host's values.
  const NamedLook* look = nullptr;
  if (request.look) {
    const std::string wanted = look_name(*request.look);
    const auto found = std::find_if(looks.begin(), looks.end(),
                                    [&](const NamedLook& l) { return l.name == wanted; });
    if (found == looks.end()) {
      std::string names;
      for (const NamedLook& l : looks) names += (names.empty() ? "" : ", ") + l.name;
      throw UsageError{"no look '" + *request.look + "' (known: " + names + ")"};
    }
    look = &*found;
  }

  Settings settings;
  settings.values.resize(hosts.size());
  settings.textures.resize(hosts.size());
  settings.sweep.resize(hosts.size());
  if (!request.scene.mesh.empty()) {
    auto mesh = std::make_shared<Mesh>();
    std::string error;
    if (!load_obj(request.scene.mesh, *mesh, error)) throw UsageError{"--mesh: " + error};
    settings.mesh = std::move(mesh);
  }
  // One read of each file, however many inputs it feeds.
  std::map<std::string, std::shared_ptr<const Texture>> read;
  for (std::size_t k = 0; k < hosts.size(); ++k) {
    std::vector<std::pair<std::string, ParamValue>>& values = settings.values[k];
    if (request.compare) {
      for (const auto& [name, text] : hosts[k].backend->lobe_only_settings()) {
        values.emplace_back(name, checked_value(hosts[k], name, text));
      }
    }
    if (look != nullptr) {
      for (auto& v : look_values(hosts[k], *source_for(*look, hosts[k].entry->flag))) {
        values.push_back(std::move(v));
      }
    }
    auto& textures = settings.textures[k];
    for (const auto& [name, text] : request.params_of(hosts[k].entry->flag)) {
      // The last setting of a name wins, texture or value.
      const std::string& param_name = name;
      textures.erase(std::remove_if(textures.begin(), textures.end(),
                                    [&](const auto& t) { return t.first == param_name; }),
                     textures.end());
      if (text.empty() || text[0] != '@') {
        values.emplace_back(name, checked_value(hosts[k], name, text));
        continue;
      }
      textures.emplace_back(name, checked_texture(hosts[k], name, text.substr(1), read));
    }
    if (request.sweep) {
      const auto& [name, list] = *request.sweep;
      const ParamInfo* info = find_param(hosts[k].backend->parameters(), name);
      if (info == nullptr) {
        throw UsageError{"--sweep: " + hosts[k].entry->flag + " has no parameter '" + name +
                         "' (known: " + known_names(*hosts[k].backend) + ")"};
      }
      std::string error;
      if (!split_values(*info, list, settings.sweep_texts, error)) {
        throw UsageError{"--sweep: " + error};
      }
      for (const std::string& text : settings.sweep_texts) {
        settings.sweep[k].push_back(checked_value(hosts[k], name, text));
      }
    }
  }
  const bool textured = std::any_of(settings.textures.begin(), settings.textures.end(),
                                    [](const auto& t) { return !t.empty(); });
  if (textured && settings.mesh && !settings.mesh->has_uvs()) {
    throw UsageError{"--mesh: " + request.scene.mesh +
                     " has no texture coordinates (vt), so it cannot take a texture"};
  }
  return settings;
}

std::shared_ptr<const Texture> checked_texture(
    const Host& host, const std::string& name, const std::string& file,
    std::map<std::string, std::shared_ptr<const Texture>>& read) {
  const ParamInfo* info = find_param(host.backend->parameters(), name);
  if (info == nullptr) {
    throw UsageError{"unknown " + host.entry->flag + " parameter '" + name +
                     "' (known: " + known_names(*host.backend) + ")"};
  }
  if (info->type != ParamType::Color) {
    throw UsageError{host.entry->flag + ": only colours take a texture; '" + name + "' is " +
                     type_text(info->type)};
  }
  if (file.empty()) throw UsageError{host.entry->flag + ": " + name + "=@ needs a file name"};
  if (const auto found = read.find(file); found != read.end()) return found->second;
  auto texture = std::make_shared<Texture>();
  std::string error;
  if (!load_texture(file, *texture, error)) throw UsageError{error};
  read.emplace(file, texture);
  return texture;
}

}  // namespace preview::cli
