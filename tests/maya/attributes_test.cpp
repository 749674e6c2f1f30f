// The node's attribute set as Maya users and scene files see it, checked
// against a table written here from the node's documented vocabulary.
#include <maya/MFnNumericData.h>

#include <optional>
#include <string>
#include <vector>

#include "plugin_fixture.h"

namespace {

using mayahost::ValueType;

constexpr ValueType F = ValueType::kFloat;
constexpr ValueType B = ValueType::kBool;
constexpr ValueType F3 = ValueType::kFloat3;
constexpr ValueType A = ValueType::kAddress;
constexpr ValueType LD = ValueType::kCompound;

// Flags as letters: Keyable, Storable, Readable, Writable, Hidden, usedAsColor,
// Array. The host's own defaults are storable, readable and writable.
struct Row {
  const char* name;
  const char* shortName;
  ValueType type;
  const char* parent;
  double createDefault;
  std::vector<double> setDefault;  // empty: never called
  const char* flags;
  std::optional<double> softMin, softMax;
};

const std::vector<Row>& table() {
  static const std::vector<Row> rows = {
      {"colorR", "cr", F, "color", 0.5, {}, "SRW", {}, {}},
      {"colorG", "cg", F, "color", 0.5, {}, "SRW", {}, {}},
      {"colorB", "cb", F, "color", 0.5, {}, "SRW", {}, {}},
      {"color", "c", F3, "", 0, {0.5, 0.5, 0.5}, "KSRWC", {}, {}},
      {"transparencyR", "itr", F, "transparency", 0, {}, "SRW", {}, {}},
      {"transparencyG", "itg", F, "transparency", 0, {}, "SRW", {}, {}},
      {"transparencyB", "itb", F, "transparency", 0, {}, "SRW", {}, {}},
      {"transparency", "it", F3, "", 0, {0, 0, 0}, "KSRWC", {}, {}},
      {"ambientColorR", "ambCR", F, "ambientColor", 0, {}, "SRW", {}, {}},
      {"ambientColorG", "ambCG", F, "ambientColor", 0, {}, "SRW", {}, {}},
      {"ambientColorB", "ambCB", F, "ambientColor", 0, {}, "SRW", {}, {}},
      {"ambientColor", "ambC", F3, "", 0, {0, 0, 0}, "KSRWC", {}, {}},
      {"incandescenceR", "ir", F, "incandescence", 0, {}, "SRW", {}, {}},
      {"incandescenceG", "ig", F, "incandescence", 0, {}, "SRW", {}, {}},
      {"incandescenceB", "ib", F, "incandescence", 0, {}, "SRW", {}, {}},
      {"incandescence", "ic", F3, "", 0, {0, 0, 0}, "KSRWC", {}, {}},
      {"diffuse", "dfl", F, "", 0, {0.8f}, "KSRW", 0.0, 1.0},
      {"translucence", "tsl", F, "", 0, {0.0f}, "KSRW", 0.0, 1.0},
      {"backscatter", "bs", F, "", 0, {0.1f}, "KSRW", 0.0, 1.0},
      {"edginess", "edg", F, "", 0, {10.0f}, "KSRW", 0.0, 50.0},
      {"roughness", "rhg", F, "", 0, {0.2f}, "KSRW", 0.0, 1.0},
      {"specularColorR", "spcr", F, "specularColor", 0.5, {}, "SRW", {}, {}},
      {"specularColorG", "spcg", F, "specularColor", 0.5, {}, "SRW", {}, {}},
      {"specularColorB", "spcb", F, "specularColor", 0.5, {}, "SRW", {}, {}},
      {"specularColor", "spc", F3, "", 0, {0.5, 0.5, 0.5}, "KSRWC", {}, {}},
      {"outColorR", "ocr", F, "outColor", 0, {}, "SRW", {}, {}},
      {"outColorG", "ocg", F, "outColor", 0, {}, "SRW", {}, {}},
      {"outColorB", "ocb", F, "outColor", 0, {}, "SRW", {}, {}},
      {"outColor", "oc", F3, "", 0, {}, "SR", {}, {}},
      {"outTransparencyR", "otr", F, "outTransparency", 0, {}, "SRW", {}, {}},
      {"outTransparencyG", "otg", F, "outTransparency", 0, {}, "SRW", {}, {}},
      {"outTransparencyB", "otb", F, "outTransparency", 0, {}, "SRW", {}, {}},
      {"outTransparency", "ot", F3, "", 0, {}, "SR", {}, {}},
      {"pointCameraX", "px", F, "pointCamera", 1, {}, "SRW", {}, {}},
      {"pointCameraY", "py", F, "pointCamera", 1, {}, "SRW", {}, {}},
      {"pointCameraZ", "pz", F, "pointCamera", 1, {}, "SRW", {}, {}},
      {"pointCamera", "pc", F3, "", 0, {1, 1, 1}, "RWH", {}, {}},
      {"normalCameraX", "nx", F, "normalCamera", 1, {}, "SRW", {}, {}},
      {"normalCameraY", "ny", F, "normalCamera", 1, {}, "SRW", {}, {}},
      {"normalCameraZ", "nz", F, "normalCamera", 1, {}, "SRW", {}, {}},
      {"normalCamera", "n", F3, "", 0, {1, 1, 1}, "RWH", {}, {}},
      {"rayDirectionX", "rdx", F, "rayDirection", 1, {}, "SRW", {}, {}},
      {"rayDirectionY", "rdy", F, "rayDirection", 1, {}, "SRW", {}, {}},
      {"rayDirectionZ", "rdz", F, "rayDirection", 1, {}, "SRW", {}, {}},
      {"rayDirection", "rad", F3, "", 0, {1, 1, 1}, "RWH", {}, {}},
      {"lightDirectionX", "ldx", F, "lightDirection", 0, {1}, "RH", {}, {}},
      {"lightDirectionY", "ldy", F, "lightDirection", 0, {1}, "RH", {}, {}},
      {"lightDirectionZ", "ldz", F, "lightDirection", 0, {1}, "RH", {}, {}},
      {"lightDirection", "ld", F3, "lightDataArray", 0, {1, 1, 1}, "RH", {}, {}},
      {"lightIntensityR", "lir", F, "lightIntensity", 0, {1}, "RH", {}, {}},
      {"lightIntensityG", "lig", F, "lightIntensity", 0, {1}, "RH", {}, {}},
      {"lightIntensityB", "lib", F, "lightIntensity", 0, {1}, "RH", {}, {}},
      {"lightIntensity", "li", F3, "lightDataArray", 0, {1, 1, 1}, "RH", {}, {}},
      {"lightAmbient", "la", B, "lightDataArray", 0, {1}, "RH", {}, {}},
      {"lightDiffuse", "ldf", B, "lightDataArray", 0, {1}, "RH", {}, {}},
      {"lightSpecular", "ls", B, "lightDataArray", 0, {0}, "RH", {}, {}},
      {"lightShadowFraction", "lsf", F, "lightDataArray", 0, {1}, "RH", {}, {}},
      {"preShadowIntensity", "psi", F, "lightDataArray", 0, {1}, "RH", {}, {}},
      {"lightBlindData", "lbld", A, "lightDataArray", 0, {}, "RH", {}, {}},
      {"lightDataArray", "ltd", LD, "", 0, {}, "RWHA", {}, {}},
  };
  return rows;
}

std::string flagsOf(const mayahost::AttributeInfo& a) {
  std::string f;
  if (a.keyable) f += 'K';
  if (a.storable) f += 'S';
  if (a.readable) f += 'R';
  if (a.writable) f += 'W';
  if (a.hidden) f += 'H';
  if (a.usedAsColor) f += 'C';
  if (a.array) f += 'A';
  return f;
}

using AttributeSet = VelvetNodeTest;

TEST_F(AttributeSet, SixtyAttributesInCreationOrder) {
  mayahost::NodeTypeInfo type;
  ASSERT_TRUE(mayahost::nodeType("velvet", &type).ok());
  std::vector<std::string> expected;
  for (const Row& r : table()) expected.push_back(r.name);
  EXPECT_EQ(type.attributes, expected);
}

TEST_F(AttributeSet, EachAttributeMatchesTheTable) {
  for (const Row& r : table()) {
    SCOPED_TRACE(r.name);
    mayahost::AttributeInfo a;
    ASSERT_TRUE(mayahost::attribute("velvet", r.name, &a).ok());
    EXPECT_EQ(a.shortName, r.shortName);
    EXPECT_EQ(a.type, r.type);
    EXPECT_EQ(a.parent, r.parent);
    EXPECT_EQ(flagsOf(a), r.flags);
    // Defaults passed to create are doubles; setDefault takes floats, so
    // 0.8 must arrive as the float nearest to it, not as the double.
    EXPECT_EQ(a.createDefault, r.createDefault);
    EXPECT_EQ(a.defaultValue, r.setDefault);
    EXPECT_EQ(a.softMin, r.softMin);
    EXPECT_EQ(a.softMax, r.softMax);
    EXPECT_FALSE(a.min.has_value());
    EXPECT_FALSE(a.max.has_value());
    // By name: kFloat's number differs between devkits (kInt64 before it).
    if (r.type == F) {
      EXPECT_EQ(a.numericType, MFnNumericData::kFloat);
    } else if (r.type == B) {
      EXPECT_EQ(a.numericType, MFnNumericData::kBoolean);
    }
  }
}

TEST_F(AttributeSet, CompoundsHaveTheirChildrenInOrder) {
  mayahost::AttributeInfo a;
  ASSERT_TRUE(mayahost::attribute("velvet", "specularColor", &a).ok());
  EXPECT_EQ(a.children,
            (std::vector<std::string>{"specularColorR", "specularColorG", "specularColorB"}));
  ASSERT_TRUE(mayahost::attribute("velvet", "lightDataArray", &a).ok());
  EXPECT_EQ(a.children,
            (std::vector<std::string>{"lightDirection", "lightIntensity", "lightAmbient",
                                      "lightDiffuse", "lightSpecular", "lightShadowFraction",
                                      "preShadowIntensity", "lightBlindData"}));
}

TEST_F(AttributeSet, LightDataDefaultIsAnUnlitDiffuseAmbientLight) {
  mayahost::AttributeInfo a;
  ASSERT_TRUE(mayahost::attribute("velvet", "lightDataArray", &a).ok());
  ASSERT_TRUE(a.lightDataDefault.has_value());
  const mayahost::LightDataDefault& d = *a.lightDataDefault;
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(d.direction[k], 0.0f);
    EXPECT_EQ(d.intensity[k], 0.0f);
  }
  EXPECT_TRUE(d.ambient);
  EXPECT_TRUE(d.diffuse);
  EXPECT_FALSE(d.specular);
  EXPECT_EQ(d.shadowFraction, 1.0f);
  EXPECT_EQ(d.preShadowIntensity, 1.0f);
  EXPECT_EQ(d.blindData, nullptr);
}

TEST_F(AttributeSet, AddsTwentyFourAttributesInOrder) {
  mayahost::NodeTypeInfo type;
  ASSERT_TRUE(mayahost::nodeType("velvet", &type).ok());
  EXPECT_EQ(type.added, (std::vector<std::string>{"color",
                                                  "transparency",
                                                  "ambientColor",
                                                  "incandescence",
                                                  "diffuse",
                                                  "translucence",
                                                  "roughness",
                                                  "edginess",
                                                  "backscatter",
                                                  "specularColor",
                                                  "outColor",
                                                  "outTransparency",
                                                  "rayDirection",
                                                  "pointCamera",
                                                  "normalCamera",
                                                  "lightDirection",
                                                  "lightIntensity",
                                                  "lightAmbient",
                                                  "lightDiffuse",
                                                  "lightSpecular",
                                                  "lightShadowFraction",
                                                  "preShadowIntensity",
                                                  "lightBlindData",
                                                  "lightDataArray"}));
}

const std::vector<std::string> kAffectsOutColor = {"transparencyR",
                                                   "transparencyG",
                                                   "transparencyB",
                                                   "transparency",
                                                   "diffuse",
                                                   "translucence",
                                                   "backscatter",
                                                   "edginess",
                                                   "roughness",
                                                   "specularColorR",
                                                   "specularColorG",
                                                   "specularColorB",
                                                   "specularColor",
                                                   "lightIntensityR",
                                                   "lightIntensityB",
                                                   "lightIntensityG",
                                                   "lightIntensity",
                                                   "rayDirectionX",
                                                   "rayDirectionY",
                                                   "rayDirectionZ",
                                                   "rayDirection",
                                                   "pointCamera",
                                                   "pointCameraX",
                                                   "pointCameraY",
                                                   "pointCameraZ",
                                                   "normalCameraX",
                                                   "normalCameraY",
                                                   "normalCameraZ",
                                                   "normalCamera",
                                                   "lightDirectionX",
                                                   "lightDirectionY",
                                                   "lightDirectionZ",
                                                   "lightDirection",
                                                   "lightAmbient",
                                                   "lightSpecular",
                                                   "lightDiffuse",
                                                   "lightShadowFraction",
                                                   "preShadowIntensity",
                                                   "lightBlindData",
                                                   "lightDataArray"};

TEST_F(AttributeSet, DeclaresTheFiftySixAffectsPairsInOrder) {
  std::vector<std::pair<std::string, std::string>> expected;
  for (const char* in :
       {"colorR", "colorG", "colorB", "color", "ambientColorR", "ambientColorG", "ambientColorB",
        "ambientColor", "incandescenceR", "incandescenceG", "incandescenceB", "incandescence"}) {
    expected.emplace_back(in, "outColor");
  }
  for (const char* in : {"transparencyR", "transparencyG", "transparencyB", "transparency"}) {
    expected.emplace_back(in, "outTransparency");
  }
  for (const std::string& in : kAffectsOutColor) expected.emplace_back(in, "outColor");
  mayahost::NodeTypeInfo type;
  ASSERT_TRUE(mayahost::nodeType("velvet", &type).ok());
  EXPECT_EQ(type.affects, expected);
}

TEST_F(AttributeSet, NewNodeHoldsTheDefaults) {
  EXPECT_EQ(get("color"), (std::vector<float>{0.5f, 0.5f, 0.5f}));
  EXPECT_EQ(get("transparency"), (std::vector<float>{0, 0, 0}));
  EXPECT_EQ(get("ambientColor"), (std::vector<float>{0, 0, 0}));
  EXPECT_EQ(get("incandescence"), (std::vector<float>{0, 0, 0}));
  EXPECT_EQ(get("diffuse"), std::vector<float>{0.8f});
  EXPECT_EQ(get("translucence"), std::vector<float>{0.0f});
  EXPECT_EQ(get("backscatter"), std::vector<float>{0.1f});
  EXPECT_EQ(get("edginess"), std::vector<float>{10.0f});
  EXPECT_EQ(get("roughness"), std::vector<float>{0.2f});
  EXPECT_EQ(get("specularColor"), (std::vector<float>{0.5f, 0.5f, 0.5f}));
  EXPECT_EQ(node.arraySize("lightDataArray"), 0u);
}

// Sets any input of the affects table to a new value, by its plug name.
void touch(mayahost::Node& node, const std::string& name) {
  mayahost::AttributeInfo a;
  ASSERT_TRUE(mayahost::attribute("velvet", name, &a).ok());
  std::string plug = name;
  bool inLight = a.parent == "lightDataArray";
  if (!inLight && !a.parent.empty()) {
    mayahost::AttributeInfo p;
    ASSERT_TRUE(mayahost::attribute("velvet", a.parent, &p).ok());
    inLight = p.parent == "lightDataArray";
  }
  if (inLight) plug = "lightDataArray[0]." + name;
  mayahost::Status s;
  switch (a.type) {
    case ValueType::kFloat3:
      s = node.set(plug, {0.25f, 0.5f, 0.75f});
      break;
    case ValueType::kBool:
      s = node.set(plug, {1.0f});
      break;
    case ValueType::kFloat:
      s = node.set(plug, {0.375f});
      break;
    default:
      s = node.resizeArray("lightDataArray", 2);  // the array itself
  }
  if (name == "lightBlindData") s = node.resizeArray("lightDataArray", 3);
  ASSERT_TRUE(s.ok()) << s.message();
}

TEST_F(AttributeSet, TransparencyDirtiesBothOutputsEverythingElseOnlyOutColor) {
  std::vector<std::string> inputs = {"colorR", "color", "ambientColorB", "incandescence"};
  inputs.insert(inputs.end(), kAffectsOutColor.begin(), kAffectsOutColor.end());
  for (const std::string& in : inputs) {
    SCOPED_TRACE(in);
    get("outColor");
    get("outTransparency");
    bool colorDirty = true, transparencyDirty = true;
    ASSERT_TRUE(node.isDirty("outColor", &colorDirty).ok());
    ASSERT_TRUE(node.isDirty("outTransparency", &transparencyDirty).ok());
    ASSERT_FALSE(colorDirty);
    ASSERT_FALSE(transparencyDirty);
    touch(node, in);
    ASSERT_TRUE(node.isDirty("outColor", &colorDirty).ok());
    ASSERT_TRUE(node.isDirty("outTransparency", &transparencyDirty).ok());
    EXPECT_TRUE(colorDirty);
    EXPECT_EQ(transparencyDirty, in.rfind("transparency", 0) == 0);
  }
}

}  // namespace
