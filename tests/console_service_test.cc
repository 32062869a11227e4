// The operator installs, stops, starts and removes the real service at the shell
// ("wardenix service ..."), here under the built-in supervisor, and reads the About box.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/service_manager.h"
#include "tests/support/service_fixture.h"

namespace wdx::test {
namespace {

class ConsoleService : public ::testing::Test {
 protected:
  // A service left running by a failed check is stopped.
  void TearDown() override { m_pServices->Stop(20000); }

  // The console log's message and error texts in order, without time stamps.
  std::vector<std::string> ConsoleLogTexts() {
    std::vector<std::string> oTexts;
    const std::string sLog = m_oFixture.Folder().Read("Wardenix.log");
    for (size_t uAt = 0; uAt < sLog.size();) {
      const size_t uEnd = sLog.find("\r\r\n", uAt);
      const std::string sLine = sLog.substr(uAt, uEnd - uAt);
      for (const char* szKind : {" Message: ", " Error: "}) {
        const size_t uKind = sLine.find(szKind);
        if (uKind != std::string::npos) oTexts.push_back(sLine.substr(uKind + strlen(szKind)));
      }
      if (uEnd == std::string::npos) break;
      uAt = uEnd + 3;
    }
    return oTexts;
  }

  CServiceFixture m_oFixture;
  std::unique_ptr<IServiceManager> m_pServices = CreateServiceManager();
};

TEST_F(ConsoleService, InstallStopStartAndRemoveAtTheShell) {
  ASSERT_FALSE(m_pServices->IsInstalled());
  // "state" asks the service manager only: it starts nothing, and its exit code says "running".
  auto fnState = [&](const std::string& sOut, int iExitCode) {
    const SRunResult oState = m_oFixture.RunConsole({"service", "state"});
    EXPECT_EQ(oState.m_sOut, sOut);
    EXPECT_EQ(oState.m_iExitCode, iExitCode);
  };
  fnState("The service WDXSVC is not installed.\n", 3);
  EXPECT_EQ(m_pServices->QueryState(), EServiceState::NOT_INSTALLED);
  SRunResult oRun = m_oFixture.RunConsole({"service", "install"});
  ASSERT_EQ(oRun.m_iExitCode, 0) << oRun.m_sErr;
  EXPECT_EQ(oRun.m_sOut, "The service WDXSVC is running.\n");
  EXPECT_EQ(m_pServices->QueryState(), EServiceState::RUNNING);
  // The service it started answers on its endpoint.
  EXPECT_EQ(m_oFixture.RunConsole({"command", "1005"}).m_sOut, "0\n");
  // Installing again finds it running and starts nothing.
  EXPECT_EQ(m_oFixture.RunConsole({"service", "install"}).m_iExitCode, 0);
  fnState("The service WDXSVC is running.\n", 0);

  oRun = m_oFixture.RunConsole({"service", "stop"});
  EXPECT_EQ(oRun.m_iExitCode, 0) << oRun.m_sErr;
  EXPECT_EQ(oRun.m_sOut, "The service WDXSVC is stopped.\n");
  EXPECT_EQ(m_pServices->QueryState(), EServiceState::STOPPED);
  fnState("The service WDXSVC is stopped.\n", 3);
  EXPECT_EQ(m_pServices->QueryState(), EServiceState::STOPPED);
  oRun = m_oFixture.RunConsole({"service", "start"});
  EXPECT_EQ(oRun.m_iExitCode, 0) << oRun.m_sErr;
  EXPECT_EQ(m_pServices->QueryState(), EServiceState::RUNNING);

  oRun = m_oFixture.RunConsole({"service", "remove"});
  EXPECT_EQ(oRun.m_iExitCode, 0) << oRun.m_sErr;
  EXPECT_EQ(oRun.m_sOut,
            "WDXSvc STOPPED.\nWDXSvc also DELETED.\nClose & restart the console to restart "
            "service.\nThe service WDXSVC is not installed.\n");
  EXPECT_FALSE(m_pServices->IsInstalled());
  oRun = m_oFixture.RunConsole({"service", "remove"});
  EXPECT_EQ(oRun.m_iExitCode, 1);
  EXPECT_NE(oRun.m_sErr.find("Cannot continue: Unable to find or start WdxSvc.exe\n"),
            std::string::npos)
      << oRun.m_sErr;

  const std::vector<std::string> oExpected = {
      "ChangeServiceConfig SUCCESS\n", "Service start pending.\n",
      "StartService SUCCESS.\n",       "WdxSvc is verified up and running.",
      "ChangeServiceConfig SUCCESS\n", "WdxSvc is verified up and running.",
      "StopService SUCCESS.\n",        "Service start pending.\n",
      "StartService SUCCESS.\n",       "StopService SUCCESS.\n",
      "DeleteService SUCCESS.\n",      "OnBtnStopService succeeded."};
  std::vector<std::string> oTexts = ConsoleLogTexts();
  // The log's own opening lines come first.
  ASSERT_GE(oTexts.size(), oExpected.size());
  oTexts.erase(oTexts.begin(), oTexts.end() - static_cast<long>(oExpected.size()));
  EXPECT_EQ(oTexts, oExpected) << m_oFixture.Folder().Read("Wardenix.log");

  // The same log at the shell, without a pager: its lines without their CRs.
  setenv("PAGER", "", 1);
  const SRunResult oLog = m_oFixture.RunConsole({"log", "console"});
  EXPECT_EQ(oLog.m_iExitCode, 0) << oLog.m_sErr;
  EXPECT_NE(oLog.m_sOut.find(" Message: OnBtnStopService succeeded.\n"), std::string::npos);
  EXPECT_EQ(oLog.m_sOut.find('\r'), std::string::npos);
}

TEST_F(ConsoleService, AboutNamesProductVersionAndFolder) {
  const SRunResult oRun = m_oFixture.RunConsole({"about"});
  EXPECT_EQ(oRun.m_iExitCode, 0);
  EXPECT_EQ(oRun.m_sOut, "Wardenix Version 1.0\nProgram folder: " + m_oFixture.Home() +
                             "\nCopyright (c) Wardenix. All rights reserved.\n");
  EXPECT_EQ(m_oFixture.RunConsole({"service", "pause"}).m_iExitCode, 2);
}

}  // namespace
}  // namespace wdx::test
