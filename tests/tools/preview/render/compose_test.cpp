// Images made from rendered images: contact sheets place every cell bit for
// bit, and difference images find the largest difference and measure it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "tools/preview/render/compose.h"
#include "tools/preview/render/font.h"

namespace {

using preview::Image;

constexpr float kNan = std::numeric_limits<float>::quiet_NaN();
constexpr float kGutter = 0.005f;  // the sheet's background
constexpr float kInk = 0.55f;      // the captions' grey

// A cell whose every channel value differs from every other cell's, so that a
// misplaced or mixed-up cell cannot pass.
Image numbered_cell(int w, int h, int index) {
  Image cell(w, h);
  for (std::size_t i = 0; i < cell.rgb.size(); ++i) {
    cell.rgb[i] = static_cast<float>(index * 1000 + static_cast<int>(i)) + 0.25f;
  }
  return cell;
}

bool holds_cell_at(const Image& sheet, const Image& cell, int x0, int y0) {
  for (int y = 0; y < cell.height; ++y) {
    if (std::memcmp(sheet.pixel(x0, y0 + y), cell.pixel(0, y), sizeof(float) * 3 * cell.width) !=
        0) {
      return false;
    }
  }
  return true;
}

std::vector<std::vector<Image>> grid(int rows, int columns, int w, int h) {
  std::vector<std::vector<Image>> cells(rows);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) cells[r].push_back(numbered_cell(w, h, r * columns + c));
  }
  return cells;
}

TEST(ContactSheet, PlacesEachCellBitForBitBetweenGutters) {
  const int w = 5, h = 3, gap = 2;
  const auto cells = grid(2, 3, w, h);
  const Image sheet = preview::contact_sheet(cells, {}, {}, gap);
  ASSERT_EQ(sheet.width, 3 * w + 4 * gap);
  ASSERT_EQ(sheet.height, 2 * h + 3 * gap);
  for (int r = 0; r < 2; ++r) {
    for (int c = 0; c < 3; ++c) {
      EXPECT_TRUE(holds_cell_at(sheet, cells[r][c], gap + c * (w + gap), gap + r * (h + gap)))
          << "row " << r << ", column " << c;
    }
  }
  // The gutters: the first column and the row between the cells.
  for (int y = 0; y < sheet.height; ++y) EXPECT_EQ(sheet.pixel(0, y)[1], kGutter) << y;
  for (int x = 0; x < sheet.width; ++x) EXPECT_EQ(sheet.pixel(x, gap + h)[0], kGutter) << x;
}

TEST(ContactSheet, CaptionsMakeRoomAboveAndLeftAndAreDrawnThere) {
  const int w = 40, h = 20, gap = 6;
  const auto cells = grid(2, 2, w, h);
  const Image sheet = preview::contact_sheet(cells, {"a=1", "a=2"}, {"maya", "mr"}, gap);
  // Two pixels a font pixel; the longest row caption sets the left margin.
  const int advance = (preview::kGlyphWidth + 1) * 2;
  const int left = 4 * advance + gap;
  const int top = preview::kGlyphHeight * 2 + 2 * gap;
  ASSERT_EQ(sheet.width, left + 2 * w + 3 * gap);
  ASSERT_EQ(sheet.height, top + 2 * h + 3 * gap);
  for (int r = 0; r < 2; ++r) {
    for (int c = 0; c < 2; ++c) {
      EXPECT_TRUE(
          holds_cell_at(sheet, cells[r][c], left + gap + c * (w + gap), top + gap + r * (h + gap)))
          << "row " << r << ", column " << c;
    }
  }
  const auto inked = [&](int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) n += sheet.pixel(x, y)[0] == kInk;
    }
    return n;
  };
  EXPECT_GT(inked(left, 0, sheet.width, top), 0);                 // column captions
  EXPECT_GT(inked(0, top + gap, left, top + gap + h), 0);         // first row's caption
  EXPECT_GT(inked(0, top + 2 * gap + h, left, sheet.height), 0);  // second row's
  EXPECT_EQ(inked(0, 0, left, top), 0);                           // the corner stays empty
}

TEST(ContactSheet, ACaptionTooLongForItsColumnIsCutNotSpilled) {
  const int w = 30, gap = 4;
  const auto cells = grid(1, 2, w, 10);
  const Image sheet = preview::contact_sheet(cells, {"a-caption-far-too-long", ""}, {}, gap);
  // Nothing of the first caption over the second column.
  for (int y = 0; y < gap + preview::kGlyphHeight * 2; ++y) {
    for (int x = 2 * gap + w; x < sheet.width; ++x) EXPECT_NE(sheet.pixel(x, y)[0], kInk) << x;
  }
}

TEST(ContactSheet, NoCellsMakeAnEmptyImage) {
  EXPECT_EQ(preview::contact_sheet({}, {}, {}, 6).rgb.size(), 0u);
  EXPECT_EQ(preview::contact_sheet({{}}, {}, {"maya"}, 6).rgb.size(), 0u);
}

TEST(DifferenceImage, FindsTheLargestDifferenceAndWhereItIs) {
  Image a(3, 2), b(3, 2);
  a.pixel(2, 1)[1] = 0.75f;
  b.pixel(0, 1)[2] = 0.25f;
  const preview::Difference d = preview::difference(a, b);
  EXPECT_EQ(d.largest, 0.75f);
  EXPECT_EQ(d.x, 2);
  EXPECT_EQ(d.y, 1);
  EXPECT_EQ(d.image.pixel(0, 1)[2], 0.25f);
  EXPECT_DOUBLE_EQ(d.identical, 16.0 / 18.0);
  // Scaled for people: the largest is white, the rest in proportion.
  const Image shown = preview::shown_difference(d);
  EXPECT_EQ(shown.pixel(2, 1)[1], 1.0f);
  EXPECT_EQ(shown.pixel(0, 1)[2], 0.25f / 0.75f);
}

TEST(DifferenceImage, NanOutranksEveryNumberAndIsShownUnscaled) {
  Image a(2, 1), b(2, 1);
  a.pixel(0, 0)[0] = 5.0f;
  a.pixel(1, 0)[2] = kNan;
  const preview::Difference d = preview::difference(a, b);
  EXPECT_TRUE(std::isnan(d.largest));
  EXPECT_EQ(d.x, 1);
  EXPECT_EQ(preview::shown_difference(d).pixel(0, 0)[0], 5.0f);
}

TEST(DifferenceImage, IdenticalImagesDifferNowhere) {
  const Image a = numbered_cell(4, 3, 1);
  const preview::Difference d = preview::difference(a, a);
  EXPECT_EQ(d.largest, 0.0f);
  EXPECT_EQ(d.largest_ulps, 0.0);
  EXPECT_EQ(d.identical, 1.0);
  EXPECT_EQ(preview::shown_difference(d).rgb, d.image.rgb);
}

TEST(UlpDistance, CountsRepresentableFloatsAcrossZero) {
  EXPECT_EQ(preview::ulp_distance(1.0f, 1.0f), 0);
  EXPECT_EQ(preview::ulp_distance(1.0f, std::nextafter(1.0f, 2.0f)), 1);
  EXPECT_EQ(preview::ulp_distance(0.0f, -0.0f), 0);
  const float tiny = std::numeric_limits<float>::denorm_min();
  EXPECT_EQ(preview::ulp_distance(-tiny, tiny), 2);
  EXPECT_EQ(preview::ulp_distance(std::numeric_limits<float>::quiet_NaN(), 1.0f),
            std::numeric_limits<long long>::max());
}

TEST(UlpDifference, MeasuresAtTheLargerValueAndNoFinerThanASixteenth) {
  EXPECT_EQ(preview::ulp_difference(1.0f, std::nextafter(1.0f, 2.0f)), 1.0);
  EXPECT_EQ(preview::ulp_difference(std::nextafter(1.0f, 2.0f), 1.0f), 1.0);
  // Below 1/16 one ulp of 1/16 is many ulps of the value itself.
  const float tiny = 1e-6f;
  EXPECT_LT(preview::ulp_difference(tiny, std::nextafter(tiny, 1.0f)), 1.0);
  EXPECT_EQ(preview::ulp_difference(kNan, kNan), 0.0);
  EXPECT_TRUE(std::isinf(preview::ulp_difference(kNan, 0.0f)));
}

}  // namespace
