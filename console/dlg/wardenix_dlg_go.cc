// The main window's GO and STOP: the wait for the phone component, the wait for GO mode, the
// display loop that follows the service, and the stop.
#include <string>

#include "console/dlg/console_output.h"
#include "console/dlg/wardenix_dlg.h"
#include "foundation/process_log.h"
#include "service/host/wdx_codes.h"

namespace wdx {
namespace {

constexpr int kGoPolls = 90;
constexpr int kGoPollMs = 500;
constexpr int kPhonePollMs = 1000;
constexpr int kDisplayMs = 1000;
constexpr int kCommandPauseMs = 100;
constexpr int kStopPolls = 20;
constexpr int kStopPollMs = 200;

struct SPhonePart {
  int m_iCommand;
  const char* m_szLog;
  const char* m_szLine;
};
constexpr SPhonePart kPhoneParts[] = {
    {PHONE_INIT_CALL_THREAD, "PhoneAlert call thread did not fully initialize.",
     "PhoneAlert call thread didn't initialize."},
    {PHONE_INIT_SAPI, "PhoneAlert SAPI (speech processing) did not fully initialize.",
     "PhoneAlert SAPI (speech processing) didn't initialize."},
    {PHONE_INIT_TAPI, "PhoneAlert TAPI (telephony) did not fully initialize.",
     "PhoneAlert TAPI (telephony) didn't initialize."},
};

}  // namespace

void CWardenixDlg::SetIdleButtons(bool bIdle) {
  ChangeView([bIdle](SDlgView& oView) {
    oView.m_bGoEnabled = bIdle;
    oView.m_bSettingsEnabled = bIdle;
    oView.m_bStopEnabled = !bIdle;
  });
}

bool CWardenixDlg::EnterGo() {
  m_bStopRequested = false;
  SetIdleButtons(false);
  if (m_bPhoneEnabled && !WaitForPhone()) {
    if (!m_bCloseRequested) m_bStopRequested = true;
    return false;
  }
  RefreshStatusList();
  if (!m_bServiceInGo) {
    int iResult = 0;
    const bool bSent = Ask(WDX_GO, iResult);
    SleepMs(kCommandPauseMs);
    if (!bSent || iResult != WDX_TRUE) {
      ZuvLogError("CWardenixDlg::OnBtnGo WdxSvc Command Go failed.");
      return false;
    }
    const EGoWait eWait = WaitForGo();
    if (eWait == EGoWait::TIMED_OUT) {
      SetIdleButtons(true);
      ZuvLogError("CWardenixDlg::OnBtnGo WdxSvc Command Go mode not entered.");
      AddLine("Timed out waiting for GO command to finish.");
      AddLine("But, GO mode may be active.");
      AddLine("Wait awhile, do a CloseConsole, then reopen it.");
      AddLine("You may find it up and running.");
      m_bTimedOut = true;
      return false;
    }
  }
  // Found in GO mode once: a later GO of this console sends WDX_GO again.
  m_bServiceInGo = false;
  if (!m_bStopRequested) SetAutoRun("1");
  return true;
}

void CWardenixDlg::OnGo() {
  m_bInGo = true;
  m_bTimedOut = false;
  if (EnterGo()) {
    m_bGoActive = true;
    ChangeView([](SDlgView& oView) { oView.m_bGoActive = true; });
    DisplayLoop();
    m_bGoActive = false;
    ChangeView([](SDlgView& oView) { oView.m_bGoActive = false; });
  }
  if (!m_bTimedOut) FinishGo();
  m_bInGo = false;
}

CWardenixDlg::EGoWait CWardenixDlg::WaitForGo() {
  for (int i = 0; i < kGoPolls; ++i) {
    RefreshStatusList();
    int iResult = 0;
    Ask(WDX_IS_GO_MODE, iResult);
    PumpingSleep(kGoPollMs);
    if (m_bCloseRequested) return EGoWait::CLOSED;
    if (m_bStopRequested) return EGoWait::STOPPED;
    if (iResult == WDX_TRUE) return EGoWait::ENTERED;
    ZuvLogMessage("CWardenixDlg::OnBtnGo Still waiting for GO Mode get fully operational.");
    AddLine("Waiting for GO Mode get fully operational....");
  }
  return EGoWait::TIMED_OUT;
}

// True when the phone component is fully ready; false when Stop (or closing) ended the wait.
bool CWardenixDlg::WaitForPhone() {
  int iReady = 0;
  if (Ask(PHONE_INIT_READY, iReady) && iReady == WDX_TRUE) return true;
  ZuvLogMessage("CWardenixDlg::GetPhoneReadyState waits for PhoneAlert to fully initialize.");
  AddLine("Waiting & trying to get PhoneAlert to fully initialize...");
  AddLine("Press STOP to quit trying...");
  for (;;) {
    PumpingSleep(kPhonePollMs);
    if (m_bCloseRequested) return false;
    if (m_bStopRequested) break;
    if (Ask(PHONE_INIT_READY, iReady) && iReady == WDX_TRUE) return true;
  }
  ReportPhoneParts();
  return false;
}

void CWardenixDlg::ReportPhoneParts() {
  for (const SPhonePart& oPart : kPhoneParts) {
    int iResult = 0;
    if (Ask(oPart.m_iCommand, iResult) && iResult == WDX_TRUE) continue;
    ZuvLogMessage(oPart.m_szLog);
    AddLine(oPart.m_szLine);
  }
  int iReady = 0;
  if (Ask(PHONE_INIT_READY, iReady) && iReady == WDX_TRUE) return;
  AddLine("PhoneAlert did not come to full readiness.");
  ZuvLogMessage(
      "Go into Phone settings and un-check all the ENABLE boxes to operate without phone service.");
  AddLine("Go into Phone settings and un-check all the ENABLE boxes, to contnue");
}

void CWardenixDlg::DisplayLoop() {
  while (!m_bCloseRequested && !m_bStopRequested) {
    UpdatePicture();
    RefreshStatusList();
    if (!IsServiceInGoMode()) break;
    DispatchPending();
    if (m_bCloseRequested || m_bStopRequested) break;
    SleepMs(kDisplayMs);
  }
}

void CWardenixDlg::FinishGo() {
  UpdatePicture();
  if (!m_bStopRequested) SetIdleButtons(true);
  if (m_bCloseRequested) return;  // the window closes; GO mode goes on in the service
  if (m_bStopRequested) {
    PerformStop();
    AddLine("Is Now Stopped.");
    UpdatePicture();
  }
}

void CWardenixDlg::OnStop() {
  m_bStopRequested = true;
  if (m_bGoActive) PerformStop();
  SetAutoRun("0");
}

void CWardenixDlg::PerformStop() {
  AddLine("STOP command. Stopping now.....");
  int iResult = 0;
  const bool bSent = Ask(WDX_STOP, iResult);
  SleepMs(kCommandPauseMs);
  if (!bSent || iResult != WDX_TRUE) ZuvLogError("CWardenixDlg::DoStop WdxSvc Command Go failed.");
  for (int i = 0; i < kStopPolls; ++i) {
    int iState = 0;
    if (!Ask(WDX_GET_STATE, iState)) {
      ZuvLogError("CWardenixDlg::DoStop WdxSvc Command GetStat failed.");
      break;
    }
    if (iState != WDX_STATE_RUNNING) break;
    SleepMs(kStopPollMs);
  }
  SetIdleButtons(true);
  if (!m_pCommands) ChangeView([](SDlgView& oView) { oView.m_bGoEnabled = false; });
}

void CWardenixDlg::UpdatePicture() {
  int iState = 0;
  if (!Ask(WDX_GET_STATE, iState)) iState = 0;
  ChangeView([iState](SDlgView& oView) { oView.m_iPicture = PictureForState(iState); });
}

// The service's current action and its object as one line, unless it is the line shown last.
void CWardenixDlg::RefreshStatusList() {
  if (!m_pCommands) return;
  std::string sAction;
  std::string sObject;
  if (!m_pCommands->GetStringResult(WDX_GET_CURRENT_ACTION, sAction)) sAction.clear();
  if (!m_pCommands->GetStringResult(WDX_GET_CURRENT_ACTION_OBJECT, sObject)) sObject.clear();
  const std::string sLine = sAction + " " + sObject;
  if (sLine == m_sLastLine) return;
  m_sLastLine = sLine;
  AddLine(sLine);
}

}  // namespace wdx
