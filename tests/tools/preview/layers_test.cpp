// The preview tool's layers: each folder includes only from its own layer
// and those below it (main.cpp > cli, serve > render > hosts > look), so a
// piece can be read, and replaced, with what lies under it alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace {

namespace fs = std::filesystem;

// Higher layers have higher ranks; cli and serve sit side by side.
const std::map<std::string, int> kRank = {
    {"look", 0}, {"hosts", 1}, {"render", 2}, {"cli", 3}, {"serve", 3}};

TEST(PreviewLayers, EveryIncludeRunsDownwardsOrSideways) {
  const fs::path root = fs::path(VELVET_SOURCE_DIR) / "tools" / "preview";
  std::error_code ec;
  if (!fs::is_directory(root, ec)) GTEST_SKIP() << "no source tree at " << root;
  int files = 0;
  for (const auto& [layer, rank] : kRank) {
    for (const fs::directory_entry& e : fs::directory_iterator(root / layer)) {
      const std::string ext = e.path().extension().string();
      if (ext != ".h" && ext != ".cpp") continue;
      ++files;
      std::ifstream in(e.path());
      std::string line;
      for (int n = 1; std::getline(in, line); ++n) {
        const std::string prefix = "#include \"tools/preview/";
        if (line.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string to =
            line.substr(prefix.size(), line.find('/', prefix.size()) - prefix.size());
        const auto found = kRank.find(to);
        ASSERT_NE(found, kRank.end()) << e.path() << ":" << n << ": no layer '" << to << "'";
        // The server reads and checks looks as the command line does, through
        // cli.h alone; the command line never includes the server.
        const bool looks_through_cli =
            layer == "serve" && line == "#include \"tools/preview/cli/cli.h\"";
        EXPECT_TRUE(found->second < rank || to == layer || looks_through_cli)
            << e.path().lexically_relative(root).string() << ":" << n << " (" << layer
            << ") includes from " << to;
      }
    }
  }
  EXPECT_GT(files, 20) << "the layers' folders were not found under " << root;
}

}  // namespace
