#include "tools/preview/render/compose.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "tools/preview/render/font.h"

namespace preview {

namespace {

constexpr int kTextScale = 2;
constexpr int kTextHeight = kGlyphHeight * kTextScale;
constexpr int kCharAdvance = (kGlyphWidth + 1) * kTextScale;

void draw_text(Image& image, int x, int y, const std::string& text, int max_width) {
  const float ink = 0.55f;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const int cx = x + static_cast<int>(i) * kCharAdvance;
    if (cx + kGlyphWidth * kTextScale > x + max_width) return;
    const unsigned char* rows = glyph(text[i]);
    for (int gy = 0; gy < kGlyphHeight * kTextScale; ++gy) {
      for (int gx = 0; gx < kGlyphWidth * kTextScale; ++gx) {
        if (!(rows[gy / kTextScale] & (0x10 >> (gx / kTextScale)))) continue;
        const int px = cx + gx, py = y + gy;
        if (px < 0 || py < 0 || px >= image.width || py >= image.height) continue;
        float* p = image.pixel(px, py);
        p[0] = p[1] = p[2] = ink;
      }
    }
  }
}

}  // namespace

Image contact_sheet(const std::vector<std::vector<Image>>& cells,
                    const std::vector<std::string>& column_captions,
                    const std::vector<std::string>& row_captions, int gap) {
  const int rows = static_cast<int>(cells.size());
  const int columns = rows > 0 ? static_cast<int>(cells[0].size()) : 0;
  if (rows == 0 || columns == 0) return Image();
  const int cw = cells[0][0].width, ch = cells[0][0].height;

  int left = 0, top = 0;
  for (const std::string& caption : row_captions) {
    left = std::max(left, static_cast<int>(caption.size()) * kCharAdvance + gap);
  }
  if (!column_captions.empty()) top = kTextHeight + 2 * gap;

  Image sheet(left + columns * cw + (columns + 1) * gap, top + rows * ch + (rows + 1) * gap);
  for (std::size_t i = 0; i < sheet.rgb.size(); ++i) sheet.rgb[i] = 0.005f;
  for (int r = 0; r < rows; ++r) {
    const int y0 = top + gap + r * (ch + gap);
    if (r < static_cast<int>(row_captions.size())) {
      draw_text(sheet, gap, y0 + (ch - kTextHeight) / 2, row_captions[r], left);
    }
    for (int c = 0; c < columns; ++c) {
      const int x0 = left + gap + c * (cw + gap);
      const Image& cell = cells[r][c];
      for (int y = 0; y < ch; ++y) {
        std::memcpy(sheet.pixel(x0, y0 + y), cell.pixel(0, y), sizeof(float) * 3 * cw);
      }
    }
  }
  for (int c = 0; c < columns && c < static_cast<int>(column_captions.size()); ++c) {
    draw_text(sheet, left + gap + c * (cw + gap), gap, column_captions[c], cw);
  }
  return sheet;
}

long long ulp_distance(float a, float b) {
  if (std::isnan(a) || std::isnan(b)) {
    return std::isnan(a) && std::isnan(b) ? 0 : std::numeric_limits<long long>::max();
  }
  // Map the floats onto a line of integers where neighbours differ by one
  // and -0 meets +0.
  const auto key = [](float f) {
    std::int32_t i;
    std::memcpy(&i, &f, sizeof i);
    return i < 0 ? static_cast<long long>(INT32_MIN) - i : static_cast<long long>(i);
  };
  const long long d = key(a) - key(b);
  return d < 0 ? -d : d;
}

double ulp_difference(float a, float b) {
  if (std::isnan(a) || std::isnan(b)) {
    return std::isnan(a) && std::isnan(b) ? 0.0 : std::numeric_limits<double>::infinity();
  }
  const float scale = std::max({std::fabs(a), std::fabs(b), 1.0f / 16.0f});
  const double ulp = static_cast<double>(std::nextafter(scale, std::numeric_limits<float>::max())) -
                     static_cast<double>(scale);
  return std::fabs(static_cast<double>(a) - static_cast<double>(b)) / ulp;
}

Difference difference(const Image& a, const Image& b) {
  Difference diff;
  diff.image = Image(a.width, a.height);
  std::size_t same = 0;
  for (int y = 0; y < a.height; ++y) {
    for (int x = 0; x < a.width; ++x) {
      const float* pa = a.pixel(x, y);
      const float* pb = b.pixel(x, y);
      float* out = diff.image.pixel(x, y);
      for (int c = 0; c < 3; ++c) {
        out[c] = std::fabs(pa[c] - pb[c]);
        same += ulp_distance(pa[c], pb[c]) == 0;
        if (out[c] > diff.largest || (std::isnan(out[c]) && !std::isnan(diff.largest))) {
          diff.largest = out[c];
          diff.x = x;
          diff.y = y;
        }
        diff.largest_ulps = std::max(diff.largest_ulps, ulp_difference(pa[c], pb[c]));
      }
    }
  }
  diff.identical = a.rgb.empty() ? 1.0 : static_cast<double>(same) / a.rgb.size();
  return diff;
}

Image shown_difference(const Difference& diff) {
  Image shown = diff.image;
  if (diff.largest > 0.0f && std::isfinite(diff.largest)) {
    for (float& v : shown.rgb) v /= diff.largest;
  }
  return shown;
}

}  // namespace preview
