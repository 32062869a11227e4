// The clock of the whole system: local wall time for log stamps, a monotonic clock for
// intervals, and the one place where the service waits. When the environment variable
// WDX_TIME_SCALE=N is set, every service wait (SleepMs, ScaleInterval) is N times shorter;
// tests and demos use it, production leaves it unset.
//
// Threading: GetClock() returns a process-wide object that is safe to use from any thread.
// SetClockForTesting() must only be called while no other thread uses the clock.
#pragma once

#include <cstdint>

namespace wdx {

struct SLocalTime {
  int m_iYear = 0;    // e.g. 2026
  int m_iMonth = 0;   // 1..12
  int m_iDay = 0;     // 1..31
  int m_iHour = 0;    // 0..23
  int m_iMinute = 0;  // 0..59
  int m_iSecond = 0;  // 0..60
};

class IClock {
 public:
  virtual ~IClock() = default;
  // Local date and time now; false only when the system cannot tell it.
  virtual bool GetLocalTime(SLocalTime& oTime) = 0;
  // Milliseconds on a clock that never jumps.
  virtual int64_t GetMonotonicMs() = 0;
  // Sleeps for iMilliseconds of service time (already scaled by the caller or not: see
  // ScaleInterval). The implementation sleeps exactly what it is given.
  virtual void SleepMs(int iMilliseconds) = 0;
};

// The process's clock (the system clock unless a test installed another).
IClock& GetClock();
// Installs a clock for tests; nullptr restores the system clock. The caller keeps ownership.
void SetClockForTesting(IClock* pClock);

// A service interval in milliseconds after WDX_TIME_SCALE: iMilliseconds / N, at least 1 when
// iMilliseconds > 0. Unchanged when the variable is unset or not a positive number.
int ScaleInterval(int iMilliseconds);
// The factor N (1 when unset). Read once per process.
int GetTimeScale();
// Sleeps a service interval: GetClock().SleepMs(ScaleInterval(iMilliseconds)).
void ServiceSleep(int iMilliseconds);

// The factor given by a WDX_TIME_SCALE text: a whole positive decimal number (surrounding
// blanks allowed, at most 1,000,000); 1 for nullptr, empty or any other text.
int ParseTimeScale(const char* szText);
// iMilliseconds / iScale, at least 1 when iMilliseconds > 0; unchanged when iMilliseconds <= 0
// or iScale <= 1.
int ScaleIntervalBy(int iMilliseconds, int iScale);

}  // namespace wdx
