#include "components/safehand/action_thread.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/command_words.h"
#include "platform/component_module.h"
#include "platform/debug_output.h"
#include "platform/process.h"

namespace wdx::safehand {
namespace {

constexpr int kIdleNapMs = 800;
constexpr int kShortestNapMs = 10;  // even under a large time scale, no busy idling
constexpr int kEventLockWaitMs = 100;
constexpr int kUnlockRetries = 100;
constexpr int kFlagWaitMs = 120 * 1000;
constexpr int kFlagPollMs = 10;

// The guarded work (requests, programs) runs in real time, so the time-out is real time too:
// the event's wait is a service wait, which a time scale would shorten.
int RealTimeWaitMs(int32_t lTimeoutMs) {
  const int64_t llScaled = static_cast<int64_t>(lTimeoutMs) * GetTimeScale();
  return static_cast<int>(std::min<int64_t>(llScaled, INT32_MAX));
}

}  // namespace

void ActTrace(const char* szText) {
  if (IsDebugOutputEnabled()) DebugOutput((std::string(szText) + "\n").c_str());
}

// ---- CActionThread ----

CActionThread::CActionThread(CThreadOwner* pOwner) : m_pOwner(pOwner) {}

CActionThread::~CActionThread() {
  if (m_oThread.joinable()) m_oThread.join();
}

bool CActionThread::Resume() {
  if (m_oThread.joinable()) {
    ActTrace("CActionThread::Resume() thread was running.");
    return true;
  }
  ActTrace("CActionThread::Resume() thread was suspended.");
  try {
    m_oThread = std::thread([this] { InitInstance(); });
  } catch (...) {
    ActTrace("CActionThread::Resume() cannot start the thread.");
    return false;
  }
  return true;
}

void CActionThread::Join() {
  if (m_oThread.joinable()) m_oThread.join();
}

void CActionThread::Detach() {
  if (m_oThread.joinable()) m_oThread.detach();
}

void CActionThread::InitInstance() {
  KeepAlive();
  ExitInstance();
}

void CActionThread::ExitInstance() {
  m_pOwner->m_bThreadEnded = true;
}

void CActionThread::KeepAlive() {
  CThreadOwner& oOwner = *m_pOwner;
  ActTrace("CActionThread::KeepAlive() 1..");
  oOwner.m_bThreadEnded = false;
  oOwner.m_oEventTerminateActions.Clear();
  while (!oOwner.m_bTerminateThreads) {
    while (oOwner.m_bIdleRequested && !oOwner.m_bTerminateThreads) {
      oOwner.m_bIdleReached = true;
      ActTrace("CActionThread::KeepAlive() sleeping in idle mode..");
      GetClock().SleepMs(std::max(ScaleInterval(kIdleNapMs), kShortestNapMs));
    }
    if (oOwner.m_bTerminateThreads) {
      ActTrace("CActionThread::KeepAlive() sees m_bTerminateThreads true..");
      break;
    }
    // Leaving idle: a nap that began before the arming may have set idle-reached again after
    // the arming cleared it; it is cleared here, before the flags are checked, so that a disarm
    // never takes it for the worker having gone idle. A disarm that came while the worker napped
    // fired the event before it was armed again; that fire must not cut short this stretch. A
    // disarm or an end always sets its flag before it fires, so checking the flags after
    // clearing the event loses neither.
    oOwner.m_bIdleReached = false;
    oOwner.m_oEventTerminateActions.Clear();
    if (oOwner.m_bIdleRequested || oOwner.m_bTerminateThreads) continue;
    WaitAndAct();
  }
  ActTrace("CActionThread::KeepAlive() exits..");
}

void CActionThread::WaitAndAct() {
  CThreadOwner& oOwner = *m_pOwner;
  CZuvEvent& oEvent = oOwner.m_oEventTerminateActions;
  ActTrace("CActionThread::KeepAlive() waits for reset event or timeout..");
  oEvent.SetTimeout(RealTimeWaitMs(oOwner.m_lTimeoutMs));
  const bool bFired = oEvent.Wait();
  ActTrace(bFired ? "CActionThread::KeepAlive() Terminate EVENT fired.."
                  : "CActionThread::KeepAlive() wait timeout completed..");
  if (!m_oEventLock.Lock(kEventLockWaitMs)) {
    ActTrace("CActionThread::KeepAlive() cannot lock m_oEventTerminateActions.");
    oOwner.m_bIdleRequested = true;
    oEvent.Clear();
    return;
  }
  if (!bFired && !oOwner.m_oStrCommand.IsEmpty()) {
    m_bRunningCommand = true;
    ActTrace("CActionThread::KeepAlive() running command1..");
    RunCommand();
    ActTrace("CActionThread::KeepAlive() finished command1..");
    m_bRunningCommand = false;
  }
  oOwner.m_bIdleRequested = true;
  oEvent.Clear();
  m_oEventLock.UnLock(kUnlockRetries);
}

// The command line is split into words as a shell would, and run without a shell; the first
// word is the program, found on PATH when it has no "/". There are no windows to hide here.
void CActionThread::RunCommand() {
  std::vector<std::string> oArgs;
  if (!SplitCommandWords(m_pOwner->GetCommand(), oArgs)) {
    ActTrace("CActionThread::RunCommand() cannot read the command line.");
    return;
  }
  if (m_pOwner->m_bWait) {
    int iExitCode = -1;
    RunAndWait(oArgs, iExitCode);
  } else {
    int iPid = -1;
    SpawnDetached(oArgs, iPid);
  }
}

// ---- CThreadOwner ----

CThreadOwner::CThreadOwner() = default;

CThreadOwner::~CThreadOwner() {
  KillAllThreads();
}

void CThreadOwner::Dispose(std::unique_ptr<CThreadOwner> pOwner) {
  if (!pOwner || pOwner->KillAllThreads()) return;
  // The worker is stuck in a command: it keeps the owner and its own object, and the library
  // stays loaded for it, so that nothing it still uses goes away under it.
  ActTrace("CThreadOwner::Dispose() leaves a worker that does not end.");
  ModuleLock();
  pOwner->m_pActionThread->Detach();
  pOwner.release();
}

bool CThreadOwner::Initialize() {
  Assign("CThreadOwner");
  if (!m_oEventTerminateActions.Initialize(ACT_EVENT_NAME)) return false;
  if (!CreateActionThread()) return false;
  m_bInitialized = true;
  return true;
}

bool CThreadOwner::CreateActionThread() {
  m_pActionThread = std::make_unique<CActionThread>(this);
  m_bIdleRequested = true;
  m_bThreadEnded = false;
  if (m_pActionThread->Resume()) return true;
  m_bThreadEnded = true;
  m_pActionThread.reset();
  ActTrace("CThreadOwner::CreateActionThread() failed.");
  return false;
}

bool CThreadOwner::RestartActionThread() {
  if (!m_pActionThread && !CreateActionThread()) {
    ActTrace("CThreadOwner::RestartActionThread() cannot create the action thread.");
    return false;
  }
  m_pActionThread->m_pOwner = this;
  m_pActionThread->m_bNewThread = false;
  m_bIdleReached = false;
  m_bIdleRequested = false;
  return true;
}

void CThreadOwner::FireEvent() {
  const bool bLocked = m_oEventTerminateActions.Lock(kEventLockWaitMs);
  m_oEventTerminateActions.Fire();
  if (bLocked) m_oEventTerminateActions.UnLock(kUnlockRetries);
}

bool CThreadOwner::WaitForFlag(const std::atomic<bool>& bFlag) {
  IClock& oClock = GetClock();
  const int64_t llDeadline = oClock.GetMonotonicMs() + ScaleInterval(kFlagWaitMs);
  while (!bFlag && oClock.GetMonotonicMs() < llDeadline) oClock.SleepMs(kFlagPollMs);
  return bFlag;
}

bool CThreadOwner::ResetActionsAndGoIdle() {
  m_bIdleRequested = true;
  if (!m_pActionThread) return true;  // no worker: nothing can run
  FireEvent();
  if (WaitForFlag(m_bIdleReached)) return true;
  ActTrace("CThreadOwner::ResetActionsAndGoIdle() failed: the worker is not idle.");
  return false;
}

bool CThreadOwner::KillAllThreads() {
  if (!m_pActionThread) return true;
  m_bTerminateThreads = true;
  FireEvent();
  if (!WaitForFlag(m_bThreadEnded)) {
    ActTrace("CThreadOwner::KillAllThreads() failed: the worker does not end.");
    return false;
  }
  m_pActionThread->Join();
  m_pActionThread.reset();
  m_bTerminateThreads = false;
  m_bIdleRequested = true;
  m_bIdleReached = false;
  return true;
}

}  // namespace wdx::safehand
