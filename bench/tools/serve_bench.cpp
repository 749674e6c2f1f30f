// Latency of the live preview: from a changed look (a POST of /api/look) to
// the first coarse image, and to the full image, with both plug-ins in their
// stand-in hosts at the default size, on one and two rendering threads.
//
//   build/release/bench/tools/bench_serve
//
// Each iteration changes Maya's `edginess`, as dragging its slider does, and
// waits for the frame through the same handler the page polls, its PNGs
// encoded: the coarse image (stage:1), the half-size one (stage:2) or the
// full one (stage:3). Only Maya renders again: mental ray's images and the
// scene's traced samples are reused. Goals at the default size (640x320,
// 2x2 samples) on a two-core machine: the coarse image within 50 ms, the
// full one within 150 ms on two threads.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include <memory>
#include <string>
#include <vector>

#include "tools/preview/hosts/hosts.h"
#include "tools/preview/serve/serve.h"
#include "tools/preview/serve/service.h"

namespace {

constexpr int kPort = 8642;

preview::serve::Response ask(preview::serve::Service& service, const std::string& method,
                             const std::string& path, const std::string& body,
                             std::map<std::string, std::string> query = {}) {
  return service.handle({method, path, std::move(query), "127.0.0.1:8642", "", body});
}

// Waits for a frame of the newest look newer than (`have`, `level`).
bool wait_frame(preview::serve::Service& service, unsigned long long have, int level) {
  for (int tries = 0; tries < 100; ++tries) {
    const preview::serve::Response r =
        ask(service, "GET", "/api/frame", "",
            {{"have", std::to_string(have)}, {"level", std::to_string(level)}, {"wait", "5000"}});
    if (r.status != 200) return false;
    if (r.body.find("\"stage\":0") == std::string::npos) return true;
  }
  return false;
}

// Every host the page shows by default with its plug-in loaded (not the
// viewport, which is asked for by name); false (the benchmark skipped) when
// one cannot load.
bool load_hosts(benchmark::State& state, std::vector<preview::LoadedHost>& hosts) {
  static const std::vector<preview::HostEntry> entries = preview::built_hosts();
  for (const preview::HostEntry& e : entries) {
    if (!e.shows.empty()) continue;
    std::string error;
    hosts.push_back({&e, e.make("", error)});
    if (!hosts.back().backend) {
      state.SkipWithError(error.c_str());
      return false;
    }
  }
  return true;
}

// range(0): rendering threads; range(1): 1 waits for the coarse image, 2 for
// the half-size one, 3 for the full one.
void BM_LookToImage(benchmark::State& state) {
  std::vector<preview::LoadedHost> hosts;
  if (!load_hosts(state, hosts)) return;
  preview::ServeOptions options;
  options.threads = static_cast<int>(state.range(0));
  const int stage = static_cast<int>(state.range(1));
  preview::serve::Service service(std::move(hosts), options);
  service.set_port(kPort);
  wait_frame(service, 0, 2);  // the default look, in full

  int step = 0;
  for (auto _ : state) {
    const std::string look =
        R"({"hosts": {"maya": {"edginess": ")" + std::to_string(5 + step++ % 20) + "\"}}}";
    const preview::serve::Response posted = ask(service, "POST", "/api/look", look);
    const std::size_t at = posted.body.find("\"generation\":");
    const unsigned long long generation = std::stoull(posted.body.substr(at + 13));
    // Coarse: anything of this look; the others: more than the level before.
    const bool ok = stage == 1 ? wait_frame(service, generation - 1, 3)
                               : wait_frame(service, generation, stage - 1);
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
    ->Args({1, 3})
    ->Args({2, 3})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A request over loopback, on a new connection, while range(0) other
// connections hold half a request each: the answer should take as long with
// them as without (1.5 to 2.5 ms on the shared two-core machine, a new
// connection each time, with 0, 64 or 200 held).
void BM_AnswerWhileStalled(benchmark::State& state) {
  std::vector<preview::LoadedHost> hosts;
  if (!load_hosts(state, hosts)) return;
  preview::ServeOptions options;
  preview::serve::Limits limits;
  limits.idle_ms = limits.request_ms = 600000;  // held for the whole run
  preview::serve::Service service(std::move(hosts), options, limits);
  preview::serve::HttpServer http(service, limits);
  const int port = http.bind(0);
  service.set_port(port);
  std::thread server([&] { http.run(); });
  std::vector<int> stalled;
  for (int i = 0; i < state.range(0); ++i) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
      const std::string half = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n";
      ::send(fd, half.data(), half.size(), MSG_NOSIGNAL);
    }
    stalled.push_back(fd);
  }
  for (auto _ : state) {
    httplib::Client client("127.0.0.1", port);
    const auto r = client.Get("/api/controls");
    if (!r || r->status != 200) {
      state.SkipWithError("no answer");
      break;
    }
  }
  for (const int fd : stalled) ::close(fd);
  service.shutdown();
  http.stop();
  server.join();
}
BENCHMARK(BM_AnswerWhileStalled)
    ->ArgName("stalled")
    ->Arg(0)
    ->Arg(64)
    ->Arg(200)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
