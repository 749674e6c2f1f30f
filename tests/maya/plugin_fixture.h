// Loads the velvet plug-in into the stand-in host for one test and creates
// a node; TearDown destroys the node and unloads the library, so each test
// loads it afresh. Under CTest (gtest_discover_tests) each test also runs in
// a process of its own. Running a test program directly runs all its tests
// in one process, where host state the fixture does not reset (the MEL
// command log) carries over from test to test.
#ifndef VELVET_TESTS_MAYA_PLUGIN_FIXTURE_H
#define VELVET_TESTS_MAYA_PLUGIN_FIXTURE_H

#include <gtest/gtest.h>
#include <mayahost/node.h>
#include <mayahost/plugin.h>
#include <mayahost/status.h>
#include <mayahost/testing.h>

#include <string>
#include <vector>

class VelvetNodeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mayahost::clearFaults();
    ASSERT_TRUE(plugin.load(VELVET_PLUGIN_PATH).ok());
    const mayahost::Status s = node.create("velvet");
    ASSERT_TRUE(s.ok()) << s.message();
  }
  void TearDown() override {
    mayahost::clearFaults();
    node.destroy();
    plugin.unload();
  }

  void set(const std::string& plug, std::initializer_list<float> values) {
    const mayahost::Status s = node.set(plug, values);
    ASSERT_TRUE(s.ok()) << s.message();
  }
  std::vector<float> get(const std::string& plug) {
    std::vector<float> v;
    const mayahost::Status s = node.get(plug, &v);
    EXPECT_TRUE(s.ok()) << s.message();
    return v;
  }

  mayahost::Plugin plugin;
  mayahost::Node node;
};

#endif  // VELVET_TESTS_MAYA_PLUGIN_FIXTURE_H
