// Every GLSL and HLSL implementation of the plug-in's fragments compiles with
// glslang (its HLSL front end for HLSL), each called by a test shader with
// arguments of its properties' types in property order, and so does the
// whole effect the stand-in builds from the graph in each language.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "effect_builder.h"
#include "fragment_files.h"
#include "fragment_library.h"

namespace {

using mayahost::detail::vp2::Fragment;
using mayahost::detail::vp2::FragmentLibrary;
using mayahost::detail::vp2::Parameter;

std::string glslType(const Parameter& p) {
  if (p.type == "float3") return "vec3";
  if (p.type == "float4") return "vec4";
  if (p.type == "struct") return p.structName;
  return p.type;
}

// The structures every fragment may use, in one language.
std::string declarations(const FragmentLibrary& library, const std::string& language) {
  std::string out;
  for (const std::string& name : library.names()) {
    const Fragment* f = library.fragment(name);
    if (f == nullptr || f->type != "structure") continue;
    out += f->implementation(language)->declaration + "\n";
  }
  return out;
}

// A shader that calls `f` with one uniform per property, in property order.
std::string testShader(const FragmentLibrary& library, const Fragment& f,
                       const std::string& language) {
  const bool glsl = language == "GLSL";
  std::string out = glsl ? "#version 330 core\n" : "";
  out += declarations(library, language);
  if (f.type != "structure") out += f.implementation(language)->source + "\n";
  std::string args;
  for (const Parameter& p : f.properties) {
    if (p.type == "string" || p.requirementOnly()) continue;
    out += (glsl                 ? "uniform " + glslType(p)
            : p.type == "struct" ? p.structName
                                 : p.type) +
           " arg_" + p.name + ";\n";
    args += (args.empty() ? "" : ", ") + std::string("arg_") + p.name;
  }
  const std::string call =
      f.type == "structure"
          ? ""
          : "    " + f.implementation(language)->functionName + "(" + args + ");\n";
  if (glsl) {
    out += "out vec4 fragColor;\nvoid main()\n{\n" + call + "    fragColor = vec4(0.0);\n}\n";
  } else {
    out += "float4 main() : SV_Target\n{\n" + call + "    return float4(0.0, 0.0, 0.0, 0.0);\n}\n";
  }
  return out;
}

// glslang's verdict on `source`: "" when it compiles, else its messages.
std::string compile(const std::string& source, const std::string& language,
                    const std::string& label) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("velvet_glslang_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::filesystem::path file = dir / (label + (language == "GLSL" ? ".frag" : ".hlsl"));
  std::ofstream(file) << source;
  std::string command = std::string("\"") + VELVET_GLSLANG + "\" ";
  // HLSL goes through SPIR-V generation, which its front end needs.
  if (language == "HLSL")
    command += "-D -V -e main -S frag -o \"" + (dir / "out.spv").string() + "\" ";
  command += "\"" + file.string() + "\" 2>&1";
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return "cannot run " + command;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
  const int status = pclose(pipe);
  std::filesystem::remove_all(dir);
  if (status == 0) return "";
  return output.empty() ? "glslangValidator failed" : output + "\n" + source;
}

class ShaderCompile : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    for (const auto& f : viewport_test::fragmentFiles()) {
      const std::string name = f.graph ? library.addGraph(f.xml.c_str(), &error)
                                       : library.addFragment(f.xml.c_str(), &error);
      ASSERT_EQ(name, f.name) << error;
    }
  }
  FragmentLibrary library;
};

TEST_F(ShaderCompile, EveryFragmentCompilesInGlslAndHlsl) {
  int compiled = 0;
  for (const auto& file : viewport_test::fragmentFiles()) {
    const Fragment* f = library.fragment(file.name);
    if (f == nullptr || f->type == "accum") continue;  // graph; accumulator: Maya's code
    for (const char* language : {"GLSL", "HLSL"}) {
      ASSERT_NE(f->implementation(language), nullptr) << f->name << " " << language;
      EXPECT_EQ(compile(testShader(library, *f, language), language, f->name), "")
          << f->name << " " << language;
      ++compiled;
    }
  }
  EXPECT_EQ(compiled, 12);
}

TEST_F(ShaderCompile, TheWholeEffectCompilesInGlslAndHlsl) {
  for (const char* language : {"GLSL", "HLSL"}) {
    mayahost::detail::vp2::Effect effect;
    std::string error;
    ASSERT_TRUE(
        mayahost::detail::vp2::buildEffect(library, "velvetSurface", language, &effect, &error))
        << error;
    EXPECT_EQ(compile(effect.source, language, "velvetSurface"), "") << language;
  }
}

TEST_F(ShaderCompile, ABrokenSourceIsCaught) {
  // The harness itself: glslang must reject what no driver would accept.
  const Fragment* lobe = library.fragment("velvetLobeLight");
  ASSERT_NE(lobe, nullptr);
  Fragment broken = *lobe;
  for (auto& impl : broken.implementations) impl.source += "\nfloat oops() { return undefined; }\n";
  EXPECT_NE(compile(testShader(library, broken, "GLSL"), "GLSL", "broken"), "");
  EXPECT_NE(compile(testShader(library, broken, "HLSL"), "HLSL", "broken"), "");
}

}  // namespace
