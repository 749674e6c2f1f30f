// Where the tool finds the plug-ins: the flag, then the hosts' variables,
// then the installed tree around the tool, then the build's description;
// and what it says when a place is wrong.
#include <gtest/gtest.h>
#include <mayahost/modules.h>
#include <mrhost/renderer.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

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
    return {variables(), path(tool_dir)};
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
