#include "tools/preview/hosts/texture.h"

#include <cmath>

namespace preview {

namespace {

// Texel index `i` wrapped into [0, n).
int wrap(int i, int n) {
  const int r = i % n;
  return r < 0 ? r + n : r;
}

// The position of (u or v) on the texel grid: its lower texel and the weight
// of the next one.
void texel_of(float t, int n, int& i, float& f) {
  if (!std::isfinite(t)) t = 0.0f;
  // Repeat first, so that huge coordinates keep their fraction exactly.
  t -= std::floor(t);
  const float x = t * static_cast<float>(n) - 0.5f;
  const float fl = std::floor(x);
  i = wrap(static_cast<int>(fl), n);
  f = x - fl;
}

}  // namespace

float srgb_to_linear(unsigned char code) {
  const double c = code / 255.0;
  const double linear = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  return static_cast<float>(linear);
}

core::Color Texture::sample(float u, float v) const {
  int x0, y0;
  float fx, fy;
  texel_of(u, width, x0, fx);
  // Rows run from the top; v from the bottom.
  texel_of(1.0f - v, height, y0, fy);
  const int x1 = wrap(x0 + 1, width);
  const int y1 = wrap(y0 + 1, height);
  const auto at = [&](int x, int y) { return &rgb[(static_cast<std::size_t>(y) * width + x) * 3]; };
  const float* a = at(x0, y0);
  const float* b = at(x1, y0);
  const float* c = at(x0, y1);
  const float* d = at(x1, y1);
  float result[3];
  for (int k = 0; k < 3; ++k) {
    const float top = a[k] + (b[k] - a[k]) * fx;
    const float bottom = c[k] + (d[k] - c[k]) * fx;
    result[k] = top + (bottom - top) * fy;
  }
  return {result[0], result[1], result[2]};
}

}  // namespace preview
