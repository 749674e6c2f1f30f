// Soak: the library loaded and unloaded a thousand times through the
// stand-in renderer with blocks made and shaded in between, ending with the
// heap where it started; many threads on shared parameter blocks for many
// samples, bit for bit what one thread gives; and host failures (a host
// function missing from the module, light sampling refused at every call in
// turn), each call still completing as the shader promises.
#include <hostkit/stderr_capture.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "harness.h"
#include "tests/common/soak.h"

namespace {

bool same(const miColor& a, const miColor& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// Sample i: a point on a bumpy sheet seen from above, from the index alone.
miState sample(const mrhost::Renderer& renderer, mrhost::ParameterBlock& block, std::uint32_t i) {
  const float u = static_cast<float>(i % 317) / 158.5f - 1.0f;
  const float v = static_cast<float>(i / 317 % 311) / 155.5f - 1.0f;
  const float nx = 0.3f * std::sin(5.0f * u), ny = 0.3f * std::cos(4.0f * v);
  const float len = std::sqrt(nx * nx + ny * ny + 1.0f);
  const float dx = 0.5f * u, dy = 0.5f * v, dlen = std::sqrt(dx * dx + dy * dy + 1.0f);
  return renderer.make_state(block, {u, v, 0.0f}, {nx / len, ny / len, 1.0f / len},
                             {dx / dlen, dy / dlen, -1.0f / dlen});
}

std::vector<miColor> shade_all(const mrhost::Renderer& renderer, mrhost::ParameterBlock& block,
                               std::uint32_t samples) {
  std::vector<miColor> out(samples);
  for (std::uint32_t i = 0; i < samples; ++i) {
    miState state = sample(renderer, block, i);
    out[i] = {0.0f, 0.0f, 0.0f, 0.0f};
    renderer.shade(&out[i], &state, block);
  }
  return out;
}

void lifetime(int round) {
  mrhost::Renderer renderer;
  std::string error;
  ASSERT_TRUE(renderer.open(mrtest::paths(), &error)) << round << ": " << error;
  mrhost::HostModule& host = renderer.host();
  host.reset();
  const miTag light = host.add_point_light({2.0f, 3.0f, 4.0f}, {1.0f, 0.9f, 0.8f, 1.0f});
  mrhost::ParameterBlock block = renderer.make_block({light});
  ASSERT_TRUE(block.set("useIrradiance", "on", &error)) << error;
  const miColor tint{0.9f, 0.2f, 0.1f, 1.0f};
  ASSERT_TRUE(block.connect("color", host.add_connection(&tint, sizeof tint), &error)) << error;
  const std::vector<miColor> colours = shade_all(renderer, block, 4);
  EXPECT_EQ(colours[3].a, 1.0f);
}

TEST(Soak, LoadUnloadAThousandTimesReturnsTheHeap) {
  // The renderer is linked into this program, so every C++ object it makes
  // is counted, on Windows too.
  soak::expectLoadUnloadReturnsTheHeap(lifetime, true);
}

class SoakConcurrency : public mrtest::RendererTest {};

// Eight threads on two shared blocks, the host function table empty at the
// start so that the first calls race to fill it.
TEST_F(SoakConcurrency, EightThreadsMatchOneThreadBitForBit) {
  // The full count under TSan too: a few seconds there.
  constexpr std::uint32_t kSamples = 100000;
  host().reset(mrhost::kRecordNothing);  // no shared counters while shading
  const miTag point = host().add_point_light({2.0f, 3.0f, 4.0f}, {1.0f, 0.9f, 0.8f, 1.0f});
  const miTag area =
      host().add_rect_light({-3.0f, 1.0f, 2.0f}, {1, 0, 0}, {0, 1, 0}, {0.3f, 0.3f, 0.4f, 1}, 4);
  host().set_irradiance({0.2f, 0.3f, 0.4f, 1.0f});
  mrhost::ParameterBlock blocks[2] = {renderer.make_block({point, area}),
                                      renderer.make_block({area})};
  std::string error;
  ASSERT_TRUE(blocks[1].set("useIrradiance", "on", &error)) << error;
  const miColor tint{0.9f, 0.2f, 0.1f, 1.0f};
  ASSERT_TRUE(blocks[1].connect("color", host().add_connection(&tint, sizeof tint), &error));

  const std::vector<miColor> expected[2] = {shade_all(renderer, blocks[0], kSamples),
                                            shade_all(renderer, blocks[1], kSamples)};
  mrhost::testing::set_module_handle(renderer, host().handle());  // empty the table again
  constexpr int kThreads = 8;
  std::vector<std::vector<miColor>> results(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] { results[t] = shade_all(renderer, blocks[t % 2], kSamples); });
  }
  for (std::thread& t : threads) t.join();
  for (int t = 0; t < kThreads; ++t) {
    for (std::uint32_t i = 0; i < kSamples; ++i) {
      ASSERT_TRUE(same(results[t][i], expected[t % 2][i])) << "thread " << t << " sample " << i;
    }
  }
}

class SoakFaults : public mrtest::RendererTest {
 protected:
  // Three scripted lights of 1, 4 and 3 samples, a connected colour and
  // irradiance: every host function has work to do.
  std::vector<miTag> script(const int delivered[3]) {
    host().reset();
    host().set_irradiance({0.2f, 0.3f, 0.4f, 1.0f});
    std::vector<miTag> tags;
    for (int k = 0; k < 3; ++k) {
      std::vector<mrhost::LightSample> samples;
      for (int s = 0; s < delivered[k]; ++s) {
        const float a = 0.4f * static_cast<float>(s + 3 * k);
        samples.push_back(
            {{1.0f, 0.8f - 0.1f * k, 0.5f, 1.0f}, {std::sin(a) * 0.6f, std::cos(a) * 0.6f, 0.8f}});
      }
      tags.push_back(host().add_light(samples));
    }
    return tags;
  }
  // `answers` is the module the shader's host calls reach.
  miColor shade_one(const std::vector<miTag>& tags, bool connected = true, bool with_lights = true,
                    mrhost::HostModule* answers = nullptr) {
    if (answers == nullptr) answers = &host();
    mrhost::ParameterBlock block = renderer.make_block(with_lights ? tags : std::vector<miTag>{});
    std::string error;
    EXPECT_TRUE(block.set("useIrradiance", "on", &error)) << error;
    EXPECT_TRUE(block.set("specular", "0.7", &error)) << error;
    if (connected) {
      const miColor tint{0.9f, 0.2f, 0.1f, 1.0f};
      EXPECT_TRUE(block.connect("color", answers->add_connection(&tint, sizeof tint), &error));
    }
    miState state = sample(renderer, block, 1234);
    miColor result{0.25f, 0.5f, 0.75f, 0.0f};
    EXPECT_EQ(renderer.shade(&result, &state, block), 1);
    return result;
  }
};

// The n-th mi_sample_light call refused, for every n: the light being
// sampled adds the average of the samples it delivered before, every other
// light is untouched.
TEST_F(SoakFaults, LightSamplingRefusedAtEveryCallInTurn) {
  const int full[3] = {1, 4, 3};
  int call = 0;
  for (int light = 0; light < 3; ++light) {
    for (int delivered = 0; delivered <= full[light]; ++delivered) {
      ++call;
      SCOPED_TRACE("call " + std::to_string(call));
      int truncated[3] = {full[0], full[1], full[2]};
      truncated[light] = delivered;
      const miColor expected = shade_one(script(truncated));
      const std::vector<miTag> tags = script(full);
      mrhost::testing::refuse_sample_light(host(), call);
      const miColor refused = shade_one(tags);
      EXPECT_TRUE(same(refused, expected)) << refused.r << " " << expected.r;
    }
  }
  EXPECT_EQ(call, 1 + 1 + 4 + 1 + 3 + 1);
}

// A module lacking a host function: every call of it reports the failed
// look-up and answers as if the host had nothing (the parameter's own value,
// no light sample, no irradiance); the shader completes every time.
TEST_F(SoakFaults, EachHostFunctionMissingFromTheModule) {
  const int full[3] = {1, 4, 3};
  const std::vector<miTag> tags = script(full);
  const struct {
    const char* path;
    const char* missing;
    bool connected, lights;  // the equivalent scene with the full module
    miColor irradiance;
  } cases[] = {
      {MRHOST_MODULE_NO_PHEN_EVAL, "mi_phen_eval", false, true, {0.2f, 0.3f, 0.4f, 1.0f}},
      {MRHOST_MODULE_NO_SAMPLE_LIGHT, "mi_sample_light", true, false, {0.2f, 0.3f, 0.4f, 1.0f}},
      {MRHOST_MODULE_NO_COMPUTE_IRRADIANCE, "mi_compute_irradiance", true, true, {0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.missing);
    host().set_irradiance(c.irradiance);
    const miColor expected = shade_one(tags, c.connected, c.lights);
    host().set_irradiance({0.2f, 0.3f, 0.4f, 1.0f});

    mrhost::HostModule lacking;
    std::string error;
    ASSERT_TRUE(lacking.open(c.path, &error)) << error;
    mrhost::ModuleState& own = host().state();
    lacking.reset();
    // The lacking module answers from its own script: give it the same.
    std::memcpy(lacking.state().lights, own.lights, sizeof own.lights);
    std::memcpy(lacking.state().samples, own.samples, sizeof own.samples);
    lacking.state().light_count = own.light_count;
    lacking.state().sample_count = own.sample_count;
    lacking.set_irradiance(own.irradiance);
    mrhost::testing::set_module_handle(renderer, lacking.handle());
    for (int round = 0; round < 3; ++round) {
      hostkit::StderrCapture err;
      const miColor got = shade_one(tags, true, true, &lacking);
      const std::string text = err.text();
      EXPECT_NE(text.find(std::string("dlsym failed on \"") + c.missing + "\""), std::string::npos)
          << text;
      EXPECT_TRUE(same(got, expected)) << got.r << " " << expected.r;
    }
    mrhost::testing::set_module_handle(renderer, host().handle());
  }
}

}  // namespace
