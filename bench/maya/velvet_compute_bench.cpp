// velvet::compute per shading sample on the host's fast path, with every
// light switch on, against the floor of the same work: one bare velvet_lobe
// per light. Inputs vary per sample so no branch or power is predictable.
#include <benchmark/benchmark.h>
#include <mayahost/node.h>
#include <mayahost/plugin.h>
#include <mayahost/shading_block.h>
#include <mayahost/status.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include "common/alloc_counter.h"
#include "core/velvet_lobe.h"

namespace {

constexpr unsigned kMaxLights = 16;
constexpr std::size_t kSamples = 1024;  // a power of two

struct Sample {
  MFloatVector normal, ray;
  MFloatVector direction[kMaxLights], intensity[kMaxLights];
};

MFloatVector randomUnit(std::mt19937& rng) {
  std::normal_distribution<float> g(0.0f, 1.0f);
  const MFloatVector v(g(rng), g(rng), g(rng));
  return v / v.length();
}

const std::vector<Sample>& samples() {
  static const std::vector<Sample> all = [] {
    std::mt19937 rng(4321);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::vector<Sample> v(kSamples);
    for (Sample& s : v) {
      s.normal = randomUnit(rng);
      s.ray = randomUnit(rng);
      for (unsigned i = 0; i < kMaxLights; ++i) {
        s.direction[i] = randomUnit(rng);
        s.intensity[i] = MFloatVector(unit(rng), unit(rng), unit(rng));
      }
    }
    return v;
  }();
  return all;
}

// One loaded plug-in and one node for the whole run.
mayahost::Node& velvetNode() {
  static mayahost::Plugin* plugin = nullptr;
  static mayahost::Node* node = nullptr;
  if (node == nullptr) {
    plugin = new mayahost::Plugin;
    node = new mayahost::Node;
    mayahost::Status s = plugin->load(VELVET_PLUGIN_PATH);
    if (s) s = node->create("velvet");
    if (s) s = node->set("translucence", {0.2f});
    if (s) s = node->set("transparency", {0.1f, 0.2f, 0.3f});
    if (!s) {
      std::fprintf(stderr, "cannot set up the velvet node: %s\n", s.message().c_str());
      std::abort();
    }
  }
  return *node;
}

void fill(mayahost::ShadingBlock& block, const Sample& s, unsigned lights) {
  mayahost::Light light;
  light.ambient = light.diffuse = light.specular = true;
  block.setNormal(s.normal);
  block.setRayDirection(s.ray);
  block.setLightCount(lights);
  for (unsigned i = 0; i < lights; ++i) {
    light.direction = s.direction[i];
    light.intensity = s.intensity[i];
    block.setLight(i, light);
  }
}

// A renderer's sample: the normal, the ray and each light's direction and
// intensity change, the switches (all on) stay; then compute.
void BM_Compute(benchmark::State& state) {
  const unsigned lights = static_cast<unsigned>(state.range(0));
  const std::vector<Sample>& in = samples();
  mayahost::ShadingBlock block(velvetNode(), lights);
  fill(block, in[0], lights);
  std::size_t k = 0;
  benchutil::AllocationScope<benchmark::State> allocs(state);
  for (auto _ : state) {
    const Sample& s = in[k];
    k = (k + 1) & (kSamples - 1);
    block.setNormal(s.normal);
    block.setRayDirection(s.ray);
    for (unsigned i = 0; i < lights; ++i) block.setLightVectors(i, s.direction[i], s.intensity[i]);
    benchmark::DoNotOptimize(block.compute());
    benchmark::DoNotOptimize(block.outColor());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Compute)->Arg(1)->Arg(4)->Arg(16);

// compute alone: blocks filled beforehand with different samples and taken
// in turn, so that inputs still vary from call to call. Their data outgrow
// the first-level cache, which the figures show on a busy machine.
void BM_ComputeOnly(benchmark::State& state) {
  const unsigned lights = static_cast<unsigned>(state.range(0));
  constexpr std::size_t kBlocks = 32;  // a power of two
  std::vector<std::unique_ptr<mayahost::ShadingBlock>> blocks;
  for (std::size_t b = 0; b < kBlocks; ++b) {
    blocks.push_back(std::make_unique<mayahost::ShadingBlock>(velvetNode(), lights));
    fill(*blocks.back(), samples()[b], lights);
  }
  std::size_t k = 0;
  benchutil::AllocationScope<benchmark::State> allocs(state);
  for (auto _ : state) {
    mayahost::ShadingBlock& block = *blocks[k];
    k = (k + 1) & (kBlocks - 1);
    benchmark::DoNotOptimize(block.compute());
    benchmark::DoNotOptimize(block.outColor());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ComputeOnly)->Arg(16);

// The same with every field of every light element written per sample.
void BM_FillAndCompute(benchmark::State& state) {
  const unsigned lights = static_cast<unsigned>(state.range(0));
  const std::vector<Sample>& in = samples();
  mayahost::ShadingBlock block(velvetNode(), lights);
  std::size_t k = 0;
  benchutil::AllocationScope<benchmark::State> allocs(state);
  for (auto _ : state) {
    fill(block, in[k], lights);
    k = (k + 1) & (kSamples - 1);
    benchmark::DoNotOptimize(block.compute());
    benchmark::DoNotOptimize(block.outColor());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FillAndCompute)->Arg(1)->Arg(4)->Arg(16);

// What the 16-light sample cannot avoid: sixteen lobes on the same vectors.
void BM_BareLobes16(benchmark::State& state) {
  const std::vector<Sample>& in = samples();
  // The node's defaults, read through volatiles so that they are as opaque
  // to the optimiser as attribute values are to the plug-in: no folding of
  // 1 / roughness here either.
  volatile float opaque[6] = {0.5f, 0.5f, 0.5f, 0.2f, 10.0f, 0.1f};
  const core::Color spec{opaque[0], opaque[1], opaque[2]};
  const float roughness = opaque[3], edginess = opaque[4], backscatter = opaque[5];
  std::size_t k = 0;
  benchutil::AllocationScope<benchmark::State> allocs(state);
  for (auto _ : state) {
    const Sample& s = in[k];
    k = (k + 1) & (kSamples - 1);
    const core::Vector N{s.normal.x, s.normal.y, s.normal.z};
    const core::Vector V{-s.ray.x, -s.ray.y, -s.ray.z};
    core::Color sum{0.0f, 0.0f, 0.0f};
    for (unsigned i = 0; i < kMaxLights; ++i) {
      const core::Vector L{s.direction[i].x, s.direction[i].y, s.direction[i].z};
      core::Color lobe;
      core::velvet_lobe(V, N, L, {s.intensity[i].x, s.intensity[i].y, s.intensity[i].z}, spec, lobe,
                        roughness, edginess, backscatter);
      sum.r += lobe.r;
      sum.g += lobe.g;
      sum.b += lobe.b;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BareLobes16);

}  // namespace
