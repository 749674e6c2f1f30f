// The server's connections over real loopback sockets: clients that stall,
// trickle or wait for frames delay nobody else; a client that does not send
// a whole request in time is dropped; a body over the cap is refused as soon
// as the cap is passed, however it is sent; what the HTTP layer refuses
// itself is named.
//
// The times checked are generous bounds, not measurements: "at once" is
// checked as well under a second and a half, where a server that let the
// stalled clients hold its threads would wait for them for many seconds (the
// limits here keep them open for 20). Speed itself is the benchmarks' job.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#endif

#include <atomic>
#include <chrono>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "tests/tools/preview/fake_backend.h"
#include "tools/preview/serve/serve.h"
#include "tools/preview/serve/service.h"
#include "tools/preview/serve/socket.h"

namespace {

using Clock = std::chrono::steady_clock;
using nlohmann::json;
using namespace std::chrono_literals;

// A client that sends exactly the bytes it is given, when it is told to.
class Raw {
 public:
  explicit Raw(int port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  }
  ~Raw() { preview::serve::net::close(fd_); }
  Raw(const Raw&) = delete;
  Raw& operator=(const Raw&) = delete;

  bool connected() const { return connected_; }
  bool send(const std::string& bytes) {
    return preview::serve::net::send(fd_, bytes.data(), bytes.size()) ==
           static_cast<preview::serve::net::io_size>(bytes.size());
  }
  // Everything that arrives until the server closes the connection or
  // `timeout` passes; `closed` says which.
  std::string read_all(std::chrono::milliseconds timeout, bool& closed, bool one_answer = false) {
    std::string got;
    closed = false;
    const auto end = Clock::now() + timeout;
    while (Clock::now() < end && !(one_answer && whole_answer(got))) {
      pollfd p{fd_, POLLIN, 0};
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
      if (preview::serve::net::poll_one(p, static_cast<int>(left.count()) + 1) <= 0) continue;
      char buffer[4096];
      const auto n = preview::serve::net::recv(fd_, buffer, sizeof buffer);
      if (n <= 0) {
        closed = true;
        break;
      }
      got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
  }

 private:
  // A head and as much body as it announces.
  static bool whole_answer(const std::string& got) {
    const std::size_t head = got.find("\r\n\r\n");
    if (head == std::string::npos) return false;
    const std::size_t length = got.find("Content-Length: ");
    if (length == std::string::npos || length > head) return true;
    return got.size() >= head + 4 + std::stoul(got.substr(length + 16));
  }

  socket_t fd_;
  bool connected_ = false;
};

class Connections : public ::testing::Test {
 protected:
  void start(preview::serve::Limits limits) {
    entries_ = fake::host_entries();
    std::vector<preview::LoadedHost> hosts;
    for (const preview::HostEntry& e : entries_) {
      hosts.push_back({&e, std::make_unique<fake::Backend>()});
    }
    preview::ServeOptions options;
    options.threads = 1;
    options.out_dir = "/nonexistent/velvet-never-written";
    service_ = std::make_unique<preview::serve::Service>(std::move(hosts), options, limits);
    http_ = std::make_unique<preview::serve::HttpServer>(*service_, limits);
    port_ = http_->bind(0);
    ASSERT_GT(port_, 0);
    service_->set_port(port_);
    thread_ = std::thread([this] { http_->run(); });
  }
  void TearDown() override {
    if (!http_) return;
    service_->shutdown();
    http_->stop();
    thread_.join();
  }

  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
  std::string head(const std::string& request_line) const {
    return request_line + "\r\nHost: " + host() + "\r\n";
  }
  // Waits (a few seconds at most) until the server holds `count` connections.
  bool holds(std::size_t count) {
    for (int i = 0; i < 500 && http_->open_connections() < count; ++i)
      std::this_thread::sleep_for(10ms);
    return http_->open_connections() >= count;
  }
  std::uint64_t generation() {
    httplib::Client c("127.0.0.1", port_);
    const auto r = c.Get("/api/look");
    return r ? json::parse(r->body)["generation"].get<std::uint64_t>() : 0;
  }

  std::vector<preview::HostEntry> entries_;
  std::unique_ptr<preview::serve::Service> service_;
  std::unique_ptr<preview::serve::HttpServer> http_;
  std::thread thread_;
  int port_ = 0;
};

TEST_F(Connections, StalledTricklingAndWaitingClientsDelayNobody) {
  preview::serve::Limits limits;
  limits.idle_ms = 20000;
  limits.request_ms = 20000;
  limits.max_waiters = 64;
  start(limits);
  constexpr int kSilent = 40, kHalf = 40, kTrickle = 20, kWaiting = 24;
  std::vector<std::unique_ptr<Raw>> held;
  for (int i = 0; i < kSilent; ++i) held.push_back(std::make_unique<Raw>(port_));
  for (int i = 0; i < kHalf; ++i) {
    held.push_back(std::make_unique<Raw>(port_));
    held.back()->send(head("GET / HTTP/1.1") + "Accept: text/html\r\n");
  }
  std::vector<std::unique_ptr<Raw>> trickle;
  for (int i = 0; i < kTrickle; ++i) {
    trickle.push_back(std::make_unique<Raw>(port_));
    trickle.back()->send(head("POST /api/look HTTP/1.1") + "Content-Length: 60000\r\n\r\n{");
  }
  std::atomic<bool> trickling{true};
  std::thread trickler([&] {
    while (trickling.load()) {
      for (auto& t : trickle) t->send(" ");
      std::this_thread::sleep_for(100ms);
    }
  });
  // Frame requests that wait for a look newer than the one shown.
  const std::uint64_t shown = generation();
  for (int i = 0; i < kWaiting; ++i) {
    held.push_back(std::make_unique<Raw>(port_));
    held.back()->send(
        head("GET /api/frame?have=" + std::to_string(shown) + "&stage=2&wait=5000 HTTP/1.1") +
        "\r\n");
  }
  ASSERT_TRUE(holds(kSilent + kHalf + kTrickle + kWaiting));
  std::this_thread::sleep_for(200ms);

  httplib::Client client("127.0.0.1", port_);
  client.set_read_timeout(30, 0);
  const auto timed = [](const auto& ask) {
    const auto start = Clock::now();
    const httplib::Result r = ask();
    return std::make_pair(r ? r->status : -1, Clock::now() - start);
  };
  const auto page = timed([&] { return client.Get("/"); });
  const auto look = timed([&] {
    return client.Post("/api/look", R"({"hosts": {"maya": {"edginess": "7"}}})",
                       "application/json");
  });
  const auto frame = timed([&] { return client.Get("/api/frame?have=0&stage=0&wait=0"); });
  trickling.store(false);
  trickler.join();
  EXPECT_EQ(page.first, 200);
  EXPECT_EQ(look.first, 200);
  EXPECT_EQ(frame.first, 200);
  EXPECT_LT(page.second, 1500ms);
  EXPECT_LT(look.second, 1500ms);
  EXPECT_LT(frame.second, 1500ms);
  // The waiting frame requests are answered with the newer look's frame.
  bool closed = false;
  const std::string answer = held.back()->read_all(10s, closed, /*one_answer=*/true);
  EXPECT_EQ(answer.compare(0, 15, "HTTP/1.1 200 OK"), 0) << answer.substr(0, 200);
  EXPECT_EQ(answer.find("\"stage\":0"), std::string::npos) << "no newer frame came";
}

TEST_F(Connections, AClientThatSendsNoWholeRequestInTimeIsDropped) {
  preview::serve::Limits limits;
  limits.idle_ms = 300;
  limits.request_ms = 300;
  start(limits);
  Raw silent(port_), half(port_), trickle(port_);
  half.send(head("GET / HTTP/1.1"));
  const auto start = Clock::now();
  trickle.send("G");
  bool closed = false;
  // A byte now and then does not keep a connection: the whole request is due.
  for (int i = 0; i < 100 && !closed; ++i) {
    trickle.send("E");
    trickle.read_all(50ms, closed);
  }
  EXPECT_TRUE(closed) << "a trickling client kept its connection";
  EXPECT_LT(Clock::now() - start, 4s);
  half.read_all(4s, closed);
  EXPECT_TRUE(closed) << "half a request kept its connection";
  silent.read_all(4s, closed);
  EXPECT_TRUE(closed) << "a silent client kept its connection";
  EXPECT_TRUE(holds(0));
  // The server answers as before.
  httplib::Client client("127.0.0.1", port_);
  const auto r = client.Get("/api/controls");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 200);
}

TEST_F(Connections, PastTheLimitTheLongestWaitingConnectionMakesRoom) {
  preview::serve::Limits limits;
  limits.idle_ms = 20000;
  limits.request_ms = 20000;
  limits.max_connections = 4;
  start(limits);
  std::vector<std::unique_ptr<Raw>> silent;
  for (int i = 0; i < 4; ++i) {
    silent.push_back(std::make_unique<Raw>(port_));
    ASSERT_TRUE(holds(silent.size()));
  }
  httplib::Client client("127.0.0.1", port_);
  client.set_read_timeout(5, 0);
  const auto start = Clock::now();
  const auto r = client.Get("/api/controls");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 200);
  EXPECT_LT(Clock::now() - start, 1500ms);
  bool closed = false;
  silent.front()->read_all(2s, closed);
  EXPECT_TRUE(closed) << "the oldest waiting connection was kept";
  silent.back()->read_all(100ms, closed);
  EXPECT_FALSE(closed) << "a newer connection was dropped";
}

// However the body comes, the answer is a 413 as soon as the cap is passed,
// while the client is still sending; the connection then closes rather than
// read the rest.
TEST_F(Connections, ABodyOverTheCapIsRefusedAsSoonAsTheCapIsPassed) {
  preview::serve::Limits limits;
  limits.idle_ms = 20000;
  limits.request_ms = 20000;
  start(limits);
  const std::string chunk(8 * 1024, 'x');
  char size[16];
  std::snprintf(size, sizeof size, "%zx", chunk.size());
  {
    Raw chunked(port_);
    ASSERT_TRUE(
        chunked.send(head("POST /api/look HTTP/1.1") + "Transfer-Encoding: chunked\r\n\r\n"));
    // Nine chunks of 8 KiB pass 64 KiB; the last chunk never comes.
    for (int i = 0; i < 9; ++i) chunked.send(std::string(size) + "\r\n" + chunk + "\r\n");
    bool closed = false;
    const std::string answer = chunked.read_all(5s, closed);
    EXPECT_EQ(answer.compare(0, 12, "HTTP/1.1 413"), 0) << answer.substr(0, 200);
    EXPECT_NE(answer.find("larger than 65536 bytes"), std::string::npos) << answer;
    EXPECT_TRUE(closed);
  }
  {
    Raw announced(port_);
    announced.send(head("POST /api/look HTTP/1.1") + "Content-Length: 1000000000000\r\n\r\n{");
    bool closed = false;
    const std::string answer = announced.read_all(5s, closed);
    EXPECT_EQ(answer.compare(0, 12, "HTTP/1.1 413"), 0) << answer.substr(0, 200);
    EXPECT_NE(answer.find("1000000000000 announced"), std::string::npos) << answer;
    EXPECT_TRUE(closed);
  }
  {
    // A small compressed body may unpack to any size: not taken.
    Raw packed(port_);
    packed.send(head("POST /api/look HTTP/1.1") +
                "Content-Encoding: gzip\r\nContent-Length: 4\r\n\r\nabcd");
    bool closed = false;
    const std::string answer = packed.read_all(5s, closed);
    EXPECT_EQ(answer.compare(0, 12, "HTTP/1.1 415"), 0) << answer.substr(0, 200);
    EXPECT_NE(answer.find("gzip"), std::string::npos) << answer;
  }
  EXPECT_EQ(generation(), 1u) << "a refused body changed the look";
}

// An upload has its own, larger cap; another site's request is refused from
// its head, before a body it announces has arrived.
TEST_F(Connections, AnUploadHasItsOwnCapAndAForeignOneIsRefusedBeforeItsBody) {
  preview::serve::Limits limits;
  limits.max_upload = 256 * 1024;
  limits.idle_ms = 20000;
  limits.request_ms = 20000;
  start(limits);
  {
    Raw over(port_);
    over.send(head("POST /api/upload?kind=texture&file=a.png HTTP/1.1") +
              "Content-Length: 300000\r\n\r\n");
    bool closed = false;
    const std::string answer = over.read_all(5s, closed);
    EXPECT_EQ(answer.compare(0, 12, "HTTP/1.1 413"), 0) << answer.substr(0, 200);
    EXPECT_NE(answer.find("larger than 262144 bytes"), std::string::npos) << answer;
  }
  for (const std::string& foreign : {std::string("Host: rebind.example\r\n"),
                                     "Host: " + host() + "\r\nOrigin: http://evil.example\r\n"}) {
    Raw early(port_);
    early.send("POST /api/upload?kind=texture&file=a.png HTTP/1.1\r\n" + foreign +
               "Content-Length: 200000\r\n\r\nabc");
    bool closed = false;
    const auto asked = Clock::now();
    const std::string answer = early.read_all(5s, closed, true);
    EXPECT_EQ(answer.compare(0, 12, "HTTP/1.1 403"), 0) << answer.substr(0, 200);
    EXPECT_LT(Clock::now() - asked, 1500ms) << "waited for the body";
  }
  httplib::Client c("127.0.0.1", port_);
  const auto fine = c.Post("/api/upload?kind=texture&file=big.png", std::string(100 * 1024, 'x'),
                           "application/octet-stream");
  ASSERT_TRUE(fine);
  EXPECT_EQ(fine->status, 400) << fine->body;  // read whole, then refused as no image
  EXPECT_NE(fine->body.find("texture big.png: not an image"), std::string::npos) << fine->body;
}

// What the HTTP layer refuses on its own says what was wrong, and a body it
// would not read is never taken for the next request.
TEST_F(Connections, RefusalsOfTheHttpLayerAreNamed) {
  preview::serve::Limits limits;
  limits.idle_ms = 20000;
  limits.request_ms = 20000;
  start(limits);
  const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
      {"NONSENSE\r\n\r\n", "HTTP/1.1 400", "'NONSENSE"},
      {head("GET /api/look HTTP/1.1") +
           "Content-Length: 40\r\n\r\nPOST /api/save HTTP/1.1\r\nHost: x\r\n\r\n",
       "HTTP/1.1 400", "GET takes no body"},
      {head("POST /api/look HTTP/1.1") + "Transfer-Encoding: gzip, chunked\r\n\r\n", "HTTP/1.1 501",
       "transfer encoding"},
      {head("POST /api/look HTTP/1.1") + "Content-Length: -5\r\n\r\n", "HTTP/1.1 400",
       "not a length"},
      {head("BREW /pot HTTP/1.1") + "\r\n", "HTTP/1.1 400", "'BREW"},
  };
  for (const auto& [request, status, named] : cases) {
    Raw raw(port_);
    raw.send(request);
    bool closed = false;
    const std::string answer = raw.read_all(3s, closed);
    EXPECT_EQ(answer.compare(0, status.size(), status), 0) << request << "\n" << answer;
    EXPECT_NE(answer.find(named), std::string::npos) << request << "\n" << answer;
  }
}

}  // namespace

namespace {

// A change's answer over a real socket, as a browser asks for it: it brings
// the look's first image, and goes out uncompressed however much the client
// would accept it compressed (the images in it do not compress, and the
// connection is this machine's own).
TEST_F(Connections, AChangeAnswersWithItsFirstImageUncompressed) {
  // Time enough for the first image on any machine: a busy one may even
  // have refined it by the time the answer leaves.
  preview::serve::Limits limits;
  limits.first_frame_ms = 20000;
  start(limits);
  httplib::Client client("127.0.0.1", port_);
  client.set_read_timeout(30, 0);
  const httplib::Headers accepting = {{"Accept-Encoding", "br, gzip, deflate"}};
  const auto r = client.Post("/api/look", accepting, R"({"hosts": {"maya": {"edginess": "7"}}})",
                             "application/json");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 200) << r->body;
  EXPECT_FALSE(r->has_header("Content-Encoding")) << r->get_header_value("Content-Encoding");
  EXPECT_EQ(r->get_header_value("Content-Type"), "application/json; charset=utf-8");
  const nlohmann::json answer = nlohmann::json::parse(r->body);
  ASSERT_TRUE(answer.contains("frame")) << r->body.substr(0, 300);
  EXPECT_EQ(answer["frame"]["generation"], answer["generation"]);
  EXPECT_GE(answer["frame"]["level"], 1);
  EXPECT_EQ(answer["frame"]["images"]["maya"].get<std::string>().rfind("data:image/png;base64,", 0),
            0u);
}

}  // namespace
