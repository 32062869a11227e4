// The clock: the time scale's parsing and arithmetic, the system clock's sleeps (never cut
// short by signals), and the fake clock that other tests drive.
#include "platform/clock.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/fake_clock.h"

namespace wdx {
namespace {

// --- Time scale --------------------------------------------------------------------------

TEST(ClockTimeScaleTest, ParsesWholePositiveNumbersOnly) {
  EXPECT_EQ(ParseTimeScale(nullptr), 1);
  EXPECT_EQ(ParseTimeScale(""), 1);
  EXPECT_EQ(ParseTimeScale("10"), 10);
  EXPECT_EQ(ParseTimeScale(" 60 "), 60);
  EXPECT_EQ(ParseTimeScale("1000000"), 1000000);
  EXPECT_EQ(ParseTimeScale("1000001"), 1);
  EXPECT_EQ(ParseTimeScale("99999999999999999999999"), 1);
  EXPECT_EQ(ParseTimeScale("0"), 1);
  EXPECT_EQ(ParseTimeScale("-5"), 1);
  EXPECT_EQ(ParseTimeScale("+5"), 1);
  EXPECT_EQ(ParseTimeScale("2.5"), 1);
  EXPECT_EQ(ParseTimeScale("5x"), 1);
  EXPECT_EQ(ParseTimeScale("fast"), 1);
}

TEST(ClockTimeScaleTest, ScalesDownButNeverToZero) {
  EXPECT_EQ(ScaleIntervalBy(5000, 1), 5000);
  EXPECT_EQ(ScaleIntervalBy(5000, 10), 500);
  EXPECT_EQ(ScaleIntervalBy(1999, 1000), 1);
  EXPECT_EQ(ScaleIntervalBy(1, 1000), 1);
  EXPECT_EQ(ScaleIntervalBy(0, 10), 0);
  EXPECT_EQ(ScaleIntervalBy(-1, 10), -1);
  EXPECT_EQ(ScaleIntervalBy(240 * 500, 60), 2000);
  EXPECT_EQ(ScaleIntervalBy(2147483647, 2), 1073741823);
}

TEST(ClockTimeScaleTest, ServiceSleepUsesInstalledClock) {
  CFakeClock oClock;
  SetClockForTesting(&oClock);
  ServiceSleep(2000);
  SetClockForTesting(nullptr);
  EXPECT_EQ(oClock.GetSleepCount(), 1);
  EXPECT_EQ(oClock.GetLastSleepMs(), ScaleInterval(2000));
  EXPECT_EQ(ScaleInterval(2000), ScaleIntervalBy(2000, GetTimeScale()));
}

// --- System clock ------------------------------------------------------------------------

extern "C" void IgnoreSignal(int) {}

TEST(ClockSystemTest, SleepIsNotCutShortBySignals) {
  struct sigaction oAction = {}, oOld = {};
  oAction.sa_handler = IgnoreSignal;  // no SA_RESTART: nanosleep returns EINTR
  sigemptyset(&oAction.sa_mask);
  ASSERT_EQ(sigaction(SIGUSR2, &oAction, &oOld), 0);
  std::atomic<bool> bDone{false};
  pthread_t oSleeper = pthread_self();
  IClock& oClock = GetClock();
  int64_t iStart = oClock.GetMonotonicMs();
  std::thread oSignaller([&] {
    for (int i = 0; i < 5 && !bDone; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      if (!bDone) pthread_kill(oSleeper, SIGUSR2);
    }
  });
  oClock.SleepMs(200);
  int64_t iElapsed = oClock.GetMonotonicMs() - iStart;
  bDone = true;
  oSignaller.join();
  sigaction(SIGUSR2, &oOld, nullptr);
  EXPECT_GE(iElapsed, 199);
}

TEST(ClockSystemTest, LocalTimeIsPlausible) {
  SLocalTime oTime;
  ASSERT_TRUE(GetClock().GetLocalTime(oTime));
  EXPECT_GE(oTime.m_iYear, 2024);
  EXPECT_GE(oTime.m_iMonth, 1);
  EXPECT_LE(oTime.m_iMonth, 12);
  EXPECT_GE(oTime.m_iDay, 1);
  EXPECT_LE(oTime.m_iDay, 31);
  EXPECT_LE(oTime.m_iHour, 23);
}

// --- Fake clock --------------------------------------------------------------------------

TEST(ClockFakeTest, SleepAdvancesTimeWithoutWaiting) {
  CFakeClock oClock;
  int64_t iStart = oClock.GetMonotonicMs();
  auto oRealStart = std::chrono::steady_clock::now();
  oClock.SleepMs(3'600'000);
  EXPECT_LT(std::chrono::steady_clock::now() - oRealStart, std::chrono::seconds(10));
  EXPECT_EQ(oClock.GetMonotonicMs() - iStart, 3'600'000);
  EXPECT_EQ(oClock.GetTotalSleptMs(), 3'600'000);
  SLocalTime oTime;
  ASSERT_TRUE(oClock.GetLocalTime(oTime));
  EXPECT_EQ(oTime.m_iHour, 4);  // started at 03:04:05
  EXPECT_EQ(oTime.m_iMinute, 4);
}

TEST(ClockFakeTest, LocalTimeRollsOverDaysMonthsAndYears) {
  CFakeClock oClock;
  SLocalTime oSet;
  oSet.m_iYear = 2024;
  oSet.m_iMonth = 12;
  oSet.m_iDay = 31;
  oSet.m_iHour = 23;
  oSet.m_iMinute = 59;
  oSet.m_iSecond = 59;
  oClock.SetLocalTime(oSet);
  oClock.AdvanceMs(1000);
  SLocalTime oTime;
  ASSERT_TRUE(oClock.GetLocalTime(oTime));
  EXPECT_EQ(oTime.m_iYear, 2025);
  EXPECT_EQ(oTime.m_iMonth, 1);
  EXPECT_EQ(oTime.m_iDay, 1);
  EXPECT_EQ(oTime.m_iHour, 0);
  EXPECT_EQ(oTime.m_iSecond, 0);
  oSet.m_iYear = 2024;
  oSet.m_iMonth = 2;
  oSet.m_iDay = 28;
  oSet.m_iHour = 24;  // out of range: the next day
  oSet.m_iMinute = 0;
  oSet.m_iSecond = 0;
  oClock.SetLocalTime(oSet);
  ASSERT_TRUE(oClock.GetLocalTime(oTime));
  EXPECT_EQ(oTime.m_iMonth, 2);
  EXPECT_EQ(oTime.m_iDay, 29);  // leap year
  oClock.SetLocalTimeFails(true);
  EXPECT_FALSE(oClock.GetLocalTime(oTime));
}

}  // namespace
}  // namespace wdx
