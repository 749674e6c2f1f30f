// Where an area light is sampled: the one point pattern the stand-in mental
// ray renderer (its rectangle and disc lights) and the preview tool's scene
// (its key light, for hosts that take the samples from the tool) share, so
// that every host sees the light at the same points, to the bit. Header-only;
// any code may include it.
#ifndef HOSTKIT_SAMPLE_POINTS_H
#define HOSTKIT_SAMPLE_POINTS_H

namespace hostkit {

struct SamplePoint {
  float u, v;  // in [0, 1)
};

// Point `i` of `n` of the Hammersley set over the unit square: evenly spread,
// the same on every run and platform. Single precision, in this order, since
// images are compared bit for bit across hosts.
constexpr SamplePoint hammersley(int i, int n) {
  // v is the radical inverse of i in base 2: its bits mirrored.
  unsigned bits = static_cast<unsigned>(i);
  bits = (bits << 16u) | (bits >> 16u);
  bits = ((bits & 0x55555555u) << 1u) | ((bits & 0xAAAAAAAAu) >> 1u);
  bits = ((bits & 0x33333333u) << 2u) | ((bits & 0xCCCCCCCCu) >> 2u);
  bits = ((bits & 0x0F0F0F0Fu) << 4u) | ((bits & 0xF0F0F0F0u) >> 4u);
  bits = ((bits & 0x00FF00FFu) << 8u) | ((bits & 0xFF00FF00u) >> 8u);
  return {(static_cast<float>(i) + 0.5f) / static_cast<float>(n),
          static_cast<float>(bits) * 2.3283064e-10f};
}

}  // namespace hostkit

#endif  // HOSTKIT_SAMPLE_POINTS_H
