// velvet-preview --serve: the live preview page on 127.0.0.1.
#ifndef VELVET_TOOLS_PREVIEW_SERVE_SERVE_H
#define VELVET_TOOLS_PREVIEW_SERVE_SERVE_H

#include <cstddef>
#include <memory>
#include <ostream>
#include <vector>

#include "tools/preview/cli/cli.h"
#include "tools/preview/serve/service.h"

namespace preview::serve {

// HTTP on the loopback address in front of a Service; `limits` bound what
// each connection may take (see http.cpp).
class HttpServer {
 public:
  explicit HttpServer(Service& service, const Limits& limits = {});
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Binds 127.0.0.1:`port`, any free port for 0. Returns the port, or -1.
  int bind(int port);
  // Answers requests until stop(); call after bind().
  void run();
  // From any thread; ends every open connection too.
  void stop();

  // Connections open now: for tests.
  std::size_t open_connections() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// CliEnvironment::serve: serves until SIGINT or SIGTERM and returns the exit
// code.
int run_server(std::vector<LoadedHost>& hosts, const ServeOptions& options, std::ostream& out,
               std::ostream& err);

}  // namespace preview::serve

#endif  // VELVET_TOOLS_PREVIEW_SERVE_SERVE_H
