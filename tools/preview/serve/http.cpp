// HTTP: the only file that sees the HTTP library (with socket.h, its
// platform seam), and the server's only process-wide state (the interrupt
// flag).
//
// cpp-httplib parses requests and writes answers; the connections are ours.
// Left to itself the library gives each connection a thread of a small pool
// for as long as the client keeps it open and reads with a timeout per read,
// not per request, so a few clients that send a byte now and then hold every
// thread, and a chunked body is read whole whatever its size. Here:
//   - every connection has its own thread, so a slow client or a waiting
//     frame request holds nothing another request needs; past
//     Limits::max_connections a new connection drops the one that has waited
//     longest for its request;
//   - a client has Limits::idle_ms to start a request and
//     Limits::request_ms from its first byte to send all of it, head and
//     body, or is dropped (an answer must leave within Limits::write_ms);
//   - a body is counted as it arrives and refused (413) the moment it passes
//     Limits::max_body (Limits::max_upload for an upload), whatever its
//     encoding, without being kept; the connection is then closed rather
//     than read to its end.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <list>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "tools/preview/serve/serve.h"
#include "tools/preview/serve/socket.h"

namespace preview::serve {

namespace {

using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void on_interrupt(int) {
  g_interrupted = 1;
}

// Milliseconds from now until `deadline`, for poll(); 0 once it has passed.
int ms_until(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::clamp<long long>(left.count() + 1, 0, 60 * 60 * 1000));
}

// Waits until `fd` is ready for `events` or `deadline` passes.
bool wait_for(socket_t fd, short events, Clock::time_point deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    const int n = net::poll_one(p, ms_until(deadline));
    if (n > 0) return true;
    if (n == 0 || !net::try_again()) return false;
  }
}

// What the current request on this thread's connection came to: set by the
// handlers, read by the connection's loop.
struct RequestState {
  bool close = false;  // the rest of the connection cannot be trusted
  bool timed_out = false;
  const bool* stream_timed_out = nullptr;  // the connection's reads ran out of time
};
thread_local RequestState* t_request = nullptr;

// The server listens on the loopback address only, so both ends of every
// stream are reported as 127.0.0.1.
class LoopbackStream : public httplib::Stream {
 public:
  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    ip = "127.0.0.1";
    port = 0;
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    ip = "127.0.0.1";
    port = 0;
  }
};

// One connection's socket, read and written against deadlines rather than
// per-call timeouts. Buffered like the library's own stream, which reads the
// head a byte at a time.
class DeadlineStream final : public LoopbackStream {
 public:
  DeadlineStream(socket_t fd, const Limits& limits) : fd_(fd), limits_(limits) {}

  // Waits up to idle_ms for the first byte of a request, then gives the
  // whole request request_ms. False when the client sent nothing in time or
  // closed the connection.
  bool start_request() {
    read_deadline_ = Clock::now() + std::chrono::milliseconds(limits_.idle_ms);
    if (begin_ == end_ && !fill()) return false;
    read_deadline_ = Clock::now() + std::chrono::milliseconds(limits_.request_ms);
    write_deadline_ = Clock::time_point::max();
    timed_out_ = false;
    return true;
  }
  bool timed_out() const { return timed_out_; }
  const bool* timed_out_flag() const { return &timed_out_; }

  bool is_readable() const override {
    return begin_ < end_ || wait_for(fd_, POLLIN, read_deadline_);
  }
  bool is_writable() const override { return wait_for(fd_, POLLOUT, write_deadline()); }

  ssize_t read(char* ptr, size_t size) override {
    if (begin_ == end_ && !fill()) return -1;
    const std::size_t n = std::min(size, end_ - begin_);
    std::copy(buffer_ + begin_, buffer_ + begin_ + n, ptr);
    begin_ += n;
    return static_cast<ssize_t>(n);
  }

  ssize_t write(const char* ptr, size_t size) override {
    std::size_t done = 0;
    while (done < size) {
      if (!wait_for(fd_, POLLOUT, write_deadline())) return -1;
      const net::io_size n = net::send(fd_, ptr + done, size - done);
      if (n < 0 && net::try_again()) continue;
      if (n <= 0) return -1;
      done += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(size);
  }

  socket_t socket() const override { return fd_; }

 private:
  // The answer's clock starts with its first byte.
  Clock::time_point write_deadline() const {
    if (write_deadline_ == Clock::time_point::max()) {
      write_deadline_ = Clock::now() + std::chrono::milliseconds(limits_.write_ms);
    }
    return write_deadline_;
  }

  bool fill() {
    for (;;) {
      if (!wait_for(fd_, POLLIN, read_deadline_)) {
        timed_out_ = true;
        return false;
      }
      const net::io_size n = net::recv(fd_, buffer_, sizeof buffer_);
      if (n < 0 && net::try_again()) continue;
      if (n <= 0) return false;
      net::quick_ack(fd_);
      begin_ = 0;
      end_ = static_cast<std::size_t>(n);
      return true;
    }
  }

  socket_t fd_;
  const Limits& limits_;
  char buffer_[4096];
  std::size_t begin_ = 0, end_ = 0;
  Clock::time_point read_deadline_{};
  mutable Clock::time_point write_deadline_ = Clock::time_point::max();
  bool timed_out_ = false;
};

// A request read from memory, its answer written nowhere: see
// GuardedServer::first_request().
class MemoryStream final : public LoopbackStream {
 public:
  explicit MemoryStream(std::string in) : in_(std::move(in)) {}
  bool is_readable() const override { return true; }
  bool is_writable() const override { return true; }
  ssize_t read(char* ptr, size_t size) override {
    const std::size_t n = std::min(size, in_.size() - at_);
    std::copy(in_.data() + at_, in_.data() + at_ + n, ptr);
    at_ += n;
    return static_cast<ssize_t>(n);
  }
  ssize_t write(const char*, size_t size) override { return static_cast<ssize_t>(size); }
  socket_t socket() const override { return INVALID_SOCKET; }

 private:
  std::string in_;
  std::size_t at_ = 0;
};

// The open connections, so that one past the limit can make room and stop()
// can end them all. A connection is evictable while it waits for or reads a
// request; never once it is being answered.
class Connections {
 public:
  struct Entry {
    socket_t fd;
    Clock::time_point since;
    bool answering = false;
    bool dropped = false;
  };
  using Handle = std::list<Entry>::iterator;

  // Registers `fd`; false when the limit is reached and nothing can go.
  bool add(socket_t fd, int limit, Handle& out) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (static_cast<int>(open_.size()) >= limit) {
      auto oldest = open_.end();
      for (auto it = open_.begin(); it != open_.end(); ++it) {
        if (!it->answering && !it->dropped &&
            (oldest == open_.end() || it->since < oldest->since)) {
          oldest = it;
        }
      }
      if (oldest == open_.end()) return false;
      drop(*oldest);
    }
    out = open_.insert(open_.end(), Entry{fd, Clock::now(), false, false});
    return true;
  }
  void waiting(Handle h) {
    std::lock_guard<std::mutex> lock(mutex_);
    h->answering = false;
    h->since = Clock::now();
  }
  void answering(Handle h) {
    std::lock_guard<std::mutex> lock(mutex_);
    h->answering = true;
  }
  // Before the socket is closed: nobody may shut it down afterwards, when
  // its number may belong to another file.
  void remove(Handle h) {
    std::lock_guard<std::mutex> lock(mutex_);
    open_.erase(h);
  }
  void drop_all() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Entry& e : open_) drop(e);
  }
  std::size_t size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return open_.size();
  }

 private:
  // Wakes the connection's thread, which then closes it.
  static void drop(Entry& e) {
    net::shutdown(e.fd);
    e.dropped = true;
  }

  mutable std::mutex mutex_;
  std::list<Entry> open_;
};

// A thread per connection instead of the library's fixed pool.
class ThreadPerConnection final : public httplib::TaskQueue {
 public:
  void enqueue(std::function<void()> fn) override {
    std::lock_guard<std::mutex> lock(mutex_);
    reap();
    auto done = std::make_shared<std::atomic<bool>>(false);
    try {
      threads_.push_back({std::thread([fn = std::move(fn), done] {
                            fn();
                            done->store(true);
                          }),
                          done});
    } catch (const std::system_error&) {
      // No thread to be had: the connection is answered on the accepting
      // thread, still within its deadlines.
      fn();
    }
  }
  void shutdown() override {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Worker& w : threads_) w.thread.join();
    threads_.clear();
  }

 private:
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  void reap() {
    for (auto it = threads_.begin(); it != threads_.end();) {
      if (it->done->load()) {
        it->thread.join();
        it = threads_.erase(it);
      } else {
        ++it;
      }
    }
  }
  std::mutex mutex_;
  std::list<Worker> threads_;
};

std::string error_json(const std::string& message) {
  return nlohmann::json{{"error", message}}.dump(-1, ' ', false,
                                                 nlohmann::json::error_handler_t::replace);
}

// The page runs only its own scripts and shows only its own images.
void page_headers(httplib::Response& out) {
  out.set_header("Cache-Control", "no-store");
  out.set_header("X-Content-Type-Options", "nosniff");
  out.set_header("X-Frame-Options", "DENY");
  out.set_header("Content-Security-Policy",
                 "default-src 'self'; img-src 'self' data:; frame-ancestors 'none'");
}

// A service's response, as the library sends it.
void put(httplib::Response& out, const Response& response) {
  out.status = response.status;
  out.set_content(response.body, response.content_type.c_str());
  page_headers(out);
}

// The connection ends with this answer: what follows on it is not read.
void close_after(httplib::Response& out) {
  out.set_header("Connection", "close");
  if (t_request != nullptr) t_request->close = true;
}

void refuse(httplib::Response& out, int status, const std::string& message, bool close) {
  out.status = status;
  out.set_content(error_json(message), "application/json");
  page_headers(out);
  if (close) close_after(out);
}

bool has_body(const httplib::Request& in) {
  return in.has_header("Content-Length") || in.has_header("Transfer-Encoding");
}

}  // namespace

// The library's server with the connections above in place of its own.
class GuardedServer final : public httplib::Server {
 public:
  explicit GuardedServer(const Limits& limits) : limits_(limits) {
    new_task_queue = [] { return new ThreadPerConnection; };
  }

  // The library listens with a queue of 5: a burst of connections (a page
  // load, or someone holding many open) overflows it, and each connection
  // past it waits a second or more for the client to try again. Listening
  // again on the bound socket only lengthens the queue.
  void lengthen_queue() {
    const socket_t sock = svr_sock_;
    if (sock != INVALID_SOCKET) ::listen(sock, SOMAXCONN);
  }

  // The library builds some tables on first use (the methods it knows) in
  // code that ThreadSanitizer does not see, so the first requests on two
  // connections at once look like a race to it. One request here, before
  // any connection's thread exists, builds them. Its answer (a refusal: no
  // Host) goes nowhere.
  void first_request() {
    MemoryStream stream("GET / HTTP/1.1\r\n\r\n");
    bool closed = false;
    process_request(stream, true, closed, nullptr);
  }

  void stop_all() {
    stop();
    connections_.drop_all();
  }
  std::size_t open_connections() const { return connections_.size(); }

  // Called by the handlers once the request is read whole: from then on the
  // connection is answered, not evicted.
  static thread_local Connections::Handle* t_handle;
  void answering() {
    if (t_handle != nullptr) connections_.answering(*t_handle);
  }

 private:
  bool process_and_close_socket(socket_t sock) override {
    Connections::Handle handle;
    if (!connections_.add(sock, limits_.max_connections, handle)) {
      // Every connection is being answered: say so at once.
      const std::string body = error_json("too many connections; try again");
      const std::string head =
          "HTTP/1.1 503 Service Unavailable\r\nContent-Type: application/json\r\n"
          "Connection: close\r\nContent-Length: " +
          std::to_string(body.size()) + "\r\n\r\n";
      const std::string answer = head + body;
      net::send(sock, answer.data(), answer.size());
      net::shutdown(sock);
      net::close(sock);
      return false;
    }
    t_handle = &handle;
    net::no_delay(sock);
    DeadlineStream stream(sock, limits_);
    bool ok = true;
    while (ok && svr_sock_ != INVALID_SOCKET) {
      connections_.waiting(handle);
      if (!stream.start_request()) break;
      RequestState state;
      state.stream_timed_out = stream.timed_out_flag();
      t_request = &state;
      bool closed = false;
      ok = process_request(stream, false, closed, nullptr);
      t_request = nullptr;
      if (closed || state.close || state.timed_out || stream.timed_out()) break;
    }
    t_handle = nullptr;
    connections_.remove(handle);
    net::shutdown(sock);
    net::close(sock);
    return ok;
  }

  const Limits& limits_;
  Connections connections_;
};

thread_local Connections::Handle* GuardedServer::t_handle = nullptr;

struct HttpServer::Impl {
  explicit Impl(const Limits& l) : limits(l), server(limits) {}
  Limits limits;
  GuardedServer server;
};

HttpServer::HttpServer(Service& service, const Limits& limits)
    : impl_(std::make_unique<Impl>(limits)) {
  GuardedServer& server = impl_->server;
  const Limits& l = impl_->limits;
  server.set_payload_max_length(std::max(l.max_body, l.max_upload));
  server.set_keep_alive_timeout(std::max(1, l.idle_ms / 1000));
  server.set_keep_alive_max_count(100);

  // Before any body is read: what the request says about its body.
  server.set_pre_routing_handler(
      [&l, &service](const httplib::Request& in, httplib::Response& out) {
        // Another site's request is refused before its body (an upload's may be
        // large) is read.
        Request head;
        head.host = in.get_header_value("Host");
        head.origin = in.get_header_value("Origin");
        if (const std::optional<Response> refused = service.refuse_foreign(head)) {
          put(out, *refused);
          if (has_body(in)) close_after(out);
          return httplib::Server::HandlerResponse::Handled;
        }
        const std::string encoding = in.get_header_value("Content-Encoding");
        if (!encoding.empty() && encoding != "identity") {
          refuse(out, 415, "request bodies are taken uncompressed, not as " + encoding, true);
          return httplib::Server::HandlerResponse::Handled;
        }
        const std::string transfer = in.get_header_value("Transfer-Encoding");
        if (!transfer.empty() && transfer != "chunked") {
          refuse(out, 501, "the transfer encoding " + transfer + " is not taken", true);
          return httplib::Server::HandlerResponse::Handled;
        }
        if (in.has_header("Content-Length")) {
          const std::string text = in.get_header_value("Content-Length");
          const bool digits =
              !text.empty() && text.size() <= 18 &&
              std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
          if (!digits) {
            refuse(out, 400, "Content-Length is not a length: '" + text + "'", true);
            return httplib::Server::HandlerResponse::Handled;
          }
          if (std::stoull(text) > l.body_limit(in.path)) {
            refuse(out, 413,
                   "request body larger than " + std::to_string(l.body_limit(in.path)) +
                       " bytes (" + text + " announced)",
                   true);
            return httplib::Server::HandlerResponse::Handled;
          }
        }
        // The library reads no body of these: it must not be taken for the next
        // request.
        const bool bodiless = in.method == "GET" || in.method == "HEAD" || in.method == "OPTIONS";
        if (bodiless &&
            (in.has_header("Transfer-Encoding") ||
             (in.has_header("Content-Length") && in.get_header_value("Content-Length") != "0"))) {
          refuse(out, 400, in.method + " takes no body", true);
          return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
      });

  const auto answer = [&service, &server](const httplib::Request& in, const std::string& body,
                                          httplib::Response& out) {
    server.answering();
    Request request;
    request.method = in.method;
    request.path = in.path;
    for (const auto& [name, value] : in.params) request.query.emplace(name, value);
    request.host = in.get_header_value("Host");
    request.origin = in.get_header_value("Origin");
    request.body = body;
    put(out, service.handle(request));
  };
  // A body is read through a counter that stops at the cap: nothing past it
  // is read, and nothing over it is kept.
  const auto with_body = [answer, &l](const httplib::Request& in, httplib::Response& out,
                                      const httplib::ContentReader& read) {
    std::string body;
    bool over = false;
    const std::size_t limit = l.body_limit(in.path);
    if (has_body(in)) {
      const bool whole = read([&](const char* data, std::size_t size) {
        if (size > limit - body.size()) {
          over = true;
          return false;
        }
        body.append(data, size);
        return true;
      });
      if (over) {
        refuse(out, 413, "request body larger than " + std::to_string(limit) + " bytes", true);
        return;
      }
      if (!whole) {
        const bool late = t_request != nullptr && t_request->stream_timed_out != nullptr &&
                          *t_request->stream_timed_out;
        if (late) {
          refuse(out, 408,
                 "the request body did not arrive whole within " + std::to_string(l.request_ms) +
                     " ms",
                 true);
        } else {
          refuse(out, 400, "the request body ended early or its chunks are not well formed", true);
        }
        return;
      }
    }
    answer(in, body, out);
  };
  const auto without_body = [answer](const httplib::Request& in, httplib::Response& out) {
    answer(in, "", out);
  };
  server.Get(".*", without_body);
  server.Options(".*", without_body);
  server.Post(".*", with_body);
  server.Put(".*", with_body);
  server.Patch(".*", with_body);
  server.Delete(".*", with_body);
  // What the library answers itself (a head it cannot read, a method it does
  // not know) says what was wrong too.
  server.set_error_handler(httplib::Server::HandlerWithResponse([&l](const httplib::Request& in,
                                                                     httplib::Response& out) {
    if (!out.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
    std::string message = "bad request";
    const bool late = t_request != nullptr && t_request->stream_timed_out != nullptr &&
                      *t_request->stream_timed_out;
    if (late) {
      out.status = 408;
      message = "the request did not arrive whole within " + std::to_string(l.request_ms) + " ms";
    } else if (out.status == 400 && in.method.empty()) {
      message =
          "the request's head did not arrive whole or is not HTTP/1.x with a known method "
          "(GET, HEAD, POST, PUT, PATCH, DELETE, OPTIONS)";
    } else if (out.status == 400) {
      message = "cannot read the request '" + in.method +
                "...': the server takes GET, HEAD, POST, PUT, PATCH, DELETE or OPTIONS over "
                "HTTP/1.x";
    } else if (out.status == 404) {
      message = "no such address: " + in.path;
    } else if (out.status == 414) {
      message = "the address is too long";
    }
    // The library's own refusals come from a head it could not read: what
    // follows cannot be trusted as the next request.
    refuse(out, out.status, message, true);
    return httplib::Server::HandlerResponse::Handled;
  }));
  server.first_request();
}

HttpServer::~HttpServer() = default;

int HttpServer::bind(int port) {
  // Loopback only: the page controls files in --out and the machine's cores.
  const int bound = port == 0 ? impl_->server.bind_to_any_port("127.0.0.1")
                    : impl_->server.bind_to_port("127.0.0.1", port) ? port
                                                                    : -1;
  if (bound > 0) impl_->server.lengthen_queue();
  return bound;
}

void HttpServer::run() {
  impl_->server.listen_after_bind();
}

void HttpServer::stop() {
  impl_->server.stop_all();
}

std::size_t HttpServer::open_connections() const {
  return impl_->server.open_connections();
}

int run_server(std::vector<LoadedHost>& hosts, const ServeOptions& options, std::ostream& out,
               std::ostream& err) {
  Service service(std::move(hosts), options);
  HttpServer http(service, service.limits());
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
