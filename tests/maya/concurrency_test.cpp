// Many threads shading the same nodes at once, one data block each, must give
// exactly what one thread gives. CI reruns this under ThreadSanitizer.
#include <mayahost/shading_block.h>

#include <random>
#include <thread>
#include <vector>

#include "plugin_fixture.h"

namespace {

struct Sample {
  MFloatVector normal, ray;
  mayahost::Light lights[4];
};

std::vector<Sample> samples(unsigned count) {
  std::mt19937 rng(99);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f), pos(0.0f, 1.0f);
  std::vector<Sample> out(count);
  for (Sample& s : out) {
    s.normal = {u(rng), u(rng), u(rng)};
    s.ray = {u(rng), u(rng), u(rng)};
    for (mayahost::Light& l : s.lights) {
      l.direction = {u(rng), u(rng), u(rng)};
      l.intensity = {pos(rng), pos(rng), pos(rng)};
      l.ambient = pos(rng) > 0.5f;
      l.diffuse = pos(rng) > 0.3f;
      l.specular = pos(rng) > 0.3f;
    }
  }
  return out;
}

std::vector<MFloatVector> shade(const mayahost::Node& node, const std::vector<Sample>& in) {
  mayahost::ShadingBlock block(node, 4);
  std::vector<MFloatVector> out;
  out.reserve(in.size());
  for (const Sample& s : in) {
    block.setNormal(s.normal);
    block.setRayDirection(s.ray);
    block.setLightCount(4);
    for (unsigned i = 0; i < 4; ++i) block.setLight(i, s.lights[i]);
    block.compute();
    out.push_back(block.outColor());
  }
  return out;
}

using Concurrency = VelvetNodeTest;

TEST_F(Concurrency, ThreadsOnSharedNodesMatchOneThread) {
  mayahost::Node other;
  ASSERT_TRUE(other.create("velvet").ok());
  ASSERT_TRUE(other.set("translucence", {0.4f}).ok());
  ASSERT_TRUE(other.set("roughness", {0.6f}).ok());
  ASSERT_TRUE(other.set("transparency", {0.3f, 0.2f, 0.1f}).ok());

  const std::vector<Sample> in = samples(2000);
  const mayahost::Node* nodes[2] = {&node, &other};
  const std::vector<MFloatVector> expected[2] = {shade(node, in), shade(other, in)};

  constexpr int kThreads = 8;
  std::vector<std::vector<MFloatVector>> results(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] { results[t] = shade(*nodes[t % 2], in); });
  }
  for (std::thread& t : threads) t.join();
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(results[t].size(), in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
      ASSERT_EQ(results[t][i], expected[t % 2][i]) << "thread " << t << " sample " << i;
    }
  }
}

}  // namespace
