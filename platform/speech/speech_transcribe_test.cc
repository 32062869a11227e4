#include "platform/speech/speech_transcribe.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "platform/speech/speech.h"
#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

std::vector<int16_t> Spoken(const std::string& sText) {
  std::vector<int16_t> aSpeech;
  EXPECT_TRUE(SynthesizeSpeech(sText, 8000, aSpeech));
  return aSpeech;
}

std::vector<int16_t> Silence(int iMs) {
  return std::vector<int16_t>(static_cast<size_t>(iMs) * 8, 0);
}

std::vector<std::string> Words(const std::vector<std::string>& asUtterances) {
  std::vector<std::string> asWords;
  for (const std::string& sUtterance : asUtterances) {
    std::istringstream oIn(sUtterance);
    for (std::string sWord; oIn >> sWord;) asWords.push_back(sWord);
  }
  return asWords;
}

TEST(SpeechTranscribeTest, FindsEachAnswerOfARecordingInOrder) {
  std::vector<int16_t> aRecording = Silence(500);
  for (const char* szWord : {"yes", "no", "bye"}) {
    const std::vector<int16_t> aWord = Spoken(szWord);
    aRecording.insert(aRecording.end(), aWord.begin(), aWord.end());
    const std::vector<int16_t> aPause = Silence(1500);
    aRecording.insert(aRecording.end(), aPause.begin(), aPause.end());
  }
  // The last word runs to the very end of the recording.
  const std::vector<int16_t> aLast = Spoken("goodbye");
  aRecording.insert(aRecording.end(), aLast.begin(), aLast.end());
  std::vector<std::string> asUtterances{"stale"};
  ASSERT_TRUE(
      TranscribeSamples(aRecording, std::string(WDX_DIST_DIR) + "/grammer1.cfg", asUtterances));
  EXPECT_EQ(asUtterances, (std::vector<std::string>{"YES", "No", "BYE", "GOODBYE"}));
}

TEST(SpeechTranscribeTest, FindsMostWordsOfASentenceWithAGrammarOfItsWords) {
  test::CTempFolder oFolder;
  oFolder.Write("words.cfg",
                "#JSGF V1.0;\ngrammar words;\npublic <words> = ( the | web | server | is | "
                "down | please | check | it | now )+;\n");
  const std::vector<std::string> asSaid = {"the",    "web",   "server", "is", "down",
                                           "please", "check", "it",     "now"};
  std::vector<std::string> asUtterances;
  ASSERT_TRUE(TranscribeSamples(Spoken("The web server is down. Please check it now."),
                                oFolder.File("words.cfg"), asUtterances));
  std::map<std::string, int> oHeard;
  for (const std::string& sWord : Words(asUtterances)) ++oHeard[sWord];
  int iFound = 0;
  for (const std::string& sWord : asSaid) {
    if (oHeard[sWord] > 0) {
      --oHeard[sWord];
      ++iFound;
    }
  }
  // Line audio lacks the upper half of the model's band: running speech is heard less well
  // than single answers, but more than half of its words come through.
  EXPECT_GE(iFound, 5) << ::testing::PrintToString(asUtterances);
  std::vector<std::string> asNone;
  EXPECT_FALSE(TranscribeSamples(Silence(100), oFolder.File("missing.cfg"), asNone));
}

}  // namespace
}  // namespace wdx
