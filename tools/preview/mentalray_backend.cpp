// The mental ray road: krel_velvet loaded by the stand-in renderer, its
// parameter block laid out from the shader's .mi declaration, the rig's
// lights in the renderer's host module (which samples the area light), and
// one miState per sample.
#include <mrhost/renderer.h>

#include "tools/preview/backends.h"

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

class MentalRayContext : public ShadingContext {
 public:
  MentalRayContext(const mrhost::Renderer& renderer, mrhost::ParameterBlock& block)
      : renderer_(renderer), block_(block) {}

  core::Color shade(const ShadingSample& s) override {
    miState state = renderer_.make_state(block_, to_mr(s.point), to_mr(s.normal), to_mr(s.ray));
    miColor result{0.0f, 0.0f, 0.0f, 0.0f};
    renderer_.shade(&result, &state, block_);
    return {result.r, result.g, result.b};
  }

 private:
  const mrhost::Renderer& renderer_;
  mrhost::ParameterBlock& block_;
};

class MentalRayBackend : public Backend {
 public:
  bool open(const std::string& library, std::string& error) {
    mrhost::Paths paths = mrhost::built_paths();
    if (!library.empty()) paths.shader_library = library;
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
        case mrhost::ParamType::light:
          break;
      }
    }
    block_ = std::make_unique<mrhost::ParameterBlock>(renderer_.make_block({}));
    return true;
  }

  const char* name() const override { return "mentalray"; }
  const std::vector<ParamInfo>& parameters() const override { return params_; }

  std::string set_parameter(const std::string& name, const ParamValue& v) override {
    std::vector<float> values(v.v, v.v + arity(v.type));
    if (v.type == ParamType::Boolean) values = {v.b ? 1.0f : 0.0f};
    if (v.type == ParamType::Integer) values = {static_cast<float>(v.i)};
    std::string error;
    if (!block_->set(name, values, &error)) return error;
    // Kept so that a new block (new lights) gets the same values.
    settings_.emplace_back(name, values);
    return "";
  }

  std::vector<std::pair<std::string, std::string>> lobe_only_settings() const override {
    // One sample per light is the rig's business (the tool sets it).
    return {{"diffuse", "0"},
            {"specular", "1"},
            {"normalOffset", "0,0,0"},
            {"ambientColor", "0,0,0"},
            {"incandescence", "0,0,0"},
            {"useIrradiance", "off"},
            {"specularColor", "0.5,0.5,0.5"},
            {"edginess", "10"}};
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
  }

  void set_irradiance(core::Color c) override {
    renderer_.host().set_irradiance({c.r, c.g, c.b, 1.0f});
  }

  std::unique_ptr<ShadingContext> make_context(std::string&) override {
    return std::make_unique<MentalRayContext>(renderer_, *block_);
  }

 private:
  mrhost::Renderer renderer_;
  std::unique_ptr<mrhost::ParameterBlock> block_;
  std::vector<ParamInfo> params_;
  std::vector<std::pair<std::string, std::vector<float>>> settings_;
};

}  // namespace

std::unique_ptr<Backend> make_mentalray_backend(const std::string& path, std::string& error) {
  auto backend = std::make_unique<MentalRayBackend>();
  if (!backend->open(path, error)) return nullptr;
  return backend;
}

}  // namespace preview
