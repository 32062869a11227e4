// The console's main window in the browser against the real service: Go, the state of a local
// URL that fails and recovers, Stop.
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <string>
#include <thread>

#include "foundation/ram_file.h"
#include "platform/registry_store.h"
#include "service/restart/warden.h"
#include "tests/support/console_fixture.h"

namespace wdx::test {
namespace {

// The watched page, and two addresses that make it fail and recover.
class CSwitchedPage final {
 public:
  CSwitchedPage() {
    m_oServer.Get("/local", [this](const httplib::Request&, httplib::Response& oResponse) {
      oResponse.status = m_iStatus;
      oResponse.set_content("local", "text/plain");
    });
    m_oServer.Get("/fail", [this](const httplib::Request&, httplib::Response& oResponse) {
      m_iStatus = 500;
      oResponse.set_content("failing", "text/plain");
    });
    m_oServer.Get("/recover", [this](const httplib::Request&, httplib::Response& oResponse) {
      m_iStatus = 200;
      oResponse.set_content("recovered", "text/plain");
    });
    m_iPort = m_oServer.bind_to_any_port("127.0.0.1");
    m_oThread = std::thread([this] { m_oServer.listen_after_bind(); });
    while (!m_oServer.is_running()) std::this_thread::yield();
  }
  ~CSwitchedPage() {
    m_oServer.stop();
    m_oThread.join();
  }
  CSwitchedPage(const CSwitchedPage&) = delete;
  CSwitchedPage& operator=(const CSwitchedPage&) = delete;
  std::string Url(const char* szPath) const {
    return "http://127.0.0.1:" + std::to_string(m_iPort) + szPath;
  }

 private:
  httplib::Server m_oServer;
  std::atomic<int> m_iStatus{200};
  int m_iPort = 0;
  std::thread m_oThread;
};

TEST(ConsoleMain, GoFollowsAFailingAndRecoveringUrlThenStop) {
  CConsoleFixture oConsole;
  CSwitchedPage oPage;
  {
    CRamFile oFile;
    oFile.Initialize(oConsole.Home().c_str(), "AutoSet.caf");
    ASSERT_TRUE(oFile.LoadToRamFromListBox({"[KEYS]", "AdminId=operator", "Password=pw",
                                            "MachineName=test-host", "MinuteInterval=1",
                                            "RestartsB4Reboot=0", "[URLS]", oPage.Url("/local")}));
    ASSERT_TRUE(oFile.SaveToFile());
  }
  // The help page lies in the program folder, as the build's dist folder has it.
  oConsole.Service().Folder().Write("Wardenix.htm",
                                    ReadWholeFile(std::string(WDX_DIST_DIR) + "/Wardenix.htm"));
  ASSERT_TRUE(oConsole.Start()) << oConsole.FirstLine();
  const SRunResult oRun =
      oConsole.RunBrowser("console_main.js", {oPage.Url("/fail"), oPage.Url("/recover")});
  EXPECT_EQ(oRun.m_iExitCode, 0) << oRun.m_sOut << oRun.m_sErr;
  for (const char* szShot :
       {"main-idle", "main-go", "main-failing", "main-recovered", "main-stopped"}) {
    EXPECT_GT(ReadWholeFile(CConsoleFixture::OutputFolder() + szShot + ".png").size(), 1000u)
        << szShot;
  }
  // What the window did is what the service and the files say.
  const std::string sUptime = oConsole.Service().Folder().Read("UpTime.log");
  const size_t uDown = sUptime.find("101, " + oPage.Url("/local") + ", DN");
  ASSERT_NE(uDown, std::string::npos) << sUptime;
  EXPECT_NE(sUptime.find("101, " + oPage.Url("/local") + ", UP", uDown), std::string::npos)
      << sUptime;
  std::string sAutoRun;
  ASSERT_TRUE(OpenRegistryStore()->GetValue(WDX_AUTORUN_KEY, WDX_AUTORUN_VALUE, sAutoRun));
  EXPECT_EQ(sAutoRun, "0");
  EXPECT_EQ(oConsole.Stop(), 0);
  const std::string sLog = oConsole.Service().Folder().Read("Wardenix.log");
  EXPECT_NE(sLog.find("CWardenixDlg::OnInitDialog() done"), std::string::npos) << sLog;
}

}  // namespace
}  // namespace wdx::test
