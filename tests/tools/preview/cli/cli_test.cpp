// The command line with host-free backends standing in for both plug-ins:
// every kind of bad input stops with exit code 2 and writes nothing, and
// good input writes the files it promises.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "mentalray/krel_velvet_lobe.h"
#include "tests/tools/preview/fake_backend.h"
#include "tools/preview/cli/cli.h"
#include "tools/preview/render/image_io.h"

namespace {

namespace fs = std::filesystem;

// Width and height of a PNG file, or 0 x 0 if it cannot be read. The PNG is
// written in every build; the .exr only where OpenEXR is built in.
std::pair<unsigned, unsigned> png_size(const fs::path& file) {
  preview::Rgb8 png;
  std::string error;
  if (!preview::read_png(file.string(), png, error)) return {0, 0};
  return {static_cast<unsigned>(png.width), static_cast<unsigned>(png.height)};
}

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    // A name of this run's own: other test runs on the machine use the
    // same tests at the same time.
    dir_ = fs::temp_directory_path() /
           ("velvet_preview_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "_" +
            std::to_string(std::random_device{}()));
    fs::remove_all(dir_);
    env_.hosts = fake::host_entries();
    env_.out = &out_;
    env_.err = &err_;
  }
  void TearDown() override { fs::remove_all(dir_); }

  int run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--out", dir_.string(), "--size", "24x12", "--aa", "1"});
    return preview::run(args, env_);
  }
  bool nothing_written() const { return !fs::exists(dir_); }

  fs::path dir_;
  std::ostringstream out_, err_;
  preview::CliEnvironment env_;
};

TEST_F(Cli, RejectsBadInputWithExitCodeTwoAndWritesNothing) {
  const std::vector<std::vector<std::string>> cases = {
      {"--bogus"},
      {"stray"},
      {"--maya"},
      {"--maya", "color"},
      {"--maya", "nosuch=1"},
      {"--maya", "edginess=soft"},
      {"--maya", "edginess=nan"},
      {"--maya", "edginess=1e99"},
      {"--maya", "color=1,0"},
      {"--maya", "color=1,0,0,0"},
      {"--maya", "bounces=1.5"},
      {"--mr", "lobe=maybe"},
      {"--size", "0x10"},
      {"--size", "64"},
      {"--threads", "-1"},
      {"--aa", "2x"},
      {"--shapes", "cube"},
      {"--irradiance", "1,1"},
      {"--irradiance", "1,-1,1"},
      {"--hosts", "renderman"},
      {"--hosts", "maya", "--mr", "edginess=1"},
      {"--sweep", "nosuch=1,2"},
      {"--sweep", "color=1,0,0,0,1"},
      {"--sweep", "edginess="},
      {"--sweep", "edginess=1,x"},
      {"--compare", "--hosts", "maya"},
      {"--compare", "--sweep", "edginess=1,2"},
      {"--help=yes"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(::testing::PrintToString(args));
    err_.str("");
    EXPECT_EQ(run(args), preview::kExitUsage);
    EXPECT_TRUE(nothing_written());
    EXPECT_NE(err_.str().find("velvet-preview: "), std::string::npos);
  }
}

TEST_F(Cli, MessagesNameTheCulprit) {
  EXPECT_EQ(run({"--maya", "edginess=soft"}), preview::kExitUsage);
  EXPECT_NE(err_.str().find("'soft' for edginess"), std::string::npos) << err_.str();
  err_.str("");
  EXPECT_EQ(run({"--mr", "colour=1,1,1"}), preview::kExitUsage);
  EXPECT_NE(err_.str().find("unknown mr parameter 'colour'"), std::string::npos) << err_.str();
  EXPECT_NE(err_.str().find("known: color, edginess"), std::string::npos) << err_.str();
}

TEST_F(Cli, HostThatCannotLoadIsAFailureNotBadInput) {
  env_.hosts[0].make = [](const std::string& path, std::string& error) {
    error = "cannot load " + path;
    return std::unique_ptr<preview::Backend>();
  };
  EXPECT_EQ(run({"--maya-plugin", "/nowhere/velvet.so"}), preview::kExitFailure);
  EXPECT_NE(err_.str().find("cannot load /nowhere/velvet.so"), std::string::npos);
  EXPECT_TRUE(nothing_written());
}

TEST_F(Cli, DefaultRunWritesEachHostAndTheOverview) {
  ASSERT_EQ(run({"--maya", "color=0.6,0.1,0.2", "--mr=edginess=2"}), preview::kExitOk)
      << err_.str();
  for (const char* file : {"maya.png", "mentalray.png", "preview.png"}) {
    EXPECT_TRUE(fs::exists(dir_ / file)) << file;
  }
  for (const char* file : {"maya.exr", "mentalray.exr"}) {
    EXPECT_EQ(fs::exists(dir_ / file), preview::exr_available()) << file;
  }
  EXPECT_EQ(png_size(dir_ / "maya.png"), std::make_pair(24u, 12u));
  // Not a terminal: no progress bar, nothing on standard error.
  EXPECT_EQ(err_.str(), "");
}

TEST_F(Cli, ProgressBarOnATerminalEndsAtOneHundredPercent) {
  env_.err_is_terminal = true;
  ASSERT_EQ(run({}), preview::kExitOk);
  const std::string bar = err_.str();
  EXPECT_EQ(bar.rfind("\rrendering [", 0), 0u) << bar;
  EXPECT_NE(bar.find("] 100%\n"), std::string::npos) << bar;
  EXPECT_EQ(bar.find("100%", bar.find("100%") + 1), std::string::npos);  // drawn once
}

TEST_F(Cli, SweepMakesOneColumnPerValueAndOneRowPerHost) {
  ASSERT_EQ(run({"--sweep", "color=1,0,0,0,1,0,0,0,1"}), preview::kExitOk) << err_.str();
  // Three 24-pixel columns and two 12-pixel rows, 6-pixel gutters, a row
  // caption ("mentalray": 9 characters of 12 pixels plus a gutter) on the
  // left and a caption line (14 pixels plus two gutters) on top.
  EXPECT_EQ(png_size(dir_ / "sheet.png"),
            std::make_pair(9u * 12 + 6 + 3 * 24 + 4 * 6, 14u + 2 * 6 + 2 * 12 + 3 * 6));
  EXPECT_EQ(fs::exists(dir_ / "sheet.exr"), preview::exr_available());
  EXPECT_FALSE(fs::exists(dir_ / "maya.png"));
}

TEST_F(Cli, CompareWritesTheDifferenceAndPrintsTheLargest) {
  ASSERT_EQ(run({"--compare"}), preview::kExitOk) << err_.str();
  EXPECT_EQ(fs::exists(dir_ / "difference.exr"), preview::exr_available());
  EXPECT_TRUE(fs::exists(dir_ / "difference.png"));
  EXPECT_NE(out_.str().find("largest difference: 0 "), std::string::npos) << out_.str();
}

// The Maya node takes the lobe's shape as attributes, the mental ray shader
// fixes it: every host must be handed the shader's own shape.
TEST_F(Cli, CompareHandsEveryHostTheShapeTheShaderFixes) {
  fake::handed_lobes().clear();
  ASSERT_EQ(run({"--compare"}), preview::kExitOk) << err_.str();
  ASSERT_EQ(fake::handed_lobes().size(), env_.hosts.size());
  for (const preview::LobeOnly& lobe : fake::handed_lobes()) {
    EXPECT_EQ(lobe.shape.roughness, krel_velvet_lobe::kRoughness);
    EXPECT_EQ(lobe.shape.backscatter, krel_velvet_lobe::kBackscatter);
  }
}

// Without one shape there is nothing to compare: a fault of the build, not
// of the request, reported before anything is written.
TEST_F(Cli, CompareFailsWithoutOneFixedShape) {
  env_.hosts[0].fixed_lobe = preview::LobeShape{0.3f, 0.2f};
  EXPECT_EQ(run({"--compare"}), preview::kExitFailure);
  EXPECT_NE(err_.str().find("fix different lobe shapes"), std::string::npos) << err_.str();
  for (preview::HostEntry& h : env_.hosts) h.fixed_lobe.reset();
  EXPECT_EQ(run({"--compare"}), preview::kExitFailure);
  EXPECT_NE(err_.str().find("no host's plug-in fixes the lobe's shape"), std::string::npos)
      << err_.str();
  EXPECT_TRUE(nothing_written());
}

// Looks for the fake hosts, written next to (never into) the output folder.
class CliLooks : public Cli {
 protected:
  void SetUp() override {
    Cli::SetUp();
    looks_ = dir_.string() + "_looks";
    fs::remove_all(looks_);
    fs::create_directories(looks_ / "presets");
    preset("warm", "blendAttr \"color\" 0.8 0.3 0.1;\nblendAttr \"lobe\" 0;\n");
    mi_ =
        "shader \"velvet_warm\" \"krel_velvet\" (\n"
        "    \"color\" 0.8 0.3 0.1 1,\n"
        "    \"lobe\" off\n"
        ")\n";
    write_mi();
    env_.looks = {(looks_ / "presets").string(), (looks_ / "looks.mi").string(), "test folder"};
  }
  void TearDown() override {
    fs::remove_all(looks_);
    Cli::TearDown();
  }
  void preset(const std::string& name, const std::string& body) {
    std::ofstream(looks_ / "presets" / (name + ".mel")) << "startAttrPreset( \"velvet\" );\n"
                                                        << body << "endAttrPreset();\n";
  }
  void write_mi() { std::ofstream(looks_ / "looks.mi") << mi_; }

  fs::path looks_;
  std::string mi_;
};

TEST_F(CliLooks, BadLookFilesStopWithExitCodeTwoNamingFileAndLine) {
  struct Case {
    std::string what, preset_body, mi_extra, expected;
  };
  const std::vector<Case> cases = {
      {"unknown attribute", "blendAttr \"sheen\" 1;\n", "", "warm.mel:2: unknown maya parameter"},
      {"wrong type", "blendAttr \"edginess\" 1 2 3;\n", "", "warm.mel:2: bad value '1,2,3'"},
      {"wrong arity", "blendAttr \"color\" 1 0;\n", "", "warm.mel:2: bad value '1,0'"},
      {"integer", "blendAttr \"bounces\" 1.5;\n", "", "warm.mel:2: bad value '1.5'"},
      {"malformed preset", "blendAttr \"lobe\" 1\n", "", "warm.mel:3: expected ';'"},
      {"bad alpha", "", "shader \"velvet_x\" \"krel_velvet\" ( \"color\" 1 1 1 z )\n",
       "looks.mi:5: expected ',' or ')'"},
      {"mr unknown", "", "shader \"velvet_x\" \"krel_velvet\" (\n \"colour\" 1 1 1 )\n",
       "looks.mi:6: unknown mr parameter 'colour'"},
      {"one host", "", "shader \"velvet_cool\" \"krel_velvet\" ( )\n",
       "looks.mi:5: look 'cool' exists only for mr"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    preset("warm", c.preset_body.empty() ? "blendAttr \"lobe\" 0;\n" : c.preset_body);
    if (c.what == "bad alpha" || c.what == "mr unknown") preset("x", "");
    std::ofstream(looks_ / "looks.mi") << mi_ << c.mi_extra;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--look", "warm"}, std::vector<std::string>{"--list-looks"}}) {
      err_.str("");
      EXPECT_EQ(run(args), preview::kExitUsage);
      EXPECT_TRUE(nothing_written());
      EXPECT_NE(err_.str().find(c.expected), std::string::npos) << err_.str();
    }
    fs::remove(looks_ / "presets" / "x.mel");
  }
}

TEST_F(CliLooks, LookNamesAndFlagsAreChecked) {
  const std::vector<std::vector<std::string>> cases = {
      {"--look", "cold"},
      {"--look", "warm", "--look", "warm"},
      {"--look", "warm", "--compare"},
      {"--look", "warm", "--maya-presets", (looks_ / "nowhere").string()},
      {"--look", "warm", "--mr-looks", (looks_ / "nowhere.mi").string()},
      {"--save-look", "../up"},
      {"--save-look", "new", "--hosts", "maya"},
      {"--save-look", "new", "--sweep", "edginess=1,2"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(::testing::PrintToString(args));
    EXPECT_EQ(run(args), preview::kExitUsage);
    EXPECT_TRUE(nothing_written());
  }
  env_.looks = {"", "", "nowhere"};
  EXPECT_EQ(run({"--look", "warm"}), preview::kExitUsage);
  EXPECT_NE(err_.str().find("no look files found"), std::string::npos) << err_.str();
}

TEST_F(CliLooks, LookSetsEachHostAndFlagsApplyOnTop) {
  if (!preview::exr_available()) {
    GTEST_SKIP() << "built without OpenEXR (Debian package libopenexr-dev): no .exr to compare";
  }
  // The look turns the lobe off on both hosts: the images match a plain
  // run with the same settings given as flags.
  ASSERT_EQ(run({"--look", "warm", "--mr", "edginess=2"}), preview::kExitOk) << err_.str();
  const std::string looked = out_.str();
  preview::Image a, b;
  std::string error;
  ASSERT_TRUE(preview::read_exr((dir_ / "mentalray.exr").string(), a, error)) << error;
  fs::remove_all(dir_);
  ASSERT_EQ(run({"--maya", "color=0.8,0.3,0.1", "--maya", "lobe=0", "--mr", "color=0.8,0.3,0.1",
                 "--mr", "lobe=off", "--mr", "edginess=2"}),
            preview::kExitOk);
  ASSERT_TRUE(preview::read_exr((dir_ / "mentalray.exr").string(), b, error)) << error;
  EXPECT_EQ(a.rgb, b.rgb);

  // Underscores name the same look; a sweep starts from it.
  fs::remove_all(dir_);
  EXPECT_EQ(run({"--look", "warm", "--sweep", "edginess=1,2"}), preview::kExitOk) << err_.str();
  EXPECT_TRUE(fs::exists(dir_ / "sheet.png"));
}

TEST_F(CliLooks, SavedLookIsANewLookThatRendersTheSame) {
  if (!preview::exr_available()) {
    GTEST_SKIP() << "built without OpenEXR (Debian package libopenexr-dev): no .exr to compare";
  }
  ASSERT_EQ(
      run({"--look", "warm", "--maya", "edginess=3", "--maya", "lobe=1", "--save-look", "my-warm"}),
      preview::kExitOk)
      << err_.str();
  ASSERT_TRUE(fs::exists(dir_ / "my_warm.mel"));
  ASSERT_TRUE(fs::exists(dir_ / "my_warm.mi"));
  preview::Image saved, reread;
  std::string error;
  ASSERT_TRUE(preview::read_exr((dir_ / "maya.exr").string(), saved, error)) << error;

  // Read back as looks from the output folder, under its own name.
  const fs::path copy = looks_ / "saved";
  fs::create_directories(copy);
  fs::copy_file(dir_ / "my_warm.mel", copy / "my_warm.mel");
  fs::copy_file(dir_ / "my_warm.mi", copy / "my_warm.mi");
  fs::remove_all(dir_);
  ASSERT_EQ(run({"--look", "my-warm", "--maya-presets", copy.string(), "--mr-looks",
                 (copy / "my_warm.mi").string()}),
            preview::kExitOk)
      << err_.str();
  ASSERT_TRUE(preview::read_exr((dir_ / "maya.exr").string(), reread, error)) << error;
  EXPECT_EQ(saved.rgb, reread.rgb);
  // Each name once, with its last value.
  std::ifstream mel(copy / "my_warm.mel");
  const std::string text((std::istreambuf_iterator<char>(mel)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text,
            "startAttrPreset( \"velvet\" );\nblendAttr \"color\" 0.8 0.3 0.1;\n"
            "blendAttr \"lobe\" 1;\nblendAttr \"edginess\" 3;\nendAttrPreset();\n");
}

// --save-look replaces a look whole: a link placed under its file name is
// replaced, and what it points to stays as it was.
TEST_F(CliLooks, SaveLookReplacesALinkInTheFolderAndNeverWritesThroughIt) {
  fs::create_directories(dir_);
  const fs::path elsewhere = looks_ / "precious.mel";
  std::ofstream(elsewhere) << "keep me\n";
  std::error_code ec;
  fs::create_symlink(elsewhere, dir_ / "mine.mel", ec);
  if (ec) GTEST_SKIP() << "cannot make symbolic links here";
  ASSERT_EQ(run({"--maya", "edginess=3", "--save-look", "mine"}), preview::kExitOk) << err_.str();
  EXPECT_FALSE(fs::is_symlink(dir_ / "mine.mel"));
  std::ifstream kept(elsewhere);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(kept)), std::istreambuf_iterator<char>()),
            "keep me\n");
  std::ifstream saved(dir_ / "mine.mel");
  const std::string text((std::istreambuf_iterator<char>(saved)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("blendAttr \"edginess\" 3;"), std::string::npos) << text;
}

TEST_F(CliLooks, ListLooksSaysWhereEachLookWasFound) {
  ASSERT_EQ(run({"--list-looks"}), preview::kExitOk) << err_.str();
  EXPECT_NE(out_.str().find("looks (test folder):\n  warm\n"), std::string::npos) << out_.str();
  EXPECT_NE(out_.str().find("warm.mel:1"), std::string::npos) << out_.str();
  EXPECT_NE(out_.str().find("looks.mi:1"), std::string::npos) << out_.str();
  EXPECT_TRUE(nothing_written());

  out_.str("");
  ASSERT_EQ(run({"--list-looks", "--mr-looks", (looks_ / "other.mi").string()}),
            preview::kExitUsage);
  std::ofstream(looks_ / "other.mi") << mi_;
  ASSERT_EQ(run({"--list-looks", "--mr-looks", (looks_ / "other.mi").string()}), preview::kExitOk);
  EXPECT_NE(out_.str().find("--maya-presets/--mr-looks"), std::string::npos) << out_.str();
}

TEST_F(Cli, ServeTakesAPortAndTheOutFolderButNoLook) {
  // A build without the server says what would enable it.
  EXPECT_EQ(preview::run({"--serve"}, env_), preview::kExitFailure);
  EXPECT_NE(err_.str().find("libcpp-httplib-dev and nlohmann-json3-dev"), std::string::npos)
      << err_.str();
  const std::vector<std::vector<std::string>> bad = {
      {"--port", "8000"},
      {"--serve", "--port", "65536"},
      {"--serve", "--port", "x"},
      {"--serve", "--maya", "edginess=1"},
      {"--serve", "--size", "8x8"},
      {"--serve", "--list"},
      {"--serve", "--look", "warm"},
      {"--serve", "--list-looks"},
      {"--serve=yes"},
  };
  for (const auto& args : bad) {
    EXPECT_EQ(preview::run(args, env_), preview::kExitUsage) << ::testing::PrintToString(args);
  }
  preview::ServeOptions got;
  std::size_t hosts = 0;
  env_.serve = [&](std::vector<preview::LoadedHost>& loaded, const preview::ServeOptions& o,
                   std::ostream&, std::ostream&) {
    got = o;
    hosts = loaded.size();
    return preview::kExitOk;
  };
  ASSERT_EQ(preview::run({"--serve", "--out", dir_.string(), "--threads", "3"}, env_),
            preview::kExitOk);
  EXPECT_EQ(got.port, preview::kDefaultPort);
  EXPECT_EQ(got.out_dir, dir_.string());
  EXPECT_EQ(got.threads, 3);
  EXPECT_EQ(hosts, 2u);
  EXPECT_TRUE(nothing_written()) << "only Save writes";
  ASSERT_EQ(preview::run({"--serve", "--port", "0", "--hosts", "mr"}, env_), preview::kExitOk);
  EXPECT_EQ(got.port, 0);
  EXPECT_EQ(hosts, 1u);
}

}  // namespace

namespace {

// The fuzzer's and a pipeline's pre-flight: every value checked against the
// hosts, nothing rendered or written.
TEST_F(Cli, CheckOnlyAnswersLikeARunWithoutWriting) {
  env_.check_only = true;
  EXPECT_EQ(run({"--maya", "color=1,0,0", "--sweep", "edginess=0,2"}), preview::kExitOk);
  EXPECT_EQ(out_.str(), "");
  EXPECT_TRUE(nothing_written());
  EXPECT_EQ(run({"--maya", "nosuch=1"}), preview::kExitUsage);
  EXPECT_TRUE(nothing_written());
}

}  // namespace
