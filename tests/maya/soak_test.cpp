// Soak: the plug-in loaded and unloaded a thousand times with nodes made,
// shaded and destroyed in between, ending with the heap where it started;
// many threads on shared nodes for many samples, bit for bit what one thread
// gives; and every host call failing in turn, each load, compute and unload
// still completing and reporting as it should.
#include <gtest/gtest.h>
#include <hostkit/stderr_capture.h>
#include <mayahost/node.h>
#include <mayahost/plugin.h>
#include <mayahost/shading_block.h>
#include <mayahost/testing.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/common/soak.h"

namespace {

// One light rig and sample, from the sample index alone, so that every
// thread sees the same inputs without sharing any.
float unit_noise(std::uint32_t i, std::uint32_t salt) {
  std::uint32_t h = i * 0x9E3779B1u ^ salt * 0x85EBCA77u;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  return static_cast<float>(h >> 8) * (2.0f / 16777216.0f) - 1.0f;
}

void fill(mayahost::ShadingBlock& block, std::uint32_t i) {
  block.setNormal({unit_noise(i, 1), unit_noise(i, 2), unit_noise(i, 3) + 1.5f});
  block.setRayDirection({unit_noise(i, 4), unit_noise(i, 5), -1.0f});
  for (unsigned k = 0; k < 4; ++k) {
    const std::uint32_t s = 16 + 8 * k;
    block.setLightVectors(k, {unit_noise(i, s), unit_noise(i, s + 1), unit_noise(i, s + 2)},
                          {1.0f + unit_noise(i, s + 3), 1.0f, 0.5f});
  }
}

void rig(mayahost::ShadingBlock& block) {
  block.setLightCount(4);
  for (unsigned k = 0; k < 4; ++k) {
    mayahost::Light light;
    light.ambient = k == 0;
    light.diffuse = k != 1;
    light.specular = k != 2;
    block.setLight(k, light);
  }
}

std::vector<MFloatVector> shade(const mayahost::Node& node, std::uint32_t samples) {
  mayahost::ShadingBlock block(node, 4);
  rig(block);
  std::vector<MFloatVector> out(samples);
  for (std::uint32_t i = 0; i < samples; ++i) {
    fill(block, i);
    block.compute();
    out[i] = block.outColor();
  }
  return out;
}

// One full life of the plug-in: load, two nodes set, shaded and read, unload.
void lifetime(int round) {
  mayahost::Plugin plugin;
  ASSERT_TRUE(plugin.load(VELVET_PLUGIN_PATH).ok()) << round;
  {
    mayahost::Node a, b;
    ASSERT_TRUE(a.create("velvet").ok());
    ASSERT_TRUE(b.create("velvet").ok());
    ASSERT_TRUE(a.set("roughness", {0.3f}).ok());
    ASSERT_TRUE(b.set("ltd[2].ls", {1.0f}).ok());
    std::vector<float> colour;
    ASSERT_TRUE(b.get("outColor", &colour).ok());
    mayahost::ShadingBlock block(a, 4);
    rig(block);
    fill(block, static_cast<std::uint32_t>(round));
    ASSERT_EQ(block.compute(), MStatus::kSuccess);
  }
  ASSERT_TRUE(plugin.unload().ok());
  mayahost::clearCommandLog();  // the host's log of the refresh commands
}

TEST(Soak, LoadUnloadAThousandTimesReturnsTheHeap) {
  // On Windows the host library and the plug-in keep their own operator new,
  // so objects passed between them and this program count on one side only.
  soak::expectLoadUnloadReturnsTheHeap(lifetime, heapmeter::counts_every_module());
}

// Eight threads, each its own data block, on two shared nodes.
TEST(SoakConcurrency, EightThreadsMatchOneThreadBitForBit) {
  // The full count under TSan too: a few seconds there.
  constexpr std::uint32_t kSamples = 100000;
  mayahost::Plugin plugin;
  ASSERT_TRUE(plugin.load(VELVET_PLUGIN_PATH).ok());
  mayahost::Node nodes[2];
  for (mayahost::Node& n : nodes) ASSERT_TRUE(n.create("velvet").ok());
  ASSERT_TRUE(nodes[1].set("translucence", {0.4f}).ok());
  ASSERT_TRUE(nodes[1].set("transparency", {0.3f, 0.2f, 0.1f}).ok());
  ASSERT_TRUE(nodes[1].set("roughness", {0.05f}).ok());

  const std::vector<MFloatVector> expected[2] = {shade(nodes[0], kSamples),
                                                 shade(nodes[1], kSamples)};
  constexpr int kThreads = 8;
  std::vector<std::vector<MFloatVector>> results(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] { results[t] = shade(nodes[t % 2], kSamples); });
  }
  for (std::thread& t : threads) t.join();
  for (int t = 0; t < kThreads; ++t) {
    for (std::uint32_t i = 0; i < kSamples; ++i) {
      const MFloatVector& a = results[t][i];
      const MFloatVector& b = expected[t % 2][i];
      ASSERT_TRUE(std::memcmp(&a, &b, sizeof a) == 0) << "thread " << t << " sample " << i;
    }
  }
  for (mayahost::Node& n : nodes) n.destroy();
  ASSERT_TRUE(plugin.unload().ok());
}

// Every call of every kind the host counts fails in turn. Load, a node's
// outColor and outTransparency, and unload must each complete and report
// success, with at most the one status report of a checked call.
TEST(SoakFaults, EveryHostCallFailingInTurnCompletes) {
  using mayahost::Op;
  const Op ops[] = {
    Op::kAttributeCall,
    Op::kAddAttribute,
    Op::kAttributeAffects,
    Op::kRegisterNode,
    Op::kDeregisterNode,
    Op::kExecuteCommand,
    Op::kArrayNext,
#if MAYA_API_VERSION < 20180000
    Op::kSetMPSafe,  // postConstructor's; devkits since 2018 ask schedulingType() instead
#endif
  };
  // A failed attribute create or addAttribute leaves that attribute out of
  // the type, so setting or computing it may be refused; nothing else may be.
  const auto run = [](bool* registered, bool strict) {
    mayahost::Plugin plugin;
    EXPECT_TRUE(plugin.load(VELVET_PLUGIN_PATH).ok());
    EXPECT_EQ(plugin.initializeResult(), MStatus::kSuccess);
    mayahost::Node node;
    *registered = node.create("velvet").ok();
    if (*registered) {
      const bool lit = node.set("ltd[1].ls", {1.0f}).ok() &&
                       node.set("ltd[2].lightIntensity", {1.0f, 0.5f, 0.5f}).ok();
      MStatus colour, transparency;
      const bool computed = node.compute("outColor", &colour).ok() &&
                            node.compute("outTransparency", &transparency).ok();
      if (strict) {
        EXPECT_TRUE(lit && computed);
        EXPECT_EQ(colour, MStatus::kSuccess);
        EXPECT_EQ(transparency, MStatus::kSuccess);
      }
      node.destroy();
    }
    EXPECT_TRUE(plugin.unload().ok());
    EXPECT_EQ(plugin.uninitializeResult(), MStatus::kSuccess);
    mayahost::clearCommandLog();
  };

  // Leaks show as LeakSanitizer reports in the asan run.
  for (Op op : ops) {
    mayahost::clearFaults();
    mayahost::failCall(op, 1u << 30);  // arms the counting of every kind of call
    bool registered = false;
    run(&registered, true);
    const bool strict = op != Op::kAttributeCall && op != Op::kAddAttribute;
    const unsigned calls = mayahost::callCount(op);
    ASSERT_GT(calls, 0u) << static_cast<int>(op);
    for (unsigned n = 1; n <= calls; ++n) {
      SCOPED_TRACE("op " + std::to_string(static_cast<int>(op)) + " call " + std::to_string(n));
      mayahost::clearFaults();
      mayahost::failCall(op, n);
      std::string text;
      {
        hostkit::StderrCapture err;
        run(&registered, strict);
        text = err.text();
      }
      if (op == Op::kRegisterNode) {
        EXPECT_FALSE(registered);
      }
      // Only the checked attribute calls report (a failed create also fails
      // the rest of its row's calls, each reported).
      if (op != Op::kAttributeCall) {
        EXPECT_EQ(text, "");
      } else if (!text.empty()) {
        EXPECT_EQ(text.rfind("\nAPI error detected in ", 0), 0u) << text;
      }
      if (HasFailure()) return;
    }
  }
  mayahost::clearFaults();
}

}  // namespace
