// The parameter block is the library's interface with the renderer: its
// layout, the .mi declaration the renderer lays it out from, and the
// library's exported symbols must all agree.
#include <cstddef>
#include <cstdio>
#include <set>
#include <string>

#include "harness.h"
#if defined(_WIN32)
#include "pe_file.h"
#endif

namespace {

TEST(BlockLayout, FieldsSitAtTheRendererOffsets) {
  EXPECT_EQ(offsetof(krel_velvet_params, color), 0u);
  EXPECT_EQ(offsetof(krel_velvet_params, ambientColor), 16u);
  EXPECT_EQ(offsetof(krel_velvet_params, incandescence), 32u);
  EXPECT_EQ(offsetof(krel_velvet_params, normalOffset), 48u);
  EXPECT_EQ(offsetof(krel_velvet_params, diffuse), 60u);
  EXPECT_EQ(offsetof(krel_velvet_params, edginess), 64u);
  EXPECT_EQ(offsetof(krel_velvet_params, specular), 68u);
  EXPECT_EQ(offsetof(krel_velvet_params, specularColor), 72u);
  EXPECT_EQ(offsetof(krel_velvet_params, useIrradiance), 88u);
  EXPECT_EQ(offsetof(krel_velvet_params, irradianceColor), 92u);
  EXPECT_EQ(offsetof(krel_velvet_params, i_light), 108u);
  EXPECT_EQ(offsetof(krel_velvet_params, n_light), 112u);
  EXPECT_EQ(offsetof(krel_velvet_params, light), 116u);
  EXPECT_EQ(sizeof(krel_velvet_params), 120u);
  EXPECT_EQ(sizeof(miColor), 16u);
  EXPECT_EQ(sizeof(miVector), 12u);
  EXPECT_EQ(sizeof(((miFunction*)nullptr)->ghost_offs), 4u);
}

TEST(BlockLayout, DeclarationMatchesTheBlock) {
  mrhost::Declaration d;
  std::string error;
  ASSERT_TRUE(mrhost::read_declaration(KREL_VELVET_DECLARATION, &d, &error)) << error;
  EXPECT_EQ(d.name, "krel_velvet");
  EXPECT_EQ(d.result_type, "color");
  EXPECT_EQ(d.version, 1);
  EXPECT_EQ(d.size, sizeof(krel_velvet_params));

  using T = mrhost::ParamType;
  const struct {
    const char* name;
    T type;
    std::size_t offset;
  } expected[] = {
      {"color", T::color, offsetof(krel_velvet_params, color)},
      {"ambientColor", T::color, offsetof(krel_velvet_params, ambientColor)},
      {"incandescence", T::color, offsetof(krel_velvet_params, incandescence)},
      {"normalOffset", T::vector, offsetof(krel_velvet_params, normalOffset)},
      {"diffuse", T::scalar, offsetof(krel_velvet_params, diffuse)},
      {"edginess", T::scalar, offsetof(krel_velvet_params, edginess)},
      {"specular", T::scalar, offsetof(krel_velvet_params, specular)},
      {"specularColor", T::color, offsetof(krel_velvet_params, specularColor)},
      {"useIrradiance", T::boolean, offsetof(krel_velvet_params, useIrradiance)},
      {"irradianceColor", T::color, offsetof(krel_velvet_params, irradianceColor)},
      {"i_light", T::integer, offsetof(krel_velvet_params, i_light)},
      {"n_light", T::integer, offsetof(krel_velvet_params, n_light)},
      {"light", T::light, offsetof(krel_velvet_params, light)},
  };
  ASSERT_EQ(d.parameters.size(), std::size(expected));
  for (std::size_t i = 0; i < d.parameters.size(); ++i) {
    const mrhost::Parameter& p = d.parameters[i];
    EXPECT_EQ(p.name, expected[i].name);
    EXPECT_EQ(p.type, expected[i].type) << p.name;
    EXPECT_EQ(p.offset, expected[i].offset) << p.name;
    // Every user-facing parameter has a default; the array's bookkeeping is
    // the renderer's.
    const bool bookkeeping = p.name == "i_light" || p.name == "n_light" || p.name == "light";
    EXPECT_EQ(p.value.empty(), bookkeeping) << p.name;
  }
  EXPECT_TRUE(d.parameters.back().array);
}

class LibraryExports : public mrtest::RendererTest {};

#if defined(_WIN32)

TEST_F(LibraryExports, ExactlyTheRendererEntryPoints) {
  const petest::PeFile pe = petest::readPeFile(KREL_VELVET_LIBRARY);
  ASSERT_EQ(pe.error, "");
  EXPECT_EQ(pe.exports,
            (std::set<std::string>{"krel_velvet", "krel_velvet_version", "miSetModuleHandle"}));
  const std::string file = KREL_VELVET_LIBRARY;
  EXPECT_EQ(file.substr(file.find_last_of("/\\") + 1), "krel_velvet.dll");
  EXPECT_EQ(renderer.version(), 1);
}

TEST_F(LibraryExports, HostFunctionsAreNotLeftToTheLoader) {
  // An imported mi_* function would be bound at load time to whichever DLL
  // the import names, bypassing the module handed over by the renderer.
  const petest::PeFile pe = petest::readPeFile(KREL_VELVET_LIBRARY);
  ASSERT_EQ(pe.error, "");
  EXPECT_FALSE(pe.imports.empty());
  for (const auto& [dll, names] : pe.imports) {
    EXPECT_EQ(dll.find("mrhost"), std::string::npos) << dll;
    // The runtime is linked in: nothing to ship beside the library.
    EXPECT_TRUE(dll == "KERNEL32.dll" || dll == "msvcrt.dll") << dll;
    for (const std::string& name : names) EXPECT_NE(name.rfind("mi_", 0), 0u) << name;
  }
}

#else

std::set<std::string> output_lines(const std::string& command) {
  std::set<std::string> names;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return names;
  char line[512];
  while (std::fgets(line, sizeof line, pipe)) {
    std::string name(line);
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
    names.insert(name);
  }
  pclose(pipe);
  return names;
}

std::set<std::string> dynamic_symbols(const char* which) {
  return output_lines(std::string(NM_PROGRAM) + " -D --format=just-symbols " + which + " \"" +
                      KREL_VELVET_LIBRARY + "\"");
}

TEST_F(LibraryExports, ExactlyTheRendererEntryPoints) {
  EXPECT_EQ(dynamic_symbols("--defined-only"),
            (std::set<std::string>{"krel_velvet", "krel_velvet_version", "miSetModuleHandle"}));
  const std::string file = KREL_VELVET_LIBRARY;
  EXPECT_EQ(file.substr(file.find_last_of('/') + 1), "krel_velvet.so");
  EXPECT_EQ(renderer.version(), 1);
}

TEST_F(LibraryExports, HostFunctionsAreNotLeftToTheLoader) {
  // An undefined mi_* symbol would be bound at load time to any module that
  // exports one, bypassing the module handed over by the renderer.
  for (const std::string& name : dynamic_symbols("--undefined-only")) {
    EXPECT_NE(name.rfind("mi_", 0), 0u) << name;
    EXPECT_EQ(name.find("mrhost"), std::string::npos) << name;
  }
  const std::set<std::string> headers =
      output_lines(std::string(OBJDUMP_PROGRAM) + " -p \"" + KREL_VELVET_LIBRARY + "\"");
  int needed = 0;
  for (const std::string& line : headers) {
    if (line.find("NEEDED") == std::string::npos) continue;
    ++needed;
    EXPECT_EQ(line.find("mrhost"), std::string::npos) << line;
  }
  EXPECT_GT(needed, 0) << "objdump -p listed no NEEDED entries";
}

#endif

}  // namespace
