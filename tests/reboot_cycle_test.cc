// The reboot of the real wdxsvc: after RestartsB4Reboot failed restarts the next failed cycle
// reboots, here through the fixture's recording reboot command, and leaves what brings GO mode
// back after the boot.
#include <gtest/gtest.h>
#include <httplib.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/ram_file.h"
#include "platform/registry_store.h"
#include "service/host/wdx_client.h"
#include "service/host/wdx_codes.h"
#include "service/restart/warden.h"
#include "tests/support/loopback_servers.h"
#include "tests/support/service_fixture.h"
#include "tests/support/smtp_script_server.h"

namespace wdx::test {
namespace {

// Waits up to 20 s for the condition.
bool WaitFor(const std::function<bool()>& fnDone) {
  for (int i = 0; i < 2000; ++i) {
    if (fnDone()) return true;
    usleep(10'000);
  }
  return fnDone();
}

class RebootCycle : public ::testing::Test {
 protected:
  // One minute of service time is 100 ms here.
  RebootCycle() : m_oFixture(600), m_oSite(std::make_unique<httplib::Server>()) {}

  void SetUp() override {
    m_oSite.Http().Get("/local", [this](const httplib::Request&, httplib::Response& oResponse) {
      oResponse.status = m_iLocalStatus;
      oResponse.set_content("local", "text/plain");
    });
    ASSERT_TRUE(m_oSite.Start());
    m_sUrl = "http://127.0.0.1:" + std::to_string(m_oSite.Port()) + "/local";
    CRamFile oFile;
    oFile.Initialize(m_oFixture.Home().c_str(), "AutoSet.caf");
    ASSERT_TRUE(oFile.LoadToRamFromListBox({"[KEYS]", "AdminId=operator", "Password=pw",
                                            "MachineName=test-host", "MinuteInterval=1",
                                            "RestartsB4Reboot=2", "RstrSecs=60", "EmailEnabled=1",
                                            "SmtpServer=127.0.0.1:" + std::to_string(m_oMail.Port()),
                                            "EmailFrom=wdx@x.test", "EmailSubject=Up",
                                            "EmailSubjectDn=Down", "EmailBodyUp=up",
                                            "EmailBodyDown=down", "EmailUrl=http://127.0.0.1:1/",
                                            "[URLS]", m_sUrl, "[EMAILS]", "ops@x.test"}));
    ASSERT_TRUE(oFile.SaveToFile());
  }
  void TearDown() override {
    if (HasFailure()) std::fprintf(stderr, "WDXSVC.log:\n%s\n", m_oFixture.LogText().c_str());
  }

  int Ops(int iCode) {
    int iResult = 0;
    EXPECT_TRUE(m_pClient->OpsCommand(iCode, iResult)) << m_pClient->GetLastError();
    return iResult;
  }
  std::string ServerStatus() {
    CRamFileRO oFile;
    oFile.Initialize(m_oFixture.Home().c_str(), "AutoSet.caf");
    return oFile.GetKeyValue("SvrStatus");
  }

  // Messages the mail server took with this subject.
  int Mails(const std::string& sSubject) {
    const std::string sAll = m_oMail.Received();
    const std::string sLine = "Subject: " + sSubject + "\r\n";
    int iCount = 0;
    for (size_t u = sAll.find(sLine); u != std::string::npos; u = sAll.find(sLine, u + 1)) ++iCount;
    return iCount;
  }

  CServiceFixture m_oFixture;
  CSmtpScriptServer m_oMail;
  std::atomic<int> m_iLocalStatus{500};
  std::string m_sUrl;
  CLoopbackServer m_oSite;
  std::unique_ptr<CWdxSvrClient> m_pClient;
};

TEST_F(RebootCycle, TheThirdFailedCycleRebootsAndLeavesAutoRunOn) {
  // Installing as a service makes the shortcut that the reboot needs.
  ASSERT_EQ(m_oFixture.RunService({"-Service"}).m_iExitCode, 0);
  ASSERT_FALSE(m_oFixture.Folder().Read(WDX_DESKTOP_SHORTCUT).empty());
  ASSERT_TRUE(m_oFixture.StartServiceProcess());
  m_pClient = m_oFixture.Connect();
  ASSERT_NE(m_pClient, nullptr);
  ASSERT_EQ(Ops(WDX_GO), WDX_TRUE);

  ASSERT_TRUE(WaitFor([&] { return m_oFixture.RebootCount() > 0; }));
  ASSERT_TRUE(WaitFor([&] { return Ops(WDX_IS_GO_MODE) != WDX_TRUE; }));
  EXPECT_EQ(m_oFixture.RebootCount(), 1);
  EXPECT_EQ(m_oFixture.CountInLog("COpsMngrThread::Go 10"), 2);  // two restarts before it
  EXPECT_EQ(m_oFixture.CountInLog("RESTART FAILURE DETECTED. Attempting REBOOT and RESTART"), 1);
  EXPECT_EQ(m_oFixture.CountInLog("priviledge"), 0);
  std::string sAutoRun;
  ASSERT_TRUE(OpenRegistryStoreAt(m_oFixture.RegistryPath())
                  ->GetValue(WDX_AUTORUN_KEY, WDX_AUTORUN_VALUE, sAutoRun));
  EXPECT_EQ(sAutoRun, "1");
  EXPECT_EQ(ServerStatus(), "Rebooting");
  EXPECT_EQ(m_oFixture.Folder().Read(
                "Documents and Settings/operator/Start Menu/Programs/Startup/Wardenix.lnk"),
            m_oFixture.Folder().Read(WDX_DESKTOP_SHORTCUT));
  EXPECT_NE(m_oFixture.Folder().Read("UpTime.log").find("103, Restart, DN\r\r\n"),
            std::string::npos);

  // The service that comes up after the boot goes into GO mode by itself, without a GO
  // command, from the Rebooting state; its first passing cycle mails the up alert and records
  // the URL up again.
  EXPECT_EQ(Mails("Down"), 1);  // the down alert of the first failed cycle
  EXPECT_EQ(Mails("Up"), 0);
  m_pClient.reset();
  ASSERT_EQ(m_oFixture.StopServiceProcess(20000), 0);
  m_iLocalStatus = 200;
  ASSERT_TRUE(m_oFixture.StartServiceProcess());
  m_pClient = m_oFixture.Connect();
  ASSERT_NE(m_pClient, nullptr);
  ASSERT_TRUE(WaitFor([&] { return Ops(WDX_GET_STATE) == WDX_STATE_RUNNING; }));
  EXPECT_EQ(Ops(WDX_IS_GO_MODE), WDX_TRUE);
  const std::string sLog = m_oFixture.LogText();
  EXPECT_NE(sLog.find("Will auto-start into GO mode shortly..."), std::string::npos);
  EXPECT_NE(sLog.find("OnBtnGo() m_iLastKnownServerState == 1002"), std::string::npos);
  ASSERT_TRUE(WaitFor([&] {
    return m_oFixture.CountInLog("OnBtnGo() has set m_iLastKnownServerState == ZUV_SERVER_UP.") > 0;
  }));
  EXPECT_EQ(ServerStatus(), "Up");
  EXPECT_TRUE(WaitFor([&] { return Mails("Up") == 1; }));
  EXPECT_EQ(Mails("Down"), 1);
  EXPECT_EQ(m_oFixture.CountInLog("COpsMngrThread::SendEmails() failed"), 0);
  EXPECT_NE(m_oFixture.Folder().Read("UpTime.log").find("101, " + m_sUrl + ", UP\r\r\n"),
            std::string::npos);
  EXPECT_EQ(m_oFixture.RebootCount(), 1);
}

}  // namespace
}  // namespace wdx::test
