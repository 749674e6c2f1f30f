// Every scene control of the page reaches the renderer it names, seen in the
// images the plug-ins render through their stand-in hosts (the request alone
// proves nothing: the irradiance control was taken and never reached mental
// ray). A control that names one host leaves the other's image alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tools/preview/hosts/hosts.h"
#include "tools/preview/render/settings.h"
#include "tools/preview/serve/service.h"

namespace {

using nlohmann::json;

// A value other than the default for each control, and the hosts whose
// image it changes (empty: every host).
struct Change {
  std::string text;
  std::vector<std::string> hosts;
};
const std::map<std::string, Change> kChanges = {
    {"shapes", {"sphere", {}}},
    {"key", {"2.5", {}}},
    {"fill", {"1.5", {}}},
    {"rim", {"0", {}}},
    {"irradiance", {"0.6,0.3,0.1", {"mr"}}},
    {"size", {"40x20", {}}},
    {"aa", {"2", {}}},
    {"area-samples", {"2", {}}},
    {"fov", {"40", {}}},
    {"distance", {"9", {}}},
    {"turntable", {"30", {}}},
    {"key-azimuth", {"10", {}}},
    {"key-elevation", {"60", {}}},
    {"rim-azimuth", {"90", {}}},
    {"rim-elevation", {"10", {}}},
};

class SceneControls : public ::testing::Test {
 protected:
  void SetUp() override {
    entries_ = preview::built_hosts();
    std::vector<preview::LoadedHost> hosts;
    for (const preview::HostEntry& e : entries_) {
      std::string error;
      auto backend = e.make("", error);
      ASSERT_TRUE(backend) << e.flag << ": " << error;
      hosts.push_back({&e, std::move(backend)});
    }
    preview::ServeOptions options;
    options.threads = 2;
    options.out_dir = "/nonexistent/velvet-never-written";
    service_ = std::make_unique<preview::serve::Service>(std::move(hosts), options);
    service_->set_port(8642);
  }

  json ask(const std::string& method, const std::string& path, const std::string& body = "",
           std::map<std::string, std::string> query = {}) {
    const preview::serve::Response r =
        service_->handle({method, path, std::move(query), "127.0.0.1:8642", "", body});
    EXPECT_EQ(r.status, 200) << path << ": " << r.body;
    return json::parse(r.body);
  }
  // Each host's full image of the look after `change`, as PNG data.
  std::map<std::string, std::string> images_after(const json& change) {
    const std::uint64_t generation = ask("POST", "/api/look", change.dump())["generation"];
    for (int tries = 0; tries < 200; ++tries) {
      const json f = ask("GET", "/api/frame", "",
                         {{"have", std::to_string(generation)}, {"level", "2"}, {"wait", "1000"}});
      if (f["generation"] == generation && f["stage"] == 2) {
        EXPECT_FALSE(f.contains("error")) << f["error"];
        return f["images"].get<std::map<std::string, std::string>>();
      }
    }
    ADD_FAILURE() << "no full frame of " << generation;
    return {};
  }

  std::vector<preview::HostEntry> entries_;
  std::unique_ptr<preview::serve::Service> service_;
};

TEST_F(SceneControls, EveryControlChangesTheImageOfEachHostItNames) {
  // Small and quick; mental ray's shader asks for irradiance.
  const json base = {{"scene", {{"size", "32x16"}, {"aa", "1"}}},
                     {"hosts", {{"mr", {{"useIrradiance", "on"}}}}}};
  const std::map<std::string, std::string> before = images_after(base);
  ASSERT_EQ(before.size(), entries_.size());
  // Every setting the page may send, whether it shows a control or not.
  for (const preview::SceneSetting& setting : preview::scene_settings()) {
    if (!setting.look) continue;
    const std::string flag = setting.flag;
    const auto change = kChanges.find(flag);
    ASSERT_NE(change, kChanges.end()) << "no test value for the scene setting " << flag;
    const std::string base_text = flag == "size" ? "32x16"
                                  : flag == "aa" ? "1"
                                                 : preview::default_text(setting);
    ASSERT_NE(change->second.text, base_text) << flag;
    const std::map<std::string, std::string> after =
        images_after({{"scene", {{flag, change->second.text}}}});
    for (const auto& [host, image] : before) {
      const std::vector<std::string>& named = change->second.hosts;
      const bool names =
          named.empty() || std::find(named.begin(), named.end(), host) != named.end();
      if (names) {
        EXPECT_NE(after.at(host), image) << flag << " did not reach " << host;
      } else {
        EXPECT_EQ(after.at(host), image) << flag << " changed " << host;
      }
    }
    // Back to the base look for the next control.
    EXPECT_EQ(images_after({{"scene", {{flag, base_text}}}}), before) << flag;
  }
}

}  // namespace
