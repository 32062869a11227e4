#include "foundation/zuv_event.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include "foundation/process_log.h"
#include "platform/clock.h"

namespace wdx {

// The waitable object: a manual-reset event on a mutex and a condition variable.
struct CZuvEvent::SEventState {
  std::mutex m_oMutex;
  std::condition_variable m_oCondition;
  bool m_bSet = false;
};

CZuvEvent::CZuvEvent(bool bReportFailures) : m_bReportFailures(bReportFailures) {}

CZuvEvent::~CZuvEvent() = default;

int CZuvEvent::GetTimeout() const {
  return m_iTimeoutMs > 0 ? m_iTimeoutMs : ZUV_EVENT_DEFAULT_TIMEOUT_MS;
}

void CZuvEvent::Fail(const char* szText) {
  m_oStrLastError.Assign(szText);
  if (m_bReportFailures) ZuvLogError(szText);
}

void CZuvEvent::FailNamed(const char* szWhat) {
  const std::string sText = std::string("For CZuvEvent named ") + GetBuffer() + ": " + szWhat;
  Fail(sText.c_str());
}

bool CZuvEvent::Initialize(const char* szName) {
  m_bInitialized = false;
  SetId(ZUV_ID_LIVE);
  Assign(szName);
  if (IsEmpty()) {
    Fail("CZuvEvent::Initialize has empty NAME.");
    return false;
  }
  if (m_iTimeoutMs <= 0) m_iTimeoutMs = ZUV_EVENT_DEFAULT_TIMEOUT_MS;
  if (m_pEvent) {
    // Initialised again: keep the waitable object (a thread may hold it) but reset it.
    std::lock_guard<std::mutex> oGuard(m_pEvent->m_oMutex);
    m_pEvent->m_bSet = false;
  } else {
    m_pEvent = std::make_unique<SEventState>();
  }
  m_bInitialized = true;
  return true;
}

bool CZuvEvent::Fire() {
  if (!m_bInitialized || !m_pEvent) {
    FailNamed("FIRE event failed.");
    return false;
  }
  {
    std::lock_guard<std::mutex> oGuard(m_pEvent->m_oMutex);
    m_pEvent->m_bSet = true;
  }
  m_pEvent->m_oCondition.notify_all();
  return true;
}

bool CZuvEvent::Clear() {
  bool bResult = true;
  if (!m_bInitialized || !m_pEvent) {
    FailNamed("CLEAR event failed.");
    bResult = false;
  } else {
    std::lock_guard<std::mutex> oGuard(m_pEvent->m_oMutex);
    m_pEvent->m_bSet = false;
  }
  m_bSignalled = false;
  m_bTimedOut = false;
  return bResult;
}

void CZuvEvent::ClearTimedOut() {
  m_bSignalled = false;
  m_bTimedOut = false;
}

bool CZuvEvent::Wait() {
  if (m_bSignalled || m_bTimedOut) return true;
  bool bSet = false;
  if (m_bInitialized && m_pEvent) {
    const auto oWait = std::chrono::milliseconds(ScaleInterval(GetTimeout()));
    std::unique_lock<std::mutex> oGuard(m_pEvent->m_oMutex);
    bSet = m_pEvent->m_oCondition.wait_for(oGuard, oWait, [this] { return m_pEvent->m_bSet; });
  }
  if (bSet) {
    m_bSignalled = true;
  } else {
    m_bTimedOut = true;
  }
  return m_bSignalled;
}

}  // namespace wdx
