// The preview scene: a sphere and a tilted torus side by side in front of a
// pinhole camera, lit by a soft key (an area light), a point fill and a
// point rim light behind the shapes, where velvet's edge sheen shows best.
#ifndef VELVET_TOOLS_PREVIEW_RENDER_SCENE_H
#define VELVET_TOOLS_PREVIEW_RENDER_SCENE_H

#include <vector>

#include "tools/preview/hosts/backend.h"

namespace preview {

struct SceneOptions {
  int width = 640;
  int height = 320;
  int aa = 2;             // aa x aa samples per pixel
  double fov = 30.0;      // vertical field of view, degrees
  double distance = 7.0;  // from the eye to the middle of the shapes
  bool sphere = true;
  bool torus = true;
  float key = 1.0f;  // light intensities; 0 switches a light off
  float fill = 0.4f;
  float rim = 1.0f;
  int area_samples = 8;                      // samples the renderer takes of the key light
  core::Color irradiance{0.0f, 0.0f, 0.0f};  // what an irradiance query returns
};

class Scene {
 public:
  explicit Scene(const SceneOptions& options);

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
  bool hit_torus(Vec dir, double& t, Vec& normal) const;

  SceneOptions options_;
  std::vector<Light> lights_;
  double tan_half_fov_;
  Vec sphere_centre_, torus_centre_;
  double torus_cos_, torus_sin_;  // tilt of the torus about the x axis
};

}  // namespace preview

#endif  // VELVET_TOOLS_PREVIEW_RENDER_SCENE_H
