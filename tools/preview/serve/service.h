// The live preview's protocol, without a socket: one request in, one response
// out. The HTTP layer (http.cpp) only copies requests and responses between
// the network and handle(), so that tests and fuzzers can drive everything
// the page can reach.
//
//   GET  /, /app.js, /style.css   the page, built into the tool
//   GET  /api/controls            every host's parameters (type, default,
//                                 soft range), the scene's, the shared ones
//   POST /api/look                {"scene": {FLAG: TEXT}, "hosts": {HOST:
//                                 {NAME: TEXT}}}: the whole look, as the
//                                 command line's flags; answers its
//                                 generation and hand-over snippets
//   GET  /api/frame?have=G&stage=S&wait=MS
//                                 the newest images once they are newer than
//                                 generation G at stage S (0 none, 1 coarse,
//                                 2 full), waiting up to MS milliseconds
//   POST /api/save                writes the full images of the newest look
//                                 into the --out folder
//   GET  /api/looks               the looks the command line finds, each as
//                                 every control's value per host
//   POST /api/save-look           {"name": NAME}: writes the newest look's
//                                 settings as look NAME (a Maya preset and
//                                 a .mi shader block) into the --out folder
//
// Every look is rendered by one worker thread, coarse first, then full; a
// newer look cancels the render in flight, and a frame is only ever served
// for the newest look.
#ifndef VELVET_TOOLS_PREVIEW_SERVE_SERVICE_H
#define VELVET_TOOLS_PREVIEW_SERVE_SERVICE_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tools/preview/cli/cli.h"
#include "tools/preview/render/render.h"

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
  std::string content_type = "application/json";
  std::string body;
};

struct Limits {
  std::size_t max_body = 64 * 1024;  // bytes of a request body
  int max_wait_ms = 5000;            // longest a frame request waits
  int max_waiters = 8;               // frame requests waiting at once
  int save_wait_ms = 60000;          // longest Save waits for the full image
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

  // Safe to call from any number of threads.
  Response handle(const Request& request);

  // Wakes every waiting request and stops the worker; handle() still answers
  // afterwards, without waiting.
  void shutdown();

  // Looks rendered or cancelled so far, and renders cancelled: for tests and
  // benchmarks.
  std::uint64_t renders_cancelled() const { return cancelled_.load(); }

 private:
  // Each host's defaults, by parameters() index.
  struct Defaults {
    std::vector<ParamValue> value;
    std::vector<bool> known;  // false where the host declares none
    // A colour's or vector's channel (Maya's colorR): the colour's index and
    // the channel's; -1 for the rest.
    std::vector<int> parent, channel;
  };
  // A look as received, with every host's assignments in the order given.
  struct Received {
    Look look;
    std::uint64_t generation = 0;
  };
  struct Frame {
    std::uint64_t generation = 0;
    int stage = 0;
    std::string json;
  };

  Response page(const Request& request) const;
  Response controls() const;
  Response post_look(const Request& request);
  Response frame(const Request& request);
  Response save();
  Response looks() const;
  Response save_look(const Request& request);

  std::string build_controls() const;
  // The look's assignments that change a fresh node, per host: the last of
  // each name, defaults at the start dropped.
  std::vector<std::pair<std::string, ParamValue>> changes(std::size_t host, const Look& look) const;
  // Every control's value (a colour with its channels) after `look` is set
  // on a fresh node, per host; names without a known value are left out.
  std::vector<std::pair<std::string, ParamValue>> settings(std::size_t host,
                                                           const Look& look) const;
  std::string command_line(const Look& look) const;
  std::string mel(const Look& look) const;
  std::string mi(const Look& look) const;

  void work();
  // Renders one look: false when it was cancelled.
  bool render_look(const Received& job);
  void publish(std::uint64_t generation, int stage, const std::vector<Image>& images,
               const std::string& error, double milliseconds);

  std::vector<LoadedHost> hosts_;
  std::vector<Defaults> defaults_;
  ServeOptions options_;
  Limits limits_;
  std::string controls_json_;
  std::atomic<int> port_{0};

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  Received look_;                                   // the newest look
  std::uint64_t rendered_ = 0;                      // generation the worker last finished with
  Frame frame_;                                     // the newest frame of the newest look
  std::shared_ptr<const std::vector<Image>> full_;  // full images of frame_, if full
  int waiters_ = 0;
  bool stop_ = false;
  std::atomic<bool> cancel_{false};
  std::atomic<std::uint64_t> cancelled_{0};
  std::mutex save_mutex_;
  std::thread worker_;
};

// Answers whether `host` (a Host header) names this machine's loopback
// address or localhost with `port`.
bool host_allowed(const std::string& host, int port);

// Answers whether `origin` (an Origin header) is absent or this server's own
// page: another site's page must not change the look or save.
bool origin_allowed(const std::string& origin, int port);

}  // namespace preview::serve

#endif  // VELVET_TOOLS_PREVIEW_SERVE_SERVICE_H
