// Shared set-up for the krel_velvet tests: a stand-in renderer with the
// built library and host module, its test support, and a few helpers.
#ifndef TESTS_MENTALRAY_HARNESS_H
#define TESTS_MENTALRAY_HARNESS_H

#include <gtest/gtest.h>
#include <mrhost/renderer.h>
#include <mrhost/testing.h>

#include <string>

#include "krel_velvet.h"

namespace mrtest {

inline mrhost::Paths paths() {
  return {KREL_VELVET_LIBRARY, MRHOST_MODULE, KREL_VELVET_DECLARATION, "krel_velvet"};
}

class RendererTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(renderer.open(paths(), &error)) << error;
  }

  mrhost::HostModule& host() { return renderer.host(); }

  // A block whose terms are all off (black colours, zero weights) so that
  // each test switches on only what it looks at.
  mrhost::ParameterBlock black_block(const std::vector<miTag>& lights) {
    mrhost::ParameterBlock block = renderer.make_block(lights);
    krel_velvet_params& p = params(block);
    p.color = p.ambientColor = p.incandescence = p.specularColor = {0.0f, 0.0f, 0.0f, 0.0f};
    p.irradianceColor = {0.0f, 0.0f, 0.0f, 0.0f};
    p.normalOffset = {0.0f, 0.0f, 0.0f};
    p.diffuse = p.edginess = p.specular = 0.0f;
    p.useIrradiance = miFALSE;
    return block;
  }

  static krel_velvet_params& params(mrhost::ParameterBlock& block) {
    return *static_cast<krel_velvet_params*>(block.data());
  }

  // Looking down -z at a surface facing +z.
  miState state(mrhost::ParameterBlock& block, miVector normal = {0.0f, 0.0f, 1.0f},
                miVector dir = {0.0f, 0.0f, -1.0f}) {
    return renderer.make_state(block, {0.0f, 0.0f, 0.0f}, normal, dir);
  }

  miColor shade(mrhost::ParameterBlock& block, miState& st,
                miColor incoming = {0.0f, 0.0f, 0.0f, 0.0f}) {
    miColor result = incoming;
    EXPECT_EQ(renderer.shade(&result, &st, block), 1);
    return result;
  }

  mrhost::Renderer renderer;
};

}  // namespace mrtest

#endif  // TESTS_MENTALRAY_HARNESS_H
