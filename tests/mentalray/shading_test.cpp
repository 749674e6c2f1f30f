// The shading body as the renderer exercises it: lights and their samples,
// the diffuse and lobe terms, the bent normal, irradiance, and connected
// parameters. Values whose arithmetic order is fixed are compared exactly.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "core/velvet_lobe.h"
#include "harness.h"

namespace {

using mrhost::HostCall;
using mrhost::LightSample;

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
const miColor kWhite{1.0f, 1.0f, 1.0f, 1.0f};

std::vector<mrhost::CallRecord> calls_of(const mrhost::HostModule& host, HostCall function) {
  std::vector<mrhost::CallRecord> out;
  for (const mrhost::CallRecord& c : mrhost::testing::calls(host)) {
    if (c.function == function) out.push_back(c);
  }
  return out;
}

void expect_same(miVector a, miVector b) {
  EXPECT_EQ(a.x, b.x);
  EXPECT_EQ(a.y, b.y);
  EXPECT_EQ(a.z, b.z);
}

class ShadingTerms : public mrtest::RendererTest {};

TEST_F(ShadingTerms, NoLightsAddAmbientAndIncandescenceToWhatArrived) {
  auto block = black_block({});
  auto& p = params(block);
  p.color = {0.5f, 0.25f, 1.0f, 0.0f};
  p.ambientColor = {0.5f, 0.5f, 0.5f, 0.0f};
  p.incandescence = {0.125f, 0.0f, 2.0f, 0.0f};
  miState st = state(block);
  const miColor c = shade(block, st, {1.0f, 2.0f, 3.0f, 0.25f});
  EXPECT_EQ(c.r, 1.375f);
  EXPECT_EQ(c.g, 2.125f);
  EXPECT_EQ(c.b, 5.5f);
  EXPECT_EQ(c.a, 1.0f);
  EXPECT_EQ(mrhost::testing::sample_light_calls(host()), 0);
}

TEST_F(ShadingTerms, EachLightAveragesOnlyItsOwnSamples) {
  const miTag two = host().add_light({{kWhite, {0, 0, 0.5f}}, {kWhite, {0, 0, 1}}});
  const miTag none = host().add_light({});
  const miTag three =
      host().add_light({{kWhite, {0, 0, 0.25f}}, {kWhite, {0, 0, 0.25f}}, {kWhite, {0, 0, 1}}});
  auto block = black_block({two, none, three});
  params(block).color = kWhite;
  params(block).diffuse = 1.0f;
  miState st = state(block);
  const miColor c = shade(block, st);
  // (0.5 + 1) / 2 + (0.25 + 0.25 + 1) / 3; pooled samples would give 3 / 5.
  EXPECT_EQ(c.r, 1.25f);
  EXPECT_EQ(c.a, 1.0f);

  // Each light is sampled until it reports no more, its counter starting at 0.
  std::vector<miTag> tags;
  for (const auto& call : calls_of(host(), HostCall::sample_light)) {
    tags.push_back(call.light);
    if (tags.size() == 1 || tags[tags.size() - 2] != call.light) {
      EXPECT_EQ(call.samples, 0);
    }
  }
  EXPECT_EQ(tags, (std::vector<miTag>{two, two, two, none, three, three, three, three}));
}

TEST_F(ShadingTerms, LightsAreTakenFromIndexILightOn) {
  const miTag outside = host().add_light({{kWhite, {0, 0, 1}}});
  const miTag first = host().add_light({{kWhite, {0, 0, 0.5f}}});
  const miTag second = host().add_light({{kWhite, {0, 0, 0.25f}}});
  auto block = black_block({outside, first, second, outside});
  params(block).i_light = 1;
  params(block).n_light = 2;
  params(block).color = kWhite;
  params(block).diffuse = 1.0f;
  miState st = state(block);
  EXPECT_EQ(shade(block, st).r, 0.75f);
  for (const auto& call : calls_of(host(), HostCall::sample_light)) EXPECT_NE(call.light, outside);

  params(block).n_light = -1;
  EXPECT_EQ(shade(block, st).r, 0.0f);
}

TEST_F(ShadingTerms, DiffuseAndLobePerSample) {
  const miColor light1{0.9f, 0.6f, 0.3f, 1.0f}, light2{0.2f, 0.4f, 0.8f, 1.0f};
  const miVector L{0.0f, 0.6f, 0.8f};
  const miTag tag = host().add_light({{light1, L}, {light2, L}});
  auto block = black_block({tag});
  auto& p = params(block);
  p.color = {0.5f, 0.25f, 0.75f, 1.0f};
  p.diffuse = 0.7f;
  p.specularColor = {0.4f, 0.5f, 0.6f, 1.0f};
  p.edginess = 3.0f;
  p.specular = 0.5f;
  const miVector dir{0.6f, 0.0f, -0.8f};
  miState st = state(block, {0.0f, 0.0f, 1.0f}, dir);
  const miColor c = shade(block, st);

  const core::Vector V{-dir.x, -dir.y, -dir.z}, N{0.0f, 0.0f, 1.0f}, Lc{L.x, L.y, L.z};
  const float w = core::dot(N, Lc) * p.diffuse;
  float sum[3] = {0.0f, 0.0f, 0.0f};
  for (const miColor& lc : {light1, light2}) {
    core::Color lobe;
    core::velvet_lobe(V, N, Lc, {lc.r, lc.g, lc.b}, {0.4f, 0.5f, 0.6f}, lobe, 0.1f, 3.0f, 0.2f);
    sum[0] += (lc.r * w) * p.color.r;
    sum[0] += lobe.r * p.specular;
    sum[1] += (lc.g * w) * p.color.g;
    sum[1] += lobe.g * p.specular;
    sum[2] += (lc.b * w) * p.color.b;
    sum[2] += lobe.b * p.specular;
  }
  EXPECT_EQ(c.r, sum[0] / 2.0f);
  EXPECT_EQ(c.g, sum[1] / 2.0f);
  EXPECT_EQ(c.b, sum[2] / 2.0f);
}

TEST_F(ShadingTerms, DiffuseOnlyForStrictlyPositiveCosine) {
  // With an infinite diffuse weight any diffuse term at d <= 0 would turn
  // the result into NaN (0 * inf) or infinity.
  const miTag tag = host().add_light({{kWhite, {1, 0, 0}}, {kWhite, {0, 0, -1}}});
  auto block = black_block({tag});
  params(block).color = kWhite;
  params(block).diffuse = kInf;
  miState st = state(block);
  EXPECT_EQ(shade(block, st).r, 0.0f);
}

TEST_F(ShadingTerms, LobeIsAddedWhateverTheCosine) {
  // On the dark side the lobe is black, but it is still weighted and added:
  // an infinite weight makes that visible as NaN.
  const miTag tag = host().add_light({{kWhite, {0, 0, -1}}});
  auto block = black_block({tag});
  params(block).specularColor = kWhite;
  params(block).specular = kInf;
  miState st = state(block);
  EXPECT_TRUE(std::isnan(shade(block, st).r));
}

class BentNormal : public mrtest::RendererTest {};

TEST_F(BentNormal, OffsetNormalIsRenormalisedAndHandedToTheHostInACopy) {
  const miTag tag = host().add_light({{kWhite, {0, 0, 1}}});
  auto block = black_block({tag});
  params(block).normalOffset = {0.0f, 1.0f, 0.0f};
  params(block).color = kWhite;
  params(block).diffuse = 1.0f;
  miState st = state(block);
  const miState before = st;
  const miColor c = shade(block, st);

  const float inverse = 1.0f / std::sqrt(2.0f);
  const auto samples = calls_of(host(), HostCall::sample_light);
  ASSERT_EQ(samples.size(), 2u);
  EXPECT_NE(samples[0].state, &st);
  expect_same(samples[0].normal, {0.0f, inverse, inverse});
  EXPECT_EQ(c.r, 1.0f * (inverse * 1.0f));
  EXPECT_EQ(std::memcmp(&before, &st, sizeof st), 0) << "the incoming state was written";
}

TEST_F(BentNormal, ZeroLengthNormalStaysZero) {
  const miTag tag = host().add_light({{kWhite, {0, 0, 1}}});
  auto block = black_block({tag});
  params(block).normalOffset = {0.0f, 0.0f, -1.0f};
  params(block).color = params(block).specularColor = kWhite;
  params(block).diffuse = params(block).specular = 1.0f;
  miState st = state(block);
  const miColor c = shade(block, st);
  const auto samples = calls_of(host(), HostCall::sample_light);
  ASSERT_FALSE(samples.empty());
  expect_same(samples[0].normal, {0.0f, 0.0f, 0.0f});
  EXPECT_EQ(c.r, 0.0f);
  EXPECT_EQ(c.g, 0.0f);
}

class Irradiance : public mrtest::RendererTest {
 protected:
  void SetUp() override {
    mrtest::RendererTest::SetUp();
    host().set_irradiance({2.0f, 3.0f, 4.0f, 1.0f});
  }
};

TEST_F(Irradiance, OffDoesNotEvenEvaluateItsTint) {
  auto block = black_block({});
  params(block).color = kWhite;
  const miColor tint = kWhite;
  std::string error;
  ASSERT_TRUE(block.connect("irradianceColor", host().add_connection(&tint, sizeof tint), &error));
  miState st = state(block);
  EXPECT_EQ(shade(block, st).r, 0.0f);
  EXPECT_EQ(mrhost::testing::phen_eval_calls(host()), 0);
  EXPECT_EQ(mrhost::testing::compute_irradiance_calls(host()), 0);

  // Switched on, the connected tint is evaluated and decides.
  params(block).useIrradiance = miTRUE;
  EXPECT_EQ(shade(block, st).r, ((2.0f * 1.0f) * 1.0f) / 3.1415927f);
  EXPECT_EQ(mrhost::testing::phen_eval_calls(host()), 1);
  EXPECT_EQ(mrhost::testing::compute_irradiance_calls(host()), 1);
}

TEST_F(Irradiance, BlackTintSkipsTheHostCall) {
  auto block = black_block({});
  params(block).color = kWhite;
  params(block).useIrradiance = miTRUE;
  params(block).irradianceColor = {0.0f, -0.0f, 0.0f, 1.0f};
  miState st = state(block);
  const miColor c = shade(block, st, {0.5f, 0.5f, 0.5f, 0.0f});
  EXPECT_EQ(mrhost::testing::compute_irradiance_calls(host()), 0);
  EXPECT_EQ(c.r, 0.5f);
  EXPECT_EQ(c.a, 1.0f);

  // A NaN channel is not black.
  params(block).irradianceColor = {kNaN, 0.0f, 0.0f, 0.0f};
  shade(block, st);
  EXPECT_EQ(mrhost::testing::compute_irradiance_calls(host()), 1);
}

// The renderer may store any nonzero word for true, not only miTRUE; the
// shader must read it without loading an out-of-range enum (UBSan checks).
TEST_F(Irradiance, AnyNonzeroWordSwitchesItOn) {
  auto block = black_block({});
  params(block).color = kWhite;
  params(block).irradianceColor = kWhite;
  miState st = state(block);
  for (const std::int32_t word : {2, -1}) {
    std::memcpy(&params(block).useIrradiance, &word, sizeof word);
    EXPECT_EQ(shade(block, st).r, ((2.0f * 1.0f) * 1.0f) / 3.1415927f) << word;
  }
  EXPECT_EQ(mrhost::testing::compute_irradiance_calls(host()), 2);
}

TEST_F(Irradiance, TintedChannelsOnlyWithTheWorkingCopy) {
  auto block = black_block({});
  params(block).color = {0.5f, 0.5f, 0.5f, 1.0f};
  params(block).useIrradiance = miTRUE;
  params(block).irradianceColor = {0.0f, 0.0f, 0.001f, 1.0f};
  params(block).normalOffset = {1.0f, 0.0f, -1.0f};  // bends the normal to +x
  miState st = state(block);
  const miColor c = shade(block, st, {0.25f, 0.5f, 0.75f, 0.0f});
  EXPECT_EQ(c.r, 0.25f);
  EXPECT_EQ(c.g, 0.5f);
  EXPECT_EQ(c.b, 0.75f + ((4.0f * 0.5f) * 0.001f) / 3.1415927f);
  EXPECT_EQ(c.a, 1.0f);
  const auto calls = calls_of(host(), HostCall::compute_irradiance);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_NE(calls[0].state, &st);
  expect_same(calls[0].normal, {1.0f, 0.0f, 0.0f});
}

class ConnectedParameters : public mrtest::RendererTest {};

TEST_F(ConnectedParameters, EachFetchedOnceInOrderWithTheIncomingState) {
  const miTag tag = host().add_light({{kWhite, {0, 0, 1}}, {kWhite, {0, 0, 1}}});
  auto block = black_block({});  // the stored values shade black and sample nothing
  std::string error;
  auto connect = [&](const char* name, const auto& value) {
    ASSERT_TRUE(block.connect(name, host().add_connection(&value, sizeof value), &error)) << error;
  };
  const miColor color{0.5f, 0.25f, 1.0f, 1.0f}, black{0, 0, 0, 0};
  const miVector offset{0, 0, 0};
  const float diffuse = 1.0f, zero = 0.0f;
  const miInteger on = 1, first = 0, count = 1;
  connect("color", color);
  connect("ambientColor", black);
  connect("incandescence", black);
  connect("normalOffset", offset);
  connect("diffuse", diffuse);
  connect("edginess", zero);
  connect("specular", zero);
  connect("specularColor", black);
  connect("useIrradiance", on);
  connect("irradianceColor", black);
  connect("i_light", first);
  connect("n_light", count);
  connect("light", tag);
  miState st = state(block);
  const miColor c = shade(block, st);
  EXPECT_EQ(c.r, 0.5f);
  EXPECT_EQ(c.g, 0.25f);
  EXPECT_EQ(c.b, 1.0f);

  const char* order[] = {"color",          "ambientColor",  "incandescence", "specularColor",
                         "normalOffset",   "useIrradiance", "diffuse",       "edginess",
                         "specular",       "n_light",       "i_light",       "light",
                         "irradianceColor"};
  const auto evals = calls_of(host(), HostCall::phen_eval);
  ASSERT_EQ(evals.size(), std::size(order));
  for (std::size_t i = 0; i < evals.size(); ++i) {
    const auto* base = static_cast<const char*>(block.data());
    EXPECT_EQ(evals[i].param, base + renderer.declaration().find(order[i])->offset) << order[i];
    EXPECT_EQ(evals[i].state, &st) << order[i];
  }
}

TEST_F(ConnectedParameters, EvaluatedOnlyWithGhostOffsetAndGhostWord) {
  auto block = black_block({});
  params(block).color = {0.5f, 0.5f, 0.5f, 1.0f};
  params(block).ambientColor = kWhite;
  miState st = state(block);
  EXPECT_EQ(shade(block, st).r, 0.5f);  // ghost words all zero
  EXPECT_EQ(mrhost::testing::phen_eval_calls(host()), 0);

  std::string error;
  ASSERT_TRUE(block.connect("color", host().add_connection(&kWhite, sizeof kWhite), &error));
  block.shader_record().ghost_offs = 0;  // the shader has no connections
  EXPECT_EQ(shade(block, st).r, 0.5f);
  EXPECT_EQ(mrhost::testing::phen_eval_calls(host()), 0);
}

}  // namespace

// A connection to a shader: mi_phen_eval calls it per sample with the
// incoming state and answers from the room the renderer gives the sample.
class ShaderConnections : public mrtest::RendererTest {
 protected:
  void SetUp() override {
    RendererTest::SetUp();
    host().reset();  // counts from zero, no connections
  }
  // A "texture" whose colour is the state's first texture coordinates.
  static void uv_colour(const void* context, const miState* state,
                        mrhost::ConnectionValue* result) {
    const float scale = *static_cast<const float*>(context);
    const miColor c{state->tex[0].x * scale, state->tex[0].y * scale, 0.0f, 1.0f};
    std::memcpy(result->bytes, &c, sizeof c);
  }
};

TEST_F(ShaderConnections, EvaluatedPerSampleFromTheIncomingState) {
  auto block = black_block({});
  params(block).ambientColor = kWhite;
  const float scale = 2.0f;
  std::string error;
  const std::int32_t ghost = host().add_shader_connection(uv_colour, &scale);
  ASSERT_NE(ghost, 0);
  ASSERT_TRUE(block.connect("color", ghost, &error)) << error;
  mrhost::ConnectionValue room[mrhost::kMaxConnections];
  for (const auto& [u, v] : {std::pair{0.25f, 0.5f}, {0.125f, 0.0f}}) {
    miState st = state(block);
    st.tex[0] = {u, v, 0.0f};
    st.user = room;
    st.user_size = static_cast<miInteger>(sizeof room);
    // No lights: the colour times ambientColor (white).
    const miColor c = shade(block, st);
    EXPECT_EQ(c.r, u * scale);
    EXPECT_EQ(c.g, v * scale);
    EXPECT_EQ(c.b, 0.0f);
  }
  EXPECT_EQ(mrhost::testing::phen_eval_calls(host()), 2);
}

TEST_F(ShaderConnections, WithoutRoomTheParameterKeepsItsOwnValue) {
  auto block = black_block({});
  params(block).ambientColor = kWhite;
  params(block).color = {0.5f, 0.25f, 0.125f, 1.0f};
  const float scale = 1.0f;
  std::string error;
  ASSERT_TRUE(block.connect("color", host().add_shader_connection(uv_colour, &scale), &error));
  miState st = state(block);
  st.tex[0] = {0.75f, 0.75f, 0.0f};
  const miColor none = shade(block, st);  // user null
  EXPECT_EQ(none.r, 0.5f);
  mrhost::ConnectionValue one[1];
  st.user = one;
  st.user_size = static_cast<miInteger>(sizeof one) - 1;  // short of the connection's slot
  EXPECT_EQ(shade(block, st).r, 0.5f);
  // A null function is no connection at all.
  EXPECT_EQ(host().add_shader_connection(nullptr, &scale), 0);
}

TEST_F(ShaderConnections, ResetForgetsThemAndValueConnectionsStayValues) {
  const float scale = 1.0f;
  const miColor grey{0.5f, 0.5f, 0.5f, 1.0f};
  const std::int32_t shader = host().add_shader_connection(uv_colour, &scale);
  const std::int32_t value = host().add_connection(&grey, sizeof grey);
  EXPECT_EQ(value, shader + 1);
  EXPECT_EQ(host().state().connection_shaders[value - 1].function, nullptr);
  host().reset();
  EXPECT_EQ(host().add_connection(&grey, sizeof grey), 1);
  EXPECT_EQ(host().state().connection_shaders[0].function, nullptr);
}
