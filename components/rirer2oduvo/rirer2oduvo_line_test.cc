// The phone alert component on the simulated line with the real speech engines: the callee's
// answers, the statuses, what the callee heard (its recording: its length against the texts
// spoken, and parts of it recognised again), and the
// faults of a call (busy, no answer, hang-up, a stop or a release during a call).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "components/rirer2oduvo/phone_rig.h"
#include "platform/audio/wav_file.h"
#include "platform/clock.h"
#include "platform/registry_store.h"
#include "platform/speech/speech.h"
#include "platform/speech/speech_transcribe.h"
#include "tests/support/temp_registry.h"

namespace wdx {
namespace {

using test::CPhoneRig;
using test::kMessage;
using test::Strings;

// Service waits (the script's pauses, the line's ringing) run 25 times faster, in real time.
class CFastClock final : public IClock {
 public:
  CFastClock() : m_oSystem(GetClock()) {}
  bool GetLocalTime(SLocalTime& oTime) override { return m_oSystem.GetLocalTime(oTime); }
  int64_t GetMonotonicMs() override { return m_oSystem.GetMonotonicMs(); }
  void SleepMs(int iMilliseconds) override {
    if (iMilliseconds > 0) m_oSystem.SleepMs(std::max(1, iMilliseconds / 25));
  }

 private:
  IClock& m_oSystem;
};

// The texts of the call script that the checks measure.
constexpr const char* kAnnouncement = "Server is down.";
constexpr const char* kAskForYes =
    "To acknowledge this call please say: YES! Or press 1. Otherwise, just hang up.";
// A recording is as long as the texts spoken into the line, give or take this (0.19 s); one
// "What?" is twice as long.
constexpr size_t kLengthTolerance = 1500;

class PhoneLineTest : public ::testing::Test {
 protected:
  PhoneLineTest() : m_oRig(false, &rirer::GetRealPhoneEngines(), &m_oClock) {}

  // Initialises with the shipped grammar and loads the contacts.
  void Start(bool bAcknowledge, const Strings& aContacts) {
    m_oRig.m_oFolder.Write("grammer1.cfg",
                           test::ReadWholeFile(std::string(WDX_DIST_DIR) + "/grammer1.cfg"));
    ASSERT_EQ(m_oRig.Init(), -1);
    m_oRig.SetUp(bAcknowledge, aContacts);
  }
  int32_t RunCycle() {
    EXPECT_EQ(m_oRig.Send(), -1);
    return m_oRig.WaitForEnd();
  }
  bool Phoned(const std::string& sLine) { return m_oRig.Has(" Message: ", sLine); }
  // The recordings of the calls to the script (file names end in "-<script>.wav").
  Strings Recordings(const std::string& sScript) const {
    Strings aPaths;
    const std::filesystem::path oFolder = m_oRig.m_oFolder.File("simcalls");
    if (!std::filesystem::exists(oFolder)) return aPaths;
    for (const auto& oEntry : std::filesystem::directory_iterator(oFolder)) {
      const std::string sPath = oEntry.path().string();
      if (sPath.ends_with("-" + sScript + ".wav")) aPaths.push_back(sPath);
    }
    return aPaths;
  }
  // The recording of the single call to sScript.
  std::vector<int16_t> RecordingOf(const std::string& sScript) {
    const Strings aPaths = Recordings(sScript);
    EXPECT_EQ(aPaths.size(), 1u) << sScript;
    std::vector<int16_t> aSamples;
    uint32_t uRate = 0;
    if (aPaths.empty()) return aSamples;
    EXPECT_TRUE(ReadWavFile(aPaths[0], aSamples, uRate));
    EXPECT_EQ(uRate, 8000u);
    return aSamples;
  }
  // Samples of the texts as the engine speaks them on the line (its length varies by a few
  // samples from one synthesis to the next).
  static size_t SpokenLength(const Strings& aTexts) {
    size_t uLength = 0;
    for (const std::string& sText : aTexts) {
      std::vector<int16_t> aSpoken;
      EXPECT_TRUE(SynthesizeSpeech(sText, 8000, aSpoken));
      uLength += aSpoken.size();
    }
    return uLength;
  }
  // The words recognised in aRecording[uFrom, uFrom + uCount), heard alone with half a second
  // of silence on both sides, with a grammar of sWords; " "-separated, with a space at each end.
  std::string Recognise(const std::vector<int16_t>& aRecording, size_t uFrom, size_t uCount,
                        const std::string& sWords) {
    uFrom = std::min(uFrom, aRecording.size());
    uCount = std::min(uCount, aRecording.size() - uFrom);
    std::vector<int16_t> aPiece(4000, 0);
    aPiece.insert(aPiece.end(), aRecording.begin() + uFrom, aRecording.begin() + uFrom + uCount);
    aPiece.insert(aPiece.end(), 4000, 0);
    m_oRig.m_oFolder.Write("heard.gram",
                           "#JSGF V1.0;\ngrammar heard;\npublic <heard> = ( " + sWords + " )+;\n");
    Strings aUtterances;
    EXPECT_TRUE(TranscribeSamples(aPiece, m_oRig.m_oFolder.File("heard.gram"), aUtterances));
    std::string sHeard = " ";
    for (const std::string& sUtterance : aUtterances) sHeard += sUtterance + " ";
    return sHeard;
  }
  static int Count(const std::string& sText, const std::string& sWord) {
    int iCount = 0;
    for (size_t uAt = sText.find(sWord); uAt != std::string::npos; uAt = sText.find(sWord, uAt + 1))
      ++iCount;
    return iCount;
  }

  CFastClock m_oClock;
  CPhoneRig m_oRig;
};

TEST_F(PhoneLineTest, PressingOneAcknowledgesAndOtherKeysDoNot) {
  Start(true, {"Ann=sim:key:2", "Bob=sim:key:1", "Cid=sim:yes"});
  EXPECT_EQ(RunCycle(), PHONE_STATUS_DONE);
  EXPECT_EQ(m_oRig.Acknowledged(), -1);
  EXPECT_TRUE(Phoned("Ann was phoned at sim:key:2."));
  EXPECT_FALSE(Phoned("Ann was phoned at sim:key:2. This person acknowledged the call."));
  EXPECT_TRUE(Phoned("Bob was phoned at sim:key:1. This person acknowledged the call."));
  EXPECT_EQ(m_oRig.Log().find("Cid was phoned"), std::string::npos);
  EXPECT_NE(m_oRig.Log().find("CCallingThread::HandleCall() heard: key 1"), std::string::npos);
  // Bob heard the script up to the question, then the answer to his key.
  const size_t uExpected =
      SpokenLength({kAnnouncement, kAnnouncement, kAnnouncement, kAnnouncement, kMessage, "Repeat!",
                    kMessage, kAskForYes, "You said YES, Call cycle ends. Bye."});
  Strings aPaths = Recordings("key");
  ASSERT_EQ(aPaths.size(), 2u);
  // "<date>-<time>-<n>-key.wav": calls are numbered in the order they are answered.
  const auto fnNumber = [](const std::string& sPath) {
    const std::string sName = std::filesystem::path(sPath).filename().string();
    return std::stoi(sName.substr(16));
  };
  std::sort(aPaths.begin(), aPaths.end(),
            [&](const std::string& a, const std::string& b) { return fnNumber(a) < fnNumber(b); });
  std::vector<int16_t> aBob;
  uint32_t uRate = 0;
  ASSERT_TRUE(ReadWavFile(aPaths[1], aBob, uRate));
  EXPECT_NEAR(double(aBob.size()), double(uExpected), double(kLengthTolerance));
}

TEST_F(PhoneLineTest, YesEndsTheRoundAfterANo) {
  Start(true, {"Ann=sim:no", "Bob=sim:yes", "Cid=sim:yes"});
  EXPECT_EQ(RunCycle(), PHONE_STATUS_DONE);
  EXPECT_EQ(m_oRig.Acknowledged(), -1);
  EXPECT_TRUE(Phoned("Ann was phoned at sim:no."));
  EXPECT_TRUE(Phoned("Bob was phoned at sim:yes. This person acknowledged the call."));
  EXPECT_EQ(m_oRig.Log().find("Cid was phoned"), std::string::npos);
  EXPECT_EQ(Recordings("yes").size(), 1u);  // Cid was not called
  // Ann heard the whole script and the reply to her "no".
  const size_t uExpected =
      SpokenLength({kAnnouncement, kAnnouncement, kAnnouncement, kAnnouncement, kMessage, "Repeat!",
                    kMessage, kAskForYes, "You said NO, Call cycle continues. Bye."});
  const size_t uHeard = RecordingOf("no").size();
  EXPECT_LE(uHeard, uExpected + kLengthTolerance);
  EXPECT_GE(uHeard + kLengthTolerance, uExpected);
  EXPECT_NE(m_oRig.Log().find(" Message: Simulated call to sim:no recorded in "),
            std::string::npos);
}

TEST_F(PhoneLineTest, SilenceHearsWhatTwiceAndTheMessage) {
  Start(true, {"Ann=sim:silent"});
  EXPECT_EQ(RunCycle(), PHONE_STATUS_DONE);  // reached, not acknowledged
  EXPECT_EQ(m_oRig.Acknowledged(), 0);
  EXPECT_TRUE(Phoned("Ann was phoned at sim:silent."));
  // The script as the callee heard it: the announcement four times, the message twice, the
  // request to say YES, and "What?" after each of the two silent listening windows.
  const std::vector<int16_t> aRecording = RecordingOf("silent");
  const Strings aScript = {kAnnouncement, kAnnouncement, kAnnouncement, kAnnouncement, kMessage,
                           "Repeat!",     kMessage,      kAskForYes,    "What?",       "What?"};
  const size_t uExpected = SpokenLength(aScript);
  EXPECT_LE(aRecording.size(), uExpected + kLengthTolerance);
  EXPECT_GE(aRecording.size() + kLengthTolerance, uExpected);
  const size_t uWhat = SpokenLength({"What?"});
  const std::string sWhats = Recognise(aRecording, aRecording.size() - 2 * uWhat - 400,
                                       2 * uWhat + 400, "what | up | hang | just");
  EXPECT_NE(sWhats.find(" what what "), std::string::npos) << sWhats;
  // The message where the announcements end.
  const size_t uMessageAt =
      SpokenLength({kAnnouncement, kAnnouncement, kAnnouncement, kAnnouncement});
  const std::string sMessage =
      Recognise(aRecording, uMessageAt - 400, SpokenLength({kMessage}) + 800,
                "the | web | server | stopped | answering | is | down | repeat");
  int iFound = 0;
  for (const char* szWord : {" web ", " server ", " stopped ", " answering "})
    iFound += sMessage.find(szWord) != std::string::npos ? 1 : 0;
  EXPECT_GE(iFound, 2) << sMessage;  // recognition of the line's 8 kHz speech is rough
}

TEST_F(PhoneLineTest, BusyAndNoAnswerFailTheRound) {
  Start(true, {"Ann=sim:busy", "Bob=sim:noanswer"});
  EXPECT_EQ(RunCycle(), PHONE_STATUS_FAILED);
  for (const char* szNumber : {"sim:busy", "sim:noanswer"}) {
    EXPECT_TRUE(Phoned(std::string("CCallingThread::SendMessage 5.2: Unable to connect call at ") +
                       szNumber));
  }
  for (HRESULT hr : {TEL_E_BUSY, TEL_E_NOANSWER}) {
    EXPECT_TRUE(m_oRig.Has(" (event): ", std::string("CCallingThread::SendMessage 5.2: ") +
                                             DescribeTelephonyResult(hr)));
  }
  EXPECT_TRUE(Recordings("busy").empty());
}

TEST_F(PhoneLineTest, WithoutAcknowledgementEveryoneIsCalledOnce) {
  Start(false, {"Ann=sim:yes", "Bob=sim:no"});
  EXPECT_EQ(RunCycle(), PHONE_STATUS_DONE);
  EXPECT_EQ(m_oRig.Acknowledged(), 0);
  EXPECT_TRUE(Phoned("Ann was phoned at sim:yes."));
  EXPECT_TRUE(Phoned("Bob was phoned at sim:no."));
  const std::vector<int16_t> aRecording = RecordingOf("yes");
  const std::string sEnd = "Message ends. Goodbye.";
  const size_t uExpected = SpokenLength({kAnnouncement, kAnnouncement, kAnnouncement, kAnnouncement,
                                         kMessage, "Repeat!", kMessage, sEnd});
  EXPECT_LE(aRecording.size(), uExpected + kLengthTolerance);  // nothing after it, no "What?"
  EXPECT_GE(aRecording.size() + kLengthTolerance, uExpected);
}

TEST_F(PhoneLineTest, AMissingGrammarIsAReadinessFailure) {
  ASSERT_EQ(m_oRig.Init(), 0);
  EXPECT_EQ(m_oRig.Query(PHONE_INIT_CALL_THREAD), -1);
  for (int32_t lQuery : {PHONE_INIT_SAPI, PHONE_INIT_TAPI, PHONE_INIT_READY})
    EXPECT_EQ(m_oRig.Query(lQuery), 0) << lQuery;
}

TEST_F(PhoneLineTest, AHangUpMidMessageGoesOnToTheNextPerson) {
  Start(true, {"Ann=sim:hangup", "Bob=sim:yes"});
  EXPECT_EQ(RunCycle(), PHONE_STATUS_DONE);
  EXPECT_EQ(m_oRig.Acknowledged(), -1);
  EXPECT_TRUE(m_oRig.Has(" (event): ", "CZuvTapiEventThread::OnTapiEvent: CS_DISCONNECTED"));
  EXPECT_TRUE(Phoned("Bob was phoned at sim:yes. This person acknowledged the call."));
  // It hung up while the announcements were spoken: what it heard is shorter than them.
  EXPECT_LT(RecordingOf("hangup").size(),
            SpokenLength({kAnnouncement, kAnnouncement, kAnnouncement, kAnnouncement}));
}

TEST_F(PhoneLineTest, AStopDuringACallEndsTheRoundAfterIt) {
  Start(true, {"Ann=sim:silent", "Bob=sim:yes"});
  ASSERT_EQ(m_oRig.Send(), -1);
  ASSERT_TRUE(m_oRig.WaitForEntry(" (event): ", "CZuvTapiEventThread::OnTapiEvent: CS_CONNECTED"));
  const int32_t lStop = PHONE_COMMAND_STOP;
  int32_t lResult = 0;
  m_oRig.m_pObject->SetProcessingState(&lStop, &lResult);
  EXPECT_EQ(lResult, -1);
  EXPECT_NE(m_oRig.WaitForEnd(), PHONE_STATUS_CALLING);
  EXPECT_EQ(m_oRig.Acknowledged(), 0);
  EXPECT_TRUE(Recordings("yes").empty());  // Bob was not called
  // It was not asked "What?": the stop came before the listening.
  EXPECT_LE(RecordingOf("silent").size(),
            SpokenLength({kAnnouncement, kAnnouncement, kAnnouncement, kAnnouncement, kMessage,
                          "Repeat!", kMessage, kAskForYes}) +
                kLengthTolerance);
}

TEST_F(PhoneLineTest, AReleaseDuringACallEndsBothThreads) {
  Start(true, {"Ann=sim:silent"});
  ASSERT_EQ(m_oRig.Send(), -1);
  ASSERT_TRUE(m_oRig.WaitForEntry(" (event): ", "CZuvTapiEventThread::OnTapiEvent: CS_CONNECTED"));
  m_oRig.Release();
  EXPECT_TRUE(m_oRig.Has(" (event): ", "CCallingThread::InitInstance() calls AfxEndThread"));
  EXPECT_TRUE(m_oRig.Has(" (event): ", "CZuvTapiEventThread::InitInstance() calls ExitInstance"));
  EXPECT_FALSE(m_oRig.Has(" Error: ", "CThreadOwner::KillAllThreads() failed."));
}

TEST_F(PhoneLineTest, TwoRequestsInQuickSuccessionAreBothServed) {
  Start(true, {"Ann=sim:yes"});
  ASSERT_EQ(m_oRig.Send(), -1);
  ASSERT_EQ(m_oRig.Send(), -1);
  EXPECT_EQ(m_oRig.WaitForEnd(), PHONE_STATUS_DONE);
  EXPECT_EQ(m_oRig.Acknowledged(), -1);
  const size_t uCalls = Recordings("yes").size();
  EXPECT_GE(uCalls, 1u);
  EXPECT_LE(uCalls, 2u);  // the second request may have joined the first before it started
  EXPECT_EQ(static_cast<size_t>(Count(m_oRig.Log(), " (event): CCallingThread::SendAlerts() done")),
            uCalls);
}

// The library as the service meets it: registered free-threaded under its ProgIDs and type
// library, created by ProgID, initialised on the real engines, released.
TEST(Rirer2OduvoLibrary, RegistersCreatesByProgIdAndComesToFullReadiness) {
  test::CTempRegistry oRegistry;
  test::CTempFolder oFolder;
  oFolder.UseForLocks();
  oFolder.Write("grammer1.cfg", test::ReadWholeFile(std::string(WDX_DIST_DIR) + "/grammer1.cfg"));
  const std::string sLibrary = std::string(WDX_DIST_DIR) + "/ZuvRirer2Oduvo.so";
  ASSERT_EQ(RegisterLibrary(sLibrary, false), S_OK) << GetComponentError();
  for (const char* szProgId : {PROGID_Rirer2Oduvo, PROGID_Rirer2Oduvo1}) {
    std::string sClsid;
    ASSERT_TRUE(ClsidFromProgId(szProgId, sClsid)) << szProgId;
    EXPECT_TRUE(IsSameGuid(sClsid.c_str(), CLSID_Rirer2Oduvo));
  }
  auto pStore = OpenRegistryStore();
  ASSERT_TRUE(pStore);
  const std::string sKey = std::string("HKCR\\CLSID\\") + CLSID_Rirer2Oduvo;
  std::string sValue;
  EXPECT_TRUE(pStore->GetValue(sKey + "\\InprocServer32", "ThreadingModel", sValue));
  EXPECT_EQ(sValue, "Free");
  EXPECT_TRUE(pStore->GetValue(sKey + "\\TypeLib", "", sValue));
  EXPECT_TRUE(IsSameGuid(sValue.c_str(), LIBID_ZuvRirer2Oduvo));
  CInterfacePtr<IRirer2Oduvo> pPhone;
  ASSERT_EQ(CreateInstance(PROGID_Rirer2Oduvo, IID_IRirer2Oduvo, pPhone.Receive()), S_OK);
  int32_t lQuery = PHONE_INIT_READY, lAnswer = 1;
  pPhone->GetInitStatus(&lQuery, &lAnswer);
  EXPECT_EQ(lAnswer, 0);
  pPhone->Initialize(CVariant(oFolder.Path()), &lAnswer);
  EXPECT_EQ(lAnswer, -1) << oFolder.Read("PhoneOuts.log");
  pPhone->GetInitStatus(&lQuery, &lAnswer);
  EXPECT_EQ(lAnswer, -1);
  pPhone.Reset();
  EXPECT_NE(oFolder.Read("PhoneOuts.log").find("Rirer2Oduvo CThreadOwner::Destructor."),
            std::string::npos);
  EXPECT_EQ(RegisterLibrary(sLibrary, true), S_OK);
}

}  // namespace
}  // namespace wdx
