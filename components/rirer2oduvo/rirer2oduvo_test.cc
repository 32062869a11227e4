// The phone alert object on scripted engines: its methods and texts, readiness, the calling
// cycle's rules (order, stopping, statuses), the call script's words and its faults.
#include "components/rirer2oduvo/rirer2oduvo.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "components/rirer2oduvo/calling_thread.h"
#include "components/rirer2oduvo/fake_phone_engines.h"
#include "foundation/zuv_event.h"
#include "platform/fake_clock.h"
#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

using Strings = std::vector<std::string>;

constexpr const char* kMessage = "The web server stopped answering.";
constexpr const char* kAskForYes =
    "To acknowledge this call please say: YES! Otherwise, just hang up.";

// One object on scripted engines in a folder of its own; pauses take no time.
class CPhoneRig final {
 public:
  explicit CPhoneRig(bool bWithGrammar = true) {
    m_oFolder.UseForLocks();
    SetClockForTesting(&m_oClock);
    if (bWithGrammar) m_oFolder.Write("grammer1.cfg", "#JSGF V1.0;\n");
    m_pObject = new CRirer2Oduvo(m_oEngines);
    m_pObject->AddRef();
  }
  ~CPhoneRig() {
    Release();
    SetClockForTesting(nullptr);
  }
  CPhoneRig(const CPhoneRig&) = delete;
  CPhoneRig& operator=(const CPhoneRig&) = delete;

  void Release() {
    if (m_pObject != nullptr) m_pObject->Release();
    m_pObject = nullptr;
  }
  int32_t Init() {
    int32_t lResult = 1;
    EXPECT_EQ(m_pObject->Initialize(CVariant(m_oFolder.Path()), &lResult), S_OK);
    return lResult;
  }
  int32_t Query(int32_t lQuery) {
    int32_t lAnswer = 1;
    m_pObject->GetInitStatus(&lQuery, &lAnswer);
    return lAnswer;
  }
  int32_t Status() {
    int32_t lStatus = 0;
    m_pObject->GetProcessingStatus(&lStatus);
    return lStatus;
  }
  int32_t Acknowledged() {
    int32_t lResult = 1;
    m_pObject->GetAcknowledgedStatus(&lResult);
    return lResult;
  }
  // Loads the contacts ("Name=number"), the flags and the message as a client does.
  void SetUp(bool bAcknowledge, const Strings& aContacts, const std::string& sMessage = kMessage) {
    int32_t lResult = 0;
    m_pObject->SetAcknowledgeState(CVariant(bAcknowledge), &lResult);
    EXPECT_EQ(lResult, -1);
    m_pObject->DeleteAddresses(&lResult);
    EXPECT_EQ(lResult, -1);
    for (const std::string& sContact : aContacts) {
      const size_t uAt = sContact.find('=');
      m_pObject->AddAddress(CVariant(sContact.substr(0, uAt)), CVariant(sContact.substr(uAt + 1)),
                            &lResult);
      EXPECT_EQ(lResult, -1) << sContact;
    }
    m_pObject->MessageType(CVariant("Server is down."), &lResult);
    EXPECT_EQ(lResult, -1);
    m_pObject->SetMessage1(CVariant(sMessage));
  }
  int32_t Send() {
    int32_t lResult = 1;
    m_pObject->SendAlerts(&lResult);
    return lResult;
  }
  // Polls until the cycle no longer shows "calling"; the final status.
  int32_t WaitForEnd() {
    const auto oDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (Status() == PHONE_STATUS_CALLING && std::chrono::steady_clock::now() < oDeadline) {
      usleep(2000);
    }
    return Status();
  }
  std::string Log() const { return m_oFolder.Read("PhoneOuts.log"); }
  // Entries of the log of one kind (" Message: ", " Error: ", " (event): ") holding exactly sText.
  bool Has(const char* szKind, const std::string& sText) const {
    return Log().find(szKind + sText + "\r\r\n") != std::string::npos;
  }
  Strings Spoken() { return m_oEngines.m_oWorld.Spoken(); }
  Strings Dialled() { return m_oEngines.m_oWorld.Dialled(); }
  int CountSpoken(const std::string& sLine) {
    const Strings aSpoken = Spoken();
    return static_cast<int>(std::count(aSpoken.begin(), aSpoken.end(), sLine));
  }

  test::CTempFolder m_oFolder;
  CFakeClock m_oClock;
  rirer::test::CFakePhoneEngines m_oEngines;
  CRirer2Oduvo* m_pObject = nullptr;
};

TEST(Rirer2OduvoTest, BeforeInitializeEveryAnswerIsZeroAndNothingIsLogged) {
  CPhoneRig oRig;
  for (int32_t lQuery : {1008, 1009, 1010, 1011}) EXPECT_EQ(oRig.Query(lQuery), 0) << lQuery;
  EXPECT_EQ(oRig.Send(), 0);
  EXPECT_EQ(oRig.Status(), 0);
  EXPECT_EQ(oRig.Acknowledged(), 0);
  int32_t lResult = 1;
  oRig.m_pObject->AddAddress(CVariant("Ann"), CVariant("fake:yes"), &lResult);
  EXPECT_EQ(lResult, 0);
  const int32_t lStop = PHONE_COMMAND_STOP;
  lResult = 1;
  oRig.m_pObject->SetProcessingState(&lStop, &lResult);
  EXPECT_EQ(lResult, 0);
  oRig.m_pObject->SetMessage1(CVariant("text"));
  EXPECT_EQ(oRig.Log(), "");
}

TEST(Rirer2OduvoTest, InitializeOpensPhoneOutsAndAnswersTheReadinessQueries) {
  CPhoneRig oRig;
  ASSERT_EQ(oRig.Init(), -1);
  const std::string sLog = oRig.Log();
  size_t uAt = 0;
  for (const std::string& sLine :
       {std::string(42, 'X'), std::string(41, 'X'), std::string(40, 'X'), std::string(39, 'X'),
        std::string("XXXX   Rirer2Oduvo Started"), std::string(37, 'X'), std::string(36, 'X')}) {
    uAt = sLog.find(" Message: " + sLine + "\r\r\n", uAt);
    ASSERT_NE(uAt, std::string::npos) << sLine;
  }
  for (int32_t lQuery : {1008, 1009, 1010, 1011}) EXPECT_EQ(oRig.Query(lQuery), -1) << lQuery;
  for (int32_t lQuery : {1007, 1012, 0, -1}) EXPECT_EQ(oRig.Query(lQuery), 0) << lQuery;
  EXPECT_TRUE(oRig.Has(" (event): ", "CZuvTapiEventThread::Initialize() succeeded."));
  EXPECT_TRUE(oRig.Has(" (event): ", "CThreadOwner::RestartTapiEventThread() RESUMED thread."));
  EXPECT_EQ(oRig.Status(), PHONE_STATUS_IDLE);
}

TEST(Rirer2OduvoTest, SpeechThatCannotStartLeavesItsReadinessAnswersAtZero) {
  struct SCase {
    bool m_bGrammar, m_bRecognizer;
    const char* m_szError;
  };
  for (const SCase& oCase : {SCase{false, true, nullptr},
                             SCase{true, false, "CoCreateInstance on inproc reco engine failed"}}) {
    CPhoneRig oRig(oCase.m_bGrammar);
    oRig.m_oEngines.m_oWorld.m_bFailRecognizer = !oCase.m_bRecognizer;
    EXPECT_EQ(oRig.Init(), 0);
    EXPECT_EQ(oRig.Query(1008), -1);
    for (int32_t lQuery : {1009, 1010, 1011}) EXPECT_EQ(oRig.Query(lQuery), 0) << lQuery;
    if (oCase.m_szError != nullptr) {
      EXPECT_TRUE(oRig.Has(" Error: ", oCase.m_szError));
    }
    EXPECT_TRUE(oRig.Has(" Error: ", "CCallingThread::Initialize() InitializeSapi failed"));
    EXPECT_TRUE(
        oRig.Has(" Error: ", "CThreadOwner::RestartTapiEventThread() Sapi & Tapi not inited."));
    EXPECT_TRUE(oRig.Has(" Error: ", "CThreadOwner::StartThreads() failed."));
    // A cycle still runs to its end: no call can be placed.
    oRig.SetUp(true, {"Ann=fake:yes"});
    ASSERT_EQ(oRig.Send(), -1);
    EXPECT_EQ(oRig.WaitForEnd(), PHONE_STATUS_FAILED);
    EXPECT_TRUE(oRig.Dialled().empty());
  }
}

TEST(Rirer2OduvoTest, MethodTextsAndTheAcknowledgementVariant) {
  CPhoneRig oRig;
  ASSERT_EQ(oRig.Init(), -1);
  int32_t lResult = 1;
  oRig.m_pObject->AddAddress(CVariant(""), CVariant("fake:yes"), &lResult);
  EXPECT_EQ(lResult, 0);
  EXPECT_TRUE(
      oRig.Has(" Error: ", "CContactLedger::AddAddress() NAME is missing for number = fake:yes"));
  struct SAck {
    CVariant m_vValue;
    const char* m_szLine;
  };
  for (const SAck& oAck :
       {SAck{CVariant(true), "CRirer2Oduvo::SetAcknowledgeState() was set to USE acknowledgement."},
        SAck{CVariant(false),
             "CRirer2Oduvo::SetAcknowledgeState() was set to NOT USE acknowledgement."},
        SAck{CVariant(int32_t{0x10000}),
             "CRirer2Oduvo::SetAcknowledgeState() was set to NOT USE acknowledgement."},
        SAck{CVariant(int32_t{2}),
             "CRirer2Oduvo::SetAcknowledgeState() was set to USE acknowledgement."}}) {
    lResult = 1;
    oRig.m_pObject->SetAcknowledgeState(oAck.m_vValue, &lResult);
    EXPECT_EQ(lResult, -1);
    EXPECT_EQ(oRig.m_pObject->GetOwner()->GetCallingThread()->m_bAcknowledge.load(),
              std::string(oAck.m_szLine).find("to USE") != std::string::npos);
    EXPECT_TRUE(oRig.Has(" (event): ", oAck.m_szLine));
  }
  oRig.m_pObject->SetMessage1(CVariant("Disk full"));
  for (const char* szLine : {"CRirer2Oduvo::SetMessage1() 1.", "CRirer2Oduvo::SetMessage1() 2.",
                             "CRirer2Oduvo::SetMessage1() 3 MSG Text:", "Disk full",
                             "CRirer2Oduvo::SetMessage1() succeeded."}) {
    EXPECT_TRUE(oRig.Has(" (event): ", szLine)) << szLine;
  }
  const int32_t lStop = PHONE_COMMAND_STOP;
  lResult = 1;
  oRig.m_pObject->SetProcessingState(&lStop, &lResult);
  EXPECT_EQ(lResult, -1);
  EXPECT_EQ(oRig.m_pObject->GetOwner()->GetCallingThread()->m_lCommandedState, lStop);
}

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

TEST(Rirer2OduvoTest, CallingCyclesFollowTheCalleesAnswers) {
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

TEST(Rirer2OduvoTest, TheCallScriptSpeaksItsStepsInOrder) {
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

TEST(Rirer2OduvoTest, MessageTextsAreCutToTheirSpokenCharacters) {
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

TEST(Rirer2OduvoTest, FaultsOfTheLineAndOfTheCommandedState) {
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

TEST(Rirer2OduvoTest, HandOverCompletionEventAndRequestsInQuickSuccession) {
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

TEST(Rirer2OduvoTest, ASecondInitializeAndTheFinalReleaseEndTheThreads) {
  CPhoneRig oRig;
  ASSERT_EQ(oRig.Init(), -1);
  rirer::CThreadOwner* pFirst = oRig.m_pObject->GetOwner();
  ASSERT_NE(pFirst, nullptr);
  ASSERT_EQ(oRig.Init(), -1);
  EXPECT_TRUE(oRig.Has(" (event): ", "CThreadOwner::KillAllThreads() called."));
  EXPECT_TRUE(oRig.Has(" (event): ", "CCallingThread::InitInstance() calls AfxEndThread"));
  EXPECT_TRUE(oRig.Has(" (event): ", "CZuvTapiEventThread::InitInstance() calls ExitInstance"));
  oRig.SetUp(true, {"Ann=fake:yes"});
  ASSERT_EQ(oRig.Send(), -1);
  EXPECT_EQ(oRig.WaitForEnd(), PHONE_STATUS_DONE);
  oRig.Release();
  EXPECT_TRUE(oRig.Has(" (event): ", "Rirer2Oduvo CThreadOwner::Destructor."));
  EXPECT_FALSE(oRig.Has(" Error: ", "CThreadOwner::KillAllThreads() failed."));
}

}  // namespace
}  // namespace wdx
