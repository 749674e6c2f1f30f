#include "tools/preview/render/settings.h"

#include <charconv>
#include <cmath>
#include <sstream>

#include "tools/preview/look/params.h"

namespace preview {

namespace {

// --- values: parsed and checked as the command line has always done ---

bool to_double(const std::string& text, double& out) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, out);
  return !text.empty() && ec == std::errc() && ptr == end && std::isfinite(out);
}

std::string int_in(const char* flag, const std::string& text, int lo, int hi, int& out) {
  return checked_int(flag, text, lo, hi, out);
}

std::string double_in(const char* flag, const std::string& text, double lo, double hi,
                      double& out) {
  double v = 0.0;
  if (!to_double(text, v) || v < lo || v > hi) {
    std::ostringstream msg;
    msg << "--" << flag << " takes a number from " << lo << " to " << hi << ", not '" << text
        << "'";
    return msg.str();
  }
  out = v;
  return "";
}

std::string float_in(const char* flag, const std::string& text, double lo, double hi, float& out) {
  double v = 0.0;
  std::string error = double_in(flag, text, lo, hi, v);
  if (error.empty()) out = static_cast<float>(v);
  return error;
}

// The shortest text that reads back as the same double.
std::string number(double d) {
  char text[32];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, d);
  return ec == std::errc() ? std::string(text, end) : "0";
}

std::string get_size(const SceneOptions& s) {
  return std::to_string(s.width) + "x" + std::to_string(s.height);
}

std::string set_size(SceneOptions& s, const std::string& text) {
  const std::size_t x = text.find('x');
  if (x == std::string::npos) return "--size takes WIDTHxHEIGHT, not '" + text + "'";
  int width = 0, height = 0;
  std::string error = int_in("size", text.substr(0, x), 1, 8192, width);
  if (error.empty()) error = int_in("size", text.substr(x + 1), 1, 8192, height);
  if (!error.empty()) return error;
  s.width = width;
  s.height = height;
  return "";
}

std::string get_shapes(const SceneOptions& s) {
  if (s.plane) return "plane";
  if (s.cloth) return "cloth";
  if (s.cushion) return "cushion";
  return s.sphere && s.torus ? "sphere,torus" : s.sphere ? "sphere" : "torus";
}

// Sphere and torus alone or together, or one of the other shapes alone.
std::string set_shapes(SceneOptions& s, const std::string& text) {
  const std::string usage =
      "--shapes takes sphere, torus or sphere,torus, or one of plane, cloth and cushion, not '" +
      text + "'";
  bool sphere = false, torus = false, plane = false, cloth = false, cushion = false;
  int others = 0;
  std::stringstream in(text);
  std::string part;
  while (std::getline(in, part, ',')) {
    if (part == "sphere") {
      sphere = true;
    } else if (part == "torus") {
      torus = true;
    } else if (part == "plane" || part == "cloth" || part == "cushion") {
      (part == "plane" ? plane : part == "cloth" ? cloth : cushion) = true;
      ++others;
    } else {
      return usage;
    }
  }
  if (!sphere && !torus && others == 0) return "--shapes needs a shape";
  if (others > 1 || (others == 1 && (sphere || torus))) return usage;
  s.sphere = sphere;
  s.torus = torus;
  s.plane = plane;
  s.cloth = cloth;
  s.cushion = cushion;
  return "";
}

std::string get_irradiance(const SceneOptions& s) {
  return format_number(s.irradiance.r) + "," + format_number(s.irradiance.g) + "," +
         format_number(s.irradiance.b);
}

std::string set_irradiance(SceneOptions& s, const std::string& text) {
  ParamValue c;
  std::string error;
  if (!parse_value({"--irradiance", ParamType::Color}, text, c, error) || c.v[0] < 0.0f ||
      c.v[1] < 0.0f || c.v[2] < 0.0f) {
    return "--irradiance takes three numbers of 0 or more, not '" + text + "'";
  }
  s.irradiance = {c.v[0], c.v[1], c.v[2]};
  return "";
}

}  // namespace

const std::vector<SceneSetting>& scene_settings() {
  // Each light's intensity: 0 to 1000 accepted, 0 to 4 on the page's slider.
#define VELVET_LIGHT(member, flag, help, label)                        \
  SceneSetting {                                                       \
    flag, "I", help, "float", label, 0.0, 4.0, true,                   \
        [](const SceneOptions& s) { return format_number(s.member); }, \
        [](SceneOptions& s, const std::string& t) {                    \
          return float_in(flag, t, 0.0, 1000.0, s.member);             \
        }                                                              \
  }
  // A light's direction, in degrees: the page's slider from `lo` to `hi`,
  // accepted from `min` to `max`.
#define VELVET_ANGLE(member, flag, help, label, lo, hi, min, max) \
  SceneSetting {                                                  \
    flag, "DEGREES", help, "float", label, lo, hi, true,          \
        [](const SceneOptions& s) { return number(s.member); },   \
        [](SceneOptions& s, const std::string& t) {               \
          return double_in(flag, t, min, max, s.member);          \
        }                                                         \
  }
  static const std::vector<SceneSetting> kSettings = {
      {"size", "WxH", "size of one host's image", "size", "size of one image", std::nullopt,
       std::nullopt, true, get_size, set_size},
      {"aa", "N", "N x N samples per pixel", "integer", "samples per pixel (N x N)", 1.0, 6.0, true,
       [](const SceneOptions& s) { return std::to_string(s.aa); },
       [](SceneOptions& s, const std::string& t) { return int_in("aa", t, 1, 16, s.aa); }},
      {"shapes", "LIST",
       "sphere, torus or sphere,torus, or one of plane,\ncloth (a curtain in folds) and cushion",
       "shapes", "shapes", std::nullopt, std::nullopt, true, get_shapes, set_shapes},
      // Not a look setting: the page never names a file on this machine.
      {"mesh", "FILE",
       "show a Wavefront OBJ mesh instead of the shapes\n(smooth normals where it has none; at "
       "most\n64 MiB and 2,000,000 triangles)",
       "", "", std::nullopt, std::nullopt, false, [](const SceneOptions& s) { return s.mesh; },
       [](SceneOptions& s, const std::string& t) -> std::string {
         s.mesh = t;  // "": no mesh
         return "";
       }},
      {"fov", "DEGREES",
       "vertical field of view. Shapes other than sphere\nand torus are framed from their bounds: "
       "the\ndistance follows the field of view, or the field\nof view the distance when only "
       "that is given",
       "", "", std::nullopt, std::nullopt, true,
       [](const SceneOptions& s) { return number(s.fov); },
       [](SceneOptions& s, const std::string& t) {
         std::string error = double_in("fov", t, 1.0, 170.0, s.fov);
         if (error.empty()) s.fov_set = true;
         return error;
       }},
      {"distance", "D", "camera distance to the shapes", "", "", std::nullopt, std::nullopt, true,
       [](const SceneOptions& s) { return number(s.distance); },
       [](SceneOptions& s, const std::string& t) {
         std::string error = double_in("distance", t, 3.0, 1000.0, s.distance);
         if (error.empty()) s.distance_set = true;
         return error;
       }},
      {"turntable", "DEGREES", "turn the shapes about the vertical axis", "float", "turntable",
       -180.0, 180.0, true, [](const SceneOptions& s) { return number(s.turntable); },
       [](SceneOptions& s, const std::string& t) {
         return double_in("turntable", t, -360.0, 360.0, s.turntable);
       }},
      VELVET_LIGHT(key, "key", "key light intensity, 0 turns it off", "key light"),
      VELVET_LIGHT(fill, "fill", "fill light intensity, 0 turns it off", "fill light"),
      VELVET_LIGHT(rim, "rim", "rim light intensity, 0 turns it off", "rim light"),
      VELVET_ANGLE(key_azimuth, "key-azimuth",
                   "where the key light stands about the vertical,\nfrom the camera's side "
                   "(positive: to the right)",
                   "key light azimuth", -180.0, 180.0, -360.0, 360.0),
      VELVET_ANGLE(key_elevation, "key-elevation", "the key light's height above the horizon",
                   "key light elevation", -89.0, 89.0, -89.0, 89.0),
      VELVET_ANGLE(rim_azimuth, "rim-azimuth", "where the rim light stands about the vertical",
                   "rim light azimuth", -180.0, 180.0, -360.0, 360.0),
      VELVET_ANGLE(rim_elevation, "rim-elevation", "the rim light's height above the horizon",
                   "rim light elevation", -89.0, 89.0, -89.0, 89.0),
      {"area-samples", "N", "samples of the key area light", "integer", "key light samples", 1.0,
       64.0, true, [](const SceneOptions& s) { return std::to_string(s.area_samples); },
       [](SceneOptions& s, const std::string& t) {
         return int_in("area-samples", t, 1, 1024, s.area_samples);
       }},
      {"irradiance", "R,G,B",
       "irradiance the mental ray renderer reports everywhere,\n"
       "seen when the shader's useIrradiance is on",
       "color", "irradiance (renderers that query it)", std::nullopt, std::nullopt, true,
       get_irradiance, set_irradiance},
  };
#undef VELVET_LIGHT
#undef VELVET_ANGLE
  return kSettings;
}

const SceneSetting* find_scene_setting(std::string_view flag) {
  for (const SceneSetting& s : scene_settings()) {
    if (flag == s.flag) return &s;
  }
  return nullptr;
}

std::string default_text(const SceneSetting& setting) {
  return setting.get(SceneOptions{});
}

std::string scene_flags(const SceneOptions& scene) {
  std::string flags;
  for (const SceneSetting& s : scene_settings()) {
    const std::string value = s.get(scene);
    if (value != default_text(s)) flags += std::string(" --") + s.flag + " " + value;
  }
  return flags;
}

std::string scene_help() {
  constexpr std::size_t kColumn = 23;  // where descriptions start, after "  "
  std::string text;
  for (const SceneSetting& s : scene_settings()) {
    std::string head = std::string("--") + s.flag + " " + s.arg;
    const std::string d = default_text(s);
    std::string help = std::string(s.help) + (d.empty() ? "" : " (default " + d + ")");
    text += "  " + head;
    if (head.size() < kColumn) {
      text += std::string(kColumn - head.size(), ' ');
    } else {
      text += "\n" + std::string(kColumn + 2, ' ');
    }
    for (std::size_t nl; (nl = help.find('\n')) != std::string::npos;) {
      text += help.substr(0, nl) + "\n" + std::string(kColumn + 2, ' ');
      help.erase(0, nl + 1);
    }
    text += help + "\n";
  }
  return text;
}

std::vector<SceneControl> scene_controls() {
  std::vector<SceneControl> controls;
  for (const SceneSetting& s : scene_settings()) {
    if (*s.control == '\0') continue;
    controls.push_back(
        {s.flag, s.control, s.label, default_text(s), s.soft_min, s.soft_max, s.look});
  }
  return controls;
}

}  // namespace preview
