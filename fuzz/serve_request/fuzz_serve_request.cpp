// The live preview's request handling, without a socket: any method, path,
// query, Host and Origin header and body (an upload's too: meshes and
// textures read from memory), through Service::handle as the HTTP layer
// would pass them, against the real plug-ins' parameter lists.
//
// The hosts never render here (their shading contexts refuse), so the worker
// fails each look at once and nothing is written. Asserts that every answer
// carries a known status, that a refusal is JSON with an "error" text, that
// only this server's own Host may reach the API, and that asking twice gives
// the same answer wherever the protocol has no generation counter in it.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "parameters_only.h"
#include "tools/preview/cli/cli.h"
#include "tools/preview/hosts/hosts.h"
#include "tools/preview/serve/service.h"

namespace {

constexpr int kPort = 8642;

struct Server {
  std::vector<preview::HostEntry> entries;
  std::vector<std::unique_ptr<preview::Backend>> real;
  std::unique_ptr<preview::serve::Service> service;
};

// The plug-ins are loaded once, and one service answers every input, as one
// server answers every request.
Server& server() {
  static Server* s = [] {
    auto* made = new Server;
    made->entries = preview::built_hosts();
    std::vector<preview::LoadedHost> hosts;
    for (const preview::HostEntry& entry : made->entries) {
      std::string error;
      std::unique_ptr<preview::Backend> backend = entry.make("", error);
      FUZZ_CHECK(backend != nullptr, "%s: %s", entry.flag.c_str(), error.c_str());
      hosts.push_back({&entry, std::make_unique<fuzzutil::ParametersOnly>(*backend)});
      made->real.push_back(std::move(backend));
    }
    preview::ServeOptions options;
    options.port = kPort;
    options.threads = 1;
    // Save needs a full image, which never comes: nothing lands here.
    options.out_dir = (std::filesystem::temp_directory_path() / "velvet_fuzz_serve").string();
    preview::serve::Limits limits;
    limits.max_wait_ms = 0;  // a frame request answers at once
    limits.save_wait_ms = 0;
    made->service = std::make_unique<preview::serve::Service>(std::move(hosts), options, limits);
    made->service->set_port(kPort);
    return made;
  }();
  return *s;
}

const char* const kMethods[] = {"GET", "POST", "PUT", "DELETE", "HEAD", "OPTIONS"};
const char* const kPaths[] = {
    "/",          "/app.js",     "/style.css", "/api/controls",  "/api/look",
    "/api/frame", "/api/save",   "/api/looks", "/../etc/passwd", "/api/look/x",
    "//api/look", "/index.html", "/api/upload"};
const char* const kHosts[] = {"127.0.0.1:8642", "localhost:8642",    "[::1]:8642", "",
                              "127.0.0.1:80",   "evil.example:8642", "127.0.0.1"};
const char* const kOrigins[] = {"", "http://127.0.0.1:8642", "http://localhost:8642",
                                "http://evil.example", "null"};

bool known_status(int status) {
  switch (status) {
    case 200:
    case 400:
    case 403:
    case 404:
    case 405:
    case 409:
    case 413:
    case 429:
    case 500:
    case 503:
      return true;
    default:
      return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  server();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  preview::serve::Request request;
  request.method =
      in.ConsumeBool() ? in.PickValueInArray(kMethods) : in.ConsumeRandomLengthString(8);
  request.path = in.ConsumeBool() ? in.PickValueInArray(kPaths) : in.ConsumeRandomLengthString(64);
  request.host = in.ConsumeBool() ? in.PickValueInArray(kHosts) : in.ConsumeRandomLengthString(32);
  request.origin =
      in.ConsumeBool() ? in.PickValueInArray(kOrigins) : in.ConsumeRandomLengthString(32);
  const int queries = in.ConsumeIntegralInRange(0, 4);
  for (int i = 0; i < queries; ++i) {
    std::string key =
        in.ConsumeBool()
            ? std::string(in.PickValueInArray({"have", "stage", "wait", "host", "kind", "file"}))
            : in.ConsumeRandomLengthString(8);
    // An upload's body is read as the kind of file it names: an OBJ mesh, or
    // a PNG or OpenEXR texture.
    request.query[key] = key == "kind" && in.ConsumeBool()
                             ? std::string(in.PickValueInArray({"mesh", "texture"}))
                             : in.ConsumeRandomLengthString(24);
  }
  request.body = in.ConsumeRemainingBytesAsString();

  preview::serve::Service& service = *server().service;
  const preview::serve::Response first = service.handle(request);
  FUZZ_CHECK(known_status(first.status), "status %d for %s %s", first.status,
             request.method.c_str(), request.path.c_str());
  if (first.status >= 400) {
    FUZZ_CHECK(first.body.find("\"error\"") != std::string::npos, "a refusal must say why: %d '%s'",
               first.status, first.body.c_str());
    // An exception caught at the top is a fault, whatever the input was. It
    // answers 500; a refusal's message may quote the input, which may hold
    // the same words.
    FUZZ_CHECK(first.status != 500 || first.body.find("internal error") == std::string::npos,
               "%s %s: %s", request.method.c_str(), request.path.c_str(), first.body.c_str());
  }
  // Only this server's own page may reach the API.
  const bool own_host = preview::serve::host_allowed(request.host, kPort);
  if (!own_host) {
    FUZZ_CHECK(first.status == 403, "foreign Host '%s' answered %d", request.host.c_str(),
               first.status);
  }

  // Looks and frames carry the newest generation, which the first call may
  // have moved on; everything else answers the same request the same way.
  const bool stateful =
      request.path == "/api/look" || request.path == "/api/frame" || request.path == "/api/save";
  const preview::serve::Response second = service.handle(request);
  FUZZ_CHECK(second.status == first.status || stateful, "a rerun answered %d then %d", first.status,
             second.status);
  if (!stateful || first.status == 400) {
    FUZZ_CHECK(second.status == first.status && second.body == first.body,
               "a rerun answered differently: %d '%s' then %d '%s'", first.status,
               first.body.c_str(), second.status, second.body.c_str());
  }
  return 0;
}
