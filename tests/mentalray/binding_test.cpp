// Deferred binding of the host functions: which module each call reaches,
// what is written to standard error when a look-up fails, and what the
// shader gets instead of calling through an empty slot.
#include <hostkit/stderr_capture.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "harness.h"

namespace {

class Binding : public mrtest::RendererTest {
 protected:
  // A scene that calls all three host functions once each per shade when
  // they are bound: one connected colour, one light with one sample and the
  // irradiance term.
  void SetUp() override {
    mrtest::RendererTest::SetUp();
    if (HasFatalFailure()) return;
    for (mrhost::HostModule* m : {&host(), &alt}) {
      if (m == &alt) {
        std::string error;
        ASSERT_TRUE(alt.open(MRHOST_MODULE_ALT, &error)) << error;
      }
      m->add_light({{{1.0f, 1.0f, 1.0f, 1.0f}, {0.0f, 0.0f, 1.0f}}});
      m->set_irradiance({3.1415927f, 3.1415927f, 3.1415927f, 1.0f});
    }
  }

  mrhost::ParameterBlock scene() {
    const miTag light = mrhost::kFirstLightTag;
    mrhost::ParameterBlock block = black_block({light});
    auto& p = params(block);
    p.color = {0.5f, 0.5f, 0.5f, 1.0f};  // connected to white below
    p.diffuse = 1.0f;
    p.useIrradiance = miTRUE;
    p.irradianceColor = {1.0f, 1.0f, 1.0f, 1.0f};
    p.incandescence = {0.125f, 0.125f, 0.125f, 1.0f};
    const miColor white{1.0f, 1.0f, 1.0f, 1.0f};
    std::string error;
    EXPECT_TRUE(block.connect("color", host().add_connection(&white, sizeof white), &error));
    EXPECT_TRUE(alt.add_connection(&white, sizeof white));  // same ghost word in alt
    return block;
  }

  static long total_calls(const mrhost::HostModule& m) {
    return mrhost::testing::phen_eval_calls(m) + mrhost::testing::sample_light_calls(m) +
           mrhost::testing::compute_irradiance_calls(m);
  }

  // The platform's code for a name that a module does not export:
  // ERROR_PROC_NOT_FOUND from GetProcAddress (a null handle searches the
  // program, which exports none of them); dlsym has none, so -1.
#if defined(_WIN32)
  static constexpr int kNotFound = 127;
#else
  static constexpr int kNotFound = -1;
#endif

  static std::string failure(const char* name, void* handle) {
    char text[128];
    std::snprintf(text, sizeof text, "dlsym failed on \"%s\" (handle: %08x error: %d)\n", name,
                  static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(handle)), kNotFound);
    return text;
  }

  mrhost::HostModule alt;
};

TEST_F(Binding, NewHandleRebindsEveryFunctionInTheNewModule) {
  auto block = scene();
  miState st = state(block);
  {
    hostkit::StderrCapture err;
    shade(block, st);
    EXPECT_EQ(err.text(), "");
  }
  const long first = total_calls(host());
  ASSERT_EQ(first, 4);  // each host function once, plus the light's "done"

  mrhost::testing::set_module_handle(renderer, alt.handle());
  {
    hostkit::StderrCapture err;
    const miColor c = shade(block, st);
    EXPECT_EQ(err.text(), "");
    EXPECT_EQ(c.r, (1.0f + 0.125f) + 1.0f);
  }
  EXPECT_EQ(total_calls(host()), first) << "an address from the first module was used again";
  EXPECT_EQ(mrhost::testing::phen_eval_calls(alt), 1);
  EXPECT_EQ(mrhost::testing::sample_light_calls(alt), 2);
  EXPECT_EQ(mrhost::testing::compute_irradiance_calls(alt), 1);
}

TEST_F(Binding, MissingFunctionsAreReportedOnEveryCallAndNotCalled) {
  mrhost::HostModule bare;
  std::string error;
  ASSERT_TRUE(bare.open(MRHOST_MODULE_BARE, &error)) << error;
  auto block = scene();
  miState st = state(block);
  mrhost::testing::set_module_handle(renderer, bare.handle());
  const std::string expected = failure("mi_phen_eval", bare.handle()) +
                               failure("mi_sample_light", bare.handle()) +
                               failure("mi_compute_irradiance", bare.handle());
  for (int call = 0; call < 2; ++call) {
    hostkit::StderrCapture err;
    const miColor c = shade(block, st, {0.0f, 0.0f, 0.0f, 0.0f});
    EXPECT_EQ(err.text(), expected) << "call " << call;
    // The stored colour is used, the light adds nothing, the irradiance is
    // black: only incandescence remains.
    EXPECT_EQ(c.r, 0.125f);
    EXPECT_EQ(c.a, 1.0f);
  }
}

TEST_F(Binding, NullHandleIsReportedBeforeTheLookUp) {
  auto block = scene();
  miState st = state(block);
  mrhost::testing::set_module_handle(renderer, nullptr);
  {
    hostkit::StderrCapture err;
    const miColor c = shade(block, st);
    // Nothing exports these in the global scope of this process (on Windows,
    // in the program itself), so the look-up with the null handle fails too.
    EXPECT_EQ(err.text(), "DYNLOAD: dl_handle null\n" + failure("mi_phen_eval", nullptr) +
                              "DYNLOAD: dl_handle null\n" + failure("mi_sample_light", nullptr) +
                              "DYNLOAD: dl_handle null\n" +
                              failure("mi_compute_irradiance", nullptr));
    EXPECT_EQ(c.r, 0.125f);
    EXPECT_EQ(total_calls(host()), 0);
  }

  // Handing the module back binds again without a word.
  mrhost::testing::set_module_handle(renderer, host().handle());
  hostkit::StderrCapture err;
  EXPECT_EQ(shade(block, st).r, (1.0f + 0.125f) + 1.0f);
  EXPECT_EQ(err.text(), "");
}

}  // namespace
