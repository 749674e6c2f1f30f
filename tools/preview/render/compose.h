// Images made from rendered images: contact sheets (a captioned grid of
// cells) and difference images, with the float distances that measure them.
// Pure arithmetic on Image, no files: image_io.h reads and writes them.
// Included by the command line, the live preview and their tests.
#ifndef VELVET_TOOLS_PREVIEW_RENDER_COMPOSE_H
#define VELVET_TOOLS_PREVIEW_RENDER_COMPOSE_H

#include <string>
#include <vector>

#include "tools/preview/render/image.h"

namespace preview {

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

// The difference image for people: scaled so that the largest difference is
// white (unscaled when that is zero, infinite or NaN).
Image shown_difference(const Difference& diff);

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

#endif  // VELVET_TOOLS_PREVIEW_RENDER_COMPOSE_H
