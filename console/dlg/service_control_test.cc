#include "console/dlg/service_control.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <deque>
#include <string>
#include <vector>

#include "console/dlg/console_output.h"
#include "platform/fake_clock.h"
#include "platform/file_system.h"
#include "platform/service_manager.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

using S = EServiceState;
constexpr S STOPPED = S::STOPPED;
constexpr S START_PENDING = S::START_PENDING;
constexpr S RUNNING = S::RUNNING;
constexpr S STOP_PENDING = S::STOP_PENDING;

// A service manager that reports a scripted sequence of states (the last one repeats) and
// writes every call into a trace. A successful Start or Stop switches to its own script.
class CFakeServiceManager final : public IServiceManager {
 public:
  bool IsInstalled() override { return m_bInstalled; }
  bool Install(const std::string& sProgramPath) override {
    m_sTrace += "Install(" + sProgramPath + ") ";
    return m_bInstallOk;
  }
  bool Uninstall() override {
    m_sTrace += "Uninstall ";
    if (m_bUninstallOk) m_bInstalled = false;
    return m_bUninstallOk;
  }
  bool Start() override {
    m_sTrace += "Start ";
    if (m_bStartOk) m_oStates.assign(m_oAfterStart.begin(), m_oAfterStart.end());
    return m_bStartOk;
  }
  bool Stop(int iMaxWaitMs) override {
    m_sTrace += "Stop(" + std::to_string(iMaxWaitMs) + ") ";
    if (m_bStopOk) m_oStates.assign(m_oAfterStop.begin(), m_oAfterStop.end());
    return m_bStopOk;
  }
  EServiceState QueryState() override {
    if (!m_bInstalled) return S::NOT_INSTALLED;
    const S eState = m_oStates.front();
    if (m_oStates.size() > 1) m_oStates.pop_front();
    return eState;
  }
  const std::string& GetLastError() const override { return m_sError; }

  bool m_bInstalled = true;
  bool m_bInstallOk = true;
  bool m_bUninstallOk = true;
  bool m_bStartOk = true;
  bool m_bStopOk = true;
  std::deque<S> m_oStates = {STOPPED};
  std::vector<S> m_oAfterStart = {RUNNING};
  std::vector<S> m_oAfterStop = {STOPPED};
  std::string m_sTrace;
  std::string m_sError = "fake failure";
};

class CRecordingOutput final : public IConsoleOutput {
 public:
  void AddStatusLine(const std::string& sLine) override { m_oShown.push_back(sLine); }
  void MessageBox(const std::string& sTitle, const std::string& sText) override {
    m_oShown.push_back("[" + sTitle + "] " + sText);
  }
  std::vector<std::string> m_oShown;
};

// A fake clock, the log, the output and a fake manager for one service control.
class CHarness {
 public:
  CHarness() {
    SetClockForTesting(&m_oClock);
    m_oFolder.Write("wdxsvc", "#!/bin/sh\n");
  }
  ~CHarness() { SetClockForTesting(nullptr); }
  CHarness(const CHarness&) = delete;
  CHarness& operator=(const CHarness&) = delete;

  std::unique_ptr<IServiceControl> Make(bool bWithManager = true) {
    auto pOwned = std::make_unique<CFakeServiceManager>();
    m_pManager = pOwned.get();
    auto fnRun = [this](const std::vector<std::string>& oArgs, int& iExitCode) {
      m_oRuns.push_back(oArgs);
      if (m_bRegistrationInstalls) m_pManager->m_bInstalled = true;
      iExitCode = m_bRegistrationInstalls ? 0 : 1;
      return true;
    };
    if (!bWithManager) pOwned.reset();
    return CreateServiceControl(m_oFolder.Path(), m_oOutput, std::move(pOwned), fnRun);
  }
  // The log's entries of one kind, in order, without their time stamps.
  std::vector<std::string> Entries(const std::string& sKind) const {
    std::vector<std::string> oEntries;
    const std::string sText = m_oLog.Text();
    const std::string sMark = " " + sKind + ": ";
    for (size_t uAt = sText.find(sMark); uAt != std::string::npos;
         uAt = sText.find(sMark, uAt + 1)) {
      const size_t uStart = uAt + sMark.size();
      oEntries.push_back(sText.substr(uStart, sText.find("\r\r\n", uStart) - uStart));
    }
    return oEntries;
  }

  CFakeClock m_oClock;
  test::CTempFolder m_oFolder;  // the program folder, with a service program
  test::CLogCapture m_oLog;
  CRecordingOutput m_oOutput;
  CFakeServiceManager* m_pManager = nullptr;
  std::vector<std::vector<std::string>> m_oRuns;
  bool m_bRegistrationInstalls = true;
};

class ServiceControlTest : public ::testing::Test, protected CHarness {};

const std::vector<std::string> kNotStarted2 = {
    "Service not started.", "  Current State: 2",
    "  Exit Code: 0",       "  Service Specific Exit Code: 0",
    "  Check Point: 0",     "  Wait Hint: 20000"};

TEST(ServiceControl, EnsureRunningOverTheServiceStates) {
  struct SCase {
    const char* szName;
    std::deque<S> oStates;
    bool bStartOk;
    std::vector<S> oAfterStart;
    bool bResult;
    const char* szTrace;
    std::vector<std::string> oShown;
    std::vector<std::string> oMessages;
    std::vector<std::string> oErrors;
    int64_t iSleptMs;
  };
  const SCase aCases[] = {
      {"running",
       {RUNNING},
       true,
       {},
       true,
       "",
       {},
       {"ChangeServiceConfig SUCCESS\n", "WdxSvc is verified up and running."},
       {},
       0},
      {"stopped, starts after two polls",
       {STOPPED},
       true,
       {START_PENDING, START_PENDING, RUNNING},
       true,
       "Start ",
       {},
       {"ChangeServiceConfig SUCCESS\n", "Service start pending.\n", "StartService SUCCESS.\n",
        "WdxSvc is verified up and running."},
       {},
       4000},
      {"start pending",
       {START_PENDING},
       true,
       {},
       false,
       "",
       {"[Please retry in a minute.] WdxSvc is SERVICE_START_PENDING"},
       {"ChangeServiceConfig SUCCESS\n"},
       {},
       0},
      {"stop pending",
       {STOP_PENDING},
       true,
       {},
       false,
       "",
       {"[Please retry in a minute.] WdxSvc is SERVICE_STOP_PENDING"},
       {"ChangeServiceConfig SUCCESS\n"},
       {},
       0},
      {"start refused",
       {STOPPED},
       false,
       {},
       false,
       "Start ",
       {},
       {"ChangeServiceConfig SUCCESS\n"},
       {"StartService"},
       0},
      // No check point ever advances: the wait ends once more than the hint has passed.
      {"start hangs",
       {STOPPED},
       true,
       {START_PENDING},
       false,
       "Start ",
       {},
       {"ChangeServiceConfig SUCCESS\n", "Service start pending.\n"},
       kNotStarted2,
       22000},
      {"service ends while starting",
       {STOPPED},
       true,
       {START_PENDING, STOPPED},
       false,
       "Start ",
       {},
       {"ChangeServiceConfig SUCCESS\n", "Service start pending.\n"},
       {"Service not started.", "  Current State: 1", "  Exit Code: 0",
        "  Service Specific Exit Code: 0", "  Check Point: 0", "  Wait Hint: 20000"},
       2000},
  };
  for (const SCase& oCase : aCases) {
    SCOPED_TRACE(oCase.szName);
    CHarness oFresh;
    auto pControl = oFresh.Make();
    const std::string sInstall = "Install(" + oFresh.m_oFolder.Path() + "wdxsvc) ";
    oFresh.m_pManager->m_oStates = oCase.oStates;
    oFresh.m_pManager->m_bStartOk = oCase.bStartOk;
    oFresh.m_pManager->m_oAfterStart = oCase.oAfterStart;
    EXPECT_EQ(pControl->EnsureRunning(), oCase.bResult);
    EXPECT_EQ(oFresh.m_pManager->m_sTrace, sInstall + oCase.szTrace);
    EXPECT_EQ(oFresh.m_oOutput.m_oShown, oCase.oShown);
    EXPECT_EQ(oFresh.Entries("Message"), oCase.oMessages);
    EXPECT_EQ(oFresh.Entries("Error"), oCase.oErrors);
    EXPECT_EQ(oFresh.m_oClock.GetTotalSleptMs(), oCase.iSleptMs);
    EXPECT_TRUE(oFresh.m_oRuns.empty());
  }
}

TEST_F(ServiceControlTest, EnsureRunningRegistersAMissingService) {
  auto pControl = Make();
  m_pManager->m_bInstalled = false;
  m_pManager->m_oStates = {STOPPED};
  ASSERT_TRUE(pControl->EnsureRunning());
  ASSERT_EQ(m_oRuns.size(), 1u);
  const std::string sProgram = m_oFolder.Path() + "wdxsvc";
  EXPECT_EQ(m_oRuns[0], (std::vector<std::string>{sProgram, "-Service"}));
  EXPECT_EQ(m_pManager->m_sTrace, "Install(" + sProgram + ") Start ");
}

TEST_F(ServiceControlTest, CannotContinueWithoutManagerOrService) {
  {
    auto pControl = Make(false);
    EXPECT_FALSE(pControl->EnsureRunning());
    EXPECT_FALSE(pControl->Remove());
  }
  // Without one in the program folder, the service program beside this program is run.
  ASSERT_EQ(0, unlink(m_oFolder.File("wdxsvc").c_str()));
  m_bRegistrationInstalls = false;
  auto pControl = Make();
  m_pManager->m_bInstalled = false;
  EXPECT_FALSE(pControl->EnsureRunning());
  ASSERT_EQ(m_oRuns.size(), 1u);
  EXPECT_EQ(m_oRuns[0][0], FolderOf(GetFileSystem().GetExecutablePath()) + "wdxsvc");
  EXPECT_FALSE(pControl->Start());
  EXPECT_FALSE(pControl->Stop());
  EXPECT_EQ(m_oRuns.size(), 1u);  // only EnsureRunning registers
  const std::string sScm =
      "[Cannot continue] Can't open SCM. Log on as an Administrator and retry.";
  const std::string sFind = "[Cannot continue] Unable to find or start WdxSvc.exe";
  EXPECT_EQ(m_oOutput.m_oShown, (std::vector<std::string>{sScm, sScm, sFind, sFind, sFind}));
  EXPECT_EQ(m_pManager->m_sTrace, "");
  EXPECT_EQ(Entries("Error"),
            (std::vector<std::string>{"Registering the service with \"" + m_oRuns[0][0] +
                                      " -Service\" failed, exit code 1."}));
}

TEST_F(ServiceControlTest, AFailedConfigurationIsLoggedAndTheServiceStillStarts) {
  auto pControl = Make();
  m_pManager->m_bInstallOk = false;
  EXPECT_TRUE(pControl->EnsureRunning());
  EXPECT_EQ(Entries("Error"), std::vector<std::string>{"ChangeServiceConfig"});
}

TEST_F(ServiceControlTest, StartAndStop) {
  auto pControl = Make();
  m_pManager->m_oStates = {RUNNING};
  EXPECT_TRUE(pControl->Start());
  m_pManager->m_oStates = {STOPPED};
  EXPECT_TRUE(pControl->Stop());
  EXPECT_EQ(m_pManager->m_sTrace, "");  // nothing to do either time
  EXPECT_TRUE(pControl->Start());
  EXPECT_TRUE(pControl->Stop());
  EXPECT_EQ(m_pManager->m_sTrace, "Start Stop(130000) ");
  EXPECT_EQ(Entries("Message"),
            (std::vector<std::string>{"Service start pending.\n", "StartService SUCCESS.\n",
                                      "StopService SUCCESS.\n"}));
  // A stop under way is waited for in slices of a tenth of the hint, at most 10 s.
  m_pManager->m_oStates = {STOP_PENDING, STOP_PENDING, STOPPED};
  EXPECT_TRUE(pControl->Stop());
  EXPECT_EQ(m_oClock.GetTotalSleptMs(), 10000);
  EXPECT_TRUE(m_oOutput.m_oShown.empty());
}

TEST_F(ServiceControlTest, StopFailures) {
  auto pControl = Make();
  m_pManager->m_oStates = {RUNNING};
  m_pManager->m_bStopOk = false;
  EXPECT_FALSE(pControl->Stop());
  EXPECT_EQ(Entries("Error"), std::vector<std::string>{"StopWDXService: STOP Service"});
  // The manager gave up while the service still stops: the wait's outcome is logged.
  m_pManager->m_oStates = {RUNNING, STOP_PENDING};
  EXPECT_FALSE(pControl->Stop());
  EXPECT_EQ(Entries("Error"),
            (std::vector<std::string>{"StopWDXService: STOP Service", "Service not stopped.",
                                      "  Current State: 3", "  Exit Code: 0",
                                      "  Service Specific Exit Code: 0", "  Check Point: 0",
                                      "  Wait Hint: 130000"}));
  // Without time passing in the manager's Stop, the hint is used up by 10 s slices.
  EXPECT_EQ(m_oClock.GetTotalSleptMs(), 140000);
}

TEST(ServiceControl, RemoveOverTheServiceStates) {
  struct SCase {
    const char* szName;
    std::deque<S> oStates;
    bool bStopOk;
    bool bUninstallOk;
    bool bResult;
    std::vector<std::string> oShown;
    std::vector<std::string> oMessages;
    std::vector<std::string> oErrors;
  };
  const std::vector<std::string> kDeleted = {"WDXSvc STOPPED.", "WDXSvc also DELETED.",
                                             "Close & restart the console to restart service."};
  const std::vector<std::string> kRemovedLogs = {"DeleteService SUCCESS.\n",
                                                 "OnBtnStopService succeeded."};
  const std::vector<std::string> kStopFailed(kServiceRemoveTries, "StopWDXService: STOP Service");
  const std::vector<std::string> kNotDeleted(kServiceRemoveTries, "Service could not be deleted.");
  const SCase aCases[] = {
      {"stopped", {STOPPED}, true, true, true, kDeleted, kRemovedLogs, {}},
      {"running",
       {RUNNING},
       true,
       true,
       true,
       kDeleted,
       {"StopService SUCCESS.\n", "DeleteService SUCCESS.\n", "OnBtnStopService succeeded."},
       {}},
      {"stop refused",
       {RUNNING},
       false,
       true,
       false,
       {"Unable to STOP & DELETE WDXSvc.", "Try again. It can take minutes.",
        "[Wardenix] Unable to stop WDX Service. Stop it manually."},
       {},
       kStopFailed},
      {"start pending throughout",
       {START_PENDING},
       true,
       true,
       false,
       {"Unable to STOP & DELETE WDXSvc.", "Try again. It can take minutes.",
        "[Please retry in a minute.] WdxSvc is SERVICE_START_PENDING"},
       {},
       {}},
      {"stop pending, then stopped",
       {STOP_PENDING, STOP_PENDING, STOPPED},
       true,
       true,
       true,
       kDeleted,
       kRemovedLogs,
       {}},
      {"cannot delete",
       {STOPPED},
       true,
       false,
       false,
       {"WDXSvc STOPPED.", "Unable to STOP & DELETE WDXSvc.", "Try again. It can take minutes."},
       {},
       kNotDeleted},
  };
  for (const SCase& oCase : aCases) {
    SCOPED_TRACE(oCase.szName);
    CHarness oFresh;
    auto pControl = oFresh.Make();
    oFresh.m_pManager->m_oStates = oCase.oStates;
    oFresh.m_pManager->m_bStopOk = oCase.bStopOk;
    oFresh.m_pManager->m_bUninstallOk = oCase.bUninstallOk;
    EXPECT_EQ(pControl->Remove(), oCase.bResult);
    EXPECT_EQ(oFresh.m_oOutput.m_oShown, oCase.oShown);
    EXPECT_EQ(oFresh.Entries("Message"), oCase.oMessages);
    EXPECT_EQ(oFresh.Entries("Error"), oCase.oErrors);
    EXPECT_EQ(oFresh.m_pManager->IsInstalled(), !oCase.bResult);
    // Never more than the tries, 500 ms apart.
    EXPECT_LE(oFresh.m_oClock.GetTotalSleptMs(), kServiceRemoveTries * kServiceRemovePauseMs);
  }
}

}  // namespace
}  // namespace wdx
