#include "tools/preview/render/scene.h"

#include <algorithm>
#include <cmath>

namespace preview {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kSphereRadius = 1.0;
constexpr double kTorusMajor = 0.8;
constexpr double kTorusMinor = 0.36;
constexpr double kTorusTilt = 58.0;  // degrees; shows the hole without hiding the tube
// Half the width of the sphere and torus side by side: what the lights' rig
// was made for.
constexpr double kPairRadius = 2.45;

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

std::shared_ptr<const Mesh> generated_mesh(Shape shape) {
  // Made on first use, once: a function-local static is thread-safe.
  static const std::shared_ptr<const Mesh> plane = std::make_shared<const Mesh>(make_plane());
  static const std::shared_ptr<const Mesh> cloth = std::make_shared<const Mesh>(make_cloth());
  static const std::shared_ptr<const Mesh> cushion = std::make_shared<const Mesh>(make_cushion());
  switch (shape) {
    case Shape::plane:
      return plane;
    case Shape::cloth:
      return cloth;
    case Shape::cushion:
      return cushion;
    default:
      return nullptr;
  }
}

Scene::Scene(const SceneOptions& options, std::shared_ptr<const Mesh> mesh)
    : options_(options), fov_(options.fov), distance_(options.distance) {
  if (!options.mesh.empty()) {
    mesh_ = std::move(mesh);
  } else if (options.plane || options.cloth || options.cushion) {
    mesh_ = generated_mesh(options.plane   ? Shape::plane
                           : options.cloth ? Shape::cloth
                                           : Shape::cushion);
  }
  if (options.turntable != 0.0) {
    turned_ = true;
    turn_cos_ = std::cos(options.turntable * kPi / 180.0);
    turn_sin_ = std::sin(options.turntable * kPi / 180.0);
  }
  double scale = 1.0;
  if (!options.mesh.empty() || mesh_) {
    // The shape is placed in front of the eye, framed by its bounds.
    Bounds bounds = mesh_ ? mesh_->bounds() : Bounds();
    if (bounds.empty()) bounds.add({0.0, 0.0, 0.0});
    frame(bounds);
    const Vec3 c = bounds.centre();
    mesh_centre_ = {c.x, c.y, c.z};
    const double dx = bounds.hi.x - bounds.lo.x, dy = bounds.hi.y - bounds.lo.y,
                 dz = bounds.hi.z - bounds.lo.z;
    // Lights keep the distance they have from the sphere and torus, in
    // proportion to the shape's size (they do not fall off with distance).
    scale = std::max(std::sqrt(dx * dx + dy * dy + dz * dz) / 2.0, 1e-6) / kPairRadius;
  }
  placed_ = {0.0, 0.0, -distance_};
  tan_half_fov_ = std::tan(fov_ * kPi / 360.0);
  const double z = -distance_;
  const bool both = options.sphere && options.torus;
  sphere_centre_ = {both ? -1.25 : 0.0, 0.0, z};
  torus_centre_ = {both ? 1.3 : 0.0, 0.0, z};
  torus_cos_ = std::cos(kTorusTilt * kPi / 180.0);
  torus_sin_ = std::sin(kTorusTilt * kPi / 180.0);
  add_lights(scale);
}

void Scene::frame(const Bounds& bounds) {
  const double dx = bounds.hi.x - bounds.lo.x, dy = bounds.hi.y - bounds.lo.y,
               dz = bounds.hi.z - bounds.lo.z;
  // The bounding sphere of the box, which the turntable keeps in place.
  const double radius = std::max(std::sqrt(dx * dx + dy * dy + dz * dz) / 2.0, 1e-6);
  const double aspect = static_cast<double>(options_.width) / options_.height;
  constexpr double kMargin = 1.08;
  if (options_.distance_set && !options_.fov_set) {
    // The field of view that holds the sphere at the distance given, in the
    // narrower of the image's two directions.
    const double ratio = std::min(radius * kMargin / distance_, 1.0);
    double half = std::asin(ratio);
    if (aspect < 1.0) half = std::atan(std::tan(half) / aspect);
    fov_ = std::min(std::max(2.0 * half * 180.0 / kPi, 1.0), 170.0);
  } else if (!options_.distance_set) {
    double half = fov_ * kPi / 360.0;
    if (aspect < 1.0) half = std::atan(std::tan(half) * aspect);
    distance_ = radius * kMargin / std::sin(half);
  }
}

void Scene::add_lights(double scale) {
  const double z = -distance_;
  const auto at = [&](double x, double y, double dz) {
    return core::Vector{static_cast<float>(x), static_cast<float>(y), static_cast<float>(z + dz)};
  };
  const auto scaled = [](core::Color c, float k) { return core::Color{c.r * k, c.g * k, c.b * k}; };
  // Where a light at (azimuth, elevation) stands from the middle of the
  // shapes; the default directions are the rig's own positions.
  const auto placed = [&](double azimuth, double elevation, double default_azimuth,
                          double default_elevation, Vec rig) -> Vec {
    if (azimuth == default_azimuth && elevation == default_elevation && scale == 1.0) return rig;
    const double r = std::sqrt(rig.x * rig.x + rig.y * rig.y + rig.z * rig.z) * scale;
    const double a = azimuth * kPi / 180.0, e = elevation * kPi / 180.0;
    return {r * std::cos(e) * std::sin(a), r * std::sin(e), r * std::cos(e) * std::cos(a)};
  };
  if (options_.key > 0.0f) {
    // A 2.4 x 2.4 square up and to the left of the camera, tilted to face
    // the shapes.
    Light key;
    key.name = "key";
    key.area = true;
    const Vec rel = placed(options_.key_azimuth, options_.key_elevation, kKeyAzimuth, kKeyElevation,
                           {-4.0, 4.0, 5.0});
    key.position = at(rel.x, rel.y, rel.z);
    // Edges perpendicular to the direction d from the light to the shapes:
    // u horizontal, v = d x u.
    const double dl = std::sqrt(rel.x * rel.x + rel.y * rel.y + rel.z * rel.z);
    const Vec d{-rel.x / dl, -rel.y / dl, -rel.z / dl};
    double ul = std::sqrt(d.x * d.x + d.z * d.z);
    // Straight above or below: any horizontal edge will do.
    const Vec u = ul > 1e-9 ? Vec{-d.z / ul, 0.0, d.x / ul} : Vec{1.0, 0.0, 0.0};
    const Vec v{d.y * u.z - d.z * u.y, d.z * u.x - d.x * u.z, d.x * u.y - d.y * u.x};
    const double size = 2.4 * scale;
    key.edge_u = {static_cast<float>(size * u.x), 0.0f, static_cast<float>(size * u.z)};
    key.edge_v = {static_cast<float>(size * v.x), static_cast<float>(size * v.y),
                  static_cast<float>(size * v.z)};
    key.samples = options_.area_samples;
    key.color = scaled({1.0f, 0.93f, 0.84f}, options_.key);
    lights_.push_back(key);
  }
  if (options_.fill > 0.0f) {
    Light fill;
    fill.name = "fill";
    fill.position = at(5.5 * scale, 0.5 * scale, 4.0 * scale);
    fill.color = scaled({0.78f, 0.86f, 1.0f}, options_.fill);
    lights_.push_back(fill);
  }
  if (options_.rim > 0.0f) {
    Light rim;
    rim.name = "rim";
    const Vec rel = placed(options_.rim_azimuth, options_.rim_elevation, kRimAzimuth, kRimElevation,
                           {1.5, 3.5, -6.0});
    rim.position = at(rel.x, rel.y, rel.z);
    rim.color = scaled({1.0f, 1.0f, 1.0f}, options_.rim);
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

bool Scene::hit_torus(Vec dir, double& t, Vec& normal, double& u, double& v) const {
  // Into the torus' own frame, where its axis is y: translate, undo the
  // turntable's turn about the vertical, then the tilt about x.
  const Vec o{-torus_centre_.x, -torus_centre_.y, -torus_centre_.z};
  const auto local = [&](Vec w) {
    if (turned_) w = {turn_cos_ * w.x - turn_sin_ * w.z, w.y, turn_sin_ * w.x + turn_cos_ * w.z};
    return Vec{w.x, torus_cos_ * w.y + torus_sin_ * w.z, -torus_sin_ * w.y + torus_cos_ * w.z};
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
      // u round the hole, v round the tube.
      u = std::atan2(p.z, p.x) / (2.0 * kPi) + 0.5;
      v = std::atan2(q.y, r - kTorusMajor) / (2.0 * kPi) + 0.5;
      // Back to camera space: apply the tilt, then the turn.
      normal = {n.x, torus_cos_ * n.y - torus_sin_ * n.z, torus_sin_ * n.y + torus_cos_ * n.z};
      if (turned_) {
        normal = {turn_cos_ * normal.x + turn_sin_ * normal.z, normal.y,
                  -turn_sin_ * normal.x + turn_cos_ * normal.z};
      }
      return true;
    }
    s += d;
    if (s > s_end) return false;
  }
  return false;
}

bool Scene::hit_mesh(Vec dir, double& t, Vec& normal, double& u, double& v) const {
  if (!mesh_) return false;
  // Into the mesh's own space: from its place in front of the eye, undo the
  // turn about the vertical through its middle.
  const auto unturn = [&](Vec w) {
    return turned_ ? Vec{turn_cos_ * w.x - turn_sin_ * w.z, w.y, turn_sin_ * w.x + turn_cos_ * w.z}
                   : w;
  };
  const Vec o = unturn({-placed_.x, -placed_.y, -placed_.z});
  const Vec d = unturn(dir);
  MeshHit hit;
  if (!mesh_->hit({o.x + mesh_centre_.x, o.y + mesh_centre_.y, o.z + mesh_centre_.z},
                  {d.x, d.y, d.z}, hit)) {
    return false;
  }
  t = hit.t;
  const Vec n{hit.normal.x, hit.normal.y, hit.normal.z};
  normal =
      turned_ ? Vec{turn_cos_ * n.x + turn_sin_ * n.z, n.y, -turn_sin_ * n.x + turn_cos_ * n.z} : n;
  u = hit.u;
  v = hit.v;
  return true;
}

bool Scene::trace(int x, int y, int sx, int sy, ShadingSample& out) const {
  const double aspect = static_cast<double>(options_.width) / options_.height;
  const double px = (x + (sx + 0.5) / options_.aa) / options_.width;
  const double py = (y + (sy + 0.5) / options_.aa) / options_.height;
  Vec dir{(2.0 * px - 1.0) * tan_half_fov_ * aspect, (1.0 - 2.0 * py) * tan_half_fov_, -1.0};
  const double len = std::sqrt(dir.x * dir.x + dir.y * dir.y + dir.z * dir.z);
  dir = {dir.x / len, dir.y / len, dir.z / len};

  double t = 0.0, t_other = 0.0, u = 0.0, v = 0.0, u_other = 0.0, v_other = 0.0;
  Vec n{0.0, 0.0, 0.0}, n_other{0.0, 0.0, 0.0};
  bool hit = false;
  if (mesh_ || !options_.mesh.empty()) {
    hit = hit_mesh(dir, t, n, u, v);
  } else {
    hit = options_.sphere && hit_sphere(dir, t, n);
    if (hit) {
      // Longitude and latitude, turning with the turntable.
      double ax = n.x, az = n.z;
      if (turned_) {
        ax = turn_cos_ * n.x - turn_sin_ * n.z;
        az = turn_sin_ * n.x + turn_cos_ * n.z;
      }
      u = std::atan2(ax, az) / (2.0 * kPi) + 0.5;
      v = std::asin(std::max(-1.0, std::min(1.0, n.y))) / kPi + 0.5;
    }
    if (options_.torus && hit_torus(dir, t_other, n_other, u_other, v_other) &&
        (!hit || t_other < t)) {
      hit = true;
      t = t_other;
      n = n_other;
      u = u_other;
      v = v_other;
    }
  }
  if (!hit) return false;
  out.point = {static_cast<float>(dir.x * t), static_cast<float>(dir.y * t),
               static_cast<float>(dir.z * t)};
  out.normal = exactly_unit(n.x, n.y, n.z);
  out.ray = exactly_unit(dir.x, dir.y, dir.z);
  out.u = static_cast<float>(u);
  out.v = static_cast<float>(v);
  return true;
}

}  // namespace preview
