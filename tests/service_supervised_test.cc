// The service installed with "-Service" and run by the service manager (the built-in
// supervisor on machines without systemd), driven by the console as an operator would.
#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/service_manager.h"
#include "service/host/wdx_codes.h"
#include "tests/support/service_fixture.h"

namespace wdx::test {
namespace {

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

}  // namespace
}  // namespace wdx::test
