// GO mode of the operations thread: preparation, the test cycle, the decision and leaving.
#include <string>

#include "foundation/log_file.h"
#include "foundation/process_log.h"
#include "service/host/thread_owner.h"
#include "service/host/wdx_codes.h"
#include "service/ops/ops_mngr_thread.h"
#include "service/procwatch/wmanager.h"
#include "service/settings/all_sets.h"

namespace wdx {
namespace {

const char* const kBanner = "XXXXXXX**********************XXXXXXX*************************XXXXXXX";
constexpr int kDecisionPauseMs = 100;

std::string Number(int iValue) {
  return std::to_string(iValue);
}

}  // namespace

bool COpsMngrThread::GoContinues() const {
  return m_pOwner->m_bGo && !m_pOwner->m_bTerminate && m_iPendingCommand == WDX_GO;
}

void COpsMngrThread::Go() {
  if (!PrepareGo()) return;
  if (m_pOwner->m_bGo) RecordGoActive(true);
  bool bFailureSeen = false;
  int iRestarts = 0;
  bool bLeave = false;
  while (GoContinues() && !bLeave) RunCycle(bFailureSeen, iRestarts, bLeave);
  LeaveGo(bFailureSeen);
  // STOP (or TEST) ends GO mode for good; a service stop or a reboot leaves it on.
  if (m_iPendingCommand != WDX_GO) RecordGoActive(false);
}

bool COpsMngrThread::PrepareGo() {
  m_pOwner->m_bGoLoopActive = false;
  ZuvLogEvent("COpsMngrThread::Go() 1");
  ZuvLogEvent(
      ("OnBtnGo() m_iLastKnownServerState == " + Number(m_pSettings->m_iLastKnownServerState))
          .c_str());
  // What the console saved since the last load is in force from here on.
  ReadSettingsAfresh();
  if (!ValidateRequireds(true)) return false;
  if (!m_pOwner->m_bAutoGo) {
    m_pSettings->m_iLastKnownServerState = ZUV_SERVER_UP;
    m_pSettings->SaveSettings();
  }
  const bool bPhone = m_pSettings->m_bPhoneAlertsEnabled;
  if (bPhone) {
    ZuvLogMessage("Phone Alert is enabled.");
  } else {
    ZuvLogMessage("Warning: Phone Alerts are disabled.");
    SetCurrentAction("Warning Phone Alerts are disabled",
                     Number(m_pSettings->m_iLastKnownServerState));
  }
  if (m_pSettings->m_bEmailEnabled) {
    ZuvLogMessage("Email Alert is enabled.");
  } else {
    ZuvLogMessage("Warning: Email Alerts are disabled.");
    SetCurrentAction(bPhone ? "Warning Email Alerts are disabled"
                            : "Warning Phone AND Email Alerts are disabled",
                     ".");
  }
  if (!LocateBrowser()) {
    ZuvLogError("Cannot find a web browser (xdg-open, x-www-browser, firefox, chromium).");
    ZuvLogError("Where is a web browser?");
    ZuvLogError("That is file xdg-open.");
    ZuvLogError("Is usually at /usr/bin/ ");
    SetCurrentAction("Cannot locate a web browser...", "???");
  }
  SetCurrentAction("Registering objects", ".");
  m_oWarden.RegisterObjects();
  m_bPopupFlag = true;
  if (!ApplyPopupState()) return false;
  m_pOwner->m_bGo = true;
  m_pOwner->m_iOpsState =
      m_pSettings->m_iLastKnownServerState == ZUV_FAILS_DETECTED_SERVER_REBOOTONG
          ? WDX_STATE_FAILING
          : WDX_STATE_RUNNING;
  if (m_pSettings->m_iMinuteInterval <= 0) m_pSettings->m_iMinuteInterval = 10;
  SetCurrentAction("Setting up process watcher", ".");
  if (LoadProcPerfs()) {
    m_pWatcher->m_bWatchNamesLoaded = false;
    SetCurrentAction("Looking at procs in /proc", ".");
    if (!m_pWatcher->LWN()) {
      m_pOwner->m_iOpsState = WDX_STATE_FAILING;
      SetCurrentAction("Found missing program(s)", "Running a Restart.");
      ZuvLogEvent("Running a Restart prior to GO loop. 2");
      m_oInsurer.Go();
      ++m_iRestartsDone;
      DoRestarter();
      m_oInsurer.Stop();
    }
  } else {
    ZuvLogError("Cannot see Linux processes.");
    m_pOwner->m_bGo = false;
    SetCurrentAction("Process watcher setup failed", ".");
  }
  if (m_pWatcher && !m_pWatcher->m_bWatchNamesLoaded && !m_pSettings->m_bUseIni) {
    ZuvLogEvent("GO(): no PerfKeys and no UseIni. Must be all URLs");
    ZuvLogError(m_pWatcher->m_sLastError.c_str());
  }
  return true;
}

void COpsMngrThread::RunCycle(bool& bFailureSeen, int& iRestarts, bool& bLeave) {
  SetCurrentAction("GO MODE: Top of test loop. ", ".");
  m_oCycleStart = std::chrono::steady_clock::now();
  m_pOwner->m_bGoLoopActive = true;
  ZuvLogEvent("COpsMngrThread::Go Loop 0");
  m_pOwner->m_iOpsState = WDX_STATE_RUNNING;
  m_oInsurer.Go();
  bFailureSeen = false;
  m_bTestAbandoned = false;
  m_pOwner->m_iOpsState = WDX_STATE_TESTING;
  const bool bLocalOk = LocalOk(bFailureSeen);
  if (CycleEnds(bLeave)) return;
  HandleRemoteUrls(true);
  if (CycleEnds(bLeave)) return;
  const int iPrevious = m_pSettings->m_iLastKnownServerState;
  ZuvLogEvent(("OnBtnGo() 2: m_iLastKnownServerState == " + Number(iPrevious)).c_str());
  m_oWarden.Wait(kDecisionPauseMs);
  // A cycle stopped before its decision neither restarts nor counts as passed.
  if (CycleEnds(bLeave)) return;
  if (bLocalOk) {
    CyclePassed(iPrevious);
    iRestarts = 0;
  } else {
    bFailureSeen = true;
    if (!CycleFailed(iPrevious, iRestarts)) {
      bLeave = true;  // a reboot was started
      return;
    }
  }
  ZuvLogEvent("COpsMngrThread::Go 11");
  m_oInsurer.Stop();
  ZuvLogEvent("COpsMngrThread::Go 12");
  WriteMetrics(true);
  if (!m_pOwner->m_bGo) {
    bLeave = true;
    return;
  }
  ShowAlertWarnings();
  SetCurrentAction("Go MODE: waiting for next test :", ".");
  m_oWarden.Wait(m_pSettings->m_iMinuteInterval * 60000);
  ZuvLogEvent("COpsMngrThread::Go 13");
}

bool COpsMngrThread::CycleEnds(bool& bLeave) {
  if (!IsStopping()) return false;
  ZuvLogEvent("COpsMngrThread::Go STOP or shutdown: this cycle ends without a decision.");
  m_oInsurer.Stop();
  bLeave = true;
  return true;
}

bool COpsMngrThread::LocalOk(bool& bFailureSeen) {
  if (m_pSettings->m_bUseIni) {
    SetCurrentAction("GO MODE", "running Wardenix.INI file ");
    if (!m_oWarden.RunIniDetect(m_pOwner->m_iOpsState, m_pOwner->m_bGo)) {
      bFailureSeen = !IsStopping();  // a DETECT cut short by STOP is no verdict
      return false;
    }
  }
  m_pOwner->m_iOpsState = WDX_STATE_TESTING;
  if (!RunUrls()) {
    if (m_bTestAbandoned) return false;  // cut short: no verdict
    bFailureSeen = true;
    m_pOwner->m_iOpsState = WDX_STATE_FAILING;
    return false;
  }
  if (!m_oWarden.HasKeys()) return true;
  if (IsStopping()) return false;  // no activity sample after STOP: the cycle ends
  if (m_pSettings->m_bWatch) {
    SetCurrentAction("Go MODE", "Testing Process Activity");
    m_oWarden.XTst();
  }
  const bool bPassed = m_oWarden.LastTestPassed();
  if (bPassed) m_oItems.LogProgramsUp("");
  return bPassed;
}

void COpsMngrThread::CyclePassed(int iPrevious) {
  m_pSettings->m_iLastKnownServerState = ZUV_SERVER_UP;
  m_pSettings->SaveSettings();
  if (m_iRemoteStatus == REMOTE_SOME_FAILED) {
    m_pOwner->m_iOpsState = WDX_STATE_REMOTE_FAILING;
    ZuvLogEvent("Detects Failing Remote URL(s) but Local Ops are NORMAL. System is running.");
    SetCurrentAction("Go MODE: Some Remote URL(s) Failed", ".");
  } else {
    m_pOwner->m_iOpsState = WDX_STATE_RUNNING;
    ZuvLogEvent("Detects Local NORMAL. System is running.");
    SetCurrentAction("Go MODE: sleeping.", "Ops are normal.");
  }
  m_oWarden.WriteHeartbeatFile();
  if (m_pSettings->m_bPhoneAlertsEnabled && m_oPhoner.IsReady() && iPrevious != ZUV_SERVER_UP) {
    m_oPhoner.SetMessageType(1003);
    m_oPhoner.SendUpMessage();
  }
  if (m_pSettings->m_bEmailEnabled && iPrevious != ZUV_SERVER_UP) SendEmails(false);
  m_pSettings->m_iLastKnownServerState = ZUV_SERVER_UP;
  m_pSettings->SaveSettings();
  ZuvLogEvent("OnBtnGo() has set m_iLastKnownServerState == ZUV_SERVER_UP.");
}

bool COpsMngrThread::CycleFailed(int iPrevious, int& iRestarts) {
  SetCurrentAction("Go MODE: Local fails.", "Attempting restart.");
  m_pSettings->m_iLastKnownServerState = ZUV_FAILS_DETECTED_SERVER_RESTARTING;
  m_pSettings->SaveSettings();
  ZuvLogEvent("OnBtnGo() has set m_iLastKnownServerState == ZUV_FAILS_DETECTED_SERVER_RESTARTING.");
  m_pOwner->m_iOpsState = WDX_STATE_FAILING;
  if (m_oWarden.HasKeys()) MarkFailedProgram();
  const CLogFile* pLog = GetProcessLog();
  const std::string sStamp = pLog != nullptr ? pLog->GetTimeStamp() : "";
  ZuvLogMessage((sStamp + "** Running Soft ReStart").c_str());
  m_pOwner->m_iOpsState = WDX_STATE_FAILING;
  ZuvLogError(kBanner);
  ZuvLogError(kBanner);
  ZuvLogError("FAILURE DETECTED. Attempting RESTART........");
  ZuvLogError(kBanner);
  ZuvLogError(kBanner);
  ZuvLogEvent("COpsMngrThread::Go 5");
  if (iPrevious == ZUV_SERVER_UP && iRestarts <= 0) {
    if (m_pSettings->m_bPhoneAlertsEnabled && m_oPhoner.IsReady()) {
      m_oPhoner.SetMessageType(1004);
      m_oPhoner.SendDownMessage();
    }
    if (m_pSettings->m_bEmailEnabled) SendEmails(true);
  }
  ZuvLogEvent("COpsMngrThread::Go 5.1.");
  m_oInsurer.Stop();
  ZuvLogEvent("COpsMngrThread::Go 5.2");
  ZuvLogEvent("COpsMngrThread::Go 6");
  bool bChanged = false;
  const int iAllowed = m_pSettings->m_iRestartsB4Reboot;
  if (iAllowed > 0 && iRestarts >= iAllowed) {
    m_oItems.Update(ITEM_RESTART, "Restart", ITEM_DOWN, bChanged);
    // The machine goes down a while after the request: there is time for the file.
    if (m_oWarden.ReBoot()) ++m_iRebootsDone;
    WriteMetrics(true);
    return false;
  }
  ZuvLogEvent("COpsMngrThread::Go 7");
  m_oItems.Update(ITEM_RESTART, "Restart", ITEM_UP, bChanged);
  m_oInsurer.Go();
  ZuvLogEvent("COpsMngrThread::Go 8");
  if (m_pSettings->m_bUseIni) m_oWarden.RunRestarter();
  ZuvLogEvent("COpsMngrThread::Go 9");
  ++m_iRestartsDone;
  DoRestarter();
  ZuvLogEvent("COpsMngrThread::Go 10");
  ++iRestarts;
  return true;
}

void COpsMngrThread::MarkFailedProgram() {
  std::string sCounter;
  m_oWarden.GetFirstFailure(sCounter);
  SetCurrentAction("Go MODE: Local failure:", sCounter);
  std::string sImage = sCounter;
  const size_t uOpen = sCounter.find('(');
  if (uOpen != std::string::npos) {
    const size_t uClose = sCounter.find(')', uOpen + 1);
    sImage = sCounter.substr(uOpen + 1,
                             uClose == std::string::npos ? std::string::npos : uClose - uOpen - 1);
  }
  ZuvLogError(("Failure in " + sImage).c_str());
  CItem* pItem = m_oItems.GetRefByImageName(ITEM_PROGRAM, sImage.c_str());
  if (pItem == nullptr) {
    ZuvLogError(("GO(): Does't see " + sImage + " on the process stack.").c_str());
    return;
  }
  bool bChanged = false;
  const std::string sName = pItem->GetName();
  const std::string sItemImage = pItem->GetImageName();
  m_oItems.Update(ITEM_PROGRAM, sName.c_str(), ITEM_DOWN, bChanged);
  m_oItems.LogProgramsUp(sItemImage.c_str());
}

void COpsMngrThread::ShowAlertWarnings() {
  const bool bPhone = m_pSettings->m_bPhoneAlertsEnabled;
  const bool bEmail = m_pSettings->m_bEmailEnabled;
  if (!bPhone && !bEmail) {
    SetCurrentAction("Warning Phone AND Email Alerts are disabled", ".");
  } else if (!bEmail) {
    SetCurrentAction("Warning Email Alerts are disabled", ".");
  } else if (!bPhone) {
    SetCurrentAction("Warning Phone Alerts are disabled", ".");
  }
  if (bPhone) {
    GetPhoneReadyState();
    if (!m_oPhoner.IsReady()) {
      SetCurrentAction("Warning: Phone Alerts did not fully initialize. See Phone log", ".");
    }
  }
}

void COpsMngrThread::LeaveGo(bool bFailureSeen) {
  m_pOwner->m_bGoLoopActive = false;
  m_oInsurer.Stop();
  SetCurrentAction("Exiting GO MODE: :", ".");
  m_pOwner->m_iOpsState = bFailureSeen ? WDX_STATE_AUTO_GO_PENDING : WDX_STATE_STOPPED;
  m_bPopupFlag = false;
  ApplyPopupState();
  WriteMetrics(false);
  ZuvLogEvent("COpsMngrThread::Go(): Testing has STOPPED.");
}

}  // namespace wdx
