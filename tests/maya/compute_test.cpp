// velvet::compute as Maya drives it: which plug computes what, the colour
// formula, and the cases at its edges. The arithmetic order is fixed, so the
// expected colours are formed here in that order and compared exactly.
#include <mayahost/testing.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "core/velvet_lobe.h"
#include "plugin_fixture.h"

namespace {

struct V3 {
  float x, y, z;
  float operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }
};

struct TestLight {
  V3 direction, intensity;
  bool ambient, diffuse, specular;
};

struct Material {
  V3 color{0.6f, 0.4f, 0.3f}, ambientColor{0.05f, 0.1f, 0.15f}, incandescence{0.01f, 0.02f, 0.03f};
  V3 specularColor{0.7f, 0.5f, 0.9f}, transparency{0.1f, 0.2f, 0.3f};
  float diffuse = 0.8f, translucence = 0.25f, backscatter = 0.3f, edginess = 4.0f,
        roughness = 0.35f;
  V3 normal{0.1f, 0.2f, 0.97f}, ray{0.3f, -0.2f, -0.93f};
};

core::Vector unitOrZero(V3 v) {
  const float len = std::sqrt((v.x * v.x + v.y * v.y) + v.z * v.z);
  if (len == 0.0f) return {0.0f, 0.0f, 0.0f};
  return {v.x / len, v.y / len, v.z / len};
}

// The documented colour: (1 - T) * (ambient lights + diffuse + ambientColor *
// color + incandescence + translucence) + the velvet lobes.
V3 expectedColor(const Material& m, const std::vector<TestLight>& lights) {
  float amb[3] = {}, dif[3] = {}, trn[3] = {}, vel[3] = {};
  const core::Vector N = unitOrZero(m.normal);
  const core::Vector r = unitOrZero(m.ray);
  const core::Vector V{-r.x, -r.y, -r.z};
  for (const TestLight& l : lights) {
    for (int c = 0; c < 3; ++c) {
      if (l.ambient) amb[c] += l.intensity[c] * m.color[c];
    }
    if (l.diffuse) {
      const V3& d = l.direction;
      const float NL = (d.x * m.normal.x + d.y * m.normal.y) + d.z * m.normal.z;
      if (NL > 0.0f) {
        const float s = NL > 1.0f ? 1.0f : NL * NL * (3.0f - 2.0f * NL);
        for (int c = 0; c < 3; ++c) dif[c] += ((s * m.diffuse) * l.intensity[c]) * m.color[c];
      }
    }
    if (l.specular) {
      core::Color lobe;
      core::velvet_lobe(V, N, unitOrZero(l.direction),
                        {l.intensity.x, l.intensity.y, l.intensity.z},
                        {m.specularColor.x, m.specularColor.y, m.specularColor.z}, lobe,
                        m.roughness, m.edginess, m.backscatter);
      vel[0] += lobe.r;
      vel[1] += lobe.g;
      vel[2] += lobe.b;
    }
    for (int c = 0; c < 3; ++c) trn[c] += (l.intensity[c] * m.color[c]) * m.translucence;
  }
  float out[3];
  for (int c = 0; c < 3; ++c) {
    const float base =
        amb[c] + (((dif[c] + m.ambientColor[c] * m.color[c]) + m.incandescence[c]) + trn[c]);
    out[c] = (1.0f - m.transparency[c]) * base + vel[c];
  }
  return {out[0], out[1], out[2]};
}

class Compute : public VelvetNodeTest {
 protected:
  void apply(const Material& m, const std::vector<TestLight>& lights) {
    auto set3 = [&](const std::string& plug, V3 v) { set(plug, {v.x, v.y, v.z}); };
    set3("color", m.color);
    set3("ambientColor", m.ambientColor);
    set3("incandescence", m.incandescence);
    set3("specularColor", m.specularColor);
    set3("transparency", m.transparency);
    set("diffuse", {m.diffuse});
    set("translucence", {m.translucence});
    set("backscatter", {m.backscatter});
    set("edginess", {m.edginess});
    set("roughness", {m.roughness});
    set3("normalCamera", m.normal);
    set3("rayDirection", m.ray);
    ASSERT_TRUE(node.resizeArray("lightDataArray", 0).ok());
    for (std::size_t i = 0; i < lights.size(); ++i) {
      const std::string e = "lightDataArray[" + std::to_string(i) + "].";
      set3(e + "lightDirection", lights[i].direction);
      set3(e + "lightIntensity", lights[i].intensity);
      set(e + "lightAmbient", {lights[i].ambient ? 1.0f : 0.0f});
      set(e + "lightDiffuse", {lights[i].diffuse ? 1.0f : 0.0f});
      set(e + "lightSpecular", {lights[i].specular ? 1.0f : 0.0f});
    }
  }
  V3 outColor() {
    const std::vector<float> v = get("outColor");
    return v.size() == 3 ? V3{v[0], v[1], v[2]} : V3{-1, -1, -1};
  }
};

void expectSame(V3 actual, V3 expected) {
  EXPECT_EQ(actual.x, expected.x);
  EXPECT_EQ(actual.y, expected.y);
  EXPECT_EQ(actual.z, expected.z);
}

const TestLight kFront{{0.2f, 0.3f, 0.93f}, {0.9f, 0.8f, 0.7f}, true, true, true};
const TestLight kSide{{-0.8f, 0.1f, 0.6f}, {0.3f, 0.6f, 0.2f}, true, true, true};

// ---- Which plug computes what ------------------------------------------------

TEST_F(Compute, AnOutColorChildComputesAndStoresTheWholeColour) {
  Material m;
  apply(m, {kFront, kSide});
  MStatus result;
  std::vector<std::string> accesses;
  ASSERT_TRUE(node.compute("outColorG", &result, &accesses).ok());
  EXPECT_EQ(result, MStatus::kSuccess);
  bool dirty = true;
  ASSERT_TRUE(node.isDirty("outColor", &dirty).ok());
  EXPECT_FALSE(dirty);
  expectSame(outColor(), expectedColor(m, {kFront, kSide}));
  // Every input once, transparency only after the lights, outTransparency
  // untouched.
  EXPECT_EQ(accesses,
            (std::vector<std::string>{
                "inputValue rayDirection", "inputValue normalCamera", "inputValue color",
                "inputValue ambientColor", "inputValue incandescence", "inputValue specularColor",
                "inputValue diffuse", "inputValue translucence", "inputValue backscatter",
                "inputValue edginess", "inputValue roughness", "inputArrayValue lightDataArray",
                "inputValue transparency", "outputValue outColor"}));
}

TEST_F(Compute, EveryOutColorPlugGivesTheSameColour) {
  Material m;
  apply(m, {kFront});
  for (const char* plug : {"outColor", "outColorR", "outColorB"}) {
    ASSERT_TRUE(node.set("color", {0.0f, 0.0f, 0.0f}).ok());  // make it dirty
    apply(m, {kFront});
    MStatus result;
    ASSERT_TRUE(node.compute(plug, &result).ok());
    EXPECT_EQ(result, MStatus::kSuccess) << plug;
    expectSame(outColor(), expectedColor(m, {kFront}));
  }
}

TEST_F(Compute, OutTransparencyChildCopiesTransparencyAndReadsNothingElse) {
  set("transparency", {0.25f, 0.5f, 1.5f});
  MStatus result;
  std::vector<std::string> accesses;
  ASSERT_TRUE(node.compute("outTransparencyR", &result, &accesses).ok());
  EXPECT_EQ(result, MStatus::kSuccess);
  EXPECT_EQ(accesses,
            (std::vector<std::string>{"inputValue transparency", "outputValue outTransparency"}));
  EXPECT_EQ(get("outTransparency"), (std::vector<float>{0.25f, 0.5f, 1.5f}));
}

TEST_F(Compute, AnInputPlugIsUnknownAndTouchesNothing) {
  for (const char* plug : {"color", "colorR", "diffuse", "lightDataArray[0].lightIntensity"}) {
    MStatus result;
    std::vector<std::string> accesses;
    ASSERT_TRUE(node.compute(plug, &result, &accesses).ok());
    EXPECT_EQ(result, MStatus::kUnknownParameter) << plug;
    EXPECT_EQ(result.statusCode(), 5);
    EXPECT_TRUE(accesses.empty()) << plug;
  }
  bool dirty = false;
  ASSERT_TRUE(node.isDirty("outColor", &dirty).ok());
  EXPECT_TRUE(dirty);
}

// ---- The colour formula ------------------------------------------------------

TEST_F(Compute, EachCombinationOfLightSwitches) {
  const Material m;
  for (int mask = 0; mask < 8; ++mask) {
    TestLight a = kFront, b = kSide;
    a.ambient = b.ambient = (mask & 1) != 0;
    a.diffuse = b.diffuse = (mask & 2) != 0;
    a.specular = b.specular = (mask & 4) != 0;
    SCOPED_TRACE(mask);
    apply(m, {a, b});
    expectSame(outColor(), expectedColor(m, {a, b}));
  }
}

TEST_F(Compute, LightWithEverySwitchOffStillAddsTranslucence) {
  Material m;
  m.ambientColor = m.incandescence = m.transparency = {0, 0, 0};
  const TestLight off{{0.0f, 0.0f, 1.0f}, {0.5f, 1.0f, 2.0f}, false, false, false};
  apply(m, {off});
  const V3 c = outColor();
  expectSame(c, {(0.5f * m.color.x) * m.translucence, (1.0f * m.color.y) * m.translucence,
                 (2.0f * m.color.z) * m.translucence});
  EXPECT_GT(c.z, 0.0f);
}

TEST_F(Compute, EmptyLightArrayGivesAttenuatedAmbientAndIncandescence) {
  const Material m;
  apply(m, {});
  V3 expected;
  float* e[3] = {&expected.x, &expected.y, &expected.z};
  for (int c = 0; c < 3; ++c) {
    *e[c] = (1.0f - m.transparency[c]) * (m.ambientColor[c] * m.color[c] + m.incandescence[c]);
  }
  expectSame(outColor(), expected);
}

TEST_F(Compute, TransparencyAttenuatesAllButTheLobe) {
  Material m;
  m.transparency = {1, 1, 1};
  apply(m, {kFront, kSide});
  const V3 onlyLobes = outColor();
  Material noBase = m;
  noBase.color = noBase.ambientColor = noBase.incandescence = {0, 0, 0};
  expectSame(onlyLobes, expectedColor(noBase, {kFront, kSide}));
  EXPECT_GT(onlyLobes.x, 0.0f);

  m.transparency = {0, 0, 0};
  apply(m, {kFront, kSide});
  expectSame(outColor(), expectedColor(m, {kFront, kSide}));

  // Above 1 the base turns negative; nothing clamps it.
  m.transparency = {3, 3, 3};
  m.specularColor = {0, 0, 0};
  apply(m, {kFront});
  const V3 negative = outColor();
  expectSame(negative, expectedColor(m, {kFront}));
  EXPECT_LT(negative.x, 0.0f);
}

TEST_F(Compute, LightBehindTheSurfaceAddsOnlyTranslucence) {
  Material m;
  m.normal = {0, 0, 1};
  m.ambientColor = m.incandescence = m.transparency = {0, 0, 0};
  const TestLight behind{{0.0f, 0.3f, -0.95f}, {1.0f, 1.0f, 1.0f}, false, true, true};
  apply(m, {behind});
  expectSame(outColor(),
             {m.color.x * m.translucence, m.color.y * m.translucence, m.color.z * m.translucence});
}

TEST_F(Compute, LongNormalShapesDiffuseButNotTheLobe) {
  Material m;
  m.normal = {0.0f, 0.0f, 3.0f};
  m.translucence = 0;
  m.ambientColor = m.incandescence = m.transparency = {0, 0, 0};
  TestLight half{{0.0f, 0.6f, 0.8f}, {1.0f, 1.0f, 1.0f}, false, true, false};
  apply(m, {half});
  // N.L = 2.4 > 1: full diffuse, as if the light stood on the normal.
  expectSame(outColor(), {m.diffuse * m.color.x, m.diffuse * m.color.y, m.diffuse * m.color.z});

  half.diffuse = false;
  half.specular = true;
  apply(m, {half});
  const V3 longNormal = outColor();
  m.normal = {0.0f, 0.0f, 1.0f};
  apply(m, {half});
  expectSame(longNormal, outColor());
}

TEST_F(Compute, FailingNextEndsTheLightLoopEarly) {
  const Material m;
  apply(m, {kFront, kSide, kFront});
  mayahost::failCall(mayahost::Op::kArrayNext, 1);
  MStatus result;
  ASSERT_TRUE(node.compute("outColor", &result).ok());
  EXPECT_EQ(result, MStatus::kSuccess);
  expectSame(outColor(), expectedColor(m, {kFront}));
  // Without a failure the loop visits every light and calls next once each
  // (a far-off planned failure keeps next counted).
  mayahost::clearFaults();
  mayahost::failCall(mayahost::Op::kArrayNext, 100);
  ASSERT_TRUE(node.compute("outColor", &result).ok());
  EXPECT_EQ(mayahost::callCount(mayahost::Op::kArrayNext), 3u);
  expectSame(outColor(), expectedColor(m, {kFront, kSide, kFront}));
}

TEST_F(Compute, ManyLightsGiveTheSameBitsAsOneByOne) {
  // More lights than compute handles in one batch, in a random mix.
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f), pos(0.0f, 1.0f);
  std::vector<TestLight> lights(37);
  for (TestLight& l : lights) {
    l = {{u(rng), u(rng), u(rng)},
         {pos(rng), pos(rng), pos(rng)},
         pos(rng) > 0.5f,
         pos(rng) > 0.5f,
         pos(rng) > 0.2f};
  }
  const Material m;
  apply(m, lights);
  expectSame(outColor(), expectedColor(m, lights));
  // next() failing after the 20th light: the first 20 count.
  mayahost::failCall(mayahost::Op::kArrayNext, 20);
  MStatus result;
  ASSERT_TRUE(node.compute("outColor", &result).ok());
  expectSame(outColor(),
             expectedColor(m, std::vector<TestLight>(lights.begin(), lights.begin() + 20)));
}

// ---- Zero-length vectors (mended: no division by a zero length) --------------

TEST_F(Compute, ZeroLengthVectorsGiveAFiniteColour) {
  struct Case {
    const char* what;
    V3 normal, ray, direction;
  };
  const V3 zero{0, 0, 0};
  for (const Case& k : {Case{"normal", zero, {0, 0, -1}, {0, 0.6f, 0.8f}},
                        Case{"ray", {0, 0, 1}, zero, {0, 0.6f, 0.8f}},
                        Case{"light direction", {0, 0, 1}, {0, 0, -1}, zero}}) {
    SCOPED_TRACE(k.what);
    Material m;
    m.normal = k.normal;
    m.ray = k.ray;
    const TestLight light{k.direction, {1.0f, 0.5f, 0.25f}, true, true, true};
    apply(m, {light});
    const V3 c = outColor();
    EXPECT_TRUE(std::isfinite(c.x) && std::isfinite(c.y) && std::isfinite(c.z));
    expectSame(c, expectedColor(m, {light}));
  }
}

TEST_F(Compute, ZeroNormalOrLightDirectionGivesABlackLobe) {
  Material m;
  m.color = m.ambientColor = m.incandescence = {0, 0, 0};
  m.normal = {0, 0, 0};
  apply(m, {{{0, 0, 1}, {1, 1, 1}, false, false, true}});
  expectSame(outColor(), {0, 0, 0});
  m.normal = {0, 0, 1};
  apply(m, {{{0, 0, 0}, {1, 1, 1}, false, false, true}});
  expectSame(outColor(), {0, 0, 0});
}

}  // namespace
