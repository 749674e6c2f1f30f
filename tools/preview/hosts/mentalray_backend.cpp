// The mental ray road: krel_velvet loaded by the stand-in renderer, its
// parameter block laid out from the shader's .mi declaration, the rig's
// lights in the renderer's host module (which samples the area light), and
// one miState per sample.
#include <hostkit/paths.h>
#include <mrhost/renderer.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "tools/preview/hosts/registry.h"

namespace preview {

namespace {

miVector to_mr(core::Vector v) {
  return {v.x, v.y, v.z};
}

bool is_array_counter(const std::vector<mrhost::Parameter>& declared, const std::string& name) {
  for (const mrhost::Parameter& p : declared) {
    if (p.array && (name == "i_" + p.name || name == "n_" + p.name)) return true;
  }
  return false;
}

// The texture shader of a connected colour: what a file texture shader
// returns for the state's first texture space, which the renderer
// interpolates from the shape's UVs.
void texture_lookup(const void* context, const miState* state, mrhost::ConnectionValue* result) {
  const core::Color c =
      static_cast<const Texture*>(context)->sample(state->tex[0].x, state->tex[0].y);
  const miColor colour{c.r, c.g, c.b, 1.0f};
  std::memcpy(result->bytes, &colour, sizeof colour);
}

class MentalRayContext : public ShadingContext {
 public:
  MentalRayContext(const mrhost::Renderer& renderer, mrhost::ParameterBlock& block)
      : renderer_(renderer), block_(block) {}

  core::Color shade(const ShadingSample& s) override {
    miState state = renderer_.make_state(block_, to_mr(s.point), to_mr(s.normal), to_mr(s.ray));
    state.tex[0] = {s.u, s.v, 0.0f};
    // This thread's room for what connected shaders return.
    state.user = results_;
    state.user_size = static_cast<miInteger>(sizeof results_);
    miColor result{0.0f, 0.0f, 0.0f, 0.0f};
    renderer_.shade(&result, &state, block_);
    return {result.r, result.g, result.b};
  }

 private:
  const mrhost::Renderer& renderer_;
  mrhost::ParameterBlock& block_;
  mrhost::ConnectionValue results_[mrhost::kMaxConnections];
};

class MentalRayBackend : public Backend {
 public:
  bool open(const mrhost::Paths& paths, std::string& error) {
    if (!renderer_.open(paths, &error)) return false;
    // Shared counters would serialise the threads; the tool reads none.
    renderer_.host().set_recording(mrhost::kRecordNothing);
    const std::vector<mrhost::Parameter>& declared = renderer_.declaration().parameters;
    for (std::size_t k = 0; k < declared.size(); ++k) {
      const mrhost::Parameter& p = declared[k];
      // Arrays and their i_/n_ counters are the renderer's business.
      if (p.type == mrhost::ParamType::light || p.array || is_array_counter(declared, p.name)) {
        continue;
      }
      switch (p.type) {
        case mrhost::ParamType::color:
          params_.push_back({p.name, ParamType::Color});
          break;
        case mrhost::ParamType::vector:
          params_.push_back({p.name, ParamType::Vector});
          break;
        case mrhost::ParamType::scalar:
          params_.push_back({p.name, ParamType::Float});
          break;
        case mrhost::ParamType::boolean:
          params_.push_back({p.name, ParamType::Boolean});
          break;
        case mrhost::ParamType::integer:
          params_.push_back({p.name, ParamType::Integer});
          break;
        default:  // tags, transforms and structs are not set from the command line
          break;
      }
    }
    block_ = std::make_unique<mrhost::ParameterBlock>(renderer_.make_block({}));
    return true;
  }

  const std::vector<ParamInfo>& parameters() const override { return params_; }

  ParamHints hints(const std::string& name) const override {
    ParamHints h;
    const ParamInfo* param = find_param(params_, name);
    const mrhost::Parameter* declared = renderer_.declaration().find(name);
    if (param == nullptr || declared == nullptr) return h;
    // Colours are declared with an alpha that the tool does not set.
    const std::size_t n = static_cast<std::size_t>(arity(param->type));
    if (declared->value.size() < n) return h;
    ParamValue v;
    v.type = param->type;
    for (std::size_t k = 0; k < n; ++k) v.v[k] = declared->value[k];
    v.b = declared->value[0] != 0.0f;
    v.i = static_cast<int>(declared->value[0]);
    h.default_text = format_value(v);
    return h;
  }

  std::string set_parameter(const std::string& name, const ParamValue& v) override {
    std::vector<float> values(v.v, v.v + arity(v.type));
    if (v.type == ParamType::Boolean) values = {v.b ? 1.0f : 0.0f};
    if (v.type == ParamType::Integer) values = {static_cast<float>(v.i)};
    std::string error;
    if (!block_->set(name, values, &error)) return error;
    disconnect(name);
    // Kept so that a new block (new lights) gets the same values; one entry
    // per name, so that a long-lived backend set again and again stays small.
    for (auto& [known, kept] : settings_) {
      if (known == name) {
        kept = std::move(values);
        return "";
      }
    }
    settings_.emplace_back(name, std::move(values));
    return "";
  }

  std::string connect_texture(const std::string& name,
                              std::shared_ptr<const Texture> texture) override {
    const ParamInfo* param = find_param(params_, name);
    if (param == nullptr || param->type != ParamType::Color) {
      return "'" + name + "' is not a colour parameter: only colours take a texture";
    }
    std::string error;
    if (!connect(name, *texture, error)) return error;
    disconnect_record(name);
    textures_.emplace_back(name, std::move(texture));
    return "";
  }

  std::vector<std::pair<std::string, std::string>> lobe_only_settings(
      const LobeOnly& lobe) const override {
    // The shape is the shader's own (the entry's fixed_lobe), which is all
    // it is handed. One sample per light is the rig's business (the tool
    // sets it).
    return {{"diffuse", "0"},
            {"specular", "1"},
            {"normalOffset", "0,0,0"},
            {"ambientColor", "0,0,0"},
            {"incandescence", "0,0,0"},
            {"useIrradiance", "off"},
            {"specularColor", format_color(lobe.tint)},
            {"edginess", format_number(lobe.edginess)}};
  }

  void set_lights(const std::vector<Light>& lights) override {
    mrhost::HostModule& host = renderer_.host();
    host.reset(mrhost::kRecordNothing);
    std::vector<miTag> tags;
    for (const Light& l : lights) {
      const miColor color{l.color.r, l.color.g, l.color.b, 1.0f};
      const miTag tag = l.area ? host.add_rect_light(to_mr(l.position), to_mr(l.edge_u),
                                                     to_mr(l.edge_v), color, l.samples)
                               : host.add_point_light(to_mr(l.position), color);
      if (tag != 0) tags.push_back(tag);
    }
    block_ = std::make_unique<mrhost::ParameterBlock>(renderer_.make_block(tags));
    std::string ignored;
    for (const auto& [name, values] : settings_) block_->set(name, values, &ignored);
    // Connections went with the reset; the new block is connected afresh.
    for (const auto& [name, texture] : textures_) connect(name, *texture, ignored);
  }

  void set_irradiance(core::Color c) override {
    renderer_.host().set_irradiance({c.r, c.g, c.b, 1.0f});
  }

  std::unique_ptr<ShadingContext> make_context(std::string&) override {
    return std::make_unique<MentalRayContext>(renderer_, *block_);
  }

 private:
  // Marks `name` in the block as connected to a texture shader that the host
  // module calls through mi_phen_eval.
  bool connect(const std::string& name, const Texture& texture, std::string& error) {
    const std::int32_t ghost = renderer_.host().add_shader_connection(texture_lookup, &texture);
    if (ghost == 0) {
      error = "too many connected parameters";
      return false;
    }
    return block_->connect(name, ghost, &error);
  }
  void disconnect(const std::string& name) {
    std::string ignored;
    for (const auto& t : textures_) {
      if (t.first == name) block_->connect(name, 0, &ignored);
    }
    disconnect_record(name);
  }
  void disconnect_record(const std::string& name) {
    textures_.erase(std::remove_if(textures_.begin(), textures_.end(),
                                   [&](const auto& t) { return t.first == name; }),
                    textures_.end());
  }

  mrhost::Renderer renderer_;
  std::unique_ptr<mrhost::ParameterBlock> block_;
  std::vector<ParamInfo> params_;
  std::vector<std::pair<std::string, std::vector<float>>> settings_;
  std::vector<std::pair<std::string, std::shared_ptr<const Texture>>> textures_;
};

}  // namespace

Location locate_mentalray(const std::string& path, const LocateContext& context) {
  constexpr const char* kShader = "krel_velvet";
  Location location;
  std::vector<std::string> missing;
  std::string broken;
  std::string library, declaration;
  if (!path.empty()) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
      location.error = "--mr-library: no such file " + path;
      return location;
    }
    // dlopen takes a name without a folder from the library path, not from here.
    library = path.find_first_of("/\\") == std::string::npos ? "./" + path : path;
  }
  // `link` and `$include` on one place's search path; with --mr-library
  // only the declaration is looked for.
  const auto attempt = [&](const std::string& how, const mrhost::SearchPath& search) {
    std::string error;
    std::string lib = library, decl;
    if (!lib.empty() ||
        mrhost::find_library(mrhost::library_file_name(kShader), search, &lib, &error)) {
      if (mrhost::find_include(std::string(kShader) + ".mi", search, &decl, &error)) {
        library = lib;
        declaration = decl;
        location.how = !path.empty() ? "--mr-library, declaration through " + how : how;
        return true;
      }
      // The library without its declaration is a broken install.
      if (path.empty()) broken = how + ": " + lib + " found, but " + error;
    }
    missing.push_back(how + ": " + error);
    return false;
  };

  bool found = false;
  // 2. The renderer's own variables.
  if (context.environment("MI_LIBRARY_PATH") || context.environment("MI_RAY_INCPATH") ||
      context.environment("MI_CUSTOM_SHADER_PATH")) {
    found = attempt("MI_LIBRARY_PATH / MI_RAY_INCPATH / MI_CUSTOM_SHADER_PATH",
                    mrhost::search_path(context.environment));
  }
  // 3. The installed tree the tool belongs to, as a custom shader folder.
  const auto shader_folder = [](const std::string& root) {
    return mrhost::SearchPath{{hostkit::join_path(root, "lib")},
                              {hostkit::join_path(root, "include")}};
  };
  if (!found && broken.empty() && !context.tool_dir.empty()) {
    const std::string dir = hostkit::join_path(context.tool_dir, "../mentalray");
    std::error_code ec;
    if (std::filesystem::is_directory(dir, ec)) {
      found = attempt("the installed tree (" + dir + ")", shader_folder(dir));
    }
  }
  // 4. The build tree's outputs.
  const std::map<std::string, std::string> build = read_build_info(context.tool_dir);
  if (const auto it = build.find("mr-custom-shader-path");
      !found && broken.empty() && it != build.end()) {
    found = attempt("the build tree (" + it->second + ")", shader_folder(it->second));
  }
  if (!broken.empty()) {
    location.error = broken;
    return location;
  }
  if (!found) {
    location.error = "no krel_velvet library and declaration";
    if (missing.empty()) {
      location.error +=
          ": set MI_CUSTOM_SHADER_PATH to the mentalray folder of an installed "
          "velvet, or give --mr-library";
    }
    for (const std::string& m : missing) location.error += "; " + m;
    return location;
  }
  location.found = true;
  location.files.emplace_back("library", library);
  location.files.emplace_back("declaration", declaration);
  // The renderer's own module: the build's; else the one in the tool's own
  // library folder (where its run path points, named here because a dlopen
  // interposed by a sanitizer or profiler no longer sees the tool's run
  // path); else the bare name, left to the loader.
  std::string host_module = mrhost::library_file_name("mrhost_module");
  std::error_code ec;
  const std::string beside =
      hostkit::join_path(context.tool_dir, std::string(VELVET_PREVIEW_LIB_DIR) + "/" + host_module);
  if (const auto host = build.find("mr-host-module"); host != build.end()) {
    host_module = host->second;
  } else if (!context.tool_dir.empty() && std::filesystem::is_regular_file(beside, ec)) {
    host_module = beside;
  }
  location.files.emplace_back("host module", host_module);
  return location;
}

std::unique_ptr<Backend> make_mentalray_backend(const std::string& path, std::string& error) {
  const Location location = locate_mentalray(path, process_locate_context());
  if (!location.found) {
    error = location.error;
    return nullptr;
  }
  mrhost::Paths paths;
  paths.shader_library = location.file("library");
  paths.declaration = location.file("declaration");
  paths.host_module = location.file("host module");
  paths.shader = "krel_velvet";
  auto backend = std::make_unique<MentalRayBackend>();
  if (!backend->open(paths, error)) return nullptr;
  return backend;
}

}  // namespace preview
