// The live preview's protocol, with host-free backends: who may ask, what bad
// input gets (the command line's own message, or the refused key), that the
// look is laid over and shared by every page, that a newer look cancels an
// older one and is the only one shown, that saving writes into --out only,
// and that a flood of requests over a real loopback socket is answered
// without harm.
#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>
#include <tuple>

#include "tests/tools/preview/fake_backend.h"
#include "tools/preview/look/handover.h"
#include "tools/preview/render/image_io.h"
#include "tools/preview/render/obj.h"
#include "tools/preview/render/render.h"
#include "tools/preview/render/texture_file.h"
#include "tools/preview/serve/serve.h"
#include "tools/preview/serve/service.h"

namespace {

using nlohmann::json;
using preview::serve::Request;
using preview::serve::Response;

constexpr int kPort = 8642;

preview::ParamValue number(float f) {
  preview::ParamValue v;
  v.v[0] = f;
  return v;
}
preview::ParamValue rgb(float r, float g, float b) {
  preview::ParamValue v;
  v.type = preview::ParamType::Color;
  v.v[0] = r;
  v.v[1] = g;
  v.v[2] = b;
  return v;
}
preview::ParamValue integer(int i) {
  preview::ParamValue v;
  v.type = preview::ParamType::Integer;
  v.i = i;
  return v;
}
preview::ParamValue boolean(bool b) {
  preview::ParamValue v;
  v.type = preview::ParamType::Boolean;
  v.b = b;
  return v;
}

// Shades slowly, so that a render is still running when the next look comes.
class SlowBackend : public fake::Backend {
 public:
  std::unique_ptr<preview::ShadingContext> make_context(std::string& error) override {
    struct Slow : preview::ShadingContext {
      std::unique_ptr<preview::ShadingContext> inner;
      core::Color shade(const preview::ShadingSample& s) override {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        return inner->shade(s);
      }
    };
    auto slow = std::make_unique<Slow>();
    slow->inner = fake::Backend::make_context(error);
    return slow;
  }
};

class Serve : public ::testing::Test {
 protected:
  void start(bool slow = false, const preview::LookFiles& looks = {}) {
    entries_ = fake::host_entries();
    if (with_viewport_) {
      entries_.push_back(preview::viewport_entry());
      entries_.back().make = entries_.front().make;
    }
    std::vector<preview::LoadedHost> hosts;
    for (const preview::HostEntry& e : entries_) {
      hosts.push_back(
          {&e, slow ? std::make_unique<SlowBackend>() : std::make_unique<fake::Backend>()});
    }
    preview::ServeOptions options;
    options.port = kPort;
    options.threads = 2;
    options.out_dir = out_.string();
    options.looks = looks;
    service_ = std::make_unique<preview::serve::Service>(std::move(hosts), options, limits_);
    service_->set_port(kPort);
  }
  void set_port(int port) {
    service_->set_port(port);
    host_ = "127.0.0.1:" + std::to_string(port);
  }

  Response call(const std::string& method, const std::string& path, const std::string& body = "",
                const char* host = nullptr, std::map<std::string, std::string> query = {}) {
    return service_->handle({method, path, std::move(query), host ? host : host_, origin_, body});
  }
  json post_look(const std::string& look, int expect = 200) {
    const Response r = call("POST", "/api/look", look);
    EXPECT_EQ(r.status, expect) << r.body;
    return json::parse(r.body);
  }
  json frame(std::uint64_t have, int stage, int wait_ms, int level = -1) {
    std::map<std::string, std::string> query = {{"have", std::to_string(have)},
                                                {"stage", std::to_string(stage)},
                                                {"wait", std::to_string(wait_ms)}};
    if (level >= 0) query["level"] = std::to_string(level);
    const Response r = call("GET", "/api/frame", "", nullptr, query);
    EXPECT_EQ(r.status, 200) << r.body;
    return json::parse(r.body);
  }
  // The full frame of `generation`, waiting at most a few seconds.
  json full_frame(std::uint64_t generation) {
    json f;
    for (int tries = 0; tries < 50; ++tries) {
      f = frame(generation, 1, 200, 2);  // past the coarser levels
      if (f["generation"] == generation && f["stage"] == 2) return f;
    }
    ADD_FAILURE() << "no full frame of " << generation;
    return f;
  }

  // One folder per test: CTest runs them side by side.
  std::filesystem::path out_ =
      std::filesystem::temp_directory_path() /
      ("velvet_serve_" +
       std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
  std::string host_ = "127.0.0.1:8642";
  std::string origin_;
  std::vector<preview::HostEntry> entries_;
  bool with_viewport_ = false;  // a third host that shows Maya's node
  preview::serve::Limits limits_;
  std::unique_ptr<preview::serve::Service> service_;
};

TEST(ServeHelp, HelpDocumentsServeAndPort) {
  preview::CliEnvironment env;
  std::ostringstream out, err;
  env.out = &out;
  env.err = &err;
  ASSERT_EQ(preview::run({"--help"}, env), preview::kExitOk);
  EXPECT_NE(out.str().find("  --serve "), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("  --port N "), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("default " + std::to_string(preview::kDefaultPort)), std::string::npos);
}

TEST_F(Serve, OnlyTheLoopbackAddressOrLocalhostWithThePortMayAsk) {
  start();
  for (const char* host : {"127.0.0.1:8642", "localhost:8642", "LOCALHOST:8642"}) {
    EXPECT_EQ(call("GET", "/", "", host).status, 200) << host;
  }
  // DNS rebinding arrives under another name; other ports are other servers.
  for (const char* host : {"", "evil.example:8642", "evil.example", "127.0.0.1", "localhost",
                           "127.0.0.1:8643", "localhost:86420", "127.0.0.1:8642.evil.example",
                           "[::1]:8642", "0.0.0.0:8642", "127.0.0.2:8642"}) {
    const Response r = call("GET", "/api/controls", "", host);
    EXPECT_EQ(r.status, 403) << host;
    EXPECT_EQ(call("POST", "/api/save", "{}", host).status, 403) << host;
  }
  // The page's own origin, or none (not a browser), may post; another
  // site's page may not, even to the right address.
  for (const char* origin : {"http://127.0.0.1:8642", "http://localhost:8642", ""}) {
    origin_ = origin;
    EXPECT_EQ(call("POST", "/api/look", "{}").status, 200) << origin;
  }
  for (const char* origin : {"http://evil.example", "https://127.0.0.1:8642",
                             "http://127.0.0.1:8643", "null", "http://127.0.0.1:8642/x"}) {
    origin_ = origin;
    EXPECT_EQ(call("POST", "/api/look", "{}").status, 403) << origin;
  }
}

TEST_F(Serve, ServesOnlyItsOwnPageFiles) {
  start();
  const Response page = call("GET", "/");
  EXPECT_NE(page.body.find("/app.js"), std::string::npos);
  EXPECT_EQ(call("GET", "/app.js").content_type, "text/javascript; charset=utf-8");
  for (const char* path : {"/../CMakeLists.txt", "/index.html/..", "//etc/passwd", "/api",
                           "/api/../index.html", "/app.js%00"}) {
    EXPECT_EQ(call("GET", path).status, 404) << path;
  }
}

// Each refusal says what was wrong, and leaves the look and --out alone.
TEST_F(Serve, BadRequestsGetTheirStatusAndAMessageNamingWhatWasWrong) {
  std::filesystem::remove_all(out_);
  start();
  const json before = json::parse(call("GET", "/api/look").body);
  const std::vector<std::tuple<std::string, std::string, std::string, int, std::string>> cases = {
      {"GET", "/api/nosuch", "", 404, "/api/nosuch"},
      {"GET", "/nosuch.html", "", 404, "/nosuch.html"},
      {"POST", "/", "", 405, "POST"},
      {"PUT", "/api/look", "{}", 405, "GET or POST"},
      {"GET", "/api/save", "", 405, "POST"},
      {"POST", "/api/look", std::string(65 * 1024, ' '), 413, "65536 bytes"},
      {"POST", "/api/look", "{", 400, "JSON object"},
      {"POST", "/api/look", R"({"hosts": {"maya": {"edginess": "x"}}})", 400, "edginess"},
  };
  for (const auto& [method, path, body, status, named] : cases) {
    const Response r = call(method, path, body);
    EXPECT_EQ(r.status, status) << method << " " << path;
    const std::string message = json::parse(r.body).value("error", "");
    EXPECT_NE(message.find(named), std::string::npos) << method << " " << path << ": " << message;
  }
  EXPECT_EQ(json::parse(call("GET", "/api/look").body), before);
  EXPECT_FALSE(std::filesystem::exists(out_));
}

TEST_F(Serve, BadValuesGetTheCommandLinesMessageAndTheServerCarriesOn) {
  start();
  // Each look and the command line that says the same.
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {R"({"hosts": {"maya": {"edginess": "nan"}}})", {"--maya", "edginess=nan"}},
      {R"({"hosts": {"maya": {"edginess": "1e99"}}})", {"--maya", "edginess=1e99"}},
      {R"({"hosts": {"maya": {"color": "1,0"}}})", {"--maya", "color=1,0"}},
      {R"({"hosts": {"mr": {"color": "1,0,0,0"}}})", {"--mr", "color=1,0,0,0"}},
      {R"({"hosts": {"maya": {"nosuch": "1"}}})", {"--maya", "nosuch=1"}},
      {R"({"hosts": {"mr": {"bounces": "1.5"}}})", {"--mr", "bounces=1.5"}},
      {R"({"hosts": {"maya": {"lobe": "maybe"}}})", {"--maya", "lobe=maybe"}},
      {R"({"scene": {"size": "10x0"}})", {"--size", "10x0"}},
      {R"({"scene": {"aa": "99"}})", {"--aa", "99"}},
      {R"({"scene": {"shapes": "cube"}})", {"--shapes", "cube"}},
      {R"({"scene": {"key": "inf"}})", {"--key", "inf"}},
      {R"({"scene": {"irradiance": "-1,0,0"}})", {"--irradiance", "-1,0,0"}},
  };
  preview::CliEnvironment env;
  env.hosts = entries_;
  for (const auto& [look, args] : cases) {
    std::ostringstream out, err;
    env.out = &out;
    env.err = &err;
    ASSERT_EQ(preview::run(args, env), preview::kExitUsage) << look;
    const std::string printed = err.str().substr(0, err.str().find('\n'));
    EXPECT_EQ("velvet-preview: " + post_look(look, 400)["error"].get<std::string>(), printed);
  }
  // Not the command line's to say, but refused all the same.
  for (const char* look :
       {"", "[]", "{", R"({"scene": []})", R"({"camera": {}})",
        R"({"hosts": {"maya": {"edginess": 3}}})", R"({"hosts": {"maya": {"edginess": ["3"]}}})",
        R"({"scene": {"size=1x1": "2x2"}})", "{\"hosts\": {\"maya\": {\"\xff\": \"1\"}}}"}) {
    EXPECT_EQ(call("POST", "/api/look", look).status, 400) << look;
  }
  EXPECT_EQ(frame(0, 0, 0)["generation"], 1) << "no bad look was taken";
  const json good = post_look(R"({"hosts": {"maya": {"edginess": "7"}}})");
  EXPECT_EQ(good["generation"], 2);
  EXPECT_EQ(full_frame(2)["images"].size(), 2u);
}

// Only the page's own settings: whatever else the command line takes (where
// files go, which look files are read, other modes) is refused by name.
TEST_F(Serve, ThePageMaySendLookSettingsOnlyAndARefusedKeyIsNamed) {
  start();
  post_look(R"({"hosts": {"maya": {"edginess": "9"}}})");
  const json before = json::parse(call("GET", "/api/look").body);
  for (const char* key :
       {"look", "save-look", "maya-presets", "mr-looks", "out", "threads", "port", "serve", "hosts",
        "list", "compare", "sweep", "help", "maya-plugin", "maya", "bogus", ""}) {
    const Response r =
        call("POST", "/api/look",
             json{{"scene", {{key, "x"}}}, {"hosts", {{"maya", {{"edginess", "3"}}}}}}.dump());
    EXPECT_EQ(r.status, 400) << key;
    EXPECT_NE(json::parse(r.body)["error"].get<std::string>().find("'" + std::string(key) + "'"),
              std::string::npos)
        << r.body;
  }
  for (const char* host : {"houdini", "maya-plugin", "mr-library", "out"}) {
    const Response r = call("POST", "/api/look", json{{"hosts", {{host, {{"a", "1"}}}}}}.dump());
    EXPECT_EQ(r.status, 400) << host;
    EXPECT_NE(json::parse(r.body)["error"].get<std::string>().find("'" + std::string(host) + "'"),
              std::string::npos)
        << r.body;
  }
  EXPECT_EQ(json::parse(call("GET", "/api/look").body), before)
      << "a refused change changed the look";
}

// A change names what it changes; the rest of the look stays, whichever page
// set it. Opening a page (its files, its controls, the look) changes nothing.
TEST_F(Serve, ChangesAreLaidOverTheLookThatEveryPageShares) {
  limits_.first_frame_ms = 20000;  // the first image comes however busy the machine
  start();
  const json opened = json::parse(call("GET", "/api/look").body);
  EXPECT_EQ(opened["generation"], 1);
  EXPECT_EQ(opened["hosts"]["maya"]["edginess"], "4");
  EXPECT_EQ(opened["scene"]["key"], "1");
  // One page changes edginess, another the colour and the key light.
  post_look(R"({"hosts": {"maya": {"edginess": "9"}}})");
  json second = post_look(R"({"scene": {"key": "2"}, "hosts": {"mr": {"color": "1,0,0"}}})");
  // The change's answer brings its first image besides the look.
  ASSERT_TRUE(second.contains("frame")) << second.dump().substr(0, 300);
  EXPECT_EQ(second["frame"]["generation"], 3);
  second.erase("frame");
  EXPECT_EQ(second["generation"], 3);
  for (const char* path : {"/", "/app.js", "/api/controls", "/api/look", "/api/looks"}) {
    EXPECT_EQ(call("GET", path).status, 200) << path;
  }
  const json shown = json::parse(call("GET", "/api/look").body);
  EXPECT_EQ(shown, second) << "opening a page changed the look";
  EXPECT_EQ(shown["hosts"]["maya"]["edginess"], "9");
  EXPECT_EQ(shown["hosts"]["mr"]["color"], "1,0,0");
  EXPECT_EQ(shown["scene"]["key"], "2");
  EXPECT_EQ(shown["command"], "velvet-preview --key 2 --maya edginess=9 --mr color=1,0,0");
  // A page that waits for frames hears of the newer look.
  EXPECT_EQ(frame(1, 2, 0)["generation"], 3);
  // Back to a default: the command line says nothing of it any more.
  post_look(R"({"hosts": {"maya": {"edginess": "4"}}})");
  EXPECT_EQ(json::parse(call("GET", "/api/look").body)["command"],
            "velvet-preview --key 2 --mr color=1,0,0");
}

TEST_F(Serve, HandOverSnippetsCarryTheChangedValuesAndRenderTheSameLook) {
  start();
  const json answer = post_look(
      R"({"scene": {"size": "320x160", "key": "2"},
          "hosts": {"maya": {"color": "0.5,0.2,0.2", "edginess": "25", "lobe": "off"},
                    "mr": {"edginess": "0.1"}}})");
  // The default colour, given first, changes nothing and is left out.
  EXPECT_EQ(answer["command"],
            "velvet-preview --size 320x160 --key 2 --maya edginess=25 --maya lobe=off "
            "--mr edginess=0.1");
  // Each host's hand-over is its entry's writer's, with every setting, so
  // that it gives the look on a node whatever that node had.
  EXPECT_EQ(answer["handover"]["maya"], preview::mel_handover({{"color", rgb(0.5f, 0.2f, 0.2f)},
                                                               {"edginess", number(25.0f)},
                                                               {"bounces", integer(0)},
                                                               {"lobe", boolean(false)}}));
  EXPECT_EQ(answer["handover"]["mr"], preview::mi_handover({{"color", rgb(0.5f, 0.2f, 0.2f)},
                                                            {"edginess", number(0.1f)},
                                                            {"bounces", integer(0)},
                                                            {"lobe", boolean(true)}}));

  // The command line, read back, is the same look.
  std::vector<std::string> args;
  std::istringstream words(answer["command"].get<std::string>());
  for (std::string w; words >> w;) args.push_back(w);
  args.erase(args.begin());
  std::vector<preview::LoadedHost> hosts;
  for (const preview::HostEntry& e : entries_)
    hosts.push_back({&e, std::make_unique<fake::Backend>()});
  preview::Look look;
  ASSERT_EQ(preview::parse_look(args, hosts, look), "");
  EXPECT_EQ(look.scene.width, 320);
  EXPECT_EQ(look.scene.key, 2.0f);
  ASSERT_EQ(look.values["maya"].size(), 2u);
  EXPECT_EQ(look.values["maya"][0].second.v[0], 25.0f);
  EXPECT_FALSE(look.values["maya"][1].second.b);
}

TEST_F(Serve, ANewerLookCancelsTheRenderInFlightAndIsTheOnlyOneShown) {
  start(/*slow=*/true);
  const std::uint64_t first = post_look(R"({"scene": {"size": "64x32", "aa": "1"}})")["generation"];
  // The coarse image comes first, then the full one is under way.
  json f = frame(0, 0, 3000);
  while (f["generation"] != first) f = frame(0, 0, 3000);
  EXPECT_EQ(f["stage"], 1);
  EXPECT_EQ(f["width"], 16);
  const std::uint64_t second =
      post_look(R"({"scene": {"size": "64x32", "aa": "1"}, "hosts": {"maya": {"edginess": "9"}}})")
          ["generation"];
  for (int i = 0; i < 20; ++i) {
    const json now = frame(0, 0, 0);
    EXPECT_TRUE(now["stage"] == 0 || now["generation"] == second) << now["generation"];
  }
  EXPECT_EQ(full_frame(second)["width"], 64);
  EXPECT_GE(service_->renders_cancelled(), 1u);
}

TEST_F(Serve, AOneHostChangeRendersThatHostOnlyAndASceneChangeRendersEveryHost) {
  start();
  const std::uint64_t first = post_look(R"({"scene": {"size": "64x32", "aa": "2"}})")["generation"];
  const json before = full_frame(first);
  const std::uint64_t renders = service_->host_renders();
  // Maya's edginess changes: Maya renders its coarse, half-size and full
  // image again, mental ray's images are the ones it already has.
  const std::uint64_t second = post_look(R"({"hosts": {"maya": {"edginess": "9"}}})")["generation"];
  const json after = full_frame(second);
  EXPECT_EQ(service_->host_renders(), renders + 3);
  EXPECT_NE(after["images"]["maya"], before["images"]["maya"]);
  EXPECT_EQ(after["images"]["mr"], before["images"]["mr"]);
  // A value set back to what an image was rendered with: nothing to render
  // but Maya, whose last image had edginess 9.
  const std::uint64_t third = post_look(R"({"hosts": {"maya": {"edginess": "4"}}})")["generation"];
  EXPECT_EQ(full_frame(third)["images"]["maya"], before["images"]["maya"]);
  EXPECT_EQ(service_->host_renders(), renders + 6);
  // A scene change renders every host.
  const std::uint64_t fourth = post_look(R"({"scene": {"key": "0.5"}})")["generation"];
  const json lit = full_frame(fourth);
  EXPECT_EQ(service_->host_renders(), renders + 12);
  EXPECT_NE(lit["images"]["mr"], before["images"]["mr"]);
}

TEST_F(Serve, TheDifferenceComesAtAFixedScaleWhenAskedAndABadScaleIsRefused) {
  start();
  const std::uint64_t g =
      post_look(R"({"scene": {"size": "32x16", "aa": "1"}, "hosts": {"maya": {"edginess": "9"}}})")
          ["generation"];
  const json largest = full_frame(g);
  EXPECT_FALSE(largest.contains("scale"));
  std::map<int, std::string> shown;
  for (const int scale : {1, 10, 100}) {
    const Response r = call("GET", "/api/frame", "", nullptr,
                            {{"have", "0"}, {"stage", "0"}, {"scale", std::to_string(scale)}});
    ASSERT_EQ(r.status, 200) << r.body;
    const json f = json::parse(r.body);
    EXPECT_EQ(f["scale"], scale);
    EXPECT_EQ(f["largest"], largest["largest"]);
    shown[scale] = f["difference"];
  }
  EXPECT_NE(shown[1], shown[10]);
  EXPECT_NE(shown[10], shown[100]);
  for (const char* bad : {"7", "-1", "x", "1000"}) {
    const Response r =
        call("GET", "/api/frame", "", nullptr, {{"have", "0"}, {"stage", "0"}, {"scale", bad}});
    EXPECT_EQ(r.status, 400) << bad;
    EXPECT_NE(r.body.find("scale 1, 10 or 100"), std::string::npos) << r.body;
  }
}

TEST_F(Serve, SaveWritesTheCommandLinesFilesIntoTheOutFolder) {
  start();
  const std::filesystem::path dir = out_;
  std::filesystem::remove_all(dir);
  post_look(R"({"scene": {"size": "32x16", "aa": "1"}})");
  const Response r = call("POST", "/api/save", "{}");
  ASSERT_EQ(r.status, 200) << r.body;
  std::vector<std::string> names;
  const json answer = json::parse(r.body);
  for (const auto& path : answer["wrote"]) {
    const std::filesystem::path p = path.get<std::string>();
    EXPECT_EQ(p.parent_path(), dir);
    EXPECT_TRUE(std::filesystem::exists(p));
    names.push_back(p.filename().string());
  }
  // Without OpenEXR (the Windows build) the PNGs alone, as the command line.
  if (preview::exr_available()) {
    EXPECT_EQ(names, (std::vector<std::string>{"preview.png", "maya.png", "maya.exr",
                                               "mentalray.png", "mentalray.exr"}));
  } else {
    EXPECT_EQ(names, (std::vector<std::string>{"preview.png", "maya.png", "mentalray.png"}));
  }
  std::filesystem::remove_all(dir);
}

// The page's look list: the command line's look files, each look as every
// control's value, defaults where the look says nothing.
TEST_F(Serve, LooksGiveEveryControlsValueAndNameTheBadFile) {
  const std::filesystem::path dir = out_.string() + "_looks";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir / "presets");
  std::ofstream(dir / "presets" / "red_one.mel")
      << "startAttrPreset( \"velvet\" );\nblendAttr \"edginess\" 9;\nblendAttr \"lobe\" 0;\n"
         "endAttrPreset();\n";
  std::ofstream(dir / "looks.mi") << "shader \"velvet_red_one\" \"krel_velvet\" (\n"
                                     "  \"color\" 0.25 0.5 1 1\n)\n";
  start(false, {(dir / "presets").string(), (dir / "looks.mi").string(), "test"});
  Response r = call("GET", "/api/looks");
  ASSERT_EQ(r.status, 200) << r.body;
  const json looks = json::parse(r.body)["looks"];
  ASSERT_EQ(looks.size(), 1u) << r.body;
  EXPECT_EQ(looks[0]["name"], "red-one");
  EXPECT_EQ(looks[0]["hosts"]["maya"],
            (json{{"color", "0.5,0.2,0.2"}, {"edginess", "9"}, {"bounces", "0"}, {"lobe", "off"}}));
  EXPECT_EQ(looks[0]["hosts"]["mr"],
            (json{{"color", "0.25,0.5,1"}, {"edginess", "4"}, {"bounces", "0"}, {"lobe", "on"}}));

  // A value the host refuses: the file and line, as --list-looks says it.
  std::ofstream(dir / "looks.mi") << "shader \"velvet_red_one\" \"krel_velvet\" (\n"
                                     "  \"edginess\" soft\n)\n";
  r = call("GET", "/api/looks");
  EXPECT_EQ(r.status, 500);
  EXPECT_NE(json::parse(r.body)["error"].get<std::string>().find("looks.mi:2: "), std::string::npos)
      << r.body;
  std::filesystem::remove_all(dir);
}

// Save as look writes the newest look's every setting as a preset and a
// shader block into --out, which read back as the same look.
TEST_F(Serve, SaveLookWritesThePresetAndTheShaderBlockIntoOutOnly) {
  std::filesystem::remove_all(out_);
  start(false, {out_.string(), (out_ / "my_look.mi").string(), "test"});
  post_look(R"({"hosts": {"maya": {"edginess": "25"}, "mr": {"lobe": "off"}}})");
  const Response r = call("POST", "/api/save-look", R"({"name": "my-look"})");
  ASSERT_EQ(r.status, 200) << r.body;
  const json answer = json::parse(r.body);
  EXPECT_EQ(answer["name"], "my-look");
  EXPECT_EQ(answer["wrote"],
            (json{(out_ / "my_look.mel").string(), (out_ / "my_look.mi").string()}));
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(out_))
    files.push_back(e.path().filename().string());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"my_look.mel", "my_look.mi"}));

  const json looks = json::parse(call("GET", "/api/looks").body)["looks"];
  ASSERT_EQ(looks.size(), 1u);
  EXPECT_EQ(looks[0]["name"], "my-look");
  EXPECT_EQ(looks[0]["hosts"]["maya"]["edginess"], "25");
  EXPECT_EQ(looks[0]["hosts"]["maya"]["lobe"], "on");
  EXPECT_EQ(looks[0]["hosts"]["mr"]["lobe"], "off");
  EXPECT_EQ(looks[0]["hosts"]["mr"]["color"], "0.5,0.2,0.2");
  std::filesystem::remove_all(out_);
}

// a-b and a_b name the same look: saving one over the other asks first (a
// 409 that names both spellings) and replaces it only when told to.
TEST_F(Serve, SaveAsLookOverALookThereAsksFirst) {
  namespace fs = std::filesystem;
  fs::remove_all(out_);
  start();
  post_look(R"({"hosts": {"maya": {"edginess": "25"}}})");
  ASSERT_EQ(call("POST", "/api/save-look", R"({"name": "a-b"})").status, 200);
  std::stringstream first;
  first << std::ifstream(out_ / "a_b.mel").rdbuf();
  post_look(R"({"hosts": {"maya": {"edginess": "30"}}})");
  for (const char* name : {"a-b", "a_b"}) {
    const Response r = call("POST", "/api/save-look", R"({"name": ")" + std::string(name) + "\"}");
    EXPECT_EQ(r.status, 409) << name;
    const std::string message = json::parse(r.body)["error"];
    EXPECT_NE(message.find("a_b.mel"), std::string::npos) << message;
    EXPECT_NE(message.find("a-b and a_b name the same look"), std::string::npos) << message;
  }
  std::stringstream kept;
  kept << std::ifstream(out_ / "a_b.mel").rdbuf();
  EXPECT_EQ(kept.str(), first.str());
  const Response r = call("POST", "/api/save-look", R"({"name": "a_b", "overwrite": true})");
  ASSERT_EQ(r.status, 200) << r.body;
  EXPECT_EQ(json::parse(r.body)["name"], "a-b");
  std::stringstream replaced;
  replaced << std::ifstream(out_ / "a_b.mel").rdbuf();
  EXPECT_NE(replaced.str(), first.str());
  EXPECT_NE(replaced.str().find("30"), std::string::npos) << replaced.str();
  fs::remove_all(out_);
}

TEST_F(Serve, ABadLookNameIsRefusedAndWritesNothing) {
  std::filesystem::remove_all(out_);
  start();
  for (const std::string& name : std::vector<std::string>{
           "../evil", "a/b", "a\\\\b", "..", "", "x.y", "con", "2x", std::string(200, 'a')}) {
    const Response r = call("POST", "/api/save-look", R"({"name": ")" + name + R"("})");
    EXPECT_EQ(r.status, 400) << name;
    EXPECT_NE(json::parse(r.body)["error"].get<std::string>().find("a look's name is"),
              std::string::npos)
        << r.body;
  }
  for (const char* body :
       {"", "[]", R"({"name": 3})", R"({"nom": "x"})", R"({"name": "x", "overwrite": "yes"})"}) {
    EXPECT_EQ(call("POST", "/api/save-look", body).status, 400) << body;
  }
  EXPECT_EQ(call("GET", "/api/save-look").status, 405);
  EXPECT_FALSE(std::filesystem::exists(out_));
}

// Links that someone placed in --out are replaced by the files, never
// followed: what they point to, outside --out, stays as it was.
TEST_F(Serve, SaveReplacesLinksInOutAndNeverWritesThroughThem) {
  namespace fs = std::filesystem;
  const fs::path outside = out_.string() + "_outside";
  fs::remove_all(out_);
  fs::remove_all(outside);
  fs::create_directories(out_);
  fs::create_directories(outside);
  std::ofstream(outside / "victim.png") << "keep me";
  // Windows makes symbolic links only with a privilege a test cannot count
  // on (and Wine makes none).
  std::error_code no_links;
  fs::create_symlink(outside / "victim.png", out_ / "preview.png", no_links);
  if (no_links) GTEST_SKIP() << "cannot make symbolic links here";
  fs::create_symlink(outside / "made.png", out_ / "maya.png");  // dangling
  fs::create_symlink(outside, out_ / "mentalray.png");          // a folder
  fs::create_symlink(outside / "look.mel", out_ / "mine.mel");
  start();
  post_look(R"({"scene": {"size": "32x16", "aa": "1"}})");
  Response r = call("POST", "/api/save", "{}");
  ASSERT_EQ(r.status, 200) << r.body;
  r = call("POST", "/api/save-look", R"({"name": "mine", "overwrite": true})");
  ASSERT_EQ(r.status, 200) << r.body;
  for (const char* name : {"preview.png", "maya.png", "mentalray.png", "mine.mel", "mine.mi"}) {
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(out_ / name))) << name;
  }
  std::stringstream victim;
  victim << std::ifstream(outside / "victim.png").rdbuf();
  EXPECT_EQ(victim.str(), "keep me");
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(outside))
    left.push_back(e.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"victim.png"});
  fs::remove_all(out_);
  fs::remove_all(outside);
}

// "Save as look" writes its two files or neither; a failed save leaves what
// was there, and no temporary file behind.
TEST_F(Serve, SaveAsLookWritesBothFilesOrNeither) {
  namespace fs = std::filesystem;
  fs::remove_all(out_);
  fs::create_directories(out_ / "mine.mi");  // a folder where a file must go
  std::ofstream(out_ / "mine.mel") << "earlier";
  start();
  post_look(R"({"hosts": {"maya": {"edginess": "25"}}})");
  const Response r = call("POST", "/api/save-look", R"({"name": "mine", "overwrite": true})");
  EXPECT_EQ(r.status, 500);
  EXPECT_NE(json::parse(r.body)["error"].get<std::string>().find("mine.mi"), std::string::npos)
      << r.body;
  std::stringstream mel;
  mel << std::ifstream(out_ / "mine.mel").rdbuf();
  EXPECT_EQ(mel.str(), "earlier");
  std::vector<std::string> files;
  for (const auto& e : fs::directory_iterator(out_)) files.push_back(e.path().filename().string());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"mine.mel", "mine.mi"}));
  fs::remove_all(out_);
}

// A few hundred requests of every kind, from four connections at once, over
// loopback: each is answered, and the server answers afterwards as before.
TEST_F(Serve, AFloodOfRequestsIsAnsweredAndLeavesTheServerWorking) {
  start();
  preview::serve::HttpServer http(*service_);
  const int port = http.bind(0);
  ASSERT_GT(port, 0);
  set_port(port);
  std::thread server([&] { http.run(); });
  const std::string host = "127.0.0.1:" + std::to_string(port);

  constexpr int kClients = 4;
  constexpr int kEach = 80;
  std::vector<int> wrong(kClients, 0);
  std::vector<std::thread> clients;
  const auto started = std::chrono::steady_clock::now();
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&, c] {
      httplib::Client client("127.0.0.1", port);
      client.set_read_timeout(10, 0);
      for (int i = 0; i < kEach; ++i) {
        const int kind = i % 7;
        const int expect = kind == 1   ? 403
                           : kind == 2 ? 400
                           : kind == 4 ? 413
                           : kind == 5 ? 404
                                       : 200;
        const auto send = [&]() -> httplib::Result {
          switch (kind) {
            case 0:
              return client.Get("/api/controls");
            case 1:
              return client.Get("/", {{"Host", "rebind.example:" + std::to_string(port)}});
            case 2:
              return client.Post("/api/look", R"({"hosts": {"maya": {"edginess": "x"}}})",
                                 "application/json");
            case 3:
              return client.Post(
                  "/api/look",
                  R"({"scene": {"size": "32x16"}, "hosts": {"maya": {"edginess": ")" +
                      std::to_string(i) + "\"}}}",
                  "application/json");
            case 4:
              return client.Post("/api/look", std::string(70 * 1024, '{'), "application/json");
            case 5:
              return client.Get("/etc/passwd");
            default:
              return client.Get("/api/frame?have=0&stage=0&wait=0");
          }
        };
        const httplib::Result r = send();
        if (!r || r->status != expect) ++wrong[c];
        // A refused body may close the connection; the next request reopens it.
      }
    });
  }
  for (std::thread& t : clients) t.join();
  const auto took = std::chrono::steady_clock::now() - started;
  for (int c = 0; c < kClients; ++c) EXPECT_EQ(wrong[c], 0) << "client " << c;
  EXPECT_LT(took, std::chrono::seconds(60));

  httplib::Client after("127.0.0.1", port);
  const auto r = after.Post("/api/look", R"({"scene": {"size": "32x16"}})", "application/json");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 200);
  const std::uint64_t last = json::parse(r->body)["generation"];
  EXPECT_EQ(full_frame(last)["generation"], last);
  http.stop();
  server.join();
}

}  // namespace

// The viewport shows the Maya node: an image with no controls of its own,
// drawn again when Maya's settings change, set only through Maya, and
// sharing Maya's look file.
TEST_F(Serve, AHostThatShowsMayasNodeFollowsMayaAndHasNoControls) {
  with_viewport_ = true;
  std::filesystem::remove_all(out_);
  start(false, {out_.string(), (out_ / "my_look.mi").string(), "test"});
  const json controls = json::parse(call("GET", "/api/controls").body);
  ASSERT_EQ(controls["hosts"].size(), 3u);
  EXPECT_EQ(controls["hosts"][2]["flag"], "viewport");
  EXPECT_EQ(controls["hosts"][2]["shows"], "maya");
  EXPECT_TRUE(controls["hosts"][2]["params"].empty());

  const std::uint64_t first = post_look(R"({"scene": {"size": "32x16"}})")["generation"];
  const json before = full_frame(first);
  const std::uint64_t renders = service_->host_renders();
  const std::uint64_t second = post_look(R"({"hosts": {"maya": {"edginess": "9"}}})")["generation"];
  const json after = full_frame(second);
  EXPECT_EQ(service_->host_renders(), renders + 6);  // maya and viewport, at three levels
  EXPECT_NE(after["images"]["viewport"], before["images"]["viewport"]);
  EXPECT_EQ(after["images"]["viewport"], after["images"]["maya"]);  // the same fake shading

  const json refused = post_look(R"({"hosts": {"viewport": {"edginess": "3"}}})", 400);
  EXPECT_NE(refused.dump().find("may not set 'viewport' (hosts: maya, mr)"), std::string::npos)
      << refused.dump();
  EXPECT_EQ(post_look("{}")["command"].get<std::string>().find("--viewport"), std::string::npos);

  const Response r = call("POST", "/api/save-look", R"({"name": "shown"})");
  ASSERT_EQ(r.status, 200) << r.body;
  EXPECT_EQ(json::parse(r.body)["wrote"],
            (json{(out_ / "shown.mel").string(), (out_ / "shown.mi").string()}));
  std::filesystem::remove_all(out_);
}

// Refinement: the coarse image, then half the size, then the full one, each
// answered once to a page that has the one before; a level whose next has
// under four times its samples is skipped.
TEST_F(Serve, ImagesRefineFromCoarseThroughHalfSizeToFull) {
  // The change's answer waits for its first image however busy the machine.
  limits_.first_frame_ms = 20000;
  start(true);  // slow shading: each level is there to be seen
  // The levels a page sees of generation `g`, asking each time for one
  // newer than it has.
  const auto levels_of = [&](std::uint64_t g, int full_width) {
    std::vector<int> levels;
    int have = 0;
    for (int tries = 0; tries < 100 && have < 3; ++tries) {
      const json f = frame(g - 1 + (have > 0), have > 0 ? 1 : 2, 2000, have > 0 ? have : 3);
      if (f["generation"] != g) continue;
      levels.push_back(f["level"]);
      EXPECT_EQ(f["stage"], f["level"] == 3 ? 2 : 1);
      const int divisor = f["level"] == 1 ? 4 : f["level"] == 2 ? 2 : 1;
      EXPECT_EQ(f["width"], (full_width + divisor - 1) / divisor);
      have = f["level"];
    }
    return levels;
  };
  // Never a level twice or out of order, and the full image last.
  const auto check = [](const std::vector<int>& levels) {
    ASSERT_FALSE(levels.empty());
    EXPECT_EQ(levels.back(), 3);
    EXPECT_TRUE(std::is_sorted(levels.begin(), levels.end()));
    EXPECT_EQ(std::adjacent_find(levels.begin(), levels.end()), levels.end());
  };
  // The change's answer brings its first image, which a slow machine may
  // already have refined past the coarse one; the half-size one comes long
  // before the full one, which has sixteen times its samples.
  const json posted = post_look(R"({"scene": {"size": "64x32", "aa": "2"}})");
  ASSERT_TRUE(posted.contains("frame"));
  EXPECT_LE(posted["frame"]["level"], 2);
  const std::vector<int> large = levels_of(posted["generation"], 64);
  check(large);
  EXPECT_EQ(std::count(large.begin(), large.end(), 2), 1);

  // One sample per pixel at 8 x 4: half the size has a quarter of the full
  // image's samples, too few to be worth a stop; a quarter still is.
  const std::vector<int> small =
      levels_of(post_look(R"({"scene": {"size": "8x4", "aa": "1"}})")["generation"], 8);
  check(small);
  EXPECT_EQ(std::count(small.begin(), small.end(), 2), 0);

  const json level =
      json::parse(call("GET", "/api/frame", "", nullptr, {{"have", "0"}, {"level", "4"}}).body);
  EXPECT_NE(level.dump().find("level 0 to 3"), std::string::npos) << level.dump();
}

// ---- uploads ------------------------------------------------------------------

namespace {

// A unit quad facing the camera, with texture coordinates (`uvs`) or
// without.
std::string quad_obj(bool uvs) {
  return std::string("v -1 -1 0\nv 1 -1 0\nv 1 1 0\nv -1 1 0\n") +
         (uvs ? "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nf 1/1 2/2 3/3 4/4\n" : "f 1 2 3 4\n");
}

// A 4 x 4 checker of `a` and `b` as a PNG file's bytes.
std::string checker_png(float a, float b) {
  preview::Image image(4, 4);
  for (int i = 0; i < 16; ++i) {
    const float v = ((i % 4) + (i / 4)) % 2 ? a : b;
    for (int c = 0; c < 3; ++c) image.rgb[3 * i + c] = c == 0 ? v : 0.3f;
  }
  std::vector<unsigned char> png;
  std::string error;
  EXPECT_TRUE(preview::encode_png(image, png, error)) << error;
  return std::string(png.begin(), png.end());
}

}  // namespace

class Uploads : public Serve {
 protected:
  Response upload(const std::string& kind, const std::string& file, const std::string& bytes) {
    return call("POST", "/api/upload", bytes, nullptr, {{"kind", kind}, {"file", file}});
  }
  // The error of a refused request, which must be a 400.
  std::string refused(const Response& r) {
    EXPECT_EQ(r.status, 400) << r.body;
    return json::parse(r.body).value("error", "");
  }
  // What a fake host renders of `options` with `mesh` and `texture` on its
  // colour, as the page shows it.
  std::string rendered(preview::SceneOptions options, std::shared_ptr<const preview::Mesh> mesh,
                       const std::string& texture_png) {
    fake::Backend backend;
    if (!texture_png.empty()) {
      auto texture = std::make_shared<preview::Texture>();
      std::string error;
      EXPECT_TRUE(
          preview::decode_texture(reinterpret_cast<const unsigned char*>(texture_png.data()),
                                  texture_png.size(), "t.png", *texture, error))
          << error;
      backend.connect_texture("color", texture);
    }
    const preview::Scene scene(options, mesh);
    backend.set_lights(scene.lights());
    preview::Image image;
    std::string error, uri;
    EXPECT_TRUE(preview::render(scene, backend, 1, image, nullptr, error)) << error;
    EXPECT_TRUE(preview::serve::data_uri(image, uri, error)) << error;
    return uri;
  }
};

// A texture is uploaded once and named by the look as the command line
// names a file; the image is the one a host renders with it connected, and
// a value set on the colour disconnects it again.
TEST_F(Uploads, AnUploadedTextureIsConnectedByTheLookAndAValueDisconnectsIt) {
  start();
  const std::string png = checker_png(0.9f, 0.1f);
  const json read = json::parse(upload("texture", "fabric one.png", png).body);
  EXPECT_EQ(read["file"], "fabric one.png");
  EXPECT_EQ(read["read"], "4x4");
  const json look = post_look(
      R"({"scene": {"size": "32x16", "shapes": "cloth"}, "hosts": {"maya": {"color": "@fabric one.png"}}})");
  EXPECT_EQ(look["hosts"]["maya"]["color"], "@fabric one.png");
  EXPECT_NE(look["command"].get<std::string>().find("--maya color=@fabric one.png"),
            std::string::npos)
      << look["command"];
  // The hand-over connects a file node: by the name given, not a path here.
  const std::string mel = look["handover"]["maya"];
  EXPECT_NE(mel.find("fileTextureName\") \"fabric one.png\""), std::string::npos) << mel;

  preview::SceneOptions options;
  ASSERT_EQ(preview::find_scene_setting("size")->set(options, "32x16"), "");
  ASSERT_EQ(preview::find_scene_setting("shapes")->set(options, "cloth"), "");
  const json textured = full_frame(look["generation"]);
  EXPECT_EQ(textured["images"]["maya"], rendered(options, nullptr, png));
  EXPECT_EQ(textured["images"]["mr"], rendered(options, nullptr, ""));

  const json plain = post_look(R"({"hosts": {"maya": {"color": "0.5,0.2,0.2"}}})");
  EXPECT_EQ(plain["hosts"]["maya"]["color"], "0.5,0.2,0.2");
  EXPECT_EQ(plain["command"].get<std::string>().find('@'), std::string::npos);
  EXPECT_EQ(full_frame(plain["generation"])["images"]["maya"], rendered(options, nullptr, ""));
}

TEST_F(Uploads, AnUploadedMeshIsShownInPlaceOfTheShapesUntilAShapeIsPicked) {
  if (!preview::obj_available()) GTEST_SKIP() << "built without tinyobjloader";
  start();
  const json read = json::parse(upload("mesh", "quad.obj", quad_obj(true)).body);
  EXPECT_EQ(read["read"], "2 triangles, with texture coordinates");
  ASSERT_EQ(upload("texture", "fabric.png", checker_png(0.9f, 0.1f)).status, 200);
  const json look =
      post_look(R"({"scene": {"size": "32x16", "shapes": "cloth", "mesh": "quad.obj"},)"
                R"( "hosts": {"mr": {"color": "@fabric.png"}}})");
  const std::string command = look["command"];
  EXPECT_NE(command.find("--mesh quad.obj"), std::string::npos) << command;
  EXPECT_EQ(command.find("--shapes"), std::string::npos) << command;  // refused beside --mesh

  preview::SceneOptions options;
  ASSERT_EQ(preview::find_scene_setting("size")->set(options, "32x16"), "");
  options.mesh = "quad.obj";
  auto mesh = std::make_shared<preview::Mesh>();
  std::string error;
  ASSERT_TRUE(preview::read_obj(quad_obj(true), "quad.obj", *mesh, error)) << error;
  const json shown = full_frame(look["generation"]);
  EXPECT_EQ(shown["images"]["maya"], rendered(options, mesh, ""));
  EXPECT_EQ(shown["images"]["mr"], rendered(options, mesh, checker_png(0.9f, 0.1f)));

  // No mesh: the shapes the look had, the cloth.
  const json shapes = post_look(R"({"scene": {"mesh": ""}})");
  EXPECT_NE(shapes["command"].get<std::string>().find("--shapes cloth"), std::string::npos);
  EXPECT_EQ(shapes["scene"]["mesh"], "");
}

// Every bad upload and every look naming what was not uploaded is a 400
// that names the file; the look stays as it was.
TEST_F(Uploads, BadUploadsAndLooksNamingNoUploadAreRefusedAndTheLookStays) {
  start();
  const std::uint64_t before = post_look(R"({"scene": {"size": "32x16"}})")["generation"];
  EXPECT_NE(
      refused(upload("texture", "notes.png", "just text")).find("texture notes.png: not an image"),
      std::string::npos);
  EXPECT_NE(refused(upload("texture", "cut.png", checker_png(1, 0).substr(0, 40))).find("cut.png"),
            std::string::npos);
  for (const char* name : {"../up.png", "a/b.png", "a\\b.png", "q\"uote.png", ".hidden.png", ""}) {
    EXPECT_NE(refused(upload("texture", name, checker_png(1, 0))).find("uploaded file's name"),
              std::string::npos)
        << name;
  }
  EXPECT_NE(refused(upload("script", "x.png", checker_png(1, 0))).find("kind=mesh or kind=texture"),
            std::string::npos);
  EXPECT_NE(
      refused(call("POST", "/api/upload", "x", nullptr, {{"kind", "mesh"}})).find("file=NAME"),
      std::string::npos);
  EXPECT_EQ(call("GET", "/api/upload").status, 405);
  if (preview::obj_available()) {
    EXPECT_NE(refused(upload("mesh", "points.obj", "v 0 0 0\nv 1 0 0\n"))
                  .find("mesh points.obj: no faces"),
              std::string::npos);
    EXPECT_NE(refused(upload("mesh", "far.obj", "v 0 0 0\nf 1 2 3\n")).find("names vertex 2 of 1"),
              std::string::npos);
    // A mesh without texture coordinates shows, but takes no texture.
    ASSERT_EQ(upload("mesh", "bare.obj", quad_obj(false)).status, 200);
    ASSERT_EQ(upload("texture", "fabric.png", checker_png(1, 0)).status, 200);
    EXPECT_NE(
        refused(
            call("POST", "/api/look",
                 R"({"scene": {"mesh": "bare.obj"}, "hosts": {"maya": {"color": "@fabric.png"}}})"))
            .find("mesh bare.obj has no texture coordinates"),
        std::string::npos);
  }
  EXPECT_NE(refused(call("POST", "/api/look", R"({"hosts": {"maya": {"color": "@nope.png"}}})"))
                .find("texture nope.png: not uploaded"),
            std::string::npos);
  EXPECT_NE(refused(call("POST", "/api/look", R"({"scene": {"mesh": "/etc/hosts"}})"))
                .find("mesh /etc/hosts: not uploaded"),
            std::string::npos);
  ASSERT_EQ(upload("texture", "fabric.png", checker_png(1, 0)).status, 200);
  EXPECT_NE(
      refused(call("POST", "/api/look", R"({"hosts": {"maya": {"edginess": "@fabric.png"}}})"))
          .find("only colours take a texture"),
      std::string::npos);
  EXPECT_EQ(json::parse(call("GET", "/api/look").body)["generation"], before);
}

// Past the newest few, an upload is no longer found, except by the look
// on screen, whose other controls keep working; an upload of a name again
// replaces what the look shows.
TEST_F(Uploads, OnlyTheNewestAreKeptAndTheLookOnScreenKeepsItsOwn) {
  limits_.uploads_kept = 2;
  start();
  ASSERT_EQ(upload("texture", "a.png", checker_png(0.9f, 0.1f)).status, 200);
  post_look(R"({"scene": {"size": "32x16"}, "hosts": {"maya": {"color": "@a.png"}}})");
  ASSERT_EQ(upload("texture", "b.png", checker_png(0.5f, 0.5f)).status, 200);
  ASSERT_EQ(upload("texture", "c.png", checker_png(0.2f, 0.2f)).status, 200);
  const json on = post_look(R"({"hosts": {"maya": {"edginess": "7"}}})");
  EXPECT_EQ(on["hosts"]["maya"]["color"], "@a.png");
  post_look(R"({"hosts": {"maya": {"color": "0.1,0.1,0.1"}}})");
  EXPECT_NE(refused(call("POST", "/api/look", R"({"hosts": {"maya": {"color": "@a.png"}}})"))
                .find("newest 2 textures"),
            std::string::npos);

  const json b = post_look(R"({"hosts": {"maya": {"color": "@b.png"}}})");
  const json first = full_frame(b["generation"]);
  ASSERT_EQ(upload("texture", "b.png", checker_png(0.9f, 0.9f)).status, 200);
  const json again = post_look(R"({"hosts": {"maya": {"color": "@b.png"}}})");
  EXPECT_NE(full_frame(again["generation"])["images"]["maya"], first["images"]["maya"]);
}

// An upload's body may be far larger than any other request's, up to its
// own cap; what follows a PNG's end is not read.
TEST_F(Uploads, AnUploadsBodyHasItsOwnCap) {
  limits_.max_upload = 128 * 1024;
  start();
  const std::string padded = checker_png(0.9f, 0.1f) + std::string(100 * 1024, '\0');
  EXPECT_EQ(upload("texture", "pad.png", padded).status, 200);
  EXPECT_EQ(upload("texture", "big.png", std::string(200 * 1024, '\0')).status, 413);
  EXPECT_EQ(call("POST", "/api/look", std::string(100 * 1024, ' ')).status, 413);
}
