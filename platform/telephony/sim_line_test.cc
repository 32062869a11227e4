#include "platform/telephony/sim_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <regex>

#include "platform/audio/wav_file.h"
#include "platform/audio/wave_devices.h"
#include "platform/speech/speech.h"
#include "platform/telephony/sim_callee.h"
#include "platform/telephony/telephony_test_util.h"
#include "tests/support/log_capture.h"

namespace wdx {
namespace {

constexpr size_t kTurnPause = 2400;  // 300 ms at 8 kHz

std::vector<int16_t> Speech(const std::string& sWords) {
  std::vector<int16_t> aSamples;
  EXPECT_TRUE(SynthesizeSpeech(sWords, 8000, aSamples)) << sWords;
  EXPECT_FALSE(aSamples.empty()) << sWords;
  return aSamples;
}

std::vector<int16_t> Tone(size_t uCount) {
  std::vector<int16_t> aSamples(uCount);
  for (size_t u = 0; u < uCount; ++u)
    aSamples[u] = static_cast<int16_t>(u % 40 < 20 ? 3000 : -3000);
  return aSamples;
}

bool IsSilent(const std::vector<int16_t>& aSamples) {
  return std::all_of(aSamples.begin(), aSamples.end(), [](int16_t i) { return i == 0; });
}

// Where the sound of aSamples starts and how long it lasts (up to its last sound).
struct SSpan {
  size_t m_uFirst = 0;
  size_t m_uLength = 0;
};
SSpan SoundSpan(const std::vector<int16_t>& aSamples) {
  const auto fnLoud = [](int16_t i) { return std::abs(int{i}) > kSimSilenceLevel; };
  const auto itFirst = std::find_if(aSamples.begin(), aSamples.end(), fnLoud);
  if (itFirst == aSamples.end()) return {};
  const auto itLast = std::find_if(aSamples.rbegin(), aSamples.rend(), fnLoud);
  const size_t uFirst = static_cast<size_t>(itFirst - aSamples.begin());
  return {uFirst, static_cast<size_t>(aSamples.rend() - itLast) - uFirst};
}

class SimLineTest : public test::CTelephonyFixture {
 protected:
  struct SLine {
    std::shared_ptr<ITelCall> m_pCall;
    uint32_t m_uOut = 0;
    uint32_t m_uIn = 0;
    std::shared_ptr<IWaveOutDevice> m_pOut;
    std::shared_ptr<IWaveInDevice> m_pIn;
  };

  SLine Answered(const std::string& sNumber) {
    SLine oLine;
    oLine.m_pCall = Dial(sNumber);
    if (!oLine.m_pCall) return oLine;
    EXPECT_EQ(oLine.m_pCall->GetID("wave/out", oLine.m_uOut), S_OK);
    EXPECT_EQ(oLine.m_pCall->GetID("wave/in", oLine.m_uIn), S_OK);
    oLine.m_pOut = CWaveDeviceTable::FindWaveOut(oLine.m_uOut);
    oLine.m_pIn = CWaveDeviceTable::FindWaveIn(oLine.m_uIn);
    EXPECT_TRUE(oLine.m_pOut && oLine.m_pIn) << sNumber;
    return oLine;
  }

  // Reads uCount samples in pieces of 20 ms, as a recogniser does.
  static std::vector<int16_t> Hear(IWaveInDevice& oIn, size_t uCount) {
    std::vector<int16_t> aSamples(uCount, 1);
    for (size_t uAt = 0; uAt < uCount; uAt += 160) {
      const size_t uPiece = std::min<size_t>(160, uCount - uAt);
      EXPECT_EQ(oIn.Read(aSamples.data() + uAt, uPiece), uPiece);
    }
    return aSamples;
  }

  // "<folder>simcalls/<YYYYMMDD-HHMMSS>-" for a call answered at the fake clock's time now.
  std::string RecordingPrefix() {
    SLocalTime oNow;
    EXPECT_TRUE(m_oClock.GetLocalTime(oNow));
    char szStamp[32];
    std::snprintf(szStamp, sizeof(szStamp), "%04d%02d%02d-%02d%02d%02d-", oNow.m_iYear,
                  oNow.m_iMonth, oNow.m_iDay, oNow.m_iHour, oNow.m_iMinute, oNow.m_iSecond);
    return m_oFolder.Path() + "simcalls/" + szStamp;
  }

  // The path that the message "Simulated call to <number> recorded in <path>" names.
  static std::string RecordedPath(const test::CLogCapture& oLog, const std::string& sNumber) {
    const std::string sLead = " Message: Simulated call to " + sNumber + " recorded in ";
    const std::string sText = oLog.Text();
    const size_t uAt = sText.find(sLead);
    if (uAt == std::string::npos) return "";
    const size_t uFrom = uAt + sLead.size();
    return sText.substr(uFrom, sText.find('\r', uFrom) - uFrom);
  }
};

TEST_F(SimLineTest, AnAnsweredCallHasDevicesThatTakeOnlyTheLineFormat) {
  std::shared_ptr<ITelCall> pCall;
  ASSERT_EQ(Create("sim:yes", pCall), S_OK);
  uint32_t uId = 5;
  EXPECT_EQ(pCall->GetID("wave/out", uId), E_FAIL);  // not connected yet
  pCall.reset();

  SLine oLine = Answered("sim:yes");
  ASSERT_TRUE(oLine.m_pOut);
  EXPECT_NE(oLine.m_uOut, 0u);
  EXPECT_NE(oLine.m_uIn, 0u);
  EXPECT_EQ(oLine.m_pCall->GetID("wave/midi", uId), E_INVALIDARG);
  std::vector<int> aOutFormats;
  std::vector<int> aInFormats;
  for (int iIndex = SPSF_FIRST_INDEX; iIndex <= SPSF_LAST_INDEX; ++iIndex) {
    SWaveFormat oFormat;
    ASSERT_TRUE(StreamFormatToWaveFormat(iIndex, oFormat));
    if (CWaveDeviceTable::WaveOutQueryFormat(oLine.m_uOut, oFormat) == S_OK) {
      aOutFormats.push_back(iIndex);
    }
    if (CWaveDeviceTable::WaveInQueryFormat(oLine.m_uIn, oFormat) == S_OK) {
      aInFormats.push_back(iIndex);
    }
  }
  EXPECT_EQ(aOutFormats, std::vector<int>{SPSF_8kHz16BitMono});
  EXPECT_EQ(aInFormats, std::vector<int>{SPSF_8kHz16BitMono});

  // Hung up, the devices stay until the call is released, but carry nothing.
  ASSERT_EQ(oLine.m_pCall->Disconnect(), S_OK);
  EXPECT_EQ(oLine.m_pCall->GetID("wave/in", uId), S_OK);
  const int16_t aOne[] = {1000};
  EXPECT_FALSE(oLine.m_pOut->Write(aOne, 1));
  int16_t aRead[4];
  EXPECT_EQ(oLine.m_pIn->Read(aRead, 4), 0u);
  m_pTelephony->Shutdown();  // events in flight hold the call too
  oLine.m_pCall.reset();
  EXPECT_EQ(CWaveDeviceTable::FindWaveOut(oLine.m_uOut), nullptr);
  EXPECT_EQ(CWaveDeviceTable::WaveInQueryFormat(oLine.m_uIn, LineWaveFormat()),
            MMSYSERR_BADDEVICEID);
}

TEST_F(SimLineTest, TheRecordingHoldsExactlyWhatTheCalleeHeard) {
  test::CLogCapture oLog;
  struct SCase {
    const char* m_szNumber;
    const char* m_szScript;
  };
  const SCase aCases[] = {
      {"sim:yes", "yes"}, {"sim:silent", "silent"}, {"sim:say:Disk full, I know.", "say"}};
  const std::vector<int16_t> aMessage = Speech("Server is down.");
  for (const SCase& oCase : aCases) {
    SLine oLine = Answered(oCase.m_szNumber);
    ASSERT_TRUE(oLine.m_pOut);
    const std::string sPrefix = RecordingPrefix();
    const std::vector<int16_t> aSilence(1234, 0);
    std::vector<int16_t> aExpected;
    for (const auto* pPiece : {&aMessage, &aSilence, &aMessage}) {
      ASSERT_TRUE(oLine.m_pOut->Write(pPiece->data(), pPiece->size()));
      aExpected.insert(aExpected.end(), pPiece->begin(), pPiece->end());
    }
    EXPECT_TRUE(oLine.m_pOut->Drain(5000));
    oLine.m_pIn->SetListening(true);  // the callee's answer is not part of the recording
    Hear(*oLine.m_pIn, 8000);
    ASSERT_EQ(oLine.m_pCall->Disconnect(), S_OK);

    const std::string sPath = RecordedPath(oLog, oCase.m_szNumber);
    ASSERT_EQ(sPath.compare(0, sPrefix.size(), sPrefix), 0) << sPath;
    EXPECT_TRUE(std::regex_match(sPath.substr(sPrefix.size()),
                                 std::regex(std::string("[0-9]+-") + oCase.m_szScript + "\\.wav")))
        << sPath;
    std::vector<int16_t> aRecorded;
    uint32_t uRate = 0;
    ASSERT_TRUE(ReadWavFile(sPath, aRecorded, uRate));
    EXPECT_EQ(uRate, 8000u);
    EXPECT_EQ(aRecorded, aExpected) << oCase.m_szNumber;
  }
}

TEST_F(SimLineTest, TheCalleeSpeaksOnItsTurnOnlyAfterHearingSound) {
  struct SCase {
    const char* m_szNumber;
    const char* m_szWords;  // null: it says nothing
  };
  const SCase aCases[] = {{"sim:yes", "yes"},
                          {"sim:no", "no"},
                          {"sim:goodbye", "goodbye"},
                          {"sim:say:All is well here", "All is well here"},
                          {"sim:silent", nullptr}};
  const std::vector<int16_t> aMessage = Speech("Please say yes.");
  for (const SCase& oCase : aCases) {
    SCOPED_TRACE(oCase.m_szNumber);
    SLine oLine = Answered(oCase.m_szNumber);
    ASSERT_TRUE(oLine.m_pOut);
    IWaveInDevice& oIn = *oLine.m_pIn;
    oIn.SetListening(true);  // heard nothing yet
    EXPECT_TRUE(IsSilent(Hear(oIn, 8000)));
    oIn.SetListening(false);
    const std::vector<int16_t> aQuiet(4000, 0);
    ASSERT_TRUE(oLine.m_pOut->Write(aQuiet.data(), aQuiet.size()));
    oIn.SetListening(true);  // silence is not something to answer
    EXPECT_TRUE(IsSilent(Hear(oIn, 8000)));
    oIn.SetListening(false);

    ASSERT_TRUE(oLine.m_pOut->Write(aMessage.data(), aMessage.size()));
    oIn.SetListening(true);
    // espeak-ng varies a little from one synthesis to the next: the answer is compared by where
    // its sound lies, not sample by sample.
    const std::vector<int16_t> aWords =
        oCase.m_szWords ? Speech(oCase.m_szWords) : std::vector<int16_t>{};
    const std::vector<int16_t> aHeard = Hear(oIn, kTurnPause + aWords.size() * 11 / 10 + 8000);
    const SSpan oHeard = SoundSpan(aHeard);
    const SSpan oWords = SoundSpan(aWords);
    if (oCase.m_szWords == nullptr) {
      EXPECT_TRUE(IsSilent(aHeard));
    } else {
      EXPECT_TRUE(IsSilent({aHeard.begin(), aHeard.begin() + kTurnPause}));  // the pause
      EXPECT_NEAR(double(oHeard.m_uFirst), double(kTurnPause + oWords.m_uFirst), 80.0);
      EXPECT_NEAR(double(oHeard.m_uLength), double(oWords.m_uLength), oWords.m_uLength * 0.05);
      EXPECT_TRUE(IsSilent({aHeard.end() - 8000, aHeard.end()}));  // then silence
    }
    oIn.SetListening(false);
    oIn.SetListening(true);  // no new turn without new sound
    EXPECT_TRUE(IsSilent(Hear(oIn, 8000)));
    oIn.SetListening(false);

    // What was not read when listening stopped is dropped.
    ASSERT_TRUE(oLine.m_pOut->Write(aMessage.data(), aMessage.size()));
    oIn.SetListening(true);
    Hear(oIn, kTurnPause + 800);
    oIn.SetListening(false);
    oIn.SetListening(true);
    EXPECT_TRUE(IsSilent(Hear(oIn, aWords.size() * 2 + 8000)));
  }
}

TEST_F(SimLineTest, TheHangUpCalleeHangsUpAfterThreeSecondsOfAudio) {
  test::CLogCapture oLog;
  SLine oLine = Answered("sim:hangup");
  ASSERT_TRUE(oLine.m_pOut);
  const std::vector<int16_t> aTone = Tone(8000);
  ASSERT_TRUE(oLine.m_pOut->Write(aTone.data(), 8000));
  oLine.m_pIn->SetListening(true);
  EXPECT_TRUE(IsSilent(Hear(*oLine.m_pIn, 4000)));  // it says nothing, and time passes
  const std::vector<int16_t> aSilence(12000, 0);
  ASSERT_TRUE(oLine.m_pOut->Write(aSilence.data(), aSilence.size()));  // silence counts too
  EXPECT_EQ(oLine.m_pCall->GetCallState(), CS_CONNECTED);
  EXPECT_FALSE(oLine.m_pOut->Write(aTone.data(), 8000));  // 4000 of these are heard
  EXPECT_EQ(oLine.m_pCall->GetCallState(), CS_DISCONNECTED);
  ASSERT_TRUE(m_oEvents.WaitForCount(3));
  EXPECT_EQ(m_oEvents.States(), (std::vector<int>{CS_INPROGRESS, CS_CONNECTED, CS_DISCONNECTED}));
  EXPECT_FALSE(oLine.m_pOut->Write(aTone.data(), 10));
  EXPECT_FALSE(oLine.m_pOut->Drain(100));
  int16_t aRead[10];
  EXPECT_EQ(oLine.m_pIn->Read(aRead, 10), 0u);
  EXPECT_EQ(oLine.m_pCall->Disconnect(), S_OK);  // the caller's own hang-up is harmless

  std::vector<int16_t> aExpected = aTone;
  aExpected.insert(aExpected.end(), aSilence.begin(), aSilence.end());
  aExpected.insert(aExpected.end(), aTone.begin(), aTone.begin() + 4000);
  std::vector<int16_t> aRecorded;
  uint32_t uRate = 0;
  ASSERT_TRUE(ReadWavFile(RecordedPath(oLog, "sim:hangup"), aRecorded, uRate));
  EXPECT_EQ(aRecorded, aExpected);
  m_pTelephony->Shutdown();
  EXPECT_EQ(m_oEvents.States().size(), 3u);  // told once
}

TEST_F(SimLineTest, TheFirstSoundHeardIsTimedForTheLatestCall) {
  SLine oFirst = Answered("sim:yes");
  ASSERT_TRUE(oFirst.m_pOut);
  SLine oLine = Answered("sim:yes");
  ASSERT_TRUE(oLine.m_pOut);
  const std::vector<int16_t> aTone = Tone(800);
  EXPECT_EQ(SimLineFirstAudioTime(), std::chrono::steady_clock::time_point{});
  const std::vector<int16_t> aQuiet(800, kSimSilenceLevel);  // at the level: still silence
  ASSERT_TRUE(oLine.m_pOut->Write(aQuiet.data(), aQuiet.size()));
  ASSERT_TRUE(oFirst.m_pOut->Write(aTone.data(), aTone.size()));  // an older call
  EXPECT_EQ(SimLineFirstAudioTime(), std::chrono::steady_clock::time_point{});
  const auto oBefore = std::chrono::steady_clock::now();
  ASSERT_TRUE(oLine.m_pOut->Write(aTone.data(), aTone.size()));
  const auto oAfter = std::chrono::steady_clock::now();
  const auto oFirstSound = SimLineFirstAudioTime();
  EXPECT_LE(oBefore, oFirstSound);
  EXPECT_LE(oFirstSound, oAfter);
  ASSERT_TRUE(oLine.m_pOut->Write(aTone.data(), aTone.size()));
  EXPECT_EQ(SimLineFirstAudioTime(), oFirstSound);
}

TEST_F(SimLineTest, AnUnrecordableCallStillConnectsAndSaysWhy) {
  test::CLogCapture oLog;
  m_oFolder.Write("simcalls", "a file where the folder should be");
  SLine oLine = Answered("sim:yes");
  ASSERT_TRUE(oLine.m_pOut);
  const std::vector<int16_t> aTone = Tone(800);
  EXPECT_TRUE(oLine.m_pOut->Write(aTone.data(), aTone.size()));
  oLine.m_pIn->SetListening(true);
  EXPECT_FALSE(IsSilent(Hear(*oLine.m_pIn, kTurnPause + 4000)));  // it still answers
  EXPECT_EQ(oLine.m_pCall->Disconnect(), S_OK);
  EXPECT_NE(oLog.Text().find("Error: Simulated call to sim:yes cannot be recorded: folder " +
                             m_oFolder.Path() + "simcalls/: "),
            std::string::npos);
  EXPECT_EQ(RecordedPath(oLog, "sim:yes"), "");
  EXPECT_EQ(m_oFolder.Read("simcalls"), "a file where the folder should be");
}

TEST_F(SimLineTest, AKeyCalleePressesItsKeyOnItsTurnOnly) {
  SLine oLine = Answered("sim:key:1");
  ASSERT_TRUE(oLine.m_pOut);
  const auto fnKeys = [&] {
    std::string sKeys;
    for (const STelEvent& oEvent : m_oEvents.Events()) {
      if (oEvent.m_iEvent != TE_DIGITEVENT) continue;
      EXPECT_EQ(oEvent.m_pCall, oLine.m_pCall.get());
      sKeys += oEvent.m_cDigit;
    }
    return sKeys;
  };
  const size_t uBefore = m_oEvents.Events().size();
  oLine.m_pIn->SetListening(true);  // nothing heard yet: not its turn
  oLine.m_pIn->SetListening(false);
  const std::vector<int16_t> aTone = Tone(800);
  ASSERT_TRUE(oLine.m_pOut->Write(aTone.data(), aTone.size()));
  oLine.m_pIn->SetListening(true);
  ASSERT_TRUE(m_oEvents.WaitForCount(uBefore + 1));
  EXPECT_TRUE(IsSilent(Hear(*oLine.m_pIn, 8000)));  // it says nothing
  oLine.m_pIn->SetListening(false);
  oLine.m_pIn->SetListening(true);  // no new sound: no new turn
  EXPECT_EQ(oLine.m_pCall->Disconnect(), S_OK);
  ASSERT_TRUE(m_oEvents.WaitForCount(uBefore + 2));  // the hang-up, after any key
  EXPECT_EQ(fnKeys(), "1");
}

TEST(SimNumberTest, ScriptsAreReadFromTheNumber) {
  struct SCase {
    const char* m_szNumber;
    bool m_bValid;
    const char* m_szScript;
    const char* m_szWords;
    int m_iRingMs;
    bool m_bAnswers, m_bBusy, m_bHangsUp;
  };
  const SCase aCases[] = {
      {"sim:yes", true, "yes", "yes", 2000, true, false, false},
      {"sim:no", true, "no", "no", 2000, true, false, false},
      {"sim:goodbye", true, "goodbye", "goodbye", 2000, true, false, false},
      {"sim:say:Call me later", true, "say", "Call me later", 2000, true, false, false},
      {"sim:silent", true, "silent", "", 2000, true, false, false},
      {"sim:hangup", true, "hangup", "", 2000, true, false, true},
      {"sim:busy", true, "busy", "", 2000, false, true, false},
      {"sim:noanswer", true, "noanswer", "", 30000, false, false, false},
      {"sim:key:1", true, "key", "", 2000, true, false, false},
      {"sim:key:#", true, "key", "", 2000, true, false, false},
      {"sim:key:x", false, "", "", 0, false, false, false},
      {"sim:key:12", false, "", "", 0, false, false, false},
      {"sim:Yes", false, "", "", 0, false, false, false},
      {"yes", false, "", "", 0, false, false, false},
  };
  for (const SCase& oCase : aCases) {
    SSimNumber oNumber;
    EXPECT_EQ(ParseSimNumber(oCase.m_szNumber, oNumber), oCase.m_bValid) << oCase.m_szNumber;
    EXPECT_EQ(oNumber.m_sScript, oCase.m_szScript) << oCase.m_szNumber;
    EXPECT_EQ(oNumber.m_sWords, oCase.m_szWords) << oCase.m_szNumber;
    EXPECT_EQ(oNumber.m_iRingMs, oCase.m_iRingMs) << oCase.m_szNumber;
    EXPECT_EQ(oNumber.m_bAnswers, oCase.m_bAnswers) << oCase.m_szNumber;
    EXPECT_EQ(oNumber.m_bBusy, oCase.m_bBusy) << oCase.m_szNumber;
    EXPECT_EQ(oNumber.m_bHangsUp, oCase.m_bHangsUp) << oCase.m_szNumber;
  }
}

}  // namespace
}  // namespace wdx
