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
// The same PNG, in memory: the bytes write_png() puts in the file.
bool encode_png(const Image& image, std::vector<unsigned char>& out, std::string& error);

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
  Image image;                // |a - b| per channel
  float largest = 0.0f;       // largest absolute difference of any channel
  int x = 0, y = 0;           // where it is
  double largest_ulps = 0.0;  // largest difference in ulps, as ulp_difference() counts
  double identical = 0.0;     // share of channels with the same bits
};

// a and b must have the same size.
Difference difference(const Image& a, const Image& b);

// Distance between two floats in units in the last place (the number of
// representable floats between them); NaN against anything else counts as
// the largest distance.
long long ulp_distance(float a, float b);

// |a - b| in units in the last place of the larger of |a|, |b| and 1/16.
// Values below 1/16 are measured at 1/16's ulp: there the lobe's powers
// magnify a one-ulp change of a vector into many ulps of a tiny value that
// no image can show.
double ulp_difference(float a, float b);

}  // namespace preview

#endif  // VELVET_TOOLS_PREVIEW_IMAGE_IO_H
