#include "tools/preview/hosts/lights.h"

#include <hostkit/sample_points.h>

#include <cmath>

namespace preview {

core::Vector light_sample_position(const Light& light, int index) {
  if (!light.area) return light.position;
  // The stand-in mental ray renderer samples its area lights at the same
  // points, so every host sees the key light alike.
  const hostkit::SamplePoint p = hostkit::hammersley(index, light.samples > 0 ? light.samples : 1);
  const float u = p.u - 0.5f;
  const float v = p.v - 0.5f;
  const core::Vector& c = light.position;
  const core::Vector& a = light.edge_u;
  const core::Vector& b = light.edge_v;
  return {c.x + (a.x * u + b.x * v), c.y + (a.y * u + b.y * v), c.z + (a.z * u + b.z * v)};
}

core::Vector direction_to(core::Vector point, core::Vector target) {
  const core::Vector d{target.x - point.x, target.y - point.y, target.z - point.z};
  const float len = std::sqrt(core::dot(d, d));
  return {d.x / len, d.y / len, d.z / len};
}

}  // namespace preview
