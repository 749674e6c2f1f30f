// The hand-over writers: what an artist pastes into each host, value for
// value as the page shows it.
#include <gtest/gtest.h>

#include "tools/preview/look/handover.h"

namespace {

preview::NamedValues some_values() {
  preview::ParamValue colour{preview::ParamType::Color, {0.6f, 0.1f, 0.25f}};
  preview::ParamValue edge{preview::ParamType::Float, {7.5f, 0.0f, 0.0f}};
  preview::ParamValue flag{preview::ParamType::Boolean};
  flag.b = true;
  return {{"color", colour}, {"edginess", edge}, {"useIrradiance", flag}};
}

TEST(Handover, MelSetsTheSelectedNodeOrANewOne) {
  EXPECT_EQ(preview::mel_handover(some_values()),
            "// velvet-preview look: sets the selected velvet node, or a new one\n"
            "string $sel[] = `ls -selection -type velvet`;\n"
            "string $node;\n"
            "if (size($sel) > 0) $node = $sel[0];\n"
            "else $node = `shadingNode -asShader velvet`;\n"
            "setAttr ($node + \".color\") 0.6 0.1 0.25;\n"
            "setAttr ($node + \".edginess\") 7.5;\n"
            "setAttr ($node + \".useIrradiance\") 1;\n");
}

TEST(Handover, MiIsOneShaderBlockWithEachValue) {
  EXPECT_EQ(preview::mi_handover(some_values()),
            "# velvet-preview look; list your lights in \"light\" [\"name\", ...]\n"
            "shader \"velvetLook\"\n"
            "    \"krel_velvet\" (\n"
            "        \"color\" 0.6 0.1 0.25,\n"
            "        \"edginess\" 7.5,\n"
            "        \"useIrradiance\" on\n"
            "    )\n");
  // No values: an empty block, still well formed.
  EXPECT_EQ(preview::mi_handover({}),
            "# velvet-preview look; list your lights in \"light\" [\"name\", ...]\n"
            "shader \"velvetLook\"\n"
            "    \"krel_velvet\" (\n"
            "\n"
            "    )\n");
}

}  // namespace
