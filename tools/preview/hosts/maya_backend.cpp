// The Maya road: velvet.so loaded by the stand-in Maya host, one `velvet`
// node, and per thread a data block that is filled for every sample the way
// Maya's renderer fills a shading node's inputs (normalCamera, rayDirection,
// pointCamera and one lightDataArray element per light sample) before it
// asks for outColor.
#include <hostkit/paths.h>
#include <maya/MFloatVector.h>
#include <mayahost/modules.h>
#include <mayahost/node.h>
#include <mayahost/plugin.h>
#include <mayahost/shading_block.h>
#include <mayahost/status.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "tools/preview/hosts/lights.h"
#include "tools/preview/hosts/maya_backend.h"
#include "tools/preview/hosts/registry.h"

namespace preview {

namespace {

MFloatVector to_maya(core::Vector v) {
  return MFloatVector(v.x, v.y, v.z);
}

class MayaContext : public ShadingContext {
 public:
  MayaContext(const mayahost::Node& node, const std::vector<Emitter>& emitters,
              const std::vector<Connection>& connections)
      : block_(node, static_cast<unsigned>(emitters.size())), emitters_(emitters) {
    // Resolved once; per sample only the values change.
    for (const Connection& c : connections) fed_.push_back({block_.slot(c.name), c.texture.get()});
    // The switches are the same for every sample; only the vectors change.
    block_.setLightCount(static_cast<unsigned>(emitters_.size()));
    for (std::size_t i = 0; i < emitters_.size(); ++i) {
      mayahost::Light light;
      light.intensity = emitters_[i].intensity;
      light.ambient = false;
      light.diffuse = emitters_[i].diffuse;
      light.specular = emitters_[i].specular;
      block_.setLight(static_cast<unsigned>(i), light);
    }
  }

  core::Color shade(const ShadingSample& s) override {
    // What a connected file node computes for this sample reaches the node
    // as its input's value, as Maya's renderer evaluates the network
    // upstream of the shading node first.
    for (const Fed& f : fed_) {
      const core::Color c = f.texture->sample(s.u, s.v);
      block_.set(f.slot, MFloatVector(c.r, c.g, c.b));
    }
    block_.setNormal(to_maya(s.normal));
    block_.setRayDirection(to_maya(s.ray));
    block_.setPointCamera(to_maya(s.point));
    for (std::size_t i = 0; i < emitters_.size(); ++i) {
      const Emitter& e = emitters_[i];
      block_.setLightVectors(static_cast<unsigned>(i), to_maya(direction_to(s.point, e.position)),
                             e.intensity);
    }
    block_.compute();
    const MFloatVector c = block_.outColor();
    return {c.x, c.y, c.z};
  }

 private:
  struct Fed {
    mayahost::ShadingBlock::Slot slot;
    const Texture* texture;
  };
  mayahost::ShadingBlock block_;
  std::vector<Emitter> emitters_;
  std::vector<Fed> fed_;
};

bool hidden_parent(const std::string& name) {
  mayahost::AttributeInfo info, parent;
  return mayahost::attribute("velvet", name, &info) && !info.parent.empty() &&
         mayahost::attribute("velvet", info.parent, &parent) && parent.hidden;
}

}  // namespace

namespace {

// The plug-in loaded from `path`, loading it unless a backend that is still
// there has: the maya and viewport hosts show the same node type, as
// Maya's renderer and its viewport do. Backends are made on one thread.
std::shared_ptr<mayahost::Plugin> shared_plugin(const std::string& path, mayahost::Status& st) {
  static std::map<std::string, std::weak_ptr<mayahost::Plugin>> loaded;
  if (std::shared_ptr<mayahost::Plugin> p = loaded[path].lock()) return p;
  auto plugin = std::make_shared<mayahost::Plugin>();
  st = plugin->load(path);
  if (!st) return nullptr;
  loaded[path] = plugin;
  return plugin;
}

}  // namespace

bool MayaBackend::open(const std::string& path, std::string& error) {
  mayahost::Status st;
  plugin_ = shared_plugin(path, st);
  if (!plugin_) {
    error = "cannot load the Maya plug-in " + path + ": " + st.message();
    return false;
  }
  st = node_.create("velvet");
  if (!st) {
    error = "cannot create a velvet node: " + st.message();
    return false;
  }
  for (const mayahost::PlugDescription& plug : node_.settablePlugs()) {
    // Per-sample geometry is the renderer's to set, channels included.
    if (plug.hidden || hidden_parent(plug.name)) continue;
    if (plug.type == mayahost::ValueType::kFloat) {
      params_.push_back({plug.name, ParamType::Float});
    } else if (plug.type == mayahost::ValueType::kBool) {
      params_.push_back({plug.name, ParamType::Boolean});
    } else if (plug.type == mayahost::ValueType::kFloat3) {
      mayahost::AttributeInfo info;
      const bool colour = mayahost::attribute("velvet", plug.name, &info) && info.usedAsColor;
      params_.push_back({plug.name, colour ? ParamType::Color : ParamType::Vector});
    }
  }
  return true;
}

ParamHints MayaBackend::hints(const std::string& name) const {
  ParamHints h;
  mayahost::AttributeInfo info;
  const ParamInfo* param = find_param(params_, name);
  if (param == nullptr || !mayahost::attribute("velvet", name, &info)) return h;
  h.soft_min = info.softMin;
  h.soft_max = info.softMax;
  // setDefault's value where it was called, else what create was given
  // (a compound's children's).
  std::vector<double> d = info.defaultValue;
  if (d.empty() && !info.children.empty()) {
    for (const std::string& child : info.children) {
      mayahost::AttributeInfo c;
      if (mayahost::attribute("velvet", child, &c)) d.push_back(c.createDefault);
    }
  } else if (d.empty()) {
    d.push_back(info.createDefault);
  }
  if (d.size() != static_cast<std::size_t>(arity(param->type))) return h;
  ParamValue v;
  v.type = param->type;
  for (std::size_t k = 0; k < d.size(); ++k) v.v[k] = static_cast<float>(d[k]);
  v.b = d[0] != 0.0;
  h.default_text = format_value(v);
  return h;
}

std::string MayaBackend::set_parameter(const std::string& name, const ParamValue& v) {
  float values[3] = {v.v[0], v.v[1], v.v[2]};
  std::size_t count = static_cast<std::size_t>(arity(v.type));
  if (v.type == ParamType::Boolean) values[0] = v.b ? 1.0f : 0.0f;
  if (v.type == ParamType::Integer) values[0] = static_cast<float>(v.i);
  const mayahost::Status st = node_.set(name, values, count);
  if (!st) return st.message();
  disconnect(name);
  return "";
}

std::string MayaBackend::connect_texture(const std::string& name,
                                         std::shared_ptr<const Texture> texture) {
  const ParamInfo* param = find_param(params_, name);
  if (param == nullptr || param->type != ParamType::Color) {
    return "'" + name + "' is not a colour attribute: only colours take a texture";
  }
  disconnect(name);
  connections_.push_back({name, std::move(texture)});
  return "";
}

std::vector<std::pair<std::string, std::string>> MayaBackend::lobe_only_settings(
    const LobeOnly& lobe) const {
  // The node takes the lobe's shape as attributes; no other term.
  return {{"diffuse", "0"},
          {"ambientColor", "0,0,0"},
          {"incandescence", "0,0,0"},
          {"translucence", "0"},
          {"transparency", "0,0,0"},
          {"roughness", format_number(lobe.shape.roughness)},
          {"backscatter", format_number(lobe.shape.backscatter)},
          {"specularColor", format_color(lobe.tint)},
          {"edginess", format_number(lobe.edginess)}};
}

void MayaBackend::set_lights(const std::vector<Light>& lights) {
  emitters_.clear();
  for (const Light& l : lights) {
    const int n = l.area ? l.samples : 1;
    const float share = 1.0f / static_cast<float>(n);
    const MFloatVector intensity =
        n == 1 ? MFloatVector(l.color.r, l.color.g, l.color.b)
               : MFloatVector(l.color.r * share, l.color.g * share, l.color.b * share);
    for (int i = 0; i < n; ++i) {
      emitters_.push_back({light_sample_position(l, i), intensity, l.diffuse, l.specular});
    }
  }
}

std::unique_ptr<ShadingContext> MayaBackend::make_context(std::string&) {
  return std::make_unique<MayaContext>(node_, emitters_, connections_);
}

void MayaBackend::disconnect(const std::string& name) {
  connections_.erase(std::remove_if(connections_.begin(), connections_.end(),
                                    [&](const Connection& c) { return c.name == name; }),
                     connections_.end());
}

namespace {

// Whether a module file that could not be fully read is velvet's own:
// named so, or one of the modules it cost is velvet.
bool is_velvets(const mayahost::UnreadableModuleFile& u) {
  return std::filesystem::path(u.file).stem() == "velvet" ||
         std::find(u.modules.begin(), u.modules.end(), "velvet") != u.modules.end();
}

std::string file_line(const std::string& file, int line) {
  return line > 0 ? file + ":" + std::to_string(line) : file;
}

// `loadPlugin velvet` with MAYA_MODULE_PATH and MAYA_PLUG_IN_PATH as
// `environment` has them. Sets `error` only for input that is wrong (velvet's
// own malformed .mod); a plug-in that is simply not there goes to `missing`.
// Other products' module files that cannot be fully read cost only their own
// modules and are listed, once each, as "ignored"; velvet's module sections
// for another release or platform as "skipped", with the reason.
bool find_velvet(const mayahost::Environment& environment, Location* location,
                 std::string* missing) {
  mayahost::SearchPaths paths;
  mayahost::Status st = mayahost::resolveModules(environment, mayahost::HostInfo(), &paths);
  if (!st) {
    location->error = st.message();
    return false;
  }
  for (const mayahost::UnreadableModuleFile& u : paths.unreadable) {
    if (is_velvets(u)) {
      location->error = file_line(u.file, u.line) + ": " + u.message;
      return false;
    }
  }
  std::vector<std::pair<std::string, std::string>> notes;
  std::string skipped;
  for (const mayahost::SkippedModule& m : paths.skipped) {
    if (m.name != "velvet") continue;
    notes.emplace_back("skipped", file_line(m.file, m.line) + " (" + m.reason + ")");
    skipped += "; module 'velvet' at " + file_line(m.file, m.line) + " skipped: " + m.reason;
  }
  for (const mayahost::UnreadableModuleFile& u : paths.unreadable) {
    notes.emplace_back("ignored", file_line(u.file, u.line) + ": " + u.message);
  }
  std::string file;
  st = mayahost::findPlugin("velvet", paths, &file);
  if (!st) {
    // A velvet module without its plug-in is a broken install, not a
    // reason to look elsewhere.
    const bool broken =
        std::any_of(paths.modules.begin(), paths.modules.end(),
                    [](const mayahost::ResolvedModule& m) { return m.name == "velvet"; });
    (broken ? location->error : *missing) = st.message() + skipped;
    return false;
  }
  location->found = true;
  location->files.emplace_back("plug-in", file);
  for (const mayahost::ResolvedModule& m : paths.modules) {
    for (const std::string& folder : m.plugIns) {
      if (std::filesystem::path(file).parent_path() == std::filesystem::path(folder)) {
        // The section used: file, line and the conditions it matched.
        location->files.emplace_back(
            "module",
            file_line(m.file, m.line) + (m.conditions.empty() ? "" : " (" + m.conditions + ")"));
        location->how += ", module '" + m.name + "' " + m.version;
        location->files.insert(location->files.end(), notes.begin(), notes.end());
        return true;
      }
    }
  }
  location->files.insert(location->files.end(), notes.begin(), notes.end());
  return true;
}

}  // namespace

Location locate_maya(const std::string& path, const LocateContext& context) {
  Location location;
  if (!path.empty()) {
    // A flag names a file, never a plug-in to search for.
    const std::string named = path.find_first_of("/\\") == std::string::npos ? "./" + path : path;
    std::string file;
    const mayahost::Status st = mayahost::findPlugin(named, mayahost::SearchPaths(), &file);
    if (!st) {
      location.error = "--maya-plugin: " + st.message();
      return location;
    }
    location.found = true;
    location.how = "--maya-plugin";
    location.files.emplace_back("plug-in", file);
    return location;
  }
  std::vector<std::string> missing;
  const auto attempt = [&](const std::string& how, const mayahost::Environment& environment) {
    std::string why;
    location.how = how;
    if (find_velvet(environment, &location, &why)) return true;
    if (!why.empty()) missing.push_back(how + ": " + why);
    return false;
  };
  const auto only = [](std::string module_path) -> mayahost::Environment {
    return [module_path](const std::string& name) -> std::optional<std::string> {
      if (name == "MAYA_MODULE_PATH") return module_path;
      return std::nullopt;
    };
  };

  // 2. Maya's own variables.
  if (context.environment("MAYA_MODULE_PATH") || context.environment("MAYA_PLUG_IN_PATH")) {
    if (attempt("MAYA_MODULE_PATH / MAYA_PLUG_IN_PATH", context.environment)) return location;
    if (!location.error.empty()) return location;
  }
  // 3. The installed tree the tool belongs to.
  if (!context.tool_dir.empty()) {
    const std::string dir = hostkit::join_path(context.tool_dir, "../modules");
    std::error_code ec;
    if (std::filesystem::is_directory(dir, ec)) {
      if (attempt("the installed tree (" + dir + ")", only(dir))) return location;
      if (!location.error.empty()) return location;
    }
  }
  // 4. The build tree's own module.
  const std::map<std::string, std::string> build = read_build_info(context.tool_dir);
  if (const auto it = build.find("maya-module-path"); it != build.end()) {
    if (attempt("the build tree (" + it->second + ")", only(it->second))) return location;
    if (!location.error.empty()) return location;
  }

  // 5. The user's own modules folder, as Maya reads it.
  if (!context.user_modules_dir.empty()) {
    std::error_code ec;
    if (std::filesystem::is_directory(context.user_modules_dir, ec)) {
      if (attempt("the user's modules folder (" + context.user_modules_dir + ")",
                  only(context.user_modules_dir))) {
        return location;
      }
      if (!location.error.empty()) return location;
    }
  }

  location.how.clear();
  location.error = "no velvet plug-in";
  if (missing.empty()) {
    location.error +=
        ": set MAYA_MODULE_PATH to the modules folder of an installed velvet, or "
        "give --maya-plugin";
  }
  for (const std::string& m : missing) location.error += "; " + m;
  return location;
}

bool open_located(MayaBackend& backend, const std::string& path, std::string& error) {
  const Location location = locate_maya(path, process_locate_context());
  if (!location.found) {
    error = location.error;
    return false;
  }
  return backend.open(location.file("plug-in"), error);
}

std::unique_ptr<Backend> make_maya_backend(const std::string& path, std::string& error) {
  auto backend = std::make_unique<MayaBackend>();
  if (!open_located(*backend, path, error)) return nullptr;
  return backend;
}

}  // namespace preview
