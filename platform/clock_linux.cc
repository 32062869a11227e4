// The system clock: localtime_r for the wall time, CLOCK_MONOTONIC for intervals and nanosleep
// for waits (resumed after signals so that a wait is never cut short).
#include <errno.h>
#include <time.h>

#include <atomic>
#include <cctype>
#include <cstdlib>

#include "platform/clock.h"

namespace wdx {
namespace {

constexpr long kMaxTimeScale = 1'000'000;

class CSystemClock final : public IClock {
 public:
  bool GetLocalTime(SLocalTime& oTime) override {
    time_t iNow = time(nullptr);
    struct tm oParts = {};
    if (iNow == static_cast<time_t>(-1) || localtime_r(&iNow, &oParts) == nullptr) return false;
    oTime.m_iYear = oParts.tm_year + 1900;
    oTime.m_iMonth = oParts.tm_mon + 1;
    oTime.m_iDay = oParts.tm_mday;
    oTime.m_iHour = oParts.tm_hour;
    oTime.m_iMinute = oParts.tm_min;
    oTime.m_iSecond = oParts.tm_sec;
    return true;
  }

  int64_t GetMonotonicMs() override {
    struct timespec oNow = {};
    clock_gettime(CLOCK_MONOTONIC, &oNow);
    return static_cast<int64_t>(oNow.tv_sec) * 1000 + oNow.tv_nsec / 1'000'000;
  }

  void SleepMs(int iMilliseconds) override {
    if (iMilliseconds <= 0) return;
    struct timespec oLeft = {iMilliseconds / 1000, (iMilliseconds % 1000) * 1'000'000L};
    // A signal handler interrupts nanosleep; the rest of the wait is still owed.
    while (nanosleep(&oLeft, &oLeft) != 0 && errno == EINTR) {
    }
  }
};

CSystemClock& SystemClock() {
  static CSystemClock oClock;
  return oClock;
}

std::atomic<IClock*> g_pTestClock{nullptr};

}  // namespace

IClock& GetClock() {
  IClock* pClock = g_pTestClock.load(std::memory_order_acquire);
  return pClock != nullptr ? *pClock : SystemClock();
}

void SetClockForTesting(IClock* pClock) {
  g_pTestClock.store(pClock, std::memory_order_release);
}

int ParseTimeScale(const char* szText) {
  if (szText == nullptr) return 1;
  const char* pChar = szText;
  while (*pChar == ' ' || *pChar == '\t') ++pChar;
  if (!std::isdigit(static_cast<unsigned char>(*pChar))) return 1;
  long iValue = 0;
  while (std::isdigit(static_cast<unsigned char>(*pChar))) {
    iValue = iValue * 10 + (*pChar - '0');
    if (iValue > kMaxTimeScale) return 1;
    ++pChar;
  }
  while (*pChar == ' ' || *pChar == '\t') ++pChar;
  if (*pChar != '\0' || iValue < 1) return 1;
  return static_cast<int>(iValue);
}

int ScaleIntervalBy(int iMilliseconds, int iScale) {
  if (iMilliseconds <= 0 || iScale <= 1) return iMilliseconds;
  int iScaled = iMilliseconds / iScale;
  return iScaled > 0 ? iScaled : 1;
}

int GetTimeScale() {
  static const int iScale = ParseTimeScale(std::getenv("WDX_TIME_SCALE"));
  return iScale;
}

int ScaleInterval(int iMilliseconds) {
  return ScaleIntervalBy(iMilliseconds, GetTimeScale());
}

void ServiceSleep(int iMilliseconds) {
  GetClock().SleepMs(ScaleInterval(iMilliseconds));
}

}  // namespace wdx
