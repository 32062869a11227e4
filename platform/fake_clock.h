// CFakeClock: a clock for tests. Its local time is set by the test and moves on only when the
// clock is advanced; SleepMs advances the monotonic time (and the local time) at once instead
// of sleeping, and counts the sleeps so that a test can see how long the code under test
// waited. Install it with SetClockForTesting(&oClock) and remove it with
// SetClockForTesting(nullptr) before it goes.
//
// Threading: every member is safe from any thread (one internal mutex).
#pragma once

#include <cstdint>
#include <mutex>

#include "platform/clock.h"

namespace wdx {

class CFakeClock final : public IClock {
 public:
  CFakeClock();
  CFakeClock(const CFakeClock&) = delete;
  CFakeClock& operator=(const CFakeClock&) = delete;

  bool GetLocalTime(SLocalTime& oTime) override;
  int64_t GetMonotonicMs() override;
  void SleepMs(int iMilliseconds) override;

  // The local time now; later advances count from here. Fields out of range roll over
  // (e.g. 24:00:00 becomes the next day at 00:00:00).
  void SetLocalTime(const SLocalTime& oTime);
  // Makes GetLocalTime fail (the system cannot tell the time) while set.
  void SetLocalTimeFails(bool bFails);
  void SetMonotonicMs(int64_t iMilliseconds);
  // Moves both clocks on without counting a sleep.
  void AdvanceMs(int64_t iMilliseconds);

  int GetSleepCount() const;
  int64_t GetTotalSleptMs() const;
  int GetLastSleepMs() const;

 private:
  mutable std::mutex m_oMutex;
  int64_t m_iLocalEpochMs = 0;  // local time as milliseconds since 1970 (no time zone)
  int64_t m_iMonotonicMs = 0;
  int64_t m_iTotalSleptMs = 0;
  int m_iSleepCount = 0;
  int m_iLastSleepMs = 0;
  bool m_bLocalTimeFails = false;
};

}  // namespace wdx
