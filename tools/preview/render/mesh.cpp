#include "tools/preview/render/mesh.h"

#include <algorithm>
#include <cmath>

namespace preview {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kLeafSize = 4;
constexpr int kMaxDepth = 60;  // the traversal's fixed stack holds one node per level

Vec3 sub(Vec3 a, Vec3 b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec3 cross(Vec3 a, Vec3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double dot(Vec3 a, Vec3 b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
double axis(Vec3 v, int k) {
  return k == 0 ? v.x : k == 1 ? v.y : v.z;
}

// Slab test: whether the ray meets `box` before `t_max`.
bool hits_box(const Bounds& box, Vec3 origin, Vec3 inv, double t_max) {
  double t0 = 0.0, t1 = t_max;
  for (int k = 0; k < 3; ++k) {
    const double o = axis(origin, k), i = axis(inv, k);
    double a = (axis(box.lo, k) - o) * i;
    double b = (axis(box.hi, k) - o) * i;
    if (a > b) std::swap(a, b);
    // NaN (a flat box seen edge-on along the axis) keeps the interval.
    if (a > t0) t0 = a;
    if (b < t1) t1 = b;
    if (t0 > t1) return false;
  }
  return true;
}

// Turns every point and normal of `mesh` about the x axis by `degrees`
// (positive tips +y towards +z, the camera's side).
void tilt(Mesh& mesh, double degrees) {
  const double c = std::cos(degrees * kPi / 180.0), s = std::sin(degrees * kPi / 180.0);
  const auto turn = [&](Vec3& v) { v = {v.x, c * v.y - s * v.z, s * v.y + c * v.z}; };
  for (Vec3& p : mesh.positions) turn(p);
  for (Vec3& n : mesh.normals) turn(n);
}

// A (nu + 1) x (nv + 1) grid of points f(s, t), s and t from 0 to 1, as two
// triangles per cell, wound so that the normal is ds x dt; UVs (s, t).
template <typename F>
void add_grid(Mesh& mesh, int nu, int nv, bool flip, F f) {
  const std::uint32_t base = static_cast<std::uint32_t>(mesh.positions.size());
  for (int j = 0; j <= nv; ++j) {
    for (int i = 0; i <= nu; ++i) {
      const double s = static_cast<double>(i) / nu, t = static_cast<double>(j) / nv;
      mesh.positions.push_back(f(s, t));
      mesh.uvs.push_back({s, t});
    }
  }
  const auto at = [&](int i, int j) { return base + static_cast<std::uint32_t>(j * (nu + 1) + i); };
  for (int j = 0; j < nv; ++j) {
    for (int i = 0; i < nu; ++i) {
      std::array<std::uint32_t, 3> a{at(i, j), at(i + 1, j), at(i + 1, j + 1)};
      std::array<std::uint32_t, 3> b{at(i, j), at(i + 1, j + 1), at(i, j + 1)};
      if (flip) {
        std::swap(a[1], a[2]);
        std::swap(b[1], b[2]);
      }
      mesh.triangles.push_back({a, a, a});
      mesh.triangles.push_back({b, b, b});
    }
  }
}

}  // namespace

void Bounds::add(Vec3 p) {
  lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
  hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
}

Bounds Mesh::bounds() const {
  Bounds b;
  for (const Triangle& t : triangles) {
    for (std::uint32_t i : t.position) b.add(positions[i]);
  }
  return b;
}

void Mesh::smooth_normals() {
  normals.assign(positions.size(), Vec3{0.0, 0.0, 0.0});
  for (Triangle& t : triangles) {
    const Vec3 p0 = positions[t.position[0]];
    // Twice the area, along the face normal: bigger faces weigh more.
    const Vec3 n = cross(sub(positions[t.position[1]], p0), sub(positions[t.position[2]], p0));
    for (std::uint32_t i : t.position) {
      normals[i] = {normals[i].x + n.x, normals[i].y + n.y, normals[i].z + n.z};
    }
    t.normal = t.position;
  }
  for (Vec3& n : normals) {
    const double len = std::sqrt(dot(n, n));
    // A corner whose faces cancel keeps a zero normal; hit() then takes the
    // face's own.
    if (len > 0.0) n = {n.x / len, n.y / len, n.z / len};
  }
}

void Mesh::build() {
  nodes_.clear();
  tri_bounds_.clear();
  for (const Triangle& t : triangles) {
    Bounds b;
    for (std::uint32_t i : t.position) b.add(positions[i]);
    tri_bounds_.push_back(b);
  }
  if (!triangles.empty()) build_node(0, static_cast<std::uint32_t>(triangles.size()), 0);
  tri_bounds_.clear();
  tri_bounds_.shrink_to_fit();
}

std::uint32_t Mesh::build_node(std::uint32_t first, std::uint32_t count, int depth) {
  const std::uint32_t index = static_cast<std::uint32_t>(nodes_.size());
  nodes_.push_back({});
  Bounds box, centres;
  for (std::uint32_t k = first; k < first + count; ++k) {
    box.add(tri_bounds_[k].lo);
    box.add(tri_bounds_[k].hi);
    centres.add(tri_bounds_[k].centre());
  }
  nodes_[index].box = box;
  if (count <= kLeafSize || depth >= kMaxDepth) {
    nodes_[index].first = first;
    nodes_[index].count = count;
    return index;
  }
  // Split at the median of the widest spread of centres; triangles and their
  // boxes move together.
  const Vec3 extent = sub(centres.hi, centres.lo);
  const int k = extent.x >= extent.y && extent.x >= extent.z ? 0 : extent.y >= extent.z ? 1 : 2;
  const std::uint32_t half = count / 2;
  std::vector<std::uint32_t> order(count);
  for (std::uint32_t i = 0; i < count; ++i) order[i] = first + i;
  std::nth_element(order.begin(), order.begin() + half, order.end(),
                   [&](std::uint32_t a, std::uint32_t b) {
                     const double ca = axis(tri_bounds_[a].centre(), k);
                     const double cb = axis(tri_bounds_[b].centre(), k);
                     return ca < cb || (ca == cb && a < b);
                   });
  std::vector<Triangle> tris(count);
  std::vector<Bounds> boxes(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    tris[i] = triangles[order[i]];
    boxes[i] = tri_bounds_[order[i]];
  }
  std::copy(tris.begin(), tris.end(), triangles.begin() + first);
  std::copy(boxes.begin(), boxes.end(), tri_bounds_.begin() + first);
  nodes_[index].count = 0;
  build_node(first, half, depth + 1);
  const std::uint32_t right = build_node(first + half, count - half, depth + 1);
  nodes_[index].right = right;
  return index;
}

bool Mesh::hit_triangle(const Triangle& tri, Vec3 origin, Vec3 dir, double t_max, double& t,
                        double& b1, double& b2) const {
  // Möller and Trumbore.
  const Vec3 p0 = positions[tri.position[0]];
  const Vec3 e1 = sub(positions[tri.position[1]], p0);
  const Vec3 e2 = sub(positions[tri.position[2]], p0);
  const Vec3 p = cross(dir, e2);
  const double det = dot(e1, p);
  if (!(std::fabs(det) > 1e-300)) return false;
  const double inv = 1.0 / det;
  const Vec3 s = sub(origin, p0);
  const double u = dot(s, p) * inv;
  if (u < 0.0 || u > 1.0) return false;
  const Vec3 q = cross(s, e1);
  const double v = dot(dir, q) * inv;
  if (v < 0.0 || u + v > 1.0) return false;
  const double hit = dot(e2, q) * inv;
  if (!(hit > 1e-9 && hit < t_max)) return false;
  t = hit;
  b1 = u;
  b2 = v;
  return true;
}

bool Mesh::hit(Vec3 origin, Vec3 dir, MeshHit& out) const {
  if (nodes_.empty()) return false;
  const Vec3 inv{1.0 / dir.x, 1.0 / dir.y, 1.0 / dir.z};
  double best = 1e300, b1 = 0.0, b2 = 0.0;
  const Triangle* found = nullptr;
  std::uint32_t stack[kMaxDepth + 2];
  int top = 0;
  stack[top++] = 0;
  while (top > 0) {
    const Node& node = nodes_[stack[--top]];
    if (!hits_box(node.box, origin, inv, best)) continue;
    if (node.count > 0) {
      for (std::uint32_t k = node.first; k < node.first + node.count; ++k) {
        double t, u, v;
        if (hit_triangle(triangles[k], origin, dir, best, t, u, v)) {
          best = t;
          b1 = u;
          b2 = v;
          found = &triangles[k];
        }
      }
      continue;
    }
    const std::uint32_t self = static_cast<std::uint32_t>(&node - nodes_.data());
    stack[top++] = node.right;
    stack[top++] = self + 1;
  }
  if (found == nullptr) return false;
  const double b0 = 1.0 - b1 - b2;
  const Triangle& tri = *found;
  Vec3 n{0.0, 0.0, 0.0};
  if (!normals.empty()) {
    const Vec3 n0 = normals[tri.normal[0]], n1 = normals[tri.normal[1]],
               n2 = normals[tri.normal[2]];
    n = {b0 * n0.x + b1 * n1.x + b2 * n2.x, b0 * n0.y + b1 * n1.y + b2 * n2.y,
         b0 * n0.z + b1 * n1.z + b2 * n2.z};
  }
  double len = std::sqrt(dot(n, n));
  if (!(len > 1e-12)) {
    const Vec3 p0 = positions[tri.position[0]];
    n = cross(sub(positions[tri.position[1]], p0), sub(positions[tri.position[2]], p0));
    len = std::sqrt(dot(n, n));
  }
  n = {n.x / len, n.y / len, n.z / len};
  if (dot(n, dir) > 0.0) n = {-n.x, -n.y, -n.z};
  out.t = best;
  out.normal = n;
  out.u = out.v = 0.0;
  if (has_uvs()) {
    const auto& t0 = uvs[tri.uv[0]];
    const auto& t1 = uvs[tri.uv[1]];
    const auto& t2 = uvs[tri.uv[2]];
    out.u = b0 * t0[0] + b1 * t1[0] + b2 * t2[0];
    out.v = b0 * t0[1] + b1 * t1[1] + b2 * t2[1];
  }
  return true;
}

Mesh make_plane() {
  Mesh mesh;
  mesh.name = "plane";
  // Lying flat (normal +y), far edge at v = 1, then tipped towards the eye.
  add_grid(mesh, 8, 8, false, [](double s, double t) {
    return Vec3{2.0 * s - 1.0, 0.0, 1.0 - 2.0 * t};
  });
  mesh.smooth_normals();
  tilt(mesh, 50.0);
  mesh.build();
  return mesh;
}

Mesh make_cloth() {
  Mesh mesh;
  mesh.name = "cloth";
  // A curtain hung from a rail: gathered at the top, its folds deepening and
  // drifting towards the hem, which swings with them.
  constexpr double kOmega = 2.0 * kPi * 2.5 / 2.0;  // 2.5 folds across
  add_grid(mesh, 120, 120, false, [&](double s, double t) {
    const double drop = 1.0 - t;  // 0 at the rail, 1 at the hem
    const double x0 = 2.0 * s - 1.0;
    const double x = x0 * (0.82 + 0.18 * drop);
    const double phase = kOmega * x0 + 0.7 * drop;
    const double depth = 0.05 + 0.17 * drop;
    const double z = depth * (std::sin(phase) + 0.3 * std::sin(2.3 * phase + 1.7));
    const double y = 1.1 - 2.2 * drop + 0.05 * drop * drop * std::cos(phase);
    return Vec3{x, y, z};
  });
  mesh.smooth_normals();
  mesh.build();
  return mesh;
}

Mesh make_cushion() {
  Mesh mesh;
  mesh.name = "cushion";
  // Two faces sewn at the edge: full in the middle, thin at the seam, the
  // middle of each side drawn in and the corners poking out.
  const auto face = [](double sign) {
    return [sign](double s, double t) {
      const double u = 2.0 * s - 1.0, v = 2.0 * t - 1.0;
      const double x = u * (1.0 - 0.12 * (1.0 - v * v));
      const double y = v * (1.0 - 0.12 * (1.0 - u * u));
      const double puff = std::pow(std::max(0.0, (1.0 - u * u) * (1.0 - v * v)), 0.4);
      return Vec3{x, y, sign * 0.42 * puff};
    };
  };
  add_grid(mesh, 64, 64, false, face(1.0));
  add_grid(mesh, 64, 64, true, face(-1.0));
  mesh.smooth_normals();
  tilt(mesh, -50.0);
  mesh.build();
  return mesh;
}

}  // namespace preview
