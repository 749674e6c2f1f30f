// Triangle meshes for the preview scene: the generated shapes (a plane, a
// hanging curtain with folds, a cushion), meshes read from Wavefront OBJ
// files (obj.h), smooth normals for a mesh that has none, and a bounding
// volume hierarchy that finds a ray's nearest hit. Everything here is in the
// mesh's own space and double precision; the scene places and turns it.
#ifndef VELVET_TOOLS_PREVIEW_RENDER_MESH_H
#define VELVET_TOOLS_PREVIEW_RENDER_MESH_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace preview {

struct Vec3 {
  double x, y, z;
};

struct Bounds {
  Vec3 lo{1e300, 1e300, 1e300};
  Vec3 hi{-1e300, -1e300, -1e300};
  void add(Vec3 p);
  bool empty() const { return lo.x > hi.x; }
  Vec3 centre() const { return {(lo.x + hi.x) / 2, (lo.y + hi.y) / 2, (lo.z + hi.z) / 2}; }
};

// A triangle's corners, each an index into the mesh's positions, normals and
// (when it has them) UVs.
struct Triangle {
  std::array<std::uint32_t, 3> position;
  std::array<std::uint32_t, 3> normal;
  std::array<std::uint32_t, 3> uv;
};

struct MeshHit {
  double t = 0.0;
  Vec3 normal{0.0, 0.0, 0.0};  // interpolated shading normal, unit, facing the ray
  double u = 0.0, v = 0.0;     // interpolated UVs (0 without them)
};

class Mesh {
 public:
  std::string name;  // the shape's name or the file's, for messages
  std::vector<Vec3> positions;
  std::vector<Vec3> normals;
  std::vector<std::array<double, 2>> uvs;
  std::vector<Triangle> triangles;

  bool has_uvs() const { return !uvs.empty(); }
  Bounds bounds() const;

  // Gives every corner the area-weighted average normal of the triangles
  // that share its position (replacing any normals there were); degenerate
  // triangles add nothing.
  void smooth_normals();

  // Builds the hierarchy; call once the triangles are final and before hit().
  void build();

  // The nearest hit of the ray from `origin` along `dir` (unit) with t > 0.
  // Pure: safe on any number of threads once built.
  bool hit(Vec3 origin, Vec3 dir, MeshHit& out) const;

 private:
  struct Node {
    Bounds box;
    std::uint32_t first, count;  // triangles of a leaf (count > 0)
    std::uint32_t right;         // second child of an inner node; the first follows it
  };
  std::uint32_t build_node(std::uint32_t first, std::uint32_t count, int depth);
  bool hit_triangle(const Triangle& tri, Vec3 origin, Vec3 dir, double t_max, double& t, double& b1,
                    double& b2) const;

  std::vector<Node> nodes_;
  std::vector<Bounds> tri_bounds_;  // scratch while building
};

// The generated shapes, each posed to face a camera that looks down -z, in
// a box about 2 units across, with UVs and normals:
// a square tilted back 60 degrees, a curtain hanging in folds (deterministic:
// no randomness), a cushion with a seam round its edge.
Mesh make_plane();
Mesh make_cloth();
Mesh make_cushion();

}  // namespace preview

#endif  // VELVET_TOOLS_PREVIEW_RENDER_MESH_H
