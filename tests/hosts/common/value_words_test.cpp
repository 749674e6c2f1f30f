// The shared words for booleans and numbers: the documented set, numbers to
// the bit of C's own reading, and the refusals.
#include <gtest/gtest.h>
#include <hostkit/value_words.h>

#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::uint32_t bits(float f) {
  std::uint32_t b;
  std::memcpy(&b, &f, sizeof b);
  return b;
}

TEST(BooleanWords, AreTheDocumentedSet) {
  for (const char* w : {"on", "true", "yes", "1"}) EXPECT_EQ(hostkit::parse_boolean(w), true) << w;
  for (const char* w : {"off", "false", "no", "0"}) {
    EXPECT_EQ(hostkit::parse_boolean(w), false) << w;
  }
  for (const char* w : {"", "On", "TRUE", "y", "n", "2", "1.0", "-0", " on", "on "}) {
    EXPECT_EQ(hostkit::parse_boolean(w), std::nullopt) << '"' << w << '"';
  }
}

TEST(BooleanWords, ReadAsOneOrZeroAmongValues) {
  float v = -1.0f;
  ASSERT_TRUE(hostkit::parse_value("yes", &v));
  EXPECT_EQ(bits(v), bits(1.0f));
  ASSERT_TRUE(hostkit::parse_value("off", &v));
  EXPECT_EQ(bits(v), bits(0.0f));
  ASSERT_TRUE(hostkit::parse_value("-2.5", &v));
  EXPECT_EQ(v, -2.5f);
  EXPECT_FALSE(hostkit::parse_value("soft", &v));
}

// The readers used C's strtof before; every decimal it read (in the C
// locale this test runs in) reads to the same bits.
TEST(Numbers, ReadToTheBitsOfStrtof) {
  for (const char* text : {"0", "-0", "+0", "0.1", "0.8", "-.5", "4.", "+2", "1e-3", "1E+3",
                           "3.4028235e38", "-3.4028235e38", "1e-40", "1.4e-45", "0.30000001192",
                           "16777217", "00.5", "123456789012345678901234567890"}) {
    float v = 0.0f;
    ASSERT_TRUE(hostkit::parse_number(text, &v)) << text;
    EXPECT_EQ(bits(v), bits(std::strtof(text, nullptr))) << text;
  }
}

TEST(Numbers, TooSmallForAFloatReadAsZeroOfTheirSign) {
  for (const char* text : {"1e-50", "0.0000000000000000000000000000000000000000000000001",
                           "1e-99999999999999999999999", "12e-47"}) {
    float v = 1.0f;
    ASSERT_TRUE(hostkit::parse_number(text, &v)) << text;
    EXPECT_EQ(bits(v), bits(0.0f)) << text;
    ASSERT_TRUE(hostkit::parse_number(std::string("-") + text, &v)) << text;
    EXPECT_EQ(bits(v), bits(-0.0f)) << text;
  }
}

TEST(Numbers, RefuseWhatIsNotAFiniteDecimal) {
  for (const char* text : {"",         "+",
                           "-",        ".",
                           "e5",       "1e",
                           "1e+",      "+-1",
                           "-+1",      "--1",
                           "1.2.3",    "0.5f",
                           "1,5",      " 1",
                           "1 ",       "inf",
                           "-inf",     "nan",
                           "infinity", "1e39",
                           "-3.5e38",  "1e99999999999999999999999",
                           "0x1p3",    "on"}) {
    float v = 7.0f;
    EXPECT_FALSE(hostkit::parse_number(text, &v)) << '"' << text << '"';
    EXPECT_EQ(v, 7.0f) << text;
  }
}

// strtof reads by the process's locale; a host application that sets one
// with a decimal comma must not change what a .mi file or a flag says.
TEST(Numbers, ReadTheSameWhateverTheLocale) {
  const std::string before = std::setlocale(LC_NUMERIC, nullptr);
  const char* comma = nullptr;
  for (const char* name :
       {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "German_Germany.1252", "German"}) {
    if (std::setlocale(LC_NUMERIC, name) != nullptr && std::localeconv()->decimal_point[0] == ',') {
      comma = name;
      break;
    }
  }
  if (comma == nullptr) {
    std::setlocale(LC_NUMERIC, before.c_str());
    GTEST_SKIP() << "no locale with a decimal comma is installed (Debian: locales)";
  }
  float v = 0.0f;
  const bool read = hostkit::parse_number("0.625", &v);
  std::setlocale(LC_NUMERIC, before.c_str());
  EXPECT_TRUE(read) << comma;
  EXPECT_EQ(v, 0.625f) << comma;
}

}  // namespace
