// The standard error capture the hosts' tests rely on: it takes C and C++
// writes alike, hands the stream back when it ends, and where it cannot
// capture it says why, in a way no expected output can match.
#include <gtest/gtest.h>
#include <hostkit/stderr_capture.h>

#include <cstdio>
#include <iostream>
#include <string>

#if defined(_WIN32)
#include <windows.h>

#include <filesystem>
#endif

namespace {

TEST(StderrCapture, TakesCAndCppWritesInOrder) {
  hostkit::StderrCapture err;
  ASSERT_TRUE(err.ok()) << err.error();
  std::fputs("from C\n", stderr);
  std::cerr << "from C++" << std::endl;
  std::fputs("C again\n", stderr);
  EXPECT_EQ(err.text(), "from C\nfrom C++\nC again\n");
  // Reading does not consume: a later text() has all of it.
  std::cerr << "more\n";
  EXPECT_EQ(err.text(), "from C\nfrom C++\nC again\nmore\n");
}

TEST(StderrCapture, EachCaptureSeesOnlyItsOwnWrites) {
  {
    hostkit::StderrCapture first;
    std::fputs("first\n", stderr);
    EXPECT_EQ(first.text(), "first\n");
  }
  // The first capture gave the stream back; a new one starts empty.
  hostkit::StderrCapture second;
  ASSERT_TRUE(second.ok()) << second.error();
  EXPECT_EQ(second.text(), "");
  std::fputs("second\n", stderr);
  EXPECT_EQ(second.text(), "second\n");
}

#if defined(_WIN32)
TEST(StderrCapture, UsesTheTempFolderAndSaysSoWhenItCannot) {
  {
    hostkit::StderrCapture err;
    ASSERT_TRUE(err.ok()) << err.error();
    std::fputs("from the program\n", stderr);
    EXPECT_EQ(err.text(), "from the program\n");
  }
  // GetTempPath takes TMP first; a folder that does not exist leaves no
  // file to capture into, and a test that expects silence must then fail.
  char saved[MAX_PATH] = "";
  const DWORD hadTmp = GetEnvironmentVariableA("TMP", saved, MAX_PATH);
  SetEnvironmentVariableA("TMP",
                          (std::filesystem::current_path() / "no-such-folder").string().c_str());
  {
    hostkit::StderrCapture err;
    EXPECT_FALSE(err.ok());
    EXPECT_NE(err.error().find("GetTempFileName"), std::string::npos) << err.error();
    EXPECT_NE(err.text(), "");
  }
  SetEnvironmentVariableA("TMP", hadTmp != 0 ? saved : nullptr);
}
#endif

}  // namespace
