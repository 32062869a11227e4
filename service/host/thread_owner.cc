#include "service/host/thread_owner.h"

#include <algorithm>
#include <cstdint>

#include "foundation/process_log.h"
#include "platform/clock.h"
#include "platform/debug_output.h"
#include "service/host/wdx_codes.h"
#include "service/ops/ops_mngr_thread.h"

namespace wdx {

CThreadOwner::CThreadOwner() : m_oEventCommand(false) {}

CThreadOwner::~CThreadOwner() {
  ZuvLogEvent("WDXSVC CThreadOwner::Destructor.");
  if (m_bThreadsStarted) KillAllThreads();
  if (m_pOpsMngrThread) m_pOpsMngrThread->Join(true);
}

bool CThreadOwner::Initialize() {
  m_bInitialized = false;
  ZuvLogEvent("CThreadOwner::Initialize 1.");
  SetId(ZUV_ID_LIVE);
  m_oEventCommand.SetTimeout(WDX_COMMAND_EVENT_TIMEOUT_MS);
  if (m_oEventCommand.Initialize("EventCommand")) {
    m_bInitialized = true;
  } else {
    ZuvLogError("CThreadOwner::Initialize() failed.");
  }
  return m_bInitialized;
}

bool CThreadOwner::StartThreads() {
  ZuvLogEvent("CThreadOwner::StartThreads() called.");
  if (!m_bInitialized && !Initialize()) {
    DebugOutput("CThreadOwner::StartThreads() failed.");
    return false;
  }
  m_bTerminate = false;
  m_bOpsMngrThreadInitialized = false;
  if (!RestartOpsMngrThread()) {
    DebugOutput("CThreadOwner::StartThreads() failed.");
    return false;
  }
  for (int i = 0; i < WDX_INIT_WAIT_TRIES && !m_bOpsMngrThreadInitialized; ++i) {
    DebugOutput("CThreadOwner::StartThreads()  wait s on m_bOpsMngrThreadInitialized\n");
    ServiceSleep(WDX_INIT_WAIT_SLICE_MS);
  }
  if (!m_bOpsMngrThreadInitialized) {
    DebugOutput("CThreadOwner::StartThreads() CallingThread initialize failed..");
  }
  m_bThreadsStarted = true;
  m_iOpsState = WDX_STATE_READY;
  if (!m_bOpsMngrThreadInitialized) DebugOutput("CThreadOwner::StartThreads() failed.");
  return m_bOpsMngrThreadInitialized;
}

bool CThreadOwner::RestartOpsMngrThread() {
  m_bTerminate = false;
  if (!m_pOpsMngrThread) {
    if (!CreateOpsMngrThread()) {
      DebugOutput("CThreadOwner::RestartOpsMngrThread() failed.");
      return false;
    }
  } else {
    m_pOpsMngrThread->m_pOwner = this;
  }
  m_pOpsMngrThread->m_bCreatedNotResumed = false;
  m_bWorkerEnded = false;
  if (!m_pOpsMngrThread->Resume()) {
    DebugOutput("CThreadOwner::RestartOpsMngrThread() failed.");
    return false;
  }
  DebugOutput("CThreadOwner::RestartOpsMngrThread() RESUMED thread.");
  return true;
}

bool CThreadOwner::CreateOpsMngrThread() {
  m_pOpsMngrThread = std::make_unique<COpsMngrThread>();
  m_pOpsMngrThread->m_pOwner = this;
  m_pOpsMngrThread->m_bCreatedNotResumed = true;
  DebugOutput("CThreadOwner::CreateOpsMngrThread() Created new thread.");
  ZuvLogEvent("CThreadOwner::CreateOpsMngrThread() Created new thread.");
  return true;
}

bool CThreadOwner::KillAllThreads(int iGiveUpAfterMs) {
  DebugOutput("WDXSVC: KillAllThreads 0\n");
  ZuvLogEvent("WDXSVC CThreadOwner::KillAllThreads() called.");
  DebugOutput("WDXSVC: KillAllThreads 1\n");
  m_bTerminate = true;
  // The worker ends when its current step gives up (a request, a sample), which takes real
  // time: the time scale shortens the slices, never the time the worker is given in all.
  IClock& oClock = GetClock();
  const int64_t iGiveUpAtMs = oClock.GetMonotonicMs() + iGiveUpAfterMs;
  const int iSliceMs = std::min(
      std::max(ScaleInterval(WDX_KILL_WAIT_SLICE_MS), WDX_KILL_WAIT_MIN_SLICE_MS), iGiveUpAfterMs);
  while (true) {
    oClock.SleepMs(iSliceMs);
    DebugOutput("WDXSVC: KillAllThreads 2\n");
    ZuvLogEvent("WDXSVC CThreadOwner::KillAllThreads() 2");
    if (m_bWorkerEnded || oClock.GetMonotonicMs() >= iGiveUpAtMs) break;
  }
  DebugOutput("WDXSVC: KillAllThreads 3\n");
  m_bThreadsStarted = false;
  DebugOutput("WDXSVC: KillAllThreads done\n");
  ZuvLogEvent("WDXSVC CThreadOwner::KillAllThreads() done");
  const bool bEnded = m_bWorkerEnded;
  if (!bEnded) ZuvLogError("WDXSVC CThreadOwner::KillAllThreads() failed.");
  if (m_pOpsMngrThread) m_pOpsMngrThread->Join(!bEnded);
  return bEnded;
}

void CThreadOwner::SetCurrentAction(const std::string& sAction, const std::string& sObject) {
  std::unique_lock<std::mutex> oLock(m_oCurrentActionMutex, std::try_to_lock);
  if (!oLock.owns_lock()) return;  // a reader is copying: this update is dropped
  m_bCurrentActionValid = false;
  if (!sAction.empty()) m_sCurrentAction = sAction;
  if (!sObject.empty()) m_sCurrentActionObject = sObject;
  m_bCurrentActionValid = true;
}

bool CThreadOwner::ReadCurrent(bool bObject, std::string& sText) {
  std::lock_guard<std::mutex> oLock(m_oCurrentActionMutex);
  if (!m_bCurrentActionValid) {
    sText.clear();
    return false;
  }
  sText = bObject ? m_sCurrentActionObject : m_sCurrentAction;
  return true;
}

bool CThreadOwner::GetCurrentAction(std::string& sAction) {
  return ReadCurrent(false, sAction);
}

bool CThreadOwner::GetCurrentActionObject(std::string& sObject) {
  return ReadCurrent(true, sObject);
}

}  // namespace wdx
