// --compare's lobe in the real plug-ins: a host whose plug-in takes the
// lobe's shape as parameters is set to exactly the shape that the other
// plug-in fixes, and a host that has no such parameter is one that fixes it.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "mentalray/krel_velvet_lobe.h"
#include "tools/preview/hosts/hosts.h"

namespace {

TEST(LobeOnly, EveryHostRendersTheShapeTheShaderFixes) {
  const std::vector<preview::HostEntry> hosts = preview::built_hosts();
  if (hosts.size() < 2) GTEST_SKIP() << "built with one host: nothing to compare";
  std::vector<const preview::HostEntry*> entries;
  for (const preview::HostEntry& h : hosts) entries.push_back(&h);
  std::string error;
  const std::optional<preview::LobeShape> shape = preview::shared_lobe_shape(entries, error);
  ASSERT_TRUE(shape) << error;

  const std::map<std::string, float> fixed = {{"roughness", krel_velvet_lobe::kRoughness},
                                              {"backscatter", krel_velvet_lobe::kBackscatter}};
  for (const preview::HostEntry& h : hosts) {
    SCOPED_TRACE(h.flag);
    std::unique_ptr<preview::Backend> backend = h.make("", error);
    ASSERT_NE(backend, nullptr) << error;
    std::map<std::string, std::string> settings;
    for (const auto& [name, text] : backend->lobe_only_settings(preview::LobeOnly{*shape})) {
      settings[name] = text;
      // The host takes every one of them.
      const preview::ParamInfo* info = preview::find_param(backend->parameters(), name);
      ASSERT_NE(info, nullptr) << name;
      preview::ParamValue v;
      ASSERT_TRUE(preview::parse_value(*info, text, v, error)) << error;
      EXPECT_EQ(backend->set_parameter(name, v), "") << name;
    }
    for (const auto& [name, value] : fixed) {
      if (preview::find_param(backend->parameters(), name) == nullptr) {
        // Then the plug-in fixes the shape itself.
        EXPECT_TRUE(h.fixed_lobe.has_value()) << "nothing sets " << name;
        continue;
      }
      ASSERT_EQ(settings.count(name), 1u) << name << " is left as it is";
      preview::ParamValue v;
      ASSERT_TRUE(preview::parse_value({name, preview::ParamType::Float}, settings[name], v, error))
          << error;
      EXPECT_EQ(v.v[0], value) << name;
    }
  }
}

}  // namespace
