// Image files and image arithmetic for the preview: sRGB PNGs for people,
// linear single-precision OpenEXR files for inspecting values, contact sheets
// and difference images.
#ifndef VELVET_TOOLS_PREVIEW_IMAGE_IO_H
#define VELVET_TOOLS_PREVIEW_IMAGE_IO_H

#include <string>
#include <vector>

#include "tools/preview/render.h"

namespace preview {

// 8-bit sRGB-encoded PNG (with an sRGB chunk). Values are clamped to [0, 1];
// NaN pixels are written magenta so that they cannot pass unnoticed.
bool write_png(const std::string& path, const Image& image, std::string& error);

// 32-bit float RGB OpenEXR, linear values exactly as rendered.
bool write_exr(const std::string& path, const Image& image, std::string& error);
bool read_exr(const std::string& path, Image& image, std::string& error);

// The sRGB transfer function, linear [0, 1] to an 8-bit code.
unsigned char srgb_byte(float linear);

// Lays `cells` out in a grid (cells[row][column], all the same size) with a
// gutter of `gap` pixels and `captions` (may be empty) written above each
// column and left of each row.
Image contact_sheet(const std::vector<std::vector<Image>>& cells,
                    const std::vector<std::string>& column_captions,
                    const std::vector<std::string>& row_captions, int gap);

struct Difference {
  Image image;                 // |a - b| per channel
  float largest = 0.0f;        // largest absolute difference of any channel
  int x = 0, y = 0;            // where it is
  long long largest_ulps = 0;  // largest distance in units in the last place
};

// a and b must have the same size.
Difference difference(const Image& a, const Image& b);

// Distance between two floats in units in the last place (the number of
// representable floats between them); NaN against anything else counts as
// the largest distance.
long long ulp_distance(float a, float b);

}  // namespace preview

#endif  // VELVET_TOOLS_PREVIEW_IMAGE_IO_H
