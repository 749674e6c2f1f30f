// The preview scene: a sphere and a tilted torus side by side in front of a
// pinhole camera, or one of the generated shapes (a plane, a hanging cloth, a
// cushion), or a mesh read from a file; lit by a soft key (an area light), a
// point fill and a point rim light behind the shapes, where velvet's edge
// sheen shows best. The key and the rim light take a direction; the shapes
// turn about the vertical axis on a turntable; the camera frames whatever is
// shown from its bounds (the sphere and torus keep their own framing).
#ifndef VELVET_TOOLS_PREVIEW_RENDER_SCENE_H
#define VELVET_TOOLS_PREVIEW_RENDER_SCENE_H

#include <memory>
#include <string>
#include <vector>

#include "tools/preview/hosts/backend.h"
#include "tools/preview/render/mesh.h"

namespace preview {

// Where the key and the rim light stand by default, as the rig has always had
// them: degrees about the vertical axis from the camera's side (positive to
// the right), and above the horizon.
constexpr double kKeyAzimuth = -38.7;
constexpr double kKeyElevation = 32.0;
constexpr double kRimAzimuth = 166.0;
constexpr double kRimElevation = 29.5;

// The shapes the scene can show besides a mesh file.
enum class Shape { sphere, torus, plane, cloth, cushion };

struct SceneOptions {
  int width = 640;
  int height = 320;
  int aa = 2;             // aa x aa samples per pixel
  double fov = 30.0;      // vertical field of view, degrees
  double distance = 7.0;  // from the eye to the middle of the shapes
  // Whether fov and distance were chosen, rather than left to follow the
  // bounds of what is shown (the sphere and torus always take them).
  bool fov_set = false;
  bool distance_set = false;
  bool sphere = true;
  bool torus = true;
  // At most one of these, and then neither sphere nor torus.
  bool plane = false;
  bool cloth = false;
  bool cushion = false;
  // A Wavefront OBJ file shown instead of the shapes; the Scene is handed
  // the mesh read from it.
  std::string mesh;
  float key = 1.0f;  // light intensities; 0 switches a light off
  float fill = 0.4f;
  float rim = 1.0f;
  double key_azimuth = kKeyAzimuth;  // degrees, see above
  double key_elevation = kKeyElevation;
  double rim_azimuth = kRimAzimuth;
  double rim_elevation = kRimElevation;
  double turntable = 0.0;  // degrees the shapes are turned about the vertical axis
  int area_samples = 8;    // samples the renderer takes of the key light
  core::Color irradiance{0.0f, 0.0f, 0.0f};  // what an irradiance query returns
};

// The shared, built mesh of a generated shape (plane, cloth or cushion);
// made once per process.
std::shared_ptr<const Mesh> generated_mesh(Shape shape);

class Scene {
 public:
  // `mesh` is what options.mesh names, read by the caller; without it a
  // scene that names a mesh shows nothing.
  explicit Scene(const SceneOptions& options, std::shared_ptr<const Mesh> mesh = nullptr);

  // Whether every point shown has UVs (and so can take a texture).
  bool has_uvs() const { return !mesh_ || mesh_->has_uvs(); }
  // The camera as framed.
  double fov() const { return fov_; }
  double distance() const { return distance_; }

  int width() const { return options_.width; }
  int height() const { return options_.height; }
  int aa() const { return options_.aa; }
  const std::vector<Light>& lights() const { return lights_; }
  core::Color background() const { return {0.018f, 0.018f, 0.02f}; }

  // Traces sample (sx, sy) of the aa x aa grid in pixel (x, y); false when
  // the ray sees the background. Pure: safe on any number of threads.
  bool trace(int x, int y, int sx, int sy, ShadingSample& out) const;

 private:
  struct Vec {
    double x, y, z;
  };
  bool hit_sphere(Vec dir, double& t, Vec& normal) const;
  bool hit_torus(Vec dir, double& t, Vec& normal, double& u, double& v) const;
  bool hit_mesh(Vec dir, double& t, Vec& normal, double& u, double& v) const;
  void frame(const Bounds& bounds);
  void add_lights(double scale);

  SceneOptions options_;
  std::vector<Light> lights_;
  std::shared_ptr<const Mesh> mesh_;  // the shape shown instead of sphere and torus
  Vec mesh_centre_{0.0, 0.0, 0.0};    // the mesh's own middle, which turns...
  Vec placed_{0.0, 0.0, 0.0};         // ...placed here in camera space
  bool turned_ = false;
  double turn_cos_ = 1.0, turn_sin_ = 0.0;
  double fov_, distance_;
  double tan_half_fov_;
  Vec sphere_centre_, torus_centre_;
  double torus_cos_, torus_sin_;  // tilt of the torus about the x axis
};

}  // namespace preview

#endif  // VELVET_TOOLS_PREVIEW_RENDER_SCENE_H
