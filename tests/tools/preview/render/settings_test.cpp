// The scene's settings table: every setting reads back what it writes, keeps
// to its range, and the table's other readers (the hand-over command line,
// the page's controls) agree with the parser.
#include <gtest/gtest.h>

#include <set>

#include "tools/preview/render/settings.h"

namespace {

using preview::SceneOptions;
using preview::SceneSetting;

TEST(SceneSettings, NamesAreUniqueAndEachDefaultIsTheScenesOwn) {
  std::set<std::string> names;
  for (const SceneSetting& s : preview::scene_settings()) {
    EXPECT_TRUE(names.insert(s.flag).second) << s.flag;
    EXPECT_EQ(preview::find_scene_setting(s.flag), &s);
    // The default text parses back into the default scene.
    SceneOptions scene;
    EXPECT_EQ(s.set(scene, preview::default_text(s)), "") << s.flag;
    EXPECT_EQ(preview::scene_flags(scene), "") << s.flag;
  }
  EXPECT_EQ(preview::find_scene_setting("nope"), nullptr);
  EXPECT_EQ(preview::find_scene_setting(""), nullptr);
}

TEST(SceneSettings, BadValuesAreRefusedByNameAndLeaveTheSceneAlone) {
  const std::vector<std::pair<const char*, const char*>> bad = {
      {"size", "0x10"},      {"size", "10"},        {"size", "8193x1"},       {"aa", "17"},
      {"aa", "1.5"},         {"fov", "0.5"},        {"fov", "171"},           {"fov", "nan"},
      {"distance", "2.9"},   {"key", "-1"},         {"fill", "1001"},         {"rim", "inf"},
      {"area-samples", "0"}, {"irradiance", "1,2"}, {"irradiance", "0,-1,0"}, {"shapes", "cube"},
      {"shapes", ","},       {"shapes", ""}};
  for (const auto& [flag, text] : bad) {
    const SceneSetting* s = preview::find_scene_setting(flag);
    ASSERT_NE(s, nullptr) << flag;
    SceneOptions scene;
    const std::string message = s->set(scene, text);
    EXPECT_NE(message.find(std::string("--") + flag), std::string::npos) << message;
    EXPECT_EQ(preview::scene_flags(scene), "") << flag << "=" << text << " changed the scene";
  }
}

TEST(SceneSettings, HandedOverFlagsGiveTheSameSceneBack) {
  SceneOptions scene;
  const std::vector<std::pair<const char*, const char*>> values = {
      {"size", "100x50"},      {"aa", "3"},
      {"shapes", "torus"},     {"fov", "12.5"},
      {"distance", "8.25"},    {"key", "0.3"},
      {"fill", "0"},           {"rim", "2.5"},
      {"area-samples", "5"},   {"irradiance", "0.1,0.2,0.3"},
      {"mesh", "cloth.obj"},   {"turntable", "-30"},
      {"key-azimuth", "10"},   {"key-elevation", "20.5"},
      {"rim-azimuth", "-100"}, {"rim-elevation", "5"}};
  ASSERT_EQ(values.size(), preview::scene_settings().size()) << "a setting is not tested here";
  for (const auto& [flag, text] : values) {
    ASSERT_EQ(preview::find_scene_setting(flag)->set(scene, text), "") << flag;
  }
  const std::string flags = preview::scene_flags(scene);
  // Read the flags back, each through its own setting.
  SceneOptions back;
  std::size_t at = 0;
  int read = 0;
  while ((at = flags.find(" --", at)) != std::string::npos) {
    const std::size_t space = flags.find(' ', at + 3);
    const std::size_t end = flags.find(" --", space);
    const std::string flag = flags.substr(at + 3, space - at - 3);
    const std::string text =
        flags.substr(space + 1, end == std::string::npos ? end : end - space - 1);
    const SceneSetting* s = preview::find_scene_setting(flag);
    ASSERT_NE(s, nullptr) << flags;
    EXPECT_EQ(s->set(back, text), "") << flags;
    ++read;
    at = space;
  }
  EXPECT_EQ(read, static_cast<int>(values.size())) << flags;
  EXPECT_EQ(preview::scene_flags(back), flags);
  for (const SceneSetting& s : preview::scene_settings()) EXPECT_EQ(s.get(back), s.get(scene));
}

TEST(SceneSettings, PageControlsShowTheTablesDefaultsWithinTheAcceptedRange) {
  const std::vector<preview::SceneControl> controls = preview::scene_controls();
  EXPECT_FALSE(controls.empty());
  for (const preview::SceneControl& c : controls) {
    const SceneSetting* s = preview::find_scene_setting(c.flag);
    ASSERT_NE(s, nullptr) << c.flag;
    EXPECT_EQ(c.default_text, preview::default_text(*s));
    EXPECT_FALSE(c.label.empty()) << c.flag;
    if (c.soft_min && c.soft_max) {
      EXPECT_LT(*c.soft_min, *c.soft_max) << c.flag;
      // Both ends of the slider are values the parser takes.
      for (double end : {*c.soft_min, *c.soft_max}) {
        SceneOptions scene;
        const std::string text =
            c.type == "integer" ? std::to_string(static_cast<int>(end)) : std::to_string(end);
        EXPECT_EQ(s->set(scene, text), "") << c.flag << " " << text;
      }
    }
  }
}

}  // namespace
