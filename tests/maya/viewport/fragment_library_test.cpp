// The stand-in Viewport 2.0's fragment store: the plug-in's fragments and
// graph register in order, and each thing Maya refuses is refused, with a
// message that says what is wrong.
#include <gtest/gtest.h>

#include <string>

#include "effect_builder.h"
#include "fragment_files.h"
#include "fragment_library.h"

namespace {

using mayahost::detail::vp2::FragmentLibrary;
using viewport_test::edited;
using viewport_test::fragmentFile;
using viewport_test::fragmentFiles;

// Every leaf fragment of the plug-in registered; the graph not yet.
void addLeaves(FragmentLibrary* library) {
  for (const auto& f : fragmentFiles()) {
    if (f.graph) continue;
    std::string error;
    ASSERT_EQ(library->addFragment(f.xml.c_str(), &error), f.name) << error;
  }
}

// What registering `xml` says; "" when it is accepted.
std::string refusal(FragmentLibrary* library, const std::string& xml, bool graph) {
  EXPECT_FALSE(xml.empty()) << "the edit no longer applies to the file";
  std::string error;
  const std::string name =
      graph ? library->addGraph(xml.c_str(), &error) : library->addFragment(xml.c_str(), &error);
  if (!name.empty()) return "";
  EXPECT_FALSE(error.empty());
  return error;
}

TEST(FragmentLibrary, ThePluginsFragmentsAndGraphRegisterInOrder) {
  FragmentLibrary library;
  ASSERT_GE(fragmentFiles().size(), 3u);
  EXPECT_TRUE(fragmentFiles().back().graph);
  addLeaves(&library);
  std::string error;
  EXPECT_EQ(library.addGraph(fragmentFile("velvetSurface").c_str(), &error), "velvetSurface")
      << error;
  EXPECT_EQ(library.names().size(), fragmentFiles().size());
  std::string xml;
  ASSERT_TRUE(library.xml("velvetSurface", &xml));
  EXPECT_EQ(xml, fragmentFile("velvetSurface"));
}

TEST(FragmentLibrary, PropertiesFollowTheFunctionsArgumentsInEveryLanguage) {
  FragmentLibrary library;
  addLeaves(&library);
  for (const auto& f : fragmentFiles()) {
    const auto* fragment = library.fragment(f.name);
    if (f.graph || fragment->type == "accum") continue;
    EXPECT_NE(fragment->implementation("GLSL"), nullptr) << f.name;
    EXPECT_NE(fragment->implementation("HLSL"), nullptr) << f.name;
  }
}

TEST(FragmentLibrary, AGraphBeforeItsFragmentsIsRefused) {
  FragmentLibrary library;
  const std::string why = refusal(&library, fragmentFile("velvetSurface"), true);
  EXPECT_NE(why.find("which is not registered"), std::string::npos) << why;
}

TEST(FragmentLibrary, ADuplicateNameIsRefused) {
  FragmentLibrary library;
  addLeaves(&library);
  const std::string why = refusal(&library, fragmentFile("velvetLobeLight"), false);
  EXPECT_NE(why.find("already registered"), std::string::npos) << why;
  EXPECT_TRUE(library.remove("velvetLobeLight"));
  EXPECT_FALSE(library.has("velvetLobeLight"));
  EXPECT_EQ(refusal(&library, fragmentFile("velvetLobeLight"), false), "");
}

TEST(FragmentLibrary, AMissingRequiredAttributeIsRefused) {
  FragmentLibrary library;
  const std::string lobe = fragmentFile("velvetLobeLight");
  std::string why = refusal(
      &library, edited(lobe, "class=\"ShadeFragment\" version=\"1.0\"", "class=\"ShadeFragment\""),
      false);
  EXPECT_NE(why.find("'version'"), std::string::npos) << why;
  why = refusal(&library, edited(lobe, "<float3 name=\"Nw\" />", "<float3 />"), false);
  EXPECT_NE(why.find("'name'"), std::string::npos) << why;
  why = refusal(&library, edited(lobe, "class=\"ShadeFragment\"", "class=\"Fragment\""), false);
  EXPECT_NE(why.find("ShadeFragment"), std::string::npos) << why;
  why = refusal(&library, edited(lobe, "lang_version=\"3.0\"", ""), false);
  EXPECT_NE(why.find("'lang_version'"), std::string::npos) << why;
}

TEST(FragmentLibrary, ElementsOutOfOrderOrMissingAreRefused) {
  FragmentLibrary library;
  const std::string pass = fragmentFile("velvetFloatPassThrough");
  // <outputs> moved before <properties>.
  const std::size_t from = pass.find("  <outputs>");
  const std::size_t to = pass.find("  <implementation>");
  ASSERT_NE(from, std::string::npos);
  std::string moved = pass.substr(0, from) + pass.substr(to);
  moved = edited(moved, "  <properties>", pass.substr(from, to - from) + "  <properties>");
  std::string why = refusal(&library, moved, false);
  EXPECT_NE(why.find("out of order"), std::string::npos) << why;
  why = refusal(&library, edited(pass, "<values>\n  </values>\n", ""), false);
  EXPECT_NE(why.find("lacks <values>"), std::string::npos) << why;
  why = refusal(&library, edited(pass, "<description>", "<description/><description>"), false);
  EXPECT_NE(why.find("twice"), std::string::npos) << why;
}

TEST(FragmentLibrary, ADuplicatePropertyIsRefused) {
  FragmentLibrary library;
  const std::string why = refusal(&library,
                                  edited(fragmentFile("velvetLobeLight"), "<float3 name=\"Vw\" />",
                                         "<float3 name=\"Vw\" /><float3 name=\"Vw\" />"),
                                  false);
  EXPECT_NE(why.find("duplicate name 'Vw'"), std::string::npos) << why;
}

TEST(FragmentLibrary, PropertiesInAnotherOrderThanTheArgumentsAreRefused) {
  FragmentLibrary library;
  const std::string lobe = fragmentFile("velvetLobeLight");
  // Two floats swapped: it would compile in Maya and shade wrongly.
  std::string swapped = edited(lobe, "<float name=\"roughness\" />", "<float name=\"TMP\" />");
  swapped = edited(swapped, "<float name=\"edginess\" />", "<float name=\"roughness\" />");
  swapped = edited(swapped, "<float name=\"TMP\" />", "<float name=\"edginess\" />");
  std::string why = refusal(&library, swapped, false);
  EXPECT_NE(why.find("must follow the function's arguments"), std::string::npos) << why;
  // One property too many.
  why = refusal(&library,
                edited(lobe, "<float name=\"backscatter\" />",
                       "<float name=\"backscatter\" /><float name=\"extra\" />"),
                false);
  EXPECT_NE(why.find("takes 8 arguments, the properties are 9"), std::string::npos) << why;
  // A type that is not the argument's.
  why = refusal(&library,
                edited(lobe, "float roughness, float edginess", "float roughness, vec3 edginess"),
                false);
  EXPECT_NE(why.find("(GLSL): property 7 is float 'edginess', but argument 7 of velvetLobeLight is "
                     "vec3 'edginess'"),
            std::string::npos)
      << why;
  // The function is not in the source.
  why = refusal(&library,
                edited(lobe, "<function_name val=\"velvetLobeLight\" />",
                       "<function_name val=\"velvetLobe\" />"),
                false);
  EXPECT_NE(why.find("does not define 'velvetLobe'"), std::string::npos) << why;
}

TEST(FragmentLibrary, AValueForNoPropertyIsRefused) {
  FragmentLibrary library;
  const std::string why =
      refusal(&library,
              edited(fragmentFile("velvetLobeLight"), "<float name=\"edginess\" value=\"10.0\" />",
                     "<float name=\"edgyness\" value=\"10.0\" />"),
              false);
  EXPECT_NE(why.find("'edgyness', which is no property"), std::string::npos) << why;
}

TEST(FragmentLibrary, MalformedXmlIsRefusedWithItsLine) {
  FragmentLibrary library;
  std::string why =
      refusal(&library, edited(fragmentFile("velvetLobeLight"), "</properties>", ""), false);
  EXPECT_NE(why.find("XML error at line"), std::string::npos) << why;
  why = refusal(&library, "<fragment_graph/>", false);
  EXPECT_NE(why.find("not a <fragment>"), std::string::npos) << why;
  std::string error;
  EXPECT_EQ(library.addFragment(nullptr, &error), "");
  EXPECT_EQ(library.addGraph("", &error), "");
}

TEST(FragmentLibrary, AGraphConnectionToAnUnknownParameterIsRefused) {
  FragmentLibrary library;
  addLeaves(&library);
  const std::string graph = fragmentFile("velvetSurface");
  std::string why =
      refusal(&library, edited(graph, "to=\"lobeLight.Nw\"", "to=\"lobeLight.N\""), true);
  EXPECT_NE(why.find("has no input 'N'"), std::string::npos) << why;
  why = refusal(&library, edited(graph, "from=\"combiner.output\"", "from=\"combiner.result\""),
                true);
  EXPECT_NE(why.find("has no output 'result'"), std::string::npos) << why;
  why = refusal(&library, edited(graph, "from=\"normalPass.output\"", "from=\"normal.output\""),
                true);
  EXPECT_NE(why.find("names no fragment of the graph"), std::string::npos) << why;
  why = refusal(&library, edited(graph, "ref=\"lobeLight.roughness\"", "ref=\"lobeLight.rough\""),
                true);
  EXPECT_NE(why.find("has no input 'rough'"), std::string::npos) << why;
  why = refusal(&library,
                edited(graph, "ref=\"lobeLight.roughness\"", "ref=\"lobeLight.edginess\""), true);
  EXPECT_NE(why.find("fed twice"), std::string::npos) << why;
}

TEST(FragmentLibrary, ADuplicateFragmentInAGraphIsRefused) {
  FragmentLibrary library;
  addLeaves(&library);
  const std::string why =
      refusal(&library,
              edited(fragmentFile("velvetSurface"), "<fragment_ref name=\"colorPass\"",
                     "<fragment_ref name=\"normalPass\""),
              true);
  EXPECT_NE(why.find("duplicate fragment name 'normalPass'"), std::string::npos) << why;
}

TEST(FragmentLibrary, FunctionArgumentsSkipCallsAndQualifiers) {
  std::vector<std::pair<std::string, std::string>> args;
  const std::string source =
      "float3 f(float3 a);\n"
      "float g() { return f(x, y).x; }\n"
      "float3 f(in float3 a, const float b)\n{ return a * b; }\n";
  ASSERT_TRUE(mayahost::detail::vp2::functionArguments(source, "f", &args));
  ASSERT_EQ(args.size(), 2u);
  EXPECT_EQ(args[0], std::make_pair(std::string("float3"), std::string("a")));
  EXPECT_EQ(args[1], std::make_pair(std::string("float"), std::string("b")));
  EXPECT_FALSE(mayahost::detail::vp2::functionArguments(source, "h", &args));
  EXPECT_FALSE(mayahost::detail::vp2::functionArguments("float ff(float a) {}", "f", &args));
}

TEST(EffectBuilder, TheGraphBecomesOnePixelShaderWithALightLoop) {
  FragmentLibrary library;
  addLeaves(&library);
  std::string error;
  ASSERT_EQ(library.addGraph(fragmentFile("velvetSurface").c_str(), &error), "velvetSurface");
  for (const char* language : {"GLSL", "HLSL"}) {
    mayahost::detail::vp2::Effect effect;
    ASSERT_TRUE(
        mayahost::detail::vp2::buildEffect(library, "velvetSurface", language, &effect, &error))
        << error;
    // The node's outputs, then Maya's final colour.
    ASSERT_EQ(effect.outputs.size(), 3u);
    EXPECT_EQ(effect.outputs[0].name, "outColor");
    EXPECT_EQ(effect.outputs[1].name, "outTransparency");
    EXPECT_EQ(effect.outputs[2].name, "outSurfaceFinal");
    // The per-light fragments inside the loop, the combiner after it.
    const std::size_t loop = effect.source.find("for (int light = 0;");
    ASSERT_NE(loop, std::string::npos);
    EXPECT_GT(effect.source.find("velvetLobeLight(", loop), loop);
    EXPECT_GT(effect.source.find("velvetDiffuseLight(", loop), loop);
    EXPECT_GT(effect.source.find("= velvetCombiner(", loop), effect.source.find("    }\n", loop));
    // Every graph property Maya does not feed is a uniform.
    EXPECT_EQ(effect.uniforms.size(), 10u);
  }
  EXPECT_FALSE(mayahost::detail::vp2::buildEffect(library, "velvetSurface", "Cg", nullptr, &error));
  EXPECT_FALSE(mayahost::detail::vp2::buildEffect(library, "nothing", "GLSL", nullptr, &error));
}

}  // namespace
