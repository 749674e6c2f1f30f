// The shader renders the lobe shape that krel_velvet_lobe.h declares, which is
// what other hosts are handed to render the same lobe: a shape kept anywhere
// else in the shader would make them diverge.
#include "core/velvet_lobe.h"
#include "harness.h"
#include "krel_velvet_lobe.h"

namespace {

class LobeShape : public mrtest::RendererTest {};

TEST_F(LobeShape, TheShaderRendersTheDeclaredShape) {
  const miColor white{1.0f, 1.0f, 1.0f, 1.0f};
  const miVector L{0.0f, 0.6f, 0.8f};
  auto block = black_block({host().add_light({{white, L}})});
  auto& p = params(block);
  p.specularColor = white;
  p.edginess = 3.0f;
  p.specular = 1.0f;
  // Seen at a slant, with the light behind the viewer: both the back-scatter
  // and the edge term are lit, so both constants shape the value.
  const miVector dir{0.6f, 0.0f, -0.8f};
  miState st = state(block, {0.0f, 0.0f, 1.0f}, dir);
  const miColor c = shade(block, st);

  const core::Vector V{-dir.x, -dir.y, -dir.z}, N{0.0f, 0.0f, 1.0f}, Lc{L.x, L.y, L.z};
  const auto lobe = [&](float roughness, float backscatter) {
    core::Color out;
    core::velvet_lobe(V, N, Lc, {1.0f, 1.0f, 1.0f}, {1.0f, 1.0f, 1.0f}, out, roughness, 3.0f,
                      backscatter);
    return out.r;
  };
  using krel_velvet_lobe::kBackscatter;
  using krel_velvet_lobe::kRoughness;
  EXPECT_EQ(c.r, lobe(kRoughness, kBackscatter));
  EXPECT_EQ(c.g, c.r);
  EXPECT_EQ(c.b, c.r);
  // Another roughness or back-scatter would show.
  EXPECT_NE(c.r, lobe(kRoughness * 1.5f, kBackscatter));
  EXPECT_NE(c.r, lobe(kRoughness, kBackscatter * 1.5f));
}

}  // namespace
