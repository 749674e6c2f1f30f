// How the renderer finds what a scene names: `link` on MI_LIBRARY_PATH,
// `$include` on MI_RAY_INCPATH, lib/ and include/ under each
// MI_CUSTOM_SHADER_PATH folder; and a declaration that is not the shader's.
#include <gtest/gtest.h>
#include <mrhost/renderer.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "harness.h"
#include "scratch_tree.h"

namespace {

namespace fs = std::filesystem;

#if defined(_WIN32)
constexpr char kSep = ';';
#else
constexpr char kSep = ':';
#endif

class ShaderSearch : public scratch::TreeTest {
 protected:
  void SetUp() override { make_root("velvet_mr_search_"); }
  mrhost::SearchPath search() const { return mrhost::search_path(variables()); }
};

TEST_F(ShaderSearch, LibraryAndIncludePathsComeBeforeTheCustomShaderFolders) {
  const std::string lib = mrhost::library_file_name("krel_velvet");
  write("custom/lib/" + lib);
  write("custom/include/krel_velvet.mi");
  write("libs/" + lib);
  env["MI_LIBRARY_PATH"] = path("nothing") + kSep + path("libs");
  env["MI_CUSTOM_SHADER_PATH"] = path("custom");
  const mrhost::SearchPath s = search();
  EXPECT_EQ(s.libraries,
            (std::vector<std::string>{path("nothing"), path("libs"), path("custom/lib")}));
  EXPECT_EQ(s.includes, std::vector<std::string>{path("custom/include")});

  mrhost::Paths paths;
  std::string error;
  ASSERT_TRUE(mrhost::resolve("krel_velvet", s, &paths, &error)) << error;
  EXPECT_EQ(paths.shader_library, path("libs/" + lib));
  EXPECT_EQ(paths.declaration, path("custom/include/krel_velvet.mi"));
  EXPECT_EQ(paths.shader, "krel_velvet");
  EXPECT_TRUE(paths.host_module.empty());
}

TEST_F(ShaderSearch, RendererRefusesADeclarationOfAnotherShader) {
  std::string text;
  {
    std::ifstream in(KREL_VELVET_DECLARATION);
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  const std::size_t at = text.find("\"krel_velvet\"");
  ASSERT_NE(at, std::string::npos);
  write("other.mi", text.replace(at, 13, "\"krel_other\""));
  mrhost::Paths paths = mrtest::paths();
  paths.declaration = path("other.mi");
  mrhost::Renderer renderer;
  std::string error;
  EXPECT_FALSE(renderer.open(paths, &error));
  EXPECT_NE(error.find("declares shader \"krel_other\", not \"krel_velvet\""), std::string::npos)
      << error;
  paths.shader.clear();                        // no expectation: whatever is declared is opened
  EXPECT_FALSE(renderer.open(paths, &error));  // ...and then the library lacks krel_other
  EXPECT_NE(error.find("lacks krel_other"), std::string::npos) << error;
}

}  // namespace
