// Phone alerts of the real wdxsvc: the real phone component with the real speech engines on the
// simulated line. A local URL that fails brings the down round (Ann says "no", Bob says "yes"),
// its recovery the up round; a missing speech model leaves the phone unready and GO mode going.
// And the console's phone test call.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "foundation/ram_file.h"
#include "service/host/wdx_client.h"
#include "service/host/wdx_codes.h"
#include "tests/support/service_fixture.h"
#include "tests/support/test_site.h"

namespace wdx::test {
namespace {

class PhoneAlerts : public ::testing::Test {
 protected:
  // One minute of service time is 100 ms; the calls' pauses shrink alike.
  PhoneAlerts() : m_oFixture(600) {}

  void WriteSettings(const std::vector<std::string>& oExtraKeys) {
    std::vector<std::string> oLines = {"[KEYS]"};
    oLines.insert(oLines.end(), oExtraKeys.begin(), oExtraKeys.end());
    oLines.insert(oLines.end(),
                  {"AdminId=operator", "Password=pw", "MachineName=test-host", "MinuteInterval=1",
                   "RestartsB4Reboot=0", "PAck=1", "PName1=Ann", "PNum1=sim:no", "PE1=1",
                   "PName2=Bob", "PNum2=sim:yes", "PE2=1", "MsgDown=The shop is down.",
                   "MsgUp=The shop is up again.", "[URLS]", m_oSite.Url("/local")});
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
  // Waits up to 60 s: a round on a loaded machine runs the recogniser for every answer.
  bool WaitFor(const std::function<bool()>& fnDone) {
    for (int i = 0; i < 6000; ++i) {
      if (fnDone()) return true;
      usleep(10'000);
    }
    return fnDone();
  }
  int PhoneLines(const std::string& sText) {
    const std::string sLog = m_oFixture.Folder().Read("PhoneOuts.log");
    int iCount = 0;
    for (size_t u = sLog.find(sText); u != std::string::npos; u = sLog.find(sText, u + 1)) ++iCount;
    return iCount;
  }
  void TearDown() override {
    if (!HasFailure()) return;
    std::fprintf(stderr, "WDXSVC.log:\n%s\nPhoneOuts.log:\n%s\n", m_oFixture.LogText().c_str(),
                 m_oFixture.Folder().Read("PhoneOuts.log").c_str());
  }

  CServiceFixture m_oFixture;
  CTestSite m_oSite;
  std::unique_ptr<CWdxSvrClient> m_pClient;
};

TEST_F(PhoneAlerts, ALocalFailurePhonesTheDownRoundAndRecoveryTheUpRound) {
  WriteSettings({});
  StartService();
  ASSERT_TRUE(WaitFor([&] { return Ops(PHONE_INIT_READY) == WDX_TRUE; }));
  EXPECT_EQ(Ops(PHONE_INIT_SAPI), WDX_TRUE);
  Ops(WDX_GO);
  ASSERT_TRUE(WaitFor([&] { return Ops(WDX_GET_STATE) == WDX_STATE_RUNNING; }));

  m_oSite.m_iLocalStatus = 500;
  ASSERT_TRUE(WaitFor([&] {
    return m_oFixture.CountInLog("Delivered Phone Message:  'Server Down: The shop is down.'.") == 1;
  }));
  EXPECT_EQ(PhoneLines("Ann was phoned at sim:no.\r"), 1);
  EXPECT_EQ(PhoneLines("Bob was phoned at sim:yes. This person acknowledged the call."), 1);
  EXPECT_EQ(m_oFixture.CountInLog("CPhoner::SendDownMessage() failed."), 0);

  m_oSite.m_iLocalStatus = 200;
  ASSERT_TRUE(WaitFor([&] {
    return m_oFixture.CountInLog("Delivered Phone Message:  'Server Up: The shop is up again.'.") == 1;
  }));
  EXPECT_EQ(PhoneLines("Bob was phoned at sim:yes. This person acknowledged the call."), 2);
  EXPECT_EQ(m_oFixture.CountInLog("CPhoner::SendUpMessage() failed."), 0);
  Ops(WDX_STOP);
  EXPECT_EQ(m_oFixture.StopServiceProcess(30000), 0);
}

TEST_F(PhoneAlerts, AMissingSpeechModelLeavesThePhoneUnreadyAndGoModeGoing) {
  WriteSettings({});
  setenv("WDX_SPEECH_MODEL", (m_oFixture.Home() + "no-model").c_str(), 1);
  StartService();
  unsetenv("WDX_SPEECH_MODEL");
  ASSERT_TRUE(WaitFor([&] { return m_oFixture.CountInLog("CPhoner::CPW done") == 1; }));
  EXPECT_EQ(Ops(PHONE_INIT_CALL_THREAD), WDX_TRUE);
  EXPECT_EQ(Ops(PHONE_INIT_SAPI), WDX_FALSE);
  EXPECT_EQ(Ops(PHONE_INIT_READY), WDX_FALSE);
  EXPECT_EQ(m_oFixture.CountInLog("CPhoner::CreateRirer2Oduvo failed."), 1);
  Ops(WDX_GO);
  ASSERT_TRUE(WaitFor([&] { return Ops(WDX_GET_STATE) == WDX_STATE_RUNNING; }));
  m_oSite.m_iLocalStatus = 500;  // down: no phone round is tried, the cycle goes on
  ASSERT_TRUE(WaitFor([&] { return Ops(WDX_GET_STATE) == WDX_STATE_FAILING; }));
  EXPECT_EQ(m_oFixture.CountInLog("Delivered Phone Message"), 0);
  Ops(WDX_STOP);
  EXPECT_EQ(m_oFixture.StopServiceProcess(30000), 0);
}

TEST(PhoneConsole, TestCallPrintsTheOutcomeAndThePhoneLog) {
  CServiceFixture oFixture(600);
  struct SCase {
    const char* szNumber;
    int iExit;
    const char* szOutcome;
    const char* szLine;
  };
  const SCase aCases[] = {
      {"sim:yes", 0, "Outcome: reached and acknowledged (status 1002)",
       "Test call was phoned at sim:yes. This person acknowledged the call."},
      {"sim:busy", 1, "Outcome: not reached (status 1004)",
       "CCallingThread::SendMessage 5.2: Unable to connect call at sim:busy"},
  };
  ASSERT_EQ(oFixture.RunConsole({"settings", "set", "PAck", "1"}).m_iExitCode, 0);
  for (const SCase& oCase : aCases) {
    SCOPED_TRACE(oCase.szNumber);
    const SRunResult oRun = oFixture.RunConsole({"phone", "test", oCase.szNumber});
    EXPECT_EQ(oRun.m_iExitCode, oCase.iExit) << oRun.m_sOut << oRun.m_sErr;
    EXPECT_NE(oRun.m_sOut.find(oCase.szOutcome), std::string::npos) << oRun.m_sOut;
    EXPECT_NE(oRun.m_sOut.find(oCase.szLine), std::string::npos) << oRun.m_sOut;
  }
  const SRunResult oBad = oFixture.RunConsole({"phone", "test", ""});
  EXPECT_EQ(oBad.m_iExitCode, 2);
}

}  // namespace
}  // namespace wdx::test
