// One krel_velvet shading call through the stand-in renderer, against the
// same number of bare velvet_lobe calls on the same vectors: what the
// parameter fetches, the state copy, the host calls and the diffuse term
// cost on top of the lobes. Both walk a table of varied samples so that no
// branch or power is predictable.
#include <benchmark/benchmark.h>
#include <mrhost/renderer.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "common/alloc_counter.h"
#include "core/velvet_lobe.h"

namespace {

constexpr int kStates = 4096;  // power of two
constexpr float kEdginess = 4.0f;

miVector random_unit(std::mt19937& rng) {
  std::normal_distribution<float> g(0.0f, 1.0f);
  const miVector v{g(rng), g(rng), g(rng)};
  const float len = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  return {v.x / len, v.y / len, v.z / len};
}

struct Scene {
  mrhost::Renderer renderer;
  std::vector<mrhost::LightSample> samples;  // all lights' samples, light by light
  std::vector<miVector> normals, dirs;
};

// A renderer with `lights` scripted lights of `per_light` samples each, all
// directions and colours random; recording off, as when rendering.
Scene& scene(int lights, int per_light) {
  static Scene s;
  static bool opened = false;
  std::string error;
  const mrhost::Paths paths{KREL_VELVET_LIBRARY, MRHOST_MODULE, KREL_VELVET_DECLARATION,
                            "krel_velvet"};
  if (!opened && !s.renderer.open(paths, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    std::exit(1);
  }
  opened = true;
  s.renderer.host().reset(mrhost::kRecordNothing);
  std::mt19937 rng(99);
  std::uniform_real_distribution<float> unit(0.1f, 1.0f);
  s.samples.clear();
  for (int k = 0; k < lights * per_light; ++k) {
    s.samples.push_back({{unit(rng), unit(rng), unit(rng), 1.0f}, random_unit(rng)});
  }
  s.normals.clear();
  s.dirs.clear();
  for (int i = 0; i < kStates; ++i) {
    s.normals.push_back(random_unit(rng));
    s.dirs.push_back(random_unit(rng));
  }
  return s;
}

void BM_Shade(benchmark::State& state) {
  const int lights = static_cast<int>(state.range(0)), per_light = static_cast<int>(state.range(1));
  Scene& s = scene(lights, per_light);
  std::vector<miTag> tags;
  for (int l = 0; l < lights; ++l) {
    tags.push_back(s.renderer.host().add_light(std::vector<mrhost::LightSample>(
        s.samples.begin() + l * per_light, s.samples.begin() + (l + 1) * per_light)));
  }
  mrhost::ParameterBlock block = s.renderer.make_block(tags);
  std::string error;
  if (!block.set("edginess", std::vector<float>{kEdginess}, &error))
    state.SkipWithError(error.c_str());
  std::vector<miState> states;
  for (int i = 0; i < kStates; ++i) {
    states.push_back(s.renderer.make_state(block, {0.0f, 0.0f, 0.0f}, s.normals[i], s.dirs[i]));
  }

  int i = 0;
  benchutil::AllocationScope<benchmark::State> allocs(state);
  for (auto _ : state) {
    miColor result{0.0f, 0.0f, 0.0f, 0.0f};
    s.renderer.shade(&result, &states[i], block);
    benchmark::DoNotOptimize(result);
    i = (i + 1) & (kStates - 1);
  }
  state.SetItemsProcessed(state.iterations() * lights * per_light);
}
BENCHMARK(BM_Shade)->ArgNames({"lights", "samples"})->ArgsProduct({{1, 4, 16}, {1, 4}});

// The lobes alone: for each table entry, one velvet_lobe per light sample
// with the shader's constants.
void BM_BareLobes(benchmark::State& state) {
  const int lights = static_cast<int>(state.range(0)), per_light = static_cast<int>(state.range(1));
  Scene& s = scene(lights, per_light);
  // The lobe's parameters come from memory, as they do in the shader.
  core::Color spec{0.5f, 0.5f, 0.5f};
  float edginess = kEdginess;
  benchmark::DoNotOptimize(spec);
  benchmark::DoNotOptimize(edginess);
  int i = 0;
  benchutil::AllocationScope<benchmark::State> allocs(state);
  for (auto _ : state) {
    const core::Vector V{-s.dirs[i].x, -s.dirs[i].y, -s.dirs[i].z};
    const core::Vector N{s.normals[i].x, s.normals[i].y, s.normals[i].z};
    for (const mrhost::LightSample& x : s.samples) {
      core::Color lobe;
      core::velvet_lobe(V, N, {x.vector.x, x.vector.y, x.vector.z},
                        {x.color.r, x.color.g, x.color.b}, spec, lobe, 0.1f, edginess, 0.2f);
      benchmark::DoNotOptimize(lobe);
    }
    i = (i + 1) & (kStates - 1);
  }
  state.SetItemsProcessed(state.iterations() * lights * per_light);
}
BENCHMARK(BM_BareLobes)->ArgNames({"lights", "samples"})->ArgsProduct({{1, 4, 16}, {1, 4}});

}  // namespace
