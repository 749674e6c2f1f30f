// Where the tool finds the plug-ins: the flag, then the hosts' variables,
// then the installed tree around the tool, then the build's description;
// and what it says when a place is wrong.
#include <gtest/gtest.h>
#include <mayahost/modules.h>
#include <mrhost/renderer.h>
#include <mrhost/search_path.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "../../../common/scratch_tree.h"
#include "tools/preview/cli/cli.h"
#include "tools/preview/hosts/hosts.h"
#include "tools/preview/hosts/registry.h"

namespace {

namespace fs = std::filesystem;

class Locate : public scratch::TreeTest {
 protected:
  void SetUp() override {
    make_root("velvet_locate_");
    // An installed tree around bin/, a second tree for the variables, and
    // a build folder whose description points at a third.
    for (const std::string tree : {"install", "env", "built"}) {
      write(tree + "/modules/velvet.mod", "+ velvet 1.0 velvet\n");
      write(tree + "/modules/velvet/plug-ins/" + plugin_);
      write(tree + "/mentalray/lib/" + library_);
      write(tree + "/mentalray/include/krel_velvet.mi");
    }
    fs::create_directories(root_ / "install/bin");
    write("build/velvet-preview.build", "maya-module-path=" + path("built/modules") +
                                            "\nmr-custom-shader-path=" + path("built/mentalray") +
                                            "\nmr-host-module=/b/mrhost_module.so\n");
  }
  preview::LocateContext context(const std::string& tool_dir) const {
    preview::LocateContext c;
    c.environment = variables();
    c.tool_dir = path(tool_dir);
    return c;
  }

  const std::string plugin_ = std::string("velvet") + mayahost::pluginSuffix();
  const std::string library_ = mrhost::library_file_name("krel_velvet");
};

TEST_F(Locate, FlagThenVariablesThenInstalledTreeThenBuild) {
  env["MAYA_MODULE_PATH"] = path("env/modules");
  env["MI_CUSTOM_SHADER_PATH"] = path("env/mentalray");
  preview::Location maya = preview::locate_maya(path("built/modules/velvet/plug-ins/" + plugin_),
                                                context("install/bin"));
  preview::Location mr =
      preview::locate_mentalray(path("built/mentalray/lib/" + library_), context("install/bin"));
  EXPECT_EQ(maya.how, "--maya-plugin");
  EXPECT_EQ(maya.file("plug-in"), path("built/modules/velvet/plug-ins/" + plugin_));
  EXPECT_EQ(mr.file("library"), path("built/mentalray/lib/" + library_));
  EXPECT_EQ(mr.file("declaration"), path("env/mentalray/include/krel_velvet.mi"));  // not flagged

  maya = preview::locate_maya("", context("install/bin"));
  mr = preview::locate_mentalray("", context("install/bin"));
  EXPECT_EQ(maya.file("plug-in"), path("env/modules/velvet/plug-ins/" + plugin_));
  EXPECT_EQ(maya.file("module"), path("env/modules/velvet.mod") + ":1");
  EXPECT_EQ(mr.file("library"), path("env/mentalray/lib/" + library_));

  env.clear();
  maya = preview::locate_maya("", context("install/bin"));
  mr = preview::locate_mentalray("", context("install/bin"));
  EXPECT_EQ(maya.file("plug-in"), path("install/modules/velvet/plug-ins/" + plugin_));
  EXPECT_EQ(mr.file("library"), path("install/mentalray/lib/" + library_));
  EXPECT_EQ(mr.file("declaration"), path("install/mentalray/include/krel_velvet.mi"));
  EXPECT_EQ(mr.file("host module"), mrhost::library_file_name("mrhost_module"));  // run path
#if !defined(_WIN32)  // where Windows keeps it, beside the tool, is the same folder
  write("install/lib/velvet-preview/" + mrhost::library_file_name("mrhost_module"));
  mr = preview::locate_mentalray("", context("install/bin"));
  EXPECT_EQ(mr.file("host module"),
            path("install/lib/velvet-preview/" + mrhost::library_file_name("mrhost_module")));
#endif

  maya = preview::locate_maya("", context("build"));
  mr = preview::locate_mentalray("", context("build"));
  EXPECT_EQ(maya.file("plug-in"), path("built/modules/velvet/plug-ins/" + plugin_));
  EXPECT_EQ(mr.file("library"), path("built/mentalray/lib/" + library_));
  EXPECT_EQ(mr.file("host module"), "/b/mrhost_module.so");

  maya = preview::locate_maya("", context("nowhere"));
  mr = preview::locate_mentalray("", context("nowhere"));
  EXPECT_FALSE(maya.found);
  EXPECT_FALSE(mr.found);
  EXPECT_NE(maya.error.find("MAYA_MODULE_PATH"), std::string::npos) << maya.error;
  EXPECT_NE(mr.error.find("MI_CUSTOM_SHADER_PATH"), std::string::npos) << mr.error;
}

TEST_F(Locate, BrokenPlacesAreReportedNotSkippedOver) {
  // A malformed module on the variable's path stops the search there.
  write("env/modules/velvet.mod", "+ velvet 1.0 velvet\nplug-ins\n");
  env["MAYA_MODULE_PATH"] = path("env/modules");
  preview::Location maya = preview::locate_maya("", context("install/bin"));
  EXPECT_FALSE(maya.found);
  EXPECT_NE(maya.error.find(path("env/modules/velvet.mod") + ":2: "), std::string::npos)
      << maya.error;

  // An installed module with an empty plug-in folder, and a shader folder
  // without its declaration: both say what is missing where, though the
  // build has both.
  env.clear();
  fs::remove(root_ / "install/modules/velvet/plug-ins" / plugin_);
  fs::remove(root_ / "install/mentalray/include/krel_velvet.mi");
  write("install/bin/velvet-preview.build",
        "maya-module-path=" + path("built/modules") +
            "\nmr-custom-shader-path=" + path("built/mentalray") + "\n");
  maya = preview::locate_maya("", context("install/bin"));
  const preview::Location mr = preview::locate_mentalray("", context("install/bin"));
  EXPECT_FALSE(maya.found);
  EXPECT_NE(maya.error.find("module 'velvet' (" + path("install/modules/velvet.mod") +
                            ":1) has no plug-in"),
            std::string::npos)
      << maya.error;
  EXPECT_FALSE(mr.found);
  EXPECT_NE(mr.error.find("$include \"krel_velvet.mi\": not found in " +
                          path("install/mentalray/include")),
            std::string::npos)
      << mr.error;

  const preview::Location flagged = preview::locate_maya(path("none.so"), context("build"));
  EXPECT_FALSE(flagged.found);
  EXPECT_NE(flagged.error.find("--maya-plugin"), std::string::npos) << flagged.error;
}

// One module for several releases: the host's own section is used, and the
// others are listed with the reason.
TEST_F(Locate, TheSectionForThisReleaseIsUsedAndTheOthersAreSaidToBeSkipped) {
  const std::string release = mayahost::HostInfo::currentRelease();
  const std::string platform = mayahost::HostInfo::currentPlatformName();
  write("env/modules/velvet.mod", "+ MAYAVERSION:1999 PLATFORM:" + platform +
                                      " velvet 1.0 velvet\nplug-ins: plug-ins/1999\n\n"
                                      "+ MAYAVERSION:" +
                                      release + " PLATFORM:" + platform +
                                      " velvet 1.0 velvet\nplug-ins: plug-ins/" + release + "\n");
  write("env/modules/velvet/plug-ins/1999/" + plugin_);
  write("env/modules/velvet/plug-ins/" + release + "/" + plugin_);
  env["MAYA_MODULE_PATH"] = path("env/modules");
  const preview::Location maya = preview::locate_maya("", context("install/bin"));
  ASSERT_TRUE(maya.found) << maya.error;
  EXPECT_EQ(maya.file("plug-in"), path("env/modules/velvet/plug-ins/" + release + "/" + plugin_));
  EXPECT_EQ(maya.file("module"), path("env/modules/velvet.mod") + ":4 (MAYAVERSION:" + release +
                                     " PLATFORM:" + platform + ")");
  EXPECT_EQ(maya.file("skipped"), path("env/modules/velvet.mod") +
                                      ":1 (MAYAVERSION:1999, this host is Maya " + release + ")");

  // With no section for this release, the reasons are in the message.
  write("env/modules/velvet.mod", "+ MAYAVERSION:1999 velvet 1.0 velvet\n");
  const preview::Location none = preview::locate_maya("", context("nowhere"));
  EXPECT_FALSE(none.found);
  EXPECT_NE(none.error.find("module 'velvet' at " + path("env/modules/velvet.mod") +
                            ":1 skipped: MAYAVERSION:1999, this host is Maya " + release),
            std::string::npos)
      << none.error;
}

// A studio's module path holds other products' files that no strict reader
// would take; they cost only their own modules and are listed once each.
// velvet's own malformed section still stops the search.
TEST_F(Locate, OtherProductsUnreadableModuleFilesDoNotHideVelvet) {
  write("env/modules/aaa.mod", "// hand-edited\n+ aaa 1.0 aaa\nplug-ins\n");
  write("env/modules/zzz.mod", "+ OS:linux zzz 1.0 zzz\n");
  env["MAYA_MODULE_PATH"] = path("env/modules");
  preview::Location maya = preview::locate_maya("", context("install/bin"));
  ASSERT_TRUE(maya.found) << maya.error;
  EXPECT_EQ(maya.file("plug-in"), path("env/modules/velvet/plug-ins/" + plugin_));
  std::vector<std::string> ignored;
  for (const auto& [role, text] : maya.files) {
    if (role == "ignored") ignored.push_back(text);
  }
  ASSERT_EQ(ignored.size(), 2u);
  EXPECT_EQ(ignored[0].rfind(path("env/modules/aaa.mod") + ":3: ", 0), 0u) << ignored[0];
  EXPECT_EQ(ignored[1].rfind(path("env/modules/zzz.mod") + ":1: unknown condition", 0), 0u)
      << ignored[1];

  // velvet's section, malformed in a file of another name.
  write("env/modules/aaa.mod", "+ velvet 2.0 velvet\nplug-ins\n");
  maya = preview::locate_maya("", context("install/bin"));
  EXPECT_FALSE(maya.found);
  EXPECT_EQ(maya.error.rfind(path("env/modules/aaa.mod") + ":2: ", 0), 0u) << maya.error;
}

// Last, where Maya itself looks: the user's own modules folder.
TEST_F(Locate, TheUsersModulesFolderComesAfterEveryOtherPlace) {
  write("home/maya/modules/velvet.mod", "+ velvet 2.0 velvet\n");
  write("home/maya/modules/velvet/plug-ins/" + plugin_);
  preview::LocateContext c = context("nowhere");
  c.user_modules_dir = path("home/maya/modules");
  preview::Location maya = preview::locate_maya("", c);
  ASSERT_TRUE(maya.found) << maya.error;
  EXPECT_EQ(maya.file("plug-in"), path("home/maya/modules/velvet/plug-ins/" + plugin_));
  EXPECT_NE(maya.how.find("the user's modules folder"), std::string::npos) << maya.how;
  // The tool's own installed tree wins over a velvet in the user's folder.
  c.tool_dir = path("install/bin");
  maya = preview::locate_maya("", c);
  EXPECT_EQ(maya.file("plug-in"), path("install/modules/velvet/plug-ins/" + plugin_));
}

TEST(LocateUserFolder, FollowsThePlatformsConvention) {
  std::map<std::string, std::string> vars;
  const auto from = [&vars](const std::string& name) -> std::optional<std::string> {
    const auto it = vars.find(name);
    if (it == vars.end()) return std::nullopt;
    return it->second;
  };
  EXPECT_EQ(preview::user_maya_modules_dir(from), "");
#if defined(_WIN32)
  vars["HOME"] = "C:/elsewhere";
  EXPECT_EQ(preview::user_maya_modules_dir(from), "");
  vars["USERPROFILE"] = "C:\\Users\\An Artist";
  EXPECT_EQ(preview::user_maya_modules_dir(from), "C:/Users/An Artist/Documents/maya/modules");
#else
  vars["HOME"] = "/home/an artist";
  EXPECT_EQ(preview::user_maya_modules_dir(from), "/home/an artist/maya/modules");
#endif
}

// The variables are lists in the platform's own form: ';' between entries on
// Windows (where ':' follows a drive letter), ':' elsewhere; entries may use
// either slash there, and hold spaces anywhere.
TEST_F(Locate, VariablesAreListsInThePlatformsForm) {
  const char sep = mayahost::pathListSeparator();
  write("with spaces/modules/velvet.mod", "+ velvet 1.0 velvet\n");
  write("with spaces/modules/velvet/plug-ins/" + plugin_);
  write("with spaces/mentalray/lib/" + library_);
  write("with spaces/mentalray/include/krel_velvet.mi");
  std::string spaced_modules = path("with spaces/modules");
  std::string spaced_shaders = path("with spaces/mentalray");
#if defined(_WIN32)
  EXPECT_EQ(sep, ';');
  // As Windows users write them: backslashes, a drive letter.
  std::replace(spaced_modules.begin(), spaced_modules.end(), '/', '\\');
  std::replace(spaced_shaders.begin(), spaced_shaders.end(), '/', '\\');
  ASSERT_EQ(spaced_modules[1], ':') << spaced_modules;
#else
  EXPECT_EQ(sep, ':');
#endif
  env["MAYA_MODULE_PATH"] = path("absent") + sep + spaced_modules;
  env["MI_CUSTOM_SHADER_PATH"] = path("absent") + sep + spaced_shaders;
  const preview::Location maya = preview::locate_maya("", context("nowhere"));
  const preview::Location mr = preview::locate_mentalray("", context("nowhere"));
  ASSERT_TRUE(maya.found) << maya.error;
  ASSERT_TRUE(mr.found) << mr.error;
  EXPECT_EQ(maya.file("plug-in"), path("with spaces/modules/velvet/plug-ins/" + plugin_));
  EXPECT_EQ(mr.file("library"), path("with spaces/mentalray/lib/" + library_));
  EXPECT_EQ(mr.file("declaration"), path("with spaces/mentalray/include/krel_velvet.mi"));
}

#if defined(_WIN32)
// Entries that look like more than one on other systems stay whole: a drive
// letter's colon, a UNC server and share.
TEST(LocateWindows, DriveLettersAndUncPathsAreOneEntryEach) {
  const std::map<std::string, std::string> vars = {
      {"MI_CUSTOM_SHADER_PATH", "C:\\Program Files\\velvet\\mentalray;\\\\studio\\tools\\mr"},
      {"MI_LIBRARY_PATH", "D:/shaders/lib"}};
  const mrhost::SearchPath search =
      mrhost::search_path([&vars](const std::string& name) -> std::optional<std::string> {
        const auto it = vars.find(name);
        if (it == vars.end()) return std::nullopt;
        return it->second;
      });
  EXPECT_EQ(search.libraries,
            (std::vector<std::string>{"D:/shaders/lib", "C:/Program Files/velvet/mentalray/lib",
                                      "//studio/tools/mr/lib"}));
  EXPECT_EQ(search.includes, (std::vector<std::string>{"C:/Program Files/velvet/mentalray/include",
                                                       "//studio/tools/mr/include"}));
}
#endif

TEST(LocateCli, HostsAlonePrintsWhereEachPluginIsFound) {
  std::ostringstream out, err;
  preview::CliEnvironment env;
  env.hosts = preview::built_hosts();
  env.out = &out;
  env.err = &err;
  EXPECT_EQ(preview::run({"--hosts"}, env), preview::kExitOk) << err.str();
  EXPECT_NE(out.str().find("maya: found through"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("mr: found through"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("  declaration  "), std::string::npos) << out.str();

  out.str("");
  EXPECT_EQ(preview::run({"--hosts", "--maya-plugin", "/nonexistent/velvet.so"}, env),
            preview::kExitFailure);
  EXPECT_NE(out.str().find("maya: not found: --maya-plugin"), std::string::npos) << out.str();
}

}  // namespace
