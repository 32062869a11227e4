#include "foundation/settings_lock.h"

#include <gtest/gtest.h>

#include <thread>

namespace wdx {
namespace {

TEST(SettingsLock, ExcludesOtherThreadsAndNestsInItsOwn) {
  CSettingsLock oFirst;
  ASSERT_TRUE(oFirst.IsHeld());
  {
    CSettingsLock oNested(0);
    EXPECT_TRUE(oNested.IsHeld());
  }
  std::thread oOther([] {
    CSettingsLock oSecond(50);
    EXPECT_FALSE(oSecond.IsHeld());
    EXPECT_TRUE(oSecond.IsTimedOut());
  });
  oOther.join();
}

}  // namespace
}  // namespace wdx
