// The restart program of the warden: Wardenix.ini, its DETECT and RESTARTER sections, the
// interruptible Wait and the launching of processes.
#include <algorithm>
#include <atomic>
#include <string>

#include "platform/clock.h"
#include "service/host/thread_owner.h"
#include "service/host/wdx_codes.h"
#include "service/ops/ops_mngr_thread.h"
#include "service/restart/instruction.h"
#include "service/restart/warden.h"

namespace wdx {

bool CInstruction::Initialize(const std::string& sKeyword, const std::string& sValue) {
  m_bInitialized = true;
  m_sKeyword = sKeyword;
  if (sKeyword.empty()) return false;
  m_sValue = sValue;
  return true;
}

bool CWarden::LoadFromIniFile() {
  return false;
}

bool CWarden::AddInstruction() {
  return false;
}

bool CWarden::PerformInstruction() {
  return false;
}

void CWarden::Wait(int iMilliseconds) {
  IClock& oClock = GetClock();
  int iLeftMs = ScaleInterval(std::max(iMilliseconds, 0));
  do {
    const int iStepMs = std::min(iLeftMs, WDX_WAIT_POLL_MS);
    oClock.SleepMs(iStepMs);
    iLeftMs -= iStepMs;
    if (m_pShared == nullptr) continue;
    // A STOP, or a service that is being stopped, must not sit out a long wait.
    if (m_pShared->m_bTerminate) return;
    COpsMngrThread* pWorker = m_pShared->GetOpsMngrThread();
    if (pWorker != nullptr && pWorker->m_iPendingCommand == WDX_STOP) return;
  } while (iLeftMs > 0);
}

bool CWarden::RunIniDetect(std::atomic<int>& iOpsState, std::atomic<bool>& bGoFlag) {
  m_bIisResetDone = false;
  (void)iOpsState;
  (void)bGoFlag;
  return m_bProgramLoaded;  // no restart program loaded: DETECT fails
}

bool CWarden::RunRestarter() {
  return true;
}

}  // namespace wdx
