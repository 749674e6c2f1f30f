// The shading core: helpers, the lobe's special cases, and properties that
// catch a swapped argument or channel. The arithmetic order is fixed, so
// results are compared exactly.
#include "core/velvet_lobe.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace {

using core::Color;
using core::Vector;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

Color lobe(Vector V, Vector N, Vector L, Color light, Color spec, float roughness, float edginess,
           float backscatter) {
  Color out{-1.0f, -1.0f, -1.0f};
  core::velvet_lobe(V, N, L, light, spec, out, roughness, edginess, backscatter);
  return out;
}

void expect_same(Color a, Color b) {
  EXPECT_EQ(a.r, b.r);
  EXPECT_EQ(a.g, b.g);
  EXPECT_EQ(a.b, b.b);
}

Vector normalized(Vector v) {
  const float len = std::sqrt(core::dot(v, v));
  return {v.x / len, v.y / len, v.z / len};
}

Vector random_unit(std::mt19937& rng) {
  std::normal_distribution<float> g(0.0f, 1.0f);
  return normalized({g(rng), g(rng), g(rng)});
}

Color random_color(std::mt19937& rng) {
  std::uniform_real_distribution<float> u(0.05f, 1.0f);
  return {u(rng), u(rng), u(rng)};
}

const Vector kZ{0.0f, 0.0f, 1.0f};
const Color kLight{0.9f, 0.6f, 0.3f};
const Color kSpec{0.5f, 0.25f, 0.75f};

// --- Helpers ---------------------------------------------------------------

TEST(Helpers, SmoothstepClampsToUnitInterval) {
  EXPECT_EQ(core::smoothstep(0.0f, 1.0f, -0.5f), 0.0f);
  EXPECT_EQ(core::smoothstep(0.0f, 1.0f, 0.0f), 0.0f);
  EXPECT_EQ(core::smoothstep(0.0f, 1.0f, 0.5f), 0.5f);
  EXPECT_EQ(core::smoothstep(0.0f, 1.0f, 1.0f), 1.0f);
  EXPECT_EQ(core::smoothstep(0.0f, 1.0f, 2.0f), 1.0f);
  EXPECT_EQ(core::smoothstep(0.0f, 1.0f, kInf), 1.0f);
  EXPECT_EQ(core::smoothstep(0.0f, 1.0f, -kInf), 0.0f);
  EXPECT_TRUE(std::isnan(core::smoothstep(0.0f, 1.0f, kNaN)));
}

TEST(Helpers, MaxReturnsFirstArgumentUnlessSecondIsGreater) {
  EXPECT_EQ(core::max(1.0f, 2.0f), 2.0f);
  EXPECT_EQ(core::max(2.0f, 1.0f), 2.0f);
  // A NaN first argument survives; a NaN second argument is dropped. The lobe
  // clamps with max(value, 0) so that a NaN input stays visible.
  EXPECT_TRUE(std::isnan(core::max(kNaN, 0.0f)));
  EXPECT_EQ(core::max(0.0f, kNaN), 0.0f);
  // Equal operands: the first one wins, which shows on signed zeros.
  EXPECT_TRUE(std::signbit(core::max(-0.0f, 0.0f)));
}

TEST(Helpers, DotSumsXYFirstThenZ) {
  // (1 + 1e8) rounds to 1e8, so the x term is lost only when x and y are
  // summed first.
  const Vector a{1.0f, 1.0e8f, -1.0e8f};
  const Vector ones{1.0f, 1.0f, 1.0f};
  EXPECT_EQ(core::dot(a, ones), 0.0f);
  EXPECT_EQ(core::square(3.0f), 9.0f);
}

// --- Special configurations --------------------------------------------------

TEST(LobeCases, AllAlignedGivesBackscatterTimesColours) {
  const Color out = lobe(kZ, kZ, kZ, kLight, kSpec, 0.3f, 4.0f, 0.7f);
  // P = 1 and E = 0, so only the back-scatter term remains.
  EXPECT_EQ(out.r, (kLight.r * 0.7f) * kSpec.r);
  EXPECT_EQ(out.g, (kLight.g * 0.7f) * kSpec.g);
  EXPECT_EQ(out.b, (kLight.b * 0.7f) * kSpec.b);
}

TEST(LobeCases, LightBehindSurfaceIsBlack) {
  const Vector behind{0.0f, 0.6f, -0.8f};
  const Vector V = normalized({0.0f, -0.5f, 1.0f});
  expect_same(lobe(V, kZ, behind, kLight, kSpec, 0.2f, 10.0f, 0.1f), {0.0f, 0.0f, 0.0f});
  // Exactly edge-on counts as behind too.
  const Vector edge_on{1.0f, 0.0f, 0.0f};
  expect_same(lobe(V, kZ, edge_on, kLight, kSpec, 0.2f, 10.0f, 0.1f), {0.0f, 0.0f, 0.0f});
}

TEST(LobeCases, LightAboveUnitDotCountsAsOne) {
  // V is perpendicular to both, so only the edge term (weighted by S) shows.
  const Vector V{1.0f, 0.0f, 0.0f};
  const Color unit = lobe(V, kZ, kZ, kLight, kSpec, 0.2f, 10.0f, 0.1f);
  const Color longer = lobe(V, kZ, {0.0f, 0.0f, 1.5f}, kLight, kSpec, 0.2f, 10.0f, 0.1f);
  expect_same(longer, unit);
}

TEST(LobeCases, LightOnFarSideFromViewerDropsBackscatterOnly) {
  const Vector V{-0.8f, 0.0f, 0.6f};
  const Vector L{0.8f, 0.0f, 0.6f};  // L.V < 0, both above the surface
  const Color without = lobe(V, kZ, L, kLight, kSpec, 0.2f, 2.0f, 0.0f);
  const Color with = lobe(V, kZ, L, kLight, kSpec, 0.2f, 2.0f, 5.0f);
  expect_same(with, without);
  EXPECT_GT(with.r, 0.0f);
}

TEST(LobeCases, GrazingViewGivesFullEdgeTerm) {
  // N.V = 0 and N.V < 0 both give B = 1, so E = 1 whatever the edginess;
  // L.V = 0 removes the back-scatter term.
  for (const Vector V : {Vector{1.0f, 0.0f, 0.0f}, normalized({1.0f, 0.0f, -0.2f})}) {
    for (const float edginess : {0.0f, 3.0f, 1000.0f, -2.0f}) {
      const Vector L = V.z < 0.0f ? normalized({-0.2f, 0.0f, 1.0f}) : kZ;
      const float S = core::smoothstep(0.0f, 1.0f, core::dot(L, kZ));
      const Color out = lobe(V, kZ, L, kLight, kSpec, 0.2f, edginess, 0.0f);
      EXPECT_EQ(out.r, (kLight.r * S) * kSpec.r) << edginess;
      EXPECT_EQ(out.b, (kLight.b * S) * kSpec.b) << edginess;
    }
  }
}

TEST(LobeCases, ZeroEdginessGivesEdgeTermForEveryView) {
  std::mt19937 rng(7);
  const Vector L = normalized({0.3f, 0.1f, 0.9f});
  const float S = core::smoothstep(0.0f, 1.0f, core::dot(L, kZ));
  for (int i = 0; i < 100; ++i) {
    const Color out = lobe(random_unit(rng), kZ, L, kLight, kSpec, 0.2f, 0.0f, 0.0f);
    EXPECT_EQ(out.g, (kLight.g * S) * kSpec.g);
  }
}

TEST(LobeCases, RoughnessOneIsThePlainProduct) {
  const Vector L{0.6f, 0.0f, 0.8f};
  const float P = core::dot(L, kZ) * core::smoothstep(0.0f, 1.0f, core::dot(L, kZ));
  // V = N makes E = 0, leaving the back-scatter term alone.
  const Color out = lobe(kZ, kZ, L, kLight, kSpec, 1.0f, 5.0f, 0.5f);
  EXPECT_EQ(out.r, ((kLight.r * P) * 0.5f) * kSpec.r);
}

TEST(LobeCases, RoughnessZeroKeepsOnlyTheFullyAlignedHighlight) {
  const Vector L{0.6f, 0.0f, 0.8f};
  expect_same(lobe(kZ, kZ, L, kLight, kSpec, 0.0f, 5.0f, 0.5f), {0.0f, 0.0f, 0.0f});
  const Color aligned = lobe(kZ, kZ, kZ, kLight, kSpec, 0.0f, 5.0f, 0.5f);
  EXPECT_EQ(aligned.r, (kLight.r * 0.5f) * kSpec.r);
}

TEST(LobeCases, ResultIsOverwrittenNotAccumulated) {
  const Vector V = normalized({0.2f, -0.3f, 1.0f});
  const Vector L = normalized({-0.1f, 0.4f, 1.0f});
  Color fresh{0.0f, 0.0f, 0.0f};
  Color used{7.0f, -3.0f, kNaN};
  core::velvet_lobe(V, kZ, L, kLight, kSpec, fresh, 0.2f, 10.0f, 0.1f);
  core::velvet_lobe(V, kZ, L, kLight, kSpec, used, 0.2f, 10.0f, 0.1f);
  expect_same(used, fresh);
}

TEST(LobeCases, NaNInputPropagates) {
  const Vector L = normalized({0.1f, 0.2f, 1.0f});
  const Color bad_view = lobe({kNaN, 0.0f, 1.0f}, kZ, L, kLight, kSpec, 0.2f, 10.0f, 0.1f);
  EXPECT_TRUE(std::isnan(bad_view.r));
  const Color bad_light = lobe(kZ, kZ, L, {kNaN, 1.0f, 1.0f}, kSpec, 0.2f, 10.0f, 0.1f);
  EXPECT_TRUE(std::isnan(bad_light.r));
  // The NaN stays in its own channel.
  const Color white{1.0f, 1.0f, 1.0f};
  EXPECT_EQ(bad_light.g, lobe(kZ, kZ, L, white, kSpec, 0.2f, 10.0f, 0.1f).g);
}

// --- Head-on views -------------------------------------------------------------

TEST(LobeHeadOn, NormalAndViewFromTheSameDirectionStayFinite) {
  // Normalising the same direction twice gives vectors whose dot product can
  // round above 1; the edge term's square root must not see a negative.
  std::mt19937 rng(2026);
  std::normal_distribution<float> g(0.0f, 1.0f);
  int above_one = 0;
  for (int i = 0; i < 20000; ++i) {
    const Vector d{g(rng), g(rng), g(rng)};
    const Vector N = normalized(d);
    const Vector V = normalized(d);
    if (core::dot(N, V) > 1.0f) ++above_one;
    const Color out = lobe(V, N, N, kLight, kSpec, 0.2f, 10.0f, 0.1f);
    ASSERT_TRUE(std::isfinite(out.r) && std::isfinite(out.g) && std::isfinite(out.b)) << i;
  }
  EXPECT_GT(above_one, 0) << "the rounding case was never exercised";
}

// --- Argument and channel wiring -------------------------------------------------

TEST(LobeWiring, EachChannelScalesWithItsOwnColourChannels) {
  std::mt19937 rng(11);
  for (int i = 0; i < 200; ++i) {
    const Vector V = random_unit(rng);
    Vector N = random_unit(rng);
    if (core::dot(N, V) < 0.0f) N = {-N.x, -N.y, -N.z};
    const Vector L = random_unit(rng);
    const Color light = random_color(rng);
    const Color spec = random_color(rng);
    const Color base = lobe(V, N, L, light, spec, 0.3f, 4.0f, 0.6f);
    // Doubling is exact in binary floating point, so each channel must double
    // exactly and the others must not move at all.
    float Color::*channels[] = {&Color::r, &Color::g, &Color::b};
    for (float Color::*c : channels) {
      for (const bool scale_light : {true, false}) {
        Color l2 = light;
        Color s2 = spec;
        Color& scaled = scale_light ? l2 : s2;
        scaled.*c *= 2.0f;
        const Color out = lobe(V, N, L, l2, s2, 0.3f, 4.0f, 0.6f);
        for (float Color::*o : channels) {
          EXPECT_EQ(out.*o, c == o ? 2.0f * (base.*o) : base.*o);
        }
      }
    }
  }
}

TEST(LobeWiring, BlackWheneverTheLightIsBehind) {
  std::mt19937 rng(12);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  for (int i = 0; i < 500; ++i) {
    const Vector N = random_unit(rng);
    Vector L = random_unit(rng);
    if (core::dot(L, N) > 0.0f) L = {-L.x, -L.y, -L.z};
    const Color out = lobe(random_unit(rng), N, L, random_color(rng), random_color(rng),
                           0.1f + 0.9f * u(rng), 20.0f * u(rng), u(rng));
    expect_same(out, {0.0f, 0.0f, 0.0f});
  }
}

TEST(LobeWiring, ViewAndLightAreNotInterchangeable) {
  // Swapping V and L moves the wrap factor from N.L to N.V; a lobe wired the
  // wrong way round lights a surface that the light cannot see.
  const Vector V = normalized({0.3f, 0.0f, 1.0f});
  const Vector L{0.0f, 0.6f, -0.8f};
  expect_same(lobe(V, kZ, L, kLight, kSpec, 0.2f, 10.0f, 0.1f), {0.0f, 0.0f, 0.0f});
  EXPECT_GT(lobe(L, kZ, V, kLight, kSpec, 0.2f, 10.0f, 0.1f).r, 0.0f);
}

}  // namespace
