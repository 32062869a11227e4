// GO mode of the real wdxsvc, against a real HTTP server on loopback that the test controls.
#include <gtest/gtest.h>
#include <httplib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "foundation/ram_file.h"
#include "platform/registry_store.h"
#include "service/host/wdx_client.h"
#include "service/host/wdx_codes.h"
#include "tests/support/service_fixture.h"
#include "tests/support/smtp_script_server.h"
#include "tests/support/test_site.h"

namespace wdx::test {
namespace {

class GoMode : public ::testing::Test {
 protected:
  // One minute of service time is 100 ms here.
  GoMode() : m_oFixture(600) {}

  // oExtra: keys first (they win over the defaults below, since the first line of a key
  // counts), then any list sections.
  void WriteSettings(const std::vector<std::string>& oExtra) {
    auto itSections = std::find_if(oExtra.begin(), oExtra.end(),
                                   [](const std::string& s) { return s.find('[') == 0; });
    std::vector<std::string> oLines = {"[KEYS]"};
    oLines.insert(oLines.end(), oExtra.begin(), itSections);
    oLines.insert(oLines.end(),
                  {"AdminId=operator", "Password=pw", "MachineName=test-host", "MinuteInterval=1"});
    oLines.insert(oLines.end(), itSections, oExtra.end());
    CRamFile oFile;
    oFile.Initialize(m_oFixture.Home().c_str(), "AutoSet.caf");
    ASSERT_TRUE(oFile.LoadToRamFromListBox(oLines));
    ASSERT_TRUE(oFile.SaveToFile());
  }

  void StartService() {
    ASSERT_EQ(m_oFixture.RunService({"-RegServer"}).m_iExitCode, 0);
    ASSERT_TRUE(m_oFixture.StartServiceProcess());
    m_pClient = m_oFixture.Connect();
    ASSERT_NE(m_pClient, nullptr);
  }

  int Ops(int iCode) {
    int iResult = 0;
    EXPECT_TRUE(m_pClient->OpsCommand(iCode, iResult)) << m_pClient->GetLastError();
    return iResult;
  }

  // Waits up to 10 s for the condition.
  bool WaitFor(const std::function<bool()>& fnDone) {
    for (int i = 0; i < 1000; ++i) {
      if (fnDone()) return true;
      usleep(10'000);
    }
    return fnDone();
  }

  void TearDown() override {
    if (HasFailure()) std::fprintf(stderr, "WDXSVC.log:\n%s\n", m_oFixture.LogText().c_str());
  }

  // E-mail on, to the scripted mail server; oSections follow the keys.
  std::vector<std::string> MailSettings(std::vector<std::string> oSections) {
    std::vector<std::string> oLines = {"EmailEnabled=1",
                                       "SmtpServer=127.0.0.1:" + std::to_string(m_oMail.Port()),
                                       "EmailFrom=wdx@x.test",
                                       "EmailSubject=Site up",
                                       "EmailSubjectDn=Site down",
                                       "EmailBodyUp=It is up.",
                                       "EmailBodyDown=It is down.",
                                       "EmailUrl=http://127.0.0.1:1/"};
    oLines.insert(oLines.end(), oSections.begin(), oSections.end());
    oLines.insert(oLines.end(), {"[EMAILS]", "ops@x.test"});
    return oLines;
  }
  // Messages the mail server accepted whose header block holds sSubjectLine.
  int Mails(const std::string& sSubjectLine) {
    const std::string sAll = m_oMail.Received();
    int iCount = 0;
    for (size_t u = sAll.find(sSubjectLine); u != std::string::npos; u = sAll.find(sSubjectLine, u + 1)) {
      if (sAll.find("\r\n.\r\n", u) != std::string::npos) ++iCount;
    }
    return iCount;
  }

  std::string Uptime() { return m_oFixture.Folder().Read("UpTime.log"); }
  int CountInUptime(const std::string& sText) {
    const std::string sLog = Uptime();
    int iCount = 0;
    for (size_t u = sLog.find(sText); u != std::string::npos; u = sLog.find(sText, u + 1)) ++iCount;
    return iCount;
  }

  CServiceFixture m_oFixture;
  CTestSite m_oSite;
  CSmtpScriptServer m_oMail;
  std::unique_ptr<CWdxSvrClient> m_pClient;
};

TEST_F(GoMode, APassingCycleRecordsUpAndRunsNormally) {
  WriteSettings({"[URLS]", m_oSite.Url("/local")});
  StartService();
  ASSERT_EQ(Ops(WDX_GO), WDX_TRUE);
  const std::string sUp = "101, " + m_oSite.Url("/local") + ", UP\r\r\n";
  ASSERT_TRUE(WaitFor([&] { return CountInUptime(sUp) >= 2; })) << Uptime();
  EXPECT_EQ(Ops(WDX_IS_GO_MODE), WDX_TRUE);
  const int iState = Ops(WDX_GET_STATE);
  EXPECT_TRUE(iState == WDX_STATE_RUNNING || iState == WDX_STATE_TESTING) << iState;
  const std::string sLog = m_oFixture.LogText();
  EXPECT_NE(sLog.find("Detects Local NORMAL. System is running."), std::string::npos);
  EXPECT_EQ(sLog.find("FAILURE DETECTED"), std::string::npos);
  EXPECT_NE(Uptime().find("/////////// ItemManager Started ///////////"), std::string::npos);
  // Without a browser in the usual places the log asks for one by its Linux name.
  const bool bBrowser =
      access("/usr/bin/xdg-open", F_OK) == 0 || access("/usr/bin/x-www-browser", F_OK) == 0 ||
      access("/usr/bin/firefox", F_OK) == 0 || access("/usr/bin/chromium", F_OK) == 0 ||
      access("/usr/bin/google-chrome", F_OK) == 0;
  EXPECT_EQ(sLog.find(" Error: Where is a web browser?\r\r\n") != std::string::npos, !bBrowser);
  EXPECT_EQ(sLog.find("Internet Explorer"), std::string::npos);
  // A passing cycle writes the heartbeat.
  EXPECT_NE(m_oFixture.Folder().Read("Beat.txt").find(" System working.\r\n"), std::string::npos);
  std::string sAction;
  ASSERT_TRUE(m_pClient->GetStringResult(WDX_GET_CURRENT_ACTION, sAction));
  EXPECT_FALSE(sAction.empty());
}

TEST_F(GoMode, AFailingLocalUrlRestartsAndRecoveryAlertsOnce) {
  std::vector<std::string> oSettings = MailSettings({"[URLS]", m_oSite.Url("/local")});
  oSettings.insert(oSettings.begin(), "RestartsB4Reboot=0");
  WriteSettings(oSettings);
  StartService();
  m_oSite.m_iLocalStatus = 500;
  ASSERT_EQ(Ops(WDX_GO), WDX_TRUE);
  const std::string sDown = "101, " + m_oSite.Url("/local") + ", DN\r\r\n";
  ASSERT_TRUE(WaitFor([&] { return m_oFixture.CountInLog("COpsMngrThread::Go 10") >= 3; }));
  EXPECT_GE(CountInUptime(sDown), 3);
  EXPECT_GE(CountInUptime("103, Restart, UP\r\r\n"), 3);
  EXPECT_EQ(m_oFixture.CountInLog("Attempting REBOOT"), 0);
  EXPECT_EQ(m_oFixture.CountInLog("FAILURE DETECTED. Attempting RESTART........"),
            m_oFixture.CountInLog("COpsMngrThread::Go 5.1."));
  // The down alert went out once, on the first failed cycle only.
  EXPECT_TRUE(WaitFor([&] { return Mails("Subject: Site down\r\n\r\nIt is down.\r\n") == 1; }));
  EXPECT_EQ(m_oFixture.CountInLog("COpsMngrThread::SendEmails() failed"), 0);

  m_oSite.m_iLocalStatus = 200;
  const std::string sUp = "101, " + m_oSite.Url("/local") + ", UP\r\r\n";
  ASSERT_TRUE(WaitFor([&] { return CountInUptime(sUp) >= 2; }));
  ASSERT_TRUE(WaitFor([&] { return Ops(WDX_GET_STATE) == WDX_STATE_RUNNING; }));
  // And the up alert once, on the first passing cycle.
  ASSERT_TRUE(WaitFor([&] { return Mails("Subject: Site up\r\n\r\nIt is up.\r\n") == 1; }));
  EXPECT_EQ(Mails("Subject: Site down\r\n"), 1);
  EXPECT_EQ(m_oFixture.CountInLog("COpsMngrThread::SendEmails() failed"), 0);
  EXPECT_EQ(m_oFixture.CountInLog("Email sent to Rcpt To:<ops@x.test> "), 2);
}

TEST_F(GoMode, AFailingRemoteUrlLeavesLocalOperationsUp) {
  WriteSettings(MailSettings({"[URLS]", m_oSite.Url("/local"), "[RURLS]", m_oSite.Url("/remote")}));
  StartService();
  m_oSite.m_iRemoteStatus = 404;
  ASSERT_EQ(Ops(WDX_GO), WDX_TRUE);
  const std::string sRemoteDown = "102, " + m_oSite.Url("/remote") + ", DN\r\r\n";
  ASSERT_TRUE(WaitFor([&] { return CountInUptime(sRemoteDown) >= 3; }));
  ASSERT_TRUE(WaitFor([&] { return Ops(WDX_GET_STATE) == WDX_STATE_REMOTE_FAILING; }));
  EXPECT_EQ(m_oFixture.CountInLog("FAILURE DETECTED"), 0);
  // One alert for the change, not one per cycle.
  const std::string sFailed = "Subject: Failed Remote URL: " + m_oSite.Url("/remote") + "\r\n";
  EXPECT_TRUE(WaitFor([&] { return Mails(sFailed) == 1; }));

  // When it answers again, the next cycle finds everything normal and alerts once more.
  m_oSite.m_iRemoteStatus = 200;
  ASSERT_TRUE(WaitFor([&] { return Ops(WDX_GET_STATE) == WDX_STATE_RUNNING; }));
  const std::string sRestored = "Subject: Restored Remote URL: " + m_oSite.Url("/remote") +
                                "\r\n\r\nThis Remote URL is now OK: " + m_oSite.Url("/remote");
  EXPECT_TRUE(WaitFor([&] { return Mails(sRestored) == 1; }));
  EXPECT_EQ(Mails(sFailed), 1);
  EXPECT_EQ(m_oFixture.CountInLog("Email alerts are failing."), 0);
  EXPECT_GE(m_oFixture.CountInLog("all REMOTE URLS are alive."), 1);
}

TEST_F(GoMode, StopDuringTheWaitLeavesGoModeWithinOneSlice) {
  // Ten minutes between cycles: 1 s here; the STOP must not sit it out.
  WriteSettings({"MinuteInterval=10", "[URLS]", m_oSite.Url("/local")});
  StartService();
  ASSERT_EQ(Ops(WDX_GO), WDX_TRUE);
  ASSERT_TRUE(WaitFor([&] { return m_oFixture.CountInLog("COpsMngrThread::Go 12") >= 1; }));
  ASSERT_EQ(Ops(WDX_STOP), WDX_TRUE);
  ASSERT_TRUE(WaitFor([&] { return Ops(WDX_IS_GO_MODE) == WDX_FALSE; }));
  EXPECT_TRUE(WaitFor([&] { return Ops(WDX_GET_STATE) == WDX_STATE_STOPPED; }));
  EXPECT_TRUE(WaitFor(
      [&] { return m_oFixture.CountInLog("COpsMngrThread::Go(): Testing has STOPPED.") == 1; }));
  EXPECT_EQ(m_oFixture.CountInLog("COpsMngrThread::Go Loop 0"), 1);
}

TEST_F(GoMode, GoWhileRunningStartsNoSecondLoop) {
  WriteSettings({"[URLS]", m_oSite.Url("/local")});
  StartService();
  ASSERT_EQ(Ops(WDX_GO), WDX_TRUE);
  ASSERT_TRUE(WaitFor([&] { return m_oFixture.CountInLog("COpsMngrThread::Go Loop 0") >= 2; }));
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Ops(WDX_GO), WDX_TRUE);
  ASSERT_TRUE(WaitFor([&] { return m_oFixture.CountInLog("COpsMngrThread::Go Loop 0") >= 5; }));
  EXPECT_EQ(m_oFixture.CountInLog("COpsMngrThread::Go() 1"), 1);
}

TEST_F(GoMode, AZeroMinuteIntervalMeansTenMinutes) {
  // Ten minutes are 1 s here; a zero interval taken as it stands would run cycle after cycle.
  WriteSettings({"MinuteInterval=0", "[URLS]", m_oSite.Url("/local")});
  StartService();
  ASSERT_EQ(Ops(WDX_GO), WDX_TRUE);
  ASSERT_TRUE(WaitFor([&] { return m_oFixture.CountInLog("COpsMngrThread::Go 12") >= 1; }));
  usleep(500'000);
  EXPECT_EQ(m_oFixture.CountInLog("COpsMngrThread::Go Loop 0"), 1);
  ASSERT_TRUE(WaitFor([&] { return m_oFixture.CountInLog("COpsMngrThread::Go Loop 0") >= 2; }));
}

TEST_F(GoMode, MissingRequiredSettingsKeepTheServiceOutOfGoMode) {
  CRamFile oFile;
  oFile.Initialize(m_oFixture.Home().c_str(), "AutoSet.caf");
  ASSERT_TRUE(oFile.LoadToRamFromListBox({"[KEYS]", "AdminId=operator", "MachineName=h"}));
  ASSERT_TRUE(oFile.SaveToFile());
  StartService();
  ASSERT_EQ(Ops(WDX_GO), WDX_TRUE);
  ASSERT_TRUE(
      WaitFor([&] { return m_oFixture.CountInLog("Required PASSWORD was not entered.") >= 1; }));
  EXPECT_EQ(Ops(WDX_IS_GO_MODE), WDX_FALSE);
  EXPECT_EQ(m_oFixture.CountInLog("COpsMngrThread::Go Loop 0"), 0);
}

TEST_F(GoMode, AutoRunStartsGoModeByItselfAfterTheRestarterSeconds) {
  WriteSettings({"RstrSecs=60", "[URLS]", m_oSite.Url("/local")});
  ASSERT_TRUE(OpenRegistryStoreAt(m_oFixture.RegistryPath())
                  ->SetValue("HKLM\\SOFTWARE\\Zuvanta\\Wardenix", "AutoRun", "1"));
  StartService();
  ASSERT_TRUE(WaitFor([&] { return Ops(WDX_IS_GO_MODE) == WDX_TRUE; }));
  // (read once GO mode runs: the endpoint answers before the worker has logged its start-up)
  const std::string sLog = m_oFixture.LogText();
  EXPECT_NE(sLog.find("Will auto-start into GO mode shortly..."), std::string::npos);
  EXPECT_NE(sLog.find("LoadAutoRunStatus:: AutoRun status = true."), std::string::npos);
  // The state set on the way in: rebooting, so the first passing cycle alerts "up".
  EXPECT_NE(sLog.find("OnBtnGo() m_iLastKnownServerState == 1002"), std::string::npos);
}

}  // namespace
}  // namespace wdx::test
