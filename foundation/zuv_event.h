// CZuvEvent: a manual-reset event used to wake a worker thread, with a wait time-out (a service
// interval: WDX_TIME_SCALE shortens it) and two flags that tell a wake-up from a time-out. Once
// a Wait has ended (signalled or timed out) every further Wait returns true at once until
// Clear. Failures are kept as the last error text; a reporting object (the default, used by the
// components) also writes them to the process log, a quiet one (the service's) does not.
//
// Threading: one side fires, one worker thread waits and clears. Fire and Clear may be called
// from any thread; the flags belong to the waiting thread. Initialize before any other use.
#pragma once

#include <atomic>
#include <memory>

#include "foundation/zuv_base.h"

namespace wdx {

inline constexpr int ZUV_EVENT_DEFAULT_TIMEOUT_MS = 5000;

class CZuvEvent final : public CZuvBase {
 public:
  explicit CZuvEvent(bool bReportFailures = true);
  ~CZuvEvent() override;

  // Names the event (for messages only) and makes it ready, not signalled.
  bool Initialize(const char* szName);
  bool Fire();
  // Resets the event and both flags.
  bool Clear();
  // Resets both flags after a Wait that timed out, but not the event: a Fire that came after the
  // time-out still wakes the next Wait (a Clear there would lose it).
  void ClearTimedOut();
  // Waits up to the time-out; true when the event was fired (see the flags).
  bool Wait();

  bool IsSignalled() const { return m_bSignalled; }
  bool IsTimedOut() const { return m_bTimedOut; }
  bool IsInitialized() const { return m_bInitialized; }
  // Wait time-out in milliseconds of service time; 0 or less means the default (5000).
  void SetTimeout(int iMilliseconds) { m_iTimeoutMs = iMilliseconds; }
  int GetTimeout() const;
  const CZuvStr& GetLastError() const { return m_oStrLastError; }
  void SetReportFailures(bool bReport) { m_bReportFailures = bReport; }
  bool GetReportFailures() const { return m_bReportFailures; }

 private:
  struct SEventState;

  void Fail(const char* szText);
  void FailNamed(const char* szWhat);

  std::unique_ptr<SEventState> m_pEvent;
  int m_iTimeoutMs = 0;
  std::atomic<bool> m_bSignalled{false};
  std::atomic<bool> m_bTimedOut{false};
  bool m_bInitialized = false;
  bool m_bReportFailures = true;
  CZuvStr m_oStrLastError;
};

}  // namespace wdx
