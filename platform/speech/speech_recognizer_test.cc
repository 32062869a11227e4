#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "platform/audio/buffer_wave_devices.h"
#include "platform/speech/speech.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

const std::string kGrammar = std::string(WDX_DIST_DIR) + "/grammer1.cfg";

// What the far end says: a second of silence, the words at the line's rate, then silence.
std::vector<int16_t> FarEndSaying(const std::string& sWords) {
  std::vector<int16_t> aSpeech;
  EXPECT_TRUE(SynthesizeSpeech(sWords, 8000, aSpeech));
  std::vector<int16_t> aLine(8000, 0);
  aLine.insert(aLine.end(), aSpeech.begin(), aSpeech.end());
  return aLine;
}

// A fresh recogniser listening with the acknowledgement grammar to a far end on a line.
class CListeningCall {
 public:
  explicit CListeningCall(std::vector<int16_t> aFarEnd) {
    EXPECT_EQ(CreateSpInprocRecognizer(m_pRecognizer), S_OK);
    if (!m_pRecognizer) return;
    EXPECT_EQ(m_pRecognizer->CreateRecoContext(m_pContext), S_OK);
    const uint64_t uEvents = SpeechEventBit(SPEI_PHRASE_START) | SpeechEventBit(SPEI_RECOGNITION) |
                             SpeechEventBit(SPEI_FALSE_RECOGNITION);
    EXPECT_EQ(m_pContext->SetInterest(uEvents, uEvents), S_OK);
    EXPECT_EQ(m_pContext->CreateGrammar(0, m_pGrammar), S_OK);
    EXPECT_EQ(m_pGrammar->LoadCmdFromFile(kGrammar, SPLO_STATIC), S_OK);
    Redial(std::move(aFarEnd));
  }
  ~CListeningCall() { CWaveDeviceTable::RemoveWaveIn(m_uId); }

  // The recogniser's input becomes a new line with another far end.
  void Redial(std::vector<int16_t> aFarEnd) {
    CWaveDeviceTable::RemoveWaveIn(m_uId);
    m_pFarEnd = std::make_shared<CBufferWaveIn>(std::move(aFarEnd));
    m_uId = CWaveDeviceTable::AddWaveIn(m_pFarEnd);
    m_pInput = CreateSpMMAudioIn();
    EXPECT_EQ(m_pInput->SetDeviceId(m_uId), S_OK);
    EXPECT_EQ(m_pInput->SetFormat(LineWaveFormat()), S_OK);
    if (m_pRecognizer) {
      EXPECT_EQ(m_pRecognizer->SetInput(m_pInput, true), S_OK);
    }
  }
  bool IsReady() const { return m_pContext && m_pGrammar; }

  // One listening window as a call has it: up to 3 s for the callee to start, 3 s more for the
  // words once speech started. The recognised text, "" for nothing or a false recognition.
  std::string ListenForAnswer() {
    EXPECT_EQ(m_pGrammar->SetRuleState(true), S_OK);
    m_pContext->ClearEvents();
    SSpEvent oEvent;
    bool bFetched = false;
    if (m_pContext->WaitForNotifyEvent(3000) != S_OK) return "";
    EXPECT_EQ(m_pContext->GetEvents(oEvent, bFetched), S_OK);
    EXPECT_TRUE(bFetched);
    if (oEvent.m_iEventId == SPEI_PHRASE_START) {
      if (m_pContext->WaitForNotifyEvent(3000) != S_OK) return "";
      EXPECT_EQ(m_pContext->GetEvents(oEvent, bFetched), S_OK);
    }
    EXPECT_EQ(m_pGrammar->SetRuleState(false), S_OK);
    return oEvent.m_iEventId == SPEI_RECOGNITION ? oEvent.m_sText : "";
  }

  std::shared_ptr<CBufferWaveIn> m_pFarEnd;
  uint32_t m_uId = 0;
  std::shared_ptr<CSpAudioIn> m_pInput;
  std::shared_ptr<ISpRecognizer> m_pRecognizer;
  std::shared_ptr<ISpRecoContext> m_pContext;
  std::shared_ptr<ISpRecoGrammar> m_pGrammar;
};

TEST(SpeechRecognizerTest, RecognisesEachAnswerAsTheGrammarSpellsIt) {
  const struct {
    const char* m_szSaid;
    const char* m_szHeard;
  } aRows[] = {{"yes", "YES"}, {"no", "No"}, {"goodbye", "GOODBYE"}, {"bye", "BYE"}};
  // Each answer on a fresh recogniser, as the first words it ever hears.
  for (const auto& oRow : aRows) {
    CListeningCall oCall(FarEndSaying(oRow.m_szSaid));
    ASSERT_TRUE(oCall.IsReady());
    EXPECT_EQ(oCall.ListenForAnswer(), oRow.m_szHeard) << oRow.m_szSaid;
    EXPECT_EQ(oCall.m_pFarEnd->GetListeningStarts(), 1);
    EXPECT_FALSE(oCall.m_pFarEnd->IsListening());
  }
  // Each answer again on one recogniser, call after call, each after the message was spoken
  // (the engine's voice comes out a little different after other speech).
  CListeningCall oCalls({});
  ASSERT_TRUE(oCalls.IsReady());
  for (int iRound = 0; iRound < 2; ++iRound) {
    for (const auto& oRow : aRows) {
      std::vector<int16_t> aMessage;
      ASSERT_TRUE(SynthesizeSpeech("Server Update! To acknowledge this call please say: YES!", 8000,
                                   aMessage));
      oCalls.Redial(FarEndSaying(oRow.m_szSaid));
      EXPECT_EQ(oCalls.ListenForAnswer(), oRow.m_szHeard) << oRow.m_szSaid << " " << iRound;
    }
  }
}

// The far end still talking when listening starts (the end of its "goodbye" or "no" left):
// what is left of the word is skipped, the answer after the pause is heard.
TEST(SpeechRecognizerTest, SpeechUnderWayWhenListeningStartsIsSkippedToItsPause) {
  const struct {
    const char* m_szWord;
    int m_iPercentSaid;
  } aRows[] = {{"goodbye", 50}, {"goodbye", 90}, {"no", 60}};
  for (const auto& oRow : aRows) {
    std::vector<int16_t> aWord;
    ASSERT_TRUE(SynthesizeSpeech(oRow.m_szWord, 8000, aWord));
    std::vector<int16_t> aLine(
        aWord.begin() + static_cast<std::ptrdiff_t>(aWord.size() * oRow.m_iPercentSaid / 100),
        aWord.end());
    const std::vector<int16_t> aYes = FarEndSaying("yes");
    aLine.insert(aLine.end(), aYes.begin(), aYes.end());
    CListeningCall oCall(std::move(aLine));
    ASSERT_TRUE(oCall.IsReady());
    EXPECT_EQ(oCall.ListenForAnswer(), "YES") << oRow.m_szWord << " " << oRow.m_iPercentSaid;
  }
}

TEST(SpeechRecognizerTest, SilenceTimesOutAndAStoppedInputIsReported) {
  CListeningCall oCall({});
  ASSERT_TRUE(oCall.IsReady());
  // Not listening: nothing to wait for.
  EXPECT_EQ(oCall.m_pContext->WaitForNotifyEvent(3000), SPERR_AUDIO_STOPPED);
  ASSERT_EQ(oCall.m_pGrammar->SetRuleState(true), S_OK);
  EXPECT_EQ(oCall.m_pContext->WaitForNotifyEvent(3000), S_FALSE);
  SSpEvent oEvent;
  bool bFetched = true;
  EXPECT_EQ(oCall.m_pContext->GetEvents(oEvent, bFetched), S_OK);
  EXPECT_FALSE(bFetched);
  // The callee hangs up while the recogniser listens.
  oCall.m_pFarEnd->Close();
  EXPECT_EQ(oCall.m_pContext->WaitForNotifyEvent(3000), SPERR_AUDIO_STOPPED);
  // Without an input there is nothing to listen to; 8 kHz needs format changes allowed.
  EXPECT_EQ(oCall.m_pRecognizer->SetInput(nullptr, true), S_OK);
  EXPECT_EQ(oCall.m_pGrammar->SetRuleState(true), SPERR_UNINITIALIZED);
  EXPECT_EQ(oCall.m_pRecognizer->SetInput(oCall.m_pInput, false), SPERR_UNSUPPORTED_FORMAT);
  // The same recogniser on the next call hears that call's answer.
  oCall.Redial(FarEndSaying("no"));
  EXPECT_EQ(oCall.ListenForAnswer(), "No");
}

TEST(SpeechRecognizerTest, BadGrammarsFailWithTheirCodesAndKeepTheLoadedOne) {
  test::CLogCapture oLog;
  test::CTempFolder oFolder;
  oFolder.Write("unknown.cfg", "#JSGF V1.0;\ngrammar g;\npublic <a> = YES | Wardenixx;\n");
  oFolder.Write("broken.cfg", "#JSGF V1.0;\ngrammar g;\npublic <a> = ( YES | ;\n");
  CListeningCall oCall(FarEndSaying("yes"));
  ASSERT_TRUE(oCall.IsReady());
  const struct {
    std::string m_sPath;
    HRESULT m_hrExpected;
  } aRows[] = {{oFolder.File("missing.cfg"), SPERR_NOT_FOUND},
               {oFolder.File("unknown.cfg"), E_FAIL},
               {oFolder.File("broken.cfg"), E_FAIL},
               {oFolder.Path(), SPERR_NOT_FOUND}};
  for (const auto& oRow : aRows) {
    EXPECT_EQ(oCall.m_pGrammar->LoadCmdFromFile(oRow.m_sPath, SPLO_STATIC), oRow.m_hrExpected)
        << oRow.m_sPath;
  }
  EXPECT_TRUE(oLog.HasError(
      "Speech recognition: the grammar's word \"Wardenixx\" is not in the dictionary."));
  EXPECT_TRUE(oLog.HasError("Speech recognition: the grammar file does not exist."));
  EXPECT_EQ(oCall.ListenForAnswer(), "YES");
}

TEST(SpeechRecognizerTest, AMissingModelFailsTheRecogniser) {
  test::CTempFolder oFolder;
  const char* szOld = std::getenv("WDX_SPEECH_MODEL");
  const std::string sOld = szOld == nullptr ? "" : szOld;
  setenv("WDX_SPEECH_MODEL", oFolder.Path().c_str(), 1);
  std::shared_ptr<ISpRecognizer> pRecognizer;
  const HRESULT hr = CreateSpInprocRecognizer(pRecognizer);
  const std::string sFolder = GetSpeechModelFolder();
  if (szOld == nullptr) {
    unsetenv("WDX_SPEECH_MODEL");
  } else {
    setenv("WDX_SPEECH_MODEL", sOld.c_str(), 1);
  }
  EXPECT_EQ(hr, SPERR_NOT_FOUND);
  EXPECT_EQ(pRecognizer, nullptr);
  EXPECT_EQ(sFolder, oFolder.Path());
}

}  // namespace
}  // namespace wdx
