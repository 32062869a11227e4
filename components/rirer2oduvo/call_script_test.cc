// The calling cycle and the call script on scripted engines: the order of the calls and when
// the cycle stops, the statuses, the words spoken, the texts cut to their spoken length, the
// faults of the line and the commanded state, the hand-over of requests.
#include "components/rirer2oduvo/calling_thread.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "components/rirer2oduvo/phone_rig.h"
#include "foundation/zuv_event.h"

namespace wdx {
namespace {

using test::CPhoneRig;
using test::kAskForYes;
using test::kMessage;
using test::Strings;

struct SCycleCase {
  const char* m_szName;
  bool m_bAcknowledge;
  Strings m_aContacts;
  int32_t m_lFinal;
  int32_t m_lAcknowledged;
  Strings m_aDialled;
  Strings m_aSpoken;    // each spoken at least once
  Strings m_aMessages;  // message lines of the log
  Strings m_aEvents;    // event lines of the log
};

TEST(CallScriptTest, CallingCyclesFollowTheCalleesAnswers) {
  const std::string sYesLine = "fake:yes: You said YES, Call cycle ends. Bye.";
  const SCycleCase aCases[] = {
      {"yes ends the round",
       true,
       {"Ann=fake:yes", "Bob=fake:no"},
       1002,
       -1,
       {"fake:yes"},
       {sYesLine, "fake:yes: " + std::string(kAskForYes)},
       {"Ann was phoned at fake:yes. This person acknowledged the call."},
       {}},
      {"no goes on",
       true,
       {"Ann=fake:no", "Bob=fake:yes"},
       1002,
       -1,
       {"fake:no", "fake:yes"},
       {"fake:no: You said NO, Call cycle continues. Bye.", sYesLine},
       {"Ann was phoned at fake:no.",
        "Bob was phoned at fake:yes. This person acknowledged the call."},
       {}},
      {"goodbye goes on",
       true,
       {"Ann=fake:say:GOODBYE"},
       1002,
       0,
       {"fake:say:GOODBYE"},
       {"fake:say:GOODBYE: OK, Call cycle continues. Bye."},
       {"Ann was phoned at fake:say:GOODBYE."},
       {}},
      {"a second chance",
       true,
       {"Ann=fake:say:MAYBE|YES"},
       1002,
       -1,
       {"fake:say:MAYBE|YES"},
       {"fake:say:MAYBE|YES: What?", "fake:say:MAYBE|YES: You said YES, Call cycle ends. Bye."},
       {"Ann was phoned at fake:say:MAYBE|YES. This person acknowledged the call."},
       {}},
      {"busy then no answer",
       true,
       {"Ann=fake:busy", "Bob=fake:noanswer"},
       1004,
       0,
       {"fake:busy", "fake:noanswer"},
       {},
       {"CCallingThread::SendMessage 5.2: Unable to connect call at fake:busy",
        "CCallingThread::SendMessage 5.2: Unable to connect call at fake:noanswer"},
       {"CCallingThread::SendMessage 5.2: busy", "CCallingThread::SendMessage 5.2: no answer"}},
      {"last call decides",
       false,
       {"Ann=fake:busy", "Bob=fake:yes"},
       1002,
       0,
       {"fake:busy", "fake:yes"},
       {"fake:yes: Message ends. Goodbye."},
       {"Bob was phoned at fake:yes."},
       {}},
      {"everyone once without acknowledgement",
       false,
       {"Ann=fake:yes", "Bob=fake:no", "Ann=fake:yes"},
       1002,
       0,
       {"fake:yes", "fake:no", "fake:yes"},
       {"fake:no: Message ends. Goodbye."},
       {"Ann was phoned at fake:yes.", "Bob was phoned at fake:no."},
       {}},
      {"empty ledger", true, {}, 1004, 0, {}, {}, {}, {"CCallingThread::SendAlerts() done"}},
  };
  for (const SCycleCase& oCase : aCases) {
    SCOPED_TRACE(oCase.m_szName);
    CPhoneRig oRig;
    ASSERT_EQ(oRig.Init(), -1);
    oRig.SetUp(oCase.m_bAcknowledge, oCase.m_aContacts);
    ASSERT_EQ(oRig.Send(), -1);
    EXPECT_EQ(oRig.WaitForEnd(), oCase.m_lFinal);
    EXPECT_EQ(oRig.Acknowledged(), oCase.m_lAcknowledged);
    EXPECT_EQ(oRig.Dialled(), oCase.m_aDialled);
    for (const std::string& sLine : oCase.m_aSpoken) EXPECT_GE(oRig.CountSpoken(sLine), 1) << sLine;
    for (const std::string& sLine : oCase.m_aMessages)
      EXPECT_TRUE(oRig.Has(" Message: ", sLine)) << sLine;
    for (const std::string& sLine : oCase.m_aEvents)
      EXPECT_TRUE(oRig.Has(" (event): ", sLine)) << sLine;
    if (!oCase.m_bAcknowledge) {
      EXPECT_EQ(oRig.CountSpoken("fake:no: What?"), 0);
    }
  }
}

TEST(CallScriptTest, TheCallScriptSpeaksItsStepsInOrder) {
  CPhoneRig oRig;
  ASSERT_EQ(oRig.Init(), -1);
  oRig.SetUp(true, {"Ann=fake:silent"});
  ASSERT_EQ(oRig.Send(), -1);
  EXPECT_EQ(oRig.WaitForEnd(), PHONE_STATUS_DONE);  // the call went through unacknowledged
  const std::string sPrefix = "fake:silent: ";
  Strings aExpected(4, sPrefix + "Server is down.");
  for (const std::string& sText :
       {std::string(kMessage), std::string("Repeat!"), std::string(kMessage),
        std::string(kAskForYes), std::string("What?"), std::string("What?")}) {
    aExpected.push_back(sPrefix + sText);
  }
  EXPECT_EQ(oRig.Spoken(), aExpected);
  EXPECT_TRUE(oRig.Has(" Message: ", "Ann was phoned at fake:silent."));
  for (const char* szLine : {"CZuvTapiEventThread::OnTapiEvent: CS_INPROGRESS",
                             "CZuvTapiEventThread::OnTapiEvent: CS_CONNECTED",
                             "CZuvTapiEventThread::OnTapiEvent: CS_DISCONNECTED",
                             "CCallingThread::SetAudioInForCall: done."}) {
    EXPECT_TRUE(oRig.Has(" (event): ", szLine)) << szLine;
  }
}

TEST(CallScriptTest, MessageTextsAreCutToTheirSpokenCharacters) {
  struct SCase {
    std::string m_sIn, m_sOut;
  };
  const std::string sE = "\xC3\xA9";  // é
  const SCase aCases[] = {
      {"", ""},
      {std::string(300, 'a'), std::string(255, 'a')},
      {[&] {
         std::string s;
         for (int i = 0; i < 300; ++i) s += sE;
         return s;
       }(),
       [&] {
         std::string s;
         for (int i = 0; i < 255; ++i) s += sE;
         return s;
       }()},
      {"ok\xFF\xC3", "ok\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"\xED\xA0\x80!", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD!"},  // a UTF-16 surrogate
      {"\xF0\x9F\x93\x9E call", "\xF0\x9F\x93\x9E call"},
  };
  for (const SCase& oCase : aCases) EXPECT_EQ(rirer::SpokenText(oCase.m_sIn, 255), oCase.m_sOut);

  CPhoneRig oRig;
  ASSERT_EQ(oRig.Init(), -1);
  oRig.SetUp(false, {"Ann=fake:yes"}, std::string(10000, 'm') + "\xFF");
  ASSERT_EQ(oRig.Send(), -1);
  EXPECT_EQ(oRig.WaitForEnd(), PHONE_STATUS_DONE);
  EXPECT_EQ(oRig.CountSpoken("fake:yes: " + std::string(255, 'm')), 2);
}

TEST(CallScriptTest, FaultsOfTheLineAndOfTheCommandedState) {
  {
    SCOPED_TRACE("the callee hangs up mid-message");
    CPhoneRig oRig;
    ASSERT_EQ(oRig.Init(), -1);
    oRig.SetUp(true, {"Ann=fake:hangup", "Bob=fake:yes"});
    ASSERT_EQ(oRig.Send(), -1);
    EXPECT_EQ(oRig.WaitForEnd(), PHONE_STATUS_DONE);
    EXPECT_EQ(oRig.CountSpoken("fake:hangup: " + std::string(kMessage)), 1);
    EXPECT_EQ(oRig.Log().find("Ann was phoned at"), std::string::npos);
    EXPECT_EQ(oRig.Dialled(), (Strings{"fake:hangup", "fake:yes"}));
  }
  {
    SCOPED_TRACE("a stopped component places no call");
    CPhoneRig oRig;
    ASSERT_EQ(oRig.Init(), -1);
    oRig.SetUp(true, {"Ann=fake:yes"});
    int32_t lState = PHONE_COMMAND_STOP, lResult = 0;
    oRig.m_pObject->SetProcessingState(&lState, &lResult);
    for (int iCycle = 0; iCycle < 2; ++iCycle) {
      ASSERT_EQ(oRig.Send(), -1);
      EXPECT_EQ(oRig.WaitForEnd(), PHONE_STATUS_FAILED);
    }
    EXPECT_TRUE(oRig.Dialled().empty());
    lState = PHONE_COMMAND_RUN;
    oRig.m_pObject->SetProcessingState(&lState, &lResult);
    ASSERT_EQ(oRig.Send(), -1);
    EXPECT_EQ(oRig.WaitForEnd(), PHONE_STATUS_DONE);
  }
  {
    SCOPED_TRACE("no wave format the line takes");
    CPhoneRig oRig;
    oRig.m_oEngines.m_oWorld.m_oAccepted = SWaveFormat{WAVE_FORMAT_PCM, 1, 11025, 12};
    ASSERT_EQ(oRig.Init(), -1);
    oRig.SetUp(true, {"Ann=fake:yes", "Bob=fake:no"});
    ASSERT_EQ(oRig.Send(), -1);
    EXPECT_EQ(oRig.WaitForEnd(), PHONE_STATUS_FAILED);
    EXPECT_EQ(oRig.m_oEngines.m_oWorld.m_aOutQueries.size(),
              2u * (SPSF_LAST_INDEX - SPSF_FIRST_INDEX + 1));
    EXPECT_TRUE(oRig.Has(" Error: ",
                         "CCallingThread::SetAudioOutForCall: found no supported output device.."));
    EXPECT_TRUE(oRig.Has(" Error: ", "CCallingThread::SetUpAudio() failed."));
    EXPECT_TRUE(oRig.Has(" (event): ", "CZuvTapiEventThread::OnTapiEvent: CS_DISCONNECTED"));
    EXPECT_EQ(oRig.Dialled(), (Strings{"fake:yes", "fake:no"}));
  }
  {
    SCOPED_TRACE("a number no line can dial");
    CPhoneRig oRig;
    ASSERT_EQ(oRig.Init(), -1);
    oRig.SetUp(true, {"Ann=12345"});
    ASSERT_EQ(oRig.Send(), -1);
    EXPECT_EQ(oRig.WaitForEnd(), PHONE_STATUS_FAILED);
    EXPECT_TRUE(oRig.Has(
        " Error: ", "CCallingThread::SendMessage 4: Unable to create a call to 12345: failed."));
  }
}

TEST(CallScriptTest, HandOverCompletionEventAndRequestsInQuickSuccession) {
  CPhoneRig oRig;
  ASSERT_EQ(oRig.Init(), -1);
  CZuvEvent oDone;
  ASSERT_TRUE(oDone.Initialize("TestCycleDone"));
  oDone.SetTimeout(60000 * 1000);
  int32_t lResult = 0;
  oRig.m_pObject->SetRefToZuvEvent(&oDone, &lResult);
  EXPECT_EQ(lResult, -1);
  oRig.SetUp(false, {"Ann=fake:busy"});
  ASSERT_EQ(oRig.Send(), -1);
  EXPECT_TRUE(oDone.Wait());
  EXPECT_EQ(oRig.WaitForEnd(), PHONE_STATUS_FAILED);
  // A second and third request while the status shows the first cycle's end: each is seen as
  // running at once, and every request gets its cycle.
  oRig.SetUp(false, {"Bob=fake:yes"});
  ASSERT_EQ(oRig.Send(), -1);
  EXPECT_EQ(oRig.Status(), PHONE_STATUS_CALLING);
  ASSERT_EQ(oRig.Send(), -1);
  EXPECT_EQ(oRig.WaitForEnd(), PHONE_STATUS_DONE);
  const Strings aDialled = oRig.Dialled();
  ASSERT_GE(aDialled.size(), 2u);
  EXPECT_LE(aDialled.size(), 3u);  // the second request may have been taken with the first
  EXPECT_EQ(aDialled.back(), "fake:yes");
  oRig.m_pObject->SetRefToZuvEvent(nullptr, &lResult);
}

}  // namespace
}  // namespace wdx
