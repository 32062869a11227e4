#include "service/ops/ops_mngr_thread.h"

#include <string>

#include "foundation/log_file.h"
#include "foundation/process_log.h"
#include "foundation/ram_file.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/registry_store.h"
#include "platform/web_browser.h"
#include "service/host/thread_owner.h"
#include "service/host/wdx_codes.h"
#include "service/procwatch/wmanager.h"
#include "service/settings/all_sets.h"

namespace wdx {

COpsMngrThread::COpsMngrThread() = default;

COpsMngrThread::~COpsMngrThread() {
  Join(true);
}

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
  m_oPhoner.Release();
  m_oWarden.Release();
  m_oItems.Clear();
  m_oInsurer.Release();
  m_pWatcher.reset();
  m_pOwner->m_bWorkerEnded = true;
  return true;
}

bool COpsMngrThread::Initialize() {
  ZuvLogEvent("COpsMngrThread::Initialize() 1.");
  m_pOwner->m_bOpsMngrThreadInitialized = false;
  m_pOwner->m_bInitFinished = false;
  m_pSettings = m_pOwner->m_pSettings;
  const bool bOk = m_pSettings != nullptr && LowLevelInit();
  if (bOk) {
    bool bPhoneReady = true;
    if (m_pSettings->m_bPhoneAlertsEnabled) {
      m_oPhoner.SetWorkingDirectory(m_pOwner->m_sWorkingDirectory);
      m_oPhoner.SetCancelCheck([this] { return IsStopping(); });
      m_oPhoner.Initialize(m_pSettings);
      bPhoneReady = m_oPhoner.IsReady();
    }
    m_pOwner->m_bPhoneReady = bPhoneReady;
    m_oEmailer.SetCancelCheck([this] { return IsStopping(); });
    // E-mail does not depend on the phone: a phone side that failed to come up leaves the
    // e-mail alerts working.
    const bool bEmailReady = m_oEmailer.Initialize(m_pSettings);
    m_pOwner->m_bOpsMngrThreadInitialized = true;
    m_pOwner->m_bEmailReady = bEmailReady;
    GetPhoneReadyState();
  } else {
    ZuvLogEvent("COpsMngrThread::Initialize() failed.");
  }
  m_pOwner->m_bInitFinished = true;
  return bOk;
}

bool COpsMngrThread::LowLevelInit() {
  m_bAutoStartPending = false;
  m_pOwner->m_bGo = false;
  ZuvLogEvent("COpsMngrThread::LowLevelInit() 0.");
  ZuvLogMessage("Desktop Interaction is OK.");
  LocateBrowser();
  ReadPopupDisableState();
  m_oWarden.m_pSettings = m_pSettings;
  ZuvLogEvent("COpsMngrThread::LowLevelInit() 1");
  if (!ValidateRequireds(false))
    ZuvLogError("COpsMngrThread::LowLevelInit() Requireds are Invalid.");
  ZuvLogEvent("COpsMngrThread::LowLevelInit() 2");
  ZuvLogEvent("COpsMngrThread::LowLevelInit() 3");
  bool bResult = false;
  if (m_oWarden.Initialize(m_pOwner->m_sWorkingDirectory, m_pOwner)) {
    ZuvLogEvent("COpsMngrThread::LowLevelInit() 4");
    ZuvLogEvent("COpsMngrThread::LowLevelInit() 4.1");
    LoadProcPerfs();
    ZuvLogEvent("COpsMngrThread::LowLevelInit() 4.2");
    LoadAutoRunStatus();
    ZuvLogEvent("COpsMngrThread::LowLevelInit() 4.3");
    ZuvLogEvent("COpsMngrThread::LowLevelInit() 4.4");
    bResult = true;
    m_pOwner->m_bGo = false;
    if (m_pOwner->m_bAutoGo) {
      m_pSettings->m_iLastKnownServerState = ZUV_FAILS_DETECTED_SERVER_REBOOTONG;
      m_pOwner->m_iOpsState = WDX_STATE_AUTO_GO_PENDING;
      ZuvLogMessage("Will auto-start into GO mode shortly...");
      m_bAutoStartPending = true;
    }
    // A service that ended while in GO mode goes on watching (an automatic GO, which waits
    // for the application after a reboot, takes precedence).
    m_bResumeGoPending = !m_bAutoStartPending && LoadGoActiveStatus();
    ZuvLogEvent("COpsMngrThread::LowLevelInit() 5");
  } else {
    ShowBox("oWD failed to initialize.");
    ShowBox("Failed to initialize. See Log.");
  }
  m_oInsurer.SetTimeout(m_pSettings->m_iRestarterSeconds * 1000);
  m_oInsurer.SetWorkingDirectory(m_pOwner->m_sWorkingDirectory);
  m_oInsurer.Initialize();
  LoadItems();
  ZuvLogEvent("COpsMngrThread::LowLevelInit() done");
  return bResult;
}

void COpsMngrThread::KeepAlive() {
  ZuvLogEvent("COpsMngrThread::KeepAlive() starts.");
  CZuvEvent& oEvent = m_pOwner->GetCommandEvent();
  while (!m_pOwner->m_bTerminate) {
    oEvent.Wait();
    if (!oEvent.IsSignalled()) {
      // A command that arrives right after the time-out must still wake the next wait.
      oEvent.ClearTimedOut();
      if (m_bAutoStartPending) AutoStart();
      if (m_bResumeGoPending) ResumeGo();
      continue;
    }
    oEvent.Clear();  // the command is read below, after the reset: a newer one is not lost
    ZuvLogEvent("COpsMngrThread::KeepAlive() Command Event.");
    if (m_iPendingCommand == WDX_STOP) CancelAutoStart();
    if (m_iPendingCommand == WDX_GO || IsStopCommand()) m_bResumeGoPending = false;
    if (m_iPendingCommand == WDX_GO) Go();
    if (IsStopCommand()) RecordGoActive(false);
  }
  ZuvLogEvent("COpsMngrThread::KeepAlive() exits.");
}

void COpsMngrThread::AutoStart() {
  const int iSeconds = m_pSettings->m_iRestarterSeconds;
  ZuvLogMessage(("COpsMngrThread::KeepAlive() is waiting " + std::to_string(iSeconds) +
                 " seconds for your application to come up before starting its tests in GO mode.")
                    .c_str());
  ZuvLogMessage("(This is controlled by your 'RestarterSeconds' setting.)");
  for (int i = 0; i < iSeconds && !IsStopping(); ++i) ServiceSleep(1000);
  if (m_pOwner->m_bTerminate) return;
  if (IsStopCommand()) {
    CancelAutoStart();
    return;
  }
  ZuvLogMessage("COpsMngrThread::KeepAlive() is AutoStarting.");
  m_iPendingCommand = WDX_GO;
  m_pOwner->m_bGo = true;
  Go();
  m_bAutoStartPending = false;
}

// A STOP outweighs the automatic start: GO mode is not entered again by itself afterwards.
void COpsMngrThread::CancelAutoStart() {
  if (!m_bAutoStartPending) return;
  m_bAutoStartPending = false;
  ZuvLogMessage("COpsMngrThread::KeepAlive() STOP received: no automatic start into GO mode.");
}

void COpsMngrThread::ShowBox(const char* szText) {
  ZuvLogError(szText);
  SetCurrentAction(szText, ".");
}

bool COpsMngrThread::ValidateRequireds(bool bShowBox) {
  if (CLogFile* pLog = GetProcessLog()) pLog->EnableBlankLines(m_pSettings->m_bLogEvents);
  const char* szProblem = nullptr;
  if (m_pSettings->m_oStrLogonId.IsEmpty()) {
    szProblem = "Required LOGON ID was not entered. \r\n Load it in 'Settings'.";
  } else if (m_pSettings->m_oStrPassword.IsEmpty()) {
    szProblem = "Required PASSWORD was not entered. \r\n Load it in 'Settings'.";
  } else if (m_pSettings->m_oStrMachineName.IsEmpty()) {
    szProblem = "Required FULL COMPUTER NAME was not entered. \r\n Load it in 'Settings'.";
  }
  if (szProblem != nullptr) {
    if (bShowBox) ShowBox(szProblem);
    return false;
  }
  m_oWarden.m_sUserName = m_pSettings->m_oStrLogonId.c_str();
  m_oWarden.m_sPassword = m_pSettings->m_oStrPassword.c_str();
  if (!m_pSettings->m_oStrDomainName.IsEmpty()) {
    m_oWarden.m_sDomainName = m_pSettings->m_oStrDomainName.c_str();
  }
  if (m_pSettings->m_iMinuteInterval < 1) m_pSettings->m_iMinuteInterval = 10;
  m_oWarden.m_iSensitivity = m_pSettings->m_iSensitivity;
  return true;
}

bool COpsMngrThread::LocateBrowser() {
  const std::string sBrowser = wdx::LocateBrowser(GetFileSystem());
  if (sBrowser.empty()) return false;
  m_oWarden.m_sBrowserPath = sBrowser;
  return true;
}

bool COpsMngrThread::ReadPopupDisableState() {
  std::string sValue;
  auto pStore = OpenRegistryStore();
  if (!pStore->GetValue(WDX_ERRORMODE_KEY, WDX_ERRORMODE_VALUE, sValue)) {
    ZuvLogError("COpsMngrThread::ReadPopupDisableState() failed");
    return false;
  }
  m_bPopupFlag = sValue != "0" && !sValue.empty();
  return true;
}

bool COpsMngrThread::ApplyPopupState() {
  auto pStore = OpenRegistryStore();
  if (!pStore->SetValue(WDX_ERRORMODE_KEY, WDX_ERRORMODE_VALUE, m_bPopupFlag ? "2" : "0")) {
    ZuvLogError("Popup enable/disable failed.");
    return false;
  }
  return true;
}

bool COpsMngrThread::LoadProcPerfs() {
  m_pWatcher = std::make_unique<CWManager>(&m_oItems);
  bool bOk = false;
  if (m_pSettings->m_oStrMachineName.IsEmpty()) {
    ZuvLogError("Problem: 'Machine Name' setting is empty.");
  } else {
    bOk = m_pWatcher->Initialize(m_pSettings->m_pKeyFile, &m_oWarden,
                                 m_pSettings->m_oStrMachineName.c_str()) &&
          m_pWatcher->IsLive();
  }
  if (!bOk) ZuvLogError("COpsMngrThread::LoadProcPerfs() failed.");
  return bOk;
}

bool COpsMngrThread::LoadAutoRunStatus() {
  std::string sValue;
  auto pStore = OpenRegistryStore();
  if (!pStore->GetValue(WDX_AUTORUN_KEY, WDX_AUTORUN_VALUE, sValue)) return false;
  const bool bOn = CZuvStr(sValue.c_str()).EqualsNoCase("1");
  m_pOwner->m_bAutoGo = bOn;
  ZuvLogEvent(bOn ? "LoadAutoRunStatus:: AutoRun status = true."
                  : "LoadAutoRunStatus:: AutoRun status = false.");
  return true;
}

bool COpsMngrThread::LoadGoActiveStatus() {
  std::string sValue;
  auto pStore = OpenRegistryStore();
  if (!pStore->GetValue(WDX_AUTORUN_KEY, WDX_GOACTIVE_VALUE, sValue) || sValue != "1") return false;
  ZuvLogMessage("GO mode was on when the service ended last; it is entered again.");
  return true;
}

void COpsMngrThread::RecordGoActive(bool bOn) {
  auto pStore = OpenRegistryStore();
  std::string sValue;
  const bool bKnown = pStore->GetValue(WDX_AUTORUN_KEY, WDX_GOACTIVE_VALUE, sValue);
  if ((bKnown || !bOn) && (sValue == "1") == bOn) return;  // no change: no write
  if (!pStore->SetValue(WDX_AUTORUN_KEY, WDX_GOACTIVE_VALUE, bOn ? "1" : "0")) {
    ZuvLogError("Cannot record in the registry store whether GO mode is on.");
  }
}

void COpsMngrThread::ResumeGo() {
  m_bResumeGoPending = false;
  m_iPendingCommand = WDX_GO;
  m_pOwner->m_bGo = true;
  Go();
}

bool COpsMngrThread::LoadItems() {
  m_oItems.SetLogDirectory(m_pOwner->m_sWorkingDirectory.c_str());
  m_oItems.ReInitialize();
  const bool bOk = AddItemsFromSettings();
  if (!bOk) ZuvLogError("COpsMngrThread::LoadItems() failed.");
  return bOk;
}

void COpsMngrThread::SetCurrentAction(const std::string& sAction, const std::string& sObject) {
  m_pOwner->SetCurrentAction(sAction, sObject);
}

bool COpsMngrThread::SendEmails(bool bDown) {
  if (!m_pOwner->m_bGo) return true;
  if (m_oEmailer.SendAlert(bDown)) return true;
  ZuvLogError("ERROR: Cannot send Email Alerts!");
  ZuvLogError("Is Internet Connection active?");
  ZuvLogError("Is Browser set to 'Work Offline'?");
  ZuvLogError("COpsMngrThread::SendEmails() failed");
  return false;
}

bool COpsMngrThread::GetPhoneReadyState() {
  unsigned char aReady[4] = {0, 0, 0, 0};
  const bool bOk = m_oPhoner.GetPhoneReadyState();
  m_oPhoner.GetReadyFlags(aReady);
  for (int i = 0; i < 4; ++i) m_aPhoneReady[i] = bOk ? aReady[i] : 0;
  return bOk;
}

}  // namespace wdx
