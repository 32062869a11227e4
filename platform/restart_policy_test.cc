#include "platform/restart_policy.h"

#include <gtest/gtest.h>

namespace wdx {
namespace {

TEST(RestartPolicyTest, FiveRestartsWithinTheWindowThenNoMore) {
  CRestartPolicy oPolicy(5, 60000);
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(oPolicy.AllowRestart(1000 + i * 1000)) << i;
  EXPECT_FALSE(oPolicy.AllowRestart(6000));
  EXPECT_FALSE(oPolicy.AllowRestart(60999));  // the first restart is still inside
}

TEST(RestartPolicyTest, WindowSlides) {
  CRestartPolicy oPolicy(5, 60000);
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(oPolicy.AllowRestart(i * 10000));
  EXPECT_TRUE(oPolicy.AllowRestart(60000));   // the one at 0 has left the window
  EXPECT_FALSE(oPolicy.AllowRestart(60001));  // 10000..60000: five again
  EXPECT_TRUE(oPolicy.AllowRestart(70000));
}

TEST(RestartPolicyTest, RefusedAttemptsAreNotCounted) {
  CRestartPolicy oPolicy(2, 1000);
  ASSERT_TRUE(oPolicy.AllowRestart(0));
  ASSERT_TRUE(oPolicy.AllowRestart(10));
  for (int i = 0; i < 50; ++i) EXPECT_FALSE(oPolicy.AllowRestart(20 + i));
  EXPECT_TRUE(oPolicy.AllowRestart(1000));
}

}  // namespace
}  // namespace wdx
