// Files the command line names: textures (NAME=@FILE) and meshes (--mesh),
// read and checked before anything is rendered; a bad one is bad input that
// names the file. A look (what the live page sends) names no file at all.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "tests/tools/preview/fake_backend.h"
#include "tools/preview/cli/cli.h"
#include "tools/preview/render/image_io.h"
#include "tools/preview/render/obj.h"

namespace {

namespace fs = std::filesystem;

// A skip must return from the test itself, so a macro rather than a helper.
#define REQUIRE_OBJ()                                                                      \
  do {                                                                                     \
    if (!preview::obj_available())                                                         \
      GTEST_SKIP() << "built without tinyobjloader (Debian package libtinyobjloader-dev)"; \
  } while (false)

class CliFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() / ("velvet_cli_files_" + std::to_string(std::random_device{}()));
    fs::create_directories(dir_);
    env_.hosts = fake::host_entries();
    env_.out = &out_;
    env_.err = &err_;
    env_.check_only = true;  // checked, never rendered or written
    for (const preview::HostEntry& e : env_.hosts) {
      std::string error;
      hosts_.push_back({&e, e.make("", error)});
    }
    std::string error;
    ASSERT_TRUE(preview::write_png(path("fabric.png"), preview::Image(4, 4), error)) << error;
    write("notes.png", "not an image\n");
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  void write(const std::string& name, const std::string& text) {
    std::ofstream(path(name), std::ios::binary) << text;
  }
  int run(const std::vector<std::string>& args) {
    out_.str("");
    err_.str("");
    return preview::run(args, env_);
  }
  // Exit code 2 and a message holding each of `words`.
  void expect_usage(const std::vector<std::string>& args, const std::vector<std::string>& words) {
    EXPECT_EQ(run(args), preview::kExitUsage) << args.back();
    for (const std::string& w : words) {
      EXPECT_NE(err_.str().find(w), std::string::npos) << w << " in " << err_.str();
    }
  }

  fs::path dir_;
  std::ostringstream out_, err_;
  preview::CliEnvironment env_;
  std::vector<preview::LoadedHost> hosts_;
};

TEST_F(CliFiles, TexturesOnColoursAreAccepted) {
  EXPECT_EQ(run({"--maya", "color=@" + path("fabric.png"), "--mr", "color=@" + path("fabric.png")}),
            preview::kExitOk)
      << err_.str();
  // A later value of the same name replaces the texture, and the other way.
  EXPECT_EQ(run({"--maya", "color=@" + path("fabric.png"), "--maya", "color=1,0,0"}),
            preview::kExitOk);
}

TEST_F(CliFiles, BadTexturesAreBadInputNamingTheFile) {
  expect_usage({"--maya", "color=@" + path("missing.png")}, {path("missing.png")});
  expect_usage({"--mr", "color=@" + path("notes.png")}, {path("notes.png"), "not an image"});
  expect_usage({"--mr", "color=@" + dir_.string()}, {dir_.string()});
  expect_usage({"--maya", "color=@"}, {"needs a file name"});
  expect_usage({"--maya", "edginess=@" + path("fabric.png")}, {"only colours take a texture"});
  expect_usage({"--maya", "noSuch=@" + path("fabric.png")}, {"unknown maya parameter"});
}

TEST_F(CliFiles, BadMeshesAreBadInputNamingTheFile) {
  REQUIRE_OBJ();
  write("nofaces.obj", "v 0 0 0\n");
  write("range.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 4\n");
  expect_usage({"--mesh", path("nofaces.obj")}, {path("nofaces.obj"), "no faces"});
  expect_usage({"--mesh", path("range.obj")}, {path("range.obj"), "vertex 4 of 3"});
  expect_usage({"--mesh", path("missing.obj")}, {path("missing.obj")});
}

TEST_F(CliFiles, AMeshWithoutUvsCannotTakeATexture) {
  REQUIRE_OBJ();
  write("flat.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  write("mapped.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nf 1/1 2/2 3/3\n");
  EXPECT_EQ(run({"--mesh", path("flat.obj")}), preview::kExitOk) << err_.str();
  expect_usage({"--mesh", path("flat.obj"), "--mr", "color=@" + path("fabric.png")},
               {path("flat.obj"), "cannot take a texture"});
  EXPECT_EQ(run({"--mesh", path("mapped.obj"), "--mr", "color=@" + path("fabric.png")}),
            preview::kExitOk)
      << err_.str();
}

TEST_F(CliFiles, MeshAndShapesDoNotMix) {
  expect_usage({"--mesh", path("any.obj"), "--shapes", "cloth"}, {"cannot be combined"});
  expect_usage({"--shapes", "cloth,cushion"}, {"one of plane, cloth and cushion"});
  expect_usage({"--shapes", "sphere,plane"}, {"one of plane, cloth and cushion"});
  EXPECT_EQ(run({"--shapes", "cushion"}), preview::kExitOk) << err_.str();
}

TEST_F(CliFiles, ALookNamesNoFile) {
  preview::Look look;
  EXPECT_NE(preview::parse_look({"--mesh", path("any.obj")}, hosts_, look), "");
  EXPECT_NE(preview::parse_look({"--maya", "color=@" + path("fabric.png")}, hosts_, look)
                .find("names no texture file"),
            std::string::npos);
  // The scene's other new settings are look settings.
  EXPECT_EQ(preview::parse_look({"--shapes", "cloth", "--turntable", "30", "--key-azimuth", "10",
                                 "--rim-elevation", "45"},
                                hosts_, look),
            "");
  EXPECT_TRUE(look.scene.cloth);
  EXPECT_EQ(look.scene.turntable, 30.0);
}

}  // namespace
