#include "console/sense/sense_probe.h"

#include "console/sense/url_watches.h"
#include "foundation/process_log.h"
#include "foundation/zuv_str.h"
#include "service/host/wdx_codes.h"
#include "service/ops/ops_mngr_thread.h"
#include "service/ops/url_check.h"
#include "service/procwatch/wmanager.h"
#include "service/settings/all_sets.h"

namespace wdx {
namespace {

std::string KeyText(CRamFileRO& oKeyFile, const char* szKey) {
  return CZuvStr::Trimmed(oKeyFile.GetKeyValue(szKey));
}

}  // namespace

SSenseSettings ReadSenseSettings(CRamFileRO& oKeyFile, std::string& sStoredSensitivity,
                                 int& iUrlTimeoutSeconds) {
  SSenseSettings oSettings;
  // The machine name has a refusal of its own: the required ones here are the logon's.
  oSettings.m_bRequiredsValid =
      !KeyText(oKeyFile, "AdminId").empty() && !KeyText(oKeyFile, "Password").empty();
  const std::string sWatch = KeyText(oKeyFile, "WATCH");
  oSettings.m_bWatch = sWatch.empty() || CAllSets::IsFlagText(sWatch.c_str());
  oSettings.m_sMachineName = KeyText(oKeyFile, "MachineName");
  oSettings.m_bUseIis = CAllSets::IsFlagText(KeyText(oKeyFile, "UseIIS").c_str());
  sStoredSensitivity = KeyText(oKeyFile, "Sensitivity");
  iUrlTimeoutSeconds = CAllSets::UrlTimeoutFromText(KeyText(oKeyFile, "UrlTimeout").c_str());
  return oSettings;
}

CSenseProbe::CSenseProbe(const std::string& sProgramFolder) : m_sFolder(sProgramFolder) {
  m_oWarden.m_sBaseDirectory = sProgramFolder;
}

CSenseProbe::~CSenseProbe() = default;

bool CSenseProbe::Load(std::string& sError) {
  m_oKeyFile.SetCreateWhenAbsent(false);
  if (!m_oKeyFile.Initialize(m_sFolder.c_str(), WDX_SETTINGS_FILE)) {
    ZuvLogError("CSetSense::LoadIfNexessary() failed.");
    sError = "Cannot read " + m_sFolder + WDX_SETTINGS_FILE +
             ": it is unreadable or damaged, or its folder is missing.";
    return false;
  }
  m_oSettings = ReadSenseSettings(m_oKeyFile, m_sStoredSensitivity, m_iUrlTimeoutSeconds);
  m_oItems.Clear();
  for (const std::string& sProgram : SectionLines("[STOPS]")) {
    m_oItems.AddItem(ITEM_PROGRAM, sProgram.c_str());
  }
  return true;
}

std::vector<std::string> CSenseProbe::SectionLines(const char* szSection) {
  std::vector<std::string> oLines;
  for (std::string sLine = m_oKeyFile.GetFirstLineOfSection(szSection); !sLine.empty();
       sLine = m_oKeyFile.GetNextLineOfSection()) {
    oLines.push_back(sLine);
  }
  return oLines;
}

bool CSenseProbe::HasWatcher() {
  if (m_oWarden.GetWatcher() == nullptr) m_oWarden.CPW();
  return m_oWarden.GetWatcher() != nullptr;
}

void CSenseProbe::RecreateWatcher() {
  m_pWatch.reset();  // it borrows the warden, whose keys go with the watcher
  m_oWarden.RecreateWatcher();
}

bool CSenseProbe::LoadProcessKeys(std::string& sFailure) {
  m_pWatch = std::make_unique<CWManager>(&m_oItems);
  if (m_pWatch->Initialize(&m_oKeyFile, &m_oWarden, m_oSettings.m_sMachineName) &&
      m_pWatch->IsLive() && m_pWatch->LWN()) {
    return true;
  }
  sFailure = !m_pWatch->m_sLastError.empty()
                 ? m_pWatch->m_sLastError
                 : std::string("Cannot watch the programs to monitor (see Wardenix.log).");
  return false;
}

void CSenseProbe::LoadUrlWatches() {
  SUrlWatches oResult;
  if (!wdx::LoadUrlWatches(m_oKeyFile, m_oWarden, m_oSettings.m_sMachineName, oResult)) {
    ZuvLogMessage(("CSetSense: web server counters not watched: " + oResult.m_sLastError).c_str());
  }
}

bool CSenseProbe::TestLocalUrls(std::string& sFailedItem) {
  for (const std::string& sUrl : SectionLines("[URLS]")) {
    ZuvLogEvent(("CSetSense::TestUrls() testing " + sUrl).c_str());
    if (TestUrl(sUrl, m_iUrlTimeoutSeconds, {}) == EUrlTest::kPassed) continue;
    sFailedItem = sUrl;
    ZuvLogError(("Failed URL: " + sUrl).c_str());
    return false;
  }
  return true;
}

int CSenseProbe::TestRemoteUrls(std::string& sFailedItem) {
  const std::vector<std::string> oUrls = SectionLines("[RURLS]");
  if (oUrls.empty()) return REMOTE_NONE;
  int iState = REMOTE_ALL_ALIVE;
  for (const std::string& sUrl : oUrls) {
    ZuvLogEvent(("CSetSense::TestRemoteUrls() testing " + sUrl).c_str());
    if (TestUrl(sUrl, m_iUrlTimeoutSeconds, {}) == EUrlTest::kPassed) continue;
    ZuvLogError(("Failed Remote URL: " + sUrl).c_str());
    if (iState != REMOTE_SOME_FAILED) sFailedItem = sUrl;
    iState = REMOTE_SOME_FAILED;
  }
  return iState;
}

bool CSenseProbe::Sample(int iPeriodMs, int iSeconds) {
  IWatcher* pWatcher = m_oWarden.GetWatcher();
  if (pWatcher == nullptr) return false;
  pWatcher->SetSamplePeriod(CVariant(static_cast<int32_t>(iPeriodMs)));
  int32_t lResult = 0;
  pWatcher->GetSampleResult(CVariant(static_cast<int32_t>(iSeconds)), &lResult);
  return lResult == -1;
}

std::string CSenseProbe::GetFirstFailure() {
  std::string sPath;
  m_oWarden.GetFirstFailure(sPath);
  return sPath;
}

int CSenseProbe::GetProcessKeyCount() {
  return m_pWatch ? m_pWatch->GetRegisteredCount() : 0;
}

}  // namespace wdx
