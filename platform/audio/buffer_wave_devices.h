// Wave devices backed by memory, for trying the speech layer without a call: CBufferWaveIn
// plays back a recording as the far end's speech, CBufferWaveOut keeps what was played into it.
// Both take one format (the line's own unless told otherwise) and can be closed to act as a
// line that is gone.
//
// CBufferWaveIn starts its recording when listening first starts and reads silence after its
// end (and silence while nobody listens); it counts how often listening started.
//
// Threading: every method is safe from any thread (one lock per device).
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/audio/wave_devices.h"

namespace wdx {

class CBufferWaveIn final : public IWaveInDevice {
 public:
  explicit CBufferWaveIn(std::vector<int16_t> aSamples, SWaveFormat oFormat = LineWaveFormat());
  CBufferWaveIn(const CBufferWaveIn&) = delete;
  CBufferWaveIn& operator=(const CBufferWaveIn&) = delete;

  bool SupportsFormat(const SWaveFormat& oFormat) const override;
  void SetListening(bool bListening) override;
  size_t Read(int16_t* pSamples, size_t uCount) override;

  // From now on Read returns nothing, as a line that was hung up.
  void Close();
  int GetListeningStarts() const;
  bool IsListening() const;
  // Samples of the recording not read yet.
  size_t GetRemaining() const;

 private:
  mutable std::mutex m_oLock;
  const std::vector<int16_t> m_aSamples;
  const SWaveFormat m_oFormat;
  size_t m_uPosition = 0;
  int m_iListeningStarts = 0;
  bool m_bListening = false;
  bool m_bClosed = false;
};

class CBufferWaveOut final : public IWaveOutDevice {
 public:
  explicit CBufferWaveOut(SWaveFormat oFormat = LineWaveFormat());
  CBufferWaveOut(const CBufferWaveOut&) = delete;
  CBufferWaveOut& operator=(const CBufferWaveOut&) = delete;

  bool SupportsFormat(const SWaveFormat& oFormat) const override;
  bool Write(const int16_t* pSamples, size_t uCount) override;
  bool Drain(int iTimeoutMs) override;
  void Purge() override;

  // From now on Write fails, as on a line that was hung up.
  void Close();
  // Everything written so far (purges drop nothing: what was written has been played).
  std::vector<int16_t> GetSamples() const;
  int GetPurges() const;

 private:
  mutable std::mutex m_oLock;
  const SWaveFormat m_oFormat;
  std::vector<int16_t> m_aSamples;
  int m_iPurges = 0;
  bool m_bClosed = false;
};

}  // namespace wdx
