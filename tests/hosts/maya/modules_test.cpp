// Maya modules: the .mod reader on its own (text in, modules or an error
// out), and resolution from MAYA_MODULE_PATH to the plug-in file that
// `loadPlugin velvet` loads.
#include <gtest/gtest.h>
#include <maya/MTypes.h>
#include <mayahost/modules.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>
#include "scratch_tree.h"

namespace {

namespace fs = std::filesystem;

std::vector<mayahost::ModuleDescription> parsed(const std::string& text) {
  std::vector<mayahost::ModuleDescription> modules;
  mayahost::ModuleSyntaxError error;
  EXPECT_TRUE(mayahost::parseModuleFile(text, &modules, &error))
      << "line " << error.line << ": " << error.message;
  return modules;
}

TEST(ModuleSyntax, ReadsEveryPartOfTheDocumentedSyntax) {
  const auto m = parsed(
      "# two modules\n"
      "+ MAYAVERSION:2009 PLATFORM:linux LOCALE:en_US velvet 1.0 ../velvet build\r\n"
      "plug-ins: bin/plug-ins\n"
      "[r] scripts: mel\n"
      "icons:icons2\n"
      "A=plain\n"
      "B+=more\n"
      "C:=folder\n"
      "D +:= other\n"
      "\n"
      "- other 2.0 elsewhere\n");
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[0].line, 2);
  EXPECT_TRUE(m[0].enabled);
  EXPECT_EQ(m[0].mayaVersion, "2009");
  EXPECT_EQ(m[0].platform, "linux");
  EXPECT_EQ(m[0].locale, "en_US");
  EXPECT_EQ(m[0].name, "velvet");
  EXPECT_EQ(m[0].version, "1.0");
  EXPECT_EQ(m[0].path, "../velvet build");  // the rest of the line: blanks allowed
  EXPECT_EQ(m[0].plugIns.path, "bin/plug-ins");
  EXPECT_FALSE(m[0].plugIns.recursive);
  EXPECT_EQ(m[0].scripts.path, "mel");
  EXPECT_TRUE(m[0].scripts.recursive);
  EXPECT_EQ(m[0].icons.path, "icons2");
  EXPECT_EQ(m[0].presets.path, "");
  ASSERT_EQ(m[0].variables.size(), 4u);
  const bool expected[4][2] = {{false, false}, {true, false}, {false, true}, {true, true}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(m[0].variables[i].name, std::string(1, static_cast<char>('A' + i)));
    EXPECT_EQ(m[0].variables[i].append, expected[i][0]) << i;
    EXPECT_EQ(m[0].variables[i].relative, expected[i][1]) << i;
  }
  EXPECT_EQ(m[0].variables[3].value, "other");
  EXPECT_EQ(m[0].variables[3].line, 9);
  EXPECT_FALSE(m[1].enabled);
  EXPECT_EQ(m[1].path, "elsewhere");
}

TEST(ModuleSyntax, ReadsFilesAsStudiosWriteThem) {
  // A byte-order mark, Windows line ends, tabs, blanks around operators,
  // quoted paths with blanks, blank lines inside and between sections.
  const auto m = parsed(
      "\xEF\xBB\xBF// written by hand\r\n"
      "+\tMAYAVERSION:2025\tPLATFORM:win64 kit 2.0 \"C:/Program Files/Kit\"\r\n"
      "\r\n"
      "plug-ins: \"plug ins/2025\"\r\n"
      "KIT_HOME = C:/kit\r\n"
      "PATH +:= \"bin 64\"\r\n"
      "\r\n\r\n"
      "+ other 1.0 other\r\n");
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[0].mayaVersion, "2025");
  EXPECT_EQ(m[0].platform, "win64");
  EXPECT_EQ(m[0].name, "kit");
  EXPECT_EQ(m[0].path, "C:/Program Files/Kit");
  EXPECT_EQ(m[0].plugIns.path, "plug ins/2025");
  ASSERT_EQ(m[0].variables.size(), 2u);
  EXPECT_EQ(m[0].variables[0].name, "KIT_HOME");
  EXPECT_EQ(m[0].variables[0].value, "C:/kit");
  EXPECT_FALSE(m[0].variables[0].append);
  EXPECT_EQ(m[0].variables[1].name, "PATH");
  EXPECT_EQ(m[0].variables[1].value, "bin 64");
  EXPECT_TRUE(m[0].variables[1].append && m[0].variables[1].relative);
  EXPECT_EQ(m[1].line, 9);
}

TEST(ModuleSyntax, ACommentEndsTheReadingOfASection) {
  const auto m = parsed(
      "# comment before the first section\n"
      "+ kit 1.0 kit\n"
      "plug-ins: read\n"
      "// and Maya reads no further in this section\n"
      "scripts: unread\n"
      "A=1\n"
      "+ next 1.0 next\n"
      "scripts: read\n");
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[0].plugIns.path, "read");
  EXPECT_EQ(m[0].scripts.path, "");
  EXPECT_TRUE(m[0].variables.empty());
  EXPECT_EQ(m[1].scripts.path, "read");
}

TEST(ModuleSyntax, AMalformedLineCostsOnlyItsOwnModule) {
  std::vector<mayahost::ModuleDescription> modules;
  mayahost::ModuleSyntaxError error;
  EXPECT_FALSE(
      mayahost::parseModuleFile("+ first 1.0 a\n"
                                "plug-ins bin\n"            // no colon: 'first' is lost
                                "scripts: still first's\n"  // not read as anything else
                                "+ OS:linux second 1.0 b\n"
                                "+ third 1.0 c\n"
                                "+ fourth 1.0\n"
                                "+ fifth 1.0 e\n",
                                &modules, &error));
  ASSERT_EQ(modules.size(), 2u);
  EXPECT_EQ(modules[0].name, "third");
  EXPECT_EQ(modules[1].name, "fifth");
  EXPECT_TRUE(modules[1].scripts.path.empty());
  // The first bad line is the one reported; every module whose name could be
  // read is named.
  EXPECT_EQ(error.line, 2);
  EXPECT_NE(error.message.find("'plug-ins bin'"), std::string::npos) << error.message;
  EXPECT_EQ(error.modules, (std::vector<std::string>{"first", "fourth"}));
}

TEST(ModuleSyntax, MalformedLinesAreReportedByLineNumberAndReason) {
  const struct {
    const char* text;
    int line;
    const char* reason;
  } cases[] = {
      {"A=1\n", 1, "outside a module section"},
      {"// notes\nplug-ins: p\n", 2, "outside a module section"},
      {"+ velvet 1.0\n", 1, "needs a name, a version and a path"},
      {"+ PLATFORM:linux\n", 1, "needs a name, a version and a path"},
      {"\n+ OS:linux velvet 1.0 v\n", 2, "unknown condition 'OS:'"},
      {"+ PLATFORM:linux PLATFORM:mac velvet 1.0 v\n", 1, "given twice"},
      {"+ PLATFORM: velvet 1.0 v\n", 1, "has no value"},
      {"+ velvet 1.0 v\nplug-ins:\n", 2, "'plug-ins:' needs a folder"},
      {"+ velvet 1.0 v\n9X=1\n", 2, "bad variable name"},
      {"+ velvet 1.0 v\nPATH+:=\n", 2, "needs a folder"},
      {"+ velvet 1.0 v\njust words\n", 2, "VARIABLE=VALUE"},
      {"+ velvet 1.0 v\nA=\0\n", 2, "NUL"},
  };
  for (const auto& c : cases) {
    const std::string text(c.text, c.text + std::char_traits<char>::length(c.text) +
                                       (std::string(c.reason) == "NUL" ? 2 : 0));
    std::vector<mayahost::ModuleDescription> modules;
    mayahost::ModuleSyntaxError error;
    EXPECT_FALSE(mayahost::parseModuleFile(text, &modules, &error)) << c.text;
    EXPECT_EQ(error.line, c.line) << c.text;
    EXPECT_NE(error.message.find(c.reason), std::string::npos) << c.text << " -> " << error.message;
  }
}

// A folder of module files and plug-ins, and an environment that sees only
// the variables a test gives it.
class ModuleResolution : public scratch::TreeTest {
 protected:
  void SetUp() override { make_root("velvet_modules_"); }
  mayahost::Status resolve(mayahost::SearchPaths* paths,
                           const mayahost::HostInfo& host = mayahost::HostInfo()) {
    return mayahost::resolveModules(variables(), host, paths);
  }
  std::string list(std::initializer_list<std::string> parts) {
    std::string s;
    for (const std::string& p : parts) s += (s.empty() ? "" : std::string(1, sep)) + p;
    return s;
  }

  const char sep = mayahost::pathListSeparator();
  const std::string so = mayahost::pluginSuffix();
};

TEST_F(ModuleResolution, ConditionsPickTheBlockForThisHostAndTheFirstModuleOfANameWins) {
  write("a/velvet.mod",
        "+ PLATFORM:nowhere velvet 9.0 wrong\n\n"
        "+ MAYAVERSION:1999 velvet 8.0 wrong\n\n"
        "+ LOCALE:ja_JP velvet 7.0 wrong\n\n"
        "+ velvet 1.0 ../v1\n");
  write("b/velvet.mod", "+ velvet 2.0 ../v2\n");
  write("v1/plug-ins/velvet" + so, "");
  write("v2/plug-ins/velvet" + so, "");
  env["MAYA_MODULE_PATH"] = list({path("missing"), path("a"), path("b")});
  mayahost::SearchPaths paths;
  ASSERT_TRUE(resolve(&paths).ok());
  ASSERT_EQ(paths.modules.size(), 1u);
  EXPECT_EQ(paths.modules[0].version, "1.0");
  EXPECT_EQ(paths.modules[0].root, path("v1"));
  EXPECT_EQ(paths.modules[0].line, 7);
  std::string file;
  ASSERT_TRUE(mayahost::findPlugin("velvet", paths, &file).ok());
  EXPECT_EQ(file, path("v1/plug-ins/velvet" + so));
}

TEST_F(ModuleResolution, PathsAreTheEnvironmentsThenTheModulesWithOverridesAndVariables) {
  write("mods/m.mod",
        "+ m 1.0 m\n"
        "plug-ins: bin\n"
        "[r] scripts: mel\n"
        "MAYA_PLUG_IN_PATH+:=extra\n"
        "TOOL=literal\n"
        "TOOL+=more\n");
  fs::create_directories(root_ / "mods/m/mel/b");
  fs::create_directories(root_ / "mods/m/mel/a");
  env["MAYA_MODULE_PATH"] = path("mods");
  env["MAYA_PLUG_IN_PATH"] = path("user");
  env["MAYA_SCRIPT_PATH"] = path("userScripts");
  mayahost::SearchPaths paths;
  ASSERT_TRUE(resolve(&paths).ok());
  EXPECT_EQ(paths.plugInPath,
            (std::vector<std::string>{path("user"), path("mods/m/extra"), path("mods/m/bin")}));
  EXPECT_EQ(paths.scriptPath,
            (std::vector<std::string>{path("userScripts"), path("mods/m/mel"), path("mods/m/mel/a"),
                                      path("mods/m/mel/b")}));
  EXPECT_EQ(paths.iconPath, std::vector<std::string>{path("mods/m/icons")});
  const std::string tool = std::string("literal") + sep + "more";
  EXPECT_EQ(paths.variables, (std::vector<std::pair<std::string, std::string>>{
                                 {"MAYA_PLUG_IN_PATH", list({path("user"), path("mods/m/extra")})},
                                 {"TOOL", tool}}));
}

TEST_F(ModuleResolution, PluginsLoadByNameWithOrWithoutSuffixOrByPath) {
  write("p/velvet" + so, "");
  env["MAYA_PLUG_IN_PATH"] = list({path("empty"), path("p")});
  mayahost::SearchPaths paths;
  ASSERT_TRUE(resolve(&paths).ok());
  for (const std::string& name :
       {std::string("velvet"), "velvet" + so, path("p/velvet"), path("p/velvet" + so)}) {
    std::string file;
    ASSERT_TRUE(mayahost::findPlugin(name, paths, &file).ok()) << name;
    EXPECT_EQ(fs::path(file), fs::path(path("p/velvet" + so))) << name;
  }
  std::string file;
  const mayahost::Status st = mayahost::findPlugin("other", paths, &file);
  EXPECT_FALSE(st.ok());
  EXPECT_NE(st.message().find("other" + so), std::string::npos) << st.message();
  EXPECT_NE(st.message().find(path("p")), std::string::npos) << st.message();
  EXPECT_FALSE(mayahost::findPlugin(path("p/other"), paths, &file).ok());
  EXPECT_FALSE(mayahost::findPlugin("", paths, &file).ok());
}

TEST_F(ModuleResolution, TheHostIsTheReleaseOfItsApiVersion) {
  EXPECT_EQ(mayahost::HostInfo().mayaVersion, std::to_string(MAYA_API_VERSION).substr(0, 4));
  EXPECT_EQ(mayahost::HostInfo::currentRelease().size(), 4u);
}

TEST_F(ModuleResolution, EachReleaseTakesItsOwnSectionAndSaysWhyOthersAreSkipped) {
  write("mods/velvet.mod",
        "+ MAYAVERSION:2025 PLATFORM:linux velvet 1.0 velvet\n"
        "plug-ins: plug-ins/2025\n\n"
        "+ MAYAVERSION:2024 PLATFORM:linux velvet 1.0 velvet\n"
        "plug-ins: plug-ins/2024\n\n"
        "+ MAYAVERSION:2025 PLATFORM:win64 velvet 1.0 velvet\n"
        "plug-ins: plug-ins/2025\n\n"
        "- MAYAVERSION:2023 velvet 1.0 velvet\n\n"
        "+ PLATFORM:linux velvet 1.0 velvet\n");
  for (const std::string release : {"2024", "2025"}) {
    write("mods/velvet/plug-ins/" + release + "/velvet" + so);
  }
  write("mods/velvet/plug-ins/velvet" + so);
  env["MAYA_MODULE_PATH"] = path("mods");
  for (const std::string release : {"2024", "2025"}) {
    mayahost::HostInfo host;
    host.mayaVersion = release;
    host.platform = "linux";
    mayahost::SearchPaths paths;
    ASSERT_TRUE(resolve(&paths, host).ok());
    ASSERT_EQ(paths.modules.size(), 1u);
    EXPECT_EQ(paths.modules[0].conditions, "MAYAVERSION:" + release + " PLATFORM:linux");
    std::string file;
    ASSERT_TRUE(mayahost::findPlugin("velvet", paths, &file).ok());
    EXPECT_EQ(file, path("mods/velvet/plug-ins/" + release + "/velvet" + so));
    const std::string other = release == "2024" ? "2025" : "2024";
    // The section for every release matches too, but the first velvet wins.
    ASSERT_EQ(paths.skipped.size(), 3u) << release;
    std::map<int, std::string> reasons;
    for (const mayahost::SkippedModule& m : paths.skipped) reasons[m.line] = m.reason;
    const int otherLine = release == "2024" ? 1 : 4;
    EXPECT_EQ(reasons[otherLine], "MAYAVERSION:" + other + ", this host is Maya " + release);
    EXPECT_EQ(reasons[7], release == "2024" ? "MAYAVERSION:2025, this host is Maya 2024"
                                            : "PLATFORM:win64, this host runs on linux");
    EXPECT_EQ(reasons[10], "switched off ('-' line)");
  }
  // A release with no section of its own takes the one for every release.
  mayahost::HostInfo host;
  host.mayaVersion = "2026";
  host.platform = "linux";
  mayahost::SearchPaths paths;
  ASSERT_TRUE(resolve(&paths, host).ok());
  ASSERT_EQ(paths.modules.size(), 1u);
  EXPECT_EQ(paths.modules[0].line, 12);
  EXPECT_EQ(paths.modules[0].conditions, "PLATFORM:linux");
}

// Module files of other products, as studios have them on their module
// path (tests/hosts/maya/studio_modules): each one that cannot be fully read is
// listed once, with its first bad line, and costs only its own modules.
TEST_F(ModuleResolution, OtherProductsFilesCostOnlyTheirUnreadableModules) {
  fs::copy(VELVET_STUDIO_MODULES, root_ / "studio");
  write("studio/velvet.mod", "+ MAYAVERSION:2025 PLATFORM:linux velvet 1.0 velvet\r\n");
  write("studio/velvet/plug-ins/velvet" + so);
  write("unreadable/zz.mod");
  fs::permissions(root_ / "unreadable/zz.mod", fs::perms::none);
  // Where permissions do not stop reading (Windows, root), the file is empty.
  const bool cannotRead = !std::ifstream(root_ / "unreadable/zz.mod");
  env["MAYA_MODULE_PATH"] = list({path("studio"), path("unreadable")});
  mayahost::HostInfo host;
  host.mayaVersion = "2025";
  host.platform = "linux";
  mayahost::SearchPaths paths;
  const mayahost::Status st = resolve(&paths, host);
  // Readable again, so that the scratch folder can go (Windows refuses to
  // remove a read-only file).
  fs::permissions(root_ / "unreadable/zz.mod", fs::perms::owner_read | fs::perms::owner_write);
  ASSERT_TRUE(st.ok());

  std::vector<std::string> names;
  for (const mayahost::ResolvedModule& m : paths.modules) names.push_back(m.name);
  EXPECT_EQ(names,
            (std::vector<std::string>{"lightkit", "paintkit", "farmkit", "newkit", "velvet"}));
  std::map<std::string, const mayahost::ResolvedModule*> byName;
  for (const mayahost::ResolvedModule& m : paths.modules) byName[m.name] = &m;
  EXPECT_EQ(byName["farmkit"]->root, path("Render Farm Kit/2025"));
  EXPECT_EQ(byName["farmkit"]->plugIns.front(), path("Render Farm Kit/2025/plug ins"));
  EXPECT_EQ(byName["paintkit"]->plugIns, std::vector<std::string>{path("paintkit/plug-ins")});
  std::string file;
  ASSERT_TRUE(mayahost::findPlugin("velvet", paths, &file).ok());
  EXPECT_EQ(file, path("studio/velvet/plug-ins/velvet" + so));

  std::map<std::string, const mayahost::UnreadableModuleFile*> unreadable;
  for (const mayahost::UnreadableModuleFile& u : paths.unreadable) unreadable[u.file] = &u;
  ASSERT_EQ(unreadable.size(), cannotRead ? 3u : 2u);
  const mayahost::UnreadableModuleFile* hand = unreadable[path("studio/hand_edited.mod")];
  ASSERT_NE(hand, nullptr);
  EXPECT_EQ(hand->line, 9);
  EXPECT_EQ(hand->modules, std::vector<std::string>{"studiotools"});
  const mayahost::UnreadableModuleFile* old = unreadable[path("studio/old_format.mod")];
  ASSERT_NE(old, nullptr);
  EXPECT_EQ(old->line, 1);
  EXPECT_NE(old->message.find("unknown condition 'OS:'"), std::string::npos) << old->message;
  if (cannotRead) {
    ASSERT_NE(unreadable[path("unreadable/zz.mod")], nullptr);
    EXPECT_EQ(unreadable[path("unreadable/zz.mod")]->line, 0);
  }
}

TEST_F(ModuleResolution, BadModulesAreNamedByFileAndLine) {
  write("mods/good.mod", "+ good 1.0 good\n");
  write("mods/velvet.mod", "+ velvet 1.0 velvet\n\nplug-ins x\n");
  env["MAYA_MODULE_PATH"] = path("mods");
  mayahost::SearchPaths paths;
  mayahost::Status st = resolve(&paths);
  ASSERT_TRUE(st.ok());
  ASSERT_EQ(paths.unreadable.size(), 1u);
  EXPECT_EQ(paths.unreadable[0].file, path("mods/velvet.mod"));
  EXPECT_EQ(paths.unreadable[0].line, 3);
  EXPECT_EQ(paths.unreadable[0].modules, std::vector<std::string>{"velvet"});
  ASSERT_EQ(paths.modules.size(), 1u);
  EXPECT_EQ(paths.modules[0].name, "good");

  // A module whose plug-in folder is empty: found, but `loadPlugin` says why
  // the plug-in is not.
  write("mods/velvet.mod", "+ velvet 1.0 velvet\n");
  fs::create_directories(root_ / "mods/velvet/plug-ins");
  ASSERT_TRUE(resolve(&paths).ok());
  std::string file;
  st = mayahost::findPlugin("velvet", paths, &file);
  EXPECT_FALSE(st.ok());
  EXPECT_NE(st.message().find("module 'velvet' (" + path("mods/velvet.mod") + ":1) has no plug-in"),
            std::string::npos)
      << st.message();
}

}  // namespace
