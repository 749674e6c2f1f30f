// velvet-lobe-plot: plots core::velvet_lobe against angle, for the user
// guide's page on the lobe. Two panels, both in the plane of incidence with
// a white light and a white lobe colour:
//   left:  the viewer 30 degrees off the normal, the light swept from one
//          horizon to the other; the back-scatter peak sits where the light
//          meets the viewer, for several roughness values;
//   right: the light on the normal, the viewer swept from the normal to the
//          horizon; the edge sheen rises towards grazing views, for several
//          edginess values.
//
//   velvet-lobe-plot OUT.png
#include <cmath>
#include <iostream>
#include <string>
#include <vector>

#include "core/velvet_lobe.h"
#include "tools/preview/render/font.h"
#include "tools/preview/render/image_io.h"

namespace {

using preview::Image;

constexpr double kPi = 3.14159265358979323846;
constexpr int kScale = 2;  // text scale

struct Rgb {
  float r, g, b;
};

void dot(Image& im, int x, int y, Rgb c) {
  if (x < 0 || y < 0 || x >= im.width || y >= im.height) return;
  float* p = im.pixel(x, y);
  p[0] = c.r;
  p[1] = c.g;
  p[2] = c.b;
}

void text(Image& im, int x, int y, const std::string& s, Rgb c) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    const unsigned char* rows = preview::glyph(s[i]);
    const int cx = x + static_cast<int>(i) * (preview::kGlyphWidth + 1) * kScale;
    for (int gy = 0; gy < preview::kGlyphHeight * kScale; ++gy) {
      for (int gx = 0; gx < preview::kGlyphWidth * kScale; ++gx) {
        if (rows[gy / kScale] & (0x10 >> (gx / kScale))) dot(im, cx + gx, y + gy, c);
      }
    }
  }
}

void line(Image& im, double x0, double y0, double x1, double y1, Rgb c, int width) {
  const int steps = static_cast<int>(std::ceil(std::max(std::fabs(x1 - x0), std::fabs(y1 - y0))));
  for (int i = 0; i <= steps; ++i) {
    const double t = steps == 0 ? 0.0 : static_cast<double>(i) / steps;
    const int x = static_cast<int>(std::lround(x0 + (x1 - x0) * t));
    const int y = static_cast<int>(std::lround(y0 + (y1 - y0) * t));
    for (int dy = 0; dy < width; ++dy) {
      for (int dx = 0; dx < width; ++dx) dot(im, x + dx - width / 2, y + dy - width / 2, c);
    }
  }
}

// Unit vector in the plane of incidence, `degrees` from the normal (+z);
// positive angles lie on the viewer's side.
core::Vector at(double degrees) {
  const double a = degrees * kPi / 180.0;
  return {static_cast<float>(std::sin(a)), 0.0f, static_cast<float>(std::cos(a))};
}

float lobe(double view_deg, double light_deg, float roughness, float edginess, float backscatter) {
  core::Color result{0.0f, 0.0f, 0.0f};
  core::velvet_lobe(at(view_deg), {0.0f, 0.0f, 1.0f}, at(light_deg), {1.0f, 1.0f, 1.0f},
                    {1.0f, 1.0f, 1.0f}, result, roughness, edginess, backscatter);
  return result.r;
}

struct Curve {
  std::string label;
  Rgb colour;
  std::vector<double> x, y;
};

// One panel: axes from (x_lo, 0) to (x_hi, y_hi) with ticks every x_tick,
// the curves and a legend.
void panel(Image& im, int left, int top, int w, int h, const std::string& title,
           const std::string& x_label, double x_lo, double x_hi, double x_tick, double y_hi,
           const std::vector<Curve>& curves) {
  const Rgb axis{0.35f, 0.35f, 0.35f}, ink{0.8f, 0.8f, 0.8f};
  const int ox = left + 40, oy = top + h - 40, pw = w - 50, ph = h - 80;
  const auto px = [&](double x) { return ox + (x - x_lo) / (x_hi - x_lo) * pw; };
  const auto py = [&](double y) { return oy - y / y_hi * ph; };
  text(im, left + 10, top + 6, title, ink);
  line(im, ox, oy, ox + pw, oy, axis, 1);
  line(im, ox, oy, ox, oy - ph, axis, 1);
  for (double x = x_lo; x <= x_hi + 1e-9; x += x_tick) {
    line(im, px(x), oy, px(x), oy + 4, axis, 1);
    const std::string t = std::to_string(static_cast<int>(std::lround(x)));
    text(im, static_cast<int>(px(x)) - static_cast<int>(t.size()) * 6, oy + 8, t, axis);
  }
  for (double y = 0.0; y <= y_hi + 1e-9; y += y_hi / 4.0) {
    line(im, ox - 4, py(y), ox, py(y), axis, 1);
    std::string t = std::to_string(y);
    t.resize(4);
    text(im, left - 12, static_cast<int>(py(y)) - 7, t, axis);
  }
  text(im, ox + pw - static_cast<int>(x_label.size()) * 12, oy + 24, x_label, axis);
  int ly = top + 30;
  for (const Curve& c : curves) {
    for (std::size_t i = 1; i < c.x.size(); ++i) {
      line(im, px(c.x[i - 1]), py(std::min(c.y[i - 1], y_hi)), px(c.x[i]),
           py(std::min(c.y[i], y_hi)), c.colour, 2);
    }
    // Top left: every curve here is low towards the left end.
    line(im, ox + 12, ly + 7, ox + 32, ly + 7, c.colour, 3);
    text(im, ox + 38, ly, c.label, c.colour);
    ly += 18;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: velvet-lobe-plot OUT.png\n";
    return 2;
  }
  const Rgb colours[] = {
      {0.95f, 0.35f, 0.3f}, {0.95f, 0.75f, 0.25f}, {0.4f, 0.8f, 0.4f}, {0.4f, 0.6f, 1.0f}};
  const double view = 30.0;

  // Left: light swept, viewer fixed; back-scatter 1 so that the peak is 1.
  std::vector<Curve> left;
  const float roughness[] = {0.05f, 0.1f, 0.2f, 0.5f};
  for (int k = 0; k < 4; ++k) {
    Curve c{"roughness " + std::string(k == 0   ? "0.05"
                                       : k == 1 ? "0.1"
                                       : k == 2 ? "0.2"
                                                : "0.5"),
            colours[k],
            {},
            {}};
    for (double a = -90.0; a <= 90.0; a += 0.5) {
      c.x.push_back(a);
      c.y.push_back(lobe(view, a, roughness[k], 10.0f, 1.0f));
    }
    left.push_back(std::move(c));
  }

  // Right: viewer swept, light on the normal; no back-scatter, edge only.
  std::vector<Curve> right;
  const float edginess[] = {1.0f, 3.0f, 10.0f, 30.0f};
  for (int k = 0; k < 4; ++k) {
    Curve c{"edginess " + std::to_string(static_cast<int>(edginess[k])), colours[k], {}, {}};
    for (double a = 0.0; a <= 90.0; a += 0.25) {
      c.x.push_back(a);
      c.y.push_back(lobe(a, 0.0, 0.1f, edginess[k], 0.0f));
    }
    right.push_back(std::move(c));
  }

  Image im(1000, 380);
  for (float& v : im.rgb) v = 0.012f;
  panel(im, 20, 10, 480, 360, "back-scatter, viewer at 30", "light angle", -90.0, 90.0, 30.0, 1.0,
        left);
  panel(im, 520, 10, 460, 360, "edge sheen, light on normal", "view angle", 0.0, 90.0, 15.0, 1.0,
        right);

  std::string error;
  if (!preview::write_png(argv[1], im, error)) {
    std::cerr << "velvet-lobe-plot: " << error << "\n";
    return 1;
  }
  return 0;
}
