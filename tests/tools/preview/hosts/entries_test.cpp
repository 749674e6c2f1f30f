// The hosts' entries: each names everything the tool needs of a host, and no
// two hosts, or a host and one of the tool's own flags, share a name.
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "mentalray/krel_velvet_lobe.h"
#include "tools/preview/hosts/hosts.h"
#include "tools/preview/render/settings.h"

namespace {

TEST(HostEntries, EachHostHasEveryFactAndNamesOfItsOwn) {
  std::set<std::string> flags = {"help", "serve",     "port",  "list",    "compare", "list-looks",
                                 "look", "save-look", "sweep", "threads", "out",     "hosts"};
  for (const preview::SceneSetting& s : preview::scene_settings()) flags.insert(s.flag);
  std::set<std::string> files, titles;
  for (const preview::HostEntry& h : preview::all_host_entries()) {
    for (const std::string* flag : {&h.flag, &h.path_flag, &h.looks_flag}) {
      EXPECT_FALSE(flag->empty()) << h.flag;
      EXPECT_TRUE(flags.insert(*flag).second) << "--" << *flag << " is taken twice";
    }
    // preview.png is the overview of every host.
    EXPECT_NE(h.file_name, "preview");
    EXPECT_TRUE(files.insert(h.file_name).second) << h.file_name;
    EXPECT_TRUE(titles.insert(h.title).second) << h.title;
    EXPECT_FALSE(h.set_help.empty()) << h.flag;
    EXPECT_FALSE(h.looks_env.empty()) << h.flag;
    ASSERT_NE(h.looks, nullptr) << h.flag;
    ASSERT_NE(h.look_format, nullptr) << h.flag;
    ASSERT_NE(h.handover, nullptr) << h.flag;
    ASSERT_NE(h.texture_handover, nullptr) << h.flag;
  }
}

TEST(HostEntries, LookFilesComeFromEachHostsOwnVariable) {
  // Each variable fills its own host's member, and the origin names them.
  const preview::LocateContext context{
      [](const std::string& name) -> std::optional<std::string> { return "/from/" + name; }, "",
      ""};
  const preview::LookFiles files = preview::default_look_files(context);
  for (const preview::HostEntry& h : preview::all_host_entries()) {
    EXPECT_EQ(files.*h.looks, "/from/" + h.looks_env);
    EXPECT_NE(files.origin.find("$" + h.looks_env), std::string::npos) << files.origin;
  }
}

TEST(HostEntries, TheSharedLobeShapeIsTheOneThePluginsFix) {
  std::vector<const preview::HostEntry*> all;
  for (const preview::HostEntry& h : preview::all_host_entries()) all.push_back(&h);
  std::string error;
  const std::optional<preview::LobeShape> shape = preview::shared_lobe_shape(all, error);
  ASSERT_TRUE(shape) << error;
  EXPECT_EQ(shape->roughness, krel_velvet_lobe::kRoughness);
  EXPECT_EQ(shape->backscatter, krel_velvet_lobe::kBackscatter);

  // Hosts that fix the same shape agree; one that fixes none takes any.
  preview::HostEntry same = preview::mentalray_entry(), free = preview::maya_entry();
  same.flag = "other";
  free.fixed_lobe.reset();
  const std::optional<preview::LobeShape> agreed =
      preview::shared_lobe_shape({&free, &same, all.back()}, error);
  ASSERT_TRUE(agreed) << error;
  EXPECT_EQ(agreed->roughness, krel_velvet_lobe::kRoughness);

  same.fixed_lobe->backscatter = 0.25f;
  EXPECT_FALSE(preview::shared_lobe_shape({&free, &same, all.back()}, error));
  EXPECT_NE(error.find("other"), std::string::npos) << error;
}

}  // namespace
