#include "console/dlg/wardenix_dlg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <thread>
#include <vector>

#include "console/dlg/console_output.h"
#include "console/dlg/service_control.h"
#include "console/dlg/status_list.h"
#include "platform/registry_store.h"
#include "service/host/wdx_codes.h"
#include "service/restart/warden.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_registry.h"

namespace wdx {
namespace {

// The service's command object as the console sees it: a state machine with counters.
struct SFakeService {
  int m_iState = 0;             // WDX_GET_STATE; WDX_INITIALIZE makes it 999
  bool m_bGoMode = false;       // WDX_IS_GO_MODE
  int m_iGoModeAfterPolls = 2;  // IS_GO_MODE asks after WDX_GO before GO mode; -1: never
  int m_iGoResult = WDX_TRUE;   // answer to WDX_GO
  bool m_bReachable = true;
  std::map<int, int> m_oPhone{{PHONE_INIT_READY, WDX_TRUE}};
  std::string m_sAction = "GO MODE: local URLs";
  std::string m_sObject = "http://127.0.0.1/";
  std::vector<int> m_oSent;
  int m_iPollsSinceGo = -1;

  int Count(int iCommand) const {
    return static_cast<int>(std::count(m_oSent.begin(), m_oSent.end(), iCommand));
  }
  bool Answer(int iCommand, int& iResult) {
    m_oSent.push_back(iCommand);
    if (!m_bReachable) return false;
    switch (iCommand) {
      case WDX_INITIALIZE:
        m_iState = WDX_STATE_READY;
        iResult = WDX_TRUE;
        break;
      case WDX_GO:
        iResult = m_iGoResult;
        if (iResult == WDX_TRUE) m_iPollsSinceGo = 0;
        break;
      case WDX_STOP:
        m_bGoMode = false;
        m_iPollsSinceGo = -1;
        m_iState = WDX_STATE_STOPPED;
        iResult = WDX_TRUE;
        break;
      case WDX_GET_STATE:
        iResult = m_iState;
        break;
      case WDX_IS_GO_MODE:
        if (m_iPollsSinceGo >= 0 && m_iGoModeAfterPolls >= 0 &&
            ++m_iPollsSinceGo > m_iGoModeAfterPolls) {
          m_bGoMode = true;
          m_iState = WDX_STATE_RUNNING;
          m_iPollsSinceGo = -1;
        }
        iResult = m_bGoMode ? WDX_TRUE : WDX_FALSE;
        break;
      default:
        iResult = m_oPhone.count(iCommand) ? m_oPhone[iCommand] : WDX_FALSE;
    }
    return true;
  }
};

class CFakeCommands final : public IWdxCommands {
 public:
  explicit CFakeCommands(SFakeService& oService) : m_oService(oService) {}
  bool OpsCommand(int iCommand, int& iResult) override {
    return m_oService.Answer(iCommand, iResult);
  }
  bool GetStringResult(int iCommand, std::string& sResult) override {
    if (!m_oService.m_bReachable) return false;
    sResult = iCommand == WDX_GET_CURRENT_ACTION ? m_oService.m_sAction : m_oService.m_sObject;
    return true;
  }

 private:
  SFakeService& m_oService;
};

struct SRecordingOutput final : IConsoleOutput {
  std::vector<std::string> m_oLines;
  std::vector<std::string> m_oBoxes;  // "title|text"
  void AddStatusLine(const std::string& sLine) override { m_oLines.push_back(sLine); }
  void MessageBox(const std::string& sTitle, const std::string& sText) override {
    m_oBoxes.push_back(sTitle + "|" + sText);
  }
  int Count(const std::string& sLine) const {
    return static_cast<int>(std::count(m_oLines.begin(), m_oLines.end(), sLine));
  }
};

struct SFakeControl final : IServiceControl {
  bool m_bRuns = true;
  int m_iRemoves = 0;
  bool EnsureRunning() override { return m_bRuns; }
  bool Start() override { return true; }
  bool Stop() override { return true; }
  bool Remove() override { return ++m_iRemoves > 0; }
};

struct SFakeSettings final : IMainSettings {
  SMainSettings m_oValues;
  bool m_bRefuse = false;
  bool Load(SMainSettings& oSettings) override {
    oSettings = m_oValues;
    return true;
  }
  bool SetMinutes(const std::string& sValue) override {
    if (m_bRefuse) return false;
    m_oValues.m_iMinutes = std::stoi(sValue);
    return true;
  }
  bool SetLogEvents(bool bOn) override {
    m_oValues.m_bLogEvents = bOn;
    return true;
  }
  std::string GetLastError() const override { return "MinuteInterval must be 1 to 1440."; }
};

class WardenixDlgTest : public ::testing::Test {
 protected:
  void SetUp() override { m_oSettings.m_oValues.m_bRequiredValid = true; }

  // The window with fakes; virtual time advances by every sleep, and m_fnAt runs after each.
  CWardenixDlg& Dlg() {
    if (m_pDlg) return *m_pDlg;
    SDlgSeams oSeams;
    oSeams.m_fnCreateCommands = [this]() -> std::unique_ptr<IWdxCommands> {
      return m_bCommandObject ? std::make_unique<CFakeCommands>(m_oService) : nullptr;
    };
    oSeams.m_fnCreateServiceControl = [this](IConsoleOutput&) {
      auto pControl = std::make_unique<SFakeControl>();
      pControl->m_bRuns = m_bServiceRuns;
      m_pControl = pControl.get();
      return pControl;
    };
    auto pSettings = std::make_unique<SFakeSettings>();
    m_pSettings = pSettings.get();
    pSettings->m_oValues = m_oSettings.m_oValues;
    oSeams.m_pSettings = std::move(pSettings);
    oSeams.m_pRegistry = OpenRegistryStore();
    oSeams.m_fnInitWarden = [this] { return m_bWardenInits; };
    oSeams.m_fnReport = [] { return true; };
    if (!m_bFakeTime) {
      m_pDlg = std::make_unique<CWardenixDlg>(m_oOutput, std::move(oSeams));
      return *m_pDlg;
    }
    oSeams.m_fnSleepMs = [this](int iMs) {
      m_iNowMs += iMs;
      if (m_fnAt) m_fnAt(m_iNowMs);
      if (m_bRealSleep) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    m_pDlg = std::make_unique<CWardenixDlg>(m_oOutput, std::move(oSeams));
    return *m_pDlg;
  }
  void Press(EDlgButton eButton, std::string sValue = "") {
    Dlg().Post(SDlgPress{eButton, std::move(sValue), false});
    Dlg().DispatchPending();
  }
  std::string AutoRun() {
    std::string sValue;
    OpenRegistryStore()->GetValue(WDX_AUTORUN_KEY, WDX_AUTORUN_VALUE, sValue);
    return sValue;
  }
  // Presses Stop once virtual time reaches iAtMs.
  void StopAt(long long llAtMs) {
    m_fnAt = [this, llAtMs](long long llNow) {
      if (llNow >= llAtMs && !m_bStopPosted)
        m_bStopPosted = Dlg().Post({EDlgButton::STOP, "", false});
    };
  }

  test::CTempRegistry m_oRegistry;
  test::CLogCapture m_oLog;
  SFakeService m_oService;
  SRecordingOutput m_oOutput;
  SFakeSettings m_oSettings;
  SFakeSettings* m_pSettings = nullptr;
  SFakeControl* m_pControl = nullptr;
  bool m_bCommandObject = true;
  bool m_bServiceRuns = true;
  bool m_bWardenInits = true;
  bool m_bRealSleep = false;
  bool m_bFakeTime = true;
  bool m_bStopPosted = false;
  long long m_iNowMs = 0;
  std::function<void(long long)> m_fnAt;
  std::vector<int> m_oPictures;
  std::vector<bool> m_oGoActive;
  std::unique_ptr<CWardenixDlg> m_pDlg;
};

TEST_F(WardenixDlgTest, StartUpReportsWhatItFinds) {
  struct SCase {
    const char* szName;
    int iState;  // the service's operations state at start
    bool bRequiredValid;
    bool bServiceRuns;  // the service control made it run
    bool bWardenInits;
    const char* szLastLine;
    bool bGoEnabled;
    const char* szLogged;  // an entry the start-up wrote, or ""
  };
  const SCase aCases[] = {
      {"fresh service initialised", 0, true, true, true, "WDXSvc is running normally.", true,
       "CWardenixDlg::OnInitDialog() done"},
      {"already initialised", 999, true, true, true, "WDXSvc is running normally.", true,
       "CWardenixDlg::InitWdx finds WDXSvc is already running."},
      {"required settings missing", 999, false, true, true, "WDXSvc is running normally.", true,
       ""},
      {"service pending or missing: no command object", 0, true, false, true,
       "ERROR: WDXSvc is not running normally.", false, ""},
      {"warden fails", 999, true, true, false, "WDXSvc is running normally.", false, ""},
  };
  for (const SCase& oCase : aCases) {
    SCOPED_TRACE(oCase.szName);
    m_pDlg.reset();
    m_oOutput = {};
    m_oService = {};
    m_oService.m_iState = oCase.iState;
    m_oSettings.m_oValues.m_bRequiredValid = oCase.bRequiredValid;
    m_bServiceRuns = oCase.bServiceRuns;
    m_bWardenInits = oCase.bWardenInits;
    Dlg().Startup();
    ASSERT_FALSE(m_oOutput.m_oLines.empty());
    EXPECT_EQ(m_oOutput.m_oLines.back(), oCase.szLastLine);
    EXPECT_EQ(m_oOutput.Count("Some required settings are invalid."), oCase.bRequiredValid ? 0 : 1);
    EXPECT_EQ(m_oOutput.Count("Failed to initialize. See Log."), oCase.bWardenInits ? 0 : 1);
    const SDlgView oView = Dlg().GetView();
    EXPECT_EQ(oView.m_bGoEnabled, oCase.bGoEnabled);
    EXPECT_FALSE(oView.m_bStopEnabled);
    EXPECT_TRUE(oView.m_bStarted);
    EXPECT_EQ(m_oService.Count(WDX_INITIALIZE), oCase.iState == 0 && oCase.bServiceRuns ? 1 : 0);
    EXPECT_EQ(m_oService.Count(WDX_GO), 0);
    if (*oCase.szLogged) {
      EXPECT_NE(m_oLog.Text().find(oCase.szLogged), std::string::npos);
    }
  }
}

TEST_F(WardenixDlgTest, ServiceThatNeverInitialisesIsReported) {
  m_oService.m_iState = 0;
  m_oService.m_oPhone.clear();
  Dlg();
  m_fnAt = [this](long long) { m_oService.m_iState = 0; };  // INITIALIZE does not take
  Dlg().Startup();
  EXPECT_EQ(m_oOutput.m_oLines.back(), "ERROR: WDXSvc is not running normally.");
  EXPECT_TRUE(m_oLog.HasError("CWardenixDlg::InitWdx WdxSvc did not initialize."));
  EXPECT_EQ(m_oService.Count(WDX_GET_STATE), 40);  // 20 looking for a running one, 20 after
}

TEST_F(WardenixDlgTest, GoEntersGoModeFollowsTheServiceAndEndsWithIt) {
  m_oService.m_iState = 999;
  Dlg().Startup();
  m_fnAt = [this](long long llNow) {
    // After a while in GO mode a URL fails and the service restarts; later it leaves GO mode.
    if (m_oService.m_bGoMode && llNow > 5000) m_oService.m_iState = WDX_STATE_FAILING;
    if (m_oService.m_bGoMode && llNow > 5000) m_oService.m_sAction = "Restarting";
    if (llNow > 9000) m_oService.m_bGoMode = false, m_oService.m_iState = WDX_STATE_STOPPED;
    m_oPictures.push_back(Dlg().GetView().m_iPicture);
    m_oGoActive.push_back(Dlg().GetView().m_bGoActive);
  };
  Press(EDlgButton::GO);
  EXPECT_EQ(m_oService.Count(WDX_GO), 1);
  EXPECT_EQ(m_oService.Count(WDX_STOP), 0);
  EXPECT_EQ(AutoRun(), "1");
  EXPECT_NE(std::find(m_oPictures.begin(), m_oPictures.end(), WDX_STATE_RUNNING),
            m_oPictures.end());
  EXPECT_NE(std::find(m_oPictures.begin(), m_oPictures.end(), WDX_STATE_FAILING),
            m_oPictures.end());
  EXPECT_NE(std::find(m_oGoActive.begin(), m_oGoActive.end(), true), m_oGoActive.end());
  // Each action line once, though the display loop read it every second.
  EXPECT_EQ(m_oOutput.Count("GO MODE: local URLs http://127.0.0.1/"), 1);
  EXPECT_EQ(m_oOutput.Count("Restarting http://127.0.0.1/"), 1);
  EXPECT_EQ(m_oOutput.Count("Waiting for GO Mode get fully operational...."), 2);
  const SDlgView oView = Dlg().GetView();
  EXPECT_EQ(oView.m_iPicture, WDX_STATE_STOPPED);
  EXPECT_TRUE(oView.m_bGoEnabled && oView.m_bSettingsEnabled && !oView.m_bStopEnabled);
  EXPECT_FALSE(oView.m_bGoActive);
}

TEST_F(WardenixDlgTest, GoNotAcknowledgedIn90PollsGivesUpAndExplains) {
  m_oService.m_iState = 999;
  m_oService.m_iGoModeAfterPolls = -1;
  Dlg().Startup();
  const int iAsked = m_oService.Count(WDX_IS_GO_MODE);  // at start-up: is GO mode running?
  Press(EDlgButton::GO);
  EXPECT_EQ(m_oService.Count(WDX_IS_GO_MODE) - iAsked, 90);
  EXPECT_EQ(m_oOutput.Count("Waiting for GO Mode get fully operational...."), 90);
  const std::vector<std::string> oTail(m_oOutput.m_oLines.end() - 4, m_oOutput.m_oLines.end());
  EXPECT_EQ(oTail, (std::vector<std::string>{"Timed out waiting for GO command to finish.",
                                             "But, GO mode may be active.",
                                             "Wait awhile, do a CloseConsole, then reopen it.",
                                             "You may find it up and running."}));
  EXPECT_TRUE(m_oLog.HasError("CWardenixDlg::OnBtnGo WdxSvc Command Go mode not entered."));
  EXPECT_EQ(m_oService.Count(WDX_STOP), 0);
  EXPECT_NE(AutoRun(), "1");
  const SDlgView oView = Dlg().GetView();
  EXPECT_TRUE(oView.m_bGoEnabled && oView.m_bSettingsEnabled && !oView.m_bStopEnabled);
}

TEST_F(WardenixDlgTest, GoRefusedByTheServiceIsLoggedAndLeavesTheWindowIdle) {
  m_oService.m_iState = 999;
  m_oService.m_iGoResult = WDX_FALSE;
  Dlg().Startup();
  const int iAsked = m_oService.Count(WDX_IS_GO_MODE);
  Press(EDlgButton::GO);
  EXPECT_TRUE(m_oLog.HasError("CWardenixDlg::OnBtnGo WdxSvc Command Go failed."));
  EXPECT_EQ(m_oService.Count(WDX_IS_GO_MODE), iAsked);
  EXPECT_TRUE(Dlg().GetView().m_bGoEnabled);
  EXPECT_FALSE(Dlg().GetView().m_bStopEnabled);
}

// Found in GO mode (or with AutoRun = "1") the console re-enters the display by itself, and
// sends no WDX_GO when the service already runs it.
TEST_F(WardenixDlgTest, ConsoleStartedWhileServiceInGoDisplaysWithoutSendingGo) {
  struct SCase {
    const char* szName;
    bool bServiceInGo;
    const char* szAutoRun;
    int iGoSent;
  };
  const SCase aCases[] = {{"service in GO", true, "0", 0}, {"AutoRun set", false, "1", 1}};
  for (const SCase& oCase : aCases) {
    SCOPED_TRACE(oCase.szName);
    m_pDlg.reset();
    m_oOutput = {};
    m_oService = {};
    m_bStopPosted = false;
    m_oService.m_iState = oCase.bServiceInGo ? WDX_STATE_RUNNING : WDX_STATE_READY;
    m_oService.m_bGoMode = oCase.bServiceInGo;
    OpenRegistryStore()->SetValue(WDX_AUTORUN_KEY, WDX_AUTORUN_VALUE, oCase.szAutoRun);
    m_iNowMs = 0;
    StopAt(20000);
    Dlg().Startup();
    Dlg().DispatchPending();  // the start-up's GO
    EXPECT_EQ(m_oService.Count(WDX_GO), oCase.iGoSent);
    EXPECT_GE(m_oService.Count(WDX_STOP), 1);
    EXPECT_EQ(m_oOutput.m_oLines.back(), "Is Now Stopped.");
    EXPECT_EQ(AutoRun(), "0");
    EXPECT_EQ(Dlg().GetView().m_iPicture, WDX_STATE_STOPPED);
  }
}

TEST_F(WardenixDlgTest, StopDuringThePhoneWaitNamesThePartsNotReady) {
  m_oService.m_iState = 999;
  m_oSettings.m_oValues.m_bPhoneEnabled = true;
  m_oService.m_oPhone = {{PHONE_INIT_READY, WDX_FALSE},
                         {PHONE_INIT_CALL_THREAD, WDX_TRUE},
                         {PHONE_INIT_SAPI, WDX_FALSE},
                         {PHONE_INIT_TAPI, WDX_FALSE}};
  Dlg().Startup();
  StopAt(m_iNowMs + 5000);
  Press(EDlgButton::GO);
  for (const char* szLine :
       {"Waiting & trying to get PhoneAlert to fully initialize...", "Press STOP to quit trying...",
        "PhoneAlert SAPI (speech processing) didn't initialize.",
        "PhoneAlert TAPI (telephony) didn't initialize.",
        "PhoneAlert did not come to full readiness.",
        "Go into Phone settings and un-check all the ENABLE boxes, to contnue",
        "Is Now Stopped."}) {
    EXPECT_EQ(m_oOutput.Count(szLine), 1) << szLine;
  }
  EXPECT_EQ(m_oOutput.Count("PhoneAlert call thread didn't initialize."), 0);
  EXPECT_EQ(m_oService.Count(WDX_GO), 0);
  EXPECT_EQ(m_oService.Count(WDX_STOP), 1);
  EXPECT_GE(m_oService.Count(PHONE_INIT_READY), 5);  // asked about once a second
  EXPECT_TRUE(Dlg().GetView().m_bGoEnabled);
}

TEST_F(WardenixDlgTest, PhoneBecomingReadyLetsGoGoOn) {
  m_oService.m_iState = 999;
  m_oSettings.m_oValues.m_bPhoneEnabled = true;
  m_oService.m_oPhone = {{PHONE_INIT_READY, WDX_FALSE}};
  Dlg().Startup();
  m_fnAt = [this](long long llNow) {
    if (llNow > 3000) m_oService.m_oPhone[PHONE_INIT_READY] = WDX_TRUE;
    if (Dlg().GetView().m_bGoActive) {
      m_bStopPosted = m_bStopPosted || Dlg().Post({EDlgButton::STOP, "", false});
    }
  };
  Press(EDlgButton::GO);
  EXPECT_EQ(m_oService.Count(WDX_GO), 1);
  EXPECT_EQ(m_oOutput.Count("PhoneAlert did not come to full readiness."), 0);
  // Stop in the display loop stops at once and once more as the loop ends.
  EXPECT_EQ(m_oService.Count(WDX_STOP), 2);
  EXPECT_EQ(m_oOutput.Count("STOP command. Stopping now....."), 2);
  EXPECT_EQ(m_oOutput.m_oLines.back(), "Is Now Stopped.");
}

TEST_F(WardenixDlgTest, CloseDuringGoLeavesGoModeRunning) {
  m_oService.m_iState = 999;
  Dlg().Startup();
  m_fnAt = [this](long long) {
    if (m_oService.m_bGoMode) Dlg().Post({EDlgButton::CLOSE_CONSOLE, "", false});
  };
  Press(EDlgButton::GO);
  EXPECT_EQ(m_oService.Count(WDX_STOP), 0);
  EXPECT_TRUE(m_oService.m_bGoMode);
  EXPECT_EQ(AutoRun(), "1");
}

TEST_F(WardenixDlgTest, MinutesAndLogEventsAreSavedWhenIdleOnly) {
  m_oService.m_iState = 999;
  Dlg().Startup();
  Press(EDlgButton::MINUTES, "7");
  EXPECT_EQ(Dlg().GetView().m_iMinutes, 7);
  EXPECT_NE(m_oLog.Text().find("CWardenixDlg::UpdateSettingInWDXSvc succeeded"), std::string::npos);
  m_pSettings->m_bRefuse = true;
  Press(EDlgButton::MINUTES, "0");
  EXPECT_EQ(m_oOutput.m_oBoxes.back(), "Minutes|MinuteInterval must be 1 to 1440.");
  EXPECT_EQ(Dlg().GetView().m_iMinutes, 7);
  m_pSettings->m_bRefuse = false;
  Dlg().Post({EDlgButton::LOG_EVENTS, "", true});
  Dlg().DispatchPending();
  EXPECT_TRUE(Dlg().GetView().m_bLogEvents);
  // While GO runs the boxes are disabled and a change is ignored.
  m_fnAt = [this](long long) {
    if (!m_oService.m_bGoMode) return;
    Dlg().Post({EDlgButton::MINUTES, "3", false});
    Dlg().Post({EDlgButton::GO, "", false});
    m_bStopPosted = m_bStopPosted || Dlg().Post({EDlgButton::STOP, "", false});
  };
  Press(EDlgButton::GO);
  EXPECT_EQ(m_pSettings->m_oValues.m_iMinutes, 7);
  EXPECT_EQ(m_oService.Count(WDX_GO), 1);
}

TEST_F(WardenixDlgTest, WindowThreadHandlesPressesAndCloses) {
  m_oService.m_iState = 999;
  m_bRealSleep = true;
  Dlg().Start();
  Dlg().Post({EDlgButton::STOP_SERVICE, "", false});
  Dlg().Post({EDlgButton::REPORT, "", false});
  Dlg().Post({EDlgButton::CLOSE_CONSOLE, "", false});
  const auto tDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!Dlg().GetView().m_bClosing && std::chrono::steady_clock::now() < tDeadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  Dlg().Shutdown();
  ASSERT_TRUE(Dlg().GetView().m_bClosing);
  EXPECT_EQ(m_pControl->m_iRemoves, 1);
  EXPECT_EQ(Dlg().GetView().m_iReportsDone, 1);
  EXPECT_TRUE(Dlg().GetView().m_bReportOk);
  EXPECT_FALSE(Dlg().Post({EDlgButton::GO, "", false}));
}

// The window thread's waits are cut short by Shutdown: here the 45 s wait for GO mode.
TEST_F(WardenixDlgTest, ShutdownEndsTheWindowThreadInTheMiddleOfAWait) {
  m_oService.m_iState = 999;
  m_oService.m_iGoModeAfterPolls = -1;
  m_bFakeTime = false;
  Dlg().Start();
  Dlg().Post({EDlgButton::GO, "", false});
  const auto tDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!Dlg().GetView().m_bStopEnabled && std::chrono::steady_clock::now() < tDeadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(Dlg().GetView().m_bStopEnabled);  // GO is waiting for GO mode
  const auto tStart = std::chrono::steady_clock::now();
  EXPECT_TRUE(Dlg().Shutdown(20000));
  EXPECT_LT(std::chrono::steady_clock::now() - tStart, std::chrono::seconds(5));
  EXPECT_EQ(m_oService.Count(WDX_STOP), 0);  // closing leaves the service as it is
}

TEST(StatusListTest, KeepsTheLast21Lines) {
  CStatusList oList;
  for (int i = 1; i <= 30; ++i) oList.Append("line " + std::to_string(i));
  const auto oLines = oList.Lines();
  ASSERT_EQ(oLines.size(), 21u);
  EXPECT_EQ(oLines.front(), "line 10");
  EXPECT_EQ(oLines.back(), "line 30");
  EXPECT_EQ(oList.Appended(), 30);
}

TEST(PictureTest, EachStateHasItsPictureOthersShowAutoGoPending) {
  for (int iState = 1000; iState <= 1005; ++iState) EXPECT_EQ(PictureForState(iState), iState);
  for (int iState : {0, 999, 1006, -1}) EXPECT_EQ(PictureForState(iState), 1004);
}

}  // namespace
}  // namespace wdx
