// The stand-in devkit's two flavours (VELVET_MAYA_STANDIN_API): what a
// plug-in built against each sees of MAYA_API_VERSION, the API namespace, the
// numeric types and node scheduling. Each build of the tests checks its own.
#include <gtest/gtest.h>
#include <maya/MFnNumericData.h>
#include <maya/MObject.h>
#include <maya/MPxNode.h>
#include <maya/MString.h>
#include <maya/MTypes.h>

#include <string>
#include <type_traits>

namespace {

TEST(DevkitFlavour, IsOneOfTheTwoModelledDevkits) {
  EXPECT_TRUE(MAYA_API_VERSION == 200900 || MAYA_API_VERSION == 20250000) << MAYA_API_VERSION;
#if MAYA_API_VERSION >= 20180000
  EXPECT_EQ(MAYA_APP_VERSION, MAYA_API_VERSION / 10000);
#endif
}

#if MAYA_API_VERSION >= 20180000
TEST(DevkitFlavour, ApiClassesLiveInTheVersionedNamespaceOpenedForPlugins) {
  EXPECT_TRUE((std::is_same_v<MObject, Autodesk::Maya::OpenMaya20250000::MObject>));
  EXPECT_TRUE((std::is_same_v<MString, Autodesk::Maya::OpenMaya20250000::MString>));
  EXPECT_TRUE((std::is_same_v<MPxNode, Autodesk::Maya::OpenMaya20250000::MPxNode>));
  // Free functions too: MString's operator+ is found and links.
  EXPECT_STREQ((MString("a") + MString("b")).asChar(), "ab");
}

TEST(DevkitFlavour, Int64StandsBeforeFloatAndMovesEveryLaterType) {
  EXPECT_EQ(MFnNumericData::kInt64, MFnNumericData::k3Long + 1);
  EXPECT_EQ(MFnNumericData::kFloat, MFnNumericData::kInt64 + 1);
  EXPECT_EQ(MFnNumericData::kInt, MFnNumericData::kLong);
  EXPECT_EQ(MFnNumericData::kFloat, 11);
  EXPECT_EQ(MFnNumericData::kAddr, 18);
}

TEST(DevkitFlavour, NodesAreSerialUnlessTheyOverrideSchedulingType) {
  const MPxNode node;
  EXPECT_EQ(node.schedulingType(), MPxNode::kSerial);
}
#else
TEST(DevkitFlavour, ApiClassesAreGlobalAndNumericTypesKeepTheirOldNumbers) {
  EXPECT_TRUE((std::is_same_v<MObject, ::MObject>));
  EXPECT_EQ(MFnNumericData::kFloat, 10);
  EXPECT_EQ(MFnNumericData::kAddr, 16);
}
#endif

}  // namespace
