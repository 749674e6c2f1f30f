// The plug-in in Viewport 2.0, built for API 201400 or later: it registers
// its override and withdraws it, registers its fragments lazily when the
// viewport first draws a node, and leaves the node working in software when
// anything of that fails, with one report.
#include <gtest/gtest.h>
#include <hostkit/stderr_capture.h>
#include <maya/MDrawRegistry.h>
#include <maya/MFragmentManager.h>
#include <maya/MViewport2Renderer.h>
#include <mayahost/node.h>
#include <mayahost/plugin.h>
#include <mayahost/testing.h>
#include <mayahost/viewport.h>
#include <mayahost/viewport_testing.h>

#include <string>
#include <vector>

#include "fragment_files.h"

namespace {

using mayahost::viewport::buildShader;
using mayahost::viewport::fragmentNames;
using mayahost::viewport::Shader;

std::vector<std::string> pluginFragmentNames() {
  std::vector<std::string> out;
  for (const auto& f : viewport_test::fragmentFiles()) out.push_back(f.name);
  return out;
}

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++n;
  }
  return n;
}

class ViewportOverride : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!mayahost::viewport::canReadFragments()) GTEST_SKIP() << "built without pugixml";
    mayahost::viewport::setRendererUp(true);
    mayahost::viewport::refuseFragmentRegistration(0);
    mayahost::clearFaults();
  }
  void TearDown() override {
    node.destroy();
    if (plugin.loaded()) plugin.unload();
    mayahost::viewport::setRendererUp(true);
    mayahost::viewport::refuseFragmentRegistration(0);
  }
  void load() {
    ASSERT_TRUE(plugin.load(VELVET_PLUGIN_PATH).ok());
    ASSERT_TRUE(node.create("velvet").ok());
  }
  mayahost::Plugin plugin;
  mayahost::Node node;
};

TEST_F(ViewportOverride, LoadRegistersTheOverrideAndUnloadWithdrawsIt) {
  load();
  const auto registrations = mayahost::viewport::overrideRegistrations();
  ASSERT_EQ(registrations.size(), 1u);
  EXPECT_EQ(registrations[0].drawClassification, "drawdb/shader/surface/velvet");
  EXPECT_FALSE(registrations[0].registrantId.empty());
  mayahost::NodeTypeInfo type;
  ASSERT_TRUE(mayahost::nodeType("velvet", &type).ok());
  EXPECT_EQ(type.classification, "shader/surface:drawdb/shader/surface/velvet");
  node.destroy();
  ASSERT_TRUE(plugin.unload().ok());
  EXPECT_TRUE(mayahost::viewport::overrideRegistrations().empty());
}

TEST_F(ViewportOverride, FragmentsAreRegisteredOnFirstDrawLeavesFirstAndRemovedAtUnload) {
  load();
  EXPECT_TRUE(fragmentNames().empty());  // nothing before Viewport 2.0 asks
  Shader shader;
  const mayahost::Status st = buildShader(node, MHWRender::kOpenGLCoreProfile, &shader);
  ASSERT_TRUE(st.ok()) << st.message();
  EXPECT_EQ(fragmentNames(), pluginFragmentNames());
  ASSERT_TRUE(buildShader(node, MHWRender::kOpenGLCoreProfile, &shader).ok());
  EXPECT_EQ(fragmentNames().size(), pluginFragmentNames().size());  // once only
  node.destroy();
  ASSERT_TRUE(plugin.unload().ok());
  EXPECT_TRUE(fragmentNames().empty());
}

TEST_F(ViewportOverride, TheOverrideNamesItsGraphParametersAndBump) {
  load();
  ASSERT_TRUE(node.set("color", {0.1f, 0.2f, 0.3f}).ok());
  ASSERT_TRUE(node.set("edginess", {4.0f}).ok());
  Shader shader;
  ASSERT_TRUE(buildShader(node, MHWRender::kOpenGLCoreProfile, &shader).ok());
  EXPECT_EQ(shader.drawApis, static_cast<int>(MHWRender::kAllDevices));
  EXPECT_EQ(shader.fragmentName, "velvetSurface");
  EXPECT_EQ(shader.primaryColorParameter, "color");
  EXPECT_EQ(shader.transparencyParameter, "transparency");
  EXPECT_EQ(shader.bumpAttribute, "normalCamera");
  EXPECT_TRUE(shader.bumpReachesNw);
  EXPECT_EQ(shader.outputs,
            (std::vector<std::string>{"outColor", "outTransparency", "outSurfaceFinal"}));
  // Every material attribute reaches the graph under its own name.
  const std::vector<std::string> attributes = {
      "color",        "transparency", "ambientColor", "incandescence", "diffuse",
      "translucence", "backscatter",  "edginess",     "roughness",     "specularColor"};
  ASSERT_EQ(shader.uniforms.size(), attributes.size());
  for (const auto& u : shader.uniforms) {
    EXPECT_EQ(u.attribute, u.parameter);
    EXPECT_NE(std::find(attributes.begin(), attributes.end(), u.parameter), attributes.end());
    std::vector<float> value;
    ASSERT_TRUE(node.get(u.attribute, &value).ok());
    EXPECT_EQ(u.value, value) << u.parameter;
  }
}

TEST_F(ViewportOverride, EveryDrawApiGetsItsLanguage) {
  load();
  const std::pair<MHWRender::DrawAPI, const char*> apis[] = {
      {MHWRender::kOpenGL, "GLSL"},
      {MHWRender::kOpenGLCoreProfile, "GLSL"},
      {MHWRender::kDirectX11, "HLSL"}};
  for (const auto& [api, language] : apis) {
    Shader shader;
    const mayahost::Status st = buildShader(node, api, &shader);
    ASSERT_TRUE(st.ok()) << st.message();
    EXPECT_EQ(shader.language, language);
    EXPECT_FALSE(shader.source.empty());
  }
}

TEST_F(ViewportOverride, BeforeViewport2IsUpTheNodeDrawsWithoutItsLookAndSaysSoOnce) {
  mayahost::viewport::setRendererUp(false);
  hostkit::StderrCapture err;
  load();
  Shader shader;
  EXPECT_FALSE(buildShader(node, MHWRender::kOpenGLCoreProfile, &shader).ok());
  EXPECT_FALSE(buildShader(node, MHWRender::kOpenGLCoreProfile, &shader).ok());
  // The software path is untouched.
  ASSERT_TRUE(node.set("lightDataArray[0].lightIntensity", {1, 1, 1}).ok());
  std::vector<float> color;
  ASSERT_TRUE(node.get("outColor", &color).ok());
  EXPECT_GT(color[0], 0.0f);
  // Once Viewport 2.0 is up, the next draw registers them.
  mayahost::viewport::setRendererUp(true);
  const mayahost::Status st = buildShader(node, MHWRender::kOpenGLCoreProfile, &shader);
  EXPECT_TRUE(st.ok()) << st.message();
  EXPECT_EQ(fragmentNames(), pluginFragmentNames());
  const std::string text = err.text();
  EXPECT_EQ(count(text, "API error detected in "), 1) << text;
  EXPECT_NE(text.find("velvetShadingOverride.cpp at line "), std::string::npos) << text;
}

TEST_F(ViewportOverride, ARefusedFragmentLeavesTheNodeInSoftwareWithOneReport) {
  load();
  ASSERT_TRUE(node.set("lightDataArray[0].lightIntensity", {1, 1, 1}).ok());
  std::vector<float> before;
  ASSERT_TRUE(node.get("outColor", &before).ok());
  mayahost::viewport::refuseFragmentRegistration(3);
  hostkit::StderrCapture err;
  Shader shader;
  EXPECT_FALSE(buildShader(node, MHWRender::kOpenGLCoreProfile, &shader).ok());
  const std::string text = err.text();
  EXPECT_EQ(count(text, "API error detected in "), 1) << text;
  EXPECT_NE(text.find("refused"), std::string::npos) << text;
  ASSERT_TRUE(node.set("color", {0.5f, 0.5f, 0.5f}).ok());
  std::vector<float> after;
  ASSERT_TRUE(node.get("outColor", &after).ok());
  EXPECT_EQ(after, before);
  // The next draw tries again, and registers the rest without a report.
  EXPECT_TRUE(buildShader(node, MHWRender::kOpenGLCoreProfile, &shader).ok());
  EXPECT_EQ(fragmentNames(), pluginFragmentNames());
  EXPECT_EQ(err.text(), text);
  node.destroy();
  ASSERT_TRUE(plugin.unload().ok());
  EXPECT_TRUE(fragmentNames().empty());  // what it did register, it removed
}

TEST_F(ViewportOverride, UnloadLeavesOtherPluginsFragments) {
  MHWRender::MFragmentManager* manager = MHWRender::MRenderer::theRenderer()->getFragmentManager();
  ASSERT_NE(manager, nullptr);
  const std::string other =
      viewport_test::edited(viewport_test::fragmentFile("velvetFloatPassThrough"),
                            "name=\"velvetFloatPassThrough\"", "name=\"otherPassThrough\"");
  ASSERT_EQ(std::string(manager->addShadeFragmentFromBuffer(other.c_str(), false).asChar()),
            "otherPassThrough");
  load();
  Shader shader;
  ASSERT_TRUE(buildShader(node, MHWRender::kOpenGLCoreProfile, &shader).ok());
  node.destroy();
  ASSERT_TRUE(plugin.unload().ok());
  EXPECT_EQ(fragmentNames(), std::vector<std::string>{"otherPassThrough"});
  EXPECT_TRUE(manager->removeFragment("otherPassThrough"));
}

TEST_F(ViewportOverride, AStructMemberThatIsNoNodeOutputIsRefused) {
  // The structure registered first, with a member the node lacks: the
  // plug-in finds the name taken and its graph uses this one.
  MHWRender::MFragmentManager* manager = MHWRender::MRenderer::theRenderer()->getFragmentManager();
  std::string structure = viewport_test::fragmentFile("velvetSurfaceOutput");
  structure =
      viewport_test::edited(structure, "<float4 name=\"outSurfaceFinal\" />",
                            "<float4 name=\"outSurfaceFinal\" /><float name=\"outGlow\" />");
  ASSERT_FALSE(
      std::string(manager->addShadeFragmentFromBuffer(structure.c_str(), false).asChar()).empty());
  load();
  Shader shader;
  const mayahost::Status st = buildShader(node, MHWRender::kOpenGLCoreProfile, &shader);
  EXPECT_FALSE(st.ok());
  EXPECT_NE(st.message().find("member 'outGlow', which matches no output of node type 'velvet'"),
            std::string::npos)
      << st.message();
  node.destroy();
  plugin.unload();
  EXPECT_TRUE(manager->removeFragment("velvetSurfaceOutput"));  // not the plug-in's to remove
}

TEST_F(ViewportOverride, AFailedOverrideRegistrationIsReportedAndTheNodeStillLoads) {
  // Another registrant holds the classification.
  auto creator = [](const MObject&) -> MHWRender::MPxSurfaceShadingNodeOverride* {
    return nullptr;
  };
  ASSERT_EQ(MHWRender::MDrawRegistry::registerSurfaceShadingNodeOverrideCreator(
                "drawdb/shader/surface/velvet", "someoneElse", creator),
            MStatus::kSuccess);
  hostkit::StderrCapture err;
  load();
  EXPECT_EQ(plugin.initializeResult(), MStatus::kSuccess);
  std::vector<float> color;
  EXPECT_TRUE(node.get("outColor", &color).ok());
  node.destroy();
  ASSERT_TRUE(plugin.unload().ok());
  const std::string text = err.text();
  // Once at load, once at unload (it never held the registration).
  EXPECT_EQ(count(text, "API error detected in "), 2) << text;
  EXPECT_NE(text.find("pluginMain.cpp at line "), std::string::npos) << text;
  EXPECT_EQ(MHWRender::MDrawRegistry::deregisterSurfaceShadingNodeOverrideCreator(
                "drawdb/shader/surface/velvet", "someoneElse"),
            MStatus::kSuccess);
}

TEST(DrawRegistry, RefusesWhatMayaRefuses) {
  auto creator = [](const MObject&) -> MHWRender::MPxSurfaceShadingNodeOverride* {
    return nullptr;
  };
  using MHWRender::MDrawRegistry;
  EXPECT_EQ(MDrawRegistry::registerSurfaceShadingNodeOverrideCreator("drawdb/shader/velvet", "a",
                                                                     creator),
            MStatus::kInvalidParameter);  // a surface shader's starts drawdb/shader/surface
  EXPECT_EQ(MDrawRegistry::registerSurfaceShadingNodeOverrideCreator("drawdb/shader/surface/x", "",
                                                                     creator),
            MStatus::kInvalidParameter);
  EXPECT_EQ(MDrawRegistry::registerSurfaceShadingNodeOverrideCreator("drawdb/shader/surface/x", "a",
                                                                     nullptr),
            MStatus::kInvalidParameter);
  EXPECT_EQ(
      MDrawRegistry::deregisterSurfaceShadingNodeOverrideCreator("drawdb/shader/surface/x", "a"),
      MStatus::kInvalidParameter);  // unknown
}

}  // namespace
