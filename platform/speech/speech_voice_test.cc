#include <gtest/gtest.h>

#include <cmath>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "platform/audio/buffer_wave_devices.h"
#include "platform/speech/speech.h"

namespace wdx {
namespace {

constexpr const char* kSentence = "The web server is down.";

double Rms(const std::vector<int16_t>& aSamples) {
  double dSum = 0;
  for (int16_t i : aSamples) dSum += static_cast<double>(i) * i;
  return aSamples.empty() ? 0 : std::sqrt(dSum / static_cast<double>(aSamples.size()));
}

// An output whose writes wait until the test opens it, so that a test can act while the voice
// is in the middle of speaking.
class CGatedWaveOut final : public IWaveOutDevice {
 public:
  bool SupportsFormat(const SWaveFormat& oFormat) const override {
    return oFormat == LineWaveFormat();
  }
  bool Write(const int16_t* pSamples, size_t uCount) override {
    std::unique_lock<std::mutex> oLock(m_oLock);
    m_bWriting = true;
    m_oChanged.notify_all();
    m_oChanged.wait(oLock, [this] { return m_bOpen; });
    m_aSamples.insert(m_aSamples.end(), pSamples, pSamples + uCount);
    return true;
  }
  bool Drain(int) override { return true; }
  void Purge() override {}

  void WaitForWriter() {
    std::unique_lock<std::mutex> oLock(m_oLock);
    m_oChanged.wait(oLock, [this] { return m_bWriting; });
  }
  void Open() {
    std::lock_guard<std::mutex> oGuard(m_oLock);
    m_bOpen = true;
    m_oChanged.notify_all();
  }
  size_t Written() {
    std::lock_guard<std::mutex> oGuard(m_oLock);
    return m_aSamples.size();
  }

 private:
  std::mutex m_oLock;
  std::condition_variable m_oChanged;
  std::vector<int16_t> m_aSamples;
  bool m_bWriting = false;
  bool m_bOpen = false;
};

// A voice speaking into a line device registered in the table for the test's lifetime.
template <class TDevice>
class CVoiceOnLine {
 public:
  CVoiceOnLine() : m_pDevice(std::make_shared<TDevice>()) {
    m_uId = CWaveDeviceTable::AddWaveOut(m_pDevice);
    m_pOutput = CreateSpMMAudioOut();
    EXPECT_EQ(m_pOutput->SetDeviceId(m_uId), S_OK);
    EXPECT_EQ(m_pOutput->SetFormat(LineWaveFormat()), S_OK);
    EXPECT_EQ(CreateSpVoice(m_pVoice), S_OK);
    if (m_pVoice) {
      EXPECT_EQ(m_pVoice->SetOutput(m_pOutput), S_OK);
    }
  }
  ~CVoiceOnLine() {
    m_pVoice.reset();
    CWaveDeviceTable::RemoveWaveOut(m_uId);
  }

  std::shared_ptr<TDevice> m_pDevice;
  uint32_t m_uId = 0;
  std::shared_ptr<CSpAudioOut> m_pOutput;
  std::shared_ptr<ISpVoice> m_pVoice;
};

TEST(SpeechVoiceTest, SpeaksIntoTheLineAtItsRate) {
  CVoiceOnLine<CBufferWaveOut> oLine;
  ASSERT_TRUE(oLine.m_pVoice);
  ASSERT_EQ(oLine.m_pVoice->Speak(kSentence, SPF_DEFAULT), S_OK);
  const std::vector<int16_t> aSpoken = oLine.m_pDevice->GetSamples();
  // Five words at the engine's pace, at 8 kHz: between one and four seconds.
  EXPECT_GT(aSpoken.size(), 8000u);
  EXPECT_LT(aSpoken.size(), 32000u);
  EXPECT_GT(Rms(aSpoken), 300.0);

  // The same text queued twice comes out twice, whole, once the voice is done (the engine's
  // output varies by a few samples from one time to the next).
  EXPECT_EQ(oLine.m_pVoice->Speak(kSentence, SPF_ASYNC), S_OK);
  EXPECT_EQ(oLine.m_pVoice->Speak(kSentence, SPF_ASYNC), S_OK);
  EXPECT_EQ(oLine.m_pVoice->WaitUntilDone(60000), S_OK);
  EXPECT_NEAR(static_cast<double>(oLine.m_pDevice->GetSamples().size()),
              3.0 * static_cast<double>(aSpoken.size()),
              0.01 * static_cast<double>(aSpoken.size()));
  EXPECT_EQ(oLine.m_pVoice->Speak(kSentence, 64), E_INVALIDARG);
}

TEST(SpeechVoiceTest, PurgeDropsTheQueueAndTheRestOfWhatIsBeingSpoken) {
  CVoiceOnLine<CGatedWaveOut> oLine;
  ASSERT_TRUE(oLine.m_pVoice);
  ISpVoice& oVoice = *oLine.m_pVoice;
  ASSERT_EQ(oVoice.Speak(kSentence, SPF_ASYNC), S_OK);
  ASSERT_EQ(oVoice.Speak("This is never heard.", SPF_ASYNC), S_OK);
  oLine.m_pDevice->WaitForWriter();
  EXPECT_EQ(oVoice.WaitUntilDone(20), S_FALSE);  // stuck in its first piece
  EXPECT_EQ(oVoice.Speak("", SPF_ASYNC | SPF_PURGEBEFORESPEAK), S_OK);
  oLine.m_pDevice->Open();
  EXPECT_EQ(oVoice.WaitUntilDone(60000), S_OK);
  EXPECT_EQ(oLine.m_pDevice->Written(), 800u);  // the one piece of 100 ms that was under way
}

TEST(SpeechVoiceTest, SpeaksWithoutAnOutputAndFailsOnALineThatIsGone) {
  std::shared_ptr<ISpVoice> pLocal;
  ASSERT_EQ(CreateSpVoice(pLocal), S_OK);
  EXPECT_EQ(pLocal->Speak("Speech works.", SPF_DEFAULT), S_OK);
  EXPECT_EQ(pLocal->Speak("Caf\xc3\xa9 \xff\xfe broken bytes", SPF_DEFAULT), S_OK);
  EXPECT_EQ(pLocal->WaitUntilDone(0), S_OK);

  CVoiceOnLine<CBufferWaveOut> oLine;
  ASSERT_TRUE(oLine.m_pVoice);
  oLine.m_pDevice->Close();
  EXPECT_EQ(oLine.m_pVoice->Speak(kSentence, SPF_DEFAULT), SPERR_AUDIO_STOPPED);
}

}  // namespace
}  // namespace wdx
