// Paths in one form: normal, forward slashes, and on Windows drive letters
// and UNC names kept whole.
#include <gtest/gtest.h>
#include <hostkit/paths.h>

namespace {

using hostkit::join_path;
using hostkit::normal_path;

TEST(Paths, AreNormalWithForwardSlashes) {
  EXPECT_EQ(normal_path("/opt/velvet/bin/../modules"), "/opt/velvet/modules");
  EXPECT_EQ(normal_path("/opt//velvet/./mentalray/"), "/opt/velvet/mentalray/");
  EXPECT_EQ(join_path("/opt/velvet/bin", "../mentalray"), "/opt/velvet/mentalray");
  EXPECT_EQ(join_path("/home/an artist", "maya/modules"), "/home/an artist/maya/modules");
  EXPECT_EQ(normal_path(""), "");
}

#if defined(_WIN32)
TEST(Paths, KeepDriveLettersAndTakeEitherSlash) {
  EXPECT_EQ(normal_path("C:\\Program Files\\velvet\\bin\\..\\modules"),
            "C:/Program Files/velvet/modules");
  EXPECT_EQ(join_path("D:/shaders", "lib"), "D:/shaders/lib");
}

// The standard library folds a UNC name's leading slashes into one.
TEST(Paths, KeepUncNamesWhole) {
  EXPECT_EQ(normal_path("\\\\studio\\tools\\velvet\\bin\\..\\modules"),
            "//studio/tools/velvet/modules");
  EXPECT_EQ(join_path("\\\\studio\\tools\\mr", "lib"), "//studio/tools/mr/lib");
  EXPECT_EQ(normal_path("//studio/tools"), "//studio/tools");
  EXPECT_EQ(normal_path("//studio/tools/"), "//studio/tools");
  EXPECT_EQ(normal_path("\\\\studio"), "//studio");
}
#endif

}  // namespace
