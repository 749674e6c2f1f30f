#include "tools/preview/render/texture_file.h"

#if !defined(VELVET_PREVIEW_PNG_STB)
#include <png.h>
#endif

#include <cstring>
#include <filesystem>
#include <fstream>

#include "tools/preview/render/image_io.h"

namespace preview {

namespace {

bool too_large(const std::string& path, long long width, long long height, std::string& error) {
  if (width < 1 || height < 1 || width > kMaxTextureSide || height > kMaxTextureSide ||
      static_cast<unsigned long long>(width * height) > kMaxTexels) {
    error = "texture " + path + ": " + std::to_string(width) + "x" + std::to_string(height) +
            " is larger than a texture may be (" + std::to_string(kMaxTexels) + " texels, " +
            std::to_string(kMaxTextureSide) + " a side)";
    return true;
  }
  return false;
}

#if defined(VELVET_PREVIEW_PNG_STB)
// Without libpng (Windows) the size comes from the header's IHDR chunk, so
// that a file too large is refused before it is decoded; image_io decodes
// it to 8-bit RGB.
bool load_png(const std::string& path, Texture& out, std::string& error) {
  std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
  unsigned char head[24] = {};
  in.read(reinterpret_cast<char*>(head), sizeof head);
  if (in.gcount() != sizeof head || std::memcmp(head + 12, "IHDR", 4) != 0) {
    error = "texture " + path + ": not a readable PNG (no IHDR chunk)";
    return false;
  }
  const auto be32 = [&head](int at) {
    return (static_cast<long long>(head[at]) << 24) | (head[at + 1] << 16) | (head[at + 2] << 8) |
           head[at + 3];
  };
  if (too_large(path, be32(16), be32(20), error)) return false;
  in.close();
  Rgb8 image;
  if (!read_png(path, image, error)) {
    error = "texture " + error.substr(error.rfind("cannot read ", 0) == 0 ? 12 : 0);
    return false;
  }
  out.width = image.width;
  out.height = image.height;
  out.rgb.resize(image.rgb.size());
  for (std::size_t k = 0; k < image.rgb.size(); ++k) out.rgb[k] = srgb_to_linear(image.rgb[k]);
  return true;
}
#else
bool load_png(const std::string& path, Texture& out, std::string& error) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path.c_str())) {
    error = "texture " + path + ": not a readable PNG (" + png.message + ")";
    return false;
  }
  if (too_large(path, png.width, png.height, error)) {
    png_image_free(&png);
    return false;
  }
  // 8-bit sRGB-encoded RGB whatever the file holds: libpng converts palettes,
  // grey, alpha (composed over black) and 16-bit files.
  png.format = PNG_FORMAT_RGB;
  std::vector<unsigned char> bytes(PNG_IMAGE_SIZE(png));
  if (!png_image_finish_read(&png, nullptr, bytes.data(), 0, nullptr)) {
    error = "texture " + path + ": cannot read the PNG (" + png.message + ")";
    png_image_free(&png);
    return false;
  }
  out.width = static_cast<int>(png.width);
  out.height = static_cast<int>(png.height);
  out.rgb.resize(bytes.size());
  for (std::size_t k = 0; k < bytes.size(); ++k) out.rgb[k] = srgb_to_linear(bytes[k]);
  return true;
}
#endif

bool load_exr_texture(const std::string& path, Texture& out, std::string& error) {
  Image image;
  if (!read_exr(path, image, error, kMaxTexels)) {
    error = "texture " + error.substr(error.rfind("cannot read ", 0) == 0 ? 12 : 0);
    return false;
  }
  if (too_large(path, image.width, image.height, error)) return false;
  out.width = image.width;
  out.height = image.height;
  out.rgb = std::move(image.rgb);
  return true;
}

}  // namespace

bool load_texture(const std::string& path, Texture& out, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "texture " + path + ": cannot open the file";
    return false;
  }
  unsigned char magic[8] = {};
  in.read(reinterpret_cast<char*>(magic), sizeof magic);
  const std::streamsize got = in.gcount();
  in.close();
  Texture texture;
  texture.file = path;
  static const unsigned char kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  static const unsigned char kExr[4] = {0x76, 0x2f, 0x31, 0x01};
  bool ok;
  if (got == 8 && std::memcmp(magic, kPng, 8) == 0) {
    ok = load_png(path, texture, error);
  } else if (got >= 4 && std::memcmp(magic, kExr, 4) == 0) {
    ok = load_exr_texture(path, texture, error);
  } else {
    error = "texture " + path + ": not an image (a PNG" +
            std::string(exr_available() ? " or an OpenEXR file" : "") + " is needed)";
    ok = false;
  }
  if (ok) out = std::move(texture);
  return ok;
}

}  // namespace preview
