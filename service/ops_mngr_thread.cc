#include "service/ops_mngr_thread.h"

#include "foundation/process_log.h"
#include "service/all_sets.h"
#include "service/thread_owner.h"

namespace wdx {

COpsMngrThread::COpsMngrThread() = default;

COpsMngrThread::~COpsMngrThread() { Join(true); }

bool COpsMngrThread::Resume() {
  if (m_oThread.joinable()) {
    if (!m_pOwner || !m_pOwner->m_bWorkerEnded) return true;  // still running
    m_oThread.join();
  }
  m_oThread = std::thread([this] { InitInstance(); });
  return true;
}

void COpsMngrThread::Join(bool bDetachIfRunning) {
  if (!m_oThread.joinable()) return;
  if (bDetachIfRunning && m_pOwner && !m_pOwner->m_bWorkerEnded) {
    m_oThread.detach();
    return;
  }
  m_oThread.join();
}

bool COpsMngrThread::InitInstance() {
  ZuvLogEvent("COpsMngrThread::InitInstance() 1.");
  m_pOwner->m_bWorkerEnded = false;
  Initialize();
  ZuvLogEvent("COpsMngrThread::InitInstance() 2.");
  KeepAlive();
  ZuvLogEvent("COpsMngrThread::InitInstance() 3.");
  ExitInstance();
  return true;
}

bool COpsMngrThread::ExitInstance() {
  ZuvLogEvent("COpsMngrThread::ExitInstance() 1.");
  m_pOwner->m_bWorkerEnded = true;
  return true;
}

bool COpsMngrThread::Initialize() {
  ZuvLogEvent("COpsMngrThread::Initialize() 1.");
  m_pOwner->m_bOpsMngrThreadInitialized = false;
  m_pOwner->m_bInitFinished = false;
  m_pSettings = m_pOwner->m_pSettings;
  const bool bOk = LowLevelInit();
  if (bOk) {
    // No phone component is loaded yet: the phone side counts as ready and the e-mail side as
    // not initialised.
    m_pOwner->m_bPhoneReady = true;
    m_pOwner->m_bEmailReady = false;
    m_pOwner->m_bOpsMngrThreadInitialized = true;
    GetPhoneReadyState();
  } else {
    ZuvLogEvent("COpsMngrThread::Initialize() failed.");
  }
  m_pOwner->m_bInitFinished = true;
  return bOk;
}

bool COpsMngrThread::LowLevelInit() { return m_pSettings != nullptr && m_pSettings->IsLive(); }

void COpsMngrThread::KeepAlive() {
  ZuvLogEvent("COpsMngrThread::KeepAlive() starts.");
  CZuvEvent& oEvent = m_pOwner->GetCommandEvent();
  while (!m_pOwner->m_bTerminate) {
    oEvent.Wait();
    const bool bSignalled = oEvent.IsSignalled();
    oEvent.Clear();
    if (bSignalled) {
      // While idle, TEST, STOP and every other code change nothing.
      ZuvLogEvent("COpsMngrThread::KeepAlive() Command Event.");
    }
  }
  ZuvLogEvent("COpsMngrThread::KeepAlive() exits.");
}

bool COpsMngrThread::GetPhoneReadyState() {
  for (auto& bReady : m_aPhoneReady) bReady = 0;
  return false;  // no phone component: every readiness byte stays 0
}

}  // namespace wdx
