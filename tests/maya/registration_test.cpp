// Loading, registering and unloading the plug-in as Maya does, including
// host calls that fail and what the plug-in reports for them.
#include <gtest/gtest.h>
#include <hostkit/stderr_capture.h>
#include <maya/MPxNode.h>
#include <maya/MTypes.h>
#include <mayahost/node.h>
#include <mayahost/plugin.h>
#include <mayahost/testing.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <dlfcn.h>
#endif

namespace {

// Built for API 201400 or later, the node is also drawn in Viewport 2.0 by
// the override registered under the drawdb part.
#if MAYA_API_VERSION >= 201400
const std::string kClassification = "shader/surface:drawdb/shader/surface/velvet";
#else
const std::string kClassification = "shader/surface";
#endif
const std::string kRefresh =
    "if( `window -exists createRenderNodeWindow` )  "
    "{refreshCreateRenderNodeWindow(\"" +
    kClassification + "\");}\n";

class Registration : public ::testing::Test {
 protected:
  void SetUp() override {
    mayahost::clearFaults();
    mayahost::clearCommandLog();
  }
  void TearDown() override { mayahost::clearFaults(); }
};

TEST_F(Registration, LoadRegistersTheTypeAndRefreshesTheWindow) {
  mayahost::setCreateRenderNodeWindowOpen(true);
  mayahost::Plugin plugin;
  ASSERT_TRUE(plugin.load(VELVET_PLUGIN_PATH).ok());
  EXPECT_EQ(plugin.initializeResult(), MStatus::kSuccess);
  EXPECT_EQ(plugin.apiVersion(), std::to_string(MAYA_API_VERSION));
  ASSERT_EQ(plugin.functionSets().size(), 1u);
  EXPECT_FALSE(plugin.functionSets()[0].vendor.empty());
  EXPECT_EQ(plugin.functionSets()[0].version, "1.0");
  EXPECT_EQ(plugin.functionSets()[0].requiredApiVersion, "Any");

  mayahost::NodeTypeInfo type;
  ASSERT_TRUE(mayahost::nodeType("velvet", &type).ok());
  EXPECT_EQ(type.id, 0x85124u);
  EXPECT_EQ(type.classification, kClassification);
  EXPECT_EQ(type.kind, MPxNode::kDependNode);
  EXPECT_EQ(type.initializeResult, MStatus::kSuccess);

  ASSERT_EQ(mayahost::commandLog().size(), 1u);
  EXPECT_EQ(mayahost::commandLog()[0].command, kRefresh);
  EXPECT_FALSE(mayahost::commandLog()[0].displayEnabled);
  EXPECT_FALSE(mayahost::commandLog()[0].undoEnabled);
  EXPECT_EQ(mayahost::renderNodeWindowRefreshes(), std::vector<std::string>{kClassification});

  ASSERT_TRUE(plugin.unload().ok());
  EXPECT_EQ(plugin.uninitializeResult(), MStatus::kSuccess);
  ASSERT_EQ(plugin.functionSets().size(), 2u);
  EXPECT_EQ(plugin.functionSets()[1].vendor, "Unknown");
  EXPECT_EQ(plugin.functionSets()[1].version, "Unknown");
  EXPECT_EQ(plugin.functionSets()[1].requiredApiVersion, "Any");
  ASSERT_EQ(mayahost::commandLog().size(), 2u);
  EXPECT_EQ(mayahost::commandLog()[1].command, kRefresh);
  EXPECT_EQ(mayahost::renderNodeWindowRefreshes().size(), 2u);
  EXPECT_FALSE(mayahost::nodeType("velvet", &type).ok());
}

TEST_F(Registration, ClosedWindowIsNotRefreshed) {
  mayahost::setCreateRenderNodeWindowOpen(false);
  mayahost::Plugin plugin;
  ASSERT_TRUE(plugin.load(VELVET_PLUGIN_PATH).ok());
  ASSERT_TRUE(plugin.unload().ok());
  EXPECT_EQ(plugin.initializeResult(), MStatus::kSuccess);
  EXPECT_EQ(plugin.uninitializeResult(), MStatus::kSuccess);
  EXPECT_EQ(mayahost::commandLog().size(), 2u);
  EXPECT_TRUE(mayahost::renderNodeWindowRefreshes().empty());
}

TEST_F(Registration, FailedRegistrationStillRunsTheCommandAndSucceeds) {
  mayahost::failCall(mayahost::Op::kRegisterNode, 1);
  mayahost::failCall(mayahost::Op::kExecuteCommand, 1);
  hostkit::StderrCapture err;
  mayahost::Plugin plugin;
  ASSERT_TRUE(plugin.load(VELVET_PLUGIN_PATH).ok());
  EXPECT_EQ(plugin.initializeResult(), MStatus::kSuccess);
  EXPECT_EQ(mayahost::commandLog().size(), 1u);
  mayahost::NodeTypeInfo type;
  EXPECT_FALSE(mayahost::nodeType("velvet", &type).ok());

  mayahost::failCall(mayahost::Op::kDeregisterNode, 1);
  ASSERT_TRUE(plugin.unload().ok());
  EXPECT_EQ(plugin.uninitializeResult(), MStatus::kSuccess);
  EXPECT_EQ(mayahost::commandLog().size(), 2u);
  EXPECT_EQ(err.text(), "");  // registration writes no message
}

TEST_F(Registration, FailedDeregistrationStillRunsTheCommandAndSucceeds) {
  mayahost::Plugin plugin;
  ASSERT_TRUE(plugin.load(VELVET_PLUGIN_PATH).ok());
  mayahost::failCall(mayahost::Op::kDeregisterNode, 1);
  ASSERT_TRUE(plugin.unload().ok());
  EXPECT_EQ(plugin.uninitializeResult(), MStatus::kSuccess);
  EXPECT_EQ(mayahost::commandLog().size(), 2u);
  EXPECT_EQ(mayahost::commandLog()[1].command, kRefresh);
}

TEST_F(Registration, HostRefusesASecondTypeOfTheSameNameAndId) {
  // A copy of the library is a second plug-in registering the same type.
  const std::filesystem::path original = VELVET_PLUGIN_PATH;
  const std::filesystem::path copy =
      std::filesystem::temp_directory_path() /
      ("velvet_copy_" +
       std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) +
       original.extension().string());
  std::filesystem::copy_file(VELVET_PLUGIN_PATH, copy,
                             std::filesystem::copy_options::overwrite_existing);
  mayahost::Plugin first, second;
  ASSERT_TRUE(first.load(VELVET_PLUGIN_PATH).ok());
  ASSERT_TRUE(second.load(copy.string()).ok());
  EXPECT_EQ(second.initializeResult(), MStatus::kSuccess);  // the failure is not reported
  EXPECT_EQ(mayahost::commandLog().size(), 2u);
  mayahost::Node node;
  EXPECT_TRUE(node.create("velvet").ok());
  node.destroy();
  ASSERT_TRUE(second.unload().ok());
  ASSERT_TRUE(first.unload().ok());
  std::filesystem::remove(copy);
}

// ---- Status reports of initialize --------------------------------------------

// The fifteen light-data attributes, created last: each create is tested,
// then each call made on it.
struct CheckedRow {
  const char* name;
  std::vector<const char*> calls;
};

const std::vector<CheckedRow>& checkedRows() {
  static const std::vector<const char*> flags = {"setStorable(false)", "setHidden(true)",
                                                 "setReadable(true)", "setWritable(false)"};
  auto with = [](std::vector<const char*> v, const char* last) {
    v.push_back(last);
    return v;
  };
  static const std::vector<CheckedRow> rows = {
      {"lightDirectionX", with(flags, "setDefault(1")},
      {"lightDirectionY", with(flags, "setDefault(1")},
      {"lightDirectionZ", with(flags, "setDefault(1")},
      {"lightDirection", with(flags, "setDefault(1")},
      {"lightIntensityR", with(flags, "setDefault(1")},
      {"lightIntensityG", with(flags, "setDefault(1")},
      {"lightIntensityB", with(flags, "setDefault(1")},
      {"lightIntensity", with(flags, "setDefault(1")},
      {"lightAmbient", with(flags, "setDefault(true)")},
      {"lightDiffuse", with(flags, "setDefault(true)")},
      {"lightSpecular", with(flags, "setDefault(false)")},
      {"lightShadowFraction", with(flags, "setDefault(1")},
      {"preShadowIntensity", with(flags, "setDefault(1")},
      {"lightBlindData", flags},
      {"lightDataArray",
       {"setArray(true)", "setStorable(false)", "setHidden(true)", "setDefault("}},
  };
  return rows;
}

// Function-set calls made for the first 45 attributes, before the first
// checked one:
// 45 creates, 4 calls on each of 5 colours, 5 on each of 5 scalars, 3 on each
// of the 2 outputs and the 3 geometry inputs.
constexpr unsigned kUncheckedCalls = 45 + 4 * 5 + 5 * 5 + 3 * 2 + 3 * 3;

std::vector<std::string> sourceLines() {
  std::ifstream in(VELVET_NODE_SOURCE);
  std::vector<std::string> lines(1);  // 1-based
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

std::string reportFor(int line) {
  return "\nAPI error detected in " + std::string(VELVET_NODE_SOURCE) + " at line " +
         std::to_string(line) + "\n: (kFailure): the host operation failed\n";
}

// Loads the plug-in with the n-th function-set call failing; returns stderr.
std::string loadFailing(unsigned n, mayahost::NodeTypeInfo* type) {
  mayahost::clearFaults();
  mayahost::failCall(mayahost::Op::kAttributeCall, n);
  std::string text;
  {
    hostkit::StderrCapture err;
    mayahost::Plugin plugin;
    EXPECT_TRUE(plugin.load(VELVET_PLUGIN_PATH).ok());
    EXPECT_EQ(plugin.initializeResult(), MStatus::kSuccess);
    EXPECT_TRUE(mayahost::nodeType("velvet", type).ok());
    EXPECT_TRUE(plugin.unload().ok());
    text = err.text();
  }
  mayahost::clearFaults();
  return text;
}

int lineOf(const std::string& report) {
  const std::string marker = " at line ";
  const std::size_t at = report.find(marker);
  if (at == std::string::npos) return -1;
  return std::stoi(report.substr(at + marker.size()));
}

TEST(StatusReports, NothingIsReportedWhenEveryCallSucceeds) {
  mayahost::clearFaults();
  hostkit::StderrCapture err;
  mayahost::Plugin plugin;
  ASSERT_TRUE(plugin.load(VELVET_PLUGIN_PATH).ok());
  EXPECT_EQ(err.text(), "");
  unsigned calls = kUncheckedCalls;
  for (const CheckedRow& r : checkedRows()) calls += 1 + static_cast<unsigned>(r.calls.size());
  EXPECT_EQ(mayahost::callCount(mayahost::Op::kAttributeCall), calls);
}

TEST(StatusReports, UncheckedRowsReportNothing) {
  mayahost::NodeTypeInfo type;
  for (unsigned n : {1u, 4u, 30u, kUncheckedCalls}) {
    EXPECT_EQ(loadFailing(n, &type), "") << n;
    EXPECT_EQ(type.initializeResult, MStatus::kSuccess);
  }
}

TEST(StatusReports, EachFailedCallIsReportedAtItsOwnLineAndDeclarationGoesOn) {
  const std::vector<std::string> source = sourceLines();
  ASSERT_GT(source.size(), 100u) << "cannot read " << VELVET_NODE_SOURCE;
  unsigned n = kUncheckedCalls;
  int previous = 0;
  int tests = 0;
  for (const CheckedRow& row : checkedRows()) {
    for (std::size_t k = 0; k <= row.calls.size(); ++k) {
      ++n;
      ++tests;
      SCOPED_TRACE(std::string(row.name) +
                   (k == 0 ? " create" : std::string(" ") + row.calls[k - 1]));
      mayahost::NodeTypeInfo type;
      const std::string text = loadFailing(n, &type);
      const int line = lineOf(text);
      ASSERT_GT(line, previous);
      ASSERT_LT(static_cast<std::size_t>(line), source.size());
      previous = line;
      std::string code = source[static_cast<std::size_t>(line)];
      if (!code.empty() && code.back() == '(') code += source[line + 1];  // a wrapped call
      EXPECT_NE(code.find("VELVET_CHECK("), std::string::npos) << code;
      if (k == 0) {
        // The create's own status, tested right after the create.
        EXPECT_NE(code.find("(status)"), std::string::npos) << code;
        const std::string before = source[line - 1] + source[line - 2] + source[line - 3];
        EXPECT_NE(before.find(std::string("\"") + row.name + "\""), std::string::npos);
        EXPECT_EQ(text.rfind(reportFor(line), 0), 0u) << text;
      } else {
        EXPECT_NE(code.find(row.calls[k - 1]), std::string::npos) << code;
        // Exactly one report, and everything else still declared.
        EXPECT_EQ(text, reportFor(line));
        EXPECT_EQ(type.attributes.size(), 60u);
        EXPECT_EQ(type.added.size(), 24u);
        EXPECT_EQ(type.affects.size(), 56u);
      }
    }
  }
  EXPECT_EQ(tests, 88);
}

TEST(StatusReports, AFailedCreateLeavesTheLaterAttributesDeclared) {
  // preShadowIntensity's create fails: the later blind data is still made and
  // added, and every affects pair that does not need the lost handle is made.
  unsigned n = kUncheckedCalls;
  for (const CheckedRow& r : checkedRows()) {
    if (std::string(r.name) == "preShadowIntensity") break;
    n += 1 + static_cast<unsigned>(r.calls.size());
  }
  mayahost::NodeTypeInfo type;
  const std::string text = loadFailing(n + 1, &type);
  EXPECT_NE(text.find("API error detected in"), std::string::npos);
  EXPECT_NE(std::find(type.attributes.begin(), type.attributes.end(), "lightBlindData"),
            type.attributes.end());
  EXPECT_NE(std::find(type.added.begin(), type.added.end(), "lightBlindData"), type.added.end());
  EXPECT_EQ(type.initializeResult, MStatus::kSuccess);
  EXPECT_GE(type.affects.size(), 54u);
}

// ---- Lifecycle -----------------------------------------------------------------

TEST(Lifecycle, StaticsAreDestroyedAfterUninitializeInReverseOrder) {
  // Construction order is definition order in the source (velvet::id
  // first); unloading (dlclose, FreeLibrary) must undo it exactly backwards.
  std::vector<std::string> expected;
  for (const std::string& line : sourceLines()) {
    const std::string head = "MObject velvet::a";
    if (line.rfind(head, 0) != 0 || line.back() != ';') continue;
    std::string name = line.substr(head.size(), line.size() - head.size() - 1);
    name[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(name[0])));
    expected.insert(expected.begin(), "~MObject " + name);
  }
  ASSERT_EQ(expected.size(), 60u) << "cannot read the handles from " << VELVET_NODE_SOURCE;
  expected.insert(expected.begin(), "uninitializePlugin returned");
  expected.push_back("~MTypeId 545060");

  mayahost::Plugin plugin;
  ASSERT_TRUE(plugin.load(VELVET_PLUGIN_PATH).ok());
  ASSERT_TRUE(plugin.unload().ok());
  EXPECT_EQ(plugin.unloadEvents(), expected);
}

TEST(Lifecycle, LoadsAndUnloadsManyTimes) {
  // Under AddressSanitizer a leak in any round shows at exit.
  for (int round = 0; round < 40; ++round) {
    mayahost::Plugin plugin;
    ASSERT_TRUE(plugin.load(VELVET_PLUGIN_PATH).ok()) << round;
    mayahost::Node node;
    ASSERT_TRUE(node.create("velvet").ok());
    ASSERT_TRUE(node.set("lightDataArray[1].lightIntensity", {1, 1, 1}).ok());
    std::vector<float> color;
    ASSERT_TRUE(node.get("outColor", &color).ok());
    EXPECT_FALSE(plugin.unload().ok());  // a node still exists
    node.destroy();
    ASSERT_TRUE(plugin.unload().ok());
  }
}

TEST(Lifecycle, NodesComeFromTheCreatorAndAreMultiProcessorSafe) {
  mayahost::Plugin plugin;
  ASSERT_TRUE(plugin.load(VELVET_PLUGIN_PATH).ok());
  mayahost::clearFaults();
  mayahost::Node a, b;
  ASSERT_TRUE(a.create("velvet").ok());
  ASSERT_TRUE(b.create("velvet").ok());
  EXPECT_NE(a.instance(), b.instance());
  EXPECT_TRUE(a.isMPSafe());
  EXPECT_TRUE(b.isMPSafe());
#if MAYA_API_VERSION >= 20180000
  // The current way, without the deprecated call.
  EXPECT_EQ(static_cast<const MPxNode*>(a.instance())->schedulingType(), MPxNode::kParallel);
  EXPECT_EQ(mayahost::callCount(mayahost::Op::kSetMPSafe), 0u);
#else
  // postConstructor's setMPSafe(true), once per node.
  EXPECT_EQ(mayahost::callCount(mayahost::Op::kSetMPSafe), 2u);
#endif
}

// MApiVersion comes with <maya/MFnPlugin.h> into the plug-in itself. The
// host's libraries must not export one: the host would find theirs through
// the plug-in's dependencies when the plug-in lacks its own.
TEST(Lifecycle, ApiVersionIsDefinedInThePluginItself) {
#if !defined(_WIN32)
  EXPECT_EQ(dlsym(RTLD_DEFAULT, "MApiVersion"), nullptr) << "exported by a host library";
#endif
  mayahost::Plugin plugin;
  ASSERT_TRUE(plugin.load(VELVET_PLUGIN_PATH).ok());
  EXPECT_EQ(plugin.apiVersion(), std::to_string(MAYA_API_VERSION));
#if defined(__GLIBC__)
  // The host looks only at the plug-in's own definitions, as GetProcAddress
  // does: MString's constructor is Foundation's, reachable from the plug-in's
  // handle through its dependencies.
#if MAYA_API_VERSION >= 20180000
  const char* const stringConstructor = "_ZN8Autodesk4Maya16OpenMaya202500007MStringC1EPKc";
#else
  const char* const stringConstructor = "_ZN7MStringC1EPKc";
#endif
  ASSERT_NE(dlsym(RTLD_DEFAULT, stringConstructor), nullptr);
  EXPECT_EQ(plugin.symbol(stringConstructor), nullptr);
  Dl_info info;
  ASSERT_NE(dladdr(plugin.symbol("MApiVersion"), &info), 0);
  EXPECT_EQ(std::filesystem::path(info.dli_fname).filename(),
            std::filesystem::path(VELVET_PLUGIN_PATH).filename());
#endif
}

TEST(Lifecycle, ExportsOnlyTheEntryPointsAndTheApiVersion) {
  mayahost::Plugin plugin;
  ASSERT_TRUE(plugin.load(VELVET_PLUGIN_PATH).ok());
  EXPECT_NE(plugin.symbol("initializePlugin"), nullptr);
  EXPECT_NE(plugin.symbol("uninitializePlugin"), nullptr);
  EXPECT_NE(plugin.symbol("MApiVersion"), nullptr);
  EXPECT_EQ(plugin.symbol("_ZN6velvet7computeERK5MPlugR10MDataBlock"), nullptr);
  EXPECT_EQ(plugin.symbol("_ZN6velvet2idE"), nullptr);
  EXPECT_EQ(plugin.symbol("_ZN6velvet7creatorEv"), nullptr);
}

}  // namespace
