#include "tools/preview/render/image_io.h"

#if defined(VELVET_PREVIEW_PNG_STB)
// stb's implementations live in this file only.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#include <stb_image.h>
#include <stb_image_write.h>

#else
#include <png.h>
#endif

#if defined(VELVET_PREVIEW_WITH_EXR)
#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfIO.h>
#include <OpenEXR/ImfInputFile.h>
#include <OpenEXR/ImfOutputFile.h>
#endif

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace preview {

unsigned char srgb_byte(float linear) {
  if (!(linear > 0.0f)) return 0;
  if (linear >= 1.0f) return 255;
  const double v = linear <= 0.0031308
                       ? 12.92 * linear
                       : 1.055 * std::pow(static_cast<double>(linear), 1.0 / 2.4) - 0.055;
  return static_cast<unsigned char>(std::lround(v * 255.0));
}

namespace {

// 8-bit sRGB codes, NaN pixels magenta.
std::vector<unsigned char> srgb_bytes(const Image& image) {
  std::vector<unsigned char> bytes(image.rgb.size());
  for (std::size_t i = 0; i < image.rgb.size(); i += 3) {
    const float* p = &image.rgb[i];
    if (std::isnan(p[0]) || std::isnan(p[1]) || std::isnan(p[2])) {
      bytes[i] = 255;
      bytes[i + 1] = 0;
      bytes[i + 2] = 255;
      continue;
    }
    for (int c = 0; c < 3; ++c) bytes[i + c] = srgb_byte(p[c]);
  }
  return bytes;
}

#if defined(VELVET_PREVIEW_PNG_STB)

void append_bytes(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<unsigned char>*>(context);
  const auto* bytes = static_cast<const unsigned char*>(data);
  out->insert(out->end(), bytes, bytes + size);
}

}  // namespace

bool encode_png(const Image& image, std::vector<unsigned char>& out, std::string& error) {
  const std::vector<unsigned char> bytes = srgb_bytes(image);
  out.clear();
  if (image.width <= 0 || image.height <= 0 ||
      !stbi_write_png_to_func(append_bytes, &out, image.width, image.height, 3, bytes.data(),
                              image.width * 3)) {
    error = "cannot encode a PNG of " + std::to_string(image.width) + "x" +
            std::to_string(image.height) + " pixels";
    return false;
  }
  return true;
}

bool write_png(const std::string& path, const Image& image, std::string& error) {
  std::vector<unsigned char> bytes;
  if (!encode_png(image, bytes, error)) {
    error = "cannot write " + path + ": " + error;
    return false;
  }
  std::ofstream file(std::filesystem::u8path(path), std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  file.close();
  if (!file) {
    error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool decode_png(const unsigned char* data, std::size_t size, const std::string& name, Rgb8& image,
                std::string& error) {
  int width = 0, height = 0, channels = 0;
  // stb counts bytes in an int.
  const bool fits = size <= static_cast<std::size_t>(INT32_MAX);
  unsigned char* pixels =
      fits ? stbi_load_from_memory(data, static_cast<int>(size), &width, &height, &channels, 3)
           : nullptr;
  if (pixels == nullptr) {
    error = "cannot read " + name + ": " + (fits ? stbi_failure_reason() : "too large");
    return false;
  }
  image.width = width;
  image.height = height;
  image.rgb.assign(pixels, pixels + static_cast<std::size_t>(width) * height * 3);
  stbi_image_free(pixels);
  return true;
}

#else

png_image png_header(const Image& image) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(image.width);
  png.height = static_cast<png_uint_32>(image.height);
  png.format = PNG_FORMAT_RGB;  // 8-bit, sRGB-encoded: libpng adds the sRGB chunk
  return png;
}

}  // namespace

bool write_png(const std::string& path, const Image& image, std::string& error) {
  const std::vector<unsigned char> bytes = srgb_bytes(image);
  png_image png = png_header(image);
  if (!png_image_write_to_file(&png, path.c_str(), 0, bytes.data(), image.width * 3, nullptr)) {
    error = "cannot write " + path + ": " + png.message;
    png_image_free(&png);
    return false;
  }
  return true;
}

bool encode_png(const Image& image, std::vector<unsigned char>& out, std::string& error) {
  const std::vector<unsigned char> bytes = srgb_bytes(image);
  png_image png = png_header(image);
  // Room for the largest PNG these pixels can make, so that one pass
  // compresses them (asked first, libpng would compress them twice: once to
  // measure).
  png_alloc_size_t size = PNG_IMAGE_PNG_SIZE_MAX(png);
  out.resize(size);
  if (!png_image_write_to_memory(&png, out.data(), &size, 0, bytes.data(), image.width * 3,
                                 nullptr)) {
    error = std::string("cannot encode a PNG: ") + png.message;
    png_image_free(&png);
    return false;
  }
  out.resize(size);
  return true;
}

bool decode_png(const unsigned char* data, std::size_t size, const std::string& name, Rgb8& image,
                std::string& error) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&png, data, size)) {
    error = "cannot read " + name + ": " + png.message;
    png_image_free(&png);
    return false;
  }
  png.format = PNG_FORMAT_RGB;
  image.width = static_cast<int>(png.width);
  image.height = static_cast<int>(png.height);
  image.rgb.assign(PNG_IMAGE_SIZE(png), 0);
  if (!png_image_finish_read(&png, nullptr, image.rgb.data(), 0, nullptr)) {
    error = "cannot read " + name + ": " + png.message;
    png_image_free(&png);
    return false;
  }
  return true;
}

#endif

bool read_file(const std::string& path, std::uintmax_t max_bytes, std::vector<unsigned char>& out,
               std::string& error) {
  const std::filesystem::path file = std::filesystem::u8path(path);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) {
    error = "cannot read " + path + ": no such file";
    return false;
  }
  const std::uintmax_t size = std::filesystem::file_size(file, ec);
  if (ec) {
    error = "cannot read " + path + ": " + ec.message();
    return false;
  }
  if (size > max_bytes) {
    error = "cannot read " + path + ": " + std::to_string(size) + " bytes is more than " +
            std::to_string(max_bytes);
    return false;
  }
  std::ifstream in(file, std::ios::binary);
  out.resize(static_cast<std::size_t>(size));
  if (!in || !in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(size))) {
    error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool read_png(const std::string& path, Rgb8& image, std::string& error) {
  std::vector<unsigned char> bytes;
  return read_file(path, kMaxReadBytes, bytes, error) &&
         decode_png(bytes.data(), bytes.size(), path, image, error);
}

#if defined(VELVET_PREVIEW_WITH_EXR)

bool exr_available() {
  return true;
}

namespace {

// The file's bytes, kept in memory: encode_exr() hands them to whoever writes
// the file.
class MemoryStream : public Imf::OStream {
 public:
  explicit MemoryStream(std::vector<unsigned char>& out) : Imf::OStream("memory"), out_(out) {}
  void write(const char c[], int n) override {
    const std::size_t end = pos_ + static_cast<std::size_t>(n);
    if (out_.size() < end) out_.resize(end);
    std::memcpy(out_.data() + pos_, c, static_cast<std::size_t>(n));
    pos_ = end;
  }
  std::uint64_t tellp() override { return pos_; }
  void seekp(std::uint64_t pos) override { pos_ = static_cast<std::size_t>(pos); }

 private:
  std::vector<unsigned char>& out_;
  std::size_t pos_ = 0;
};

// One writer for files and memory; OpenEXR reports failures by exception,
// which the callers stop.
template <typename Target>
void write_exr_to(Target&& target, const Image& image) {
  Imf::Header header(image.width, image.height);
  header.channels().insert("R", Imf::Channel(Imf::FLOAT));
  header.channels().insert("G", Imf::Channel(Imf::FLOAT));
  header.channels().insert("B", Imf::Channel(Imf::FLOAT));
  Imf::OutputFile file(target, header);
  Imf::FrameBuffer frame;
  char* base = reinterpret_cast<char*>(const_cast<float*>(image.rgb.data()));
  const std::size_t x_stride = 3 * sizeof(float);
  const std::size_t y_stride = x_stride * static_cast<std::size_t>(image.width);
  frame.insert("R", Imf::Slice(Imf::FLOAT, base, x_stride, y_stride));
  frame.insert("G", Imf::Slice(Imf::FLOAT, base + sizeof(float), x_stride, y_stride));
  frame.insert("B", Imf::Slice(Imf::FLOAT, base + 2 * sizeof(float), x_stride, y_stride));
  file.setFrameBuffer(frame);
  file.writePixels(image.height);
}

}  // namespace

bool write_exr(const std::string& path, const Image& image, std::string& error) {
  try {
    write_exr_to(path.c_str(), image);
  } catch (const std::exception& e) {
    error = "cannot write " + path + ": " + e.what();
    return false;
  }
  return true;
}

bool encode_exr(const Image& image, std::vector<unsigned char>& out, std::string& error) {
  out.clear();
  try {
    MemoryStream stream(out);
    write_exr_to(stream, image);
  } catch (const std::exception& e) {
    error = std::string("cannot encode the EXR image: ") + e.what();
    return false;
  }
  return true;
}

namespace {

// A file's bytes in memory, as OpenEXR reads a file: an upload is never
// written to disk to be read back.
class MemoryIStream : public Imf::IStream {
 public:
  MemoryIStream(const unsigned char* data, std::size_t size, const std::string& name)
      : Imf::IStream(name.c_str()), data_(data), size_(size) {}
  bool read(char c[], int n) override {
    if (n < 0 || static_cast<std::size_t>(n) > size_ - pos_) {
      throw std::runtime_error("the file ends early");
    }
    std::memcpy(c, data_ + pos_, static_cast<std::size_t>(n));
    pos_ += static_cast<std::size_t>(n);
    return pos_ < size_;
  }
  std::uint64_t tellg() override { return pos_; }
  void seekg(std::uint64_t pos) override {
    if (pos > size_) throw std::runtime_error("a seek past the file's end");
    pos_ = static_cast<std::size_t>(pos);
  }

 private:
  const unsigned char* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// One reader for files and memory; OpenEXR reports failures by exception.
template <typename Source>
bool read_exr_from(Source&& source, const std::string& name, Image& image, std::string& error,
                   std::size_t max_pixels) {
  try {
    Imf::InputFile file(source);
    const Imath::Box2i window = file.header().dataWindow();
    const long long w = static_cast<long long>(window.max.x) - window.min.x + 1;
    const long long h = static_cast<long long>(window.max.y) - window.min.y + 1;
    if (w < 1 || h < 1 ||
        (max_pixels != 0 &&
         static_cast<unsigned long long>(w) * static_cast<unsigned long long>(h) > max_pixels)) {
      error = "cannot read " + name + ": " + std::to_string(w) + "x" + std::to_string(h) +
              " pixels is more than " + std::to_string(max_pixels);
      return false;
    }
    image = Image(window.max.x - window.min.x + 1, window.max.y - window.min.y + 1);
    char* base = reinterpret_cast<char*>(image.rgb.data());
    const std::size_t x_stride = 3 * sizeof(float);
    const std::size_t y_stride = x_stride * static_cast<std::size_t>(image.width);
    // The slices are addressed from the data window's origin.
    base -= (static_cast<std::ptrdiff_t>(window.min.y) * image.width + window.min.x) *
            static_cast<std::ptrdiff_t>(x_stride);
    Imf::FrameBuffer frame;
    frame.insert("R", Imf::Slice(Imf::FLOAT, base, x_stride, y_stride));
    frame.insert("G", Imf::Slice(Imf::FLOAT, base + sizeof(float), x_stride, y_stride));
    frame.insert("B", Imf::Slice(Imf::FLOAT, base + 2 * sizeof(float), x_stride, y_stride));
    file.setFrameBuffer(frame);
    file.readPixels(window.min.y, window.max.y);
  } catch (const std::exception& e) {
    error = "cannot read " + name + ": " + e.what();
    return false;
  }
  return true;
}

}  // namespace

bool read_exr(const std::string& path, Image& image, std::string& error, std::size_t max_pixels) {
  return read_exr_from(path.c_str(), path, image, error, max_pixels);
}

bool decode_exr(const unsigned char* data, std::size_t size, const std::string& name, Image& image,
                std::string& error, std::size_t max_pixels) {
  MemoryIStream stream(data, size, name);
  return read_exr_from(stream, name, image, error, max_pixels);
}

#else

namespace {
const char* const kNoExr = ": this build has no OpenEXR (install libopenexr-dev and reconfigure)";
}  // namespace

bool exr_available() {
  return false;
}

bool write_exr(const std::string& path, const Image&, std::string& error) {
  error = "cannot write " + path + kNoExr;
  return false;
}

bool encode_exr(const Image&, std::vector<unsigned char>&, std::string& error) {
  error = std::string("cannot encode the EXR image") + kNoExr;
  return false;
}

bool read_exr(const std::string& path, Image&, std::string& error, std::size_t) {
  error = "cannot read " + path + kNoExr;
  return false;
}

bool decode_exr(const unsigned char*, std::size_t, const std::string& name, Image&,
                std::string& error, std::size_t) {
  error = "cannot read " + name + kNoExr;
  return false;
}

#endif

}  // namespace preview
