#include "platform/telephony/sip/sip_media.h"

#include <gtest/gtest.h>
#include <re.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/audio/wave_devices.h"
#include "platform/telephony/sip/sip_send_stats.h"
#include "platform/telephony/sip/sip_stack.h"
#include "platform/telephony/sip/sip_test_peer.h"

namespace wdx::sip {
namespace {

using test::CRawPeer;
using test::FromBuffer;
using test::Loopback;
using test::ToBuffer;

constexpr size_t kFrame = 160;
constexpr int kQuietLevel = 64;  // G.711 silence decodes to a few steps around zero

void OnSip(const std::function<void()>& fnWork) {
  ASSERT_TRUE(CSipStack::Get().Call(fnWork));
}

std::vector<int16_t> Tone(double dHz, size_t uCount) {
  std::vector<int16_t> aSamples(uCount);
  for (size_t u = 0; u < uCount; ++u)
    aSamples[u] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * dHz * u / 8000.0));
  return aSamples;
}

bool IsQuiet(const int16_t* pSamples, size_t uCount) {
  return std::all_of(pSamples, pSamples + uCount,
                     [](int16_t i) { return std::abs(int{i}) <= kQuietLevel; });
}

// What a tone heard on the line measures: its frequency (from zero crossings) and its level,
// over the frames that are not quiet.
struct SHeard {
  double m_dHz = 0;
  double m_dRms = 0;
  size_t m_uLoudFrames = 0;
};

// Reads frames from the line (at most uMaxFrames) until uWantFrames loud frames were heard.
SHeard Listen(IWaveInDevice& oIn, size_t uWantFrames, size_t uMaxFrames) {
  SHeard oHeard;
  double dCrossings = 0, dSquares = 0;
  int16_t aFrame[kFrame];
  for (size_t u = 0; u < uMaxFrames && oHeard.m_uLoudFrames < uWantFrames; ++u) {
    if (oIn.Read(aFrame, kFrame) != kFrame) break;
    if (IsQuiet(aFrame, kFrame)) continue;
    ++oHeard.m_uLoudFrames;
    for (size_t i = 0; i < kFrame; ++i) {
      dSquares += static_cast<double>(aFrame[i]) * aFrame[i];
      if (i > 0 && (aFrame[i - 1] < 0) != (aFrame[i] < 0)) ++dCrossings;
    }
  }
  if (oHeard.m_uLoudFrames == 0) return oHeard;
  oHeard.m_dHz = dCrossings / 2 / (oHeard.m_uLoudFrames * (kFrame - 1) / 8000.0);
  oHeard.m_dRms = std::sqrt(dSquares / (oHeard.m_uLoudFrames * kFrame));
  return oHeard;
}

class SipMediaTest : public ::testing::Test {
 protected:
  void TearDown() override {
    OnSip([this] {
      m_pA.reset();
      m_pB.reset();
      m_pPeer.reset();
      m_pFlood.reset();
    });
  }

  std::unique_ptr<CSipMedia> Create() {
    std::unique_ptr<CSipMedia> pMedia;
    OnSip([&] {
      std::string sError;
      EXPECT_TRUE(CSipMedia::Create(
          Loopback(), [this](char c) { AddDigit(c); }, pMedia, sError))
          << sError;
    });
    return pMedia;
  }

  std::string Offer(CSipMedia& oMedia) {
    std::string sOffer;
    OnSip([&] {
      struct mbuf* pOffer = nullptr;
      EXPECT_EQ(oMedia.EncodeOffer(&pOffer), 0);
      if (pOffer) sOffer = FromBuffer(pOffer);
      mem_deref(pOffer);
    });
    return sOffer;
  }

  bool TakeAnswer(CSipMedia& oMedia, const std::string& sAnswer, std::string& sReason) {
    bool bTaken = false;
    OnSip([&] {
      struct mbuf* pAnswer = ToBuffer(sAnswer);
      bTaken = oMedia.TakeAnswer(pAnswer, sReason);
      mem_deref(pAnswer);
    });
    return bTaken;
  }

  bool Start(CSipMedia& oMedia, std::string& sError) {
    bool bStarted = false;
    OnSip([&] { bStarted = oMedia.Start(sError); });
    return bStarted;
  }

  // A and B on one call: A offers (only PCMA when bPcmaOnly), B answers, both started.
  void ConnectAB(bool bPcmaOnly) {
    m_pA = Create();
    m_pB = Create();
    ASSERT_TRUE(m_pA && m_pB);
    std::string sOffer = Offer(*m_pA);
    if (bPcmaOnly) sOffer.replace(sOffer.find("RTP/AVP 0 8"), 11, "RTP/AVP 8");
    std::string sAnswer, sReason;
    OnSip([&] {
      struct mbuf* pOffer = ToBuffer(sOffer);
      struct mbuf* pAnswer = nullptr;
      EXPECT_TRUE(m_pB->TakeOffer(pOffer, &pAnswer, sReason)) << sReason;
      if (pAnswer) sAnswer = FromBuffer(pAnswer);
      mem_deref(pOffer);
      mem_deref(pAnswer);
    });
    ASSERT_TRUE(TakeAnswer(*m_pA, sAnswer, sReason)) << sReason << "\n" << sAnswer;
    ASSERT_TRUE(Start(*m_pA, sReason)) << sReason;
    ASSERT_TRUE(Start(*m_pB, sReason)) << sReason;
  }

  // A on a call with the test's own RTP peer, A started when bStart.
  void ConnectPeer(bool bStart) {
    m_pA = Create();
    ASSERT_TRUE(m_pA);
    const std::string sOffer = Offer(*m_pA);
    std::string sAnswer, sReason;
    OnSip([&] {
      m_pPeer = std::make_unique<CRawPeer>();
      sAnswer = m_pPeer->Answer(sOffer);
    });
    ASSERT_TRUE(TakeAnswer(*m_pA, sAnswer, sReason)) << sReason << "\n" << sAnswer;
    if (bStart) {
      ASSERT_TRUE(Start(*m_pA, sReason)) << sReason;
    }
  }

  void AddDigit(char c) {
    std::lock_guard<std::mutex> oGuard(m_oDigitLock);
    m_sDigits += c;
  }
  std::string Digits() {
    std::lock_guard<std::mutex> oGuard(m_oDigitLock);
    return m_sDigits;
  }

  std::unique_ptr<CSipMedia> m_pA, m_pB;
  std::unique_ptr<CRawPeer> m_pPeer, m_pFlood;
  std::mutex m_oDigitLock;
  std::string m_sDigits;
};

TEST_F(SipMediaTest, ToneCrossesTheLineBothWaysWithEitherCodec) {
  const struct {
    bool m_bPcmaOnly;
    const char* m_szCodec;
  } aCases[] = {{false, "PCMU"}, {true, "PCMA"}};
  for (const auto& oCase : aCases) {
    SCOPED_TRACE(oCase.m_szCodec);
    ConnectAB(oCase.m_bPcmaOnly);
    EXPECT_EQ(m_pA->GetCodecName(), oCase.m_szCodec);
    EXPECT_EQ(m_pB->GetCodecName(), oCase.m_szCodec);
    EXPECT_EQ(CWaveDeviceTable::WaveOutQueryFormat(m_pA->GetWaveOutId(), LineWaveFormat()), S_OK);
    EXPECT_EQ(
        CWaveDeviceTable::WaveInQueryFormat(m_pA->GetWaveInId(), SWaveFormat{1, 1, 16000, 16}),
        WAVERR_BADFORMAT);
    auto pOutA = CWaveDeviceTable::FindWaveOut(m_pA->GetWaveOutId());
    auto pOutB = CWaveDeviceTable::FindWaveOut(m_pB->GetWaveOutId());
    auto pInA = CWaveDeviceTable::FindWaveIn(m_pA->GetWaveInId());
    auto pInB = CWaveDeviceTable::FindWaveIn(m_pB->GetWaveInId());
    ASSERT_TRUE(pOutA && pOutB && pInA && pInB);
    pInA->SetListening(true);
    pInB->SetListening(true);
    const std::vector<int16_t> aToB = Tone(440, 8000), aToA = Tone(1000, 8000);
    ASSERT_TRUE(pOutA->Write(aToB.data(), aToB.size()));
    ASSERT_TRUE(pOutB->Write(aToA.data(), aToA.size()));
    SHeard oAtA;
    std::thread oListenA([&] { oAtA = Listen(*pInA, 20, 500); });
    SHeard oAtB = Listen(*pInB, 20, 500);
    oListenA.join();
    EXPECT_TRUE(pOutA->Drain(30000));
    for (const auto& [pHeard, dHz] : {std::pair{&oAtB, 440.0}, std::pair{&oAtA, 1000.0}}) {
      EXPECT_EQ(pHeard->m_uLoudFrames, 20u) << dHz;
      EXPECT_NEAR(pHeard->m_dHz, dHz, dHz * 0.05);
      EXPECT_NEAR(pHeard->m_dRms, 8000 / std::sqrt(2.0), 600) << dHz;
    }
    EXPECT_GT(m_pA->GetSendStats().m_uPackets, 25u);
    TearDown();
  }
}

TEST_F(SipMediaTest, EachKeyPressIsReportedOnce) {
  const struct {
    const char* m_szKeys;
    int m_iCopies;
    bool m_bLoseStart;
  } aCases[] = {{"1", 1, false}, {"19#", 2, false}, {"11", 1, true}, {"2*2", 2, true}};
  for (const auto& oCase : aCases) {
    SCOPED_TRACE(oCase.m_szKeys);
    {
      std::lock_guard<std::mutex> oGuard(m_oDigitLock);
      m_sDigits.clear();
    }
    ConnectPeer(false);
    // A last key press, sent after the others, tells when they all have been taken in.
    OnSip([&] {
      m_pPeer->SendKeys(oCase.m_szKeys, oCase.m_iCopies, oCase.m_bLoseStart);
      m_pPeer->SendKeys("D", 1, false);
    });
    const std::string sWanted = std::string(oCase.m_szKeys) + "D";
    for (int i = 0; i < 3000 && Digits().find('D') == std::string::npos; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(Digits(), sWanted);
    TearDown();
  }
}

TEST_F(SipMediaTest, AudioFromAnyOtherAddressIsIgnored) {
  for (const bool bFromPeer : {true, false}) {
    SCOPED_TRACE(bFromPeer ? "from the far end" : "from another socket");
    ConnectPeer(true);
    auto pIn = CWaveDeviceTable::FindWaveIn(m_pA->GetWaveInId());
    ASSERT_TRUE(pIn);
    pIn->SetListening(true);
    OnSip([&] {
      m_pFlood = std::make_unique<CRawPeer>();
      m_pFlood->SetTarget(m_pPeer->GetTarget());
      (bFromPeer ? *m_pPeer : *m_pFlood).SendLoud(bFromPeer ? 10 : 500);
    });
    const SHeard oHeard = Listen(*pIn, 1, 100);  // two seconds of the line
    EXPECT_EQ(oHeard.m_uLoudFrames > 0, bFromPeer);
    TearDown();
  }
}

TEST_F(SipMediaTest, WithoutAudioTheLineGivesSilenceAtItsPace) {
  ConnectPeer(true);
  auto pIn = CWaveDeviceTable::FindWaveIn(m_pA->GetWaveInId());
  ASSERT_TRUE(pIn);
  pIn->SetListening(true);
  std::vector<int16_t> aSamples(8000, 1);
  const auto tStart = std::chrono::steady_clock::now();
  ASSERT_EQ(pIn->Read(aSamples.data(), aSamples.size()), aSamples.size());
  // The line gives a frame per 20 ms tick: a second of it takes at least 48 ticks to come.
  EXPECT_GE(std::chrono::steady_clock::now() - tStart, std::chrono::milliseconds(900));
  EXPECT_TRUE(IsQuiet(aSamples.data(), aSamples.size()));
  for (int i = 0; i < 3000 && m_pPeer->Received() == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_GT(m_pPeer->Received(), 0);  // our side still sends, silence or not
}

TEST_F(SipMediaTest, UnusableAnswersAreRefusedWithAReason) {
  ConnectPeer(false);
  const std::string sHead = "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=-\r\n";
  const struct {
    std::string m_sAnswer;
    const char* m_szReason;
  } aCases[] = {
      {"this is no SDP", "cannot be read"},
      {sHead +
           "c=IN IP4 127.0.0.1\r\nt=0 0\r\nm=audio 40000 RTP/AVP 18\r\na=rtpmap:18 G729/8000\r\n",
       "no common codec"},
      {sHead + "t=0 0\r\nm=audio 40000 RTP/AVP 0\r\n", "no connection address"},
      {sHead + "c=IN IP4 127.0.0.1\r\nt=0 0\r\nm=audio 0 RTP/AVP 0\r\n", "no audio stream"},
      {"", "no audio stream"},
  };
  for (const auto& oCase : aCases) {
    SCOPED_TRACE(oCase.m_sAnswer);
    auto pMedia = Create();
    ASSERT_TRUE(pMedia);
    ASSERT_FALSE(Offer(*pMedia).empty());
    std::string sReason, sError;
    EXPECT_FALSE(TakeAnswer(*pMedia, oCase.m_sAnswer, sReason));
    EXPECT_NE(sReason.find(oCase.m_szReason), std::string::npos) << sReason;
    EXPECT_EQ(pMedia->GetCodecName(), "");
    EXPECT_FALSE(Start(*pMedia, sError));
    OnSip([&] { pMedia.reset(); });
  }
  std::string sReason;
  EXPECT_TRUE(Start(*m_pA, sReason)) << sReason;  // the fixture's usable answer, for contrast
}

TEST_F(SipMediaTest, StopEndsBlockedWritesAndReadsAndLaterOnes) {
  ConnectAB(false);
  auto pOut = CWaveDeviceTable::FindWaveOut(m_pA->GetWaveOutId());
  auto pIn = CWaveDeviceTable::FindWaveIn(m_pA->GetWaveInId());
  ASSERT_TRUE(pOut && pIn);
  pIn->SetListening(true);
  std::atomic<int> iBlocked{0};
  bool bWritten = true;
  size_t uRead = 1;
  std::thread oWriter([&] {
    const std::vector<int16_t> aLong = Tone(440, 8000 * 30);  // waits long beyond its first second
    ++iBlocked;
    bWritten = pOut->Write(aLong.data(), aLong.size());
  });
  std::thread oReader([&] {
    std::vector<int16_t> aLong(8000 * 30);
    ++iBlocked;
    uRead = pIn->Read(aLong.data(), aLong.size());
  });
  while (iBlocked.load() < 2) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  OnSip([&] {
    m_pA->Stop();
    m_pA->Stop();  // harmless when repeated
  });
  oWriter.join();
  oReader.join();
  EXPECT_FALSE(bWritten);
  EXPECT_EQ(uRead, 0u);
  int16_t aFrame[kFrame] = {};
  EXPECT_FALSE(pOut->Write(aFrame, kFrame));
  EXPECT_FALSE(pOut->Drain(1000));
  EXPECT_EQ(pIn->Read(aFrame, kFrame), 0u);
  std::string sError;
  EXPECT_FALSE(Start(*m_pA, sError));
}

TEST(SipSendIntervalsTest, SumsTheIntervalsBetweenPackets) {
  const struct {
    std::vector<int> m_aSentAtMs;
    double m_dMean, m_dStdDev, m_dMax;
  } aCases[] = {
      {{}, 0, 0, 0}, {{5}, 0, 0, 0}, {{0, 20, 40, 60}, 20, 0, 20}, {{0, 10, 40}, 20, 10, 30}};
  for (const auto& oCase : aCases) {
    CSendIntervals oIntervals;
    const auto tStart = CSendIntervals::Clock::now();
    for (int iMs : oCase.m_aSentAtMs) oIntervals.Add(tStart + std::chrono::milliseconds(iMs));
    const SSendStats oStats = oIntervals.Get();
    EXPECT_EQ(oStats.m_uPackets, oCase.m_aSentAtMs.size());
    EXPECT_NEAR(oStats.m_dMeanIntervalMs, oCase.m_dMean, 1e-6);
    EXPECT_NEAR(oStats.m_dStdDevIntervalMs, oCase.m_dStdDev, 1e-6);
    EXPECT_NEAR(oStats.m_dMaxIntervalMs, oCase.m_dMax, 1e-6);
  }
}

}  // namespace
}  // namespace wdx::sip
