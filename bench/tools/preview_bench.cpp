// Shading throughput of each host as the preview drives it, at one and two
// threads, and the wall time of the default preview (both hosts, all cores,
// files written).
//
//   build/release/bench/tools/bench_preview
//
// BM_Shade shades every hit of the default view (traced once, beforehand)
// per iteration, split evenly over the threads, in batches of about a tile's
// hits as the renderer hands them over; items_per_second is shading samples
// per second over all threads. Two threads should reach at least
// 1.8 times one thread's rate.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/alloc_counter.h"
#include "tools/preview/cli/cli.h"
#include "tools/preview/hosts/hosts.h"
#include "tools/preview/render/render.h"

namespace {

const std::vector<preview::ShadingSample>& samples() {
  static const std::vector<preview::ShadingSample> all = [] {
    std::vector<preview::ShadingSample> v;
    const preview::Scene scene{preview::SceneOptions{}};
    for (int y = 0; y < scene.height(); ++y) {
      for (int x = 0; x < scene.width(); ++x) {
        for (int sy = 0; sy < scene.aa(); ++sy) {
          for (int sx = 0; sx < scene.aa(); ++sx) {
            preview::ShadingSample s;
            if (scene.trace(x, y, sx, sy, s)) v.push_back(s);
          }
        }
      }
    }
    return v;
  }();
  return all;
}

// Samples per batch: about a tile's hits, as the renderer hands them over.
constexpr std::size_t kBatch = 2048;

void shade_share(preview::ShadingContext& context, int share, int shares) {
  const std::vector<preview::ShadingSample>& all = samples();
  const std::size_t begin = all.size() * share / shares;
  const std::size_t end = all.size() * (share + 1) / shares;
  core::Color out[kBatch];
  for (std::size_t i = begin; i < end; i += kBatch) {
    const std::size_t n = std::min(kBatch, end - i);
    context.shade_batch(&all[i], n, out);
    benchmark::DoNotOptimize(out);
  }
}

// Helper threads that wait for a round, each shade their share of the
// samples, and report back; started before the timed loop so that a round
// costs no thread creation and no allocation.
class Crew {
 public:
  Crew(std::vector<std::unique_ptr<preview::ShadingContext>>& contexts) : contexts_(contexts) {
    for (int t = 1; t < static_cast<int>(contexts.size()); ++t) {
      threads_.emplace_back([this, t] { work(t); });
    }
  }
  ~Crew() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    start_.notify_all();
    for (std::thread& t : threads_) t.join();
  }
  void round() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++round_;
      busy_ = static_cast<int>(threads_.size());
    }
    start_.notify_all();
    shade_share(*contexts_[0], 0, static_cast<int>(contexts_.size()));
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return busy_ == 0; });
  }

 private:
  void work(int t) {
    long seen = 0;
    for (;;) {
      {
        std::unique_lock<std::mutex> lock(mutex_);
        start_.wait(lock, [&] { return stop_ || round_ != seen; });
        if (stop_) return;
        seen = round_;
      }
      shade_share(*contexts_[t], t, static_cast<int>(contexts_.size()));
      std::lock_guard<std::mutex> lock(mutex_);
      if (--busy_ == 0) done_.notify_one();
    }
  }

  std::vector<std::unique_ptr<preview::ShadingContext>>& contexts_;
  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable start_, done_;
  long round_ = 0;
  int busy_ = 0;
  bool stop_ = false;
};

void BM_Shade(benchmark::State& state, const preview::HostEntry& host) {
  // Loaded per run: a plug-in can be loaded once at a time, and the default
  // preview below loads its own.
  std::string error;
  std::unique_ptr<preview::Backend> backend = host.make("", error);
  if (!backend) {
    state.SkipWithError(error.c_str());
    return;
  }
  backend->set_lights(preview::Scene(preview::SceneOptions{}).lights());
  std::vector<std::unique_ptr<preview::ShadingContext>> contexts;
  for (int t = 0; t < state.range(0); ++t) contexts.push_back(backend->make_context(error));
  Crew crew(contexts);
  {
    benchutil::AllocationScope<benchmark::State> allocations(state);
    for (auto _ : state) crew.round();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(samples().size()));
}

void BM_DefaultPreview(benchmark::State& state) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "velvet_bench_preview";
  std::ostringstream sink;
  preview::CliEnvironment env;
  env.hosts = preview::built_hosts();
  env.out = &sink;
  env.err = &sink;
  env.default_threads = static_cast<int>(std::thread::hardware_concurrency());
  std::vector<std::string> args = {"--out", dir.string()};
  if (state.range(0) > 0) {
    args.push_back("--threads");
    args.push_back(std::to_string(state.range(0)));
  }
  for (auto _ : state) {
    if (preview::run(args, env) != preview::kExitOk) {
      state.SkipWithError(sink.str().c_str());
      break;
    }
  }
  std::filesystem::remove_all(dir);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  samples();  // trace before any timing

  static const std::vector<preview::HostEntry> hosts = preview::built_hosts();
  for (const preview::HostEntry& host : hosts) {
    benchmark::RegisterBenchmark(("BM_Shade/" + host.file_name).c_str(), BM_Shade, host)
        ->ArgName("threads")
        ->Arg(1)
        ->Arg(2)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
  }
  // threads:0 is the tool as run without --threads (all cores).
  benchmark::RegisterBenchmark("BM_DefaultPreview", BM_DefaultPreview)
      ->ArgName("threads")
      ->Arg(0)
      ->Arg(1)
      ->Arg(2)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);

  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
