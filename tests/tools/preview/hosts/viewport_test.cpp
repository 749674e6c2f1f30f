// The viewport host: the Maya node drawn by its fragment graph on Mesa, fed
// with the Maya road's own light samples, against that road's image; the
// light selector's limit; and the plug-in that both hosts share.
//
// The tolerance: the GPU's pow is exp2(y * log2(x)) where the node calls the
// C library's powf, and GLSL gives no control over contraction, so the last
// bits differ, more so for large exponents. Compared as
// |viewport - maya| / max(1, |maya|), as the fragment's own test does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "tools/preview/hosts/hosts.h"
#include "tools/preview/render/render.h"
#include "tools/preview/render/scene.h"

namespace {

constexpr float kTolerance = 2e-5f;

const preview::HostEntry* built(const std::string& flag) {
  static const std::vector<preview::HostEntry> hosts = preview::built_hosts();
  for (const preview::HostEntry& h : hosts) {
    if (h.flag == flag) return &h;
  }
  return nullptr;
}

class Viewport : public ::testing::Test {
 protected:
  void SetUp() override {
    const preview::HostEntry* entry = built("viewport");
    if (entry == nullptr) GTEST_SKIP() << "built without the viewport host (pugixml, Mesa)";
    std::string error;
    viewport_ = entry->make("", error);
    if (!viewport_) GTEST_SKIP() << error;
    maya_ = built("maya")->make("", error);
    ASSERT_TRUE(maya_) << error;
  }

  // Both backends with the same values.
  void set(const std::string& name, const std::string& text) {
    for (preview::Backend* b : {maya_.get(), viewport_.get()}) {
      const preview::ParamInfo* info = preview::find_param(b->parameters(), name);
      ASSERT_NE(info, nullptr) << name;
      preview::ParamValue v;
      std::string error;
      ASSERT_TRUE(preview::parse_value(*info, text, v, error)) << error;
      ASSERT_EQ(b->set_parameter(name, v), "") << name;
    }
  }

  static preview::Image render(const preview::Scene& scene, preview::Backend& b, int threads) {
    b.set_lights(scene.lights());
    preview::Image image;
    std::string error;
    EXPECT_TRUE(preview::render(scene, b, threads, image, nullptr, error)) << error;
    return image;
  }

  std::unique_ptr<preview::Backend> viewport_, maya_;
};

TEST_F(Viewport, DrawsTheMayaNodesImageWithinTheGpuTolerance) {
  preview::SceneOptions o;
  o.width = 96;
  o.height = 48;
  const preview::Scene scene(o);
  float largest = 0.0f;
  int compared = 0;
  const auto compare = [&](const char* what) {
    const preview::Image m = render(scene, *maya_, 2), v = render(scene, *viewport_, 2);
    ASSERT_EQ(m.rgb.size(), v.rgb.size());
    for (std::size_t i = 0; i < m.rgb.size(); ++i) {
      ASSERT_TRUE(std::isfinite(v.rgb[i])) << what;
      const float error = std::fabs(v.rgb[i] - m.rgb[i]) / std::max(1.0f, std::fabs(m.rgb[i]));
      largest = std::max(largest, error);
      EXPECT_LE(error, kTolerance) << what << " at value " << i;
      compared += m.rgb[i] != v.rgb[i] || m.rgb[i] > 0.0f;
    }
  };
  compare("defaults");
  set("color", "0.6,0.3,0.2");
  set("transparency", "0.1,0.2,0.3");
  set("ambientColor", "0.05,0.1,0.15");
  set("incandescence", "0.01,0.02,0.03");
  set("translucence", "0.3");
  set("roughness", "0.2");
  set("edginess", "12");
  set("backscatter", "0.6");
  set("specularColor", "0.7,0.5,0.9");
  compare("every attribute");
  std::printf("[ viewport ] largest difference from the Maya road %.3g\n",
              static_cast<double>(largest));
  EXPECT_GT(compared, 1000);
}

TEST_F(Viewport, AConnectedTextureIsDrawnPerPixel) {
  preview::SceneOptions o;
  o.width = 48;
  o.height = 32;
  o.sphere = o.torus = false;
  o.cloth = true;
  const preview::Scene scene(o);
  auto t = std::make_shared<preview::Texture>();
  t->file = "checks.png";
  t->width = t->height = 2;
  t->rgb = {0.9f, 0.1f, 0.1f, 0.1f, 0.9f, 0.1f, 0.1f, 0.1f, 0.9f, 0.9f, 0.9f, 0.1f};
  ASSERT_EQ(maya_->connect_texture("color", t), "");
  ASSERT_EQ(viewport_->connect_texture("color", t), "");
  const preview::Image m = render(scene, *maya_, 1), v = render(scene, *viewport_, 1);
  for (std::size_t i = 0; i < m.rgb.size(); ++i) {
    EXPECT_LE(std::fabs(v.rgb[i] - m.rgb[i]) / std::max(1.0f, std::fabs(m.rgb[i])), kTolerance)
        << "value " << i;
  }
  EXPECT_NE(viewport_->connect_texture("edginess", t), "");
}

// Twenty point lights are drawn as the first sixteen alone.
TEST_F(Viewport, MoreThanSixteenLightSamplesDrawTheFirstSixteen) {
  preview::SceneOptions o;
  o.width = 32;
  o.height = 16;
  const preview::Scene scene(o);
  std::vector<preview::Light> lights;
  for (int i = 0; i < 20; ++i) {
    preview::Light l;
    l.position = {static_cast<float>(i % 5) - 2.0f, static_cast<float>(i / 5) - 1.0f, 3.0f};
    l.color = {0.1f, 0.08f, 0.06f};
    lights.push_back(l);
  }
  const auto draw = [&](std::size_t count) {
    viewport_->set_lights({lights.begin(), lights.begin() + static_cast<std::ptrdiff_t>(count)});
    preview::Image image;
    std::string error;
    EXPECT_TRUE(preview::render(scene, *viewport_, 1, image, nullptr, error)) << error;
    return image.rgb;
  };
  const std::vector<float> sixteen = draw(16);
  EXPECT_EQ(draw(20), sixteen);
  EXPECT_NE(draw(15), sixteen);
}

// Maya loads a plug-in once: both hosts share it, each with its own node,
// and it stays loaded until the last of them goes, in either order.
TEST_F(Viewport, BothHostsShareThePlugInUntilTheLastGoes) {
  preview::SceneOptions o;
  o.width = 16;
  o.height = 8;
  const preview::Scene scene(o);
  const preview::Image before = render(scene, *viewport_, 1);
  maya_.reset();
  EXPECT_EQ(render(scene, *viewport_, 1).rgb, before.rgb);
  std::string error;
  maya_ = built("maya")->make("", error);
  ASSERT_TRUE(maya_) << error;
  viewport_.reset();
  viewport_ = built("viewport")->make("", error);
  ASSERT_TRUE(viewport_) << error;
  EXPECT_EQ(render(scene, *viewport_, 1).rgb, before.rgb);
}

}  // namespace
