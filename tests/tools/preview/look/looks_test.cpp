// The look files' reader: good files keep every value as written with its
// line; every malformed file is refused with its file and line.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "tools/preview/look/looks.h"

namespace {

namespace fs = std::filesystem;

const char* const kPreset =
    "// saved by hand\n"
    "startAttrPreset( \"velvet\" );\n"
    "blendAttr \"color\" 0.5 0.1 0.2;\n"
    "/* a block\n   comment */ blendAttr \"edginess\" 4;\n"
    "endAttrPreset();\n";

const char* const kBlocks =
    "# two looks\n"
    "shader \"velvet_red_one\" \"krel_velvet\" (\n"
    "    \"color\" 0.5 0.1 0.2 1,\n"
    "    \"useIrradiance\" off\n"
    ")\n"
    "shader \"velvet_empty\" \"krel_velvet\" ( )\n";

TEST(LookFiles, PresetKeepsValuesAsWrittenWithTheirLines) {
  preview::LookSource s;
  std::string error;
  ASSERT_TRUE(preview::parse_maya_preset("a.mel", kPreset, s, error)) << error;
  EXPECT_EQ(s.line, 2);
  ASSERT_EQ(s.settings.size(), 2u);
  EXPECT_EQ(s.settings[0].name, "color");
  EXPECT_EQ(s.settings[0].values, (std::vector<std::string>{"0.5", "0.1", "0.2"}));
  EXPECT_EQ(s.settings[0].line, 3);
  EXPECT_EQ(s.settings[1].name, "edginess");
  EXPECT_EQ(s.settings[1].line, 5);
}

TEST(LookFiles, ShaderBlocksAreNamedAfterTheirLook) {
  std::vector<std::pair<std::string, preview::LookSource>> looks;
  std::string error;
  ASSERT_TRUE(preview::parse_mr_looks("l.mi", kBlocks, looks, error)) << error;
  ASSERT_EQ(looks.size(), 2u);
  EXPECT_EQ(looks[0].first, "red-one");
  EXPECT_EQ(looks[0].second.line, 2);
  ASSERT_EQ(looks[0].second.settings.size(), 2u);
  EXPECT_EQ(looks[0].second.settings[0].values.size(), 4u);
  EXPECT_EQ(looks[0].second.settings[1].values, std::vector<std::string>{"off"});
  EXPECT_EQ(looks[0].second.settings[1].line, 4);
  EXPECT_EQ(looks[1].first, "empty");
  EXPECT_TRUE(looks[1].second.settings.empty());
}

TEST(LookFiles, MalformedPresetsNameFileAndLine) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "bad.mel:1: expected startAttrPreset"},
      {"startAttrPreset( \"lambert\" );\nendAttrPreset();\n", "bad.mel:1: the preset is for"},
      {"startAttrPreset( \"velvet\" );\nblendAttr \"diffuse\" 0.5\nendAttrPreset();\n",
       "bad.mel:3: expected ';' after the values"},
      {"startAttrPreset( \"velvet\" );\nblendAttr \"diffuse\";\nendAttrPreset();\n",
       "bad.mel:2: expected a value for \"diffuse\""},
      {"startAttrPreset( \"velvet\" );\nblendAttr \"diffuse 0.5;\n", "bad.mel:2: unterminated"},
      {"startAttrPreset( \"velvet\" );\n/* open\n", "bad.mel:2: unterminated"},
      {"startAttrPreset( \"velvet\" );\nblendAttr \"diffuse\" 1;\n\nblendAttr \"diffuse\" 2;\n"
       "endAttrPreset();\n",
       "bad.mel:4: \"diffuse\" is set twice (first on line 2)"},
      {"startAttrPreset( \"velvet\" );\nblendAttr \"diffuse\" 1;\n",
       "bad.mel:3: expected blendAttr or endAttrPreset, found end of file"},
      {"startAttrPreset( \"velvet\" );\nsetAttr \"diffuse\" 1;\nendAttrPreset();\n",
       "bad.mel:2: expected blendAttr or endAttrPreset, found 'setAttr'"},
      {"startAttrPreset( \"velvet\" );\nendAttrPreset();\nendAttrPreset();\n",
       "bad.mel:3: expected nothing after"},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    preview::LookSource s;
    std::string error;
    EXPECT_FALSE(preview::parse_maya_preset("bad.mel", text, s, error));
    EXPECT_EQ(error.rfind(expected, 0), 0u) << error;
  }
}

TEST(LookFiles, MalformedShaderBlocksNameFileAndLine) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"declare shader\n", "bad.mi:1: expected a shader block"},
      {"shader \"red\" \"krel_velvet\" ( )\n", "bad.mi:1: a look's shader is named velvet_<look>"},
      {"shader \"velvet_\" \"krel_velvet\" ( )\n", "bad.mi:1: a look's shader is named"},
      {"shader \"velvet_red\"\n\"mib_illum\" ( )\n", "bad.mi:2: expected the shader function"},
      {"shader \"velvet_red\" \"krel_velvet\" (\n\"diffuse\" 1\n\"edginess\" 2 )\n",
       "bad.mi:3: expected ',' or ')'"},
      {"shader \"velvet_red\" \"krel_velvet\" (\n\"diffuse\" ,\n)\n",
       "bad.mi:2: expected a value for \"diffuse\""},
      {"shader \"velvet_red\" \"krel_velvet\" (\n\"diffuse\" 1,\n", "bad.mi:3: expected a"},
      {"shader \"velvet_red\" \"krel_velvet\" ( \"diffuse\" 1,\n\"diffuse\" 2 )\n",
       "bad.mi:2: \"diffuse\" is set twice (first on line 1)"},
      {"shader \"velvet_a_b\" \"krel_velvet\" ( )\n\nshader \"velvet_a-b\" \"krel_velvet\" ( )\n",
       "bad.mi:3: look \"a-b\" is defined twice (first on line 1)"},
      {"shader \"velvet_red\" \"krel_velvet\" ( \"diffuse 1 )\n", "bad.mi:1: unterminated"},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    std::vector<std::pair<std::string, preview::LookSource>> looks;
    std::string error;
    EXPECT_FALSE(preview::parse_mr_looks("bad.mi", text, looks, error));
    EXPECT_EQ(error.rfind(expected, 0), 0u) << error;
  }
}

// What the tool saves reads back as the same values, in both syntaxes.
TEST(LookFiles, SavedLooksReadBackToTheSameValues) {
  std::vector<std::pair<std::string, preview::ParamValue>> values(4);
  values[0].first = "color";
  values[0].second.type = preview::ParamType::Color;
  values[0].second.v[0] = 0.1f;  // not exact in binary: needs its shortest digits
  values[0].second.v[1] = 1e-7f;
  values[0].second.v[2] = 16777216.0f;
  values[1] = {"edginess", {}};
  values[1].second.v[0] = 1.0f / 3.0f;
  values[2] = {"lobe", {}};
  values[2].second.type = preview::ParamType::Boolean;
  values[2].second.b = true;
  values[3] = {"bounces", {}};
  values[3].second.type = preview::ParamType::Integer;
  values[3].second.i = -3;

  preview::LookSource maya;
  std::vector<std::pair<std::string, preview::LookSource>> mr;
  std::string error;
  ASSERT_TRUE(preview::parse_maya_preset("s.mel", preview::maya_preset_text(values), maya, error))
      << error;
  ASSERT_TRUE(preview::parse_mr_looks("s.mi", preview::mr_block_text("my-look", values), mr, error))
      << error;
  ASSERT_EQ(mr.size(), 1u);
  EXPECT_EQ(mr[0].first, "my-look");
  for (const preview::LookSource* source : {&maya, &mr[0].second}) {
    ASSERT_EQ(source->settings.size(), values.size());
    for (std::size_t k = 0; k < values.size(); ++k) {
      SCOPED_TRACE(values[k].first);
      const preview::LookSetting& s = source->settings[k];
      EXPECT_EQ(s.name, values[k].first);
      std::string text;
      for (const std::string& v : s.values) text += (text.empty() ? "" : ",") + v;
      preview::ParamValue back;
      ASSERT_TRUE(preview::parse_value({s.name, values[k].second.type}, text, back, error))
          << error;
      EXPECT_EQ(std::memcmp(back.v, values[k].second.v, sizeof back.v), 0) << text;
      EXPECT_EQ(back.b, values[k].second.b);
      EXPECT_EQ(back.i, values[k].second.i);
    }
  }
  EXPECT_TRUE(preview::valid_look_name("My-look_2"));
  EXPECT_TRUE(preview::valid_look_name(std::string(preview::kMaxLookName, 'a')));
  EXPECT_TRUE(preview::valid_look_name("console"));
  for (const char* bad :
       {"", "2look", "-x", "a b", "a/b", "a\\b", "a.b", "..", "Con", "nul", "com1", "LPT9"}) {
    EXPECT_FALSE(preview::valid_look_name(bad)) << bad;
  }
  EXPECT_FALSE(preview::valid_look_name(std::string(preview::kMaxLookName + 1, 'a')));
}

class LookFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("velvet_looks_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "presets");
    files_ = {(dir_ / "presets").string(), (dir_ / "looks.mi").string(), "test"};
  }
  void TearDown() override { fs::remove_all(dir_); }
  void write(const fs::path& file, const std::string& text) { std::ofstream(dir_ / file) << text; }

  fs::path dir_;
  preview::LookFiles files_;
};

TEST_F(LookFolder, PairsPresetsAndBlocksByNameAndKeepsOneHostLooks) {
  write("presets/red_one.mel", kPreset);
  write("presets/solo.mel", kPreset);
  write("presets/notes.txt", "not a preset");
  write("looks.mi", kBlocks);
  std::vector<preview::NamedLook> looks;
  std::string error;
  ASSERT_TRUE(preview::load_looks(files_, looks, error)) << error;
  ASSERT_EQ(looks.size(), 3u);  // sorted by name
  EXPECT_EQ(looks[0].name, "empty");
  EXPECT_TRUE(!looks[0].maya && looks[0].mr);
  EXPECT_EQ(looks[1].name, "red-one");
  EXPECT_TRUE(looks[1].maya && looks[1].mr);
  EXPECT_EQ(looks[1].maya->file, (dir_ / "presets" / "red_one.mel").string());
  EXPECT_EQ(looks[2].name, "solo");
  EXPECT_TRUE(looks[2].maya && !looks[2].mr);
}

TEST_F(LookFolder, RefusesTwoPresetsForOneLook) {
  write("looks.mi", kBlocks);
  write("presets/red_one.mel", kPreset);
  write("presets/red-one.mel", kPreset);
  std::vector<preview::NamedLook> looks;
  std::string error;
  EXPECT_FALSE(preview::load_looks(files_, looks, error));
  EXPECT_NE(error.find("look \"red-one\" is also"), std::string::npos) << error;
}

}  // namespace
