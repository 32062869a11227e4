// The warden's life: initialisation (which loads the restart program) and release.
#include "service/restart/warden.h"

#include <string>

#include "foundation/process_log.h"
#include "service/restart/instruction.h"

namespace wdx {

CWarden::CWarden() {
  m_oLauncher.SetStopCheck([this] { return IsStopping(); });
}

CWarden::~CWarden() = default;

// Events are always written by this service's log, so there is no event switch to turn on for
// the duration.
bool CWarden::Initialize(const std::string& sWorkingDirectory, CThreadOwner* pShared) {
  m_bProgramLoaded = false;
  if (m_pSettings != nullptr && pShared != nullptr) {
    m_pShared = pShared;
    ZuvLogEvent("CWarden::Initialize 1");
    SetDebugPrivilidge();
    ZuvLogEvent("CWarden::Initialize 2");
    DisableAutoLogon();
    ZuvLogEvent("CWarden::Initialize 3");
    m_sBaseDirectory = sWorkingDirectory;
    if (!m_sBaseDirectory.empty() && m_sBaseDirectory.back() != '/') m_sBaseDirectory += '/';
    ZuvLogEvent("CWarden::Initialize 4.1");
    const bool bWatcher = CPW() != nullptr;
    ZuvLogEvent("CWarden::Initialize 4.3");
    if (bWatcher) {
      ZuvLogEvent("CWarden::Initialize 5");
      if (SetProgramFile(m_sBaseDirectory + "Wardenix.ini") && LoadFromIniFile()) {
        ZuvLogEvent("CWarden::Initialize 6");
        ZuvLogEvent("CWarden::Initialize 8");
        m_bProgramLoaded = true;
      }
    } else {
      ZuvLogError("warden:: Creation failed for auto-watcher.");
    }
  }
  if (!m_bProgramLoaded) {
    ZuvLogError("CWarden::Initialize() failed.");
    ZuvLogError("CWarden:: Initialize() failed.");
  }
  LoadUninstallIconKey();
  ZuvLogEvent("CWarden::Initialize done");
  return m_bProgramLoaded;
}

void CWarden::Release() {
  m_pCurrent = nullptr;
  m_oInstructions.clear();
  m_bProgramLoaded = false;
  m_oLauncher.ReapFinished();
  DropWatcher();
  m_bHasKeys = false;
  m_bLastTestPassed = true;
}

}  // namespace wdx
