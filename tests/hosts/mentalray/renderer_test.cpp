// The stand-in renderer's own promises to the tools that drive it:
// parameters set by name with clear refusals, and geometric lights that
// aim at the shaded point.
#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <tuple>

#include "harness.h"

namespace {

class ParametersByName : public mrtest::RendererTest {};

TEST_F(ParametersByName, ValuesLandInTheirFields) {
  auto block = renderer.make_block({});
  std::string error;
  EXPECT_TRUE(block.set("color", "0.8, 0.2 0.1", &error)) << error;
  EXPECT_TRUE(block.set("normalOffset", std::vector<float>{0.0f, 1.0f, -1.0f}, &error)) << error;
  EXPECT_TRUE(block.set("useIrradiance", "on", &error)) << error;
  EXPECT_TRUE(block.set("edginess", "2.5", &error)) << error;
  const auto& p = params(block);
  EXPECT_EQ(p.color.r, 0.8f);
  EXPECT_EQ(p.color.b, 0.1f);
  EXPECT_EQ(p.color.a, 1.0f);  // three values make an opaque colour
  EXPECT_EQ(p.normalOffset.z, -1.0f);
  EXPECT_EQ(p.useIrradiance, 1);
  EXPECT_EQ(p.edginess, 2.5f);
  EXPECT_EQ(p.diffuse, 0.8f);  // the declared default
}

TEST_F(ParametersByName, RefusalsSayWhatIsWrong) {
  auto block = renderer.make_block({});
  const auto before = params(block);
  std::string error;
  EXPECT_FALSE(block.set("colour", "1 0 0", &error));
  EXPECT_EQ(
      error.rfind("unknown parameter \"colour\" of shader \"krel_velvet\" (parameters: color,", 0),
      0u)
      << error;
  EXPECT_FALSE(block.set("diffuse", "1 2 3", &error));
  EXPECT_EQ(error, "parameter \"diffuse\" is a scalar: expected 1 value, got 3 values");
  EXPECT_FALSE(block.set("color", "1 0", &error));
  EXPECT_EQ(error, "parameter \"color\" is a color: expected 3 or 4 values, got 2 values");
  EXPECT_FALSE(block.set("useIrradiance", "0.5", &error));
  EXPECT_EQ(error,
            "parameter \"useIrradiance\" is a boolean: expected a whole number, got 1 value");
  EXPECT_FALSE(block.set("edginess", "soft", &error));
  EXPECT_EQ(error, "parameter \"edginess\": \"soft\" is not a number");
  EXPECT_EQ(std::memcmp(&before, &params(block), sizeof before), 0) << "a refused value was stored";
}

// Text takes the words every reader of values takes (hostkit/value_words.h),
// separated by any white space or commas.
TEST_F(ParametersByName, TextTakesTheSharedWordsBetweenAnyWhiteSpace) {
  auto block = renderer.make_block({});
  std::string error;
  EXPECT_TRUE(block.set("useIrradiance", "yes", &error)) << error;
  EXPECT_EQ(params(block).useIrradiance, 1);
  EXPECT_TRUE(block.set("useIrradiance", "no", &error)) << error;
  EXPECT_EQ(params(block).useIrradiance, 0);
  EXPECT_TRUE(block.set("color", "\n0.5\r\n0.25\t0.125,\n", &error)) << error;
  EXPECT_EQ(params(block).color.g, 0.25f);
  EXPECT_EQ(params(block).color.b, 0.125f);
}

// A value the shader could only turn into a NaN colour is refused, as the
// declaration's defaults and the command line refuse it.
TEST_F(ParametersByName, TextRefusesNonFiniteNumbers) {
  auto block = renderer.make_block({});
  const auto before = params(block);
  std::string error;
  for (const char* text : {"inf", "-inf", "nan", "1e39", "0x1p3"}) {
    EXPECT_FALSE(block.set("edginess", text, &error)) << text;
    EXPECT_EQ(error, std::string("parameter \"edginess\": \"") + text + "\" is not a number");
  }
  EXPECT_EQ(std::memcmp(&before, &params(block), sizeof before), 0) << "a refused value was stored";
}

class GeometricLights : public mrtest::RendererTest {
 protected:
  using SampleLight = miBoolean (*)(miColor*, miVector*, miScalar*, miState*, miTag, miInteger*);

  // Asks the host module directly, as the shader would.
  std::vector<std::tuple<miColor, miVector>> samples(miTag light, miVector point) {
    const auto sample =
        reinterpret_cast<SampleLight>(mrhost::testing::find_export(host(), "mi_sample_light"));
    auto block = renderer.make_block({});
    miState st = renderer.make_state(block, point, {0, 0, 1}, {0, 0, -1});
    std::vector<std::tuple<miColor, miVector>> out;
    miColor color;
    miVector dir;
    miScalar dot;
    miInteger count = 0;
    while (sample(&color, &dir, &dot, &st, light, &count) && out.size() < 100) {
      out.emplace_back(color, dir);
    }
    EXPECT_EQ(count, static_cast<miInteger>(out.size()));
    return out;
  }
};

TEST_F(GeometricLights, PointLightAimsFromTheShadedPoint) {
  const miTag light = host().add_point_light({3.0f, 1.0f, 4.0f}, {0.5f, 0.25f, 1.0f, 1.0f});
  const auto got = samples(light, {0.0f, 1.0f, 0.0f});
  ASSERT_EQ(got.size(), 1u);
  const miVector dir = std::get<1>(got[0]);
  EXPECT_FLOAT_EQ(dir.x, 0.6f);  // tolerance: the length is a rounded square root
  EXPECT_EQ(dir.y, 0.0f);
  EXPECT_FLOAT_EQ(dir.z, 0.8f);
  EXPECT_EQ(std::get<0>(got[0]).g, 0.25f);
}

TEST_F(GeometricLights, AreaLightsGiveTheirSampleCountOfDistinctUnitDirections) {
  const miColor white{1.0f, 1.0f, 1.0f, 1.0f};
  for (const miTag light : {host().add_rect_light({0, 0, 5}, {2, 0, 0}, {0, 2, 0}, white, 8),
                            host().add_disc_light({0, 0, 5}, {0, 0, -1}, 1.0f, white, 8)}) {
    const auto got = samples(light, {0.0f, 0.0f, 0.0f});
    ASSERT_EQ(got.size(), 8u);
    std::set<std::tuple<float, float, float>> distinct;
    for (const auto& [color, dir] : got) {
      EXPECT_NEAR(std::sqrt(dir.x * dir.x + dir.y * dir.y + dir.z * dir.z), 1.0f, 1e-6f);
      EXPECT_GT(dir.z, 0.9f);  // within a unit or so of the axis, five units up
      distinct.insert({dir.x, dir.y, dir.z});
    }
    EXPECT_EQ(distinct.size(), 8u);
  }
}

}  // namespace
