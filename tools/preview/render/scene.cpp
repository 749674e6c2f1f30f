#include "tools/preview/render/scene.h"

#include <cmath>

namespace preview {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kSphereRadius = 1.0;
constexpr double kTorusMajor = 0.8;
constexpr double kTorusMinor = 0.36;
constexpr double kTorusTilt = 58.0;  // degrees; shows the hole without hiding the tube

// A unit vector whose single-precision length, summed as the hosts sum it,
// is exactly 1: renormalising it then changes nothing, so a host that
// normalises what it is handed and one that takes it as it is see the same
// bits. Two passes almost always get there; the rare vector that does not
// stays within an ulp or two of unit length.
core::Vector exactly_unit(double x, double y, double z) {
  core::Vector v{static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)};
  for (int pass = 0; pass < 3; ++pass) {
    const float len = std::sqrt(core::dot(v, v));
    if (len == 1.0f) break;
    v = {v.x / len, v.y / len, v.z / len};
  }
  return v;
}

}  // namespace

Scene::Scene(const SceneOptions& options) : options_(options) {
  tan_half_fov_ = std::tan(options.fov * kPi / 360.0);
  const double z = -options.distance;
  const bool both = options.sphere && options.torus;
  sphere_centre_ = {both ? -1.25 : 0.0, 0.0, z};
  torus_centre_ = {both ? 1.3 : 0.0, 0.0, z};
  torus_cos_ = std::cos(kTorusTilt * kPi / 180.0);
  torus_sin_ = std::sin(kTorusTilt * kPi / 180.0);

  const auto at = [&](double x, double y, double dz) {
    return core::Vector{static_cast<float>(x), static_cast<float>(y), static_cast<float>(z + dz)};
  };
  const auto scaled = [](core::Color c, float k) { return core::Color{c.r * k, c.g * k, c.b * k}; };
  if (options.key > 0.0f) {
    // A 2.4 x 2.4 square up and to the left of the camera, tilted to face
    // the shapes.
    Light key;
    key.name = "key";
    key.area = true;
    key.position = at(-4.0, 4.0, 5.0);
    // Edges perpendicular to the direction d from the light to the shapes:
    // u horizontal, v = d x u.
    const double dl = std::sqrt(4.0 * 4.0 + 4.0 * 4.0 + 5.0 * 5.0);
    const Vec d{4.0 / dl, -4.0 / dl, -5.0 / dl};
    const double ul = std::sqrt(d.x * d.x + d.z * d.z);
    const Vec u{-d.z / ul, 0.0, d.x / ul};
    const Vec v{d.y * u.z - d.z * u.y, d.z * u.x - d.x * u.z, d.x * u.y - d.y * u.x};
    constexpr double kSize = 2.4;
    key.edge_u = {static_cast<float>(kSize * u.x), 0.0f, static_cast<float>(kSize * u.z)};
    key.edge_v = {static_cast<float>(kSize * v.x), static_cast<float>(kSize * v.y),
                  static_cast<float>(kSize * v.z)};
    key.samples = options.area_samples;
    key.color = scaled({1.0f, 0.93f, 0.84f}, options.key);
    lights_.push_back(key);
  }
  if (options.fill > 0.0f) {
    Light fill;
    fill.name = "fill";
    fill.position = at(5.5, 0.5, 4.0);
    fill.color = scaled({0.78f, 0.86f, 1.0f}, options.fill);
    lights_.push_back(fill);
  }
  if (options.rim > 0.0f) {
    Light rim;
    rim.name = "rim";
    rim.position = at(1.5, 3.5, -6.0);
    rim.color = scaled({1.0f, 1.0f, 1.0f}, options.rim);
    lights_.push_back(rim);
  }
}

bool Scene::hit_sphere(Vec dir, double& t, Vec& normal) const {
  const Vec c = sphere_centre_;
  const double b = dir.x * c.x + dir.y * c.y + dir.z * c.z;
  const double cc = c.x * c.x + c.y * c.y + c.z * c.z - kSphereRadius * kSphereRadius;
  const double disc = b * b - cc;
  if (disc < 0.0) return false;
  const double hit = b - std::sqrt(disc);
  if (hit <= 0.0) return false;
  t = hit;
  normal = {(dir.x * hit - c.x) / kSphereRadius, (dir.y * hit - c.y) / kSphereRadius,
            (dir.z * hit - c.z) / kSphereRadius};
  return true;
}

bool Scene::hit_torus(Vec dir, double& t, Vec& normal) const {
  // Into the torus' own frame, where its axis is y: translate, then undo
  // the tilt about x.
  const Vec o{-torus_centre_.x, -torus_centre_.y, -torus_centre_.z};
  const auto local = [&](Vec v) {
    return Vec{v.x, torus_cos_ * v.y + torus_sin_ * v.z, -torus_sin_ * v.y + torus_cos_ * v.z};
  };
  const Vec lo = local(o);
  const Vec ld = local(dir);
  const auto sdf = [](Vec p) {
    const double ring = std::sqrt(p.x * p.x + p.z * p.z) - kTorusMajor;
    return std::sqrt(ring * ring + p.y * p.y) - kTorusMinor;
  };

  // Sphere-trace from where the ray enters the bounding sphere.
  const double bound = kTorusMajor + kTorusMinor;
  const double b = lo.x * ld.x + lo.y * ld.y + lo.z * ld.z;
  const double disc = b * b - ((lo.x * lo.x + lo.y * lo.y + lo.z * lo.z) - bound * bound);
  if (disc < 0.0) return false;
  double s = -b - std::sqrt(disc);
  const double s_end = -b + std::sqrt(disc);
  if (s < 0.0) s = 0.0;
  for (int step = 0; step < 400; ++step) {
    const Vec p{lo.x + s * ld.x, lo.y + s * ld.y, lo.z + s * ld.z};
    const double d = sdf(p);
    if (d < 1e-9) {
      t = s;
      const double r = std::sqrt(p.x * p.x + p.z * p.z);
      const Vec q{p.x - kTorusMajor * p.x / r, p.y, p.z - kTorusMajor * p.z / r};
      const double len = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z);
      const Vec n{q.x / len, q.y / len, q.z / len};
      // Back to camera space: apply the tilt.
      normal = {n.x, torus_cos_ * n.y - torus_sin_ * n.z, torus_sin_ * n.y + torus_cos_ * n.z};
      return true;
    }
    s += d;
    if (s > s_end) return false;
  }
  return false;
}

bool Scene::trace(int x, int y, int sx, int sy, ShadingSample& out) const {
  const double aspect = static_cast<double>(options_.width) / options_.height;
  const double px = (x + (sx + 0.5) / options_.aa) / options_.width;
  const double py = (y + (sy + 0.5) / options_.aa) / options_.height;
  Vec dir{(2.0 * px - 1.0) * tan_half_fov_ * aspect, (1.0 - 2.0 * py) * tan_half_fov_, -1.0};
  const double len = std::sqrt(dir.x * dir.x + dir.y * dir.y + dir.z * dir.z);
  dir = {dir.x / len, dir.y / len, dir.z / len};

  double t = 0.0, t_other = 0.0;
  Vec n{0.0, 0.0, 0.0}, n_other{0.0, 0.0, 0.0};
  bool hit = options_.sphere && hit_sphere(dir, t, n);
  if (options_.torus && hit_torus(dir, t_other, n_other) && (!hit || t_other < t)) {
    hit = true;
    t = t_other;
    n = n_other;
  }
  if (!hit) return false;
  out.point = {static_cast<float>(dir.x * t), static_cast<float>(dir.y * t),
               static_cast<float>(dir.z * t)};
  out.normal = exactly_unit(n.x, n.y, n.z);
  out.ray = exactly_unit(dir.x, dir.y, dir.z);
  return true;
}

}  // namespace preview
