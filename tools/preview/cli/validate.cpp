// Validate: the command line's flags into a checked request, and the values
// it sets into checked values once the hosts are loaded. Nothing here renders
// or writes.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <optional>
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

void check(const std::string& error) {
  if (!error.empty()) throw UsageError{error};
}

std::pair<std::string, std::string> name_value(const std::string& flag, const std::string& text) {
  const std::size_t eq = text.find('=');
  if (eq == std::string::npos || eq == 0) {
    throw UsageError{"--" + flag + " takes NAME=VALUE, not '" + text + "'"};
  }
  return {text.substr(0, eq), text.substr(eq + 1)};
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

namespace {

// What a flag takes after it.
enum class Takes {
  Nothing,
  Value,
  ListOrNothing,  // --hosts: a list, or nothing when the next argument is a flag
};

struct Flag {
  std::string name;
  Takes takes;
  // Applies the flag to the request. `arg` is the argument as given (for
  // messages); `value` is empty for Takes::Nothing, nullopt for a list
  // left out.
  std::function<void(Request& o, const std::string& arg, const std::optional<std::string>& value)>
      apply;
  bool look = false;  // a look setting: the scene's, or a host's NAME=VALUE
};

// Every flag: the tool's own, the scene's settings, and each host's.
std::vector<Flag> flag_table(const CliEnvironment& env) {
  const auto once = [](const std::optional<std::string>& slot, const std::string& flag) {
    if (slot) throw UsageError{"--" + flag + " may be given once"};
  };
  std::vector<Flag> flags = {
      {"help", Takes::Nothing, [](Request& o, auto&, auto&) { o.help = true; }},
      {"serve", Takes::Nothing, [](Request& o, auto&, auto&) { o.serve = true; }},
      {"port", Takes::Value,
       [](Request& o, auto&, const auto& v) {
         int port = 0;
         check(checked_int("port", *v, 0, 65535, port));
         o.port = port;
       }},
      {"list", Takes::Nothing, [](Request& o, auto&, auto&) { o.list = true; }},
      {"compare", Takes::Nothing, [](Request& o, auto&, auto&) { o.compare = true; }},
      {"list-looks", Takes::Nothing, [](Request& o, auto&, auto&) { o.list_looks = true; }},
      {"look", Takes::Value,
       [once](Request& o, const std::string& arg, const auto& v) {
         once(o.look, "look");
         o.look_flag = arg;
         o.look = *v;
       }},
      {"save-look", Takes::Value,
       [once](Request& o, const std::string& arg, const auto& v) {
         once(o.save_look, "save-look");
         o.look_flag = arg;
         o.save_look = *v;
         if (!valid_look_name(*o.save_look)) {
           throw UsageError{
               "--save-look takes a name of letters, digits, '-' and '_' that starts "
               "with a letter, not '" +
               *o.save_look + "'"};
         }
       }},
      {"sweep", Takes::Value,
       [](Request& o, auto&, const auto& v) {
         if (o.sweep) throw UsageError{"--sweep may be given once"};
         o.sweep = name_value("sweep", *v);
       }},
      {"threads", Takes::Value,
       [](Request& o, auto&, const auto& v) {
         check(checked_int("threads", *v, 1, 1024, o.threads));
       }},
      {"out", Takes::Value,
       [](Request& o, auto&, const auto& v) {
         o.out_dir = *v;
         if (o.out_dir.empty()) throw UsageError{"--out needs a directory"};
       }},
      {"hosts", Takes::ListOrNothing,
       [&env](Request& o, auto&, const auto& v) {
         if (!v) {
           o.where = true;
           return;
         }
         o.hosts.clear();
         for (const std::string& h : split_list(*v)) {
           const bool known = std::any_of(env.hosts.begin(), env.hosts.end(),
                                          [&](const HostEntry& e) { return e.flag == h; });
           if (!known) throw UsageError{"--hosts: unknown or unbuilt host '" + h + "'"};
           if (std::find(o.hosts.begin(), o.hosts.end(), h) == o.hosts.end()) o.hosts.push_back(h);
         }
         if (o.hosts.empty()) throw UsageError{"--hosts needs a host"};
       }},
  };
  for (const SceneSetting& setting : scene_settings()) {
    flags.push_back(
        {setting.flag, Takes::Value, [&setting](Request& o, const std::string& arg, const auto& v) {
           if (setting.look) o.look_flag = arg;
           check(setting.set(o.scene, *v));
         }});
    flags.back().look = setting.look;
  }
  for (const HostEntry& h : env.hosts) {
    // Its settings, plug-in and looks are the shown host's, under its flags.
    if (!h.shows.empty()) continue;
    const std::string flag = h.flag;
    flags.push_back({flag, Takes::Value, [flag](Request& o, auto&, const auto& v) {
                       o.params[flag].push_back(name_value(flag, *v));
                       o.look_flag = "--" + flag;
                     }});
    flags.back().look = true;
    flags.push_back({h.path_flag, Takes::Value,
                     [flag](Request& o, auto&, const auto& v) { o.plugin_paths[flag] = *v; }});
    flags.push_back({h.looks_flag, Takes::Value,
                     [flag](Request& o, auto&, const auto& v) { o.look_paths[flag] = *v; }});
  }
  return flags;
}

}  // namespace

Request parse_flags(const std::vector<std::string>& args, const CliEnvironment& env,
                    bool look_only) {
  const std::vector<Flag> table = flag_table(env);
  Request o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
      throw UsageError{"unexpected argument '" + arg + "'"};
    }
    std::string name = arg.substr(2);
    std::optional<std::string> attached;
    if (const std::size_t eq = name.find('='); eq != std::string::npos) {
      attached = name.substr(eq + 1);
      name.resize(eq);
    }
    const auto flag =
        std::find_if(table.begin(), table.end(), [&](const Flag& f) { return f.name == name; });
    if (flag == table.end()) throw UsageError{"unknown flag '--" + name + "'"};
    if (look_only && !flag->look) {
      throw UsageError{"--" + name + " is not a look setting: a look takes scene settings and " +
                       "host values only"};
    }
    std::optional<std::string> value;
    switch (flag->takes) {
      case Takes::Nothing:
        if (attached) throw UsageError{"--" + name + " takes no value"};
        value = "";
        break;
      case Takes::ListOrNothing:
        if (!attached && (i + 1 >= args.size() || args[i + 1].compare(0, 2, "--") == 0)) break;
        [[fallthrough]];
      case Takes::Value:
        if (attached) {
          value = attached;
        } else if (i + 1 < args.size()) {
          value = args[++i];
        } else {
          throw UsageError{"--" + name + " needs a value"};
        }
        break;
    }
    flag->apply(o, arg, value);
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
  if (o.serve && !o.scene.mesh.empty()) {
    throw UsageError{"--serve shows the page's shapes; it takes no --mesh"};
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
    // A host that shows another's plug-in is drawn when asked for by name,
    // and located with the others.
    for (const HostEntry& h : env.hosts) {
      if (h.shows.empty() || o.where) o.hosts.push_back(h.flag);
    }
  }
  if (o.hosts.empty()) throw Failure{"no host was built into this tool"};
  if (o.serve && !env.serve) {
    throw Failure{
        "--serve is not built into this copy of the tool: it needs cpp-httplib and "
        "nlohmann-json (Debian packages libcpp-httplib-dev and nlohmann-json3-dev); install "
        "them and rebuild"};
  }
  for (const auto& given : o.params) {
    // Not a structured binding: C++17 lambdas cannot capture one.
    const std::string& flag = given.first;
    const bool taken = std::any_of(env.hosts.begin(), env.hosts.end(), [&](const HostEntry& h) {
      return settings_flag(h) == flag &&
             std::find(o.hosts.begin(), o.hosts.end(), h.flag) != o.hosts.end();
    });
    if (!taken) {
      throw UsageError{"--" + flag + " given, but " + flag + " is not among the hosts"};
    }
  }
  if (o.compare && std::count_if(env.hosts.begin(), env.hosts.end(),
                                 [](const HostEntry& h) { return h.shows.empty(); }) < 2) {
    throw UsageError{"--compare needs two hosts; this tool has only " + env.hosts[0].flag};
  }
  if (o.compare || o.save_look) {
    // Both compare the hosts' looks, so each built host takes part (but
    // those that show another's plug-in, which have no look of their own).
    for (const HostEntry& needed : env.hosts) {
      if (!needed.shows.empty()) continue;
      if (std::find(o.hosts.begin(), o.hosts.end(), needed.flag) == o.hosts.end()) {
        throw UsageError{std::string(o.compare ? "--compare" : "--save-look") + " needs " +
                         (env.hosts.size() == 2 ? "both hosts" : "every host") + "; " +
                         needed.flag + " is missing"};
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
    if (info->type == ParamType::Color && texts.size() == 4 &&
        host.entry->look_format->colour_alpha) {
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

  // --compare renders one lobe in every host: the shape that their plug-ins
  // fix. Hosts that disagree are a build's fault, not the request's.
  LobeOnly lobe_only;
  if (request.compare) {
    std::vector<const HostEntry*> entries;
    for (const Host& h : hosts) entries.push_back(h.entry);
    std::string error;
    const std::optional<LobeShape> shape = shared_lobe_shape(entries, error);
    if (!shape) throw Failure{"--compare: " + error};
    lobe_only.shape = *shape;
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
      for (const auto& [name, text] : hosts[k].backend->lobe_only_settings(lobe_only)) {
        values.emplace_back(name, checked_value(hosts[k], name, text));
      }
    }
    if (look != nullptr) {
      for (auto& v : look_values(hosts[k], *source_for(*look, *hosts[k].entry))) {
        values.push_back(std::move(v));
      }
    }
    checked_params(hosts[k], request.params_of(settings_flag(*hosts[k].entry)), values,
                   settings.textures[k], [&read](const std::string& file) {
                     if (const auto found = read.find(file); found != read.end()) {
                       return found->second;
                     }
                     auto texture = std::make_shared<Texture>();
                     std::string error;
                     if (!load_texture(file, *texture, error)) throw UsageError{error};
                     read.emplace(file, texture);
                     return std::shared_ptr<const Texture>(texture);
                   });
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

void checked_params(const Host& host, const std::vector<std::pair<std::string, std::string>>& given,
                    std::vector<std::pair<std::string, ParamValue>>& values,
                    std::vector<std::pair<std::string, std::shared_ptr<const Texture>>>& textures,
                    const TextureFinder& find) {
  for (const auto& setting : given) {
    const std::string& name = setting.first;
    const std::string& text = setting.second;
    textures.erase(std::remove_if(textures.begin(), textures.end(),
                                  [&](const auto& t) { return t.first == name; }),
                   textures.end());
    if (text.empty() || text[0] != '@') {
      values.emplace_back(name, checked_value(host, name, text));
      continue;
    }
    if (!find) {
      throw UsageError{settings_flag(*host.entry) + ": " + name + ": a look names no texture file"};
    }
    const std::string file = text.substr(1);
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
    textures.emplace_back(name, find(file));
  }
}

}  // namespace preview::cli
