#include "platform/telephony/sim_callee.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>

#include "platform/platform_log.h"
#include "platform/speech/speech.h"
#include "platform/telephony/sim_line.h"

namespace wdx {
namespace {

// The pause before the callee's words on its turn.
constexpr size_t kTurnPauseSamples = kSimLineRate * 300 / 1000;

std::atomic<uint64_t> g_uLatestCallee{0};
std::atomic<int64_t> g_iFirstSoundNs{0};  // steady clock; 0: none yet

bool HoldsSound(const int16_t* pSamples, size_t uCount) {
  return std::any_of(pSamples, pSamples + uCount,
                     [](int16_t iSample) { return std::abs(int{iSample}) > kSimSilenceLevel; });
}

}  // namespace

std::chrono::steady_clock::time_point SimLineFirstAudioTime() {
  return std::chrono::steady_clock::time_point(
      std::chrono::nanoseconds(g_iFirstSoundNs.load(std::memory_order_acquire)));
}

CSimCallee::CSimCallee(std::string sNumber, SSimCalleeScript oScript)
    : m_sNumber(std::move(sNumber)), m_oScript(std::move(oScript)), m_uCalleeNo(++g_uLatestCallee) {
  g_iFirstSoundNs.store(0, std::memory_order_release);
}

CSimCallee::~CSimCallee() {
  Close();
}

bool CSimCallee::StartRecording(const std::string& sPath) {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  if (m_bGone) return false;
  return m_oRecording.Create(sPath, kSimLineRate, true);
}

void CSimCallee::SetHangUpHandler(std::function<void()> fnHandler) {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  m_fnHangUp = std::move(fnHandler);
}

void CSimCallee::SetKeyHandler(std::function<void(char)> fnHandler) {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  m_fnKey = std::move(fnHandler);
}

bool CSimCallee::Hear(const int16_t* pSamples, size_t uCount) {
  if (uCount > 0 && pSamples == nullptr) return false;
  std::function<void()> fnHangUp;
  bool bHangUp = false;
  size_t uHeard = uCount;
  {
    std::lock_guard<std::mutex> oGuard(m_oLock);
    if (m_bGone) return false;
    const uint64_t uLimit = m_oScript.m_uHangUpAfter;
    if (uLimit > 0) uHeard = static_cast<size_t>(std::min<uint64_t>(uCount, uLimit - m_uHeard));
    if (m_oRecording.IsOpen()) m_oRecording.Append(pSamples, uHeard);
    m_uHeard += uHeard;
    if (HoldsSound(pSamples, uHeard)) {
      m_bHeardSinceTurn = true;
      if (!m_bHeardSound && m_uCalleeNo == g_uLatestCallee.load()) {
        const auto oNow = std::chrono::steady_clock::now().time_since_epoch();
        g_iFirstSoundNs.store(std::chrono::duration_cast<std::chrono::nanoseconds>(oNow).count(),
                              std::memory_order_release);
      }
      m_bHeardSound = true;
    }
    if (uLimit > 0 && m_uHeard >= uLimit) {
      bHangUp = true;
      fnHangUp = std::move(m_fnHangUp);
    }
  }
  if (bHangUp) {
    if (fnHangUp) fnHangUp();  // the call goes down and tells its sinks
    Close();
  }
  return uHeard == uCount;
}

void CSimCallee::SetListening(bool bListening) {
  bool bTurn = false;
  {
    std::lock_guard<std::mutex> oGuard(m_oLock);
    m_aSpeech.clear();
    m_uSpoken = 0;
    m_bListening = bListening && !m_bGone;
    if (!m_bListening) return;
    bTurn = m_bHeardSinceTurn;
    m_bHeardSinceTurn = false;
  }
  if (bTurn && m_oScript.m_cKey != 0) {
    std::function<void(char)> fnKey;
    {
      std::lock_guard<std::mutex> oGuard(m_oLock);
      fnKey = m_fnKey;
    }
    if (fnKey) fnKey(m_oScript.m_cKey);
  }
  if (!bTurn || m_oScript.m_sWords.empty()) return;
  const std::vector<int16_t>& aAnswer = GetAnswer();  // slow: outside the lock
  std::lock_guard<std::mutex> oGuard(m_oLock);
  if (!m_bListening || m_bGone) return;
  m_aSpeech.assign(kTurnPauseSamples, 0);
  m_aSpeech.insert(m_aSpeech.end(), aAnswer.begin(), aAnswer.end());
}

const std::vector<int16_t>& CSimCallee::GetAnswer() {
  std::call_once(m_oAnswerOnce, [this] {
    if (!SynthesizeSpeech(m_oScript.m_sWords, kSimLineRate, m_aAnswer)) {
      const std::string sText =
          "Simulated call to " + m_sNumber + ": the callee cannot speak (speech synthesis failed).";
      PlatformLogError(sText.c_str());
      m_aAnswer.clear();
    }
  });
  return m_aAnswer;
}

size_t CSimCallee::Say(int16_t* pSamples, size_t uCount) {
  if (uCount > 0 && pSamples == nullptr) return 0;
  std::lock_guard<std::mutex> oGuard(m_oLock);
  if (m_bGone) return 0;
  size_t uFromSpeech = 0;
  if (m_bListening && m_uSpoken < m_aSpeech.size()) {
    uFromSpeech = std::min(uCount, m_aSpeech.size() - m_uSpoken);
    std::copy_n(m_aSpeech.begin() + static_cast<std::ptrdiff_t>(m_uSpoken), uFromSpeech, pSamples);
    m_uSpoken += uFromSpeech;
  }
  std::fill(pSamples + uFromSpeech, pSamples + uCount, int16_t{0});
  return uCount;
}

void CSimCallee::Close() {
  std::string sPath;
  {
    std::lock_guard<std::mutex> oGuard(m_oLock);
    if (m_bGone) return;
    m_bGone = true;
    m_bListening = false;
    m_aSpeech.clear();
    m_fnHangUp = nullptr;
    m_fnKey = nullptr;
    if (!m_oRecording.IsOpen()) return;
    if (m_oRecording.Close()) sPath = m_oRecording.GetPath();
  }
  if (sPath.empty()) return;
  const std::string sText = "Simulated call to " + m_sNumber + " recorded in " + sPath;
  PlatformLogMessage(sText.c_str());
}

bool CSimCallee::IsGone() const {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  return m_bGone;
}

bool CSimWaveOut::SupportsFormat(const SWaveFormat& oFormat) const {
  return oFormat == LineWaveFormat();
}

bool CSimWaveOut::Write(const int16_t* pSamples, size_t uCount) {
  return m_pCallee->Hear(pSamples, uCount);
}

bool CSimWaveOut::Drain(int /*iTimeoutMs*/) {
  return !m_pCallee->IsGone();  // what was written has been heard already
}

bool CSimWaveIn::SupportsFormat(const SWaveFormat& oFormat) const {
  return oFormat == LineWaveFormat();
}

void CSimWaveIn::SetListening(bool bListening) {
  m_pCallee->SetListening(bListening);
}

size_t CSimWaveIn::Read(int16_t* pSamples, size_t uCount) {
  return m_pCallee->Say(pSamples, uCount);
}

}  // namespace wdx
