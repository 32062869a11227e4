#include "platform/fake_clock.h"

#include <time.h>

#include <thread>

namespace wdx {
namespace {

// Local times are kept as if they were UTC so that no time zone or daylight saving shift
// changes what the test set.
int64_t ToEpochMs(const SLocalTime& oTime) {
  struct tm oParts = {};
  oParts.tm_year = oTime.m_iYear - 1900;
  oParts.tm_mon = oTime.m_iMonth - 1;
  oParts.tm_mday = oTime.m_iDay;
  oParts.tm_hour = oTime.m_iHour;
  oParts.tm_min = oTime.m_iMinute;
  oParts.tm_sec = oTime.m_iSecond;
  return static_cast<int64_t>(timegm(&oParts)) * 1000;
}

SLocalTime FromEpochMs(int64_t iEpochMs) {
  time_t iSeconds = static_cast<time_t>(iEpochMs / 1000);
  struct tm oParts = {};
  gmtime_r(&iSeconds, &oParts);
  SLocalTime oTime;
  oTime.m_iYear = oParts.tm_year + 1900;
  oTime.m_iMonth = oParts.tm_mon + 1;
  oTime.m_iDay = oParts.tm_mday;
  oTime.m_iHour = oParts.tm_hour;
  oTime.m_iMinute = oParts.tm_min;
  oTime.m_iSecond = oParts.tm_sec;
  return oTime;
}

}  // namespace

CFakeClock::CFakeClock() {
  SLocalTime oStart;
  oStart.m_iYear = 2026;
  oStart.m_iMonth = 1;
  oStart.m_iDay = 2;
  oStart.m_iHour = 3;
  oStart.m_iMinute = 4;
  oStart.m_iSecond = 5;
  m_iLocalEpochMs = ToEpochMs(oStart);
  m_iMonotonicMs = 1'000'000;
}

bool CFakeClock::GetLocalTime(SLocalTime& oTime) {
  std::lock_guard oGuard(m_oMutex);
  if (m_bLocalTimeFails) return false;
  oTime = FromEpochMs(m_iLocalEpochMs);
  return true;
}

int64_t CFakeClock::GetMonotonicMs() {
  std::lock_guard oGuard(m_oMutex);
  return m_iMonotonicMs;
}

void CFakeClock::SleepMs(int iMilliseconds) {
  {
    std::lock_guard oGuard(m_oMutex);
    ++m_iSleepCount;
    m_iLastSleepMs = iMilliseconds;
    if (iMilliseconds > 0) {
      m_iTotalSleptMs += iMilliseconds;
      m_iMonotonicMs += iMilliseconds;
      m_iLocalEpochMs += iMilliseconds;
    }
  }
  // Lets other threads run when the code under test sleeps in a loop.
  std::this_thread::yield();
}

void CFakeClock::SetLocalTime(const SLocalTime& oTime) {
  std::lock_guard oGuard(m_oMutex);
  m_iLocalEpochMs = ToEpochMs(oTime);
}

void CFakeClock::SetLocalTimeFails(bool bFails) {
  std::lock_guard oGuard(m_oMutex);
  m_bLocalTimeFails = bFails;
}

void CFakeClock::SetMonotonicMs(int64_t iMilliseconds) {
  std::lock_guard oGuard(m_oMutex);
  m_iMonotonicMs = iMilliseconds;
}

void CFakeClock::AdvanceMs(int64_t iMilliseconds) {
  std::lock_guard oGuard(m_oMutex);
  m_iMonotonicMs += iMilliseconds;
  m_iLocalEpochMs += iMilliseconds;
}

int CFakeClock::GetSleepCount() const {
  std::lock_guard oGuard(m_oMutex);
  return m_iSleepCount;
}

int64_t CFakeClock::GetTotalSleptMs() const {
  std::lock_guard oGuard(m_oMutex);
  return m_iTotalSleptMs;
}

int CFakeClock::GetLastSleepMs() const {
  std::lock_guard oGuard(m_oMutex);
  return m_iLastSleepMs;
}

}  // namespace wdx
