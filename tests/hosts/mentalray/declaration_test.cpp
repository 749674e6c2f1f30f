// The .mi declaration reader on files written for real renderers: several
// declarations, the grammar they use, the layout it gives, and refusals that
// say where.
#include <gtest/gtest.h>
#include <mrhost/declaration.h>
#include <mrhost/renderer.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

using mrhost::ParamType;

mrhost::Declaration read(const std::string& text, const std::string& name = "") {
  mrhost::Declaration d;
  std::string error;
  EXPECT_TRUE(mrhost::parse_declaration(text, name, &d, &error)) << error;
  return d;
}

std::string refusal(const std::string& text) {
  mrhost::Declaration d;
  std::string error;
  EXPECT_FALSE(mrhost::parse_declaration(text, &d, &error)) << "read: " << text;
  return error;
}

// (name, type, offset) of every parameter, in order.
struct Field {
  std::string name;
  ParamType type;
  std::size_t offset;
};
void expect_layout(const mrhost::Declaration& d, const std::vector<Field>& fields) {
  ASSERT_EQ(d.parameters.size(), fields.size()) << d.name;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    EXPECT_EQ(d.parameters[i].name, fields[i].name) << i;
    EXPECT_EQ(d.parameters[i].type, fields[i].type) << fields[i].name;
    EXPECT_EQ(d.parameters[i].offset, fields[i].offset) << fields[i].name;
  }
}

const char* const kLibrary = R"(
# A library file: a link, a phenomenon and three shaders.
link "base.so"
declare phenomenon
    color "wrapper" (color "tint")
    shader "inner" "second" ("tint" = interface "tint")
    root = "inner"
end declare
declare shader
    scalar "first" (
        scalar "a" default 1,   #: a comment after a parameter
    )
    version 2
end declare                     #: and after a declaration
declare shader color "second" (color "tint" default 1 0 0) version 7 end declare
declare shader "third" () end declare
)";

TEST(DeclarationFile, FindsTheDeclarationAskedForAndSkipsTheRest) {
  EXPECT_EQ(read(kLibrary).name, "first");  // no name: the first shader
  const mrhost::Declaration second = read(kLibrary, "second");
  EXPECT_EQ(second.version, 7);
  EXPECT_EQ(second.result_type, "color");
  expect_layout(second, {{"tint", ParamType::color, 0}});
  EXPECT_EQ(second.parameters[0].value, (std::vector<float>{1.0f, 0.0f, 0.0f, 1.0f}));
  const mrhost::Declaration third = read(kLibrary, "third");
  EXPECT_TRUE(third.parameters.empty());
  EXPECT_EQ(third.size, 0u);
  EXPECT_EQ(third.result_type, "");

  mrhost::Declaration d;
  std::string error;
  EXPECT_FALSE(mrhost::parse_declaration(kLibrary, "wrapper", &d, &error));
  EXPECT_EQ(error, "no shader \"wrapper\" is declared");
}

TEST(DeclarationGrammar, StructsArraysAndTagTypesLayOutInOrder) {
  const mrhost::Declaration d = read(R"(
declare shader
    struct { color "result", scalar "alpha", } "layered" (
        array struct "layers" {
            color "tint" default 1 1 1,
            array integer "ids",
        },
        shader "bump",
        data "userData",
        color texture "map",
        transform "space",
        string "label" default "velvet",
        array light "light",
    )
    apply material, texture
end declare)");
  EXPECT_EQ(d.result_type, "struct");
  expect_layout(d, {{"i_layers", ParamType::integer, 0},
                    {"n_layers", ParamType::integer, 4},
                    {"layers", ParamType::structure, 8},
                    {"layers.tint", ParamType::color, 8},
                    {"layers.i_ids", ParamType::integer, 24},
                    {"layers.n_ids", ParamType::integer, 28},
                    {"layers.ids", ParamType::integer, 32},
                    {"bump", ParamType::shader, 36},
                    {"userData", ParamType::data, 40},
                    {"map", ParamType::color_texture, 44},
                    {"space", ParamType::transform, 48},
                    {"label", ParamType::string, 112},
                    {"i_light", ParamType::integer, 116},
                    {"n_light", ParamType::integer, 120},
                    {"light", ParamType::light, 124}});
  EXPECT_TRUE(d.find("layers")->array);
  EXPECT_EQ(d.find("layers")->size, 28u);
  EXPECT_TRUE(d.find("layers.ids")->array);
  EXPECT_EQ(d.size, 128u);
}

TEST(DeclarationGrammar, RefusalsNameTheLine) {
  EXPECT_EQ(refusal("declare shader \"s\" (\n  scalar \"a\",\n  colour \"b\"\n) end declare"),
            "line 3: unsupported type \"colour\", found \"colour\"");
  EXPECT_EQ(refusal("declare shader \"s\" (\n  scalar \"a\" default 1 2\n) end declare"),
            "line 2: bad default for \"a\", found \")\"");
  EXPECT_EQ(refusal("declare shader \"s\" (scalar \"a\", scalar \"a\") end declare"),
            "line 1: parameter \"a\" declared twice, found \")\"");
  EXPECT_EQ(refusal("declare shader \"s\" (array scalar \"a\", integer \"n_a\") end declare")
                .rfind("line 1: parameter \"n_a\" declared twice", 0),
            0u);
  EXPECT_EQ(refusal("\n\ndeclare shader \"s\" (scalar \"a\")"),
            "line 3: missing \"end declare\", found the end of the text");
  EXPECT_EQ(refusal("declare phenomenon \"p\" ()\n"),
            "line 2: missing \"end declare\" for the declaration on line 1, found the end of the "
            "text");
  EXPECT_EQ(refusal("declare shader \"s\" (\n string \"a\" default \"open) end declare"),
            "line 2: unterminated string");
  EXPECT_EQ(refusal("declare shader \"s\" (array array scalar \"a\") end declare"),
            "line 1: arrays of arrays are not supported, found \"array\"");
  EXPECT_EQ(refusal("declare shader \"s\" (struct \"a\" {}) end declare"),
            "line 1: struct \"a\" has no members, found \")\"");
  EXPECT_EQ(refusal("# nothing here\n"), "no shader is declared");
  // A version past int's range used to be converted regardless (undefined
  // behaviour under UBSan).
  EXPECT_EQ(refusal("declare shader \"s\" () version 1e10 end declare"),
            "line 1: expected a whole version number, found \"1e10\"");
  // A broken declaration anywhere in the file refuses the file.
  EXPECT_EQ(refusal("declare shader \"ok\" () end declare\ndeclare shader \"bad\" ( end declare"),
            "line 2: unsupported type \"end\", found \"end\"");
}

TEST(DeclarationGrammar, DefaultsMustFitTheirField) {
  for (const char* bad : {"integer \"i\" default 2147483648", "integer \"i\" default 0.5",
                          "boolean \"b\" default 1e30", "scalar \"s\" default nan",
                          "scalar \"s\" default 1e39", "shader \"s\" default 3",
                          "array scalar \"s\" default 1", "transform \"t\" default 1 0 0"}) {
    EXPECT_NE(
        refusal(std::string("declare shader \"s\" (") + bad + ") end declare").find("bad default"),
        std::string::npos)
        << bad;
  }
  EXPECT_EQ(read("declare shader \"s\" (integer \"i\" default -2147483648) end declare")
                .parameters[0]
                .value[0],
            -2147483648.0f);
}

// Defaults are spelt as every reader of values spells them
// (hostkit/value_words.h).
TEST(DeclarationGrammar, DefaultsTakeTheSharedWordsForBooleans) {
  const mrhost::Declaration d = read(
      "declare shader \"s\" (boolean \"a\" default on, boolean \"b\" default false,\n"
      "  boolean \"c\" default yes, boolean \"d\" default no, scalar \"e\" default 1e-50)\n"
      "end declare");
  ASSERT_EQ(d.parameters.size(), 5u);
  const float expected[] = {1.0f, 0.0f, 1.0f, 0.0f, 0.0f};
  for (std::size_t i = 0; i < 5; ++i) {
    ASSERT_EQ(d.parameters[i].value.size(), 1u) << d.parameters[i].name;
    EXPECT_EQ(d.parameters[i].value[0], expected[i]) << d.parameters[i].name;
  }
  EXPECT_NE(
      refusal("declare shader \"s\" (boolean \"b\" default On) end declare").find("bad default"),
      std::string::npos);
}

TEST(DeclarationGrammar, DeepStructsAreRefusedNotRecursedInto) {
  std::string text = "declare shader \"s\" (";
  for (int i = 0; i < 5000; ++i) text += "struct \"a\" {";
  EXPECT_NE(refusal(text).find("structs nested too deeply"), std::string::npos);
}

TEST(DeclarationFile, ErrorsNameTheFileAndLine) {
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / "velvet_declaration_test_bad.mi";
  std::ofstream(path) << "declare shader \"s\" (\n\n  vector \"v\" default 1 2\n) end declare\n";
  mrhost::Declaration d;
  std::string error;
  EXPECT_FALSE(mrhost::read_declaration(path.string(), &d, &error));
  EXPECT_EQ(error, path.string() + ": line 3: bad default for \"v\", found \")\"");
  std::filesystem::remove(path);
}

// Whole-number fields are 32 bits: a value they cannot hold is refused, not
// converted (the conversion of an out-of-range float is undefined).
TEST(ParameterBlockValues, WholeNumbersOutOfRangeAreRefused) {
  const mrhost::Declaration d = read(
      "declare shader \"s\" (integer \"i\", boolean \"b\", shader \"t\", transform \"m\") end "
      "declare");
  mrhost::ParameterBlock block(d, {});
  std::string error;
  for (const char* name : {"i", "b"}) {
    EXPECT_FALSE(block.set(name, std::vector<float>{2147483648.0f}, &error)) << name;
    EXPECT_FALSE(block.set(name, std::vector<float>{-1e30f}, &error)) << name;
    EXPECT_TRUE(block.set(name, std::vector<float>{-2147483648.0f}, &error)) << error;
  }
  EXPECT_FALSE(block.set("t", std::vector<float>{-1.0f}, &error));
  EXPECT_FALSE(block.set("t", std::vector<float>{4294967296.0f}, &error));
  EXPECT_TRUE(block.set("t", std::vector<float>{4294967040.0f}, &error)) << error;
  std::uint32_t tag;
  std::memcpy(&tag, static_cast<char*>(block.data()) + d.find("t")->offset, 4);
  EXPECT_EQ(tag, 4294967040u);
  EXPECT_FALSE(block.set("m", std::vector<float>{1.0f, 2.0f}, &error));
  EXPECT_EQ(error, "parameter \"m\" is a transform: expected 16 values, got 2 values");
}

}  // namespace
