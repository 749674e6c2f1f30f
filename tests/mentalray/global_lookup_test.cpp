// With no module handed over, the look-up goes ahead with the null handle,
// which on ELF platforms searches the process's global scope and on Windows
// the program's own exports. A module loaded into the global scope (or, on
// Windows, this program exporting the host function) answers it: that makes
// the number of look-ups visible, since each one writes the null-handle
// message.
#include <hostkit/stderr_capture.h>

#include <string>

#include "harness.h"

namespace {

#if defined(_WIN32)
const mrhost::HostModule* answering = nullptr;
#endif

}  // namespace

#if defined(_WIN32)
// What GetProcAddress with a null handle finds: passes the call on to the
// module that the test loaded.
extern "C" __declspec(dllexport) miBoolean
    mi_sample_light(miColor* color, miVector* dir, miScalar* dot_nl, miState* state, miTag light,
                    miInteger* samples) {
  using SampleLight = miBoolean (*)(miColor*, miVector*, miScalar*, miState*, miTag, miInteger*);
  const auto host =
      reinterpret_cast<SampleLight>(mrhost::testing::find_export(*answering, "mi_sample_light"));
  return host(color, dir, dot_nl, state, light, samples);
}
#endif

namespace {

class GlobalLookUp : public mrtest::RendererTest {};

TEST_F(GlobalLookUp, OneLookUpServesEveryLaterCall) {
  mrhost::HostModule global;
  std::string error;
  ASSERT_TRUE(global.open(MRHOST_MODULE_ALT, &error, /*global=*/true)) << error;
#if defined(_WIN32)
  answering = &global;
#endif
  const miTag light = global.add_light({{{1.0f, 1.0f, 1.0f, 1.0f}, {0.0f, 0.0f, 1.0f}}});
  auto block = renderer.make_block({light});
  miState st = state(block);

  mrhost::testing::set_module_handle(renderer, nullptr);
  {
    hostkit::StderrCapture err;
    for (int i = 0; i < 5; ++i) shade(block, st);
    EXPECT_EQ(err.text(), "DYNLOAD: dl_handle null\n");
  }
  EXPECT_EQ(mrhost::testing::sample_light_calls(global), 10);  // one sample and one "done" per call
  EXPECT_EQ(mrhost::testing::sample_light_calls(host()), 0);
}

}  // namespace
