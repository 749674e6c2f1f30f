// A backend without a host: the velvet lobe plus a clamped diffuse term,
// evaluated directly. Lets the tool's scene, tiling, files and command line
// be tested on their own.
#ifndef VELVET_TESTS_TOOLS_PREVIEW_FAKE_BACKEND_H
#define VELVET_TESTS_TOOLS_PREVIEW_FAKE_BACKEND_H

#include <memory>
#include <string>
#include <vector>

#include "tools/preview/cli/cli.h"
#include "tools/preview/hosts/backend.h"
#include "tools/preview/hosts/hosts.h"
#include "tools/preview/hosts/lights.h"
#include "tools/preview/render/scene.h"

namespace fake {

struct Settings {
  core::Color color{0.5f, 0.2f, 0.2f};
  std::shared_ptr<const preview::Texture> texture;  // on color, when connected
  float edginess = 4.0f;
  int bounces = 0;
  bool lobe = true;
};

// Every lobe that the tool has asked a fake backend's lobe-only settings
// for, in order: what --compare hands each host.
inline std::vector<preview::LobeOnly>& handed_lobes() {
  static std::vector<preview::LobeOnly> lobes;
  return lobes;
}

class Context : public preview::ShadingContext {
 public:
  Context(const Settings& s, const std::vector<preview::Light>& lights) : s_(s), lights_(lights) {}
  core::Color shade(const preview::ShadingSample& p) override {
    core::Color sum{0.0f, 0.0f, 0.0f};
    const core::Vector V{-p.ray.x, -p.ray.y, -p.ray.z};
    for (const preview::Light& light : lights_) {
      for (int i = 0; i < light.samples; ++i) {
        const core::Vector L =
            preview::direction_to(p.point, preview::light_sample_position(light, i));
        const float w = core::max(core::dot(p.normal, L), 0.0f) / static_cast<float>(light.samples);
        core::Color lobe{0.0f, 0.0f, 0.0f};
        if (s_.lobe) {
          core::velvet_lobe(V, p.normal, L, light.color, {0.5f, 0.5f, 0.5f}, lobe, 0.2f,
                            s_.edginess, 0.1f);
        }
        const core::Color c = s_.texture ? s_.texture->sample(p.u, p.v) : s_.color;
        sum.r += light.color.r * c.r * w + lobe.r / light.samples;
        sum.g += light.color.g * c.g * w + lobe.g / light.samples;
        sum.b += light.color.b * c.b * w + lobe.b / light.samples;
      }
    }
    return sum;
  }

 private:
  Settings s_;
  std::vector<preview::Light> lights_;
};

class Backend : public preview::Backend {
 public:
  const std::vector<preview::ParamInfo>& parameters() const override {
    static const std::vector<preview::ParamInfo> params = {
        {"color", preview::ParamType::Color},
        {"edginess", preview::ParamType::Float},
        {"bounces", preview::ParamType::Integer},
        {"lobe", preview::ParamType::Boolean},
    };
    return params;
  }
  preview::ParamHints hints(const std::string& name) const override {
    if (name == "color") return {"0.5,0.2,0.2", {}, {}};
    if (name == "edginess") return {"4", 0.0, 50.0};
    if (name == "bounces") return {"0", {}, {}};
    if (name == "lobe") return {"on", {}, {}};
    return {};
  }
  std::string set_parameter(const std::string& name, const preview::ParamValue& v) override {
    if (name == "color") {
      s_.color = {v.v[0], v.v[1], v.v[2]};
      s_.texture.reset();
    } else if (name == "edginess") {
      s_.edginess = v.v[0];
    } else if (name == "bounces") {
      s_.bounces = v.i;
    } else if (name == "lobe") {
      s_.lobe = v.b;
    } else {
      return "no such parameter";
    }
    return "";
  }
  std::string connect_texture(const std::string& name,
                              std::shared_ptr<const preview::Texture> texture) override {
    if (name != "color") return "'" + name + "' is not a colour: only colours take a texture";
    s_.texture = std::move(texture);
    return "";
  }
  std::vector<std::pair<std::string, std::string>> lobe_only_settings(
      const preview::LobeOnly& lobe) const override {
    handed_lobes().push_back(lobe);
    return {{"lobe", "on"}};
  }
  void set_lights(const std::vector<preview::Light>& lights) override { lights_ = lights; }
  std::unique_ptr<preview::ShadingContext> make_context(std::string&) override {
    return std::make_unique<Context>(s_, lights_);
  }

 private:
  Settings s_;
  std::vector<preview::Light> lights_;
};

// Both hosts' entries, as the tool has them, each making a fake backend in
// place of loading a plug-in.
inline std::vector<preview::HostEntry> host_entries() {
  std::vector<preview::HostEntry> entries = {preview::maya_entry(), preview::mentalray_entry()};
  for (preview::HostEntry& h : entries) {
    h.make = [](const std::string&, std::string&) { return std::make_unique<Backend>(); };
  }
  return entries;
}

}  // namespace fake

#endif  // VELVET_TESTS_TOOLS_PREVIEW_FAKE_BACKEND_H
