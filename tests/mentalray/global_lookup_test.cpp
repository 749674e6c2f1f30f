// With no module handed over, the look-up goes ahead with the null handle,
// which on this platform searches the process's global scope. A module
// loaded there answers it: that makes the number of look-ups visible, since
// each one writes the null-handle message.
#include <string>

#include "harness.h"

namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

class GlobalLookUp : public mrtest::RendererTest {};

TEST_F(GlobalLookUp, OneLookUpServesEveryLaterCall) {
  mrhost::HostModule global;
  std::string error;
  ASSERT_TRUE(global.open(MRHOST_MODULE_ALT, &error, /*global=*/true)) << error;
  const miTag light = global.add_light({{{1.0f, 1.0f, 1.0f, 1.0f}, {0.0f, 0.0f, 1.0f}}});
  auto block = renderer.make_block({light});
  miState st = state(block);

  renderer.set_module_handle(nullptr);
  CaptureStderr();
  for (int i = 0; i < 5; ++i) shade(block, st);
  EXPECT_EQ(GetCapturedStderr(), "DYNLOAD: dl_handle null\n");
  EXPECT_EQ(global.sample_light_calls(), 10);  // one sample and one "done" per call
  EXPECT_EQ(host().sample_light_calls(), 0);
}

}  // namespace
