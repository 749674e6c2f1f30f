// The Maya road: velvet.so loaded by the stand-in Maya host, one `velvet`
// node, and per thread a data block that is filled for every sample the way
// Maya's renderer fills a shading node's inputs (normalCamera, rayDirection,
// pointCamera and one lightDataArray element per light sample) before it
// asks for outColor.
#include <maya/MFloatVector.h>
#include <mayahost/host.h>

#include "tools/preview/backends.h"
#include "tools/preview/scene.h"

namespace preview {

namespace {

MFloatVector to_maya(core::Vector v) {
  return MFloatVector(v.x, v.y, v.z);
}

// One lightDataArray element: a point light, or one sample of an area light
// carrying its share of the light's intensity, as a renderer that samples
// area lights hands them to a shading node.
struct Emitter {
  core::Vector position;
  MFloatVector intensity;
  bool diffuse, specular;
};

class MayaContext : public ShadingContext {
 public:
  MayaContext(const mayahost::Node& node, const std::vector<Emitter>& emitters)
      : block_(node, static_cast<unsigned>(emitters.size())), emitters_(emitters) {
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
  mayahost::ShadingBlock block_;
  std::vector<Emitter> emitters_;
};

bool hidden_parent(const std::string& name) {
  mayahost::AttributeInfo info, parent;
  return mayahost::attribute("velvet", name, &info) && !info.parent.empty() &&
         mayahost::attribute("velvet", info.parent, &parent) && parent.hidden;
}

class MayaBackend : public Backend {
 public:
  bool open(const std::string& path, std::string& error) {
    mayahost::Status st = plugin_.load(path);
    if (!st) {
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

  const char* name() const override { return "maya"; }
  const std::vector<ParamInfo>& parameters() const override { return params_; }

  ParamHints hints(const std::string& name) const override {
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

  std::string set_parameter(const std::string& name, const ParamValue& v) override {
    float values[3] = {v.v[0], v.v[1], v.v[2]};
    std::size_t count = static_cast<std::size_t>(arity(v.type));
    if (v.type == ParamType::Boolean) values[0] = v.b ? 1.0f : 0.0f;
    if (v.type == ParamType::Integer) values[0] = static_cast<float>(v.i);
    const mayahost::Status st = node_.set(name, values, count);
    return st ? std::string() : st.message();
  }

  std::vector<std::pair<std::string, std::string>> lobe_only_settings() const override {
    // The mental ray shader's fixed lobe constants, and no other term.
    return {{"diffuse", "0"},       {"ambientColor", "0,0,0"},        {"incandescence", "0,0,0"},
            {"translucence", "0"},  {"transparency", "0,0,0"},        {"roughness", "0.1"},
            {"backscatter", "0.2"}, {"specularColor", "0.5,0.5,0.5"}, {"edginess", "10"}};
  }

  void set_lights(const std::vector<Light>& lights) override {
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

  std::unique_ptr<ShadingContext> make_context(std::string&) override {
    return std::make_unique<MayaContext>(node_, emitters_);
  }

 private:
  // Declared in this order so that the node goes before its plug-in.
  mayahost::Plugin plugin_;
  mayahost::Node node_;
  std::vector<ParamInfo> params_;
  std::vector<Emitter> emitters_;
};

}  // namespace

std::unique_ptr<Backend> make_maya_backend(const std::string& path, std::string& error) {
  auto backend = std::make_unique<MayaBackend>();
  if (!backend->open(path.empty() ? VELVET_PREVIEW_MAYA_PLUGIN : path, error)) return nullptr;
  return backend;
}

}  // namespace preview
