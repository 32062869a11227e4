// The main window's life: its thread and queue, start-up, initialising the service, and the
// presses that are not GO or STOP (those are in wardenix_dlg_go.cc).
#include "console/dlg/wardenix_dlg.h"

#include <chrono>

#include "console/dlg/console_output.h"
#include "console/dlg/service_control.h"
#include "foundation/log_file.h"
#include "foundation/process_log.h"
#include "platform/debug_output.h"
#include "platform/registry_store.h"
#include "service/host/wdx_codes.h"
#include "service/restart/warden.h"

namespace wdx {
namespace {

constexpr int kInitPolls = 20;
constexpr int kInitPollMs = 200;
constexpr int kCommandPauseMs = 100;
constexpr int kGoModePollMs = 200;
constexpr int kAutoGoDelayMs = 1000;

}  // namespace

int PictureForState(int iState) {
  return iState >= WDX_STATE_STOPPED && iState <= WDX_STATE_REMOTE_FAILING
             ? iState
             : WDX_STATE_AUTO_GO_PENDING;
}

CWardenixDlg::CWardenixDlg(IConsoleOutput& oOutput, SDlgSeams oSeams)
    : m_oOutput(oOutput), m_oSeams(std::move(oSeams)) {}

CWardenixDlg::~CWardenixDlg() {
  Shutdown();
}

void CWardenixDlg::Start() {
  if (!m_oThread.joinable()) m_oThread = std::thread([this] { Run(); });
}

void CWardenixDlg::Run() {
  Startup();
  for (;;) {
    SDlgPress oPress;
    {
      std::unique_lock<std::mutex> oLock(m_oQueueMutex);
      m_oQueueCv.wait(oLock, [this] { return m_bQuit || m_bCloseRequested || !m_oQueue.empty(); });
      if (m_bQuit || m_bCloseRequested) break;
      oPress = std::move(m_oQueue.front());
      m_oQueue.pop_front();
    }
    Dispatch(oPress);
  }
  ChangeView([](SDlgView& oView) { oView.m_bClosing = true; });
  if (!m_bQuit && m_oSeams.m_fnOnClosed) m_oSeams.m_fnOnClosed();
  {
    std::lock_guard<std::mutex> oLock(m_oQueueMutex);
    m_bThreadDone = true;
  }
  m_oQueueCv.notify_all();
}

bool CWardenixDlg::Post(SDlgPress oPress) {
  if (GetView().m_bClosing) return false;
  {
    std::lock_guard<std::mutex> oLock(m_oQueueMutex);
    m_oQueue.push_back(std::move(oPress));
  }
  m_oQueueCv.notify_all();
  return true;
}

SDlgView CWardenixDlg::GetView() const {
  std::lock_guard<std::mutex> oLock(m_oViewMutex);
  return m_oView;
}

bool CWardenixDlg::Shutdown(int iWaitMs) {
  bool bDone = true;
  {
    std::unique_lock<std::mutex> oLock(m_oQueueMutex);
    m_bQuit = true;
    m_bCloseRequested = true;
    m_oQueueCv.notify_all();
    if (m_oThread.joinable() && m_oThread.get_id() != std::this_thread::get_id()) {
      bDone = m_oQueueCv.wait_for(oLock, std::chrono::milliseconds(iWaitMs),
                                  [this] { return m_bThreadDone; });
    }
  }
  if (m_oThread.joinable() && m_oThread.get_id() != std::this_thread::get_id()) {
    if (bDone) {
      m_oThread.join();
    } else {
      ZuvLogError("CWardenixDlg::Shutdown the window is still busy; it is left to end by itself.");
      m_oThread.detach();
    }
  }
  if (m_oReportThread.joinable()) m_oReportThread.join();
  ChangeView([](SDlgView& oView) { oView.m_bClosing = true; });
  return bDone;
}

void CWardenixDlg::DispatchPending() {
  for (;;) {
    SDlgPress oPress;
    {
      std::lock_guard<std::mutex> oLock(m_oQueueMutex);
      if (m_oQueue.empty()) return;
      oPress = std::move(m_oQueue.front());
      m_oQueue.pop_front();
    }
    Dispatch(oPress);
  }
}

// A press of a disabled control does nothing, as on the window.
void CWardenixDlg::Dispatch(const SDlgPress& oPress) {
  const SDlgView oView = GetView();
  switch (oPress.m_eButton) {
    case EDlgButton::GO:
      if (oView.m_bGoEnabled && !m_bInGo) OnGo();
      break;
    case EDlgButton::STOP:
      if (oView.m_bStopEnabled) OnStop();
      break;
    case EDlgButton::STOP_SERVICE:
      OnStopService();
      break;
    case EDlgButton::CLOSE_CONSOLE:
      OnCloseConsole();
      break;
    case EDlgButton::REPORT:
      OnReport();
      break;
    case EDlgButton::MINUTES:
      if (oView.m_bSettingsEnabled) OnMinutes(oPress.m_sValue);
      break;
    case EDlgButton::LOG_EVENTS:
      if (oView.m_bSettingsEnabled) OnLogEvents(oPress.m_bOn);
      break;
    case EDlgButton::SETTINGS_CLOSED:
      OnSettingsClosed();
      break;
  }
}

void CWardenixDlg::Startup() {
  ChangeView([](SDlgView& oView) {
    oView.m_bStopEnabled = false;
    oView.m_iPicture = WDX_STATE_STOPPED;
  });
  ZuvLogMessage("CWardenixDlg::OnInitDialog() 1");
  ReloadSettings(true);
  ZuvLogMessage("CWardenixDlg::OnInitDialog() 2");
  EnsureServiceAndCommands();
  if (m_bQuit) return;
  ZuvLogMessage("CWardenixDlg::OnInitDialog() 3");
  if (m_oSeams.m_fnInitWarden && m_oSeams.m_fnInitWarden()) {
    m_bAutoRun = ReadAutoRun();
    m_bInitialized = true;
  }
  if (!m_bInitialized) {
    AddLine("Failed to initialize. See Log.");
    ChangeView([](SDlgView& oView) { oView.m_bGoEnabled = false; });
  }
  ZuvLogMessage("CWardenixDlg::OnInitDialog() 4");
  const bool bRunsNormally = InitService();
  ZuvLogMessage("CWardenixDlg::OnInitDialog() 5");
  const bool bAutoGo = bRunsNormally && (m_bServiceInGo || m_bAutoRun);
  ZuvLogMessage("CWardenixDlg::OnInitDialog() done");
  ChangeView([](SDlgView& oView) { oView.m_bStarted = true; });
  if (bAutoGo) {
    PumpingSleep(kAutoGoDelayMs);
    std::lock_guard<std::mutex> oLock(m_oQueueMutex);
    m_oQueue.push_front(SDlgPress{EDlgButton::GO, "", false});
  }
}

// The settings file is read afresh; the required settings are checked without a message box.
void CWardenixDlg::ReloadSettings(bool bReportInvalid) {
  SMainSettings oSettings;
  if (!m_oSeams.m_pSettings || !m_oSeams.m_pSettings->Load(oSettings)) {
    ZuvLogError("CWardenixDlg::LoadItems() failed.");
  }
  if (bReportInvalid && !oSettings.m_bRequiredValid) AddLine("Some required settings are invalid.");
  m_bPhoneEnabled = oSettings.m_bPhoneEnabled;
  ChangeView([&oSettings](SDlgView& oView) {
    oView.m_iMinutes = oSettings.m_iMinutes;
    oView.m_bLogEvents = oSettings.m_bLogEvents;
    oView.m_bUseIni = oSettings.m_bUseIni;
    oView.m_bAutoDetect = oSettings.m_bAutoDetect;
  });
}

void CWardenixDlg::EnsureServiceAndCommands() {
  if (m_oSeams.m_fnCreateServiceControl) {
    m_pServiceControl = m_oSeams.m_fnCreateServiceControl(m_oOutput);
  }
  // A service that cannot be made to run leaves the console for settings and logs only. Without
  // a service control (the command line) the command client starts the service itself.
  if (m_pServiceControl && !m_pServiceControl->EnsureRunning()) return;
  DebugOutput("CreateSvcControl_2::CoInitialize OK in CWardenixApp\n");
  if (m_oSeams.m_fnCreateCommands) m_pCommands = m_oSeams.m_fnCreateCommands();
  if (!m_pCommands) ZuvLogError("CWardenixDlg::CreateSvcControl failed.");
}

bool CWardenixDlg::ConnectCommands() {
  ReloadSettings(false);
  EnsureServiceAndCommands();
  return m_pCommands != nullptr;
}

bool CWardenixDlg::InitService() {
  bool bReady = false;
  bool bAlready = false;
  int iState = 0;
  for (int i = 0; i < kInitPolls && m_pCommands && !bAlready; ++i) {
    if (Ask(WDX_GET_STATE, iState) && iState >= WDX_STATE_READY) {
      bAlready = true;
    } else {
      SleepMs(kInitPollMs);
    }
  }
  if (bAlready) {
    ZuvLogMessage("CWardenixDlg::InitWdx finds WDXSvc is already running.");
    m_bServiceInGo = IsServiceInGoMode();
    bReady = true;
  } else if (m_pCommands) {
    int iResult = 0;
    const bool bSent = Ask(WDX_INITIALIZE, iResult);
    SleepMs(kCommandPauseMs);
    if (!bSent || iResult != WDX_TRUE)
      ZuvLogError("CWardenixDlg::InitWdx Command WDX_INITIALIZE failed.");
    bool bCallFailed = false;
    for (int i = 0; i < kInitPolls && !bReady; ++i) {
      bCallFailed = !Ask(WDX_GET_STATE, iState);
      bReady = !bCallFailed && iState == WDX_STATE_READY;
      if (!bReady) SleepMs(kInitPollMs);
    }
    if (!bReady) {
      ZuvLogError(bCallFailed ? "CWardenixDlg::InitWdx Command GetStat failed."
                              : "CWardenixDlg::InitWdx WdxSvc did not initialize.");
    }
  }
  if (!m_pCommands) ChangeView([](SDlgView& oView) { oView.m_bGoEnabled = false; });
  AddLine(bReady ? "WDXSvc is running normally." : "ERROR: WDXSvc is not running normally.");
  return bReady;
}

bool CWardenixDlg::IsServiceInGoMode() {
  for (int i = 0; i < 2 && m_pCommands; ++i) {
    int iResult = 0;
    const bool bAnswered = Ask(WDX_IS_GO_MODE, iResult);
    SleepMs(kGoModePollMs);
    if (bAnswered && iResult == WDX_TRUE) return true;
    if (!bAnswered || iResult == WDX_FALSE) {
      ZuvLogMessage("CWardenixDlg::IsServiceInGoMode WdxSvc is not yet in GO mode.");
      return false;
    }
    ZuvLogMessage("CWardenixDlg::IsServiceInGoMode.. waits for GO acknowledge.");
  }
  return false;
}

void CWardenixDlg::OnStopService() {
  if (!m_pServiceControl && m_oSeams.m_fnCreateServiceControl) {
    m_pServiceControl = m_oSeams.m_fnCreateServiceControl(m_oOutput);
  }
  if (m_pServiceControl) m_pServiceControl->Remove();
}

// The window closes at once unless the display loop runs; then the loop closes it when it ends.
void CWardenixDlg::OnCloseConsole() {
  m_bCloseRequested = true;
  m_oQueueCv.notify_all();
}

void CWardenixDlg::OnReport() {
  if (GetView().m_bReportRunning || !m_oSeams.m_fnReport) return;
  if (m_oReportThread.joinable()) m_oReportThread.join();
  ChangeView([](SDlgView& oView) { oView.m_bReportRunning = true; });
  m_oReportThread = std::thread([this] {
    const bool bOk = m_oSeams.m_fnReport();
    ChangeView([bOk](SDlgView& oView) {
      oView.m_bReportRunning = false;
      oView.m_bReportOk = bOk;
      ++oView.m_iReportsDone;
    });
  });
}

void CWardenixDlg::OnMinutes(const std::string& sValue) {
  if (!m_oSeams.m_pSettings->SetMinutes(sValue)) {
    m_oOutput.MessageBox("Minutes", m_oSeams.m_pSettings->GetLastError());
    ReloadSettings(false);
    return;
  }
  OnSettingsClosed();
}

void CWardenixDlg::OnLogEvents(bool bOn) {
  if (!m_oSeams.m_pSettings->SetLogEvents(bOn)) {
    m_oOutput.MessageBox("Log Events", m_oSeams.m_pSettings->GetLastError());
  } else if (CLogFile* pLog = GetProcessLog()) {
    pLog->EnableBlankLines(bOn);
  }
  ReloadSettings(false);
}

// The service reads the same file of the same folder when GO mode starts next.
void CWardenixDlg::OnSettingsClosed() {
  SMainSettings oSettings;
  if (!m_oSeams.m_pSettings->Load(oSettings)) {
    ZuvLogError("CWardenixDlg::UpdateSettingInWDXSvc() falied.");
    return;
  }
  ReloadSettings(true);
  ZuvLogMessage("CWardenixDlg::UpdateSettingInWDXSvc succeeded");
}

bool CWardenixDlg::ReadAutoRun() {
  std::string sValue;
  if (!m_oSeams.m_pRegistry ||
      !m_oSeams.m_pRegistry->GetValue(WDX_AUTORUN_KEY, WDX_AUTORUN_VALUE, sValue)) {
    return false;
  }
  return sValue == "1";
}

void CWardenixDlg::SetAutoRun(const char* szValue) {
  if (!m_oSeams.m_pRegistry ||
      !m_oSeams.m_pRegistry->SetValue(WDX_AUTORUN_KEY, WDX_AUTORUN_VALUE, szValue)) {
    ZuvLogError("CWardenixDlg::SetAutoRun() failed.");
  }
  m_bAutoRun = ReadAutoRun();
}

bool CWardenixDlg::Ask(int iCommand, int& iResult) {
  iResult = 0;
  return m_pCommands && m_pCommands->OpsCommand(iCommand, iResult);
}

void CWardenixDlg::SleepMs(int iMs) {
  if (m_oSeams.m_fnSleepMs) {
    m_oSeams.m_fnSleepMs(iMs);
    return;
  }
  std::unique_lock<std::mutex> oLock(m_oQueueMutex);
  m_oQueueCv.wait_for(oLock, std::chrono::milliseconds(iMs), [this] { return m_bQuit.load(); });
}

void CWardenixDlg::PumpingSleep(int iMs) {
  SleepMs(iMs < 2000 ? iMs : 2000);
  DispatchPending();
}

void CWardenixDlg::AddLine(const std::string& sLine) {
  m_oOutput.AddStatusLine(sLine);
}

}  // namespace wdx
