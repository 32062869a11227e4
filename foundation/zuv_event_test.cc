#include "foundation/zuv_event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/support/log_capture.h"

namespace wdx {
namespace {

// --- Set-up ------------------------------------------------------------------------------------

TEST(ZuvEventInitialize, EmptyNameIsReported) {
  test::CLogCapture oLog;
  CZuvEvent oEvent;
  EXPECT_FALSE(oEvent.Initialize(""));
  EXPECT_FALSE(oEvent.Initialize(nullptr));
  EXPECT_FALSE(oEvent.IsInitialized());
  EXPECT_STREQ(oEvent.GetLastError().GetBuffer(), "CZuvEvent::Initialize has empty NAME.");
  EXPECT_EQ(oLog.CountErrors("CZuvEvent::Initialize has empty NAME."), 2);
}

TEST(ZuvEventInitialize, QuietEventKeepsFailuresAsLastErrorOnly) {
  test::CLogCapture oLog;
  CZuvEvent oEvent(false);
  EXPECT_FALSE(oEvent.Initialize(""));
  EXPECT_STREQ(oEvent.GetLastError().GetBuffer(), "CZuvEvent::Initialize has empty NAME.");
  EXPECT_FALSE(oLog.HasError("CZuvEvent::Initialize has empty NAME."));
}

TEST(ZuvEventInitialize, ZeroTimeoutBecomesTheDefault) {
  CZuvEvent oEvent;
  oEvent.SetTimeout(0);
  ASSERT_TRUE(oEvent.Initialize("EventCommand"));
  EXPECT_EQ(oEvent.GetTimeout(), ZUV_EVENT_DEFAULT_TIMEOUT_MS);
  EXPECT_STREQ(oEvent.GetBuffer(), "EventCommand");
  EXPECT_TRUE(oEvent.IsLive());
  oEvent.SetTimeout(1000);
  EXPECT_EQ(oEvent.GetTimeout(), 1000);
}

TEST(ZuvEventInitialize, UninitialisedEventRefusesFireAndClear) {
  test::CLogCapture oLog;
  CZuvEvent oEvent;
  oEvent.Assign("Loose");
  EXPECT_FALSE(oEvent.Fire());
  EXPECT_STREQ(oEvent.GetLastError().GetBuffer(), "For CZuvEvent named Loose: FIRE event failed.");
  EXPECT_FALSE(oEvent.Clear());
  EXPECT_STREQ(oEvent.GetLastError().GetBuffer(), "For CZuvEvent named Loose: CLEAR event failed.");
  EXPECT_TRUE(oLog.HasError("For CZuvEvent named Loose: FIRE event failed."));
  EXPECT_TRUE(oLog.HasError("For CZuvEvent named Loose: CLEAR event failed."));
}

TEST(ZuvEventInitialize, UninitialisedWaitEndsAsTimedOut) {
  CZuvEvent oEvent(false);
  EXPECT_FALSE(oEvent.Wait());
  EXPECT_TRUE(oEvent.IsTimedOut());
}

// --- Flags -------------------------------------------------------------------------------------

TEST(ZuvEventWait, TimeoutSetsTheTimedOutFlagAndLatches) {
  CZuvEvent oEvent;
  oEvent.SetTimeout(50);
  ASSERT_TRUE(oEvent.Initialize("Idle"));
  EXPECT_FALSE(oEvent.Wait());
  EXPECT_TRUE(oEvent.IsTimedOut());
  EXPECT_FALSE(oEvent.IsSignalled());
  // Until Clear, a further Wait returns at once.
  EXPECT_TRUE(oEvent.Wait());
  EXPECT_TRUE(oEvent.IsTimedOut());
  ASSERT_TRUE(oEvent.Clear());
  EXPECT_FALSE(oEvent.IsTimedOut());
  EXPECT_FALSE(oEvent.IsSignalled());
}

// The worker's loop: a wait that timed out, a Fire just after it, then the flags reset. The
// Fire must still wake the next wait (a Clear there lost the GO command now and then).
TEST(ZuvEventWait, FireAfterATimeOutSurvivesClearTimedOut) {
  CZuvEvent oEvent;
  oEvent.SetTimeout(30);
  ASSERT_TRUE(oEvent.Initialize("Command"));
  EXPECT_FALSE(oEvent.Wait());
  ASSERT_TRUE(oEvent.Fire());
  oEvent.ClearTimedOut();
  EXPECT_FALSE(oEvent.IsTimedOut());
  EXPECT_TRUE(oEvent.Wait());
  EXPECT_TRUE(oEvent.IsSignalled());
}

TEST(ZuvEventWait, FireBeforeWaitWakesTheNextWait) {
  CZuvEvent oEvent;
  oEvent.SetTimeout(60'000);
  ASSERT_TRUE(oEvent.Initialize("Command"));
  ASSERT_TRUE(oEvent.Fire());
  EXPECT_TRUE(oEvent.Wait());
  EXPECT_TRUE(oEvent.IsSignalled());
  EXPECT_FALSE(oEvent.IsTimedOut());
}

TEST(ZuvEventWait, ClearAfterFireMakesTheNextWaitTimeOut) {
  CZuvEvent oEvent;
  oEvent.SetTimeout(30);
  ASSERT_TRUE(oEvent.Initialize("Command"));
  ASSERT_TRUE(oEvent.Fire());
  ASSERT_TRUE(oEvent.Clear());
  EXPECT_FALSE(oEvent.Wait());
  EXPECT_TRUE(oEvent.IsTimedOut());
}

TEST(ZuvEventWait, FireFromAnotherThreadWakesTheWaiter) {
  CZuvEvent oEvent;
  oEvent.SetTimeout(60'000);
  ASSERT_TRUE(oEvent.Initialize("Worker"));
  std::atomic<bool> bWoken{false};
  std::thread oWaiter([&] { bWoken = oEvent.Wait(); });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(oEvent.Fire());
  oWaiter.join();
  EXPECT_TRUE(bWoken);
  EXPECT_TRUE(oEvent.IsSignalled());
}

TEST(ZuvEventWait, ReInitialiseResetsAFiredEvent) {
  CZuvEvent oEvent;
  oEvent.SetTimeout(30);
  ASSERT_TRUE(oEvent.Initialize("First"));
  ASSERT_TRUE(oEvent.Fire());
  ASSERT_TRUE(oEvent.Initialize("Second"));
  EXPECT_FALSE(oEvent.Wait());
  EXPECT_STREQ(oEvent.GetBuffer(), "Second");
}

}  // namespace
}  // namespace wdx
