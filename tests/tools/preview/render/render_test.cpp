// Rendering on many threads: the image must have the same bits whatever the
// number of threads, since each pixel sums its own samples in a fixed order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "tests/tools/preview/fake_backend.h"
#include "tools/preview/hosts/lights.h"
#include "tools/preview/render/render.h"

namespace {

preview::Image render_with(preview::Backend& backend, const preview::Scene& scene, int threads) {
  backend.set_lights(scene.lights());
  preview::Image image;
  std::string error;
  EXPECT_TRUE(preview::render(scene, backend, threads, image, nullptr, error)) << error;
  return image;
}

TEST(ThreadCountIndependence, FakeHostGivesTheSameBitsOnOneToFiveThreads) {
  preview::SceneOptions options;
  options.width = 100;  // not a multiple of the tile size
  options.height = 70;
  const preview::Scene scene(options);
  fake::Backend backend;
  const preview::Image one = render_with(backend, scene, 1);
  for (int threads = 2; threads <= 5; ++threads) {
    const preview::Image many = render_with(backend, scene, threads);
    ASSERT_EQ(many.rgb.size(), one.rgb.size());
    EXPECT_EQ(std::memcmp(many.rgb.data(), one.rgb.data(), one.rgb.size() * sizeof(float)), 0)
        << threads << " threads";
  }
}

TEST(SceneCoverage, BothShapesAndTheBackgroundAreInTheDefaultView) {
  const preview::Scene scene{preview::SceneOptions{}};
  preview::ShadingSample s;
  // Centre of the left and right halves: the sphere and the torus' tube
  // (the torus' hole is at its centre, so look a little above it).
  ASSERT_TRUE(scene.trace(scene.width() / 4, scene.height() / 2, 0, 0, s));
  EXPECT_GT(s.normal.z, 0.9f);  // near the middle of the sphere
  ASSERT_TRUE(scene.trace(scene.width() * 3 / 4, scene.height() / 2 - 30, 0, 0, s));
  EXPECT_NEAR(core::dot(s.normal, s.normal), 1.0f, 1e-6f);
  EXPECT_LT(core::dot(s.normal, s.ray), 0.0f);  // faces the eye
  EXPECT_FALSE(scene.trace(0, 0, 0, 0, s));
  EXPECT_FALSE(scene.trace(scene.width() / 2, scene.height() / 2, 0, 0, s));
}

TEST(AreaLightSamples, SpreadOverTheRectangleAndNeverRepeat) {
  preview::Light light;
  light.area = true;
  light.position = {1.0f, 2.0f, 3.0f};
  light.edge_u = {2.0f, 0.0f, 0.0f};
  light.edge_v = {0.0f, 0.0f, 4.0f};
  light.samples = 16;
  std::vector<std::pair<float, float>> seen;
  for (int i = 0; i < 16; ++i) {
    const core::Vector p = preview::light_sample_position(light, i);
    EXPECT_GE(p.x, 0.0f);
    EXPECT_LE(p.x, 2.0f);
    EXPECT_GE(p.z, 1.0f);
    EXPECT_LE(p.z, 5.0f);
    EXPECT_EQ(p.y, 2.0f);
    seen.emplace_back(p.x, p.z);
  }
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(std::unique(seen.begin(), seen.end()), seen.end());
  // Each quarter of the rectangle gets a quarter of the samples.
  int lower_left = 0;
  for (const auto& [x, z] : seen) lower_left += x < 1.0f && z < 3.0f;
  EXPECT_EQ(lower_left, 4);
}

}  // namespace

TEST(Cancellation, ACancelledRenderStopsBeforeShadingAndSaysSo) {
  preview::SceneOptions options;
  options.width = 64;
  options.height = 64;
  const preview::Scene scene(options);
  fake::Backend backend;
  backend.set_lights(scene.lights());
  const std::atomic<bool> cancel{true};
  preview::Image image;
  std::string error;
  preview::RenderStats stats;
  EXPECT_FALSE(preview::render(scene, backend, 2, image, nullptr, error, &stats, &cancel));
  EXPECT_EQ(error, "cancelled");
  EXPECT_EQ(stats.shaded, 0);
}
