// The SIP peer of the end-to-end tests, proven on its own: one baresip calls another on
// loopback; each records what the other said, and a callee that never answers leaves the
// caller ringing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/speech/speech_transcribe.h"
#include "tests/support/baresip_peer.h"

namespace wdx::test {
namespace {

// The words recognised in a recording, with a grammar of a few words; " "-separated.
std::string Hear(const CBaresipPeer& oPeer, const CTempFolder& oFolder) {
  std::vector<int16_t> aSamples;
  EXPECT_TRUE(oPeer.ReadRecording(0, aSamples)) << oPeer.Output();
  oFolder.Write("words.gram",
                "#JSGF V1.0;\ngrammar words;\npublic <words> = ( yes | no | goodbye | bye )+;\n");
  std::vector<std::string> aUtterances;
  EXPECT_TRUE(TranscribeSamples(aSamples, oFolder.File("words.gram"), aUtterances));
  std::string sHeard;
  for (const std::string& sUtterance : aUtterances) sHeard += sUtterance + " ";
  return sHeard;
}

TEST(BaresipPeer, TwoPeersHearEachOther) {
  CTempFolder oFolder;
  CBaresipPeer oCallee(SPeerOptions().User("callee").Says("no"));
  ASSERT_TRUE(oCallee.Start()) << oCallee.Error();
  // The caller hangs up when it has said its words.
  CBaresipPeer oCaller(SPeerOptions().User("caller").Says("yes").TalksFor(6).Dials(oCallee.Uri()));
  ASSERT_TRUE(oCaller.Start()) << oCaller.Error();
  ASSERT_TRUE(oCallee.WaitForOutput("terminated", 1, 60000)) << oCallee.Output();
  EXPECT_TRUE(oCaller.Stop());
  EXPECT_TRUE(oCallee.Stop());
  ASSERT_EQ(oCallee.Recordings().size(), 1u) << oCallee.Output();
  ASSERT_EQ(oCaller.Recordings().size(), 1u) << oCaller.Output();
  const std::string sCalleeHeard = Hear(oCallee, oFolder);
  const std::string sCallerHeard = Hear(oCaller, oFolder);
  EXPECT_NE(sCalleeHeard.find("yes"), std::string::npos) << sCalleeHeard;
  EXPECT_EQ(sCalleeHeard.find("no"), std::string::npos) << sCalleeHeard;
  EXPECT_NE(sCallerHeard.find("no"), std::string::npos) << sCallerHeard;
  EXPECT_EQ(sCallerHeard.find("yes"), std::string::npos) << sCallerHeard;
}

TEST(BaresipPeer, ACalleeThatNeverAnswersLeavesTheCallerRinging) {
  CBaresipPeer oCallee(SPeerOptions().User("callee").NeverAnswers());
  ASSERT_TRUE(oCallee.Start()) << oCallee.Error();
  CBaresipPeer oCaller(SPeerOptions().User("caller").Says("yes").Dials(oCallee.Uri()));
  ASSERT_TRUE(oCaller.Start()) << oCaller.Error();
  EXPECT_TRUE(oCaller.WaitForOutput("180 Ringing", 1, 60000)) << oCaller.Output();
  EXPECT_TRUE(oCaller.Stop());
  EXPECT_TRUE(oCallee.Stop());
  EXPECT_EQ(oCallee.CountInOutput("Call established"), 0) << oCallee.Output();
  EXPECT_TRUE(oCallee.Recordings().empty());
}

}  // namespace
}  // namespace wdx::test
