// The velvet look in Viewport 2.0, checked on a real rasterizer: the effect
// built from the plug-in's fragment graph runs on Mesa (EGL, llvmpipe) over a
// table of shading inputs and is compared with velvet::compute, driven
// through the stand-in host with the same lights.
//
// Lights reach the two the way each host hands them over: the node gets one
// lightDataArray element per light with its switches; the graph gets ambient
// lights summed in ambientIn and every other light in the loop, with
// diffuseI and specularI the light's intensity where it emits diffuse or
// specular light and black where it does not (Lw = HLw = its direction).
//
// The tolerance: a GPU's pow is exp2(y * log2(x)), whose error grows with
// the exponent, where the node calls the C library's powf; and GLSL gives no
// control over contraction, so a compiler may fuse a multiply and an add that
// the node keeps apart. Both change the last bits, more so for large
// exponents, never the look. Compared as |gpu - cpu| / max(1, |cpu|).
#include <gtest/gtest.h>
#include <maya/MFloatVector.h>
#include <maya/MTypes.h>
#include <mayahost/effect_layout.h>
#include <mayahost/headless_gl.h>
#include <mayahost/node.h>
#include <mayahost/plugin.h>
#include <mayahost/shading_block.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "effect_builder.h"
#include "fragment_files.h"
#include "fragment_library.h"

#if MAYA_API_VERSION >= 201400
#include <mayahost/viewport.h>
#endif

namespace {

namespace effect = mayahost::effect;

constexpr float kTolerance = 2e-5f;

enum class Kind { kAmbient, kDiffuse, kSpecular, kDiffuseSpecular };

struct TestLight {
  MFloatVector direction, intensity;
  Kind kind;
};

struct Sample {
  std::string what;
  MFloatVector normal, ray;
  std::vector<TestLight> lights;
};

struct Material {
  std::string what;
  std::vector<std::pair<std::string, std::vector<float>>> values;
};

// Every attribute the look reads, away from its default somewhere.
std::vector<Material> materials() {
  return {
      {"defaults", {}},
      {"every attribute",
       {{"color", {0.6f, 0.4f, 0.3f}},
        {"transparency", {0.1f, 0.2f, 0.3f}},
        {"ambientColor", {0.05f, 0.1f, 0.15f}},
        {"incandescence", {0.01f, 0.02f, 0.03f}},
        {"diffuse", {0.7f}},
        {"translucence", {0.25f}},
        {"backscatter", {0.3f}},
        {"edginess", {4.0f}},
        {"roughness", {0.35f}},
        {"specularColor", {0.7f, 0.5f, 0.9f}}}},
      {"tight highlight, sharp edge",
       {{"roughness", {0.1f}}, {"edginess", {20.0f}}, {"backscatter", {1.0f}}}},
      {"roughness 1, edginess 0", {{"roughness", {1.0f}}, {"edginess", {0.0f}}}},
      {"roughness 0", {{"roughness", {0.0f}}, {"backscatter", {0.8f}}}},
      {"opaque-less and translucent",
       {{"transparency", {1.0f, 0.5f, 0.0f}}, {"translucence", {1.0f}}, {"diffuse", {1.0f}}}},
  };
}

MFloatVector unit(float x, float y, float z) {
  const float l = std::sqrt(x * x + y * y + z * z);
  return {x / l, y / l, z / l};
}

std::vector<TestLight> randomLights(std::mt19937* rng, int count, const std::vector<Kind>& kinds) {
  std::uniform_real_distribution<float> d(-1.0f, 1.0f), c(0.0f, 1.5f);
  std::vector<TestLight> lights;
  for (int i = 0; i < count; ++i) {
    TestLight l;
    l.direction = unit(d(*rng), d(*rng), d(*rng) + 0.6f);
    l.intensity = {c(*rng), c(*rng), c(*rng)};
    l.kind = kinds[static_cast<std::size_t>(i) % kinds.size()];
    lights.push_back(l);
  }
  return lights;
}

// Views and normals (head-on, grazing, oblique, a normal longer than 1,
// zero-length vectors) times light sets (none, one of each kind, mixes of 2,
// 4 and 16, and 20 lights, of which the viewport draws 16).
std::vector<Sample> samples() {
  struct View {
    std::string what;
    MFloatVector normal, ray;
  };
  const std::vector<View> views = {
      {"head-on", {0, 0, 1}, {0, 0, -1}},
      {"head-on, tilted", unit(0.3f, -0.2f, 0.9f), -unit(0.3f, -0.2f, 0.9f)},
      {"oblique", unit(0.1f, 0.2f, 0.97f), unit(0.3f, -0.2f, -0.93f)},
      {"grazing", {0, 0, 1}, {1, 0, 0}},
      {"from behind", {0, 0, 1}, unit(0.2f, 0.1f, 0.9f)},
      {"normal longer than 1", {0.2f, 0.1f, 1.6f}, unit(0.3f, -0.2f, -0.93f)},
      {"zero-length normal", {0, 0, 0}, unit(0.3f, -0.2f, -0.93f)},
      {"zero-length view", unit(0.1f, 0.2f, 0.97f), {0, 0, 0}},
  };
  std::mt19937 rng(19);
  const std::vector<Kind> mix = {Kind::kDiffuseSpecular, Kind::kDiffuse, Kind::kSpecular,
                                 Kind::kAmbient};
  struct LightSet {
    std::string what;
    std::vector<TestLight> lights;
  };
  std::vector<LightSet> sets = {
      {"no light", {}},
      {"one diffuse-only", randomLights(&rng, 1, {Kind::kDiffuse})},
      {"one specular-only", randomLights(&rng, 1, {Kind::kSpecular})},
      {"one ambient", randomLights(&rng, 1, {Kind::kAmbient})},
      {"two diffuse and specular", randomLights(&rng, 2, {Kind::kDiffuseSpecular})},
      {"4 mixed", randomLights(&rng, 4, mix)},
      {"16 mixed", randomLights(&rng, 16, mix)},
      {"20 diffuse and specular", randomLights(&rng, 20, {Kind::kDiffuseSpecular})},
  };
  // Lights placed where the lobe changes: behind the viewer (back-scatter
  // peak), behind the surface, and a zero-length direction.
  sets.push_back({"at the viewer, behind the surface, zero-length",
                  {{unit(-0.3f, 0.2f, 0.93f), {1, 0.9f, 0.8f}, Kind::kDiffuseSpecular},
                   {{0, 0, -1}, {1, 1, 1}, Kind::kDiffuseSpecular},
                   {{0, 0, 0}, {0.5f, 0.5f, 0.5f}, Kind::kDiffuseSpecular}}});
  std::vector<Sample> out;
  for (const View& v : views) {
    for (const LightSet& s : sets)
      out.push_back({v.what + ", " + s.what, v.normal, v.ray, s.lights});
  }
  return out;
}

// What the graph receives for `samples`, one pixel each (a row of pixels).
std::vector<float> effectInputs(const std::vector<Sample>& samples) {
  const std::size_t width = samples.size();
  std::vector<float> in(width * 4 * effect::kLayers, 0.0f);
  auto put = [&](int layer, std::size_t x, const MFloatVector& v) {
    float* p = &in[(static_cast<std::size_t>(layer) * width + x) * 4];
    p[0] = v.x;
    p[1] = v.y;
    p[2] = v.z;
  };
  for (std::size_t x = 0; x < width; ++x) {
    const Sample& s = samples[x];
    put(effect::kLayerNw, x, s.normal);
    put(effect::kLayerVw, x, -s.ray);
    MFloatVector ambient;
    int k = 0;
    for (const TestLight& l : s.lights) {
      if (l.kind == Kind::kAmbient) {
        ambient = ambient + l.intensity;
        continue;
      }
      if (k < effect::kMaxLights) {
        const bool diffuse = l.kind != Kind::kSpecular, specular = l.kind != Kind::kDiffuse;
        put(effect::lightLayer(k, effect::kLw), x, l.direction);
        put(effect::lightLayer(k, effect::kHLw), x, l.direction);
        put(effect::lightLayer(k, effect::kDiffuseI), x, diffuse ? l.intensity : MFloatVector());
        put(effect::lightLayer(k, effect::kSpecularI), x, specular ? l.intensity : MFloatVector());
      }
      ++k;
    }
    put(effect::kLayerAmbientIn, x, ambient);
    put(effect::kLayerLightCount, x, MFloatVector(static_cast<float>(k), 0, 0));
  }
  return in;
}

// velvet::compute on each sample through the stand-in host, with the lights
// the viewport draws: the ambient ones and the first 16 of the others.
std::vector<MFloatVector> computed(mayahost::Node& node, const std::vector<Sample>& samples) {
  mayahost::ShadingBlock block(node, 64);
  std::vector<MFloatVector> out;
  for (const Sample& s : samples) {
    block.setNormal(s.normal);
    block.setRayDirection(s.ray);
    unsigned n = 0;
    int looped = 0;
    for (const TestLight& l : s.lights) {
      if (l.kind != Kind::kAmbient && looped++ >= effect::kMaxLights) continue;
      mayahost::Light light;
      light.direction = l.direction;
      light.intensity = l.intensity;
      light.ambient = l.kind == Kind::kAmbient;
      light.diffuse = l.kind == Kind::kDiffuse || l.kind == Kind::kDiffuseSpecular;
      light.specular = l.kind == Kind::kSpecular || l.kind == Kind::kDiffuseSpecular;
      block.setLight(n++, light);
    }
    block.setLightCount(n);
    EXPECT_EQ(block.compute(), MStatus::kSuccess);
    out.push_back(block.outColor());
  }
  return out;
}

class ViewportOnMesa : public ::testing::Test {
 protected:
  void SetUp() override {
    const mayahost::Status st = gl.open();
    if (!st.ok()) GTEST_SKIP() << "no headless OpenGL: " << st.message();
    std::string error;
    for (const auto& f : viewport_test::fragmentFiles()) {
      const std::string name = f.graph ? library.addGraph(f.xml.c_str(), &error)
                                       : library.addFragment(f.xml.c_str(), &error);
      ASSERT_EQ(name, f.name) << error;
    }
    ASSERT_TRUE(
        mayahost::detail::vp2::buildEffect(library, "velvetSurface", "GLSL", &effectGlsl, &error))
        << error;
    ASSERT_TRUE(plugin.load(VELVET_PLUGIN_PATH).ok());
    ASSERT_TRUE(node.create("velvet").ok());
  }
  void TearDown() override {
    node.destroy();
    if (plugin.loaded()) plugin.unload();
  }

  void apply(const Material& m) {
    mayahost::NodeTypeInfo unused;
    for (const auto& [name, value] : m.values) {
      ASSERT_TRUE(node.set(name, value.data(), value.size()).ok()) << name;
    }
  }

  // The graph's uniforms from the node's attributes of the same names.
  std::vector<mayahost::gl::UniformValue> uniforms() {
    std::vector<mayahost::gl::UniformValue> out;
    for (const auto& p : effectGlsl.uniforms) {
      std::vector<float> v;
      EXPECT_TRUE(node.get(p.name, &v).ok()) << p.name;
      out.push_back({"u_" + p.name, v});
    }
    return out;
  }

  std::vector<std::vector<float>> draw(const std::vector<Sample>& s,
                                       const std::vector<mayahost::gl::UniformValue>& u,
                                       const std::string& source) {
    std::vector<std::vector<float>> images;
    const mayahost::Status st = gl.draw(source, u, static_cast<int>(effectGlsl.outputs.size()),
                                        static_cast<int>(s.size()), 1, effectInputs(s), &images);
    EXPECT_TRUE(st.ok()) << st.message();
    return images;
  }

  mayahost::gl::HeadlessGl gl;
  mayahost::detail::vp2::FragmentLibrary library;
  mayahost::detail::vp2::Effect effectGlsl;
  mayahost::Plugin plugin;
  mayahost::Node node;
};

TEST_F(ViewportOnMesa, TheGraphMatchesComputeWithinTheTolerance) {
  const std::vector<Sample> table = samples();
  float largest = 0.0f;
  std::string where;
  int compared = 0;
  for (const Material& m : materials()) {
    ASSERT_TRUE(node.create("velvet").ok());
    apply(m);
    const auto images = draw(table, uniforms(), effectGlsl.source);
    ASSERT_EQ(images.size(), 3u);
    const std::vector<MFloatVector> expected = computed(node, table);
    std::vector<float> transparency;
    ASSERT_TRUE(node.get("transparency", &transparency).ok());
    for (std::size_t x = 0; x < table.size(); ++x) {
      const float* color = &images[0][x * 4];
      const float* outTransparency = &images[1][x * 4];
      const float* final = &images[2][x * 4];
      for (int c = 0; c < 3; ++c) {
        const float cpu = expected[x][static_cast<unsigned>(c)];
        ASSERT_TRUE(std::isfinite(color[c])) << m.what << "; " << table[x].what;
        ASSERT_TRUE(std::isfinite(cpu)) << m.what << "; " << table[x].what;
        const float error = std::fabs(color[c] - cpu) / std::max(1.0f, std::fabs(cpu));
        if (error > largest) {
          largest = error;
          where = m.what + "; " + table[x].what;
        }
        EXPECT_LE(error, kTolerance) << m.what << "; " << table[x].what << " channel " << c
                                     << ": viewport " << color[c] << ", compute " << cpu;
        // The other members: outTransparency is transparency, and the final
        // colour carries outColor.
        EXPECT_EQ(outTransparency[c], transparency[static_cast<std::size_t>(c)]);
        EXPECT_EQ(final[c], color[c]);
        ++compared;
      }
    }
  }
  std::printf("[ viewport ] %d channels on %s; largest difference from compute %.3g (%s)\n",
              compared, gl.renderer().c_str(), static_cast<double>(largest), where.c_str());
  RecordProperty("largest_difference", std::to_string(largest));
  EXPECT_GT(compared, 1000);
}

TEST_F(ViewportOnMesa, MoreThan16LightsDrawTheFirst16) {
  std::mt19937 rng(7);
  Sample s{"20 lights", unit(0.1f, 0.2f, 0.97f), unit(0.3f, -0.2f, -0.93f),
           randomLights(&rng, 20, {Kind::kDiffuseSpecular})};
  Sample first16 = s;
  first16.lights.resize(16);
  const auto images = draw({s, first16}, uniforms(), effectGlsl.source);
  ASSERT_EQ(images.size(), 3u);
  for (int c = 0; c < 4; ++c) EXPECT_EQ(images[0][static_cast<std::size_t>(c)], images[0][4u + c]);
}

TEST_F(ViewportOnMesa, OpacityOfTheFinalColourIsTheMeanOfTheChannels) {
  ASSERT_TRUE(node.set("transparency", {0.25f, 0.5f, 1.0f}).ok());
  const auto images = draw({samples()[0]}, uniforms(), effectGlsl.source);
  ASSERT_EQ(images.size(), 3u);
  EXPECT_NEAR(images[2][3], (0.75f + 0.5f + 0.0f) / 3.0f, 1e-6f);
}

TEST_F(ViewportOnMesa, ABrokenEffectIsReportedNotDrawn) {
  std::vector<std::vector<float>> images;
  const mayahost::Status st = gl.draw("#version 330 core\nvoid main() { undefined(); }\n", {}, 1, 1,
                                      1, std::vector<float>(4 * effect::kLayers), &images);
  EXPECT_FALSE(st.ok());
  EXPECT_NE(st.message().find("does not compile"), std::string::npos) << st.message();
  EXPECT_FALSE(gl.draw(effectGlsl.source, {}, 3, 2, 1, std::vector<float>(4), &images).ok());
}

// The context keeps the last effect linked: a draw of another source must
// link that one, and an effect may read layers after the Maya inputs (the
// preview feeds connected inputs there).
TEST_F(ViewportOnMesa, EachDrawRunsItsOwnSourceAndMayReadLayersAfterTheInputs) {
  const auto shader = [](const std::string& value) {
    return "#version 330 core\nuniform sampler2DArray velvetInputs;\n"
           "layout(location = 0) out vec4 result;\nvoid main()\n{\n    result = " +
           value + ";\n}\n";
  };
  const std::string constant = shader("vec4(0.25, 0.5, 0.75, 1.0)");
  const std::string extra = shader("texelFetch(velvetInputs, ivec3(ivec2(gl_FragCoord.xy), " +
                                   std::to_string(effect::kLayers) + "), 0)");
  std::vector<float> inputs(4 * (effect::kLayers + 1), 0.0f);
  const std::vector<float> last = {0.1f, 0.2f, 0.3f, 0.4f};
  std::copy(last.begin(), last.end(), inputs.end() - 4);
  std::vector<std::vector<float>> images;
  ASSERT_TRUE(gl.draw(constant, {}, 1, 1, 1, inputs, &images).ok());
  EXPECT_EQ(images[0], (std::vector<float>{0.25f, 0.5f, 0.75f, 1.0f}));
  ASSERT_TRUE(gl.draw(extra, {}, 1, 1, 1, inputs, &images).ok());
  EXPECT_EQ(images[0], last);
  ASSERT_TRUE(gl.draw(constant, {}, 1, 1, 1, inputs, &images).ok());
  EXPECT_EQ(images[0], (std::vector<float>{0.25f, 0.5f, 0.75f, 1.0f}));
  // Fewer layers than Maya's inputs, or a ragged last layer: refused.
  EXPECT_FALSE(gl.draw(constant, {}, 1, 1, 1, std::vector<float>(4), &images).ok());
  EXPECT_FALSE(gl.draw(constant, {}, 1, 1, 1, std::vector<float>(inputs.size() + 2), &images).ok());
}

#if MAYA_API_VERSION >= 201400
TEST_F(ViewportOnMesa, ThePluginsOverrideDrawsTheSameBits) {
  if (!mayahost::viewport::canReadFragments()) GTEST_SKIP() << "built without pugixml";
  const Material m = materials()[1];
  apply(m);
  mayahost::viewport::Shader shader;
  const mayahost::Status st =
      mayahost::viewport::buildShader(node, MHWRender::kOpenGLCoreProfile, &shader);
  ASSERT_TRUE(st.ok()) << st.message();
  std::vector<mayahost::gl::UniformValue> fromOverride;
  for (const auto& u : shader.uniforms) fromOverride.push_back({"u_" + u.parameter, u.value});
  const std::vector<Sample> table = samples();
  EXPECT_EQ(draw(table, fromOverride, shader.source), draw(table, uniforms(), effectGlsl.source));
}
#endif

}  // namespace
