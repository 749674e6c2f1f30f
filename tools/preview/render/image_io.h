// Image files for the preview: sRGB PNGs for people, linear single-precision
// OpenEXR files for inspecting values. Reading and writing only; images made
// from other images (contact sheets, differences) are compose.h's. Included
// by the tool, its tests and the documentation's plot program.
#ifndef VELVET_TOOLS_PREVIEW_RENDER_IMAGE_IO_H
#define VELVET_TOOLS_PREVIEW_RENDER_IMAGE_IO_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/preview/render/image.h"

namespace preview {

// 8-bit sRGB-encoded PNG. Values are clamped to [0, 1]; NaN pixels are
// written magenta so that they cannot pass unnoticed. Written by libpng
// (with an sRGB chunk), or on Windows, where Debian has no MinGW-w64 libpng,
// by stb_image_write (no chunk: readers take 8-bit RGB as sRGB): the same
// pixels, other bytes.
bool write_png(const std::string& path, const Image& image, std::string& error);
// The same PNG, in memory: the bytes write_png() puts in the file.
bool encode_png(const Image& image, std::vector<unsigned char>& out, std::string& error);

// A PNG's pixels as 8-bit RGB codes, row by row, as written (no decoding of
// the transfer curve).
struct Rgb8 {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;  // 3 * width * height
};
bool read_png(const std::string& path, Rgb8& image, std::string& error);
// The same from a PNG file's bytes in memory; messages name `name`.
bool decode_png(const unsigned char* data, std::size_t size, const std::string& name, Rgb8& image,
                std::string& error);

// The largest file read_png() reads whole.
constexpr std::uintmax_t kMaxReadBytes = std::uintmax_t{1} << 30;  // 1 GiB

// Reads the whole file `path` into `out`; false with a message naming it
// when it is missing, unreadable or larger than `max_bytes`.
bool read_file(const std::string& path, std::uintmax_t max_bytes, std::vector<unsigned char>& out,
               std::string& error);

// True when the tool is built with OpenEXR (an optional feature, Debian
// package libopenexr-dev). Without it write_exr and read_exr fail with a
// message saying so, and the tool writes its .png files only.
bool exr_available();

// 32-bit float RGB OpenEXR, linear values exactly as rendered.
bool write_exr(const std::string& path, const Image& image, std::string& error);
// The same file, in memory: the bytes write_exr() puts in the file.
bool encode_exr(const Image& image, std::vector<unsigned char>& out, std::string& error);
// `max_pixels` (0: no limit) refuses a larger file before reading its pixels.
bool read_exr(const std::string& path, Image& image, std::string& error,
              std::size_t max_pixels = 0);
// The same from an OpenEXR file's bytes in memory; messages name `name`.
bool decode_exr(const unsigned char* data, std::size_t size, const std::string& name, Image& image,
                std::string& error, std::size_t max_pixels = 0);

// The sRGB transfer function, linear [0, 1] to an 8-bit code.
unsigned char srgb_byte(float linear);

}  // namespace preview

#endif  // VELVET_TOOLS_PREVIEW_RENDER_IMAGE_IO_H
