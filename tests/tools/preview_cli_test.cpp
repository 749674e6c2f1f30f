// The command line with host-free backends standing in for both plug-ins:
// every kind of bad input stops with exit code 2 and writes nothing, and
// good input writes the files it promises.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "tests/tools/fake_backend.h"
#include "tools/preview/cli.h"
#include "tools/preview/image_io.h"

namespace {

namespace fs = std::filesystem;

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("velvet_preview_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    for (const char* flag : {"maya", "mr"}) {
      preview::HostEntry h;
      h.flag = flag;
      h.file_name = std::string(flag) == "mr" ? "mentalray" : flag;
      h.path_flag = std::string(flag) + "-plugin";
      h.make = [](const std::string&, std::string&) { return std::make_unique<fake::Backend>(); };
      env_.hosts.push_back(h);
    }
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
  for (const char* file :
       {"maya.png", "maya.exr", "mentalray.png", "mentalray.exr", "preview.png"}) {
    EXPECT_TRUE(fs::exists(dir_ / file)) << file;
  }
  preview::Image maya;
  std::string error;
  ASSERT_TRUE(preview::read_exr((dir_ / "maya.exr").string(), maya, error)) << error;
  EXPECT_EQ(maya.width, 24);
  EXPECT_EQ(maya.height, 12);
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
  preview::Image sheet;
  std::string error;
  ASSERT_TRUE(preview::read_exr((dir_ / "sheet.exr").string(), sheet, error)) << error;
  // Three 24-pixel columns and two 12-pixel rows, 6-pixel gutters, a row
  // caption ("mentalray": 9 characters of 12 pixels plus a gutter) on the
  // left and a caption line (14 pixels plus two gutters) on top.
  EXPECT_EQ(sheet.width, 9 * 12 + 6 + 3 * 24 + 4 * 6);
  EXPECT_EQ(sheet.height, 14 + 2 * 6 + 2 * 12 + 3 * 6);
  EXPECT_FALSE(fs::exists(dir_ / "maya.png"));
}

TEST_F(Cli, CompareWritesTheDifferenceAndPrintsTheLargest) {
  ASSERT_EQ(run({"--compare"}), preview::kExitOk) << err_.str();
  EXPECT_TRUE(fs::exists(dir_ / "difference.exr"));
  EXPECT_TRUE(fs::exists(dir_ / "difference.png"));
  EXPECT_NE(out_.str().find("largest difference: 0 "), std::string::npos) << out_.str();
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
