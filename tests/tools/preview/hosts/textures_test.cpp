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
#include "tools/preview/render/render.h"
#include "tools/preview/render/scene.h"
#include "tools/preview/render/texture.h"

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

TEST_P(ConnectedTexture, GivesTheImageOfPerSampleValuesSetDirectly) {
  const Make make = std::get<1>(GetParam());
  const preview::Scene scene(cloth_scene());
  const auto texture = fabric();

  auto connected = open(make, scene);
  ASSERT_TRUE(connected);
  ASSERT_EQ(connected->connect_texture("color", texture), "");
  preview::Image image;
  std::string error;
  ASSERT_TRUE(preview::render(scene, *connected, 2, image, nullptr, error)) << error;

  // The same samples, the input set to the texture's value before each.
  auto direct = open(make, scene);
  ASSERT_TRUE(direct);
  int shaded = 0;
  std::set<float> reds;
  for (int y = 0; y < scene.height(); ++y) {
    for (int x = 0; x < scene.width(); ++x) {
      preview::ShadingSample s;
      if (!scene.trace(x, y, 0, 0, s)) continue;
      ASSERT_EQ(direct->set_parameter("color", colour(texture->sample(s.u, s.v))), "");
      const auto context = direct->make_context(error);
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

TEST_P(ConnectedTexture, ALaterValueDisconnectsAndLightsKeepIt) {
  const Make make = std::get<1>(GetParam());
  const preview::Scene scene(cloth_scene());
  const preview::ParamValue grey = colour({0.3f, 0.3f, 0.3f});
  std::string error;

  // Connected, then set: the value wins.
  auto a = open(make, scene);
  ASSERT_EQ(a->connect_texture("color", fabric()), "");
  ASSERT_EQ(a->set_parameter("color", grey), "");
  auto b = open(make, scene);
  ASSERT_EQ(b->set_parameter("color", grey), "");
  preview::Image ia, ib;
  ASSERT_TRUE(preview::render(scene, *a, 1, ia, nullptr, error)) << error;
  ASSERT_TRUE(preview::render(scene, *b, 1, ib, nullptr, error)) << error;
  EXPECT_EQ(ia.rgb, ib.rgb);

  // Connected before the lights are set again: still connected after.
  auto c = open(make, scene);
  auto d = open(make, scene);
  const auto texture = fabric();
  ASSERT_EQ(c->connect_texture("color", texture), "");
  c->set_lights(scene.lights());
  ASSERT_EQ(d->connect_texture("color", texture), "");
  preview::Image ic, id;
  ASSERT_TRUE(preview::render(scene, *c, 1, ic, nullptr, error)) << error;
  ASSERT_TRUE(preview::render(scene, *d, 1, id, nullptr, error)) << error;
  EXPECT_EQ(ic.rgb, id.rgb);
  EXPECT_NE(ic.rgb, ib.rgb);
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
                         [](const auto& info) { return std::string(std::get<0>(info.param)); });

}  // namespace
