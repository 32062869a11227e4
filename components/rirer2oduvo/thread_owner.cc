#include "components/rirer2oduvo/thread_owner.h"

#include <chrono>
#include <functional>
#include <thread>

#include "components/rirer2oduvo/calling_thread.h"
#include "components/rirer2oduvo/tapi_event_thread.h"
#include "foundation/process_log.h"
#include "platform/component_module.h"
#include "platform/debug_output.h"

namespace wdx::rirer {
namespace {

constexpr int kThreadWaitSeconds = 120;
constexpr auto kPollInterval = std::chrono::milliseconds(10);
constexpr int kUnlockRetries = 100;

// Waits in real time, up to 120 s, until fnDone answers true; the first answer of fnStop ends
// the wait early. szWaitingLine (when given) is written for each second waited in vain.
bool WaitForThreads(const std::function<bool()>& fnDone, const std::function<bool()>& fnStop,
                    const char* szWaitingLine) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point oStart = Clock::now();
  Clock::time_point oNextLine = oStart + std::chrono::seconds(1);
  while (!fnDone()) {
    if (fnStop && fnStop()) return fnDone();
    const Clock::time_point oNow = Clock::now();
    if (oNow - oStart >= std::chrono::seconds(kThreadWaitSeconds)) return fnDone();
    if (szWaitingLine != nullptr && oNow >= oNextLine) {
      ZuvLogEvent(szWaitingLine);
      oNextLine += std::chrono::seconds(1);
    }
    std::this_thread::sleep_for(kPollInterval);
  }
  return true;
}

}  // namespace

CThreadOwner::CThreadOwner(IPhoneEngines& oEngines) : m_oEngines(oEngines) {}

CThreadOwner::~CThreadOwner() {
  ZuvLogEvent("Rirer2Oduvo CThreadOwner::Destructor.");
  KillAllThreads();
  ReleaseSink();
}

void CThreadOwner::Dispose(std::unique_ptr<CThreadOwner> pOwner) {
  if (!pOwner || pOwner->KillAllThreads()) return;
  // A thread that does not end keeps its owner and the library's code: nothing it still uses
  // goes away under it.
  DebugOutput("CThreadOwner::Dispose() leaves threads that do not end.\n");
  ModuleLock();
  if (pOwner->m_pCallingThread) pOwner->m_pCallingThread->Detach();
  if (pOwner->m_pTapiEventThread) pOwner->m_pTapiEventThread->Detach();
  pOwner.release();
}

void CThreadOwner::ReleaseSink() {
  CTapiEventSink* pSink = m_pTAPIEventNotification;
  m_pTAPIEventNotification = nullptr;
  if (pSink == nullptr) return;
  if (pSink->GetRefCount() == 0) {
    delete pSink;
    return;
  }
  while (pSink->Release() > 0) {
  }
}

bool CThreadOwner::Initialize() {
  m_bInitialized = false;
  ZuvLogEvent("CThreadOwner::Initialize 1.");
  Assign("CThreadOwner");
  bool bOk = m_oEventNewPhone.Initialize(EVENT_NEW_PHONE_NAME);
  m_oEventBeginCalling.SetTimeout(BEGIN_CALLING_TIMEOUT_MS);
  bOk = bOk && m_oEventBeginCalling.Initialize(EVENT_BEGIN_CALLING_NAME);
  bOk = bOk && m_oParamLocker.Initialize(EVENT_PARAM_LOCKER_NAME);
  if (bOk && m_pTAPIEventNotification == nullptr) m_pTAPIEventNotification = new CTapiEventSink();
  if (!bOk) {
    ZuvLogError("CThreadOwner::Initialize() failed.");
    return false;
  }
  m_bInitialized = true;
  return true;
}

bool CThreadOwner::IsSapiAndTapiReady() const {
  return m_pCallingThread && m_pCallingThread->m_bSapiReady && m_pCallingThread->m_bTapiReady;
}

bool CThreadOwner::StartThreads() {
  ZuvLogEvent("CThreadOwner::StartThreads() called.");
  if (!m_bInitialized && !Initialize()) {
    ZuvLogError("CThreadOwner::StartThreads() failed.");
    return false;
  }
  m_bTerminateThreads = false;
  if (!RestartCallingThread() || !RestartTapiEventThread()) {
    ZuvLogError("CThreadOwner::StartThreads() failed.");
    return false;
  }
  if (m_pCallingThread && m_pTapiEventThread && IsSapiAndTapiReady()) {
    m_pTapiEventThread->m_bGo = true;
  }
  return true;
}

bool CThreadOwner::CreateCallingThread() {
  m_pCallingThread = std::make_unique<CCallingThread>(this, m_oEngines);
  m_pCallingThread->SetWorkingDirectory(m_oStrWorkingDirectory.GetBuffer());
  return true;
}

bool CThreadOwner::RestartCallingThread() {
  m_bTerminateThreads = false;
  if (!m_pCallingThread) CreateCallingThread();
  m_pCallingThread->m_pOwner = this;
  m_bCallingThreadEnded = false;
  if (!m_pCallingThread->Resume()) {
    m_bCallingThreadEnded = true;
    m_pCallingThread.reset();
    ZuvLogError("CThreadOwner::RestartCallingThread() cannot start the thread.");
    return false;
  }
  CCallingThread* pThread = m_pCallingThread.get();
  WaitForThreads([this] { return IsSapiAndTapiReady(); },
                 [pThread] { return pThread->m_bInitEnded.load(); },
                 "CThreadOwner::RestartCallingThread() waiting on Init..");
  if (!IsSapiAndTapiReady()) {
    ZuvLogError("CThreadOwner::RestartCallingThread() didn't get full Init..");
  }
  ZuvLogEvent("CThreadOwner::RestartCallingThread() RESUMED thread.");
  return true;
}

bool CThreadOwner::CreateTapiEventThread() {
  m_pTapiEventThread = std::make_unique<CZuvTapiEventThread>(this);
  ZuvLogEvent("CThreadOwner::CreateTapiEventThread() Created new thread.");
  return true;
}

bool CThreadOwner::RestartTapiEventThread() {
  if (!m_pCallingThread) {
    ZuvLogError("CThreadOwner::RestartTapiEventThread() m_pCallingThread == NULL.");
    ZuvLogError("CThreadOwner::RestartTapiEventThread() failed.");
    return false;
  }
  if (!IsSapiAndTapiReady()) {
    ZuvLogError("CThreadOwner::RestartTapiEventThread() Sapi & Tapi not inited.");
    ZuvLogError("CThreadOwner::RestartTapiEventThread() failed.");
    return false;
  }
  if (!m_pTapiEventThread) CreateTapiEventThread();
  CZuvTapiEventThread* pThread = m_pTapiEventThread.get();
  pThread->m_pTapi = m_pCallingThread->m_pTapi.get();
  pThread->m_pCallingThread = m_pCallingThread.get();
  pThread->m_bGo = true;
  m_bTapiEventThreadEnded = false;
  if (!pThread->Resume()) {
    m_bTapiEventThreadEnded = true;
    m_pTapiEventThread.reset();
    ZuvLogError("CThreadOwner::RestartTapiEventThread() failed.");
    return false;
  }
  WaitForThreads([pThread] { return pThread->m_bTapiEventThreadIsReady.load(); },
                 [this, pThread] { return m_bTerminateThreads || pThread->m_bInitEnded; },
                 "CThreadOwner::RestartTapiEventThread() waiting on Init..");
  if (!pThread->m_bTapiEventThreadIsReady) {
    ZuvLogError(
        "CThreadOwner::RestartTapiEventThread() m_pTapiEventThread->m_bTapiEventThreadIsReady "
        "is false.");
  }
  ZuvLogEvent("CThreadOwner::RestartTapiEventThread() RESUMED thread.");
  return true;
}

void CThreadOwner::FireLocked(CZuvEvent& oEvent) {
  const bool bLocked = oEvent.Lock(OWNER_LOCK_WAIT_MS);
  oEvent.Fire();
  if (bLocked) oEvent.UnLock(kUnlockRetries);
}

bool CThreadOwner::KillAllThreads() {
  if (!m_pCallingThread && !m_pTapiEventThread) return true;  // ended already (Dispose)
  ZuvLogEvent("CThreadOwner::KillAllThreads() called.");
  m_bTerminateThreads = true;
  if (m_oEventNewPhone.IsInitialized()) FireLocked(m_oEventNewPhone);
  if (m_oEventBeginCalling.IsInitialized()) FireLocked(m_oEventBeginCalling);
  if (!WaitForThreads([this] { return m_bTapiEventThreadEnded && m_bCallingThreadEnded; }, {},
                      nullptr)) {
    ZuvLogError("CThreadOwner::KillAllThreads() failed.");
    return false;
  }
  // The event thread has unregistered its sink; the calling thread's destruction shuts the
  // telephony object down after it.
  m_pTapiEventThread.reset();
  m_pCallingThread.reset();
  return true;
}

}  // namespace wdx::rirer
