// An image as the preview renders it: linear RGB floats. The value type
// alone, so that image files, composing and the live page need nothing of
// the scene or the hosts.
#ifndef VELVET_TOOLS_PREVIEW_RENDER_IMAGE_H
#define VELVET_TOOLS_PREVIEW_RENDER_IMAGE_H

#include <cstddef>
#include <vector>

namespace preview {

// Linear RGB, row after row from the top.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<float> rgb;

  Image() = default;
  Image(int w, int h) : width(w), height(h), rgb(static_cast<std::size_t>(w) * h * 3, 0.0f) {}
  float* pixel(int x, int y) { return &rgb[(static_cast<std::size_t>(y) * width + x) * 3]; }
  const float* pixel(int x, int y) const {
    return &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
  }
};

}  // namespace preview

#endif  // VELVET_TOOLS_PREVIEW_RENDER_IMAGE_H
