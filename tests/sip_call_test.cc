// Phone calls over SIP end to end: the phone component on the real engines, and the real
// wdxsvc, dial baresip peers on loopback. What a peer says ("no", "yes", nothing) decides the
// round; what it recorded is the message it was told; a peer that never answers, and one that
// hangs up at once, send the round on to the next contact.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "components/rirer2oduvo/phone_rig.h"
#include "foundation/ram_file.h"
#include "platform/clock.h"
#include "platform/speech/speech_transcribe.h"
#include "service/host/wdx_client.h"
#include "service/host/wdx_codes.h"
#include "tests/support/baresip_peer.h"
#include "tests/support/service_fixture.h"
#include "tests/support/test_site.h"

namespace wdx::test {
namespace {

// Service waits run this many times faster: the ring time-out (45 s) becomes 3 s. The calls'
// audio still takes the time it takes to say it.
constexpr int kTimeScale = 15;
constexpr const char* kScript =
    "server is down the web stopped answering repeat to acknowledge this call please say yes "
    "otherwise just hang up you said no cycle continues ends bye what";

// The words a recording holds, recognised with a grammar of every word the call script says;
// " "-separated with a space at each end.
std::string WordsHeard(const std::vector<int16_t>& aRecording, const CTempFolder& oFolder) {
  std::string sRule;
  for (size_t uAt = 0, uEnd = 0; uAt < std::string(kScript).size(); uAt = uEnd + 1) {
    uEnd = std::string(kScript).find(' ', uAt);
    if (uEnd == std::string::npos) uEnd = std::string(kScript).size();
    sRule += (sRule.empty() ? "" : " | ") + std::string(kScript).substr(uAt, uEnd - uAt);
  }
  oFolder.Write("script.gram",
                "#JSGF V1.0;\ngrammar script;\npublic <script> = ( " + sRule + " )+;\n");
  std::vector<std::string> aUtterances;
  EXPECT_TRUE(TranscribeSamples(aRecording, oFolder.File("script.gram"), aUtterances));
  std::string sHeard = " ";
  for (const std::string& sUtterance : aUtterances) sHeard += sUtterance + " ";
  return sHeard;
}

int CountWords(const std::string& sHeard, const std::vector<const char*>& aWords) {
  int iFound = 0;
  for (const char* szWord : aWords)
    iFound += sHeard.find(std::string(" ") + szWord + " ") != std::string::npos ? 1 : 0;
  return iFound;
}

class SipCall : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { setenv("WDX_TIME_SCALE", std::to_string(kTimeScale).c_str(), 1); }

  void TearDown() override {
    if (!HasFailure()) return;
    for (const CBaresipPeer* pPeer : m_aStarted)
      std::fprintf(stderr, "%s:\n%s\n", pPeer->Uri().c_str(), pPeer->Output().c_str());
  }
  CBaresipPeer& Peer(SPeerOptions oOptions) {
    m_aPeers.push_back(std::make_unique<CBaresipPeer>(std::move(oOptions)));
    CBaresipPeer& oPeer = *m_aPeers.back();
    EXPECT_TRUE(oPeer.Start()) << oPeer.Error();
    m_aStarted.push_back(&oPeer);
    return oPeer;
  }

  std::vector<std::unique_ptr<CBaresipPeer>> m_aPeers;
  std::vector<const CBaresipPeer*> m_aStarted;
};

// One round through every kind of callee, in the order the contacts are listed.
TEST_F(SipCall, ARoundGoesOnUntilAPeerSaysYesAndThatPeerHeardTheMessage) {
  CBaresipPeer& oNo = Peer(SPeerOptions().User("ann").Says("no"));
  CBaresipPeer& oHangsUp = Peer(SPeerOptions().User("dan").TalksFor(2));
  CBaresipPeer& oNever = Peer(SPeerOptions().User("cid").NeverAnswers());
  CBaresipPeer& oYes = Peer(SPeerOptions().User("bob").Says("yes"));
  ASSERT_FALSE(HasFailure());
  CPhoneRig oRig(false, &rirer::GetRealPhoneEngines(), &GetClock());
  oRig.m_oFolder.Write("grammer1.cfg", ReadWholeFile(std::string(WDX_DIST_DIR) + "/grammer1.cfg"));
  ASSERT_EQ(oRig.Init(), -1) << oRig.Log();
  oRig.SetUp(true, {"Ann=" + oNo.Uri(), "Dan=" + oHangsUp.Uri(), "Cid=" + oNever.Uri(),
                    "Bob=" + oYes.Uri()});
  ASSERT_EQ(oRig.Send(), -1);
  EXPECT_EQ(oRig.WaitForEnd(), PHONE_STATUS_DONE) << oRig.Log();
  EXPECT_EQ(oRig.Acknowledged(), -1);

  struct SCase {
    const CBaresipPeer& m_oPeer;
    const char* szKind;
    std::string m_sEntry;
  };
  const SCase aCases[] = {
      {oNo, " Message: ", "Ann was phoned at " + oNo.Uri() + "."},
      {oHangsUp, " (event): ", "CZuvTapiEventThread::OnTapiEvent: CS_DISCONNECTED"},
      {oNever,
       " Message: ", "CCallingThread::SendMessage 5.2: Unable to connect call at " + oNever.Uri()},
      {oNever, " (event): ",
       std::string("CCallingThread::SendMessage 5.2: ") + DescribeTelephonyResult(TEL_E_NOANSWER)},
      {oYes,
       " Message: ", "Bob was phoned at " + oYes.Uri() + ". This person acknowledged the call."},
  };
  for (const SCase& oCase : aCases)
    EXPECT_TRUE(oRig.Has(oCase.szKind, oCase.m_sEntry)) << oCase.m_sEntry << "\n" << oRig.Log();
  EXPECT_EQ(oNever.CountInOutput("Call established"), 0);

  for (CBaresipPeer* pPeer : {&oNo, &oHangsUp, &oYes}) {
    EXPECT_TRUE(pPeer->Stop());
    EXPECT_EQ(pPeer->Recordings().size(), 1u) << pPeer->Uri();
  }
  // Bob heard the message; recognition of 8 kHz speech after G.711 is rough.
  std::vector<int16_t> aRecording;
  ASSERT_TRUE(oYes.ReadRecording(0, aRecording));
  const std::string sHeard = WordsHeard(aRecording, oRig.m_oFolder);
  EXPECT_GE(CountWords(sHeard, {"web", "server", "stopped", "answering", "repeat", "acknowledge"}),
            2)
      << sHeard;
  // Ann was told that her "no" was heard.
  ASSERT_TRUE(oNo.ReadRecording(0, aRecording));
  EXPECT_GE(CountWords(WordsHeard(aRecording, oRig.m_oFolder), {"you", "said", "continues"}), 1);
}

// The real service: a watched URL goes down, the one contact is a baresip peer that says yes.
TEST_F(SipCall, TheServicePhonesTheDownRoundToAPeerThatSaysYes) {
  CBaresipPeer& oYes = Peer(SPeerOptions().User("ann").Says("yes"));
  ASSERT_FALSE(HasFailure());
  CServiceFixture oFixture(kTimeScale);
  CTestSite oSite;
  CRamFile oFile;
  oFile.Initialize(oFixture.Home().c_str(), "AutoSet.caf");
  ASSERT_TRUE(oFile.LoadToRamFromListBox(
      {"[KEYS]", "AdminId=operator", "Password=pw", "MachineName=test-host", "MinuteInterval=1",
       "RestartsB4Reboot=0", "PAck=1", "PName1=Ann", "PNum1=" + oYes.Uri(), "PE1=1",
       "MsgDown=The shop is down.", "MsgUp=The shop is up again.", "[URLS]", oSite.Url("/local")}));
  ASSERT_TRUE(oFile.SaveToFile());
  ASSERT_EQ(oFixture.RunService({"-RegServer"}).m_iExitCode, 0);
  ASSERT_TRUE(oFixture.StartServiceProcess());
  std::unique_ptr<CWdxSvrClient> pClient = oFixture.Connect();
  ASSERT_NE(pClient, nullptr);
  auto Ops = [&](int iCode) {
    int iResult = 0;
    EXPECT_TRUE(pClient->OpsCommand(iCode, iResult)) << pClient->GetLastError();
    return iResult;
  };
  auto WaitFor = [](const std::function<bool()>& fnDone) {
    for (int i = 0; i < 12000 && !fnDone(); ++i) usleep(10'000);
    return fnDone();
  };
  ASSERT_TRUE(WaitFor([&] { return Ops(PHONE_INIT_READY) == WDX_TRUE; }));
  Ops(WDX_GO);
  ASSERT_TRUE(WaitFor([&] { return Ops(WDX_GET_STATE) == WDX_STATE_RUNNING; }));
  oSite.m_iLocalStatus = 500;
  EXPECT_TRUE(WaitFor([&] {
    return oFixture.CountInLog("Delivered Phone Message:  'Server Down: The shop is down.'.") == 1;
  })) << oFixture.LogText();
  const std::string sPhoneLog = oFixture.Folder().Read("PhoneOuts.log");
  EXPECT_NE(
      sPhoneLog.find("Ann was phoned at " + oYes.Uri() + ". This person acknowledged the call."),
      std::string::npos)
      << sPhoneLog;
  Ops(WDX_STOP);
  EXPECT_EQ(oFixture.StopServiceProcess(30000), 0);
  EXPECT_TRUE(oYes.Stop());
  EXPECT_EQ(oYes.Recordings().size(), 1u);
}

}  // namespace
}  // namespace wdx::test
