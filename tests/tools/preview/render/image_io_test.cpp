// Parameter values and image files: what the command line accepts, and that
// the files hold what was rendered. Images made from images: compose_test.
#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>

#include "tools/preview/look/params.h"
#include "tools/preview/render/image_io.h"

namespace {

using preview::ParamInfo;
using preview::ParamType;
using preview::ParamValue;

TEST(ParamParsing, AcceptsEachTypeInItsOwnForm) {
  ParamValue v;
  std::string error;
  ASSERT_TRUE(preview::parse_value({"c", ParamType::Color}, "0.6,+0.1,2e-1", v, error)) << error;
  EXPECT_EQ(v.v[0], 0.6f);
  EXPECT_EQ(v.v[1], 0.1f);
  EXPECT_EQ(v.v[2], 0.2f);
  ASSERT_TRUE(preview::parse_value({"n", ParamType::Integer}, "-3", v, error));
  EXPECT_EQ(v.i, -3);
  ASSERT_TRUE(preview::parse_value({"b", ParamType::Boolean}, "on", v, error));
  EXPECT_TRUE(v.b);
  ASSERT_TRUE(preview::parse_value({"b", ParamType::Boolean}, "no", v, error));
  EXPECT_FALSE(v.b);
  ASSERT_TRUE(preview::parse_value({"f", ParamType::Float}, "-0", v, error));
  EXPECT_TRUE(std::signbit(v.v[0]));
}

TEST(ParamParsing, RejectsWrongTypeArityAndNonFiniteValues) {
  ParamValue v;
  std::string error;
  for (const char* bad : {"", " 1", "1 ", "1,", "0x1", "inf", "nan", "1e40", "one", "+-1"}) {
    EXPECT_FALSE(preview::parse_value({"f", ParamType::Float}, bad, v, error)) << bad;
  }
  for (const char* bad : {"1,2", "1,2,3,4", "1,,3", "1;2;3"}) {
    EXPECT_FALSE(preview::parse_value({"v", ParamType::Vector}, bad, v, error)) << bad;
  }
  EXPECT_FALSE(preview::parse_value({"n", ParamType::Integer}, "99999999999", v, error));
  EXPECT_FALSE(preview::parse_value({"n", ParamType::Integer}, "+-3", v, error));
  EXPECT_FALSE(preview::parse_value({"b", ParamType::Boolean}, "2", v, error));
  EXPECT_NE(error.find("'2' for b"), std::string::npos) << error;
}

TEST(ParamParsing, SweepListsGroupByArity) {
  std::vector<std::string> values;
  std::string error;
  ASSERT_TRUE(preview::split_values({"c", ParamType::Color}, "1,0,0,0,1,0", values, error));
  EXPECT_EQ(values, (std::vector<std::string>{"1,0,0", "0,1,0"}));
  EXPECT_FALSE(preview::split_values({"c", ParamType::Color}, "1,0,0,0", values, error));
  ASSERT_TRUE(preview::split_values({"f", ParamType::Float}, "0,2,5", values, error));
  EXPECT_EQ(values.size(), 3u);
}

TEST(SrgbEncoding, FollowsTheTransferCurveAndClamps) {
  EXPECT_EQ(preview::srgb_byte(0.0f), 0);
  EXPECT_EQ(preview::srgb_byte(-1.0f), 0);
  EXPECT_EQ(preview::srgb_byte(std::numeric_limits<float>::quiet_NaN()), 0);
  EXPECT_EQ(preview::srgb_byte(1.0f), 255);
  EXPECT_EQ(preview::srgb_byte(7.0f), 255);
  EXPECT_EQ(preview::srgb_byte(0.18f), 118);  // middle grey
  EXPECT_EQ(preview::srgb_byte(0.002f), 7);   // linear toe: 12.92 * 0.002 * 255
  EXPECT_EQ(preview::srgb_byte(0.2158605f), 128);
}

class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    image_ = preview::Image(3, 2);
    const float values[] = {0.0f,   0.5f,  1.0f,  2.5f,  -0.25f,
                            1e-20f, 0.18f, 0.18f, 0.18f, std::numeric_limits<float>::quiet_NaN(),
                            0.1f,   0.2f,  0.3f,  0.4f,  0.5f,
                            0.6f,   0.7f,  0.8f};
    std::memcpy(image_.rgb.data(), values, sizeof values);
  }
  // A name of this run's own: other test runs on the machine write the
  // same files at the same time.
  std::string path(const char* name) {
    return (std::filesystem::temp_directory_path() / (run_ + name)).string();
  }
  const std::string run_ = std::to_string(std::random_device{}()) + "_";
  void TearDown() override {
    for (const char* name : {"velvet_io.exr", "velvet_io.png"}) std::filesystem::remove(path(name));
  }
  preview::Image image_;
};

TEST_F(Files, ExrHoldsTheLinearValuesBitForBit) {
  std::string error;
  if (!preview::exr_available()) {
    // The optional feature is off: a clear refusal, not a file.
    EXPECT_FALSE(preview::write_exr(path("velvet_io.exr"), image_, error));
    EXPECT_NE(error.find("libopenexr-dev"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(path("velvet_io.exr")));
    GTEST_SKIP() << "built without OpenEXR (Debian package libopenexr-dev)";
  }
  ASSERT_TRUE(preview::write_exr(path("velvet_io.exr"), image_, error)) << error;
  preview::Image back;
  ASSERT_TRUE(preview::read_exr(path("velvet_io.exr"), back, error)) << error;
  ASSERT_EQ(back.width, 3);
  ASSERT_EQ(back.height, 2);
  EXPECT_EQ(std::memcmp(back.rgb.data(), image_.rgb.data(), sizeof(float) * 18), 0);
}

TEST_F(Files, PngIsSrgbEncodedAndShowsNanAsMagenta) {
  std::string error;
  ASSERT_TRUE(preview::write_png(path("velvet_io.png"), image_, error)) << error;
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&png, path("velvet_io.png").c_str()));
  EXPECT_EQ(png.width, 3u);
  EXPECT_EQ(png.height, 2u);
  png.format = PNG_FORMAT_RGB;
  std::vector<unsigned char> bytes(PNG_IMAGE_SIZE(png));
  ASSERT_TRUE(png_image_finish_read(&png, nullptr, bytes.data(), 0, nullptr));
  const std::vector<unsigned char> expected = {0,   188, 255, 255, 0,   0,   118, 118, 118,
                                               255, 0,   255, 149, 170, 188, 203, 218, 231};
  EXPECT_EQ(bytes, expected);
}

TEST_F(Files, UnwritablePathIsReportedNotThrown) {
  std::string error;
  EXPECT_FALSE(preview::write_exr("/nonexistent-dir/x.exr", image_, error));
  EXPECT_NE(error.find("/nonexistent-dir/x.exr"), std::string::npos);
  EXPECT_FALSE(preview::write_png("/nonexistent-dir/x.png", image_, error));
}

}  // namespace
