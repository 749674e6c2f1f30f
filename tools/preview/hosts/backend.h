// The interface a host backend implements: what the preview tool needs from
// a host. A list of the material's parameters, a way to set them by name, and
// a per-thread context that turns one shading sample into a colour the way
// that host's renderer would. Included by the tool's own code, by each host's
// backend (maya_backend.cpp, mentalray_backend.cpp) and by the stand-ins that
// tests and fuzz targets put in a host's place; which backends a build has is
// registry.h's business.
//
// Everything is in camera space: the camera sits at the origin and looks down
// -z, which is the space Maya hands its shading nodes; the mental ray road is
// given the same vectors so that both hosts shade identical geometry.
#ifndef VELVET_TOOLS_PREVIEW_HOSTS_BACKEND_H
#define VELVET_TOOLS_PREVIEW_HOSTS_BACKEND_H

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/velvet_lobe.h"
#include "tools/preview/hosts/texture.h"
#include "tools/preview/look/params.h"

namespace preview {

// One point to shade. `normal` and `ray` are unit vectors (nearly always of
// length exactly 1 in single precision): `ray` runs from the eye to `point`,
// `normal` faces the eye's side.
// `u` and `v` are the shape's texture coordinates at the point.
struct ShadingSample {
  core::Vector point;
  core::Vector normal;
  core::Vector ray;
  float u = 0.0f;
  float v = 0.0f;
};

// A light of the rig. Area lights are rectangles spanned by `edge_u` and
// `edge_v` around `position`; `samples` is how many points of an area light
// a renderer takes (point lights take one). `color` already includes the
// intensity. Lights do not fall off with distance and cast no shadows.
struct Light {
  std::string name;
  bool area = false;
  core::Vector position{0.0f, 0.0f, 0.0f};
  core::Vector edge_u{0.0f, 0.0f, 0.0f};
  core::Vector edge_v{0.0f, 0.0f, 0.0f};
  int samples = 1;
  core::Color color{1.0f, 1.0f, 1.0f};
  // What the light emits, for hosts whose lights can switch these off
  // separately (Maya's emit diffuse and emit specular).
  bool diffuse = true;
  bool specular = true;
};

// The velvet lobe's shape: what a plug-in that has no parameters for it
// fixes (HostEntry::fixed_lobe).
struct LobeShape {
  float roughness = 0.0f;
  float backscatter = 0.0f;
};

// The velvet lobe alone, as the cross-host check renders it in every host:
// one shape, seen with the same edge and tint everywhere.
struct LobeOnly {
  LobeShape shape;
  float edginess = 10.0f;
  core::Color tint{0.5f, 0.5f, 0.5f};
};

// A colour as parse_value reads one: "0.5,0.5,0.5".
inline std::string format_color(core::Color c) {
  ParamValue v;
  v.type = ParamType::Color;
  v.v[0] = c.r;
  v.v[1] = c.g;
  v.v[2] = c.b;
  return format_value(v);
}

// Shades samples on one thread. Contexts must not allocate, lock or look up
// names in shade(); a backend makes one per rendering thread.
class ShadingContext {
 public:
  virtual ~ShadingContext() = default;
  virtual core::Color shade(const ShadingSample& sample) = 0;
  // Shades `count` samples into `out`, in order. The renderer hands over a
  // tile's samples at once, so that a host that draws many samples in one
  // go (a GPU) can; others shade them one by one.
  virtual void shade_batch(const ShadingSample* samples, std::size_t count, core::Color* out) {
    for (std::size_t i = 0; i < count; ++i) out[i] = shade(samples[i]);
  }
  // Why a batch could not be shaded (its colours are then black), or null.
  // A host that draws on a GPU may lose it after the context was made; the
  // renderer asks after each batch and fails the image with this message
  // rather than show the black as rendered.
  virtual const std::string* failure() const { return nullptr; }
};

class Backend {
 public:
  virtual ~Backend() = default;

  // The parameters that set_parameter() accepts, in the host's own names
  // and types.
  virtual const std::vector<ParamInfo>& parameters() const = 0;

  // Default and soft range of a parameter that parameters() lists, as the
  // host declares them; nothing for a host that declares none.
  virtual ParamHints hints(const std::string& name) const {
    (void)name;
    return {};
  }

  // `value` has already been parsed for the type that parameters() lists
  // under `name`. Returns an empty string on success, otherwise a message.
  virtual std::string set_parameter(const std::string& name, const ParamValue& value) = 0;

  // Connects the colour input `name` to `texture`, looked up at each
  // sample's UVs and fed to the material the way this host feeds a connected
  // input. A later set_parameter() of the same name disconnects it. Returns
  // an empty string on success, otherwise a message.
  virtual std::string connect_texture(const std::string& name,
                                      std::shared_ptr<const Texture> texture) {
    (void)name;
    (void)texture;
    return "this host takes no textures";
  }

  // Settings, as name and value text, under which this host evaluates
  // nothing but `lobe` on unit vectors: the cross-host check renders every
  // host with them (and lights that emit no diffuse). A host whose plug-in
  // fixes the lobe's shape is only ever handed that shape.
  virtual std::vector<std::pair<std::string, std::string>> lobe_only_settings(
      const LobeOnly& lobe) const = 0;

  // Replaces the light rig. Called before contexts are made; contexts made
  // earlier are not updated.
  virtual void set_lights(const std::vector<Light>& lights) = 0;

  // Irradiance that the renderer reports at every point (indirect light from
  // a uniform surround), for hosts whose shader can ask for it. Called after
  // set_lights(). Hosts without such a query ignore it.
  virtual void set_irradiance(core::Color) {}

  // Parameters and lights are fixed for the life of the context. Returns
  // null with a message in `error` when the host refuses.
  virtual std::unique_ptr<ShadingContext> make_context(std::string& error) = 0;
};

}  // namespace preview

#endif  // VELVET_TOOLS_PREVIEW_HOSTS_BACKEND_H
