// wardenix go, status --json and stop against the real service, as a script would use them.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "foundation/ram_file.h"
#include "service/host/wdx_client.h"
#include "tests/support/service_fixture.h"
#include "tests/support/test_site.h"

namespace wdx::test {
namespace {

bool WaitFor(const std::function<bool()>& fnDone) {
  const auto tDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < tDeadline) {
    if (fnDone()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

TEST(ConsoleGoCli, GoWaitsForGoModeStatusFollowsTheServiceAndStopEndsIt) {
  CServiceFixture oFixture(600);  // a minute of service time is 100 ms
  CTestSite oSite;
  {
    CRamFile oFile;
    oFile.Initialize(oFixture.Home().c_str(), "AutoSet.caf");
    ASSERT_TRUE(oFile.LoadToRamFromListBox({"[KEYS]", "AdminId=operator", "Password=pw",
                                            "MachineName=test-host", "MinuteInterval=1",
                                            "RestartsB4Reboot=0", "[URLS]", oSite.Url("/local")}));
    ASSERT_TRUE(oFile.SaveToFile());
  }
  ASSERT_EQ(oFixture.RunService({"-RegServer"}).m_iExitCode, 0);
  ASSERT_TRUE(oFixture.StartServiceProcess());
  auto pClient = oFixture.Connect();  // keeps the service from quitting for want of clients
  ASSERT_NE(pClient, nullptr);
  auto fnStatus = [&] {
    const SRunResult oRun = oFixture.RunConsole({"status", "--json"});
    EXPECT_EQ(oRun.m_iExitCode, 0) << oRun.m_sErr;
    return nlohmann::json::parse(oRun.m_sOut, nullptr, false);
  };
  const nlohmann::json oIdle = fnStatus();
  EXPECT_EQ(oIdle["goMode"], false) << oIdle;

  const SRunResult oGo = oFixture.RunConsole({"go"});
  ASSERT_EQ(oGo.m_iExitCode, 0) << oGo.m_sOut << oGo.m_sErr;
  EXPECT_NE(oGo.m_sOut.find("WDXSvc is running normally.\n"), std::string::npos) << oGo.m_sOut;
  EXPECT_NE(oGo.m_sOut.find("GO mode is running.\n"), std::string::npos) << oGo.m_sOut;
  nlohmann::json oStatus = fnStatus();
  EXPECT_EQ(oStatus["goMode"], true) << oStatus;
  EXPECT_TRUE(oStatus["action"].is_string() && oStatus["object"].is_string()) << oStatus;

  // A failing local page: the service restarts, and the status says so.
  oSite.m_iLocalStatus = 500;
  ASSERT_TRUE(WaitFor([&] { return fnStatus()["serverStateName"] == "Restarting"; }));
  oSite.m_iLocalStatus = 200;
  ASSERT_TRUE(WaitFor([&] {
    oStatus = fnStatus();
    return oStatus["serverStateName"] == "Up" && oStatus["serverState"] == 1000;
  })) << oStatus;

  const SRunResult oStop = oFixture.RunConsole({"stop"});
  ASSERT_EQ(oStop.m_iExitCode, 0) << oStop.m_sErr;
  ASSERT_TRUE(WaitFor([&] { return fnStatus()["goMode"] == false; }));
  oStatus = fnStatus();
  EXPECT_TRUE(oStatus["stateName"] == "STOPPED" || oStatus["stateName"] == "AUTO_GO_PENDING")
      << oStatus;
  EXPECT_NE(oFixture.Folder().Read("Wardenix.log").find("CWardenixDlg::InitWdx"),
            std::string::npos);
}

}  // namespace
}  // namespace wdx::test
