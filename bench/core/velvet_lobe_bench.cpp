// velvet_lobe against the floor of the work it cannot avoid: its three dot
// products, the smoothstep, two powf and one sqrtf on the same arguments.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "common/alloc_counter.h"
#include "core/velvet_lobe.h"

namespace {

struct LobeInput {
  core::Vector V, N, L;
  core::Color light, spec;
  float roughness, edginess, backscatter;
};

core::Vector random_unit(std::mt19937& rng) {
  std::normal_distribution<float> g(0.0f, 1.0f);
  core::Vector v{g(rng), g(rng), g(rng)};
  const float len = std::sqrt(core::dot(v, v));
  return {v.x / len, v.y / len, v.z / len};
}

// Inputs spread over the ranges artists use, so that no branch or power is
// predictable and nothing can be folded.
const std::vector<LobeInput>& inputs() {
  static const std::vector<LobeInput> all = [] {
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::vector<LobeInput> v(4096);
    for (LobeInput& in : v) {
      in.V = random_unit(rng);
      in.N = random_unit(rng);
      in.L = random_unit(rng);
      in.light = {unit(rng), unit(rng), unit(rng)};
      in.spec = {unit(rng), unit(rng), unit(rng)};
      in.roughness = 0.1f + 0.9f * unit(rng);
      in.edginess = 20.0f * unit(rng);
      in.backscatter = unit(rng);
    }
    return v;
  }();
  return all;
}

void BM_VelvetLobe(benchmark::State& state) {
  const std::vector<LobeInput>& in = inputs();
  std::size_t i = 0;
  benchutil::AllocationScope<benchmark::State> allocs(state);
  for (auto _ : state) {
    const LobeInput& x = in[i];
    i = (i + 1) & (in.size() - 1);
    core::Color out;
    core::velvet_lobe(x.V, x.N, x.L, x.light, x.spec, out, x.roughness, x.edginess, x.backscatter);
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_VelvetLobe);

// The unavoidable part of the same work: what any implementation of the lobe
// has to compute on these arguments.
void BM_LobeFloor(benchmark::State& state) {
  const std::vector<LobeInput>& in = inputs();
  std::size_t i = 0;
  for (auto _ : state) {
    const LobeInput& x = in[i];
    i = (i + 1) & (in.size() - 1);
    // Same arguments as the lobe hands to powf and sqrtf (clamped alike, so
    // that no call takes a cheaper NaN path).
    const float lv = core::max(core::dot(x.L, x.V), 0.0f);
    const float s = core::smoothstep(0.0f, 1.0f, core::dot(x.L, x.N));
    const float nv = core::max(core::dot(x.N, x.V), 0.0f);
    const float p = std::pow(lv * s, 1.0f / x.roughness);
    const float b = std::sqrt(core::max(1.0f - nv * nv, 0.0f));
    const float e = std::pow(b, x.edginess);
    benchmark::DoNotOptimize(p);
    benchmark::DoNotOptimize(e);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LobeFloor);

}  // namespace
