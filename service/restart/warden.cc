// The warden's life: initialisation (which loads the restart program) and release.
#include "service/restart/warden.h"

#include <string>

#include "foundation/process_log.h"
#include "service/restart/instruction.h"

namespace wdx {

CWarden::CWarden() = default;
CWarden::~CWarden() = default;

bool CWarden::Initialize(const std::string& sWorkingDirectory, CThreadOwner* pShared) {
  m_bProgramLoaded = false;
  if (m_pSettings == nullptr || pShared == nullptr) return false;
  m_pShared = pShared;
  ZuvLogEvent("CWarden::Initialize 1");
  m_sBaseDirectory = sWorkingDirectory;
  if (CPW() == nullptr) {
    ZuvLogError("warden:: Creation failed for auto-watcher.");
    return false;
  }
  ZuvLogEvent("CWarden::Initialize done");
  return true;
}

void CWarden::Release() {
  m_pCurrent = nullptr;
  m_oInstructions.clear();
  DropWatcher();
  m_bHasKeys = false;
  m_bLastTestPassed = true;
}

}  // namespace wdx
