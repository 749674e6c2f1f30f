// Reading textures from files, where every failure names the file.
#include "tools/preview/render/texture_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "tools/preview/render/image_io.h"

namespace {

namespace fs = std::filesystem;

class TextureFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("velvet_texture_" + std::to_string(std::random_device{}()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string path(const std::string& name) { return (dir_ / name).string(); }
  void write(const std::string& name, const std::string& bytes) {
    std::ofstream(path(name), std::ios::binary) << bytes;
  }
  // Loading fails, and the message names the file.
  void expect_refused(const std::string& file, const std::string& why) {
    preview::Texture t;
    std::string error;
    EXPECT_FALSE(preview::load_texture(file, t, error)) << file;
    EXPECT_NE(error.find(file), std::string::npos) << error;
    EXPECT_NE(error.find(why), std::string::npos) << error;
  }
  fs::path dir_;
};

TEST_F(TextureFiles, PngIsReadAsLinear) {
  preview::Image image(3, 2);
  for (std::size_t k = 0; k < image.rgb.size(); ++k) image.rgb[k] = static_cast<float>(k) / 20.0f;
  std::string error;
  ASSERT_TRUE(preview::write_png(path("t.png"), image, error)) << error;
  preview::Texture t;
  ASSERT_TRUE(preview::load_texture(path("t.png"), t, error)) << error;
  EXPECT_EQ(t.width, 3);
  EXPECT_EQ(t.height, 2);
  EXPECT_EQ(t.file, path("t.png"));
  // The file holds sRGB codes; the texture their linear values.
  for (std::size_t k = 0; k < image.rgb.size(); ++k) {
    EXPECT_EQ(t.rgb[k], preview::srgb_to_linear(preview::srgb_byte(image.rgb[k]))) << k;
  }
}

TEST_F(TextureFiles, ExrIsTakenAsLinear) {
  if (!preview::exr_available()) {
    GTEST_SKIP() << "built without OpenEXR (Debian package libopenexr-dev)";
  }
  preview::Image image(2, 2);
  image.rgb = {0.1f, 2.5f, 0.0f, 1e-4f, 0.5f, 0.25f, 3.0f, 0.0f, 1.0f, 0.7f, 0.3f, 0.9f};
  std::string error;
  ASSERT_TRUE(preview::write_exr(path("t.exr"), image, error)) << error;
  preview::Texture t;
  ASSERT_TRUE(preview::load_texture(path("t.exr"), t, error)) << error;
  EXPECT_EQ(t.rgb, image.rgb);
}

TEST_F(TextureFiles, BadFilesAreRefusedByName) {
  expect_refused(path("missing.png"), "no such file");
  write("notes.png", "just some text, not an image\n");
  expect_refused(path("notes.png"), "not an image");
  write("empty.png", "");
  expect_refused(path("empty.png"), "not an image");
  // A PNG signature and nothing after it.
  write("cut.png", std::string("\x89PNG\r\n\x1a\n", 8));
  expect_refused(path("cut.png"), "PNG");
  expect_refused(dir_.string(), "texture");  // a folder is not a file
  if (!preview::exr_available()) {
    write("a.exr", std::string("\x76\x2f\x31\x01", 4) + "rest");
    expect_refused(path("a.exr"), "OpenEXR");
  }
}

// An upload's bytes read as the file of the same bytes would be; cut short,
// they are refused by the name they came with.
TEST_F(TextureFiles, BytesInMemoryReadAsTheirFileAndCutShortAreRefusedByName) {
  preview::Image image(3, 2);
  for (std::size_t k = 0; k < image.rgb.size(); ++k) image.rgb[k] = static_cast<float>(k) / 9.0f;
  std::string error;
  std::vector<std::pair<std::string, std::vector<unsigned char>>> files(1);
  files[0].first = "up.png";
  ASSERT_TRUE(preview::encode_png(image, files[0].second, error)) << error;
  if (preview::exr_available()) {
    files.emplace_back("up.exr", std::vector<unsigned char>{});
    ASSERT_TRUE(preview::encode_exr(image, files[1].second, error)) << error;
  }
  for (const auto& [name, bytes] : files) {
    write(name, std::string(bytes.begin(), bytes.end()));
    preview::Texture from_file, from_memory;
    ASSERT_TRUE(preview::load_texture(path(name), from_file, error)) << error;
    ASSERT_TRUE(preview::decode_texture(bytes.data(), bytes.size(), name, from_memory, error))
        << error;
    EXPECT_EQ(from_memory.rgb, from_file.rgb) << name;
    EXPECT_EQ(from_memory.file, name);
    for (const std::size_t keep : {bytes.size() / 2, std::size_t{30}, std::size_t{9}}) {
      preview::Texture t;
      EXPECT_FALSE(preview::decode_texture(bytes.data(), keep, name, t, error)) << name << keep;
      EXPECT_NE(error.find("texture " + name + ": "), std::string::npos) << error;
    }
  }
}

TEST_F(TextureFiles, TooLargeIsRefusedBeforeReading) {
  // A header claiming 20000 x 20000 RGB, then an empty image data chunk:
  // refused from the header alone.
  std::string png("\x89PNG\r\n\x1a\n", 8);
  const auto chunk = [&png](const std::string& type, const std::string& data) {
    for (int shift = 24; shift >= 0; shift -= 8) {
      png += static_cast<char>((data.size() >> shift) & 0xff);
    }
    const std::string body = type + data;
    unsigned long crc = 0xffffffffUL;
    for (const char c : body) {
      crc ^= static_cast<unsigned char>(c);
      for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xedb88320UL & (0UL - (crc & 1UL)));
    }
    crc ^= 0xffffffffUL;
    png += body;
    for (int shift = 24; shift >= 0; shift -= 8) png += static_cast<char>((crc >> shift) & 0xff);
  };
  chunk("IHDR", std::string("\0\0\x4e\x20\0\0\x4e\x20\x08\x02\0\0\0", 13));
  chunk("IDAT", "");
  write("huge.png", png);
  expect_refused(path("huge.png"), "larger than a texture may be");
}

}  // namespace
