// The real wdxsvc over its real endpoint: every command code, the shared command object, the
// local server's lifetime, and a clean stop.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "service/host/wdx_client.h"
#include "service/host/wdx_codes.h"
#include "tests/support/service_fixture.h"

namespace wdx::test {
namespace {

int Ops(CWdxSvrClient& oClient, int iCode) {
  int iResult = 12345;
  EXPECT_TRUE(oClient.OpsCommand(iCode, iResult)) << oClient.GetLastError();
  return iResult;
}

std::string Text(CWdxSvrClient& oClient, int iCode) {
  std::string sResult = "unset";
  EXPECT_TRUE(oClient.GetStringResult(iCode, sResult)) << oClient.GetLastError();
  return sResult;
}

class ServiceCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(m_oFixture.RunService({"-RegServer"}).m_iExitCode, 0);
    ASSERT_TRUE(m_oFixture.StartServiceProcess());
    m_pClient = m_oFixture.Connect();
    ASSERT_NE(m_pClient, nullptr);
  }

  CServiceFixture m_oFixture;
  std::unique_ptr<CWdxSvrClient> m_pClient;
};

TEST_F(ServiceCommands, InitialisedServiceIsReadyAndIdle) {
  EXPECT_EQ(Ops(*m_pClient, WDX_INITIALIZE), WDX_TRUE);
  EXPECT_EQ(Ops(*m_pClient, WDX_GET_STATE), WDX_STATE_READY);
  EXPECT_EQ(Ops(*m_pClient, WDX_IS_GO_MODE), WDX_FALSE);
  // Nothing was published yet.
  EXPECT_EQ(Text(*m_pClient, WDX_GET_CURRENT_ACTION), "");
  EXPECT_EQ(Text(*m_pClient, WDX_GET_CURRENT_ACTION_OBJECT), "");
  EXPECT_EQ(Text(*m_pClient, 4711), "");
  // No phone component: every readiness query is answered false.
  for (int iCode = PHONE_INIT_CALL_THREAD; iCode <= PHONE_INIT_READY; ++iCode) {
    EXPECT_EQ(Ops(*m_pClient, iCode), WDX_FALSE) << iCode;
  }
  const std::string sLog = m_oFixture.LogText();
  EXPECT_NE(sLog.find("/////////// WDXSVR Started ///////////"), std::string::npos);
  EXPECT_NE(sLog.find("CWDXSVR::Initialize() 4"), std::string::npos);
  EXPECT_NE(sLog.find("COpsMngrThread::KeepAlive() starts."), std::string::npos);
}

TEST_F(ServiceCommands, GoTestAndStopAreAcceptedAndWakeTheWorker) {
  EXPECT_EQ(Ops(*m_pClient, WDX_GO), WDX_TRUE);
  EXPECT_EQ(Ops(*m_pClient, WDX_TEST), WDX_TRUE);
  EXPECT_EQ(Ops(*m_pClient, WDX_STOP), WDX_TRUE);
  EXPECT_EQ(Ops(*m_pClient, WDX_GET_STATE), WDX_STATE_STOP_REQUESTED);
  // The worker logs each wake-up on the command event within its one-second wait.
  for (int i = 0; i < 200 && m_oFixture.CountInLog("KeepAlive() Command Event.") == 0; ++i) {
    usleep(10'000);
  }
  EXPECT_GE(m_oFixture.CountInLog("COpsMngrThread::KeepAlive() Command Event."), 1);
  EXPECT_EQ(m_oFixture.CountInLog("CWDXSVR::OpsCommand WDX_GO command received."), 1);
  EXPECT_EQ(m_oFixture.CountInLog("CWDXSVR::OpsCommand WDX_TEST command received."), 1);
  EXPECT_EQ(m_oFixture.CountInLog("CWDXSVR::OpsCommand WDX_STOP command received."), 1);
}

TEST_F(ServiceCommands, UnknownCodesAreAnsweredFalseAndLogged) {
  for (int iCode : {1002, 1006, 1007, -5, 0, 2147483647}) {
    EXPECT_EQ(Ops(*m_pClient, iCode), WDX_FALSE) << iCode;
  }
  EXPECT_EQ(m_oFixture.CountInLog("CWDXSVR::OpsCommand Unknown command received."), 6);
}

TEST_F(ServiceCommands, ASecondClientGetsTheSameObject) {
  ASSERT_EQ(Ops(*m_pClient, WDX_STOP), WDX_TRUE);
  auto pSecond = m_oFixture.Connect();
  ASSERT_NE(pSecond, nullptr);
  EXPECT_EQ(Ops(*pSecond, WDX_INITIALIZE), WDX_TRUE);
  // The state the first client caused is what the second one sees, and no second worker
  // was made.
  EXPECT_EQ(Ops(*pSecond, WDX_GET_STATE), WDX_STATE_STOP_REQUESTED);
  EXPECT_EQ(m_oFixture.CountInLog("CThreadOwner::CreateOpsMngrThread() Created new thread."), 1);
}

TEST_F(ServiceCommands, TheEndpointIsPrivateToItsUser) {
  struct stat oInfo = {};
  ASSERT_EQ(stat(m_oFixture.SocketPath().c_str(), &oInfo), 0);
  EXPECT_TRUE(S_ISSOCK(oInfo.st_mode));
  EXPECT_EQ(oInfo.st_mode & 0777, 0600u);
}

TEST_F(ServiceCommands, StopSignalEndsTheWorkerWithinItsBounds) {
  // The idle worker ends within one command-event time-out, which KillAllThreads sees at once.
  EXPECT_EQ(m_oFixture.StopServiceProcess(8000), 0);
  const std::string sLog = m_oFixture.LogText();
  EXPECT_NE(sLog.find("COpsMngrThread::KeepAlive() exits."), std::string::npos);
  EXPECT_NE(sLog.find("WDXSVC CThreadOwner::KillAllThreads() done"), std::string::npos);
  EXPECT_EQ(sLog.find("KillAllThreads() failed."), std::string::npos);
  EXPECT_NE(sLog.find("WdxSvc functions terminated.********************************************"),
            std::string::npos);
}

TEST_F(ServiceCommands, PlainLocalServerQuitsAfterItsLastClientHasGone) {
  m_pClient.reset();
  // Lingers 5 s / 20 = 250 ms without clients, then quits by itself.
  EXPECT_EQ(m_oFixture.WaitServiceExit(8000), 0);
  struct stat oInfo = {};
  EXPECT_NE(stat(m_oFixture.SocketPath().c_str(), &oInfo), 0);
}

}  // namespace
}  // namespace wdx::test
