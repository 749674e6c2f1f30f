// The live preview's routes: one request in, one response out, without a
// socket. The HTTP layer (http.cpp) only copies requests and responses
// between the network and handle(), so that tests and fuzzers can drive
// everything the page can reach. The look on screen is the look service's
// (look_service.h), the images the render worker's (render_worker.h).
//
//   GET  /, /app.js, /style.css   the page, built into the tool
//   GET  /api/controls            every host's parameters (type, default,
//                                 soft range), the scene's, the shared ones
//   GET  /api/look                the look on screen: its generation, every
//                                 control's value, the hand-over texts
//   POST /api/look                {"scene": {FLAG: TEXT}, "hosts": {HOST:
//                                 {NAME: TEXT}}}: settings to change, as the
//                                 command line's flags; the rest stay. Answers
//                                 as GET /api/look does
//   GET  /api/frame?have=G&stage=S&wait=MS
//                                 the newest images once they are newer than
//                                 generation G at stage S (0 none, 1 coarse,
//                                 2 full), waiting up to MS milliseconds
//   POST /api/save                writes the full images of the newest look
//                                 into the --out folder
//   GET  /api/looks               the looks the command line finds, each as
//                                 every control's value per host
//   POST /api/upload?kind=K&file=NAME
//                                 the body is an OBJ mesh (K "mesh") or a
//                                 PNG or OpenEXR texture (K "texture"), at
//                                 most Limits::max_upload bytes, kept as
//                                 NAME: the look then names it, as "mesh"
//                                 in the scene or "@NAME" for a colour
//   POST /api/save-look           {"name": NAME[, "overwrite": true]}:
//                                 writes the newest look's settings as look
//                                 NAME (a Maya preset and a .mi shader
//                                 block) into the --out folder; a look
//                                 there already is a 409 without overwrite
//
// Every error is a JSON object {"error": TEXT} that names what was wrong.
#ifndef VELVET_TOOLS_PREVIEW_SERVE_SERVICE_H
#define VELVET_TOOLS_PREVIEW_SERVE_SERVICE_H

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tools/preview/cli/cli.h"
#include "tools/preview/serve/look_service.h"
#include "tools/preview/serve/render_worker.h"
#include "tools/preview/serve/uploads.h"

namespace preview::serve {

struct Request {
  std::string method;  // "GET", "POST", ...
  std::string path;    // without the query
  std::map<std::string, std::string> query;
  std::string host;    // the Host header; empty when there was none
  std::string origin;  // the Origin header; empty when there was none
  std::string body;
};

struct Response {
  int status = 200;
  // With its charset: cpp-httplib compresses a bare "application/json" for
  // a browser that accepts brotli, at a cost of tens of milliseconds for a
  // frame of base64 PNGs that do not compress, on a loopback connection
  // where compression saves nothing.
  std::string content_type = "application/json; charset=utf-8";
  std::string body;
};

struct Limits {
  std::size_t max_body = 64 * 1024;    // bytes of a request body
  std::size_t max_upload = 32u << 20;  // bytes of an upload's body (32 MiB)
  std::size_t uploads_kept = 4;        // meshes, and textures, kept at once
  int max_wait_ms = 5000;              // longest a frame request waits
  int max_waiters = 64;                // frame requests waiting at once
  int save_wait_ms = 60000;            // longest Save waits for the full image
  int first_frame_ms = 100;            // longest a look waits to send its first image
  // The connections (http.cpp): a client has `idle_ms` to start a request
  // and `request_ms` from its first byte to send all of it, or is dropped;
  // an answer must leave within `write_ms`. Past `max_connections`, a new
  // connection drops the one that has waited longest for its request.
  int idle_ms = 5000;
  int request_ms = 2000;
  int write_ms = 10000;
  int max_connections = 256;

  // The largest body a request to `path` may have.
  std::size_t body_limit(const std::string& path) const {
    return path == "/api/upload" ? max_upload : max_body;
  }
};

class Service {
 public:
  // Takes over the loaded hosts and starts rendering the default look.
  Service(std::vector<LoadedHost> hosts, const ServeOptions& options, Limits limits = {});
  ~Service();
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  // The port the server listens on: the only one a Host header may name.
  void set_port(int port);

  const Limits& limits() const { return limits_; }

  // Safe to call from any number of threads.
  Response handle(const Request& request);

  // The refusal of a request that may not reach the tool at all (another
  // site's name or page), from its head alone: the HTTP layer asks before
  // it reads a body.
  std::optional<Response> refuse_foreign(const Request& head) const;

  // Wakes every waiting request and stops the worker; handle() still answers
  // afterwards, without waiting.
  void shutdown();

  // Renders cancelled so far: for tests and benchmarks.
  std::uint64_t renders_cancelled() const { return worker_.renders_cancelled(); }
  // Images rendered so far, one per host and stage: for tests and benchmarks.
  std::uint64_t host_renders() const { return worker_.host_renders(); }

 private:
  Response page(const Request& request) const;
  Response get_look() const;
  Response post_look(const Request& request);
  Response frame(const Request& request);
  Response save();
  Response looks() const;
  Response save_look(const Request& request);
  Response upload(const Request& request);
  // The look; with `frame` (null: none), that frame too, its difference at
  // `scale`, as /api/frame gives it.
  Response look_answer(const LookState& state, const Frame* frame = nullptr,
                       long long scale = 0) const;

  std::vector<LoadedHost> hosts_;
  ServeOptions options_;
  Limits limits_;
  std::string controls_json_;  // asked of the hosts before the worker starts
  RenderWorker worker_;
  Uploads uploads_;
  std::unique_ptr<LookService> looks_;
  std::atomic<int> port_{0};
  std::mutex save_mutex_;  // one writer in --out at a time
};

// Answers whether `host` (a Host header) names this machine's loopback
// address or localhost with `port`.
bool host_allowed(const std::string& host, int port);

// Answers whether `origin` (an Origin header) is absent or this server's own
// page: another site's page must not change the look or save.
bool origin_allowed(const std::string& origin, int port);

}  // namespace preview::serve

#endif  // VELVET_TOOLS_PREVIEW_SERVE_SERVICE_H
