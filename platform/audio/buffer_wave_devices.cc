#include "platform/audio/buffer_wave_devices.h"

#include <algorithm>

namespace wdx {

CBufferWaveIn::CBufferWaveIn(std::vector<int16_t> aSamples, SWaveFormat oFormat)
    : m_aSamples(std::move(aSamples)), m_oFormat(oFormat) {}

bool CBufferWaveIn::SupportsFormat(const SWaveFormat& oFormat) const {
  return oFormat == m_oFormat;
}

void CBufferWaveIn::SetListening(bool bListening) {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  if (bListening && !m_bListening) ++m_iListeningStarts;
  m_bListening = bListening;
}

size_t CBufferWaveIn::Read(int16_t* pSamples, size_t uCount) {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  if (m_bClosed) return 0;
  size_t uCopied = 0;
  if (m_iListeningStarts > 0) {
    uCopied = std::min(uCount, m_aSamples.size() - m_uPosition);
    std::copy_n(m_aSamples.begin() + static_cast<std::ptrdiff_t>(m_uPosition), uCopied, pSamples);
    m_uPosition += uCopied;
  }
  std::fill(pSamples + uCopied, pSamples + uCount, int16_t{0});
  return uCount;
}

void CBufferWaveIn::Close() {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  m_bClosed = true;
}

int CBufferWaveIn::GetListeningStarts() const {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  return m_iListeningStarts;
}

bool CBufferWaveIn::IsListening() const {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  return m_bListening;
}

size_t CBufferWaveIn::GetRemaining() const {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  return m_aSamples.size() - m_uPosition;
}

CBufferWaveOut::CBufferWaveOut(SWaveFormat oFormat) : m_oFormat(oFormat) {}

bool CBufferWaveOut::SupportsFormat(const SWaveFormat& oFormat) const {
  return oFormat == m_oFormat;
}

bool CBufferWaveOut::Write(const int16_t* pSamples, size_t uCount) {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  if (m_bClosed) return false;
  m_aSamples.insert(m_aSamples.end(), pSamples, pSamples + uCount);
  return true;
}

bool CBufferWaveOut::Drain(int /*iTimeoutMs*/) {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  return !m_bClosed;
}

void CBufferWaveOut::Purge() {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  ++m_iPurges;
}

void CBufferWaveOut::Close() {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  m_bClosed = true;
}

std::vector<int16_t> CBufferWaveOut::GetSamples() const {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  return m_aSamples;
}

int CBufferWaveOut::GetPurges() const {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  return m_iPurges;
}

}  // namespace wdx
