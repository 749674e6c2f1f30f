// The area lights' sample points: centred in u, the radical inverse of the
// index in v.
#include <gtest/gtest.h>
#include <hostkit/sample_points.h>

namespace {

TEST(SamplePoints, SpreadUInCellsAndVByMirroredBits) {
  const float v[] = {0.0f, 0.5f, 0.25f, 0.75f, 0.125f, 0.625f, 0.375f, 0.875f};
  for (int i = 0; i < 8; ++i) {
    const hostkit::SamplePoint p = hostkit::hammersley(i, 8);
    EXPECT_EQ(p.u, (static_cast<float>(i) + 0.5f) / 8.0f) << i;
    EXPECT_EQ(p.v, v[i]) << i;
  }
}

}  // namespace
