// The scene: the rig where it has always been by default, lights moved by
// azimuth and elevation, shapes framed from their bounds, the turntable.
#include "tools/preview/render/scene.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using preview::Scene;
using preview::SceneOptions;

SceneOptions small(bool cloth) {
  SceneOptions o;
  o.width = 48;
  o.height = 32;
  o.aa = 1;
  if (cloth) {
    o.sphere = o.torus = false;
    o.cloth = true;
  }
  return o;
}

const preview::Light& light(const Scene& scene, const std::string& name) {
  for (const preview::Light& l : scene.lights()) {
    if (l.name == name) return l;
  }
  throw std::runtime_error("no light " + name);
}

// The unit direction from the middle of the shapes (0, 0, -distance) to a light.
std::array<double, 3> from_middle(const Scene& scene, const preview::Light& l) {
  const double x = l.position.x, y = l.position.y, z = l.position.z + scene.distance();
  const double len = std::sqrt(x * x + y * y + z * z);
  return {x / len, y / len, z / len};
}

TEST(SceneRig, DefaultsKeepTheRigsOwnPositions) {
  const Scene scene{SceneOptions{}};
  EXPECT_EQ(scene.fov(), 30.0);
  EXPECT_EQ(scene.distance(), 7.0);
  const preview::Light& key = light(scene, "key");
  EXPECT_EQ(key.position.x, -4.0f);
  EXPECT_EQ(key.position.y, 4.0f);
  EXPECT_EQ(key.position.z, -2.0f);
  const preview::Light& rim = light(scene, "rim");
  EXPECT_EQ(rim.position.x, 1.5f);
  EXPECT_EQ(rim.position.y, 3.5f);
  EXPECT_EQ(rim.position.z, -13.0f);
  // The default angles name those positions, to a tenth of a degree.
  constexpr double kDegree = 3.14159265358979323846 / 180.0;
  const auto d = from_middle(scene, key);
  EXPECT_NEAR(std::atan2(d[0], d[2]) / kDegree, preview::kKeyAzimuth, 0.05);
  EXPECT_NEAR(std::asin(d[1]) / kDegree, preview::kKeyElevation, 0.05);
  const auto r = from_middle(scene, rim);
  EXPECT_NEAR(std::atan2(r[0], r[2]) / kDegree, preview::kRimAzimuth, 0.05);
  EXPECT_NEAR(std::asin(r[1]) / kDegree, preview::kRimElevation, 0.05);
}

TEST(SceneRig, AzimuthAndElevationMoveTheLights) {
  SceneOptions o;
  o.key_azimuth = 90.0;  // straight to the right
  o.key_elevation = 0.0;
  o.rim_azimuth = 180.0;  // straight behind, high up
  o.rim_elevation = 60.0;
  const Scene scene(o);
  const auto k = from_middle(scene, light(scene, "key"));
  EXPECT_NEAR(k[0], 1.0, 1e-6);
  EXPECT_NEAR(k[1], 0.0, 1e-6);
  const auto r = from_middle(scene, light(scene, "rim"));
  EXPECT_NEAR(r[0], 0.0, 1e-6);
  EXPECT_NEAR(r[1], std::sqrt(3.0) / 2.0, 1e-6);
  EXPECT_NEAR(r[2], -0.5, 1e-6);
  // The key's square still faces the shapes: its edges are square to the
  // direction towards them.
  const preview::Light& key = light(scene, "key");
  const double du = key.edge_u.x * k[0] + key.edge_u.y * k[1] + key.edge_u.z * k[2];
  const double dv = key.edge_v.x * k[0] + key.edge_v.y * k[1] + key.edge_v.z * k[2];
  EXPECT_NEAR(du, 0.0, 1e-5);
  EXPECT_NEAR(dv, 0.0, 1e-5);
}

TEST(SceneRig, KeyStraightOverheadHasFiniteEdges) {
  for (const double elevation : {89.0, -89.0}) {
    SceneOptions o;
    o.key_azimuth = 0.0;
    o.key_elevation = elevation;
    const Scene scene(o);
    const preview::Light& key = light(scene, "key");
    for (const float f :
         {key.edge_u.x, key.edge_u.y, key.edge_u.z, key.edge_v.x, key.edge_v.y, key.edge_v.z}) {
      EXPECT_TRUE(std::isfinite(f)) << elevation;
    }
  }
}

// Whether any sample on the image's outermost pixels hits, and whether the
// middle one does.
std::pair<bool, bool> border_and_middle(const Scene& scene) {
  preview::ShadingSample s;
  bool border = false;
  for (int x = 0; x < scene.width(); ++x) {
    border = border || scene.trace(x, 0, 0, 0, s) || scene.trace(x, scene.height() - 1, 0, 0, s);
  }
  for (int y = 0; y < scene.height(); ++y) {
    border = border || scene.trace(0, y, 0, 0, s) || scene.trace(scene.width() - 1, y, 0, 0, s);
  }
  return {border, scene.trace(scene.width() / 2, scene.height() / 2, 0, 0, s)};
}

TEST(SceneFraming, GeneratedShapesFillTheViewInsideItsEdges) {
  for (const auto shape : {&SceneOptions::plane, &SceneOptions::cloth, &SceneOptions::cushion}) {
    for (const auto& [w, h] : {std::pair{48, 32}, {24, 48}}) {
      SceneOptions o = small(false);
      o.sphere = o.torus = false;
      o.*shape = true;
      o.width = w;
      o.height = h;
      const Scene scene(o);
      const auto [border, middle] = border_and_middle(scene);
      EXPECT_FALSE(border) << w << "x" << h;
      EXPECT_TRUE(middle) << w << "x" << h;
      EXPECT_EQ(scene.fov(), 30.0);
    }
  }
}

TEST(SceneFraming, AGivenDistanceSetsTheFieldOfViewAndBothGivenAreKept) {
  SceneOptions o = small(true);
  o.distance = 20.0;
  o.distance_set = true;
  const Scene far(o);
  EXPECT_EQ(far.distance(), 20.0);
  EXPECT_LT(far.fov(), 30.0);
  EXPECT_FALSE(border_and_middle(far).first);
  o.fov = 50.0;
  o.fov_set = true;
  const Scene both(o);
  EXPECT_EQ(both.fov(), 50.0);
  EXPECT_EQ(both.distance(), 20.0);
  // The field of view alone: the distance follows it.
  SceneOptions wide = small(true), narrow = small(true);
  wide.fov = 60.0;
  wide.fov_set = true;
  EXPECT_LT(Scene(wide).distance(), Scene(narrow).distance());
}

TEST(SceneTurntable, TurnsTheShapeAboutTheVertical) {
  SceneOptions o = small(true);
  const Scene still(o);
  o.turntable = 30.0;
  const Scene turned(o);
  o.turntable = 360.0;
  const Scene round(o);
  preview::ShadingSample a, b, c;
  const int x = still.width() / 2, y = still.height() / 2;
  ASSERT_TRUE(still.trace(x, y, 0, 0, a));
  ASSERT_TRUE(turned.trace(x, y, 0, 0, b));
  ASSERT_TRUE(round.trace(x, y, 0, 0, c));
  EXPECT_NE(a.normal.x, b.normal.x);
  // A full turn comes back, up to the rounding of the angle.
  EXPECT_NEAR(a.normal.x, c.normal.x, 1e-5);
  EXPECT_NEAR(a.u, c.u, 1e-5);
  // The torus turns too; the lights do not.
  SceneOptions pair;
  pair.turntable = 45.0;
  EXPECT_EQ(light(Scene(pair), "key").position.x, light(Scene(SceneOptions{}), "key").position.x);
}

TEST(SceneMesh, ANamedMeshThatWasNotReadShowsNothing) {
  SceneOptions o = small(false);
  o.mesh = "never-read.obj";
  const Scene scene(o);
  EXPECT_FALSE(border_and_middle(scene).second);
  EXPECT_TRUE(scene.has_uvs());
}

}  // namespace
