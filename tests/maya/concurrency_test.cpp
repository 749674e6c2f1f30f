#include "plugin_fixture.h"
TEST_F(VelvetNodeTest, Smoke) {
  EXPECT_TRUE(node.isMPSafe());
}
