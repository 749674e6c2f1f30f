// Image textures for the material's colour inputs: held as linear RGB and
// looked up by a shape's UVs with bilinear filtering and repeat. The look-up
// is what each host's connection path evaluates per sample: no allocation,
// lock or name on it. Reading them from files is render/texture_file.h's.
#ifndef VELVET_TOOLS_PREVIEW_HOSTS_TEXTURE_H
#define VELVET_TOOLS_PREVIEW_HOSTS_TEXTURE_H

#include <cstddef>
#include <string>
#include <vector>

#include "core/velvet_lobe.h"

namespace preview {

// Largest texture read, in texels (4096 x 4096, or any shape of the same
// area up to kMaxTextureSide a side): 192 MiB of floats at most.
constexpr std::size_t kMaxTexels = std::size_t{4096} * 4096;
constexpr int kMaxTextureSide = 16384;

struct Texture {
  std::string file;  // as the user named it, for messages and hand-overs
  int width = 0;
  int height = 0;
  std::vector<float> rgb;  // linear, row after row from the top

  // The colour at (u, v): u runs left to right, v bottom to top, one image
  // per unit in each, repeating; texel centres at (i + 0.5) / size, blended
  // bilinearly. Non-finite coordinates read as 0.
  core::Color sample(float u, float v) const;
};

// Linear value of an 8-bit sRGB code: the standard sRGB curve.
float srgb_to_linear(unsigned char code);

}  // namespace preview

#endif  // VELVET_TOOLS_PREVIEW_HOSTS_TEXTURE_H
