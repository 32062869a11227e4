#include "platform/telephony/sip/sip_wave.h"

#include <algorithm>
#include <chrono>

namespace wdx::sip {
namespace {

// A second of audio may wait to be sent; a writer blocks beyond it.
constexpr size_t kOutLimitSamples = 8000;
// What the line gave and nobody read yet is kept for five seconds, the oldest dropped first.
constexpr size_t kInLimitSamples = 5 * 8000;

}  // namespace

bool CSipLineAudio::Write(const int16_t* pSamples, size_t uCount) {
  if (uCount > 0 && pSamples == nullptr) return false;
  std::unique_lock<std::mutex> oGuard(m_oLock);
  size_t uDone = 0;
  while (!m_bClosed) {
    if (uDone == uCount) return true;
    m_oOutChanged.wait(oGuard, [&] { return m_bClosed || m_aOut.size() < kOutLimitSamples; });
    if (m_bClosed) break;
    const size_t uTake = std::min(uCount - uDone, kOutLimitSamples - m_aOut.size());
    m_aOut.insert(m_aOut.end(), pSamples + uDone, pSamples + uDone + uTake);
    uDone += uTake;
  }
  return false;
}

bool CSipLineAudio::Drain(int iTimeoutMs) {
  std::unique_lock<std::mutex> oGuard(m_oLock);
  m_oOutChanged.wait_for(oGuard, std::chrono::milliseconds(std::max(iTimeoutMs, 0)),
                         [&] { return m_bClosed || m_aOut.empty(); });
  return !m_bClosed && m_aOut.empty();
}

void CSipLineAudio::Purge() {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  m_aOut.clear();
  m_oOutChanged.notify_all();
}

void CSipLineAudio::SetListening(bool bListening) {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  m_aIn.clear();
  m_bListening = bListening;
}

size_t CSipLineAudio::Read(int16_t* pSamples, size_t uCount) {
  if (uCount > 0 && pSamples == nullptr) return 0;
  std::unique_lock<std::mutex> oGuard(m_oLock);
  size_t uDone = 0;
  while (uDone < uCount) {
    m_oInChanged.wait(oGuard, [&] { return m_bClosed || !m_aIn.empty(); });
    if (m_bClosed) return 0;
    const size_t uTake = std::min(uCount - uDone, m_aIn.size());
    std::copy_n(m_aIn.begin(), uTake, pSamples + uDone);
    m_aIn.erase(m_aIn.begin(), m_aIn.begin() + static_cast<std::ptrdiff_t>(uTake));
    uDone += uTake;
  }
  return uDone;
}

bool CSipLineAudio::TakeOutFrame(int16_t (&aFrame)[kLineFrameSamples]) {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  const size_t uTake = std::min(kLineFrameSamples, m_aOut.size());
  std::copy_n(m_aOut.begin(), uTake, aFrame);
  std::fill(aFrame + uTake, aFrame + kLineFrameSamples, int16_t{0});
  m_aOut.erase(m_aOut.begin(), m_aOut.begin() + static_cast<std::ptrdiff_t>(uTake));
  if (uTake > 0) m_oOutChanged.notify_all();
  return uTake > 0;
}

void CSipLineAudio::PutInFrame(const int16_t (&aFrame)[kLineFrameSamples]) {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  if (m_bClosed) return;
  if (m_bListening) {
    m_aIn.insert(m_aIn.end(), aFrame, aFrame + kLineFrameSamples);
  } else {
    m_aIn.insert(m_aIn.end(), kLineFrameSamples, int16_t{0});  // what is said now is lost
  }
  if (m_aIn.size() > kInLimitSamples) {
    m_aIn.erase(m_aIn.begin(),
                m_aIn.begin() + static_cast<std::ptrdiff_t>(m_aIn.size() - kInLimitSamples));
  }
  m_oInChanged.notify_all();
}

void CSipLineAudio::Close() {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  m_bClosed = true;
  m_bListening = false;
  m_aOut.clear();
  m_aIn.clear();
  m_oOutChanged.notify_all();
  m_oInChanged.notify_all();
}

bool CSipWaveOut::SupportsFormat(const SWaveFormat& oFormat) const {
  return oFormat == LineWaveFormat();
}

bool CSipWaveOut::Write(const int16_t* pSamples, size_t uCount) {
  return m_pLine->Write(pSamples, uCount);
}

bool CSipWaveOut::Drain(int iTimeoutMs) {
  return m_pLine->Drain(iTimeoutMs);
}

void CSipWaveOut::Purge() {
  m_pLine->Purge();
}

bool CSipWaveIn::SupportsFormat(const SWaveFormat& oFormat) const {
  return oFormat == LineWaveFormat();
}

void CSipWaveIn::SetListening(bool bListening) {
  m_pLine->SetListening(bListening);
}

size_t CSipWaveIn::Read(int16_t* pSamples, size_t uCount) {
  return m_pLine->Read(pSamples, uCount);
}

}  // namespace wdx::sip
