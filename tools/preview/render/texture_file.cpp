#include "tools/preview/render/texture_file.h"

#include <cstring>

#include "tools/preview/render/image_io.h"

namespace preview {

namespace {

bool too_large(const std::string& name, long long width, long long height, std::string& error) {
  if (width < 1 || height < 1 || width > kMaxTextureSide || height > kMaxTextureSide ||
      static_cast<unsigned long long>(width * height) > kMaxTexels) {
    error = "texture " + name + ": " + std::to_string(width) + "x" + std::to_string(height) +
            " is larger than a texture may be (" + std::to_string(kMaxTexels) + " texels, " +
            std::to_string(kMaxTextureSide) + " a side)";
    return true;
  }
  return false;
}

// "cannot read NAME: why" from image_io as "texture NAME: why".
std::string as_texture_error(const std::string& error) {
  return "texture " + error.substr(error.rfind("cannot read ", 0) == 0 ? 12 : 0);
}

// The size comes from the header's IHDR chunk, so that a file too large is
// refused before it is decoded; 8-bit sRGB-encoded RGB whatever the file
// holds (palettes, grey, alpha composed over black, 16-bit).
bool decode_png_texture(const unsigned char* data, std::size_t size, const std::string& name,
                        Texture& out, std::string& error) {
  if (size < 24 || std::memcmp(data + 12, "IHDR", 4) != 0) {
    error = "texture " + name + ": not a readable PNG (no IHDR chunk)";
    return false;
  }
  const auto be32 = [data](int at) {
    return (static_cast<long long>(data[at]) << 24) | (data[at + 1] << 16) | (data[at + 2] << 8) |
           data[at + 3];
  };
  if (too_large(name, be32(16), be32(20), error)) return false;
  Rgb8 image;
  if (!decode_png(data, size, name, image, error)) {
    error = as_texture_error(error);
    return false;
  }
  out.width = image.width;
  out.height = image.height;
  out.rgb.resize(image.rgb.size());
  for (std::size_t k = 0; k < image.rgb.size(); ++k) out.rgb[k] = srgb_to_linear(image.rgb[k]);
  return true;
}

bool decode_exr_texture(const unsigned char* data, std::size_t size, const std::string& name,
                        Texture& out, std::string& error) {
  Image image;
  if (!decode_exr(data, size, name, image, error, kMaxTexels)) {
    error = as_texture_error(error);
    return false;
  }
  if (too_large(name, image.width, image.height, error)) return false;
  out.width = image.width;
  out.height = image.height;
  out.rgb = std::move(image.rgb);
  return true;
}

}  // namespace

bool decode_texture(const unsigned char* data, std::size_t size, const std::string& name,
                    Texture& out, std::string& error) {
  Texture texture;
  texture.file = name;
  static const unsigned char kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  static const unsigned char kExr[4] = {0x76, 0x2f, 0x31, 0x01};
  bool ok;
  if (size >= 8 && std::memcmp(data, kPng, 8) == 0) {
    ok = decode_png_texture(data, size, name, texture, error);
  } else if (size >= 4 && std::memcmp(data, kExr, 4) == 0) {
    ok = decode_exr_texture(data, size, name, texture, error);
  } else {
    error = "texture " + name + ": not an image (a PNG" +
            std::string(exr_available() ? " or an OpenEXR file" : "") + " is needed)";
    ok = false;
  }
  if (ok) out = std::move(texture);
  return ok;
}

bool load_texture(const std::string& path, Texture& out, std::string& error) {
  std::vector<unsigned char> bytes;
  if (!read_file(path, kMaxTextureFileBytes, bytes, error)) {
    error = as_texture_error(error);
    return false;
  }
  return decode_texture(bytes.data(), bytes.size(), path, out, error);
}

}  // namespace preview
