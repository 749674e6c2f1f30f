// Latency of the live preview: from a changed look (a POST of /api/look) to
// the first coarse image, and to the full image, with both plug-ins in their
// stand-in hosts at the default size, on one and two rendering threads.
//
//   build/release/bench/tools/bench_serve
//
// Each iteration changes `edginess`, as dragging its slider does, and waits
// for the frame through the same handler the page polls. The coarse image
// should arrive within 50 ms at the default size on a two-core machine.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "tools/preview/hosts/hosts.h"
#include "tools/preview/serve/service.h"

namespace {

constexpr int kPort = 8642;

preview::serve::Response ask(preview::serve::Service& service, const std::string& method,
                             const std::string& path, const std::string& body,
                             std::map<std::string, std::string> query = {}) {
  return service.handle({method, path, std::move(query), "127.0.0.1:8642", "", body});
}

// Waits for a frame of the newest look newer than (`have`, `stage`).
bool wait_frame(preview::serve::Service& service, unsigned long long have, int stage) {
  for (int tries = 0; tries < 100; ++tries) {
    const preview::serve::Response r =
        ask(service, "GET", "/api/frame", "",
            {{"have", std::to_string(have)}, {"stage", std::to_string(stage)}, {"wait", "5000"}});
    if (r.status != 200) return false;
    if (r.body.find("\"stage\":0") == std::string::npos) return true;
  }
  return false;
}

// range(0): rendering threads; range(1): 1 waits for the coarse image, 2 for
// the full one.
void BM_LookToImage(benchmark::State& state) {
  static const std::vector<preview::HostEntry> entries = preview::built_hosts();
  std::vector<preview::LoadedHost> hosts;
  for (const preview::HostEntry& e : entries) {
    std::string error;
    hosts.push_back({&e, e.make("", error)});
    if (!hosts.back().backend) {
      state.SkipWithError(error.c_str());
      return;
    }
  }
  preview::ServeOptions options;
  options.threads = static_cast<int>(state.range(0));
  const int stage = static_cast<int>(state.range(1));
  preview::serve::Service service(std::move(hosts), options);
  service.set_port(kPort);
  wait_frame(service, 0, 1);  // the default look, in full

  int step = 0;
  for (auto _ : state) {
    const std::string look =
        R"({"hosts": {"maya": {"edginess": ")" + std::to_string(5 + step++ % 20) + "\"}}}";
    const preview::serve::Response posted = ask(service, "POST", "/api/look", look);
    const std::size_t at = posted.body.find("\"generation\":");
    const unsigned long long generation = std::stoull(posted.body.substr(at + 13));
    // Coarse: anything of this look; full: more than its coarse image.
    const bool ok =
        stage == 1 ? wait_frame(service, generation - 1, 2) : wait_frame(service, generation, 1);
    if (!ok) {
      state.SkipWithError("no frame");
      return;
    }
  }
  state.counters["cancelled"] = static_cast<double>(service.renders_cancelled());
}
BENCHMARK(BM_LookToImage)
    ->ArgNames({"threads", "stage"})
    ->Args({1, 1})
    ->Args({2, 1})
    ->Args({1, 2})
    ->Args({2, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
