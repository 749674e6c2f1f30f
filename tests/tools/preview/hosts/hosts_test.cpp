// The tool driving the real plug-ins through their stand-in hosts: the two
// hosts agree where they evaluate the same lobe, each host's picture matches
// its golden image, the bits do not depend on the thread count, and bad
// parameters are refused in the hosts' own names and types.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>
#include <sstream>

#include "tools/preview/cli/cli.h"
#include "tools/preview/hosts/hosts.h"
#include "tools/preview/hosts/registry.h"
#include "tools/preview/render/compose.h"
#include "tools/preview/render/image_io.h"
#include "tools/preview/render/render.h"

namespace {

namespace fs = std::filesystem;

// These tests read the rendered values back from the .exr files.
#define REQUIRE_EXR()                                                                   \
  do {                                                                                  \
    if (!preview::exr_available())                                                      \
      GTEST_SKIP() << "built without OpenEXR (Debian package libopenexr-dev): no .exr"; \
  } while (false)

class Hosts : public ::testing::Test {
 protected:
  void SetUp() override {
    // A name of this run's own: other test runs on the machine use the
    // same tests at the same time.
    dir_ = fs::temp_directory_path() /
           ("velvet_preview_hosts_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "_" +
            std::to_string(std::random_device{}()));
    fs::remove_all(dir_);
    env_.hosts = preview::built_hosts();
    env_.out = &out_;
    env_.err = &err_;
    env_.default_threads = 2;
  }
  void TearDown() override { fs::remove_all(dir_); }

  int run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--out", dir_.string()});
    return preview::run(args, env_);
  }
  preview::Image image(const std::string& file) {
    preview::Image im;
    std::string error;
    EXPECT_TRUE(preview::read_exr((dir_ / file).string(), im, error)) << error;
    return im;
  }

  fs::path dir_;
  std::ostringstream out_, err_;
  preview::CliEnvironment env_;
};

// Lobe-only settings: Maya normalises the vectors it is handed and the
// mental ray shader takes the light directions as the renderer delivers
// them, so a light direction can differ by an ulp between the two roads;
// the lobe's powers (exponent 10 from roughness 0.1, edginess 10) magnify
// that. 8 ulp of the value, measured no finer than at 1/16, covers it with
// room to spare (the largest seen is 4 at 2x2 samples, 6 at one sample).
TEST_F(Hosts, CrossHostLobeOnlyImagesAgreeWithinEightUlps) {
  REQUIRE_EXR();
  ASSERT_EQ(run({"--compare", "--size", "160x80", "--aa", "1"}), preview::kExitOk) << err_.str();
  const preview::Image maya = image("maya.exr"), mr = image("mentalray.exr");
  const preview::Difference diff = preview::difference(maya, mr);
  EXPECT_LE(diff.largest_ulps, 8.0) << "at " << diff.x << ", " << diff.y;
  EXPECT_GT(diff.identical, 0.5);
  float brightest = 0.0f;
  for (float v : maya.rgb) brightest = std::max(brightest, v);
  EXPECT_GT(brightest, 0.1f);  // the lobe is there to compare
  EXPECT_NE(out_.str().find("largest difference: "), std::string::npos);
}

TEST_F(Hosts, CrossHostCheckSeesAOneTenthChangeOfTheLobe) {
  REQUIRE_EXR();
  ASSERT_EQ(run({"--compare", "--size", "160x80", "--aa", "1", "--mr", "specular=0.9"}),
            preview::kExitOk)
      << err_.str();
  EXPECT_GT(preview::difference(image("maya.exr"), image("mentalray.exr")).largest, 0.01f);
}

// Golden images, one per host, rendered with
//   build/dev/tools/preview/velvet-preview --size 64x32 --out tests/tools/golden
// (run from the source tree after a build; it rewrites maya.* and
// mentalray.*). On the machine that made them the images match bit for bit.
// Elsewhere the C library's powf and sqrtf, and the double-precision tan,
// sin and cos that place the camera and the torus, may round differently;
// the lobe's powers magnify such an ulp, so values may drift by up to 16
// ulp of the value (no finer than at 1/16), and a sample at a silhouette may
// flip between shape and background, which up to two pixels may show.
TEST_F(Hosts, GoldenImagesMatch) {
  REQUIRE_EXR();
  ASSERT_EQ(run({"--size", "64x32"}), preview::kExitOk) << err_.str();
  for (const char* host : {"maya", "mentalray"}) {
    SCOPED_TRACE(host);
    preview::Image golden;
    std::string error;
    ASSERT_TRUE(
        preview::read_exr(std::string(VELVET_GOLDEN_DIR) + "/" + host + ".exr", golden, error))
        << error;
    const preview::Image now = image(std::string(host) + ".exr");
    ASSERT_EQ(now.width, golden.width);
    ASSERT_EQ(now.height, golden.height);
    std::vector<std::string> off;
    for (int y = 0; y < now.height; ++y) {
      for (int x = 0; x < now.width; ++x) {
        for (int c = 0; c < 3; ++c) {
          const float v = now.pixel(x, y)[c], g = golden.pixel(x, y)[c];
          if (preview::ulp_difference(v, g) > 16.0) {
            off.push_back(std::to_string(x) + "," + std::to_string(y) + ": " + std::to_string(v) +
                          " vs golden " + std::to_string(g));
            break;
          }
        }
      }
    }
    EXPECT_LE(off.size(), 2u) << ::testing::PrintToString(off);
  }
}

// The key light is an area light: each host's road averages its samples (the
// mental ray shader per light, the Maya road by sharing the light's intensity
// among its lightDataArray elements), so more samples soften the picture
// without brightening it.
TEST_F(Hosts, AreaLightSamplesAreAveragedNotSummed) {
  REQUIRE_EXR();
  const auto mean = [](const preview::Image& im) {
    double sum = 0.0;
    for (float v : im.rgb) sum += v;
    return sum / static_cast<double>(im.rgb.size());
  };
  ASSERT_EQ(run({"--size", "48x24", "--area-samples", "1"}), preview::kExitOk) << err_.str();
  const preview::Image maya1 = image("maya.exr"), mr1 = image("mentalray.exr");
  ASSERT_EQ(run({"--size", "48x24", "--area-samples", "16"}), preview::kExitOk) << err_.str();
  const preview::Image maya16 = image("maya.exr"), mr16 = image("mentalray.exr");
  EXPECT_GT(preview::difference(maya1, maya16).largest, 1e-3f);
  EXPECT_GT(preview::difference(mr1, mr16).largest, 1e-3f);
  EXPECT_NEAR(mean(maya16) / mean(maya1), 1.0, 0.1);
  EXPECT_NEAR(mean(mr16) / mean(mr1), 1.0, 0.1);
}

TEST_F(Hosts, BadParametersAreRefusedInEachHostsOwnTerms) {
  const std::vector<std::vector<std::string>> cases = {
      {"--maya", "specular=1"},          // a mental ray parameter
      {"--mr", "roughness=0.3"},         // a Maya attribute
      {"--maya", "normalCamera=0,0,1"},  // per-sample input, the renderer's to set
      {"--maya", "outColor=1,1,1"},      // an output
      {"--maya", "color=1,0"},           // arity
      {"--mr", "normalOffset=0,1"},      // arity
      {"--mr", "useIrradiance=0.5"},     // type
      {"--maya", "edginess=high"},       // type
      {"--sweep", "translucence=0,1"},   // Maya only
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(::testing::PrintToString(args));
    EXPECT_EQ(run(args), preview::kExitUsage);
    EXPECT_FALSE(fs::exists(dir_));
  }
}

TEST_F(Hosts, EachHostTakesItsOwnNamesAndTypes) {
  ASSERT_EQ(run({"--size", "32x16", "--maya", "color=0.6,0.1,0.2", "--maya", "edginess=4", "--maya",
                 "colorG=0.3", "--mr", "specular=0.8", "--mr", "useIrradiance=on", "--mr",
                 "normalOffset=0,0.1,0"}),
            preview::kExitOk)
      << err_.str();
}

// Thread-count independence through the real plug-ins (run under TSan too).
TEST(HostThreads, EachHostGivesTheSameBitsOnOneTwoAndThreeThreads) {
  preview::SceneOptions options;
  options.width = 72;
  options.height = 40;
  const preview::Scene scene(options);
  for (const preview::HostEntry& host : preview::built_hosts()) {
    SCOPED_TRACE(host.flag);
    std::string error;
    std::unique_ptr<preview::Backend> backend = host.make("", error);
    ASSERT_TRUE(backend) << error;
    backend->set_lights(scene.lights());
    preview::Image one, many;
    ASSERT_TRUE(preview::render(scene, *backend, 1, one, nullptr, error)) << error;
    for (int threads = 2; threads <= 3; ++threads) {
      ASSERT_TRUE(preview::render(scene, *backend, threads, many, nullptr, error)) << error;
      EXPECT_EQ(std::memcmp(one.rgb.data(), many.rgb.data(), one.rgb.size() * sizeof(float)), 0)
          << threads << " threads";
    }
  }
}

// The renderer's irradiance reaches the shader only through useIrradiance.
TEST_F(Hosts, IrradianceShowsOnlyWhenTheShaderAsksForIt) {
  REQUIRE_EXR();
  const auto mr_image = [&](std::vector<std::string> args) {
    fs::remove_all(dir_);
    args.insert(args.end(), {"--hosts", "mr", "--size", "32x16", "--aa", "1"});
    EXPECT_EQ(run(args), preview::kExitOk) << err_.str();
    return image("mentalray.exr").rgb;
  };
  const std::vector<float> plain = mr_image({});
  EXPECT_EQ(mr_image({"--irradiance", "0.6,0.6,0.6"}), plain);
  EXPECT_NE(mr_image({"--irradiance", "0.6,0.6,0.6", "--mr", "useIrradiance=on"}), plain);
}

// The looks shipped in the source tree: each is a pair of files that both
// hosts accept in full, and renders.
TEST_F(Hosts, EveryShippedLookRendersThroughBothHosts) {
  REQUIRE_EXR();
  const fs::path source = VELVET_SOURCE_DIR;
  env_.looks = {(source / "maya" / "presets" / "attrPresets" / "velvet").string(),
                (source / "mentalray" / preview::kMrLooksFile).string(), "source tree"};
  std::vector<preview::NamedLook> looks;
  std::string error;
  ASSERT_TRUE(preview::load_looks(env_.looks, looks, error)) << error;
  EXPECT_GE(looks.size(), 6u);
  ASSERT_EQ(run({"--list-looks"}), preview::kExitOk) << err_.str();
  for (const preview::NamedLook& look : looks) {
    SCOPED_TRACE(look.name);
    fs::remove_all(dir_);
    ASSERT_EQ(run({"--look", look.name, "--size", "32x16", "--aa", "1", "--area-samples", "1"}),
              preview::kExitOk)
        << err_.str();
    for (const char* file : {"maya.exr", "mentalray.exr"}) {
      const preview::Image im = image(file);
      float brightest = 0.0f;
      for (float v : im.rgb) {
        ASSERT_TRUE(std::isfinite(v)) << file;
        brightest = std::max(brightest, v);
      }
      EXPECT_GT(brightest, 0.01f) << file;
    }
  }
}

TEST_F(Hosts, BuildTreeToolFindsTheLooksInTheStagedTree) {
  preview::LocateContext context = preview::process_locate_context();
  context.environment = [](const std::string&) { return std::optional<std::string>(); };
  const preview::LookFiles files = preview::default_look_files(context);
  EXPECT_EQ(files.origin.rfind("build tree", 0), 0u) << files.origin;
  std::vector<preview::NamedLook> looks;
  std::string error;
  ASSERT_TRUE(preview::load_looks(files, looks, error)) << error;
  EXPECT_GE(looks.size(), 6u);

  // The environment comes first.
  context.environment = [](const std::string& name) {
    return name == "VELVET_MR_LOOKS" ? std::optional<std::string>("/elsewhere/looks.mi")
                                     : std::optional<std::string>();
  };
  EXPECT_EQ(preview::default_look_files(context).mr_looks, "/elsewhere/looks.mi");
  EXPECT_EQ(preview::default_look_files(context).maya_presets, "");
}

}  // namespace
