// The Attribute Editor template, checked against the node the plug-in
// really registers. The plug-in and the template are found the way Maya
// finds them: through the module on MAYA_MODULE_PATH.
#include <gtest/gtest.h>
#include <mayahost/modules.h>
#include <mayahost/node.h>
#include <mayahost/plugin.h>
#include <mayahost/status.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

class AETemplate : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string modules = VELVET_STAGED_MODULES;
    mayahost::SearchPaths paths;
    mayahost::Status st = mayahost::resolveModules(
        [modules](const std::string& name) -> std::optional<std::string> {
          if (name == "MAYA_MODULE_PATH") return modules;
          return std::nullopt;
        },
        mayahost::HostInfo(), &paths);
    ASSERT_TRUE(st.ok()) << st.message();
    st = mayahost::loadPlugin(plugin, "velvet", paths);  // as `loadPlugin velvet`
    ASSERT_TRUE(st.ok()) << st.message();
    for (const std::string& folder : paths.scriptPath) {
      if (fs::is_regular_file(fs::path(folder) / "AEvelvetTemplate.mel")) {
        templateFile = (fs::path(folder) / "AEvelvetTemplate.mel").string();
        break;
      }
    }
    ASSERT_FALSE(templateFile.empty()) << "AEvelvetTemplate.mel is on no script path folder";
    std::ifstream in(templateFile);
    std::ostringstream text;
    text << in.rdbuf();
    // Comments say nothing to Maya; drop them before looking at commands.
    mel = std::regex_replace(text.str(), std::regex("//[^\n]*"), "");
  }

  // Every `editorTemplate -<flag> "<attribute>"` in order.
  std::vector<std::string> named(const std::string& flag) const {
    std::vector<std::string> names;
    const std::regex re("editorTemplate\\s+-" + flag + "\\s+\"([^\"]+)\"");
    for (std::sregex_iterator it(mel.begin(), mel.end(), re), end; it != end; ++it) {
      names.push_back((*it)[1]);
    }
    return names;
  }
  std::size_t count(const std::string& pattern) const {
    const std::regex re(pattern);
    return static_cast<std::size_t>(
        std::distance(std::sregex_iterator(mel.begin(), mel.end(), re), std::sregex_iterator()));
  }

  mayahost::Plugin plugin;
  std::string templateFile, mel;
};

TEST_F(AETemplate, ProcNameMatchesFileAndLayoutsBalance) {
  EXPECT_EQ(count("global\\s+proc\\s+AEvelvetTemplate\\s*\\(\\s*string\\s+\\$nodeName\\s*\\)"), 1u);
  EXPECT_EQ(count("global\\s+proc"), 1u);
  // Opening and closing in nesting order, never closing what is not open.
  const std::regex re("-(beginScrollLayout|endScrollLayout|beginLayout|endLayout)\\b");
  std::vector<std::string> open;
  for (std::sregex_iterator it(mel.begin(), mel.end(), re), end; it != end; ++it) {
    const std::string flag = (*it)[1];
    if (flag.compare(0, 5, "begin") == 0) {
      open.push_back(flag.substr(5));
    } else {
      ASSERT_FALSE(open.empty()) << "-" << flag << " closes nothing";
      EXPECT_EQ(open.back(), flag.substr(3)) << "-" << flag << " closes a " << open.back();
      open.pop_back();
    }
  }
  EXPECT_TRUE(open.empty());
  EXPECT_EQ(count("AEswatchDisplay\\s+\\$nodeName"), 1u);
  EXPECT_EQ(count("AEdependNodeTemplate\\s+\\$nodeName"), 1u);
  EXPECT_EQ(count("editorTemplate\\s+-addExtraControls"), 1u);
  EXPECT_EQ(count("-beginLayout\\s+\"Velvet\""), 1u);
}

TEST_F(AETemplate, ControlsNameRegisteredAttributesAndShowEachVisibleInputOnce) {
  mayahost::NodeTypeInfo type;
  ASSERT_TRUE(mayahost::nodeType("velvet", &type).ok());
  const std::vector<std::string> controls = named("addControl");
  const std::vector<std::string> suppressed = named("suppress");
  std::map<std::string, int> shown;
  for (const std::string& name : controls) ++shown[name];
  for (const std::string& name : suppressed) {
    mayahost::AttributeInfo info;
    EXPECT_TRUE(mayahost::attribute("velvet", name, &info).ok()) << "-suppress " << name;
    EXPECT_EQ(shown.count(name), 0u) << name << " is both shown and suppressed";
  }
  for (const std::string& name : controls) {
    mayahost::AttributeInfo info;
    ASSERT_TRUE(mayahost::attribute("velvet", name, &info).ok()) << "-addControl " << name;
    EXPECT_FALSE(info.hidden) << name;
  }
  // Visible inputs: top-level, writable, not hidden. Each shown exactly once;
  // every other top-level attribute kept out of "Extra Attributes".
  for (const std::string& name : type.attributes) {
    mayahost::AttributeInfo info;
    ASSERT_TRUE(mayahost::attribute("velvet", name, &info).ok());
    if (!info.parent.empty()) continue;
    const bool visibleInput = info.writable && !info.hidden;
    if (visibleInput) {
      EXPECT_EQ(shown[name], 1) << name;
    } else {
      EXPECT_NE(std::find(suppressed.begin(), suppressed.end(), name), suppressed.end())
          << name << " is neither shown nor suppressed";
    }
  }
}

}  // namespace
