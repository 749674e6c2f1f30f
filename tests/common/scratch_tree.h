// A scratch folder per test, and an environment that sees only the variables
// a test gives it: for the tests of everything that finds files by search
// paths (module files, shader folders, the preview tool's plug-ins).
#ifndef VELVET_TESTS_COMMON_SCRATCH_TREE_H
#define VELVET_TESTS_COMMON_SCRATCH_TREE_H

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>

namespace scratch {

class TreeTest : public ::testing::Test {
 protected:
  // Starts an empty folder named after `prefix` and the running test.
  void make_root(const std::string& prefix) {
    root_ = std::filesystem::temp_directory_path() /
            (prefix + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_);
  }
  void TearDown() override { std::filesystem::remove_all(root_); }

  std::string path(const std::string& relative) const {
    return (root_ / relative).lexically_normal().generic_string();
  }
  // Bytes as given: module files are read with whatever line ends they have.
  void write(const std::string& relative, const std::string& text = "") {
    std::filesystem::create_directories((root_ / relative).parent_path());
    std::ofstream(root_ / relative, std::ios::binary) << text;
  }
  // The variables in `env`, as they stand now.
  std::function<std::optional<std::string>(const std::string&)> variables() const {
    return [vars = env](const std::string& name) -> std::optional<std::string> {
      const auto it = vars.find(name);
      if (it == vars.end()) return std::nullopt;
      return it->second;
    };
  }

  std::filesystem::path root_;
  std::map<std::string, std::string> env;
};

}  // namespace scratch

#endif  // VELVET_TESTS_COMMON_SCRATCH_TREE_H
