#include "tools/preview/cli.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <thread>

#include "tools/preview/compose.h"
#include "tools/preview/image_io.h"
#include "tools/preview/render.h"
#include "tools/preview/scene.h"

namespace preview {

namespace {

const char* const kUsage =
    "usage: velvet-preview [options]\n"
    "Renders the velvet material through each plug-in, driven by its stand-in host.\n"
    "\n"
    "Material (repeatable; host attribute/parameter names and types, see --list):\n"
    "  --maya NAME=VALUE      set an attribute of the Maya node, e.g. --maya color=0.6,0.1,0.2\n"
    "  --mr NAME=VALUE        set a parameter of the mental ray shader, e.g. --mr specular=0.8\n"
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
    "  --shapes LIST          sphere, torus or sphere,torus (default both)\n"
    "  --fov DEGREES          vertical field of view (default 30)\n"
    "  --distance D           camera distance to the shapes (default 7)\n"
    "  --key I, --fill I, --rim I\n"
    "                         light intensities, 0 turns a light off (default 1, 0.4, 1)\n"
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

struct UsageError {
  std::string message;
};

struct Options {
  SceneOptions scene;
  int threads = 0;
  std::string out_dir = ".";
  std::vector<std::string> hosts;  // flags of the selected hosts, empty for all
  std::map<std::string, std::vector<std::pair<std::string, std::string>>> params;
  std::map<std::string, std::string> plugin_paths;
  std::optional<std::pair<std::string, std::string>> sweep;
  bool compare = false;
  bool list = false;
  bool where = false;  // --hosts without a list
  bool help = false;
  std::optional<std::string> look;
  bool list_looks = false;
  std::optional<std::string> maya_presets, mr_looks;
  std::optional<std::string> save_look;
  bool serve = false;
  std::optional<int> port;
  std::string look_flag;  // the last scene or material flag given, "" for none
};

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

Options parse(const std::vector<std::string>& args, const CliEnvironment& env) {
  Options o;
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
    } else if (flag == "distance") {
      o.look_flag = arg;
      o.scene.distance = double_in(flag, value(), 3.0, 1000.0);
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
      const std::string v = value();
      o.scene.sphere = o.scene.torus = false;
      for (const std::string& s : split_list(v)) {
        if (s == "sphere") {
          o.scene.sphere = true;
        } else if (s == "torus") {
          o.scene.torus = true;
        } else {
          throw UsageError{"--shapes takes sphere, torus or sphere,torus, not '" + v + "'"};
        }
      }
      if (!o.scene.sphere && !o.scene.torus) throw UsageError{"--shapes needs a shape"};
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

using Host = LoadedHost;

std::string known_names(const Backend& backend) {
  std::string names;
  for (const ParamInfo& p : backend.parameters()) names += (names.empty() ? "" : ", ") + p.name;
  return names;
}

// Parses and checks `name`=`text` for one host; throws UsageError.
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

struct Failure {
  std::string message;
};

void apply(Host& host, const std::string& name, const ParamValue& v) {
  const std::string error = host.backend->set_parameter(name, v);
  if (!error.empty()) throw Failure{host.entry->flag + ": " + name + ": " + error};
}

// The look files as the flags, or else the environment's defaults, name them.
LookFiles look_files(const Options& o, const CliEnvironment& env) {
  LookFiles files = env.looks;
  if (o.maya_presets || o.mr_looks) files.origin = "--maya-presets/--mr-looks";
  if (o.maya_presets) files.maya_presets = *o.maya_presets;
  if (o.mr_looks) files.mr_looks = *o.mr_looks;
  return files;
}

const LookSource* source_for(const NamedLook& look, const std::string& flag) {
  const std::optional<LookSource>& s = flag == "maya" ? look.maya : look.mr;
  return s ? &*s : nullptr;
}

// One host's values of a look, checked against the host's own names and
// types; every error names the file and line.
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

std::string where(const LookSource& s) {
  return s.file + ":" + std::to_string(s.line);
}

// Reads and checks every look for the selected hosts: each must exist for
// both hosts and hold only names and values its host accepts.
std::vector<NamedLook> checked_looks(const LookFiles& files, const std::vector<Host>& hosts) {
  std::vector<NamedLook> looks;
  std::string error;
  if (!load_looks(files, looks, error)) throw UsageError{error};
  for (const NamedLook& look : looks) {
    if (!look.maya || !look.mr) {
      const LookSource& only = look.maya ? *look.maya : *look.mr;
      throw UsageError{where(only) + ": look '" + look.name + "' exists only for " +
                       (look.maya ? "maya" : "mr") + "; each look needs a Maya preset " +
                       "and a mental ray shader block"};
    }
    for (const Host& h : hosts) {
      if (const LookSource* s = source_for(look, h.entry->flag)) look_values(h, *s);
    }
  }
  return looks;
}

std::string join(const std::string& dir, const std::string& file) {
  return (std::filesystem::path(dir) / file).string();
}

bool is_exr(const std::string& file) {
  return file.size() > 4 && file.compare(file.size() - 4, 4, ".exr") == 0;
}

// Writes each file as .exr or .png by its name, on up to `threads` threads;
// reports them in order. Throws Failure with the first error.
void write_files(const std::string& dir, const std::vector<std::pair<std::string, Image>>& files,
                 int threads, std::ostream& out) {
  std::vector<std::string> errors(files.size());
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t i = next.fetch_add(1); i < files.size(); i = next.fetch_add(1)) {
      const std::string& file = files[i].first;
      const std::string path = join(dir, file);
      if (!(is_exr(file) ? write_exr(path, files[i].second, errors[i])
                         : write_png(path, files[i].second, errors[i])) &&
          errors[i].empty()) {
        errors[i] = "cannot write " + path;
      }
    }
  };
  std::vector<std::thread> pool;
  for (int t = 1; t < threads && t < static_cast<int>(files.size()); ++t) pool.emplace_back(work);
  work();
  for (std::thread& t : pool) t.join();
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (!errors[i].empty()) throw Failure{errors[i]};
    out << "wrote " << join(dir, files[i].first) << "\n";
  }
}

// Writes each host's settings, each name once with its last value, as a new
// look's preset file and shader block. Throws Failure.
void save_look(const std::string& name, const std::string& dir, const std::vector<Host>& hosts,
               const std::vector<std::vector<std::pair<std::string, ParamValue>>>& values,
               std::vector<std::string>& wrote) {
  for (std::size_t k = 0; k < hosts.size(); ++k) {
    std::vector<std::pair<std::string, ParamValue>> last;
    for (const auto& assignment : values[k]) {
      const std::string& param = assignment.first;
      const auto same =
          std::find_if(last.begin(), last.end(), [&](const auto& e) { return e.first == param; });
      if (same != last.end()) {
        same->second = assignment.second;
      } else {
        last.push_back(assignment);
      }
    }
    const bool maya = hosts[k].entry->flag == "maya";
    const std::string path = join(dir, look_file_stem(name) + (maya ? ".mel" : ".mi"));
    std::ofstream file(path, std::ios::binary);
    file << (maya ? maya_preset_text(last) : mr_block_text(name, last));
    if (!file.flush()) throw Failure{"cannot write " + path};
    wrote.push_back(path);
  }
}

}  // namespace

int run(const std::vector<std::string>& args, const CliEnvironment& env) {
  std::ostream& out = *env.out;
  std::ostream& err = *env.err;
  try {
    Options o = parse(args, env);
    if (o.help) {
      out << kUsage;
      if (!exr_available()) out << "This build has no OpenEXR: it writes no .exr files.\n";
      return kExitOk;
    }
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

    if (o.where) {
      bool all = true;
      for (const std::string& flag : o.hosts) {
        for (const HostEntry& h : env.hosts) {
          if (h.flag != flag) continue;
          if (!h.locate) {
            out << flag << ": no locator\n";
            continue;
          }
          const Location location = h.locate(o.plugin_paths[flag]);
          print_location(out, flag, location);
          all = all && location.found;
        }
      }
      return all ? kExitOk : kExitFailure;
    }

    // Load the plug-ins: a host that cannot load is a failure, not bad input.
    std::vector<Host> hosts;
    for (const std::string& flag : o.hosts) {
      const HostEntry* entry = nullptr;
      for (const HostEntry& h : env.hosts) {
        if (h.flag == flag) entry = &h;
      }
      std::string error;
      std::unique_ptr<Backend> backend = entry->make(o.plugin_paths[flag], error);
      if (!backend) throw Failure{flag + ": " + error};
      hosts.push_back({entry, std::move(backend)});
    }

    std::vector<NamedLook> looks;
    if (o.look || o.list_looks) {
      const LookFiles files = look_files(o, env);
      if (files.maya_presets.empty() && files.mr_looks.empty()) {
        throw UsageError{"no look files found; name them with --maya-presets and --mr-looks"};
      }
      looks = checked_looks(files, hosts);
      if (o.list_looks) {
        out << "looks (" << files.origin << "):\n";
        for (const NamedLook& look : looks) {
          out << "  " << look.name << "\n    maya: " << where(*look.maya)
              << "\n    mr:   " << where(*look.mr) << "\n";
        }
        return kExitOk;
      }
    }

    if (o.serve) {
      ServeOptions serve;
      serve.port = o.port.value_or(kDefaultPort);
      serve.out_dir = o.out_dir;
      serve.threads = o.threads > 0 ? o.threads : std::max(1, env.default_threads);
      serve.looks = look_files(o, env);
      return env.serve(hosts, serve, out, err);
    }

    if (o.list) {
      for (const Host& h : hosts) {
        out << h.entry->flag << " (--" << h.entry->flag << " NAME=VALUE):\n";
        for (const ParamInfo& p : h.backend->parameters()) {
          out << "  " << p.name << "  " << type_text(p.type) << "\n";
        }
      }
      return kExitOk;
    }

    // Check everything before anything is rendered or written.
    std::vector<std::vector<std::pair<std::string, ParamValue>>> values(hosts.size());
    std::vector<std::vector<ParamValue>> sweep_values(hosts.size());
    std::vector<std::string> sweep_texts;
    for (std::size_t k = 0; k < hosts.size(); ++k) {
      if (o.compare) {
        for (const auto& [name, text] : hosts[k].backend->lobe_only_settings()) {
          values[k].emplace_back(name, checked_value(hosts[k], name, text));
        }
      }
      if (o.look) {
        const std::string wanted = look_name(*o.look);
        const auto found = std::find_if(looks.begin(), looks.end(),
                                        [&](const NamedLook& l) { return l.name == wanted; });
        if (found == looks.end()) {
          std::string names;
          for (const NamedLook& l : looks) names += (names.empty() ? "" : ", ") + l.name;
          throw UsageError{"no look '" + *o.look + "' (known: " + names + ")"};
        }
        for (auto& v : look_values(hosts[k], *source_for(*found, hosts[k].entry->flag))) {
          values[k].push_back(std::move(v));
        }
      }
      for (const auto& [name, text] : o.params[hosts[k].entry->flag]) {
        values[k].emplace_back(name, checked_value(hosts[k], name, text));
      }
      if (o.sweep) {
        const ParamInfo* info = find_param(hosts[k].backend->parameters(), o.sweep->first);
        if (info == nullptr) {
          throw UsageError{"--sweep: " + hosts[k].entry->flag + " has no parameter '" +
                           o.sweep->first + "' (known: " + known_names(*hosts[k].backend) + ")"};
        }
        std::string error;
        if (!split_values(*info, o.sweep->second, sweep_texts, error)) {
          throw UsageError{"--sweep: " + error};
        }
        for (const std::string& text : sweep_texts) {
          sweep_values[k].push_back(checked_value(hosts[k], o.sweep->first, text));
        }
      }
    }
    if (env.check_only) return kExitOk;

    SceneOptions scene_options = o.scene;
    if (o.compare) scene_options.area_samples = 1;
    const Scene scene(scene_options);
    std::vector<Light> lights = scene.lights();
    if (o.compare) {
      for (Light& l : lights) l.diffuse = false;
    }
    for (std::size_t k = 0; k < hosts.size(); ++k) {
      for (const auto& [name, v] : values[k]) apply(hosts[k], name, v);
      hosts[k].backend->set_lights(lights);
      hosts[k].backend->set_irradiance(scene_options.irradiance);
    }

    std::error_code ec;
    std::filesystem::create_directories(o.out_dir, ec);
    if (ec) throw Failure{"cannot create " + o.out_dir + ": " + ec.message()};

    const int threads = o.threads > 0 ? o.threads : std::max(1, env.default_threads);
    const std::size_t columns = o.sweep ? sweep_texts.size() : 1;
    Progress progress(env.err_is_terminal ? &err : nullptr,
                      render_units(scene) * static_cast<std::int64_t>(hosts.size() * columns));
    std::vector<std::vector<Image>> cells(hosts.size(), std::vector<Image>(columns));
    for (std::size_t k = 0; k < hosts.size(); ++k) {
      for (std::size_t c = 0; c < columns; ++c) {
        if (o.sweep) apply(hosts[k], o.sweep->first, sweep_values[k][c]);
        std::string error;
        if (!render(scene, *hosts[k].backend, threads, cells[k][c], &progress, error)) {
          progress.finish();
          throw Failure{hosts[k].entry->flag + ": " + error};
        }
      }
    }
    progress.finish();

    std::string summary;
    std::vector<std::pair<std::string, Image>> differences;
    if (o.compare) {
      std::size_t maya = 0, mr = 0;
      for (std::size_t k = 0; k < hosts.size(); ++k) {
        if (hosts[k].entry->flag == "maya") maya = k;
        if (hosts[k].entry->flag == "mr") mr = k;
      }
      Difference diff = difference(cells[maya][0], cells[mr][0]);
      Image shown = shown_difference(diff);
      differences.emplace_back("difference.exr", std::move(diff.image));
      differences.emplace_back("difference.png", std::move(shown));
      std::ostringstream line;
      line << "largest difference: " << diff.largest << " at pixel (" << diff.x << ", " << diff.y
           << "), " << diff.largest_ulps << " ulp (of the value, or of 1/16 below it); "
           << diff.identical * 100.0 << "% of channels identical\n";
      summary = line.str();
    }

    // Everything to write, then written on the rendering threads: encoding
    // and compressing the files takes about as long as rendering them.
    std::vector<std::pair<std::string, Image>> files;
    std::vector<std::string> row_captions;
    for (const Host& h : hosts) row_captions.push_back(h.entry->file_name);
    if (o.sweep) {
      std::vector<std::string> captions;
      // name=value, or the value alone where that would not fit over a
      // column (12 pixels a character).
      for (const std::string& text : sweep_texts) {
        const std::string full = o.sweep->first + "=" + text;
        captions.push_back(static_cast<int>(full.size()) * 12 <= scene.width() ? full : text);
      }
      Image sheet = contact_sheet(cells, captions, row_captions, 6);
      files.emplace_back("sheet.png", sheet);
      files.emplace_back("sheet.exr", std::move(sheet));
    } else {
      files.emplace_back("preview.png", contact_sheet(cells, {}, row_captions, 6));
      for (std::size_t k = 0; k < hosts.size(); ++k) {
        files.emplace_back(hosts[k].entry->file_name + ".png", cells[k][0]);
        files.emplace_back(hosts[k].entry->file_name + ".exr", std::move(cells[k][0]));
      }
    }
    for (auto& d : differences) files.push_back(std::move(d));
    if (!exr_available()) {
      // Built without OpenEXR: the PNG files alone.
      files.erase(
          std::remove_if(files.begin(), files.end(), [](const auto& f) { return is_exr(f.first); }),
          files.end());
    }
    write_files(o.out_dir, files, threads, out);
    if (o.save_look) {
      std::vector<std::string> wrote;
      save_look(*o.save_look, o.out_dir, hosts, values, wrote);
      for (const std::string& path : wrote) out << "wrote " << path << "\n";
    }
    out << summary;
    return kExitOk;
  } catch (const UsageError& e) {
    err << "velvet-preview: " << e.message << "\n(velvet-preview --help lists the flags)\n";
    return kExitUsage;
  } catch (const Failure& e) {
    err << "velvet-preview: " << e.message << "\n";
    return kExitFailure;
  }
}

std::string parse_look(const std::vector<std::string>& args, const std::vector<LoadedHost>& hosts,
                       Look& out) {
  try {
    CliEnvironment env;
    for (const LoadedHost& h : hosts) env.hosts.push_back(*h.entry);
    const Options o = parse(args, env);
    if (o.help || o.list || o.compare || o.sweep || o.serve || o.port || o.where ||
        !o.hosts.empty() || !o.plugin_paths.empty() || o.threads != 0 || o.out_dir != ".") {
      throw UsageError{"a look takes scene flags and host values only"};
    }
    Look look;
    look.scene = o.scene;
    for (const LoadedHost& h : hosts) {
      const auto given = o.params.find(h.entry->flag);
      if (given == o.params.end()) continue;
      for (const auto& [name, text] : given->second) {
        look.values[h.entry->flag].emplace_back(name, checked_value(h, name, text));
      }
    }
    out = std::move(look);
    return "";
  } catch (const UsageError& e) {
    return e.message;
  }
}

std::string read_looks(const LookFiles& files, const std::vector<LoadedHost>& hosts,
                       std::vector<std::pair<std::string, Look>>& out) {
  try {
    std::vector<std::pair<std::string, Look>> read;
    for (const NamedLook& named : checked_looks(files, hosts)) {
      Look look;
      for (const Host& h : hosts) {
        look.values[h.entry->flag] = look_values(h, *source_for(named, h.entry->flag));
      }
      read.emplace_back(named.name, std::move(look));
    }
    out = std::move(read);
    return "";
  } catch (const UsageError& e) {
    return e.message;
  }
}

std::string write_look(const std::string& name, const std::string& dir,
                       const std::vector<LoadedHost>& hosts, const Look& look,
                       std::vector<std::string>& wrote) {
  // The name becomes a file name: never a path.
  if (!valid_look_name(name)) return "not a look name: '" + name + "'";
  std::vector<std::vector<std::pair<std::string, ParamValue>>> values;
  for (const LoadedHost& h : hosts) {
    const auto given = look.values.find(h.entry->flag);
    values.push_back(given == look.values.end() ? decltype(values)::value_type{} : given->second);
  }
  try {
    save_look(name, dir, hosts, values, wrote);
    return "";
  } catch (const Failure& e) {
    return e.message;
  }
}

}  // namespace preview
