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

namespace {

// Counts the samples and batches a context is handed.
class CountingBackend : public fake::Backend {
 public:
  struct Counting : preview::ShadingContext {
    std::unique_ptr<preview::ShadingContext> inner;
    std::vector<std::size_t>* batches;
    core::Color shade(const preview::ShadingSample& s) override { return inner->shade(s); }
    void shade_batch(const preview::ShadingSample* s, std::size_t n, core::Color* out) override {
      batches->push_back(n);
      for (std::size_t i = 0; i < n; ++i) out[i] = inner->shade(s[i]);
    }
  };
  std::unique_ptr<preview::ShadingContext> make_context(std::string& error) override {
    auto c = std::make_unique<Counting>();
    c->inner = fake::Backend::make_context(error);
    c->batches = &batches;
    return c;
  }
  std::vector<std::size_t> batches;
};

// A host whose batch could not be shaded after its context was made (a GPU
// lost) fails the image with its message, on any thread count, rather than
// hand back black samples as rendered.
TEST(Batches, AContextThatCannotShadeABatchFailsTheImageWithItsMessage) {
  struct Failing : preview::ShadingContext {
    std::string why;
    int batches = 0;
    core::Color shade(const preview::ShadingSample&) override { return {1.0f, 1.0f, 1.0f}; }
    void shade_batch(const preview::ShadingSample*, std::size_t n, core::Color* out) override {
      for (std::size_t i = 0; i < n; ++i) out[i] = {0.0f, 0.0f, 0.0f};
      if (++batches == 2) why = "the device was lost";
    }
    const std::string* failure() const override { return why.empty() ? nullptr : &why; }
  };
  struct FailingBackend : fake::Backend {
    std::unique_ptr<preview::ShadingContext> make_context(std::string&) override {
      return std::make_unique<Failing>();
    }
  };
  preview::SceneOptions options;
  options.width = 200;
  options.height = 100;
  options.aa = 1;
  FailingBackend backend;
  for (int threads : {1, 2}) {
    preview::Image image;
    std::string error;
    EXPECT_FALSE(preview::render(preview::Scene(options), backend, threads, image, nullptr, error))
        << threads << " threads";
    EXPECT_EQ(error, "the device was lost");
  }
}

// A tile's hits reach the host in one batch, and samples traced once give
// the image that tracing them anew gives, bit for bit, on any thread count.
TEST(TracedSamples, GiveTheSameBitsAndReachTheHostATileAtATime) {
  preview::SceneOptions options;
  options.width = 70;
  options.height = 40;
  options.aa = 3;
  const preview::Scene scene(options);
  CountingBackend backend;
  const preview::Image traced_anew = render_with(backend, scene, 1);
  // Tiles of 32 x 32 pixels: 3 x 2 of them, all but the empty ones batched.
  EXPECT_LE(backend.batches.size(), 6u);
  std::int64_t samples = 0;
  for (std::size_t n : backend.batches) {
    EXPECT_LE(n, 32u * 32u * 9u);
    samples += static_cast<std::int64_t>(n);
  }
  preview::TracedScene traced;
  ASSERT_TRUE(preview::trace_scene(scene, 2, traced));
  std::int64_t hits = 0;
  for (const auto& tile : traced.samples) hits += static_cast<std::int64_t>(tile.size());
  EXPECT_EQ(hits, samples);
  for (int threads : {1, 3}) {
    preview::Image image;
    std::string error;
    preview::RenderStats stats;
    ASSERT_TRUE(
        preview::render(scene, backend, threads, image, nullptr, error, &stats, nullptr, &traced))
        << error;
    EXPECT_EQ(stats.shaded, hits);
    EXPECT_EQ(
        std::memcmp(image.rgb.data(), traced_anew.rgb.data(), image.rgb.size() * sizeof(float)), 0)
        << threads << " threads";
  }
  // Samples traced for another scene are refused, not read past their end.
  preview::SceneOptions larger = options, finer = options;
  larger.width = 200;
  finer.aa = 4;  // the same tiles, more samples in each
  for (const preview::SceneOptions& other : {larger, finer}) {
    preview::Image image;
    std::string error;
    EXPECT_FALSE(preview::render(preview::Scene(other), backend, 1, image, nullptr, error, nullptr,
                                 nullptr, &traced));
    EXPECT_NE(error.find("another scene"), std::string::npos) << error;
  }
}

}  // namespace
