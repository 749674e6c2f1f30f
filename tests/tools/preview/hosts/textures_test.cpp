// Textured colour inputs through each host's own connection path: a file
// node feeding the Maya node's input per sample, a connected parameter that
// the mental ray shader fetches through mi_phen_eval. Either way the image
// must be the one that setting the same per-sample values directly gives.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <tuple>

#include "tools/preview/hosts/registry.h"
#include "tools/preview/hosts/texture.h"
#include "tools/preview/render/render.h"
#include "tools/preview/render/scene.h"

namespace {

using Make = std::unique_ptr<preview::Backend> (*)(const std::string&, std::string&);

// A 4 x 3 texture of distinct colours.
std::shared_ptr<const preview::Texture> fabric() {
  auto t = std::make_shared<preview::Texture>();
  t->file = "fabric.png";
  t->width = 4;
  t->height = 3;
  for (int i = 0; i < 12; ++i) {
    t->rgb.push_back(0.1f + 0.07f * static_cast<float>(i));
    t->rgb.push_back(0.9f - 0.05f * static_cast<float>(i));
    t->rgb.push_back(static_cast<float>(i % 3) * 0.3f);
  }
  return t;
}

preview::SceneOptions cloth_scene() {
  preview::SceneOptions o;
  o.width = 24;
  o.height = 16;
  o.aa = 1;  // a pixel is one sample, so pixels and samples compare bit for bit
  o.sphere = o.torus = false;
  o.cloth = true;
  o.area_samples = 2;
  return o;
}

preview::ParamValue colour(core::Color c) {
  preview::ParamValue v;
  v.type = preview::ParamType::Color;
  v.v[0] = c.r;
  v.v[1] = c.g;
  v.v[2] = c.b;
  return v;
}

std::unique_ptr<preview::Backend> open(Make make, const preview::Scene& scene) {
  std::string error;
  std::unique_ptr<preview::Backend> b = make("", error);
  EXPECT_TRUE(b) << error;
  if (b) b->set_lights(scene.lights());
  return b;
}

bool same_bits(float a, float b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

class ConnectedTexture : public ::testing::TestWithParam<std::tuple<const char*, Make>> {};

// One backend per test: a host loads its plug-in once per process.
TEST_P(ConnectedTexture, GivesTheImageOfPerSampleValuesSetDirectly) {
  const preview::Scene scene(cloth_scene());
  const auto texture = fabric();
  auto backend = open(std::get<1>(GetParam()), scene);
  ASSERT_TRUE(backend);
  ASSERT_EQ(backend->connect_texture("color", texture), "");
  preview::Image image;
  std::string error;
  ASSERT_TRUE(preview::render(scene, *backend, 2, image, nullptr, error)) << error;

  // The same samples, the input set to the texture's value before each
  // (which disconnects the texture).
  int shaded = 0;
  std::set<float> reds;
  for (int y = 0; y < scene.height(); ++y) {
    for (int x = 0; x < scene.width(); ++x) {
      preview::ShadingSample s;
      if (!scene.trace(x, y, 0, 0, s)) continue;
      ASSERT_EQ(backend->set_parameter("color", colour(texture->sample(s.u, s.v))), "");
      const auto context = backend->make_context(error);
      ASSERT_TRUE(context) << error;
      const core::Color c = context->shade(s);
      const float* p = image.pixel(x, y);
      ASSERT_TRUE(same_bits(p[0], c.r) && same_bits(p[1], c.g) && same_bits(p[2], c.b))
          << "pixel " << x << "," << y << ": " << p[0] << " " << p[1] << " " << p[2] << " vs "
          << c.r << " " << c.g << " " << c.b;
      ++shaded;
      reds.insert(p[0]);
    }
  }
  EXPECT_GT(shaded, 40);
  EXPECT_GT(reds.size(), 10u);  // the texture shows, not one flat colour
}

TEST_P(ConnectedTexture, ALaterValueDisconnectsAndNewLightsKeepIt) {
  const preview::Scene scene(cloth_scene());
  const preview::ParamValue grey = colour({0.3f, 0.3f, 0.3f});
  auto backend = open(std::get<1>(GetParam()), scene);
  ASSERT_TRUE(backend);
  std::string error;
  const auto shot = [&] {
    preview::Image image;
    EXPECT_TRUE(preview::render(scene, *backend, 1, image, nullptr, error)) << error;
    return image.rgb;
  };
  ASSERT_EQ(backend->set_parameter("color", grey), "");
  const std::vector<float> flat = shot();
  ASSERT_EQ(backend->connect_texture("color", fabric()), "");
  const std::vector<float> textured = shot();
  EXPECT_NE(textured, flat);
  // The lights set again (the renderer's script made anew): still connected.
  backend->set_lights(scene.lights());
  EXPECT_EQ(shot(), textured);
  // A value after the texture wins.
  ASSERT_EQ(backend->set_parameter("color", grey), "");
  EXPECT_EQ(shot(), flat);
  backend->set_lights(scene.lights());
  EXPECT_EQ(shot(), flat);
}

TEST_P(ConnectedTexture, OnlyColoursTakeATexture) {
  const preview::Scene scene(cloth_scene());
  auto backend = open(std::get<1>(GetParam()), scene);
  EXPECT_NE(backend->connect_texture("edginess", fabric()).find("only colours"), std::string::npos);
  EXPECT_NE(backend->connect_texture("noSuchThing", fabric()), "");
}

INSTANTIATE_TEST_SUITE_P(Hosts, ConnectedTexture,
                         ::testing::Values(std::make_tuple("maya", &preview::make_maya_backend),
                                           std::make_tuple("mr", &preview::make_mentalray_backend)),
                         [](const auto& p) { return std::string(std::get<0>(p.param)); });

}  // namespace
