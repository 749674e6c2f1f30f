// The stand-in host's driver side: plug names, the errors a tool shows its
// user, and the fast shading path agreeing with ordinary evaluation.
#include <mayahost/shading_block.h>

#include <algorithm>
#include <string>
#include <vector>

#include "plugin_fixture.h"

namespace {

using PlugNames = VelvetNodeTest;

void expectError(const mayahost::Status& s, const std::string& part) {
  EXPECT_FALSE(s.ok());
  EXPECT_NE(s.message().find(part), std::string::npos) << s.message();
}

TEST_F(PlugNames, LongShortAndChildNamesReachTheSameValue) {
  set("cr", {0.25f});
  set("colorG", {0.5f});
  set("color.colorB", {0.75f});
  EXPECT_EQ(get("c"), (std::vector<float>{0.25f, 0.5f, 0.75f}));
  set("ltd[1].li", {1.0f, 2.0f, 3.0f});
  EXPECT_EQ(get("lightDataArray[1].lightIntensityG"), std::vector<float>{2.0f});
  EXPECT_EQ(get("lightDataArray[1].lightIntensity.lightIntensityB"), std::vector<float>{3.0f});
}

TEST_F(PlugNames, NewElementsStartFromTheLightDataDefault) {
  set("lightDataArray[2].lightSpecular", {1.0f});
  EXPECT_EQ(node.arraySize("lightDataArray"), 3u);
  EXPECT_EQ(get("lightDataArray[0].lightDirection"), (std::vector<float>{0, 0, 0}));
  EXPECT_EQ(get("lightDataArray[0].lightIntensity"), (std::vector<float>{0, 0, 0}));
  EXPECT_EQ(get("lightDataArray[0].lightAmbient"), std::vector<float>{1});
  EXPECT_EQ(get("lightDataArray[0].lightDiffuse"), std::vector<float>{1});
  EXPECT_EQ(get("lightDataArray[0].lightSpecular"), std::vector<float>{0});
  EXPECT_EQ(get("lightDataArray[2].lightSpecular"), std::vector<float>{1});
  EXPECT_EQ(get("lightDataArray[0].lightShadowFraction"), std::vector<float>{1});
  EXPECT_EQ(get("lightDataArray[0].preShadowIntensity"), std::vector<float>{1});
}

TEST_F(PlugNames, ErrorsSayWhatIsWrong) {
  expectError(node.set("colour", {1, 1, 1}), "no attribute 'colour'");
  expectError(node.set("color", {1}), "takes 3 values, not 1");
  expectError(node.set("diffuse", {1, 2}), "takes 1 value, not 2");
  expectError(node.set("lightDataArray[0].lightSpecular", {0.5f}), "takes 0 or 1");
  expectError(node.set("lightDataArray[0].lightBlindData", {1}), "address");
  expectError(node.set("lightDataArray[0]", {1}), "compound");
  expectError(node.set("outColor", {1, 1, 1}), "is an output");
  expectError(node.set("outColorR", {1}), "is an output");
  expectError(node.set("lightDataArray.lightIntensity", {1, 1, 1}), "is an array");
  expectError(node.set("color[0]", {1, 1, 1}), "not an array");
  expectError(node.set("lightDataArray[0].colorR", {1}), "not an attribute under");
  expectError(node.set("lightDataArray[x].lightIntensity", {1, 1, 1}), "cannot read plug name");
  expectError(node.set("lightDataArray[99999].lightIntensity", {1, 1, 1}), "too large");
  std::vector<float> v;
  expectError(node.get("lightDataArray[5].lightIntensity", &v), "does not exist");
  // Nothing was changed by the refused calls.
  EXPECT_EQ(get("color"), (std::vector<float>{0.5f, 0.5f, 0.5f}));
  EXPECT_EQ(node.arraySize("lightDataArray"), 0u);
}

TEST_F(PlugNames, SettablePlugsListInputsWithTheirTypes) {
  const std::vector<mayahost::PlugDescription> plugs = node.settablePlugs();
  auto find = [&](const std::string& name) {
    return std::find_if(plugs.begin(), plugs.end(), [&](const auto& p) { return p.name == name; });
  };
  ASSERT_NE(find("color"), plugs.end());
  EXPECT_EQ(find("color")->type, mayahost::ValueType::kFloat3);
  EXPECT_EQ(find("color")->arity, 3u);
  EXPECT_EQ(find("colorR")->arity, 1u);
  ASSERT_NE(find("lightDataArray[i].lightSpecular"), plugs.end());
  EXPECT_EQ(find("lightDataArray[i].lightSpecular")->type, mayahost::ValueType::kBool);
  EXPECT_TRUE(find("normalCamera")->hidden);
  EXPECT_EQ(find("outColor"), plugs.end());
  EXPECT_EQ(find("lightDataArray[i].lightBlindData"), plugs.end());
  // Every listed plug can be set as described.
  for (const mayahost::PlugDescription& p : plugs) {
    std::string name = p.name;
    const std::size_t i = name.find("[i]");
    if (i != std::string::npos) name.replace(i, 3, "[0]");
    const std::vector<float> values(p.arity, 1.0f);
    EXPECT_TRUE(node.set(name, values.data(), values.size()).ok()) << p.name;
  }
}

TEST(PluginLoading, ErrorsSayWhatIsWrong) {
  mayahost::Plugin plugin;
  expectError(plugin.load("/nonexistent/velvet.so"), "/nonexistent/velvet.so");
  EXPECT_FALSE(plugin.loaded());
  ASSERT_TRUE(plugin.load(VELVET_PLUGIN_PATH).ok());
  mayahost::Plugin again;
  expectError(again.load(VELVET_PLUGIN_PATH), "already loaded");
  mayahost::Node node;
  expectError(node.create("lambert"), "no node type 'lambert'");
  expectError(node.set("color", {1, 1, 1}), "no node");
}

// ---- The fast path -------------------------------------------------------------

using FastPath = VelvetNodeTest;

TEST_F(FastPath, MatchesEvaluationThroughTheNode) {
  set("translucence", {0.3f});
  set("transparency", {0.2f, 0.1f, 0.4f});
  set("normalCamera", {0.1f, 0.2f, 0.95f});
  set("rayDirection", {0.2f, 0.1f, -0.97f});
  const mayahost::Light lights[] = {
      {{0.3f, 0.4f, 0.86f}, {1.0f, 0.9f, 0.8f}, true, true, true},
      {{-0.5f, 0.2f, 0.84f}, {0.4f, 0.5f, 0.6f}, false, true, true},
      {{0.1f, -0.9f, 0.4f}, {0.7f, 0.2f, 0.1f}, true, false, false},
  };
  for (int i = 0; i < 3; ++i) {
    const std::string e = "lightDataArray[" + std::to_string(i) + "].";
    const mayahost::Light& l = lights[i];
    set(e + "lightDirection", {l.direction.x, l.direction.y, l.direction.z});
    set(e + "lightIntensity", {l.intensity.x, l.intensity.y, l.intensity.z});
    set(e + "lightAmbient", {l.ambient ? 1.0f : 0.0f});
    set(e + "lightDiffuse", {l.diffuse ? 1.0f : 0.0f});
    set(e + "lightSpecular", {l.specular ? 1.0f : 0.0f});
  }
  const std::vector<float> viaNode = get("outColor");

  mayahost::ShadingBlock block(node, 4);
  EXPECT_EQ(block.maxLights(), 4u);
  ASSERT_EQ(block.compute(), MStatus::kSuccess);  // starts as a copy of the node
  EXPECT_EQ(block.outColor(), MFloatVector(viaNode[0], viaNode[1], viaNode[2]));

  // Filled from scratch through the setters.
  mayahost::ShadingBlock fresh(node, 4);
  fresh.setLightCount(0);
  fresh.setNormal({0.1f, 0.2f, 0.95f});
  fresh.setRayDirection({0.2f, 0.1f, -0.97f});
  fresh.setLightCount(3);
  for (unsigned i = 0; i < 3; ++i) fresh.setLight(i, lights[i]);
  ASSERT_EQ(fresh.compute(), MStatus::kSuccess);
  EXPECT_EQ(fresh.outColor(), block.outColor());
  // Switches set once, vectors per sample.
  mayahost::ShadingBlock vectors(node, 4);
  for (unsigned i = 0; i < 3; ++i) {
    mayahost::Light switches = lights[i];
    switches.direction = switches.intensity = MFloatVector(9.0f, 9.0f, 9.0f);
    vectors.setLight(i, switches);
    vectors.setLightVectors(i, lights[i].direction, lights[i].intensity);
  }
  ASSERT_EQ(vectors.compute(), MStatus::kSuccess);
  EXPECT_EQ(vectors.outColor(), block.outColor());

  ASSERT_EQ(fresh.computeTransparency(), MStatus::kSuccess);
  EXPECT_EQ(fresh.outTransparency(), MFloatVector(0.2f, 0.1f, 0.4f));

  // Slots by name reach any other input.
  const mayahost::ShadingBlock::Slot translucence = fresh.slot("translucence");
  ASSERT_TRUE(translucence.valid());
  EXPECT_EQ(fresh.getFloat(translucence), 0.3f);
  EXPECT_FALSE(fresh.slot("lightIntensity").valid());  // inside the array: use setLight
  EXPECT_FALSE(fresh.slot("nonsense").valid());
}

TEST_F(FastPath, LightCountIsClampedToTheBlocksRoom) {
  mayahost::ShadingBlock block(node, 2);
  block.setLightCount(5);
  block.setLight(7, {});  // ignored: no room
  mayahost::ShadingBlock one(node, 2);
  const mayahost::Light l{{0, 0, 1}, {1, 1, 1}, true, true, false};
  block.setLight(0, l);
  block.setLight(1, l);
  one.setLightCount(2);
  one.setLight(0, l);
  one.setLight(1, l);
  ASSERT_EQ(block.compute(), MStatus::kSuccess);
  ASSERT_EQ(one.compute(), MStatus::kSuccess);
  EXPECT_EQ(block.outColor(), one.outColor());
}

}  // namespace
