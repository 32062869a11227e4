#include "service/procwatch/wmanager.h"

#include <string>

#include "foundation/process_log.h"
#include "foundation/ram_file.h"
#include "service/ops/item_manager.h"
#include "service/restart/warden.h"

namespace wdx {
namespace {

std::string FileNameOf(const std::string& sPath) {
  const size_t uSlash = sPath.find_last_of("/\\");
  return uSlash == std::string::npos ? sPath : sPath.substr(uSlash + 1);
}

}  // namespace

bool CWManager::Initialize(CRamFileRO* pKeyFile, CWarden* pWarden,
                           const std::string& sMachineName) {
  SetId(ZUV_ID_LIVE);
  m_pKeyFile = pKeyFile;
  m_pWarden = pWarden;
  m_sMachineName = sMachineName;
  m_iRegisteredCount = 0;
  m_bWatchNamesLoaded = false;
  m_bInitialized = !m_sMachineName.empty() && m_oTable.Initialize() && m_pItems != nullptr;
  if (!m_bInitialized) ZuvLogError("CWManager::Initialize() failed.");
  return m_bInitialized;
}

bool CWManager::IsLive() const {
  if (!m_bInitialized) {
    ZuvLogError("CWManager::IsLive() Object is not initialized.");
    return false;
  }
  return CZuvBase::IsLive();
}

std::string CWManager::MakeKey(const std::string& sBaseTitle, const char* szCounter) const {
  return "\\\\" + m_sMachineName + "\\Process(" + sBaseTitle + ")\\" + szCounter;
}

bool CWManager::LWN() {
  m_sKeyPrefix = "\\\\" + m_sMachineName + "\\Process(";
  m_sLastError.clear();
  m_iRegisteredCount = 0;
  bool bResult = true;
  std::string sPath = m_bInitialized && m_pKeyFile != nullptr && m_pWarden != nullptr
                          ? m_pKeyFile->GetFirstLineOfSection("[STOPS]")
                          : std::string();
  if (!m_bInitialized || m_pKeyFile == nullptr || m_pWarden == nullptr) bResult = false;
  while (!sPath.empty()) {
    bResult = false;
    CProcessImage* pRow = nullptr;
    if (!FindRow(sPath, pRow)) break;
    CItem* pItem = m_pItems->GetItemRef(ITEM_PROGRAM, sPath.c_str());
    if (pItem != nullptr) pItem->SetImageName(pRow->GetBaseTitle().c_str());
    if (!RegisterRow(*pRow)) break;
    bResult = true;
    m_bWatchNamesLoaded = true;
    sPath = m_pKeyFile->GetNextLineOfSection();
  }
  ZuvLogEvent("CWManager::LWN() done");
  if (!bResult) ZuvLogError("CWManager::LWN failed.");
  return bResult;
}

bool CWManager::FindRow(const std::string& sProgramPath, CProcessImage*& pRow) {
  pRow = nullptr;
  m_oMatcher.Go(sProgramPath, &m_oTable.GetRows());
  if (m_oMatcher.m_sBestTitle.empty()) {
    if (!m_oTable.GetPImageByProgramName(sProgramPath, pRow)) {
      m_sLastError = "Failed. Cannot see " + FileNameOf(sProgramPath);
      return false;
    }
    ZuvLogMessage(
        ("It's OK. Did find ImageName on 2nd try using TILDE match for: " + sProgramPath).c_str());
    return true;
  }
  if (m_oMatcher.m_iBestPosition < 0) {
    ZuvLogError(("CWManager::LWN pointer invalid for: " + sProgramPath).c_str());
    return false;
  }
  pRow = m_oTable.GetRow(m_oMatcher.m_iBestPosition);
  if (pRow == nullptr) {
    ZuvLogError(("CWManager::LWN cannot ID: " + sProgramPath).c_str());
    return false;
  }
  return true;
}

bool CWManager::RegisterRow(CProcessImage& oRow) {
  if (oRow.IsRegistered()) return true;
  for (const char* szCounter : WMANAGER_COUNTERS) {
    if (!m_pWarden->AddKey(m_sKeyPrefix + oRow.GetBaseTitle() + ")\\" + szCounter)) return false;
  }
  oRow.SetRegistered(true);
  ++m_iRegisteredCount;
  return true;
}

bool CWManager::RegisterLaunchedProcess(const std::string& sProgramPath, int iPid) {
  (void)sProgramPath;  // the process is known by its id
  bool bOk = false;
  CProcessImage* pRow = nullptr;
  if (m_bInitialized && m_pWarden != nullptr && iPid > 0 && m_oTable.Reload() &&
      m_oTable.GetPImageByPid(static_cast<uint32_t>(iPid), pRow)) {
    bOk = true;
    for (const char* szCounter : WMANAGER_COUNTERS) {
      if (!m_pWarden->AddKey(MakeKey(pRow->GetBaseTitle(), szCounter))) {
        bOk = false;
        break;
      }
    }
    if (bOk) pRow->SetRegistered(true);
  }
  if (!bOk) ZuvLogError("CWManager::RegisterLaunchedProcess() failed.");
  return bOk;
}

int CWManager::GetPidByProgramName(const std::string& sProgramPath) {
  if (!m_bInitialized) return 0;
  CProcessImage* pRow = nullptr;
  if (!m_oTable.GetPImageByProgramName(sProgramPath, pRow)) return 0;
  // The table may be minutes old: a pid that has ended or gone to another program since is no
  // longer this program's, and must not be signalled in its place.
  if (!m_oTable.StillRuns(*pRow)) {
    ZuvLogMessage(("CWManager: process " + std::to_string(pRow->GetPid()) + " no longer runs " +
                   sProgramPath)
                      .c_str());
    return 0;
  }
  return static_cast<int>(pRow->GetPid());
}

}  // namespace wdx
