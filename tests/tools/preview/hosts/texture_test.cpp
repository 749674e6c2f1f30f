// Textures: the bilinear look-up with repeat, and the sRGB curve.
#include "tools/preview/hosts/texture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>

#include "tools/preview/render/image_io.h"

namespace {

// A 2 x 2 texture: top row red, green; bottom row blue, white.
preview::Texture two_by_two() {
  preview::Texture t;
  t.width = 2;
  t.height = 2;
  t.rgb = {1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 1, 1};
  return t;
}

void expect_color(core::Color c, float r, float g, float b) {
  EXPECT_EQ(c.r, r);
  EXPECT_EQ(c.g, g);
  EXPECT_EQ(c.b, b);
}

TEST(TextureLookup, TexelCentresGiveTheTexel) {
  const preview::Texture t = two_by_two();
  // v runs from the bottom: the top row is at v = 0.75.
  expect_color(t.sample(0.25f, 0.75f), 1, 0, 0);
  expect_color(t.sample(0.75f, 0.75f), 0, 1, 0);
  expect_color(t.sample(0.25f, 0.25f), 0, 0, 1);
  expect_color(t.sample(0.75f, 0.25f), 1, 1, 1);
}

TEST(TextureLookup, BlendsBilinearlyAndRepeats) {
  const preview::Texture t = two_by_two();
  // Half way between red and green on the top row.
  expect_color(t.sample(0.5f, 0.75f), 0.5f, 0.5f, 0);
  // u = 0 lies between the last texel and the first: repeat, not clamp.
  expect_color(t.sample(0.0f, 0.75f), 0.5f, 0.5f, 0);
  // A whole number of repeats either way changes nothing.
  for (const float shift : {1.0f, 3.0f, -1.0f, -2.0f}) {
    for (const float u : {0.1f, 0.25f, 0.6f}) {
      const core::Color a = t.sample(u, 0.4f), b = t.sample(u + shift, 0.4f - shift);
      EXPECT_NEAR(a.r, b.r, 1e-5f) << u << " " << shift;
      EXPECT_NEAR(a.g, b.g, 1e-5f) << u << " " << shift;
      EXPECT_NEAR(a.b, b.b, 1e-5f) << u << " " << shift;
    }
  }
}

TEST(TextureLookup, NonFiniteCoordinatesReadAsZero) {
  const preview::Texture t = two_by_two();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const core::Color zero = t.sample(0.0f, 0.0f);
  for (const auto& [u, v] : {std::pair{nan, 0.0f}, {0.0f, inf}, {-inf, nan}}) {
    const core::Color c = t.sample(u, v);
    expect_color(c, zero.r, zero.g, zero.b);
  }
}

TEST(SrgbCurve, EndsAndKnee) {
  EXPECT_EQ(preview::srgb_to_linear(0), 0.0f);
  EXPECT_EQ(preview::srgb_to_linear(255), 1.0f);
  // The linear segment below the knee, and the power curve above it.
  EXPECT_FLOAT_EQ(preview::srgb_to_linear(10), static_cast<float>(10.0 / 255.0 / 12.92));
  EXPECT_FLOAT_EQ(preview::srgb_to_linear(128),
                  static_cast<float>(std::pow((128.0 / 255.0 + 0.055) / 1.055, 2.4)));
  // Each code back to itself through the writer's encoding.
  for (int code = 0; code < 256; ++code) {
    EXPECT_EQ(preview::srgb_byte(preview::srgb_to_linear(static_cast<unsigned char>(code))), code);
  }
}

}  // namespace
