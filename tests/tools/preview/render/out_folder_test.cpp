// Files saved into --out: whole or not at all, links replaced and never
// followed, nothing left behind by a failure.
#include "tools/preview/render/out_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using preview::FileBytes;
using preview::write_files;

std::vector<unsigned char> bytes(const std::string& text) {
  return {text.begin(), text.end()};
}

std::string read(const fs::path& path) {
  std::stringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

// Windows makes symbolic links only with a privilege a test cannot count on
// (and Wine makes none): the tests of links skip there when they cannot.
bool link(const fs::path& target, const fs::path& at) {
  std::error_code ec;
  fs::create_symlink(target, at, ec);
  return !ec;
}
constexpr const char* kNoLinks = "cannot make symbolic links here";

class OutFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("velvet_out_folder_" +
             std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "_" +
             std::to_string(std::random_device{}()));
    fs::remove_all(root_);
    out_ = root_ / "out";
    outside_ = root_ / "outside";
    fs::create_directories(outside_);
  }
  void TearDown() override { fs::remove_all(root_); }

  std::vector<std::string> listing(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path root_, out_, outside_;
};

TEST_F(OutFolder, WritesEveryFileIntoAFolderItMakes) {
  std::vector<std::string> wrote;
  ASSERT_EQ(write_files((out_ / "deeper").string(), {{"a.mel", bytes("one")}, {"b.mi", bytes("")}},
                        wrote),
            "");
  EXPECT_EQ(wrote, (std::vector<std::string>{(out_ / "deeper" / "a.mel").string(),
                                             (out_ / "deeper" / "b.mi").string()}));
  EXPECT_EQ(read(out_ / "deeper" / "a.mel"), "one");
  EXPECT_EQ(read(out_ / "deeper" / "b.mi"), "");
  EXPECT_EQ(listing(out_ / "deeper"), (std::vector<std::string>{"a.mel", "b.mi"}));
}

TEST_F(OutFolder, ReplacesLinksAndNeverWritesThroughThem) {
  fs::create_directories(out_);
  std::ofstream(outside_ / "target") << "outside";
  if (!link(outside_ / "target", out_ / "file")) GTEST_SKIP() << kNoLinks;
  ASSERT_TRUE(link(outside_ / "new", out_ / "dangling"));
  ASSERT_TRUE(link(outside_, out_ / "folder"));
  std::vector<std::string> wrote;
  ASSERT_EQ(
      write_files(out_.string(),
                  {{"file", bytes("1")}, {"dangling", bytes("2")}, {"folder", bytes("3")}}, wrote),
      "");
  for (const char* name : {"file", "dangling", "folder"}) {
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(out_ / name))) << name;
  }
  EXPECT_EQ(read(out_ / "dangling"), "2");
  EXPECT_EQ(read(outside_ / "target"), "outside");
  EXPECT_EQ(listing(outside_), std::vector<std::string>{"target"});
}

TEST_F(OutFolder, AFailureLeavesEveryFileAsItWasAndNothingBehind) {
  fs::create_directories(out_ / "second");  // a folder where the second file must go
  std::ofstream(out_ / "first") << "before";
  // A link where links can be made; a plain file elsewhere.
  const bool linked = link(outside_ / "x", out_ / "third");
  if (!linked) std::ofstream(out_ / "third") << "third before";
  std::vector<std::string> wrote{"untouched"};
  const std::string message = write_files(
      out_.string(), {{"first", bytes("after")}, {"second", bytes("2")}, {"third", bytes("3")}},
      wrote);
  EXPECT_NE(message.find((out_ / "second").string()), std::string::npos) << message;
  EXPECT_EQ(wrote, std::vector<std::string>{"untouched"});
  EXPECT_EQ(read(out_ / "first"), "before");
  if (linked) {
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(out_ / "third")));
  } else {
    EXPECT_EQ(read(out_ / "third"), "third before");
  }
  EXPECT_EQ(listing(out_), (std::vector<std::string>{"first", "second", "third"}));
}

TEST_F(OutFolder, RefusesAnythingButAFileName) {
  std::vector<std::string> wrote;
  std::vector<std::string> names{"", ".", "..", "../escape", "a/b", "/etc/x"};
#ifdef _WIN32
  // Windows' own separators, and a drive or stream.
  names.insert(names.end(), {"a\\b", "..\\escape", "c:x", "a:stream"});
#endif
  for (const std::string& name : names) {
    const std::string message = write_files(out_.string(), {{name, bytes("x")}}, wrote);
    EXPECT_NE(message.find("not a file name"), std::string::npos) << name << ": " << message;
  }
  EXPECT_FALSE(fs::exists(out_));
  EXPECT_EQ(listing(root_), std::vector<std::string>{"outside"});
}

TEST_F(OutFolder, AnOutThatCannotBeAFolderIsNamed) {
  std::ofstream(root_ / "plain") << "a file";
  std::vector<std::string> wrote;
  const std::string message = write_files((root_ / "plain").string(), {{"a", bytes("x")}}, wrote);
  EXPECT_NE(message.find((root_ / "plain").string()), std::string::npos) << message;
  EXPECT_EQ(read(root_ / "plain"), "a file");
}

}  // namespace
