// The audio of a live SIP call as the speech layer sees it: CSipLineAudio holds what waits to be
// sent (at most a second) and what the line gave the reader, and CSipWaveOut / CSipWaveIn are the
// call's two wave devices over it. Both devices take only the line's format, 8 kHz 16-bit mono.
//
// The line's 20 ms clock takes one frame a tick from the output (silence when nothing waits) and
// puts one frame a tick into the input: the far end's audio while someone listens, silence
// otherwise, so a reader is paced by the line whether or not audio arrives. Starting or stopping
// to listen drops what was not read yet. After Close, Write and Drain fail and Read returns 0.
//
// Threading: every member is safe from any thread; the frame members are meant for the SIP
// thread, Write/Drain/Purge for one writer and SetListening/Read for one reader. Writers and
// readers block; the frame members never do.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "platform/audio/wave_devices.h"

namespace wdx::sip {

inline constexpr size_t kLineFrameSamples = 160;  // 20 ms at 8 kHz

class CSipLineAudio final {
 public:
  CSipLineAudio() = default;
  CSipLineAudio(const CSipLineAudio&) = delete;
  CSipLineAudio& operator=(const CSipLineAudio&) = delete;

  bool Write(const int16_t* pSamples, size_t uCount);
  bool Drain(int iTimeoutMs);
  void Purge();
  void SetListening(bool bListening);
  size_t Read(int16_t* pSamples, size_t uCount);

  // The next frame to send: queued audio, padded with silence; true when it held any audio.
  bool TakeOutFrame(int16_t (&aFrame)[kLineFrameSamples]);
  // The frame the line gave this tick (silence when nobody listens).
  void PutInFrame(const int16_t (&aFrame)[kLineFrameSamples]);
  void Close();

 private:
  mutable std::mutex m_oLock;
  std::condition_variable m_oOutChanged;  // room to write, or everything sent, or closed
  std::condition_variable m_oInChanged;   // samples to read, or closed
  std::deque<int16_t> m_aOut;
  std::deque<int16_t> m_aIn;
  bool m_bListening = false;
  bool m_bClosed = false;
};

class CSipWaveOut final : public IWaveOutDevice {
 public:
  explicit CSipWaveOut(std::shared_ptr<CSipLineAudio> pLine) : m_pLine(std::move(pLine)) {}
  bool SupportsFormat(const SWaveFormat& oFormat) const override;
  bool Write(const int16_t* pSamples, size_t uCount) override;
  bool Drain(int iTimeoutMs) override;
  void Purge() override;

 private:
  const std::shared_ptr<CSipLineAudio> m_pLine;
};

class CSipWaveIn final : public IWaveInDevice {
 public:
  explicit CSipWaveIn(std::shared_ptr<CSipLineAudio> pLine) : m_pLine(std::move(pLine)) {}
  bool SupportsFormat(const SWaveFormat& oFormat) const override;
  void SetListening(bool bListening) override;
  size_t Read(int16_t* pSamples, size_t uCount) override;

 private:
  const std::shared_ptr<CSipLineAudio> m_pLine;
};

}  // namespace wdx::sip
