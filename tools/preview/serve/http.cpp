// The only file that sees the HTTP library, and the server's only
// process-wide state (the interrupt flag).
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>

#include "tools/preview/serve/serve.h"

namespace preview::serve {

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void on_interrupt(int) {
  g_interrupted = 1;
}

}  // namespace

struct HttpServer::Impl {
  httplib::Server server;
};

HttpServer::HttpServer(Service& service, const Limits& limits) : impl_(std::make_unique<Impl>()) {
  httplib::Server& server = impl_->server;
  server.set_payload_max_length(limits.max_body);
  server.set_read_timeout(5, 0);
  server.set_write_timeout(5, 0);
  server.set_keep_alive_timeout(5);
  const auto handler = [&service](const httplib::Request& in, httplib::Response& out) {
    Request request;
    request.method = in.method;
    request.path = in.path;
    for (const auto& [name, value] : in.params) request.query.emplace(name, value);
    request.host = in.get_header_value("Host");
    request.origin = in.get_header_value("Origin");
    request.body = in.body;
    const Response response = service.handle(request);
    out.status = response.status;
    out.set_content(response.body, response.content_type.c_str());
    // The page runs only its own scripts and shows only its own images.
    out.set_header("Cache-Control", "no-store");
    out.set_header("X-Content-Type-Options", "nosniff");
    out.set_header("X-Frame-Options", "DENY");
    out.set_header("Content-Security-Policy",
                   "default-src 'self'; img-src 'self' data:; frame-ancestors 'none'");
  };
  server.Get(".*", handler);
  server.Post(".*", handler);
  server.Put(".*", handler);
  server.Delete(".*", handler);
  server.Patch(".*", handler);
}

HttpServer::~HttpServer() = default;

int HttpServer::bind(int port) {
  // Loopback only: the page controls files in --out and the machine's cores.
  if (port == 0) return impl_->server.bind_to_any_port("127.0.0.1");
  return impl_->server.bind_to_port("127.0.0.1", port) ? port : -1;
}

void HttpServer::run() {
  impl_->server.listen_after_bind();
}

void HttpServer::stop() {
  impl_->server.stop();
}

int run_server(std::vector<LoadedHost>& hosts, const ServeOptions& options, std::ostream& out,
               std::ostream& err) {
  Service service(std::move(hosts), options);
  HttpServer http(service);
  const int port = http.bind(options.port);
  if (port < 0) {
    err << "velvet-preview: cannot listen on 127.0.0.1:" << options.port
        << " (is it in use? --port 0 picks a free port)\n";
    return kExitFailure;
  }
  service.set_port(port);

  g_interrupted = 0;
  const auto previous_int = std::signal(SIGINT, on_interrupt);
  const auto previous_term = std::signal(SIGTERM, on_interrupt);
  std::atomic<bool> running{true};
  // A signal handler may only set a flag; this thread turns it into a stop.
  std::thread watcher([&] {
    while (running.load()) {
      if (g_interrupted != 0) {
        service.shutdown();
        http.stop();
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  out << "velvet-preview: serving on http://127.0.0.1:" << port
      << "/ (this machine only; Ctrl-C stops)" << std::endl;
  http.run();
  running.store(false);
  watcher.join();
  service.shutdown();
  std::signal(SIGINT, previous_int);
  std::signal(SIGTERM, previous_term);
  out << "velvet-preview: stopped" << std::endl;
  return kExitOk;
}

}  // namespace preview::serve
