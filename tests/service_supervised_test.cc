// The service installed with "-Service" and run by the service manager (the built-in
// supervisor on machines without systemd), driven by the console as an operator would.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <functional>

#include "foundation/ram_file.h"
#include "platform/registry_store.h"
#include "platform/service_manager.h"
#include "platform/supervisor_pid_file.h"
#include "service/host/wdx_codes.h"
#include "service/ops/ops_mngr_thread.h"
#include "tests/support/service_fixture.h"

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

TEST(SupervisedService, ConsoleStartsTheInstalledServiceAndSeesItReady) {
  CServiceFixture oFixture;
  ASSERT_EQ(oFixture.RunService({"-Service"}).m_iExitCode, 0);
  auto pServices = CreateServiceManager();
  ASSERT_TRUE(pServices->IsInstalled());

  // The console activates the registered service and initialises the command object.
  const SRunResult oInit = oFixture.RunConsole({"command", "999"});
  ASSERT_EQ(oInit.m_iExitCode, 0) << oInit.m_sErr;
  EXPECT_EQ(oInit.m_sOut, "-1\n");
  const SRunResult oState = oFixture.RunConsole({"command", "1004"});
  EXPECT_EQ(oState.m_sOut, "999\n");
  EXPECT_EQ(pServices->QueryState(), EServiceState::RUNNING);

  // A service does not quit when its clients have gone.
  usleep(600'000);
  EXPECT_EQ(oFixture.RunConsole({"command", "1004"}).m_sOut, "999\n");

  ASSERT_TRUE(pServices->Stop(10000)) << pServices->GetLastError();
  EXPECT_EQ(pServices->QueryState(), EServiceState::STOPPED);
  EXPECT_NE(oFixture.LogText().find("WDXSVC CThreadOwner::KillAllThreads() done"),
            std::string::npos);
  ASSERT_EQ(oFixture.RunService({"-UnregServer"}).m_iExitCode, 0);
  EXPECT_FALSE(pServices->IsInstalled());
}

TEST(SupervisedService, ConsoleReportsAServiceThatCannotBeReached) {
  CServiceFixture oFixture;
  const SRunResult oRun = oFixture.RunConsole({"command", "1004"});
  EXPECT_EQ(oRun.m_iExitCode, 1);
  EXPECT_NE(oRun.m_sErr.find("not registered"), std::string::npos) << oRun.m_sErr;
  EXPECT_TRUE(oRun.m_sOut.empty());
}

// GO mode is recorded in "GoActive": a service that crashed in GO mode comes back in it, one
// that crashed after STOP comes back ready.
class SupervisedGoMode : public ::testing::Test {
 protected:
  SupervisedGoMode() : m_oFixture(600) {}
  void SetUp() override {
    CRamFile oFile;
    oFile.Initialize(m_oFixture.Home().c_str(), "AutoSet.caf");
    ASSERT_TRUE(oFile.LoadToRamFromListBox({"[KEYS]", "AdminId=operator", "Password=pw",
                                            "MachineName=test-host", "MinuteInterval=1"}));
    ASSERT_TRUE(oFile.SaveToFile());
    ASSERT_EQ(m_oFixture.RunService({"-Service"}).m_iExitCode, 0);
  }
  void TearDown() override { m_pServices->Stop(20000); }

  std::string Ask(const char* szCode) { return m_oFixture.RunConsole({"command", szCode}).m_sOut; }
  std::string GoActive() {
    std::string sValue;
    OpenRegistryStoreAt(m_oFixture.RegistryPath())
        ->GetValue(WDX_AUTORUN_KEY, WDX_GOACTIVE_VALUE, sValue);
    return sValue;
  }
  int ServicePid() {
    SPidFileContent oContent;
    return ReadPidFile(m_oFixture.Home() + "wdxsvc.pid", oContent) ? oContent.m_iServicePid : 0;
  }
  // Kills the service as a crash would and waits until its successor has initialised.
  void Crash(int iInitsBefore) {
    const int iPid = ServicePid();
    ASSERT_GT(iPid, 0);
    ASSERT_EQ(0, kill(iPid, SIGKILL));
    ASSERT_TRUE(WaitFor([&] {
      return m_oFixture.CountInLog("COpsMngrThread::LowLevelInit() done") > iInitsBefore;
    })) << m_oFixture.LogText();
    EXPECT_NE(iPid, ServicePid());
  }

  CServiceFixture m_oFixture;
  std::unique_ptr<IServiceManager> m_pServices = CreateServiceManager();
};

TEST_F(SupervisedGoMode, ACrashInGoModeComesBackInGoModeAndAfterStopReady) {
  const char* const szResumed = "GO mode was on when the service ended last; it is entered again.";
  ASSERT_EQ(Ask("999"), "-1\n");  // the console starts the service
  ASSERT_EQ(Ask("1000"), "-1\n");
  ASSERT_TRUE(WaitFor([&] { return Ask("1005") == "-1\n"; }));
  EXPECT_EQ(GoActive(), "1");

  Crash(1);
  ASSERT_TRUE(WaitFor([&] { return Ask("1005") == "-1\n"; })) << m_oFixture.LogText();
  EXPECT_EQ(m_oFixture.CountInLog(szResumed), 1);

  ASSERT_EQ(Ask("1003"), "-1\n");
  ASSERT_TRUE(WaitFor([&] { return Ask("1005") == "0\n" && GoActive() == "0"; }));
  Crash(2);
  // The decision is taken before the initialisation ends: no resumption follows.
  EXPECT_EQ(m_oFixture.CountInLog(szResumed), 1);
  EXPECT_EQ(Ask("1004"), std::to_string(WDX_STATE_READY) + "\n");
}

}  // namespace
}  // namespace wdx::test
